#include "app/ScreenScriptFunctions.h"

#include <cstdio>

#include "app/EngineApplication.h"
#include "app/EngineManager.h"
#include "app/ScreenFont.h"
#include "base/device/IRenderDevice.h"
#include "foundation/Properties.h"
#include "render/overlay/Screenshot.h"
#include "scripting/ScriptApi.h"

namespace {

const char* textArgument(const ScriptValue& value) {
    return value.type == ScriptType::String ? value.stringValue : nullptr;
}

void saveScreenshotFunction(Entity*, ScriptValue* values) {
    const char* path = textArgument(values[0]);
    if (path == nullptr) {
        return;
    }
    // Inside the frame loop the picture is taken once the frame is
    // complete, text included; otherwise at once.
    if (EngineApplication* app = EngineApplication::getInstance(); app != nullptr && app->ready) {
        app->requestScreenshot(path);
    } else if (IRenderDevice* device = EngineManager::get().getRenderDevice()) {
        saveScreenshot(*device, path);
    }
}

void getNumOfScreenModes(Entity*, ScriptValue* values) {
    IRenderDevice* device = EngineManager::get().getRenderDevice();
    values[ScriptSlots::FirstResult].setInt(device != nullptr ? device->getDisplayModeCount() : 0);
}

void getScreenModeInfo(Entity*, ScriptValue* values) {
    int width = 0;
    int height = 0;
    if (IRenderDevice* device = EngineManager::get().getRenderDevice()) {
        device->getDisplayMode(values[0].intValue, &width, &height);
    }
    values[ScriptSlots::FirstResult].setInt(width);
    values[ScriptSlots::FirstResult + 1].setInt(height);
}

void getScreenMode(Entity*, ScriptValue* values) {
    EngineManager& engine = EngineManager::get();
    int found = 0;
    if (engine.getRenderDevice() != nullptr && engine.getRenderWindow() != nullptr) {
        IRenderDevice& device = *engine.getRenderDevice();
        for (int i = 0; i < device.getDisplayModeCount(); ++i) {
            int width = 0;
            int height = 0;
            device.getDisplayMode(i, &width, &height);
            if (width == engine.getRenderWindow()->getWidth() &&
                height == engine.getRenderWindow()->getHeight()) {
                found = i;
                break;
            }
        }
    }
    values[ScriptSlots::FirstResult].setInt(found);
}

void setScreenMode(Entity*, ScriptValue* values) {
    EngineManager& engine = EngineManager::get();
    Properties* config = engine.getConfig();
    if (config == nullptr) {
        return;
    }
    int width = 0;
    int height = 0;
    if (IRenderDevice* device = engine.getRenderDevice()) {
        device->getDisplayMode(values[0].intValue, &width, &height);
    }
    char text[16];
    std::snprintf(text, sizeof(text), "%d", width);
    config->setString("game.graphic.display.width", text);
    std::snprintf(text, sizeof(text), "%d", height);
    config->setString("game.graphic.display.height", text);
    config->save();
}

void renderText(Entity*, ScriptValue* values) {
    const char* text = textArgument(values[3]);
    ScreenFont* font = EngineManager::get().getScreenFont();
    if (font != nullptr && text != nullptr) {
        font->drawText(values[0].floatValue, values[1].floatValue, values[2].floatValue, text,
                       false);
    }
}

void setTextColor(Entity*, ScriptValue* values) {
    if (ScreenFont* font = EngineManager::get().getScreenFont()) {
        font->setColour(values[0].floatValue, values[1].floatValue, values[2].floatValue,
                        values[3].floatValue);
    }
}

void setTextBold(Entity*, ScriptValue* values) {
    if (ScreenFont* font = EngineManager::get().getScreenFont()) {
        font->setBold(values[0].boolValue);
    }
}

void setCaption(Entity*, ScriptValue* values) {
    const char* caption = textArgument(values[0]);
    if (IRenderWindow* window = EngineManager::get().getRenderWindow(); window && caption) {
        window->setCaption(caption);
    }
}

}  // namespace

void addScreenScriptFunctions(ScriptApi& api) {
    api.addGlobalFunctions({
        {"saveScreenshot", "s", "", saveScreenshotFunction},
        {"getNumOfScreenModes", "", "i", getNumOfScreenModes},
        {"getScreenModeInfo", "i", "ii", getScreenModeInfo},
        {"getScreenMode", "", "i", getScreenMode},
        {"setScreenMode", "i", "", setScreenMode},
        {"renderText", "fffs", "", renderText},
        {"setTextColor", "ffff", "", setTextColor},
        {"setTextBold", "b", "", setTextBold},
        {"setCaption", "s", "", setCaption},
    });
}
