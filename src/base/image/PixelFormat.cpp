#include "base/image/PixelFormat.h"

#include "foundation/Log.h"

namespace {

constexpr uint32_t kLumPacked = PFF_LUMINANCE | PFF_NATIVE_ENDIAN;

const PixelFormatInfo kFormats[PF_COUNT] = {
    {"PF_UNKNOWN", 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_L8", 1, kLumPacked, {8, 0, 0, 0}, {0, 0, 0, 0}, {0xFF, 0, 0, 0}},
    {"PF_A8", 1, PFF_HAS_ALPHA | PFF_NATIVE_ENDIAN, {0, 0, 0, 8}, {0, 0, 0, 0}, {0, 0, 0, 0xFF}},
    {"PF_L16", 2, kLumPacked, {16, 0, 0, 0}, {0, 0, 0, 0}, {0xFFFF, 0, 0, 0}},
    {"PF_BYTE_LA16", 2, PFF_HAS_ALPHA | PFF_LUMINANCE, {8, 0, 0, 8}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_BYTE_RGB24",
     3,
     PFF_NATIVE_ENDIAN,
     {8, 8, 8, 0},
     {16, 8, 0, 0},
     {0xFF0000, 0xFF00, 0xFF, 0}},
    {"PF_BYTE_BGR24",
     3,
     PFF_NATIVE_ENDIAN,
     {8, 8, 8, 0},
     {0, 8, 16, 0},
     {0xFF, 0xFF00, 0xFF0000, 0}},
    {"PF_BYTE_RGBA32",
     4,
     PFF_HAS_ALPHA | PFF_NATIVE_ENDIAN,
     {8, 8, 8, 8},
     {24, 16, 8, 0},
     {0xFF000000, 0xFF0000, 0xFF00, 0xFF}},
    {"PF_BYTE_BGRA32",
     4,
     PFF_HAS_ALPHA | PFF_NATIVE_ENDIAN,
     {8, 8, 8, 8},
     {8, 16, 24, 0},
     {0xFF00, 0xFF0000, 0xFF000000, 0xFF}},
    {"PF_DXT1", 0, PFF_COMPRESSED, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DXT1_A", 0, PFF_HAS_ALPHA | PFF_COMPRESSED, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DXT3", 0, PFF_HAS_ALPHA | PFF_COMPRESSED, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DXT5", 0, PFF_HAS_ALPHA | PFF_COMPRESSED, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_R16", 2, PFF_FLOAT, {16, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_RGB48", 6, PFF_FLOAT, {16, 16, 16, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_RGBA64", 8, PFF_HAS_ALPHA | PFF_FLOAT, {16, 16, 16, 16}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_R32", 4, PFF_FLOAT, {32, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_RGB96", 12, PFF_FLOAT, {32, 32, 32, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_FLOAT_RGBA128",
     16,
     PFF_HAS_ALPHA | PFF_FLOAT,
     {32, 32, 32, 32},
     {0, 0, 0, 0},
     {0, 0, 0, 0}},
    {"PF_SHORT_RGBA64", 8, PFF_HAS_ALPHA, {16, 16, 16, 16}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DEPTH16", 2, PFF_DEPTH, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DEPTH24", 4, PFF_DEPTH, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"PF_DEPTH32", 4, PFF_DEPTH, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
};

}  // namespace

namespace PixelFormatUtil {

const PixelFormatInfo& getInfo(PixelFormat format) {
    int index = static_cast<int>(format);
    if (index < 0 || index >= PF_COUNT) {
        index = PF_UNKNOWN;
    }
    return kFormats[index];
}

const char* getName(PixelFormat format) {
    return getInfo(format).name;
}
uint32_t getBytesPerPixel(PixelFormat format) {
    return getInfo(format).bytesPerPixel;
}
uint32_t getFlags(PixelFormat format) {
    return getInfo(format).flags;
}
bool isCompressed(PixelFormat format) {
    return (getFlags(format) & PFF_COMPRESSED) != 0;
}
bool isFloat(PixelFormat format) {
    return (getFlags(format) & PFF_FLOAT) != 0;
}
bool isDepth(PixelFormat format) {
    return (getFlags(format) & PFF_DEPTH) != 0;
}
bool hasAlphaFlag(PixelFormat format) {
    return (getFlags(format) & PFF_HAS_ALPHA) != 0;
}

uint32_t getMemorySize(uint32_t width, uint32_t height, PixelFormat format, uint32_t depth) {
    if (!isCompressed(format)) {
        return width * height * depth * getBytesPerPixel(format);
    }
    uint32_t blockBytes = 0;
    switch (format) {
        case PF_DXT1:
        case PF_DXT1_A:
            blockBytes = 8;
            break;
        case PF_DXT3:
        case PF_DXT5:
            blockBytes = 16;
            break;
        default:
            Log::get() << "Error: PixelFormatUtil::getMemorySize: invalid compressed pixel format ("
                       << __FILE__ << ":" << static_cast<int32_t>(__LINE__) << ")\n";
            return 0;
    }
    return ((width + 3) / 4) * ((height + 3) / 4) * blockBytes;
}

}  // namespace PixelFormatUtil
