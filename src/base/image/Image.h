#pragma once
// Images in memory: what the image loader fills from a file (DDS by the
// engine's own readers, PNG through libpng, JPEG through libjpeg-turbo, TGA,
// BMP, GIF, PIC and PNM through stb_image), the image writer for
// screenshots, and the resampler used by terrain maps.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/image/PixelFormat.h"

enum ImageComponentType : int {
    ICT_NONE = 0,
    ICT_UNSIGNED_BYTE = 1,
    ICT_UNSIGNED_SHORT = 2,
};

enum ImageFormat : int {
    IF_NONE = 0,
    IF_LUMINANCE = 1,
    IF_RGB = 2,
    IF_BGR = 3,
    IF_RGBA = 4,
    IF_BGRA = 5,
    IF_DXT1 = 6,
    IF_DXT3 = 7,
    IF_DXT5 = 8,
};

struct Image {
    uint32_t mipCount = 0;  // levels beyond the base level held in the data
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;  // 1, 3 or 4 (bytes per pixel for byte images)
    int componentType = ICT_NONE;
    int format = IF_NONE;
    bool cubeMap = false;  // six faces
    // The levels of each face one after another, faces in the order +X,
    // -X, +Y, -Y, +Z, -Z.
    std::vector<uint8_t> data;
    bool valid = false;

    int getFaceCount() const { return cubeMap ? 6 : 1; }
};

namespace ImageUtil {

// The pixel format that sizes the levels of an image (DXT1 with 4 channels
// counts as PF_DXT1_A).
PixelFormat getSizingFormat(const Image& image);

// The size of the next mip level along one axis: half, never below 1.
inline uint32_t nextLevelSize(uint32_t size) {
    return size > 1 ? size / 2 : 1;
}

// Bytes per pixel of the byte formats IF_LUMINANCE .. IF_BGRA; 0 for others.
int getChannelCount(int format);

// Reads a whole file through the file system and decodes it: a path ending
// in "dds" (any case) goes to the engine's DDS reader, anything else to the
// decoder its first bytes name. The record's valid flag tells whether it
// worked. With lowerLeftOrigin the first row of the data is the bottom of
// the picture.
Image loadImage(bool lowerLeftOrigin, const std::string& path);

// The DDS reader over a file already in memory; `name` is used in messages.
Image readDds(const uint8_t* bytes, size_t size, const std::string& name, bool lowerLeftOrigin);

// Decodes a PNG, JPEG, TGA, BMP, GIF, PSD, PIC or PNM file in memory;
// `name` is used in messages. Images whose pixels would take more than
// 16384 × 16384 × 4 bytes are refused before decoding.
Image decodeImage(const uint8_t* bytes, size_t size, const std::string& name, bool lowerLeftOrigin);

// Writes pixels (first row at the bottom) to a file of the native file
// system; the file type follows from the path's extension: ".png", ".jpg"
// or ".jpeg" (quality 85), ".tga", ".bmp". Image formats IF_LUMINANCE ..
// IF_BGRA.
bool saveImage(const std::string& path, uint32_t width, uint32_t height, int bytesPerPixel,
               int format, const void* pixels);

// Turns one level upside down in place. Uncompressed levels swap their
// rows; DXT levels reverse their block rows and the pixel rows inside each
// block (colour indices, DXT3 explicit alpha, DXT5 alpha indices).
void flipLevel(uint8_t* level, uint32_t width, uint32_t height, PixelFormat format);

// Decodes one DXT1/DXT1_A/DXT3/DXT5 level to width × height RGBA pixels
// (four bytes each, rows in the level's order). DXT1 blocks in three-colour
// mode give their fourth colour as transparent black.
void decodeDxtLevel(const uint8_t* level, uint32_t width, uint32_t height, PixelFormat format,
                    uint8_t* rgba);

// Swaps the first row with the last, the second with the one before it, …
void flipRows(uint8_t* rows, size_t rowBytes, uint32_t height);

// Scales an 8-bit image with `channels` interleaved channels to a new size:
// a tent filter whose width follows the scale, so shrinking averages every
// source pixel and enlarging interpolates linearly.
void resample(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, int channels,
              uint8_t* destination, uint32_t destinationWidth, uint32_t destinationHeight);

}  // namespace ImageUtil
