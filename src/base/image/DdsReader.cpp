// The engine's reader of DirectDraw Surface files: DXT1/3/5 and
// uncompressed 24- and 32-bit RGB(A)/BGR(A), with mip chains and cube maps.

#include <strings.h>

#include <bit>
#include <cstring>
#include <vector>

#include "base/image/Image.h"
#include "foundation/Log.h"

namespace {

constexpr size_t kHeaderEnd = 128;  // "DDS " and the 124-byte header

constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelFourCC = 0x4;
constexpr uint32_t kPixelRGB = 0x40;
constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCapsMipmap = 0x400000;
constexpr uint32_t kCaps2CubeMap = 0x200;

uint32_t readU32(const uint8_t* bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// Position of the lowest set bit; 32 for an empty mask.
int lowestBit(uint32_t mask) {
    return std::countr_zero(mask);
}

void logUnsupported(const std::string& name, const char* what) {
    Log::get() << "'" << name << "' has unsupported pixel format " << what << "\n";
}

// Fills channels and format from the header's pixel format; false (logged)
// for a format the engine cannot use.
bool readPixelFormat(const uint8_t* bytes, const std::string& name, Image& image) {
    uint32_t flags = readU32(bytes, 80);
    uint32_t bitCount = readU32(bytes, 88);
    uint32_t redMask = readU32(bytes, 92);
    uint32_t blueMask = readU32(bytes, 100);
    uint32_t alphaMask = readU32(bytes, 104);
    if (flags & kPixelFourCC) {
        const char* code = reinterpret_cast<const char*>(bytes + 84);
        if (std::memcmp(code, "DXT1", 4) == 0) {
            image.format = IF_DXT1;
        } else if (std::memcmp(code, "DXT3", 4) == 0) {
            image.format = IF_DXT3;
        } else if (std::memcmp(code, "DXT5", 4) == 0) {
            image.format = IF_DXT5;
        } else {
            Log::get() << "'" << name
                       << "' has an invalid dxt format, only DXT1, DXT3 and DXT5 are support.\n";
            return false;
        }
        image.channels = 4;
        return true;
    }
    if (!(flags & kPixelRGB)) {
        logUnsupported(name, "(Unknow format)");
        return false;
    }
    bool blueFirst = lowestBit(redMask) >= lowestBit(blueMask);
    if (flags & kPixelAlpha) {
        if (bitCount == 32) {
            if (std::popcount(alphaMask) != 8) {
                logUnsupported(name, "DDS_A2R10G10B10");
                return false;
            }
        } else if (bitCount == 16) {
            logUnsupported(name, std::popcount(alphaMask) == 1 ? "DDS_A1R5G5B5" : "DDS_A4R4G4B4");
            return false;
        } else {
            logUnsupported(name, "(Unknow format)");
            return false;
        }
        image.channels = 4;
        image.format = blueFirst ? IF_BGRA : IF_RGBA;
        return true;
    }
    if (bitCount == 32) {
        logUnsupported(name, "DDS_X8R8G8B8");
        return false;
    }
    if (bitCount == 16) {
        logUnsupported(name, "DDS_R5G6B5");
        return false;
    }
    if (bitCount != 24) {
        logUnsupported(name, "(Unknow format)");
        return false;
    }
    image.channels = 3;
    image.format = blueFirst ? IF_BGR : IF_RGB;
    return true;
}

// Bytes of one level; false when the product does not fit in 64 bits (a
// header can claim 0xFFFFFFFF × 0xFFFFFFFF pixels).
bool levelBytes(uint64_t width, uint64_t height, PixelFormat format, uint64_t& bytes) {
    uint64_t pixels = 0;
    if (PixelFormatUtil::isCompressed(format)) {
        uint64_t block = (format == PF_DXT1 || format == PF_DXT1_A) ? 8 : 16;
        return !__builtin_mul_overflow((width + 3) / 4, (height + 3) / 4, &pixels) &&
               !__builtin_mul_overflow(pixels, block, &bytes);
    }
    return !__builtin_mul_overflow(width, height, &pixels) &&
           !__builtin_mul_overflow(pixels, uint64_t{PixelFormatUtil::getBytesPerPixel(format)},
                                   &bytes);
}

// A DXT level taller than one block row whose height is not a multiple of
// four keeps its last pixel rows in the upper rows of a half-used block
// row; turned over block by block, those rows would land a few rows below
// the top and the picture would shift. Exact flipping needs the pixels.
bool hasUnflippableDxtLevel(uint32_t width, uint32_t height, uint32_t mipCount,
                            PixelFormat format) {
    if (!PixelFormatUtil::isCompressed(format)) {
        return false;
    }
    for (uint32_t level = 0; level <= mipCount; ++level) {
        if (height > 4 && height % 4 != 0) {
            return true;
        }
        width = ImageUtil::nextLevelSize(width);
        height = ImageUtil::nextLevelSize(height);
    }
    return false;
}

// A 32-bit wide level halves to 1 × 1 within 32 steps; a longer chain only
// repeats 1 × 1 levels and is taken as a damaged header.
constexpr uint32_t kMaxMipLevels = 32;

// Replaces the DXT levels of every face with their RGBA pixels turned
// upside down. DXT1 images without a transparent pixel become RGB, so they
// stay images without alpha.
void decodeFlipped(Image& image, PixelFormat format) {
    uint64_t pixels = 0;
    for (uint32_t l = 0, w = image.width, h = image.height; l <= image.mipCount; ++l) {
        pixels += uint64_t{w} * h;
        w = ImageUtil::nextLevelSize(w);
        h = ImageUtil::nextLevelSize(h);
    }
    std::vector<uint8_t> rgba(pixels * image.getFaceCount() * 4);
    const uint8_t* in = image.data.data();
    uint8_t* out = rgba.data();
    for (int face = 0; face < image.getFaceCount(); ++face) {
        for (uint32_t l = 0, w = image.width, h = image.height; l <= image.mipCount; ++l) {
            uint64_t bytes = 0;
            levelBytes(w, h, format, bytes);  // checked by the caller
            ImageUtil::decodeDxtLevel(in, w, h, format, out);
            ImageUtil::flipRows(out, size_t{w} * 4, h);
            in += bytes;
            out += size_t{w} * h * 4;
            w = ImageUtil::nextLevelSize(w);
            h = ImageUtil::nextLevelSize(h);
        }
    }
    bool opaque = true;
    for (size_t i = 3; opaque && i < rgba.size(); i += 4) {
        opaque = rgba[i] == 255;
    }
    image.componentType = ICT_UNSIGNED_BYTE;
    if (image.format == IF_DXT1 && opaque) {
        size_t count = rgba.size() / 4;
        for (size_t i = 0; i < count; ++i) {
            std::memmove(&rgba[i * 3], &rgba[i * 4], 3);
        }
        rgba.resize(count * 3);
        image.format = IF_RGB;
        image.channels = 3;
    } else {
        image.format = IF_RGBA;
        image.channels = 4;
    }
    image.data = std::move(rgba);
}

}  // namespace

namespace ImageUtil {

Image readDds(const uint8_t* bytes, size_t size, const std::string& name, bool lowerLeftOrigin) {
    Image image;
    if (bytes == nullptr || size < kHeaderEnd) {
        return image;
    }
    if (strncasecmp(reinterpret_cast<const char*>(bytes), "DDS ", 4) != 0) {
        Log::get() << "'" << name << "' is an invalid DDS file. Header code: '"
                   << std::string(reinterpret_cast<const char*>(bytes), 4) << "'\n";
        return image;
    }
    image.height = readU32(bytes, 12);
    image.width = readU32(bytes, 16);
    uint32_t mipmapCount = readU32(bytes, 28);
    uint32_t caps = readU32(bytes, 108);
    uint32_t caps2 = readU32(bytes, 112);
    image.mipCount = (caps & kCapsMipmap) && mipmapCount != 0 ? mipmapCount - 1 : 0;
    if (!readPixelFormat(bytes, name, image)) {
        return Image();
    }
    image.componentType = ICT_UNSIGNED_BYTE;
    image.cubeMap = (caps & kCapsComplex) && (caps2 & kCaps2CubeMap);

    // The whole chain must be in the file. A zero size, a size that does not
    // fit in 64 bits or a chain longer than the file counts as corrupt. Each
    // running sum stays at most the file size, so nothing below can wrap.
    PixelFormat format = getSizingFormat(image);
    uint64_t available = size - kHeaderEnd;
    uint64_t faceBytes = 0;
    bool fits = image.width != 0 && image.height != 0 && image.mipCount < kMaxMipLevels;
    uint32_t w = image.width;
    uint32_t h = image.height;
    for (uint32_t level = 0; fits && level <= image.mipCount; ++level) {
        uint64_t bytes = 0;
        fits = levelBytes(w, h, format, bytes) && bytes <= available - faceBytes;
        faceBytes += fits ? bytes : 0;
        w = ImageUtil::nextLevelSize(w);
        h = ImageUtil::nextLevelSize(h);
    }
    fits = fits && faceBytes * image.getFaceCount() <= available;
    if (!fits) {
        Log::get() << "Error loading '" << name << "': Corrupt dds image file.\n";
        return Image();
    }
    image.data.assign(bytes + kHeaderEnd, bytes + kHeaderEnd + faceBytes * image.getFaceCount());

    if (lowerLeftOrigin &&
        hasUnflippableDxtLevel(image.width, image.height, image.mipCount, format)) {
        decodeFlipped(image, format);
    } else if (lowerLeftOrigin) {
        uint8_t* level = image.data.data();
        for (int face = 0; face < image.getFaceCount(); ++face) {
            w = image.width;
            h = image.height;
            for (uint32_t l = 0; l <= image.mipCount; ++l) {
                uint64_t bytes = 0;
                levelBytes(w, h, format, bytes);  // checked above
                flipLevel(level, w, h, format);
                level += bytes;
                w = ImageUtil::nextLevelSize(w);
                h = ImageUtil::nextLevelSize(h);
            }
        }
    }
    image.valid = true;
    return image;
}

}  // namespace ImageUtil
