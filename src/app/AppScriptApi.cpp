#include "app/AppScriptApi.h"

#include <memory>

#include "app/ApplicationScriptFunctions.h"
#include "app/EngineManager.h"
#include "app/GpuPerformanceClass.h"
#include "app/ScreenScriptFunctions.h"
#include "audio/AudioScriptBindings.h"
#include "audio/SampleChunk.h"
#include "base/3d/Texture.h"
#include "foundation/FoundationScriptBindings.h"
#include "foundation/ResourceManager.h"
#include "physics/PhysicsScriptBindings.h"
#include "render/overlay/OverlayScriptApi.h"
#include "scene/SceneScriptBindings.h"
#include "scene/TransformGroup.h"
#include "scripting/CoreScriptFunctions.h"
#include "scripting/Script.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"
#include "terrain/TerrainScriptBindings.h"

namespace {

void requestExit(Entity*, ScriptValue*) {
    EngineManager::get().requestQuit();
}

}  // namespace

void buildScriptApi(ScriptApi& api) {
    addCoreScriptFunctions(api);
    addFoundationScriptApi(api);
    SceneScriptHost scene;
    scene.context = [] { return EngineManager::get().getSceneRenderContext(); };
    scene.engineRoot = []() -> const Node* { return EngineManager::get().getRootNode(); };
    scene.physicsSubtreeAdded = [](Node& root) {
        if (physicsSceneHandlers().subtreeReady != nullptr) {
            physicsSceneHandlers().subtreeReady(root);
        }
    };
    addSceneScriptApi(api, scene);
    addPhysicsScriptApi(api);
    addScriptCallbackFunctions(api);
    addEngineScriptFunctions(api);
    addOverlayScriptApi(api);
    addAudioScriptApi(api);
    addTerrainScriptApi(api);
}

void addApplicationScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"requestExit", "", "", requestExit},
    });
    addApplicationScriptFunctions(api);
    gpuclass::addScriptFunctions(api);
    addScreenScriptFunctions(api);
}

void registerResourceLoaders() {
    ResourceManager& manager = ResourceManager::instance();
    manager.registerLoader(
        std::make_unique<GenericResourceLoader<Texture, ResourceType::Texture>>());
    registerSoundResourceLoaders();
    manager.registerLoader(std::make_unique<GenericResourceLoader<Script, ResourceType::Script>>());
}
