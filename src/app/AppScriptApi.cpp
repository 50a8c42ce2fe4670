#include "app/AppScriptApi.h"

#include <memory>

#include "app/EngineManager.h"
#include "app/GpuPerformanceClass.h"
#include "app/ScreenScriptFunctions.h"
#include "base/3d/Texture.h"
#include "foundation/ResourceManager.h"
#include "render/overlay/OverlayScriptApi.h"
#include "scripting/CoreScriptFunctions.h"
#include "scripting/Script.h"
#include "scripting/ScriptApi.h"

namespace {

void requestExit(Entity*, ScriptValue*) {
    EngineManager::get().requestQuit();
}

}  // namespace

void buildScriptApi(ScriptApi& api) {
    addCoreScriptFunctions(api);
    addOverlayScriptApi(api);
}

void addApplicationScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"requestExit", "", "", requestExit},
    });
    gpuclass::addScriptFunctions(api);
    addScreenScriptFunctions(api);
}

void registerResourceLoaders() {
    ResourceManager& manager = ResourceManager::instance();
    manager.registerLoader(
        std::make_unique<GenericResourceLoader<Texture, ResourceType::Texture>>());
    manager.registerLoader(std::make_unique<GenericResourceLoader<Script, ResourceType::Script>>());
}
