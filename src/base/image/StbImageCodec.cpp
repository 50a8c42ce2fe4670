// TGA, BMP, GIF, PIC and PNM files through stb_image, and TGA and BMP
// writing through stb_image_write: the only file of the engine that includes
// them. PNG, JPEG and Photoshop files have their own codecs and are left out
// of this build of the decoder.

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_PIC
#define STBI_ONLY_PNM
#define STBI_NO_PSD
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/image/ImageCodecs.h"
#include "foundation/Log.h"

namespace {

struct PixelsFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

void appendToFile(void* context, void* data, int size) {
    auto* file = static_cast<FILE*>(context);
    if (size > 0) {
        std::fwrite(data, 1, static_cast<size_t>(size), file);
    }
}

// The engine's rows (bottom first, any of the five byte formats) as the
// writer wants them: top first, red before blue.
std::vector<uint8_t> topFirstRgbOrder(uint32_t width, uint32_t height, int format,
                                      const uint8_t* pixels) {
    int channels = ImageUtil::getChannelCount(format);
    size_t rowBytes = static_cast<size_t>(width) * channels;
    std::vector<uint8_t> out(rowBytes * height);
    bool swap = format == IF_BGR || format == IF_BGRA;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = pixels + (height - 1 - y) * rowBytes;
        uint8_t* row = out.data() + y * rowBytes;
        std::copy(in, in + rowBytes, row);
        if (swap) {
            for (size_t x = 0; x < rowBytes; x += channels) {
                std::swap(row[x], row[x + 2]);
            }
        }
    }
    return out;
}

template <typename Writer>
bool writeWith(Writer writer, const std::string& path, uint32_t width, uint32_t height, int format,
               const uint8_t* pixels) {
    if (width > INT_MAX || height > INT_MAX) {
        return false;
    }
    std::vector<uint8_t> rows = topFirstRgbOrder(width, height, format, pixels);
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    bool written =
        writer(appendToFile, file.get(), static_cast<int>(width), static_cast<int>(height),
               ImageUtil::getChannelCount(format), rows.data()) != 0;
    written = std::ferror(file.get()) == 0 && written;
    return std::fclose(file.release()) == 0 && written;
}

// The decoder reads a PNM header's numbers leniently: a maximum value such as
// "$127" reads as 0 and the pixels start at an arbitrary byte, and a number
// past the range of int overflows as it is read. A binary grey or colour map
// ("P5", "P6") must carry width, height and a maximum of 1 to 65535 as
// decimal numbers of at most INT_MAX, separated by blanks and comments, and
// one blank before the pixels.
bool isBadPnmHeader(const uint8_t* bytes, size_t size) {
    if (size < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) {
        return false;  // not a file the PNM decoder takes
    }
    size_t at = 2;
    uint64_t numbers[3] = {0, 0, 0};
    for (uint64_t& number : numbers) {
        bool blank = false;
        while (at < size && (std::isspace(bytes[at]) || bytes[at] == '#')) {
            if (bytes[at] == '#') {
                while (at < size && bytes[at] != '\n' && bytes[at] != '\r') {
                    ++at;
                }
            } else {
                ++at;
            }
            blank = true;
        }
        size_t digits = 0;
        while (at < size && std::isdigit(bytes[at]) && digits < 10) {
            number = number * 10 + (bytes[at] - '0');
            ++at;
            ++digits;
        }
        if (!blank || digits == 0 || number > INT_MAX) {
            return true;
        }
    }
    bool blankAfter = at < size && std::isspace(bytes[at]);
    return !blankAfter || numbers[2] == 0 || numbers[2] > 65535;
}

// True when the decoder takes the bytes for a TGA file: it tries its other
// formats first, and a TGA file has no signature of its own.
bool isTga(const uint8_t* bytes, int length) {
    stbi__context context;
    stbi__start_mem(&context, bytes, length);
    if (stbi__bmp_test(&context) || stbi__gif_test(&context) || stbi__pic_test(&context) ||
        stbi__pnm_test(&context)) {
        return false;
    }
    return stbi__tga_test(&context) != 0;
}

// The decoder reads zeros past the end of a TGA file's pixel data, so a
// header of a few bytes could make it build a picture of millions of pixels
// from nothing. A TGA file holds at least one byte per pixel, or with
// run-length coding one packet (a count byte and one pixel) per 128 pixels.
bool isTruncatedTga(const uint8_t* bytes, size_t size, uint64_t width, uint64_t height) {
    if (size < 18) {
        return true;
    }
    const uint64_t idLength = bytes[0];
    const bool hasColorMap = bytes[1] != 0;
    const uint64_t mapLength = bytes[5] | (uint64_t{bytes[6]} << 8);
    const uint64_t mapEntryBytes = (uint64_t{bytes[7]} + 7) / 8;
    const bool runLength = bytes[2] >= 8;
    const uint64_t pixelBytes = std::max<uint64_t>((uint64_t{bytes[16]} + 7) / 8, 1);
    const uint64_t dataStart = 18 + idLength + (hasColorMap ? mapLength * mapEntryBytes : 0);
    const uint64_t pixels = width * height;
    const uint64_t needed =
        runLength ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    return dataStart > size || needed > size - dataStart;
}

}  // namespace

namespace ImageCodecs {

Image decodeOther(const uint8_t* bytes, size_t size, const std::string& name) {
    if (size == 0 || size > INT_MAX) {
        return Image();
    }
    if (isBadPnmHeader(bytes, size)) {
        Log::get() << "Error: Can't load image '" << name << "': malformed PNM header\n";
        return Image();
    }
    int length = static_cast<int>(size);
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels) || width <= 0 ||
        height <= 0) {
        return Image();
    }
    // Grey with alpha has no format of its own: it becomes RGBA.
    int wanted = channels == 1 ? 1 : channels == 3 ? 3 : 4;
    if (!checkImageSize(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                        static_cast<uint64_t>(wanted), size, name)) {
        return Image();
    }
    if (isTga(bytes, length) &&
        isTruncatedTga(bytes, size, static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
        Log::get() << "Error: Can't load image '" << name << "': the file is too short for "
                   << std::to_string(width) << " x " << std::to_string(height) << " pixels\n";
        return Image();
    }
    int w = 0;
    int h = 0;
    int fileChannels = 0;
    std::unique_ptr<stbi_uc, PixelsFree> pixels(
        stbi_load_from_memory(bytes, length, &w, &h, &fileChannels, wanted));
    // The decoder must agree with the header it reported; the copy below
    // takes exactly the bytes it produced.
    if (!pixels || w != width || h != height) {
        return Image();
    }
    Image image;
    image.width = static_cast<uint32_t>(w);
    image.height = static_cast<uint32_t>(h);
    image.channels = wanted;
    image.componentType = ICT_UNSIGNED_BYTE;
    image.format = wanted == 1 ? IF_LUMINANCE : wanted == 3 ? IF_RGB : IF_RGBA;
    size_t bytesTotal = static_cast<size_t>(w) * static_cast<size_t>(h) * wanted;
    image.data.assign(pixels.get(), pixels.get() + bytesTotal);
    image.valid = true;
    return image;
}

bool writeTga(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels) {
    return writeWith(stbi_write_tga_to_func, path, width, height, format, pixels);
}

bool writeBmp(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels) {
    return writeWith(stbi_write_bmp_to_func, path, width, height, format, pixels);
}

}  // namespace ImageCodecs
