#include "base/device/Texture.h"

#include <cstring>

#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

struct Settings {
    IRenderDevice* device = nullptr;
    float anisotropy = 0.0f;
    bool trilinear = false;
};

Settings& settings() {
    static Settings instance;
    return instance;
}

bool isPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The device texture format of an image; PF_UNKNOWN (logged) when none fits.
PixelFormat deviceFormatOf(const Image& image, const std::string& name) {
    if (image.channels == 4) {
        switch (image.format) {
            case IF_RGBA:
                return PF_BYTE_RGBA32;
            case IF_BGRA:
                return PF_BYTE_BGRA32;
            case IF_DXT1:
                return PF_DXT1_A;
            case IF_DXT3:
                return PF_DXT3;
            case IF_DXT5:
                return PF_DXT5;
            default:
                Log::get() << "Error: Texture, invalid 4-channel format (" << name << ")\n";
                return PF_UNKNOWN;
        }
    }
    if (image.channels == 3) {
        switch (image.format) {
            case IF_DXT1:
                return PF_DXT1;
            case IF_BGR:
                return PF_BYTE_BGR24;
            case IF_RGB:
                return PF_BYTE_RGB24;
            default:
                Log::get() << "Error: Texture, invalid 3-channel format (" << name << ")\n";
                return PF_UNKNOWN;
        }
    }
    Log::get() << "Error: Texture, invalid number of channels (" << name << ")\n";
    return PF_UNKNOWN;
}

// A cube map file keeps each face's levels together; the device takes each
// level's six faces together.
std::vector<uint8_t> levelMajorCubeData(const Image& image, PixelFormat format) {
    std::vector<size_t> levelOffsets;
    std::vector<size_t> levelSizes;
    size_t faceBytes = 0;
    uint32_t w = image.width;
    uint32_t h = image.height;
    for (uint32_t level = 0; level <= image.mipCount; ++level) {
        levelOffsets.push_back(faceBytes);
        levelSizes.push_back(PixelFormatUtil::getMemorySize(w, h, format));
        faceBytes += levelSizes.back();
        w = ImageUtil::nextLevelSize(w);
        h = ImageUtil::nextLevelSize(h);
    }
    std::vector<uint8_t> reordered;
    reordered.reserve(image.data.size());
    for (uint32_t level = 0; level <= image.mipCount; ++level) {
        for (int face = 0; face < 6; ++face) {
            const uint8_t* start = image.data.data() + face * faceBytes + levelOffsets[level];
            reordered.insert(reordered.end(), start, start + levelSizes[level]);
        }
    }
    return reordered;
}

}  // namespace

namespace TextureSettings {
void setRenderDevice(IRenderDevice* device) {
    settings().device = device;
}
IRenderDevice* getRenderDevice() {
    return settings().device;
}
void setFilter(float anisotropy, bool trilinear) {
    settings().anisotropy = anisotropy;
    settings().trilinear = trilinear;
}
float getAnisotropy() {
    return settings().anisotropy;
}
bool getTrilinear() {
    return settings().trilinear;
}
}  // namespace TextureSettings

Texture::Texture(const std::string& name) : Resource(name, ResourceType::Texture) {}

Texture::Texture(const std::string& name, std::unique_ptr<ITextureObject> deviceTexture)
    : Resource(name, ResourceType::Texture), m_deviceTexture(std::move(deviceTexture)) {
    setLoaded(true);
    setActive(true);
    setCustomReloader(std::make_unique<EmptyResourceReloader>());
}

Texture::~Texture() {
    deactivate();
    unload();
}

std::string Texture::getPreferredDdsName(const std::string& name) {
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string();
    }
    return name.substr(0, dot) + ".dds";
}

bool Texture::load() {
    if (isLoaded() || isActive()) {
        return true;
    }
    std::string path = getName();
    std::string ddsName = getPreferredDdsName(path);
    if (!ddsName.empty() && ddsName != path && FileSystem::openFile(ddsName, FileMode::Read)) {
        path = ddsName;
    }
    m_fileName = path;
    m_image = std::make_unique<Image>(ImageUtil::loadImage(true, path));
    setLoaded(m_image->valid);
    if (!m_image->valid) {
        m_image.reset();
    }
    return isLoaded();
}

