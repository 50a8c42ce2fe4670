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
    api.addGlobalFunctions({
        {"getFullscreen", "", "b", getFlag<kFullscreen>},
        {"setFullscreen", "b", "", setFlag<kFullscreen>},
        {"getVsync", "", "b", getFlag<kVsync>},
        {"setVsync", "b", "", setFlag<kVsync>},
        {"getGamma", "", "f", getNumber<kGamma>},
        {"setGamma", "f", "", setNumber<kGamma>},
        {"getFilterTrilinear", "", "b", getFlag<kTrilinear>},
        {"setFilterTrilinear", "b", "", setFlag<kTrilinear>},
        {"getFilterAnisotropy", "", "i", getInteger<kAnisotropy>},
        {"setFilterAnisotropy", "i", "", setInteger<kAnisotropy>},
        {"getMSAA", "", "i", getInteger<kMsaa>},
        {"setMSAA", "i", "", setInteger<kMsaa>},
        {"setTerrainLoadDirectory", "s", "", setTerrainLoadDirectory},
        {"restartApplication", "", "", restartApplication},
        {"wrapMousePosition", "ff", "", wrapMousePosition},
        {"setShowMouseCursor", "b", "", setShowMouseCursor},
        {"getInputButton", "i", "f", getInputButton},
        {"getKeyboardAxisMapping", "i", "ii", getKeyboardAxisMapping},
        {"getKeyboardButtonMapping", "i", "i", getKeyboardButtonMapping},
        {"setKeyboardAxisMapping", "iii", "", setKeyboardAxisMapping},
        {"setKeyboardButtonMapping", "ii", "", setKeyboardButtonMapping},
        {"getInputAxis", "i", "f", getInputAxis},
        {"getAppBasePath", "", "s", getAppBasePath},
        {"getUserProfileAppPath", "", "s", getUserProfileAppPath},
        {"copyFile", "ssb", "", copyFile},
        {"createFolder", "s", "", createFolder},
    });
}

void addEngineScriptFunctions(ScriptApi& api) {
    api.addGlobalFunctions({
        {"setViewDistanceCoeff", "f", "", setViewDistanceCoeff},
        {"getViewDistanceCoeff", "", "f", getViewDistanceCoeff},
        {"setTerrainLODDistanceCoeff", "f", "", setTerrainLODDistanceCoeff},
        {"getTerrainLODDistanceCoeff", "", "f", getTerrainLODDistanceCoeff},
        {"setShadowQuality", "f", "", setShadowQuality},
        {"getShadowQuality", "", "f", getShadowQuality},
    });
}
