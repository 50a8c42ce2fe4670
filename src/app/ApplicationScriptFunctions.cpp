#include "app/ApplicationScriptFunctions.h"

#include <string>

#include "app/EngineManager.h"
#include "app/Startup.h"
#include "base/platform/Platform.h"
#include "base/platform/Process.h"
#include "foundation/Log.h"
#include "foundation/Properties.h"
#include "foundation/TextUtil.h"
#include "input/IInputDevice.h"
#include "scene/SceneRenderContext.h"
#include "scripting/ScriptApi.h"
#include "terrain/DetailLayerSettings.h"
#include "terrain/TerrainSettings.h"

namespace {

// ---- User configuration ----

const char* configText(const char* path) {
    Properties* config = EngineManager::get().getConfig();
    return config != nullptr ? config->getString(path) : nullptr;
}

// Writes the text and saves the configuration at once.
void storeConfigText(const char* path, const std::string& text) {
    if (Properties* config = EngineManager::get().getConfig()) {
        config->setString(path, text.c_str());
        config->save();
    }
}

constexpr const char* kFullscreen = "game.graphic.display.fullscreen";
constexpr const char* kVsync = "game.graphic.display.vsync";
constexpr const char* kGamma = "game.graphic.display.gamma";
constexpr const char* kTrilinear = "game.graphic.display.filter.trilinear";
constexpr const char* kAnisotropy = "game.graphic.display.filter.anisotropy";
constexpr const char* kMsaa = "game.graphic.display.filter.msaa";

// One getter and one setter per key, in the value format of the key's kind.
template <const char* const& Path>
void getFlag(Entity*, ScriptValue* values) {
    scriptResult(values).setBool(readFlag(configText(Path)));
}
template <const char* const& Path>
void setFlag(Entity*, ScriptValue* values) {
    storeConfigText(Path, values[0].isTrue() ? "true" : "false");
}
template <const char* const& Path>
void getInteger(Entity*, ScriptValue* values) {
    scriptResult(values).setInt(readInt(configText(Path), 0));
}
template <const char* const& Path>
void setInteger(Entity*, ScriptValue* values) {
    storeConfigText(Path, formatIntValue(values[0].intValue));
}
template <const char* const& Path>
void getNumber(Entity*, ScriptValue* values) {
    const char* text = configText(Path);
    scriptResult(values).setFloat(text != nullptr ? readFloat(text) : 0.0f);
}
template <const char* const& Path>
void setNumber(Entity*, ScriptValue* values) {
    storeConfigText(Path, formatFloatValue(values[0].floatValue));
}

// ---- Engine state ----

void setTerrainLoadDirectory(Entity*, ScriptValue* values) {
    const ScriptValue& folder = values[0];
    EngineManager::get().setTerrainLoadDirectory(
        folder.type == ScriptType::String ? folder.stringValue : "");
    DetailLayerSettings::setTerrainLoadDirectory(EngineManager::get().getTerrainLoadDirectory());
}

// The stored command line is started as it is (the program path first);
// this instance quits whether or not the start worked.
void restartApplication(Entity*, ScriptValue*) {
    EngineManager& engine = EngineManager::get();
    if (platform::startProcess(engine.getCommandLine()) < 0) {
        Log::get() << "Error: restartApplication, could not start " << engine.getCommandLine()
                   << "\n";
    }
    engine.requestQuit();
}

// ---- Input ----

// The engine's input device; none makes the queries answer 0.
IInputDevice* inputDevice() {
    return EngineManager::get().getInputDevice();
}

void wrapMousePosition(Entity*, ScriptValue* values) {
    if (IInputDevice* device = inputDevice()) {
        device->warpMouse(values[0].floatValue, values[1].floatValue);
    }
}

void setShowMouseCursor(Entity*, ScriptValue* values) {
    if (IInputDevice* device = inputDevice()) {
        device->setShowMouseCursor(values[0].isTrue());
    }
}

void getInputButton(Entity*, ScriptValue* values) {
    scriptResult(values).setFloat(
        inputDevice() != nullptr ? inputDevice()->getButton(values[0].intValue) : 0.0f);
}

void getInputAxis(Entity*, ScriptValue* values) {
    scriptResult(values).setFloat(
        inputDevice() != nullptr ? inputDevice()->getAxis(values[0].intValue) : 0.0f);
}

void getKeyboardAxisMapping(Entity*, ScriptValue* values) {
    int32_t positive = 0;
    int32_t negative = 0;
    if (IInputDevice* device = inputDevice()) {
        device->getKeyboardAxisMapping(values[0].intValue, positive, negative);
    }
    scriptResult(values, 0).setInt(positive);
    scriptResult(values, 1).setInt(negative);
}

void getKeyboardButtonMapping(Entity*, ScriptValue* values) {
    scriptResult(values).setInt(
        inputDevice() != nullptr ? inputDevice()->getKeyboardButtonMapping(values[0].intValue) : 0);
}

void setKeyboardAxisMapping(Entity*, ScriptValue* values) {
    if (IInputDevice* device = inputDevice()) {
        device->setKeyboardAxisMapping(values[0].intValue, values[1].intValue, values[2].intValue);
    }
}

void setKeyboardButtonMapping(Entity*, ScriptValue* values) {
    if (IInputDevice* device = inputDevice()) {
        device->setKeyboardButtonMapping(values[0].intValue, values[1].intValue);
    }
}

// ---- Folders and files ----

// Refilled on every call; the script copies it before the next one.
std::string& pathBuffer() {
    static std::string buffer;
    return buffer;
}

void getAppBasePath(Entity*, ScriptValue* values) {
    pathBuffer() = platform::folderOfPath(platform::getExecutablePath());
    scriptResult(values).setString(pathBuffer().c_str());
}

void getUserProfileAppPath(Entity*, ScriptValue* values) {
    pathBuffer() = userProfileAppPathFor(EngineManager::get().getApplicationName());
    scriptResult(values).setString(pathBuffer().c_str());
}

void copyFile(Entity*, ScriptValue* values) {
    platform::copyFile(values[0].stringValue, values[1].stringValue, values[2].isTrue());
}

void createFolder(Entity*, ScriptValue* values) {
    platform::createFolder(values[0].stringValue);
}

// ---- Scalability ----

EngineManager::Scalability& scalability() {
    return EngineManager::get().getScalability();
}

void setViewDistanceCoeff(Entity*, ScriptValue* values) {
    scalability().viewDistanceCoeff = values[0].floatValue;
    if (SceneRenderContext* context = EngineManager::get().getSceneRenderContext()) {
        context->environment.viewDistanceCoeff = values[0].floatValue;
    }
}

void getViewDistanceCoeff(Entity*, ScriptValue* values) {
    scriptResult(values).setFloat(scalability().viewDistanceCoeff);
}

void setTerrainLODDistanceCoeff(Entity*, ScriptValue* values) {
    scalability().terrainLodDistanceCoeff = values[0].floatValue;
    TerrainSettings::setLodDistanceCoeff(values[0].floatValue);
}

void getTerrainLODDistanceCoeff(Entity*, ScriptValue* values) {
    scriptResult(values).setFloat(scalability().terrainLodDistanceCoeff);
}

void setShadowQuality(Entity*, ScriptValue* values) {
    scalability().shadowQuality = values[0].floatValue;
}

void getShadowQuality(Entity*, ScriptValue* values) {
    scriptResult(values).setFloat(scalability().shadowQuality);
}

}  // namespace