bool Texture::activate() {
    if (isActive()) {
        return true;
    }
    if (!isLoaded() || !m_image) {
        return false;
    }
    IRenderDevice* device = TextureSettings::getRenderDevice();
    if (device == nullptr) {
        Log::get() << "Error: Texture, no render device (" << getName() << ")\n";
        freeImage();
        return false;
    }
    bool created = createDeviceTexture(*device);
    freeImage();
    return created;
}

bool Texture::createDeviceTexture(IRenderDevice& device) {
    const Image& image = *m_image;
    if (!device.supportsNonPowerOfTwo() &&
        (!isPowerOfTwo(image.width) || !isPowerOfTwo(image.height))) {
        Log::get() << "Error: Texture, width or height doesn't equal 2^n\n";
        return false;
    }
    auto maxSize = static_cast<uint32_t>(device.getMaxTextureSize());
    if (image.width > maxSize || image.height > maxSize) {
        Log::get() << "Error: Texture, width or height to big\n";
        return false;
    }
    if (image.componentType != ICT_UNSIGNED_BYTE) {
        Log::get() << "Error: Texture, invalid component type, only unsigned byte supported ("
                   << getName() << ")\n";
        return false;
    }
    PixelFormat format = deviceFormatOf(image, getName());
    if (format == PF_UNKNOWN) {
        return false;
    }

    TextureDesc desc;
    desc.width = image.width;
    desc.height = image.height;
    desc.format = format;
    desc.data = image.data.data();
    std::vector<uint8_t> cubeData;
    if (image.cubeMap) {
        desc.type = TT_CUBE;
        cubeData = levelMajorCubeData(image, ImageUtil::getSizingFormat(image));
        desc.data = cubeData.data();
    }
    if (image.mipCount > 0) {
        desc.mipCount = image.mipCount;
        desc.dataHasMipmaps = true;
    }
    float anisotropy = TextureSettings::getAnisotropy();
    desc.maxAnisotropy = 0.0f;
    if (anisotropy > 0.0f) {
        desc.minFilter = TF_ANISOTROPIC;
        desc.magFilter = TF_ANISOTROPIC;
        desc.mipFilter = TF_LINEAR;
        desc.maxAnisotropy = anisotropy;
    } else {
        desc.minFilter = TF_LINEAR;
        desc.magFilter = TF_LINEAR;
        desc.mipFilter = TextureSettings::getTrilinear() ? TF_LINEAR : TF_POINT;
    }
    m_deviceTexture = device.createTexture(desc);
    setActive(m_deviceTexture != nullptr);
    return isActive();
}

std::string Texture::getFileName() const {
    return m_fileName.empty() ? getName() : m_fileName;
}

bool Texture::reloadFromFile() {
    if (CustomResourceReloader* reloader = getCustomReloader()) {
        return reloader->reload(*this);
    }
    Texture fresh(getName());
    if (!fresh.load() || !fresh.activate()) {
        return false;
    }
    m_deviceTexture = std::move(fresh.m_deviceTexture);
    m_fileName = fresh.m_fileName;
    freeImage();
    setActive(true);
    return true;
}

void Texture::deactivate() {
    m_deviceTexture.reset();
    setActive(false);
}

void Texture::unload() {
    freeImage();
}

void Texture::freeImage() {
    m_image.reset();
    setLoaded(false);
}

bool Texture::hasAlpha() const {
    if (m_deviceTexture) {
        switch (m_deviceTexture->getFormat()) {
            case PF_A8:
            case PF_BYTE_LA16:
            case PF_BYTE_RGBA32:
            case PF_BYTE_BGRA32:
            case PF_DXT3:
            case PF_DXT5:
            case PF_FLOAT_RGBA64:
            case PF_FLOAT_RGBA128:
            case PF_SHORT_RGBA64:
                return true;
            default:
                return false;
        }
    }
    if (m_image) {
        return m_image->channels > 3;
    }
    return false;
}
