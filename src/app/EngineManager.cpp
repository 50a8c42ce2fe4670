#include "app/EngineManager.h"

#include <cstdlib>

#include "app/AppScriptApi.h"
#include "app/GpuPerformanceClass.h"
#include "app/Profiler.h"
#include "app/ScreenFont.h"
#include "base/device/Texture.h"
#include "foundation/HttpRequests.h"
#include "foundation/Properties.h"
#include "foundation/Resource.h"
#include "foundation/ResourceManager.h"
#include "foundation/TextUtil.h"
#include "foundation/ZIPFileLoader.h"
#include "physics/IPhysicsHost.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "render/overlay/DebugDraw.h"
#include "render/overlay/Overlay.h"
#include "scene/SceneRenderContext.h"
#include "scene/TransformGroup.h"
#include "scripting/LuaScriptSystem.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"

namespace {

const char* const kFoundationScripts[] = {
    "shared/scripts/foundation/input.lua",
    "shared/scripts/foundation/scenegraph.lua",
};

// Loads a script resource that lives until exit: the manager holds it when
// this load created it.
void loadHeldScript(const std::string& name) {
    ResourceManager& manager = ResourceManager::instance();
    Resource* script = manager.get(name, ResourceType::Script, true);
    if (script == nullptr) {
        return;
    }
    if (script->getRefCount() == 1) {
        manager.addHeldResource(script);
    }
    manager.release(script);
}

bool stderrLoggingWanted(Properties* config) {
    const char* env = std::getenv("ENGINE_LOG_STDERR");
    if (env != nullptr && env[0] != '\0') {
        return env[0] != '0';
    }
    return config != nullptr && readFlag(config->getString("game.logging.stderr#enable"));
}

}  // namespace

// The physics step's profiler sections and debug lines.
class EngineManager::PhysicsHost : public IPhysicsHost {
public:
    explicit PhysicsHost(EngineManager& engine) : m_engine(engine) {}
    void enterSection(const char* name) override {
        if (Profiler::get().isEnabled()) {
            Profiler::get().enterSection(name);
        }
    }
    void leaveSection() override {
        if (Profiler::get().isEnabled()) {
            Profiler::get().leaveSection();
        }
    }
    bool isDebugDrawingOn() const override { return m_engine.m_physicsDebugLines; }
    void addDebugLine(const Vector3& from, const Vector3& to, const float* colour) override {
        m_engine.m_debugDraw->addLine(from, to, colour, true);
    }

private:
    EngineManager& m_engine;
};

// Drops a node's physics callback when the node is deleted.
class EngineManager::CallbackWatch : public ActionListener {
public:
    CallbackWatch(EngineManager& engine, CallbackMap& map) : m_engine(engine), m_map(map) {}
    void actionPerformed(void* source, int, int32_t, int32_t) override {
        auto it = m_map.find(static_cast<Entity*>(source)->getId());
        if (it != m_map.end()) {
            m_engine.releaseTarget(it->second.target);
            m_map.erase(it);
        }
    }

private:
    EngineManager& m_engine;
    CallbackMap& m_map;
};

EngineManager::EngineManager()
    : m_triggerWatch(std::make_unique<CallbackWatch>(*this, m_triggerCallbacks)),
      m_contactWatch(std::make_unique<CallbackWatch>(*this, m_contactCallbacks)),
      m_debugDraw(std::make_unique<DebugDrawLists>()),
      m_physicsHost(std::make_unique<PhysicsHost>(*this)) {}
EngineManager::~EngineManager() = default;

void EngineManager::initGraphics() {
    TextureSettings::setRenderDevice(m_renderDevice);
    m_screenFont = std::make_unique<ScreenFont>();
    m_screenFont->build(m_renderDevice, "shared/font/sansSerif.png");
}

void EngineManager::initScene() {
    // The node event kinds are taken now, in a fixed order.
    SceneEvents::allocateEventKinds();
    m_sceneRenderContext = std::make_unique<SceneRenderContext>();
    m_rootNode = createRootNode(*m_sceneRenderContext);
}

void EngineManager::selectGpuPerformanceClass(const std::string& rendererName) {
    gpuclass::select(m_scalability, rendererName, m_performanceReferencePath);
}

EngineManager& EngineManager::get() {
    static EngineManager* instance = new EngineManager();
    return *instance;
}

