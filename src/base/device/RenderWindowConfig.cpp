#include "base/device/RenderWindowConfig.h"

#include "foundation/Properties.h"
#include "foundation/TextUtil.h"

namespace {

const char* lookUp(const Properties* config, const char* path) {
    return config != nullptr ? config->getString(path) : nullptr;
}

int readIntOr(const Properties* config, const char* path, int fallback) {
    int value = readInt(lookUp(config, path), 0);
    return value == 0 ? fallback : value;
}

}  // namespace

RenderWindowSettings readRenderWindowSettings(const Properties* config,
                                              const std::string& caption) {
    RenderWindowSettings settings;
    settings.width = readIntOr(config, "game.graphic.display.width", 800);
    settings.height = readIntOr(config, "game.graphic.display.height", 600);
    settings.bitsPerPixel = readIntOr(config, "game.graphic.display.bpp", 32);
    settings.fullScreen = readFlag(lookUp(config, "game.graphic.display.fullscreen"));
    if (const char* msaa = lookUp(config, "game.graphic.display.filter.msaa")) {
        settings.samples = readInt(msaa, 0);
        settings.multisampling = static_cast<unsigned>(settings.samples) > 1;
    } else {
        settings.multisampling = false;
        settings.samples = 2;
    }
    settings.verticalSync = readFlag(lookUp(config, "game.graphic.display.vsync"));
    const char* gammaText = lookUp(config, "game.graphic.display.gamma");
    float gamma = gammaText ? readFloat(gammaText) : 0.0f;
    settings.gammaRed = settings.gammaGreen = settings.gammaBlue = gamma;
    settings.windowStyle = 1;
    settings.caption = caption;
    return settings;
}
