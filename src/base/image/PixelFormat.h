#pragma once
// The one pixel format vocabulary of images, textures and render targets,
// with the per-format facts every user of pixels needs.

#include <cstdint>

enum PixelFormat : int {
    PF_UNKNOWN = 0,
    PF_L8 = 1,
    PF_A8 = 2,
    PF_L16 = 3,
    PF_BYTE_LA16 = 4,
    PF_BYTE_RGB24 = 5,
    PF_BYTE_BGR24 = 6,
    PF_BYTE_RGBA32 = 7,
    PF_BYTE_BGRA32 = 8,
    PF_DXT1 = 9,
    PF_DXT1_A = 10,
    PF_DXT3 = 11,
    PF_DXT5 = 12,
    PF_FLOAT_R16 = 13,
    PF_FLOAT_RGB48 = 14,
    PF_FLOAT_RGBA64 = 15,
    PF_FLOAT_R32 = 16,
    PF_FLOAT_RGB96 = 17,
    PF_FLOAT_RGBA128 = 18,
    PF_SHORT_RGBA64 = 19,
    PF_DEPTH16 = 20,
    PF_DEPTH24 = 21,
    PF_DEPTH32 = 22,
    PF_COUNT = 23,
};

// Format flags.
enum PixelFormatFlag : uint32_t {
    PFF_HAS_ALPHA = 1,
    PFF_COMPRESSED = 2,
    PFF_FLOAT = 4,
    PFF_LUMINANCE = 8,
    PFF_DEPTH = 16,
    PFF_NATIVE_ENDIAN = 32,  // packed integer layout described by the masks
};

struct PixelFormatInfo {
    const char* name;
    uint32_t bytesPerPixel;  // 0 for block-compressed formats
    uint32_t flags;
    uint8_t bits[4];    // red, green, blue, alpha (luminance in red)
    uint8_t shifts[4];  // same order
    uint32_t masks[4];  // same order
};

namespace PixelFormatUtil {

// The table row of a format; codes outside the enumeration give PF_UNKNOWN's.
const PixelFormatInfo& getInfo(PixelFormat format);

const char* getName(PixelFormat format);
uint32_t getBytesPerPixel(PixelFormat format);
uint32_t getFlags(PixelFormat format);
bool isCompressed(PixelFormat format);
bool isFloat(PixelFormat format);
bool isDepth(PixelFormat format);
bool hasAlphaFlag(PixelFormat format);

// Bytes of one image of the format. Uncompressed: width × height × depth ×
// bytes per pixel. DXT: 4×4 blocks of 8 (DXT1) or 16 (DXT3, DXT5) bytes; the
// depth is not applied to compressed sizes. Another compressed code logs an
// error and gives 0.
uint32_t getMemorySize(uint32_t width, uint32_t height, PixelFormat format, uint32_t depth = 1);

}  // namespace PixelFormatUtil
