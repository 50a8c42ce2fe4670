#pragma once
// Texture: the shared resource (type 0) that turns an image file into a
// device texture. Loading reads the image (a DDS file beside the named one
// is preferred); activating creates the device texture and frees the image.

#include <memory>
#include <string>

#include "base/device/IGpuResources.h"
#include "base/image/Image.h"
#include "foundation/Resource.h"

class IRenderDevice;

// What every texture creation reads: the process's render device and the
// global texture filter settings.
namespace TextureSettings {
void setRenderDevice(IRenderDevice* device);
IRenderDevice* getRenderDevice();
// Anisotropy above 0 makes min and mag filters anisotropic with that
// maximum; otherwise trilinear chooses a linear or point mip filter.
void setFilter(float anisotropy, bool trilinear);
float getAnisotropy();
bool getTrilinear();
}  // namespace TextureSettings

class Texture : public Resource {
public:
    explicit Texture(const std::string& name);
    // Around a texture the engine generated: loaded and created, owned,
    // reloaded by nothing.
    Texture(const std::string& name, std::unique_ptr<ITextureObject> deviceTexture);
    ~Texture() override;

    const char* getClassName() const override { return "Texture"; }

    // Reads the image with the first row at the bottom. When the name has
    // an extension and the same name ending in ".dds" can be opened, that
    // file is read instead.
    bool load() override;
    // Creates the device texture from the loaded image, then frees the
    // image; on a refused image the image is freed and false returned.
    bool activate() override;
    void deactivate() override;
    void unload() override;
    // The file load read last: the name or the ".dds" file beside it.
    std::string getFileName() const override;
    // Reads the changed file into a new device texture and swaps it in, so
    // that every material using the texture shows the new image; a file
    // that does not make a texture leaves the current one in place.
    bool reloadFromFile() override;

    bool hasAlpha() const;
    ITextureObject* getDeviceTexture() const { return m_deviceTexture.get(); }
    const Image* getImage() const { return m_image.get(); }

    // The file name load tries first: the name with its extension replaced
    // by ".dds", or empty when the name has no extension.
    static std::string getPreferredDdsName(const std::string& name);

private:
    bool createDeviceTexture(IRenderDevice& device);
    void freeImage();

    std::unique_ptr<Image> m_image;
    std::string m_fileName;
    std::unique_ptr<ITextureObject> m_deviceTexture;  // owned in every case
};
