// Photoshop files by the engine's own reader: version 1 ("8BPS"), RGB or
// greyscale, 8 or 16 bits per sample, raw or PackBits-compressed. Only the
// merged picture after the header is read; the colour mode data, the image
// resources and the layer and mask section are skipped.
//
// The merged picture holds its channels one after another, a whole plane
// each. RGB files give RGBA pixels: red, green, blue and the first extra
// channel as alpha; a missing colour channel reads as 0 and a missing alpha
// as opaque. Greyscale files give one grey channel, or RGBA with the grey
// copied into red, green and blue when an alpha channel follows it. Further
// channels are skipped. 16-bit samples keep their high byte.
//
// Photoshop blends the colours of partly transparent pixels with white in
// the merged picture. The reader takes the white back out
// (colour' = 255 - (255 - colour) / alpha) and clamps the result to 0..255:
// a colour darker than its alpha allows has no unblended value, and becomes
// black.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/image/ImageCodecs.h"
#include "foundation/Log.h"

namespace {

constexpr uint32_t kMaxSide = 16384;
constexpr uint32_t kMaxChannels = 56;
constexpr uint16_t kModeGreyscale = 1;
constexpr uint16_t kModeRgb = 3;

// Big-endian fields over the file in memory; every read checks the end.
class Reader {
public:
    Reader(const uint8_t* bytes, size_t size) : m_bytes(bytes), m_size(size) {}

    size_t position() const { return m_at; }
    size_t left() const { return m_size - m_at; }
    const uint8_t* here() const { return m_bytes + m_at; }

    bool u16(uint32_t& value) {
        if (left() < 2) {
            return false;
        }
        value = uint32_t{m_bytes[m_at]} << 8 | m_bytes[m_at + 1];
        m_at += 2;
        return true;
    }
    bool u32(uint32_t& value) {
        if (left() < 4) {
            return false;
        }
        value = uint32_t{m_bytes[m_at]} << 24 | uint32_t{m_bytes[m_at + 1]} << 16 |
                uint32_t{m_bytes[m_at + 2]} << 8 | m_bytes[m_at + 3];
        m_at += 4;
        return true;
    }
    bool skip(uint64_t count) {
        if (count > left()) {
            return false;
        }
        m_at += static_cast<size_t>(count);
        return true;
    }
    // A section of the file that starts with its length in four bytes.
    bool skipSection() {
        uint32_t length = 0;
        return u32(length) && skip(length);
    }

private:
    const uint8_t* m_bytes;
    size_t m_size;
    size_t m_at = 0;
};

void logRefusal(const std::string& name, const std::string& why) {
    Log::get() << "Error: Can't load image '" << name << "': " << why << "\n";
}

// Where each channel of the file goes in the output pixel.
struct Layout {
    int pixelBytes = 0;  // 1 (grey) or 4 (RGBA)
    int slots[4] = {0, 0, 0, 0};
    uint32_t channelsRead = 0;  // the first channels of the file that are kept
    bool alpha = false;         // slot 3 comes from the file
    bool greyToRgb = false;     // slot 0 is copied into slots 1 and 2
};

Layout layoutFor(uint32_t mode, uint32_t channels) {
    Layout layout;
    if (mode == kModeGreyscale && channels == 1) {
        layout.pixelBytes = 1;
        layout.channelsRead = 1;
        return layout;
    }
    layout.pixelBytes = 4;
    if (mode == kModeGreyscale) {
        layout.slots[1] = 3;
        layout.channelsRead = 2;
        layout.alpha = true;
        layout.greyToRgb = true;
        return layout;
    }
    for (int i = 0; i < 4; ++i) {
        layout.slots[i] = i;
    }
    layout.channelsRead = std::min<uint32_t>(channels, 4);
    layout.alpha = channels >= 4;
    return layout;
}

// Writes byte `index` of a channel's plane (samples of `sampleBytes` bytes,
// big-endian) into its slot of every pixel: only the high byte of a sample
// is kept.
struct PlaneWriter {
    uint8_t* out;
    int pixelBytes;
    int slot;
    uint32_t sampleBytes;

    void put(uint64_t index, uint8_t value) const {
        if (sampleBytes == 2) {
            if (index % 2 != 0) {
                return;
            }
            index /= 2;
        }
        out[index * pixelBytes + slot] = value;
    }
};

// One channel's PackBits data: a count byte n, then n + 1 literal bytes
// (n < 128) or one byte repeated 257 - n times (n > 128); 128 does nothing.
// The rows of a plane run on into each other. False when the data ends
// early or a packet runs past the plane.
bool unpackPlane(Reader& reader, uint64_t planeBytes, const PlaneWriter& writer) {
    uint64_t done = 0;
    while (done < planeBytes) {
        if (reader.left() == 0) {
            return false;
        }
        uint32_t count = *reader.here();
        reader.skip(1);
        if (count == 128) {
            continue;
        }
        if (count < 128) {
            uint64_t length = count + 1;
            if (length > planeBytes - done || length > reader.left()) {
                return false;
            }
            const uint8_t* literal = reader.here();
            for (uint64_t i = 0; i < length; ++i) {
                writer.put(done + i, literal[i]);
            }
            reader.skip(length);
            done += length;
        } else {
            uint64_t length = 257 - count;
            if (length > planeBytes - done || reader.left() == 0) {
                return false;
            }
            uint8_t value = *reader.here();
            reader.skip(1);
            for (uint64_t i = 0; i < length; ++i) {
                writer.put(done + i, value);
            }
            done += length;
        }
    }
    return true;
}

void copyPlane(const uint8_t* plane, uint64_t planeBytes, const PlaneWriter& writer) {
    for (uint64_t i = 0; i < planeBytes; i += writer.sampleBytes) {
        writer.put(i, plane[i]);
    }
}

// Takes the white matte out of the partly transparent pixels of RGBA rows,
// in single precision as Photoshop files have always been read here, so
// that colours within range come out as before.
void removeWhiteMatte(uint8_t* rgba, uint64_t pixels) {
    for (uint64_t i = 0; i < pixels; ++i) {
        uint8_t* pixel = rgba + i * 4;
        if (pixel[3] == 0 || pixel[3] == 255) {
            continue;
        }
        float a = pixel[3] / 255.0f;
        float ra = 1.0f / a;
        float invA = 255.0f * (1 - ra);
        for (int c = 0; c < 3; ++c) {
            float value = pixel[c] * ra + invA;
            pixel[c] = static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f));
        }
    }
}

}  // namespace