void addApplicationScriptFunctions(ScriptApi& api) {
    api.setSection("Application");
    api.addGlobalFunctions({
        {"getFullscreen", "", "b", getFlag<kFullscreen>, "", "fullscreen",
         "Returns the stored fullscreen setting (game.graphic.display.fullscreen of the user "
         "configuration)."},
        {"setFullscreen", "b", "", setFlag<kFullscreen>, "fullscreen", "",
         "Stores the fullscreen setting in the user configuration and saves it; it takes effect "
         "at the next start."},
        {"getVsync", "", "b", getFlag<kVsync>, "", "vsync",
         "Returns the stored setting for waiting on the display's refresh."},
        {"setVsync", "b", "", setFlag<kVsync>, "vsync", "",
         "Stores the setting for waiting on the display's refresh and saves the configuration; "
         "it takes effect at the next start."},
        {"getGamma", "", "f", getNumber<kGamma>, "", "gamma: 1 is neutral, 0 when not stored",
         "Returns the stored display gamma."},
        {"setGamma", "f", "", setNumber<kGamma>, "gamma: 1 is neutral", "",
         "Stores the display gamma and saves the configuration."},
        {"getFilterTrilinear", "", "b", getFlag<kTrilinear>, "", "trilinear",
         "Returns the stored setting for trilinear texture filtering."},
        {"setFilterTrilinear", "b", "", setFlag<kTrilinear>, "trilinear", "",
         "Stores the setting for trilinear texture filtering and saves the configuration; "
         "textures take it at the next start."},
        {"getFilterAnisotropy", "", "i", getInteger<kAnisotropy>, "",
         "anisotropy: filtering level, 0 when not stored",
         "Returns the level stored under game.graphic.display.filter.anisotropy."},
        {"setFilterAnisotropy", "i", "", setInteger<kAnisotropy>, "anisotropy: filtering level", "",
         "Stores the level under game.graphic.display.filter.anisotropy and saves the "
         "configuration; texture filtering reads game.graphic.opengl.filter.anisotropy at "
         "start, which this does not change."},
        {"getMSAA", "", "i", getInteger<kMsaa>, "", "samples: 0 or 1 off, else 2, 4 or 8",
         "Returns the stored number of multisampling samples."},
        {"setMSAA", "i", "", setInteger<kMsaa>, "samples: 0 or 1 off, else 2, 4 or 8", "",
         "Stores the number of multisampling samples and saves the configuration; it takes "
         "effect at the next start."},
        {"setTerrainLoadDirectory", "s", "", setTerrainLoadDirectory, "folder", "",
         "Sets the folder that terrain and detail layer files are read from."},
        {"restartApplication", "", "", restartApplication, "", "",
         "Starts the program again with its command line and quits this instance; a failed "
         "start is logged and this instance still quits."},
        {"wrapMousePosition", "ff", "", wrapMousePosition,
         "x: screen fraction from the left; y: screen fraction from the top", "",
         "Moves the mouse pointer inside the window, while the window has input focus."},
        {"setShowMouseCursor", "b", "", setShowMouseCursor, "visible", "",
         "Shows or hides the mouse pointer over the window."},
        {"getInputButton", "i", "f", getInputButton, "button: logical button 0 to 15",
         "value: 0 released to 1 pressed",
         "Returns the state of a logical button (keyboard mapping or joystick); 0 for an index "
         "out of range."},
        {"getKeyboardAxisMapping", "i", "ii", getKeyboardAxisMapping, "axis: logical axis 0 to 3",
         "positiveKey, negativeKey: key symbols, 0 unmapped",
         "Returns the keys that move the logical axis up and down; 0, 0 for an index out of "
         "range."},
        {"getKeyboardButtonMapping", "i", "i", getKeyboardButtonMapping,
         "button: logical button 0 to 15", "key: key symbol, 0 unmapped",
         "Returns the key mapped to the logical button; 0 for an index out of range."},
        {"setKeyboardAxisMapping", "iii", "", setKeyboardAxisMapping,
         "axis: logical axis 0 to 3; positiveKey, negativeKey: key symbols (Input.KEY_*), 0 "
         "unmapped",
         "", "Maps two keys to the logical axis; an index out of range is ignored."},
        {"setKeyboardButtonMapping", "ii", "", setKeyboardButtonMapping,
         "button: logical button 0 to 15; key: key symbol (Input.KEY_*), 0 unmapped", "",
         "Maps a key to the logical button; an index out of range is ignored."},
        {"getInputAxis", "i", "f", getInputAxis, "axis: logical axis 0 to 3", "value: -1 to 1",
         "Returns the position of a logical axis (keyboard mapping or joystick); 0 for an index "
         "out of range."},
        {"getAppBasePath", "", "s", getAppBasePath, "", "folder: ends with \"/\"",
         "Returns the folder of the running program, valid until the next call."},
        {"getUserProfileAppPath", "", "s", getUserProfileAppPath, "", "folder: ends with \"/\"",
         "Returns the game's folder in the user's profile (settings, saved files), valid until "
         "the next call."},
        {"copyFile", "ssb", "", copyFile, "source, target: paths; overwrite", "",
         "Copies a file; without overwrite an existing target is kept and nothing is copied."},
        {"createFolder", "s", "", createFolder, "path", "",
         "Creates one folder; its parent must exist."},
    });
}

void addEngineScriptFunctions(ScriptApi& api) {
    api.setSection("Engine");
    api.addGlobalFunctions({
        {"setViewDistanceCoeff", "f", "", setViewDistanceCoeff,
         "coeff: factor on every view distance, 1 as authored", "",
         "Scales how far objects stay visible, for quality settings."},
        {"getViewDistanceCoeff", "", "f", getViewDistanceCoeff, "",
         "coeff: factor on every view distance", "Returns the view distance factor."},
        {"setTerrainLODDistanceCoeff", "f", "", setTerrainLODDistanceCoeff,
         "coeff: factor on the terrain's detail distances, 1 as authored", "",
         "Scales the distances at which the terrain switches to coarser detail."},
        {"getTerrainLODDistanceCoeff", "", "f", getTerrainLODDistanceCoeff, "",
         "coeff: factor on the terrain's detail distances",
         "Returns the terrain detail distance factor."},
        {"setShadowQuality", "f", "", setShadowQuality, "quality: 0 none, 1 normal, 2 high", "",
         "Stores the shadow quality for the renderer."},
        {"getShadowQuality", "", "f", getShadowQuality, "", "quality: 0 none, 1 normal, 2 high",
         "Returns the shadow quality."},
    });
}
