// Decoding and writing of the common image file types through DevIL; the
// only file of the engine that talks to that library.

#include <IL/il.h>

#include <climits>
#include <cstring>

#include "base/3d/Image.h"
#include "foundation/Log.h"

namespace {

void initImageLibrary() {
    static bool initialised = false;
    if (!initialised) {
        ilInit();
        ilHint(IL_MEM_SPEED_HINT, IL_FASTEST);
        ilEnable(IL_ORIGIN_SET);
        ilEnable(IL_CONV_PAL);
        initialised = true;
    }
}

// Binds a fresh image for the scope of one load or save.
class BoundImage {
public:
    BoundImage() {
        ilGenImages(1, &m_name);
        ilBindImage(m_name);
    }
    ~BoundImage() { ilDeleteImages(1, &m_name); }
    BoundImage(const BoundImage&) = delete;
    BoundImage& operator=(const BoundImage&) = delete;

private:
    ILuint m_name = 0;
};

int imageFormatOf(ILint format) {
    switch (format) {
        case IL_RGB:
            return IF_RGB;
        case IL_RGBA:
            return IF_RGBA;
        case IL_LUMINANCE:
            return IF_LUMINANCE;
        case IL_BGR:
            return IF_BGR;
        case IL_BGRA:
            return IF_BGRA;
        default:
            return IF_NONE;
    }
}

ILenum libraryFormatOf(int format) {
    switch (format) {
        case IF_LUMINANCE:
            return IL_LUMINANCE;
        case IF_RGB:
            return IL_RGB;
        case IF_BGR:
            return IL_BGR;
        case IF_RGBA:
            return IL_RGBA;
        case IF_BGRA:
            return IL_BGRA;
        default:
            return 0;
    }
}

int channelsOf(int format) {
    switch (format) {
        case IF_LUMINANCE:
            return 1;
        case IF_RGB:
        case IF_BGR:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

namespace ImageUtil {

Image decodeWithImageLibrary(const uint8_t* bytes, size_t size, bool lowerLeftOrigin) {
    Image image;
    if (bytes == nullptr || size == 0 || size > UINT_MAX) {
        return image;
    }
    initImageLibrary();
    ilOriginFunc(lowerLeftOrigin ? IL_ORIGIN_LOWER_LEFT : IL_ORIGIN_UPPER_LEFT);
    BoundImage bound;
    if (!ilLoadL(IL_TYPE_UNKNOWN, bytes, static_cast<ILuint>(size))) {
        return image;
    }
    image.width = static_cast<uint32_t>(ilGetInteger(IL_IMAGE_WIDTH));
    image.height = static_cast<uint32_t>(ilGetInteger(IL_IMAGE_HEIGHT));
    int bytesPerPixel = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
    switch (ilGetInteger(IL_IMAGE_TYPE)) {
        case IL_UNSIGNED_BYTE:
            image.componentType = ICT_UNSIGNED_BYTE;
            image.channels = bytesPerPixel;
            break;
        case IL_UNSIGNED_SHORT:
            image.componentType = ICT_UNSIGNED_SHORT;
            image.channels = bytesPerPixel / 2;
            break;
        default:
            return Image();
    }
    image.format = imageFormatOf(ilGetInteger(IL_IMAGE_FORMAT));
    const ILubyte* pixels = ilGetData();
    if (image.format == IF_NONE || pixels == nullptr) {
        return Image();
    }
    size_t bytesTotal = static_cast<size_t>(bytesPerPixel) * image.width * image.height;
    image.data.assign(pixels, pixels + bytesTotal);
    image.valid = true;
    return image;
}

bool saveImage(const std::string& path, uint32_t width, uint32_t height, int bytesPerPixel,
               int format, const void* pixels) {
    ILenum libraryFormat = libraryFormatOf(format);
    if (libraryFormat == 0) {
        Log::get() << "Error: Can't save image file '" << path << "'. Format not supported\n";
        return false;
    }
    // The library reads bytes per pixel × width × height bytes: a count
    // that does not fit the format would read past the caller's pixels.
    if (pixels == nullptr || width == 0 || height == 0 || bytesPerPixel != channelsOf(format)) {
        Log::get() << "Error: Can't save image file '" << path << "'. Invalid image data\n";
        return false;
    }
    initImageLibrary();
    ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
    ilHint(IL_COMPRESSION_HINT, IL_USE_COMPRESSION);
    ilSetInteger(IL_JPG_QUALITY, 85);
    bool overwriteWasOn = ilIsEnabled(IL_FILE_OVERWRITE) == IL_TRUE;
    ilEnable(IL_FILE_OVERWRITE);
    bool saved = false;
    {
        BoundImage bound;
        if (ilTexImage(width, height, 1, static_cast<ILubyte>(bytesPerPixel), libraryFormat,
                       IL_UNSIGNED_BYTE, const_cast<void*>(pixels))) {
            saved = ilSaveImage(path.c_str()) == IL_TRUE;
        }
    }
    if (!overwriteWasOn) {
        ilDisable(IL_FILE_OVERWRITE);
    }
    return saved;
}

}  // namespace ImageUtil