namespace ImageCodecs {

bool isPsd(const uint8_t* bytes, size_t size) {
    return size >= 4 && std::memcmp(bytes, "8BPS", 4) == 0;
}

Image decodePsd(const uint8_t* bytes, size_t size, const std::string& name) {
    Reader reader(bytes, size);
    uint32_t version = 0;
    uint32_t channels = 0;
    uint32_t height = 0;
    uint32_t width = 0;
    uint32_t depth = 0;
    uint32_t mode = 0;
    if (!reader.skip(4) || !reader.u16(version) || !reader.skip(6) || !reader.u16(channels) ||
        !reader.u32(height) || !reader.u32(width) || !reader.u16(depth) || !reader.u16(mode)) {
        logRefusal(name, "the Photoshop header is truncated");
        return Image();
    }
    if (version != 1) {
        logRefusal(name, "Photoshop file version " + std::to_string(version) +
                             " is not supported (only 1)");
        return Image();
    }
    if (channels == 0 || channels > kMaxChannels) {
        logRefusal(name,
                   "Photoshop channel count " + std::to_string(channels) + " is outside 1 to 56");
        return Image();
    }
    if (depth != 8 && depth != 16) {
        logRefusal(name, "Photoshop depth of " + std::to_string(depth) +
                             " bits per channel is not supported (8 or 16)");
        return Image();
    }
    if (mode != kModeRgb && mode != kModeGreyscale) {
        logRefusal(name, "Photoshop colour mode " + std::to_string(mode) +
                             " is not supported (RGB or greyscale)");
        return Image();
    }
    const std::string pixelsText = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0) {
        logRefusal(name, "the picture has no pixels (" + pixelsText + ")");
        return Image();
    }
    if (width > kMaxSide || height > kMaxSide) {
        logRefusal(name, pixelsText + " pixels is too large");
        return Image();
    }
    const Layout layout = layoutFor(mode, channels);
    if (!checkImageSize(width, height, static_cast<uint64_t>(layout.pixelBytes), size, name)) {
        return Image();
    }
    if (!reader.skipSection() || !reader.skipSection() || !reader.skipSection()) {
        logRefusal(name, "a Photoshop section runs past the end of the file");
        return Image();
    }
    uint32_t compression = 0;
    if (!reader.u16(compression)) {
        logRefusal(name, "the file ends before the Photoshop pixel data");
        return Image();
    }
    if (compression > 1) {
        logRefusal(name, "Photoshop compression " + std::to_string(compression) +
                             " is not supported (raw or PackBits)");
        return Image();
    }

    // Sizes below fit easily in 64 bits: sides and channels are capped above.
    const uint64_t pixels = uint64_t{width} * height;
    const uint32_t sampleBytes = depth / 8;
    const uint64_t planeBytes = pixels * sampleBytes;
    // PackBits data starts with the byte count of every row of every
    // channel, and no packet gives more than 128 bytes for its 2 bytes.
    const uint64_t rowCountBytes = compression == 1 ? uint64_t{height} * channels * 2 : 0;
    const uint64_t leastPlaneBytes = compression == 1 ? (planeBytes + 127) / 128 * 2 : planeBytes;
    if (rowCountBytes > reader.left() ||
        leastPlaneBytes * layout.channelsRead > reader.left() - rowCountBytes) {
        logRefusal(name, "the file is too short for " + pixelsText + " pixels");
        return Image();
    }
    reader.skip(rowCountBytes);

    std::vector<uint8_t> out(static_cast<size_t>(pixels * layout.pixelBytes));
    if (layout.pixelBytes == 4 && !layout.alpha) {
        // Colours the file lacks are 0, a missing alpha is opaque.
        for (uint64_t i = 0; i < pixels; ++i) {
            out[i * 4 + 3] = 255;
        }
    }
    for (uint32_t channel = 0; channel < layout.channelsRead; ++channel) {
        const PlaneWriter writer{out.data(), layout.pixelBytes, layout.slots[channel], sampleBytes};
        if (compression == 1) {
            if (!unpackPlane(reader, planeBytes, writer)) {
                logRefusal(name, "damaged PackBits data in channel " + std::to_string(channel));
                return Image();
            }
        } else {
            copyPlane(reader.here(), planeBytes, writer);
            reader.skip(planeBytes);
        }
    }
    if (layout.alpha) {
        removeWhiteMatte(out.data(), pixels);
    }
    if (layout.greyToRgb) {
        for (uint64_t i = 0; i < pixels; ++i) {
            out[i * 4 + 1] = out[i * 4 + 2] = out[i * 4];
        }
    }

    Image image;
    image.width = width;
    image.height = height;
    image.channels = layout.pixelBytes;
    image.componentType = ICT_UNSIGNED_BYTE;
    image.format = layout.pixelBytes == 1 ? IF_LUMINANCE : IF_RGBA;
    image.data = std::move(out);
    image.valid = true;
    return image;
}

}  // namespace ImageCodecs
