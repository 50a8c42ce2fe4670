#include "base/image/Image.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/image/ImageCodecs.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace ImageCodecs {

bool checkImageSize(uint64_t width, uint64_t height, uint64_t bytesPerPixel, uint64_t fileSize,
                    const std::string& name) {
    if (width == 0 || height == 0 || bytesPerPixel == 0) {
        return false;
    }
    // Each factor is checked below 2^32 first, so the product cannot wrap.
    if (width > UINT32_MAX || height > UINT32_MAX || bytesPerPixel > 16 ||
        width * height * bytesPerPixel > kMaxImageBytes) {
        Log::get() << "Error: Can't load image '" << name << "': " << std::to_string(width) << " x "
                   << std::to_string(height) << " pixels is too large\n";
        return false;
    }
    uint64_t bytes = width * height * bytesPerPixel;
    if (bytes > kSmallImageBytes && bytes / kMaxExpansion > fileSize) {
        Log::get() << "Error: Can't load image '" << name << "': the file is too short for "
                   << std::to_string(width) << " x " << std::to_string(height) << " pixels\n";
        return false;
    }
    return true;
}

}  // namespace ImageCodecs

namespace ImageUtil {

PixelFormat getSizingFormat(const Image& image) {
    switch (image.format) {
        case IF_DXT1:
            return image.channels == 4 ? PF_DXT1_A : PF_DXT1;
        case IF_DXT3:
            return PF_DXT3;
        case IF_DXT5:
            return PF_DXT5;
        case IF_BGR:
            return PF_BYTE_BGR24;
        case IF_RGBA:
            return PF_BYTE_RGBA32;
        case IF_BGRA:
            return PF_BYTE_BGRA32;
        case IF_LUMINANCE:
            return PF_L8;
        default:
            return PF_BYTE_RGB24;
    }
}

int getChannelCount(int format) {
    switch (format) {
        case IF_LUMINANCE:
            return 1;
        case IF_RGB:
        case IF_BGR:
            return 3;
        case IF_RGBA:
        case IF_BGRA:
            return 4;
        default:
            return 0;
    }
}

Image loadImage(bool lowerLeftOrigin, const std::string& path) {
    std::string contents;
    if (!FileSystem::readWholeFile(path, contents)) {
        return Image();
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(contents.data());
    if (path.size() >= 3 && strcasecmp(path.c_str() + path.size() - 3, "dds") == 0) {
        return readDds(bytes, contents.size(), path, lowerLeftOrigin);
    }
    return decodeImage(bytes, contents.size(), path, lowerLeftOrigin);
}

Image decodeImage(const uint8_t* bytes, size_t size, const std::string& name,
                  bool lowerLeftOrigin) {
    if (bytes == nullptr || size == 0) {
        return Image();
    }
    Image image = ImageCodecs::isPng(bytes, size)    ? ImageCodecs::decodePng(bytes, size, name)
                  : ImageCodecs::isJpeg(bytes, size) ? ImageCodecs::decodeJpeg(bytes, size, name)
                  : ImageCodecs::isPsd(bytes, size)  ? ImageCodecs::decodePsd(bytes, size, name)
                                                     : ImageCodecs::decodeOther(bytes, size, name);
    if (image.valid && lowerLeftOrigin) {
        size_t pixelBytes = static_cast<size_t>(image.channels) *
                            (image.componentType == ICT_UNSIGNED_SHORT ? 2 : 1);
        flipRows(image.data.data(), image.width * pixelBytes, image.height);
    }
    return image;
}

namespace {

bool hasExtension(const std::string& path, const char* extension) {
    size_t length = std::strlen(extension);
    return path.size() > length && strcasecmp(path.c_str() + path.size() - length, extension) == 0;
}

}  // namespace

bool saveImage(const std::string& path, uint32_t width, uint32_t height, int bytesPerPixel,
               int format, const void* pixels) {
    int channels = getChannelCount(format);
    if (channels == 0) {
        Log::get() << "Error: Can't save image file '" << path << "'. Format not supported\n";
        return false;
    }
    // The writers read bytes per pixel × width × height bytes: a count that
    // does not fit the format would read past the caller's pixels.
    if (pixels == nullptr || width == 0 || height == 0 || bytesPerPixel != channels ||
        uint64_t{width} * height * channels > ImageCodecs::kMaxImageBytes) {
        Log::get() << "Error: Can't save image file '" << path << "'. Invalid image data\n";
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    if (hasExtension(path, ".png")) {
        return ImageCodecs::writePng(path, width, height, format, bytes);
    }
    if (hasExtension(path, ".jpg") || hasExtension(path, ".jpeg")) {
        return ImageCodecs::writeJpeg(path, width, height, format, bytes, 85);
    }
    if (hasExtension(path, ".tga")) {
        return ImageCodecs::writeTga(path, width, height, format, bytes);
    }
    if (hasExtension(path, ".bmp")) {
        return ImageCodecs::writeBmp(path, width, height, format, bytes);
    }
    Log::get() << "Error: Can't save image file '" << path
               << "'. File type not supported (png, jpg, tga, bmp)\n";
    return false;
}

namespace {

// The four pixel rows of a block live in one byte each (DXT1 colour
// indices), two bytes each (DXT3 explicit alpha) or twelve bits each (DXT5
// alpha indices). `rows` is how many rows of the block hold pixels: levels
// under four pixels high only reverse those.
void flipColourRows(uint8_t* indices, int rows) {
    std::reverse(indices, indices + rows);
}

void flipExplicitAlphaRows(uint8_t* alpha, int rows) {
    for (int i = 0; i < rows / 2; ++i) {
        std::swap(alpha[2 * i], alpha[2 * (rows - 1 - i)]);
        std::swap(alpha[2 * i + 1], alpha[2 * (rows - 1 - i) + 1]);
    }
}

void flipAlphaIndexRows(uint8_t* indices, int rows) {
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) {
        bits |= static_cast<uint64_t>(indices[i]) << (8 * i);
    }
    uint64_t row[4];
    for (int r = 0; r < 4; ++r) {
        row[r] = (bits >> (12 * r)) & 0xFFF;
    }
    std::reverse(row, row + rows);
    bits = 0;
    for (int r = 0; r < 4; ++r) {
        bits |= row[r] << (12 * r);
    }
    for (int i = 0; i < 6; ++i) {
        indices[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

void flipBlock(uint8_t* block, PixelFormat format, int rows) {
    switch (format) {
        case PF_DXT1:
        case PF_DXT1_A:
            flipColourRows(block + 4, rows);
            break;
        case PF_DXT3:
            flipExplicitAlphaRows(block, rows);
            flipColourRows(block + 12, rows);
            break;
        case PF_DXT5:
            flipAlphaIndexRows(block + 2, rows);
            flipColourRows(block + 12, rows);
            break;
        default:
            break;
    }
}

}  // namespace

void flipRows(uint8_t* rows, size_t rowBytes, uint32_t height) {
    if (rows == nullptr || height < 2) {
        return;
    }
    for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(rows + top * rowBytes, rows + (top + 1) * rowBytes,
                         rows + bottom * rowBytes);
    }
}

void flipLevel(uint8_t* level, uint32_t width, uint32_t height, PixelFormat format) {
    if (level == nullptr || width == 0 || height < 2) {
        return;
    }
    if (!PixelFormatUtil::isCompressed(format)) {
        flipRows(level, static_cast<size_t>(width) * PixelFormatUtil::getBytesPerPixel(format),
                 height);
        return;
    }
    size_t blockBytes = (format == PF_DXT1 || format == PF_DXT1_A) ? 8 : 16;
    uint32_t blocksWide = (width + 3) / 4;
    uint32_t blocksHigh = (height + 3) / 4;
    size_t rowBytes = blocksWide * blockBytes;
    // A level of fewer than four rows lives in the upper rows of one block
    // row; only those rows change places.
    int rowsInBlock = height < 4 ? static_cast<int>(height) : 4;
    flipRows(level, rowBytes, blocksHigh);
    for (size_t offset = 0; offset < rowBytes * blocksHigh; offset += blockBytes) {
        flipBlock(level + offset, format, rowsInBlock);
    }
}

namespace {

struct Tap {
    uint32_t first = 0;
    std::vector<float> weights;
};

// Tent filter taps along one axis: for each destination pixel the source
// pixels it covers and their normalised weights.
std::vector<Tap> makeTaps(uint32_t sourceLength, uint32_t destinationLength) {
    std::vector<Tap> taps(destinationLength);
    double scale = static_cast<double>(sourceLength) / destinationLength;
    double radius = std::max(1.0, scale);
    for (uint32_t d = 0; d < destinationLength; ++d) {
        double centre = (d + 0.5) * scale - 0.5;
        auto low = static_cast<int64_t>(std::ceil(centre - radius));
        auto high = static_cast<int64_t>(std::floor(centre + radius));
        low = std::max<int64_t>(low, 0);
        high = std::min<int64_t>(high, static_cast<int64_t>(sourceLength) - 1);
        Tap& tap = taps[d];
        double sum = 0.0;
        for (int64_t s = low; s <= high; ++s) {
            double w = 1.0 - std::fabs(static_cast<double>(s) - centre) / radius;
            tap.weights.push_back(static_cast<float>(std::max(w, 0.0)));
            sum += tap.weights.back();
        }
        if (tap.weights.empty() || sum <= 0.0) {
            // The nearest source pixel when the tent touches none.
            low = std::clamp<int64_t>(std::llround(centre), 0, sourceLength - 1);
            tap.weights.assign(1, 1.0f);
            sum = 1.0;
        }
        tap.first = static_cast<uint32_t>(low);
        for (float& w : tap.weights) {
            w = static_cast<float>(w / sum);
        }
    }
    return taps;
}

}  // namespace

void resample(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, int channels,
              uint8_t* destination, uint32_t destinationWidth, uint32_t destinationHeight) {
    if (source == nullptr || destination == nullptr || sourceWidth == 0 || sourceHeight == 0 ||
        destinationWidth == 0 || destinationHeight == 0 || channels <= 0) {
        return;
    }
    std::vector<Tap> columns = makeTaps(sourceWidth, destinationWidth);
    std::vector<Tap> rows = makeTaps(sourceHeight, destinationHeight);
    // Horizontal pass into floats, then vertical pass into bytes.
    size_t stride = static_cast<size_t>(destinationWidth) * channels;
    std::vector<float> horizontal(stride * sourceHeight);
    for (uint32_t y = 0; y < sourceHeight; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * sourceWidth * channels;
        float* out = horizontal.data() + y * stride;
        for (uint32_t x = 0; x < destinationWidth; ++x) {
            const Tap& tap = columns[x];
            for (int c = 0; c < channels; ++c) {
                float value = 0.0f;
                for (size_t i = 0; i < tap.weights.size(); ++i) {
                    value += tap.weights[i] * in[(tap.first + i) * channels + c];
                }
                out[x * channels + c] = value;
            }
        }
    }
    for (uint32_t y = 0; y < destinationHeight; ++y) {
        const Tap& tap = rows[y];
        uint8_t* out = destination + y * stride;
        for (size_t x = 0; x < stride; ++x) {
            float value = 0.0f;
            for (size_t i = 0; i < tap.weights.size(); ++i) {
                value += tap.weights[i] * horizontal[(tap.first + i) * stride + x];
            }
            out[x] = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
        }
    }
}

}  // namespace ImageUtil
