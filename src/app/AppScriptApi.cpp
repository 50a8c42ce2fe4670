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
    api.addEntryPoints({
        {"init", "", "",
         "Called once after the startup script ran and the window, the default camera and "
         "every script function are ready: load the scene and start the game here."},
        {"update", "number dt: milliseconds since the last frame", "",
         "Called every frame before the scene is drawn: move things, read input, run the game."},
        {"draw", "", "",
         "Called every frame after the scene is drawn: queue text and overlays here."},
        {"keyEvent",
         "integer unicode: the character typed, 0 for none; integer sym: key symbol (Input.KEY_*); "
         "integer modifier: bit field of Input.MOD_* flags; boolean isDown: true pressed, false "
         "released",
         "", "Called for every key press and release, also while the console is open."},
        {"mouseEvent",
         "number x, y: screen fractions from the bottom left; boolean isDown, isUp: a button "
         "went down or up (both false for a move); integer button: 1 left, 2 middle, 3 right, 4 "
         "wheel up, 5 wheel down, 0 for a move",
         "",
         "Called for every mouse move, button press and release; a wheel step is a press "
         "and a release of button 4 or 5."},
    });
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
        {"addTrigger", "isa", "", addTrigger,
         "node: node whose body is a trigger; callbackName; table target?", "",
         "Calls the trigger callback whenever a body enters, stays in or leaves the node's "
         "trigger volume, replacing an earlier callback of the node. A node without a trigger "
         "body is logged and ignored, an id that names no entity ignored."},
        {"removeTrigger", "i", "", removeTrigger, "node", "",
         "Stops the trigger callbacks of the node; an unknown id is ignored."},
        {"addContactReport", "isa", "", addContactReport,
         "node: node with a rigid body; callbackName; table target?", "",
         "Calls the contact callback whenever the node's body starts, keeps or stops touching "
         "another body, replacing an earlier callback of the node. A node without a rigid body "
         "is logged and ignored, an id that names no entity ignored."},
        {"removeContactReport", "i", "", removeContactReport, "node", "",
         "Stops the contact callbacks of the node; an unknown id is ignored."},
    });
    api.addCallbacks({
        {"triggerCallback",
         "integer trigger: the trigger's node; integer other: the node of the body, 0 when it "
         "has none; boolean entered, left, stays",
         "",
         "Called after a physics step for every body that entered, left or stays in the "
         "trigger volume registered with addTrigger."},
        {"contactCallback",
         "integer node: the registered node; integer other: the node touched; boolean started: "
         "true when the touch began this step; number normalForce: newtons, pressing the bodies "
         "apart; number frictionForce: newtons, along the surfaces",
         "",
         "Called after a physics step for every body the node registered with "
         "addContactReport touches."},
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
    api.setSection("Application");
    api.addGlobalFunctions({
        {"requestExit", "", "", requestExit, "", "",
         "Asks the engine to quit: the frame loop ends after the current frame."},
        {"nextStatsPage", "", "", nextStatsPage, "", "",
         "Shows the next statistics page, as F8 does."},
        {"nextAnimClipAll", "", "", nextAnimClipAll, "", "",
         "Makes every character set play its next clip, as F3 does."},
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
