#include "app/AppScriptApi.h"

#include <memory>

#include "animation/AnimationScriptBindings.h"
#include "animation/CharacterSet.h"
#include "app/ApplicationScriptFunctions.h"
#include "app/EngineManager.h"
#include "app/GpuPerformanceClass.h"
#include "app/ScreenScriptFunctions.h"
#include "app/StatsOverlay.h"
#include "audio/AudioScriptBindings.h"
#include "audio/SampleChunk.h"
#include "base/device/Texture.h"
#include "effects/EffectsScriptBindings.h"
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

// The statistics page after the one shown, as F8 chooses it.
void nextStatsPage(Entity*, ScriptValue*) {
    StatsOverlayList::get().next();
}

// Every character set plays its next clip, as F3 chooses it.
void nextAnimClipAll(Entity*, ScriptValue*) {
    CharacterSet::nextClipAll();
}

// "addTrigger", "removeTrigger", "addContactReport", "removeContactReport":
// the engine calls the script when the node's trigger or body has news.
void addPhysicsCallback(ScriptValue* values, bool trigger) {
    Entity* node = EntityRegistry::find(values[0].intValue);
    const char* name = values[1].type == ScriptType::String ? values[1].stringValue : "";
    int* target = values[2].takeReference();
    if (node == nullptr) {
        if (IScriptSystem* system = ScriptSystem::get()) {
            system->releaseReference(target);
        }
    } else if (trigger) {
        EngineManager::get().addTriggerCallback(node, name, target);
    } else {
        EngineManager::get().addContactCallback(node, name, target);
    }
}

void addTrigger(Entity*, ScriptValue* values) {
    addPhysicsCallback(values, true);
}

void removeTrigger(Entity*, ScriptValue* values) {
    EngineManager::get().removeTriggerCallback(EntityRegistry::find(values[0].intValue));
}

void addContactReport(Entity*, ScriptValue* values) {
    addPhysicsCallback(values, false);
}

void removeContactReport(Entity*, ScriptValue* values) {
    EngineManager::get().removeContactCallback(EntityRegistry::find(values[0].intValue));
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
    api.addGlobalFunctions({
        {"addTrigger", "isa", "", addTrigger},
        {"removeTrigger", "i", "", removeTrigger},
        {"addContactReport", "isa", "", addContactReport},
        {"removeContactReport", "i", "", removeContactReport},
    });
    addScriptCallbackFunctions(api);
    addEngineScriptFunctions(api);
    addOverlayScriptApi(api);
    addAudioScriptApi(api);
    addAnimationScriptApi(api);
    addEffectsScriptApi(api);
    addTerrainScriptApi(api);
}

void addApplicationScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"requestExit", "", "", requestExit},
        {"nextStatsPage", "", "", nextStatsPage},
        {"nextAnimClipAll", "", "", nextAnimClipAll},
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
