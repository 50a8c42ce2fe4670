#pragma once
// The decoders and writers behind the image loader and screenshots, one
// file per library: libpng (PngImageCodec.cpp), libjpeg-turbo
// (JpegImageCodec.cpp) and stb_image / stb_image_write (StbImageCodec.cpp)
// for TGA, BMP, GIF, PIC and PNM; Photoshop files have the engine's own
// reader (PsdImageCodec.cpp). Only the image loader uses them.
//
// Decoders return rows top first; the loader turns them over when the lower
// left origin is asked for. Writers take rows bottom first, as the engine
// keeps them. Every decoder reads the dimensions from the header and refuses
// an image whose pixel data would pass kMaxImageBytes before it decodes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/image/Image.h"

namespace ImageCodecs {

// 16384 × 16384 pixels of four bytes.
inline constexpr uint64_t kMaxImageBytes = 16384ull * 16384ull * 4ull;

// No decoder of these formats turns one byte of file into more than a few
// thousand bytes of pixels; a header that claims more describes pixels the
// file does not hold, and is refused before the decoder allocates for them.
inline constexpr uint64_t kMaxExpansion = 4096;
inline constexpr uint64_t kSmallImageBytes = 64ull << 20;

// True when width × height × bytesPerPixel is above zero, within the cap and
// plausible for a file of `fileSize` bytes; logs the refusal otherwise.
bool checkImageSize(uint64_t width, uint64_t height, uint64_t bytesPerPixel, uint64_t fileSize,
                    const std::string& name);

bool isPng(const uint8_t* bytes, size_t size);
Image decodePng(const uint8_t* bytes, size_t size, const std::string& name);
bool writePng(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels);

bool isJpeg(const uint8_t* bytes, size_t size);
Image decodeJpeg(const uint8_t* bytes, size_t size, const std::string& name);
bool writeJpeg(const std::string& path, uint32_t width, uint32_t height, int format,
               const uint8_t* pixels, int quality);

// Photoshop files (version 1, RGB or greyscale, 8 or 16 bits, raw or
// PackBits): RGBA pixels, or one grey channel for a greyscale file without
// alpha.
bool isPsd(const uint8_t* bytes, size_t size);
Image decodePsd(const uint8_t* bytes, size_t size, const std::string& name);

// TGA, BMP, GIF (first frame), PIC and PNM.
Image decodeOther(const uint8_t* bytes, size_t size, const std::string& name);
bool writeTga(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels);
bool writeBmp(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels);

}  // namespace ImageCodecs