bool EngineManager::init(const EngineInitParameters& params) {
    // The timer resolution needs nothing on this platform; the main thread
    // is not pinned to a processor.
    if (!params.appBasePath.empty()) {
        FileSystem::addArchiveLoaders(params.appBasePath,
                                      params.archiveKey ? params.archiveKey->c_str() : nullptr);
    }

    // A new engine in the process starts without an old quit request.
    m_quitRequested = false;
    m_config = params.config;
    m_commandLine = params.commandLine;
    m_applicationName = params.applicationName;
    m_userProfileAppPath = params.userProfileAppPath;
    m_fileLogSink.reset();

    if (m_config != nullptr) {
        const char* fileName = m_config->getString("game.logging.file#filename");
        if (readFlag(m_config->getString("game.logging.file#enable")) && fileName != nullptr) {
            m_fileLogSink = std::make_unique<FileLogSink>(m_userProfileAppPath + fileName);
            Log::get().addSink(m_fileLogSink.get());
        }
    }
    if (stderrLoggingWanted(m_config)) {
        m_stderrLogSink = std::make_unique<StderrLogSink>();
        Log::get().addSink(m_stderrLogSink.get());
    }

    ScriptSystem::set(nullptr);
    std::unique_ptr<LuaScriptSystem> scriptSystem = LuaScriptSystem::create();
    if (!scriptSystem) {
        return false;
    }
    IScriptSystem& system = *scriptSystem;
    ScriptSystem::set(std::move(scriptSystem));

    registerResourceLoaders();

    ScriptApi api;
    buildScriptApi(api);
    api.install(system);

    if (params.loadFoundationScripts) {
        for (const char* name : kFoundationScripts) {
            loadHeldScript(name);
        }
    }

    if (!PhysicsManager::get().init()) {
        return false;
    }
    installPhysicsSceneHandlers(true);
    getPhysicsContext();

    m_performanceReferencePath = params.performanceReferencePath;
    m_scalability.automatic = params.automaticGpuClass;
    m_scalability.selectedClass = params.gpuClass;
    return true;
}

void EngineManager::shutdown() {
    // Requests still under way end now, without waiting for their deadline;
    // their callbacks hold references into the interpreter.
    HttpRequests::get().cancelAll();
    for (auto [map, watch] : {std::pair(&m_triggerCallbacks, m_triggerWatch.get()),
                              std::pair(&m_contactCallbacks, m_contactWatch.get())}) {
        for (auto& [id, callback] : *map) {
            if (Entity* node = EntityRegistry::find(id)) {
                node->removeDeleteListener(watch);
            }
            releaseTarget(callback.target);
        }
        map->clear();
    }
    // The scene goes first: deleting nodes may still call delete listeners
    // in scripts. Scripts go before the interpreter that runs them.
    m_rootNode.reset();
    m_sceneRenderContext.reset();
    // The world goes after the scene; bodies of nodes that scripts still
    // hold unlinked are detached from it.
    installPhysicsSceneHandlers(false);
    PhysicsManager::get().shutdown();
    m_physicsDebugLines = false;
    // Timers and the delete listeners of entities that outlive the scene
    // hold references into the interpreter.
    deleteAllScriptCallbacks();
    ResourceManager::instance().shutdown();
    ScriptSystem::set(nullptr);
    // GPU objects go while the device still lives.
    m_debugDraw->clear();
    m_screenFont.reset();
    Overlay::releaseSharedResources();
    TextureSettings::setRenderDevice(nullptr);
    if (m_stderrLogSink) {
        Log::get().removeSink(m_stderrLogSink.get());
        m_stderrLogSink.reset();
    }
    if (m_fileLogSink) {
        Log::get().removeSink(m_fileLogSink.get());
        m_fileLogSink.reset();
    }
}

namespace {

PhysicsRBObject* rigidBodyOf(Entity* node) {
    auto* sceneNode = dynamic_cast<ScenegraphNode*>(node);
    auto* body = sceneNode != nullptr
                     ? dynamic_cast<PhysicsRBObject*>(sceneNode->getPhysicsObject())
                     : nullptr;
    return body != nullptr && body->hasRigidBody() ? body : nullptr;
}

}  // namespace

void EngineManager::releaseTarget(int* target) {
    if (target == nullptr) {
        return;
    }
    if (m_runningCallbacks > 0) {
        m_pendingReleases.push_back(target);
    } else if (IScriptSystem* system = ScriptSystem::get()) {
        system->releaseReference(target);
    }
}

