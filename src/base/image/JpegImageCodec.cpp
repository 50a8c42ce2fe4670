// JPEG files through libjpeg-turbo: the only file of the engine that
// includes it.
//
// libjpeg reports errors through the error manager, which jumps back to the
// setjmp of the function that called into the library. Those functions keep
// their state in the `JpegDecode` / `JpegEncode` records, outside their own
// frames, and hold no object with a destructor between setjmp and the last
// library call.

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "base/image/ImageCodecs.h"

namespace {

// A progressive file may hold a scan per coefficient bit; more scans than
// any encoder writes only make the decoder loop over the same pixels.
constexpr int kMaxScans = 500;

struct ErrorManager {
    jpeg_error_mgr library;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void onMessage(j_common_ptr) {}

void limitScans(j_common_ptr info) {
    if (info->is_decompressor) {
        auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
        if (decompress->input_scan_number > kMaxScans) {
            onError(info);
        }
    }
}

struct JpegDecode {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    bool created = false;
    ~JpegDecode() {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
    }
};

struct JpegEncode {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    bool created = false;
    ~JpegEncode() {
        if (created) {
            jpeg_destroy_compress(&info);
        }
    }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

void setErrorManager(jpeg_error_mgr& library) {
    jpeg_std_error(&library);
    library.error_exit = onError;
    library.output_message = onMessage;
}

bool readHeader(JpegDecode& state, const uint8_t* bytes, size_t size) {
    if (setjmp(state.errors.jump)) {
        return false;
    }
    jpeg_create_decompress(&state.info);
    state.created = true;
    state.progress.progress_monitor = limitScans;
    state.info.progress = &state.progress;
    jpeg_mem_src(&state.info, bytes, static_cast<unsigned long>(size));
    if (jpeg_read_header(&state.info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    // Grey files stay grey, everything the library can turn into RGB does;
    // CMYK and YCCK cannot be shown and are refused.
    J_COLOR_SPACE space = state.info.jpeg_color_space;
    if (space == JCS_CMYK || space == JCS_YCCK) {
        return false;
    }
    state.info.out_color_space = space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    return true;
}

bool readRows(JpegDecode& state, Image& image) {
    if (setjmp(state.errors.jump)) {
        return false;
    }
    jpeg_start_decompress(&state.info);
    if (state.info.output_width != image.width || state.info.output_height != image.height ||
        state.info.output_components != image.channels) {
        return false;
    }
    size_t rowBytes = static_cast<size_t>(image.width) * image.channels;
    while (state.info.output_scanline < state.info.output_height) {
        JSAMPROW row = image.data.data() + state.info.output_scanline * rowBytes;
        jpeg_read_scanlines(&state.info, &row, 1);
    }
    jpeg_finish_decompress(&state.info);
    return true;
}

bool writeRows(JpegEncode& state, FILE* file, uint32_t width, uint32_t height, int format,
               const uint8_t* pixels, int quality) {
    if (setjmp(state.errors.jump)) {
        return false;
    }
    jpeg_create_compress(&state.info);
    state.created = true;
    jpeg_stdio_dest(&state.info, file);
    state.info.image_width = width;
    state.info.image_height = height;
    int channels = ImageUtil::getChannelCount(format);
    state.info.input_components = channels;
    // The extended input spaces take RGB and BGR, with or without a fourth
    // byte, as they are; the alpha byte is dropped.
    switch (format) {
        case IF_LUMINANCE:
            state.info.in_color_space = JCS_GRAYSCALE;
            break;
        case IF_BGR:
            state.info.in_color_space = JCS_EXT_BGR;
            break;
        case IF_RGBA:
            state.info.in_color_space = JCS_EXT_RGBA;
            break;
        case IF_BGRA:
            state.info.in_color_space = JCS_EXT_BGRA;
            break;
        default:
            state.info.in_color_space = JCS_RGB;
            break;
    }
    jpeg_set_defaults(&state.info);
    jpeg_set_quality(&state.info, quality, TRUE);
    jpeg_start_compress(&state.info, TRUE);
    // The file's first row is the top of the picture, the engine's last.
    size_t rowBytes = static_cast<size_t>(width) * channels;
    while (state.info.next_scanline < height) {
        auto row =
            const_cast<JSAMPROW>(pixels + (height - 1 - state.info.next_scanline) * rowBytes);
        jpeg_write_scanlines(&state.info, &row, 1);
    }
    jpeg_finish_compress(&state.info);
    return true;
}

}  // namespace

namespace ImageCodecs {

bool isJpeg(const uint8_t* bytes, size_t size) {
    return size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

Image decodeJpeg(const uint8_t* bytes, size_t size, const std::string& name) {
    auto state = std::make_unique<JpegDecode>();
    state->info.err = &state->errors.library;
    setErrorManager(state->errors.library);
    if (!readHeader(*state, bytes, size)) {
        return Image();
    }
    Image image;
    image.width = state->info.image_width;
    image.height = state->info.image_height;
    image.channels = state->info.out_color_space == JCS_GRAYSCALE ? 1 : 3;
    image.format = image.channels == 1 ? IF_LUMINANCE : IF_RGB;
    image.componentType = ICT_UNSIGNED_BYTE;
    if (!checkImageSize(image.width, image.height, image.channels, size, name)) {
        return Image();
    }
    image.data.resize(static_cast<size_t>(image.width) * image.height * image.channels);
    if (!readRows(*state, image)) {
        return Image();
    }
    image.valid = true;
    return image;
}

bool writeJpeg(const std::string& path, uint32_t width, uint32_t height, int format,
               const uint8_t* pixels, int quality) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    auto state = std::make_unique<JpegEncode>();
    state->info.err = &state->errors.library;
    setErrorManager(state->errors.library);
    bool written = writeRows(*state, file.get(), width, height, format, pixels, quality);
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace ImageCodecs
