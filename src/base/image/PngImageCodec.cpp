// PNG files through libpng: the only file of the engine that includes it.
//
// libpng reports errors by longjmp. The functions that call into it keep
// every value that must survive a jump in a `PngState` outside their own
// frame and hold no object with a destructor between setjmp and the last
// library call.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/image/ImageCodecs.h"
#include "foundation/Log.h"

namespace {

struct MemoryReader {
    const uint8_t* bytes;
    size_t size;
    size_t position;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position) {
        png_error(png, "read past the end of the file");
    }
    std::memcpy(out, reader->bytes + reader->position, count);
    reader->position += count;
}

// Errors end the decode through the jump; warnings (bad ancillary chunks)
// are not worth a log line each.
[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStructs() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStructs() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Reads the header and sets the transformations: palettes and transparency
// become RGB(A), grey below 8 bits becomes 8-bit grey, grey with alpha
// becomes RGBA, 16-bit samples stay 16-bit in host order. False on a libpng
// error.
bool readHeader(png_structp png, png_infop info, Image& image, uint64_t& rowBytes) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    int colourType = png_get_color_type(png, info);
    int bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
    }
    bool greyWithAlpha =
        colourType == PNG_COLOR_TYPE_GRAY_ALPHA ||
        (colourType == PNG_COLOR_TYPE_GRAY && png_get_valid(png, info, PNG_INFO_tRNS));
    if (greyWithAlpha) {
        png_set_gray_to_rgb(png);
    }
    if (bitDepth == 16) {
        png_set_swap(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    int channels = png_get_channels(png, info);
    bitDepth = png_get_bit_depth(png, info);
    image.componentType = bitDepth == 16 ? ICT_UNSIGNED_SHORT : ICT_UNSIGNED_BYTE;
    image.channels = channels;
    image.format = channels == 1   ? IF_LUMINANCE
                   : channels == 3 ? IF_RGB
                   : channels == 4 ? IF_RGBA
                                   : IF_NONE;
    rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool readRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

bool writeRows(png_structp png, png_infop info, FILE* file, uint32_t width, uint32_t height,
               int colourType, bool bgr, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (bgr) {
        png_set_bgr(png);
    }
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

namespace ImageCodecs {

bool isPng(const uint8_t* bytes, size_t size) {
    return size >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

Image decodePng(const uint8_t* bytes, size_t size, const std::string& name) {
    ReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (structs.png == nullptr) {
        return Image();
    }
    structs.info = png_create_info_struct(structs.png);
    if (structs.info == nullptr) {
        return Image();
    }
    // The size check below decides about the dimensions; libpng only caps
    // what one ancillary chunk may claim.
    png_set_user_limits(structs.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(structs.png, 8u << 20);
    MemoryReader reader{bytes, size, 0};
    png_set_read_fn(structs.png, &reader, readFromMemory);

    Image image;
    uint64_t rowBytes = 0;
    if (!readHeader(structs.png, structs.info, image, rowBytes) || image.format == IF_NONE) {
        return Image();
    }
    uint64_t pixelBytes =
        static_cast<uint64_t>(image.channels) * (image.componentType == ICT_UNSIGNED_SHORT ? 2 : 1);
    if (!checkImageSize(image.width, image.height, pixelBytes, size, name) ||
        rowBytes != image.width * pixelBytes) {
        return Image();
    }
    image.data.resize(rowBytes * image.height);
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        rows[y] = image.data.data() + y * rowBytes;
    }
    if (!readRows(structs.png, rows.data())) {
        return Image();
    }
    image.valid = true;
    return image;
}

bool writePng(const std::string& path, uint32_t width, uint32_t height, int format,
              const uint8_t* pixels) {
    int channels = ImageUtil::getChannelCount(format);
    int colourType = channels == 1   ? PNG_COLOR_TYPE_GRAY
                     : channels == 3 ? PNG_COLOR_TYPE_RGB
                                     : PNG_COLOR_TYPE_RGB_ALPHA;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    WriteStructs structs;
    structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (structs.png == nullptr) {
        return false;
    }
    structs.info = png_create_info_struct(structs.png);
    if (structs.info == nullptr) {
        return false;
    }
    // The file's first row is the top of the picture, the engine's last.
    size_t rowBytes = static_cast<size_t>(width) * channels;
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) {
        rows[y] = const_cast<png_bytep>(pixels + (height - 1 - y) * rowBytes);
    }
    bool written = writeRows(structs.png, structs.info, file.get(), width, height, colourType,
                             format == IF_BGR || format == IF_BGRA, rows.data());
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace ImageCodecs
