#include "render/overlay/Screenshot.h"

#include <vector>

#include "base/device/IRenderDevice.h"
#include "base/image/Image.h"

bool saveScreenshot(IRenderDevice& device, const std::string& path) {
    IRenderWindow* window = device.getRenderWindow();
    if (window == nullptr || window->getWidth() <= 0 || window->getHeight() <= 0) {
        return false;
    }
    IRenderTarget* previous = device.getRenderTarget();
    device.setRenderTarget(nullptr);
    std::vector<uint8_t> pixels(window->getPixelBufferSize());
    window->readPixels(pixels.data());
    bool saved =
        ImageUtil::saveImage(path, static_cast<uint32_t>(window->getWidth()),
                             static_cast<uint32_t>(window->getHeight()), 3, IF_RGB, pixels.data());
    device.setRenderTarget(previous);
    return saved;
}
