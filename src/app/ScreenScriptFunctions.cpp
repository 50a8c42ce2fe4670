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
    api.setSection("Screen");
    api.addGlobalFunctions({
        {"saveScreenshot", "s", "", saveScreenshotFunction,
         "path: the extension (.png, .jpg, .bmp, .tga) picks the format", "",
         "Saves a picture of the window once the current frame is complete, text included; "
         "a file that cannot be written is logged."},
        {"getNumOfScreenModes", "", "i", getNumOfScreenModes, "", "count",
         "Returns how many display modes the screen offers."},
        {"getScreenModeInfo", "i", "ii", getScreenModeInfo, "mode: 0 to count - 1",
         "width, height: pixels", "Returns the size of a display mode; 0, 0 for an unknown mode."},
        {"getScreenMode", "", "i", getScreenMode, "", "mode: index, 0 when none matches",
         "Returns the display mode whose size matches the window."},
        {"setScreenMode", "i", "", setScreenMode, "mode: 0 to count - 1", "",
         "Stores the mode's size as the window size in the user configuration and saves it; it "
         "takes effect at the next start."},
        {"renderText", "fffs", "", renderText,
         "x, y: screen fractions from the bottom left; size: screen fraction, the glyph height; "
         "text: lines separated by \"\\n\"",
         "",
         "Draws the text on top of this frame with the current colour and weight; call it from "
         "draw every frame it should show."},
        {"setTextColor", "ffff", "", setTextColor, "r, g, b, a: 0 to 1", "",
         "Sets the colour of the text drawn from now on."},
        {"setTextBold", "b", "", setTextBold, "bold", "",
         "Makes the text drawn from now on bold or regular."},
        {"setCaption", "s", "", setCaption, "caption", "", "Sets the window's title."},
    });
}