bool EngineManager::addTriggerCallback(Entity* node, const std::string& functionName, int* target) {
    PhysicsRBObject* body = rigidBodyOf(node);
    if (body == nullptr || !body->isTrigger()) {
        Log::get() << "Physics: Add trigger callback failed, object "
                   << (node != nullptr ? node->getName() : std::string())
                   << " is not a physics trigger"
                   << "\n";
        releaseTarget(target);
        return false;
    }
    removeCallback(m_triggerCallbacks, *m_triggerWatch, node);
    m_triggerCallbacks[node->getId()] = {functionName, target};
    node->addDeleteListener(m_triggerWatch.get());
    return true;
}

void EngineManager::removeTriggerCallback(Entity* node) {
    removeCallback(m_triggerCallbacks, *m_triggerWatch, node);
}

bool EngineManager::addContactCallback(Entity* node, const std::string& functionName, int* target) {
    PhysicsRBObject* body = rigidBodyOf(node);
    ScenegraphPhysicsContext* context = getPhysicsContext();
    if (body == nullptr || context == nullptr) {
        Log::get() << "Physics: Add contact report callback failed, object "
                   << (node != nullptr ? node->getName() : std::string())
                   << " is not a physics object"
                   << "\n";
        releaseTarget(target);
        return false;
    }
    removeCallback(m_contactCallbacks, *m_contactWatch, node);
    context->setContactReporting(body->getNode(), true);
    m_contactCallbacks[node->getId()] = {functionName, target};
    node->addDeleteListener(m_contactWatch.get());
    return true;
}

void EngineManager::removeContactCallback(Entity* node) {
    if (node == nullptr || m_contactCallbacks.count(node->getId()) == 0) {
        return;
    }
    PhysicsRBObject* body = rigidBodyOf(node);
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (body != nullptr && context != nullptr) {
        context->setContactReporting(body->getNode(), false);
    }
    removeCallback(m_contactCallbacks, *m_contactWatch, node);
}

void EngineManager::removeCallback(CallbackMap& map, CallbackWatch& watch, Entity* node) {
    if (node == nullptr) {
        return;
    }
    auto it = map.find(node->getId());
    if (it == map.end()) {
        return;
    }
    node->removeDeleteListener(&watch);
    releaseTarget(it->second.target);
    map.erase(it);
}

bool EngineManager::callCallback(const CallbackMap& map, int32_t nodeId, ScriptValue* values,
                                 int numArgs) {
    auto it = map.find(nodeId);
    IScriptSystem* system = ScriptSystem::get();
    if (it == map.end() || system == nullptr) {
        return false;
    }
    // The entry may go while its function runs: the call keeps copies, and
    // the target lives until the outermost callback returns.
    std::string name = it->second.functionName;
    int* target = it->second.target;
    ++m_runningCallbacks;
    system->callFunction(name.c_str(), values, numArgs, 0, target);
    if (--m_runningCallbacks == 0) {
        std::vector<int*> pending;
        pending.swap(m_pendingReleases);
        for (int* reference : pending) {
            system->releaseReference(reference);
        }
    }
    return true;
}

void EngineManager::trigger(Entity* triggerNode, Entity* otherNode, uint32_t flags) {
    if (triggerNode == nullptr) {
        return;
    }
    ScriptValue values[ScriptSlots::Count];
    values[0].setInt(triggerNode->getId());
    values[1].setInt(otherNode != nullptr ? otherNode->getId() : 0);
    values[2].setBool((flags & 1u) != 0);
    values[3].setBool((flags & 2u) != 0);
    values[4].setBool((flags & 4u) != 0);
    callCallback(m_triggerCallbacks, triggerNode->getId(), values, 5);
}

void EngineManager::contact(Entity* nodeA, Entity* nodeB, uint32_t flags,
                            const Vector3& normalForce, const Vector3& frictionForce) {
    if (nodeA == nullptr || nodeB == nullptr) {
        return;
    }
    // Ids only from here: the first callback may delete either node.
    int32_t ids[2] = {nodeA->getId(), nodeB->getId()};
    for (int i = 0; i < 2; ++i) {
        ScriptValue values[ScriptSlots::Count];
        values[0].setInt(ids[i]);
        values[1].setInt(ids[1 - i]);
        values[2].setBool((flags & 1u) != 0);
        values[3].setFloat(length(normalForce));
        values[4].setFloat(length(frictionForce));
        callCallback(m_contactCallbacks, ids[i], values, 5);
    }
}

ScenegraphPhysicsContext* EngineManager::getPhysicsContext() {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (context != nullptr) {
        context->setHost(m_physicsHost.get());
        // Registered once per world.
        context->removeTriggerReceiver(*this);
        context->removeContactReceiver(*this);
        context->addTriggerReceiver(*this);
        context->addContactReceiver(*this);
    }
    return context;
}
