#include "app/EngineManager.h"

#include <cstdlib>

#include "app/AppScriptApi.h"
#include "app/GpuPerformanceClass.h"
#include "app/Profiler.h"
#include "app/ScreenFont.h"
#include "base/3d/Texture.h"
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

EngineManager::EngineManager()
    : m_debugDraw(std::make_unique<DebugDrawLists>()),
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

    m_performanceReferencePath = params.performanceReferencePath;
    m_scalability.automatic = params.automaticGpuClass;
    m_scalability.selectedClass = params.gpuClass;
    return true;
}

void EngineManager::shutdown() {
    for (auto& [node, callback] : m_triggerCallbacks) {
        if (IScriptSystem* system = ScriptSystem::get()) {
            system->releaseReference(callback.target);
        }
    }
    m_triggerCallbacks.clear();
    for (auto& [node, callback] : m_contactCallbacks) {
        if (IScriptSystem* system = ScriptSystem::get()) {
            system->releaseReference(callback.target);
        }
    }
    m_contactCallbacks.clear();
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

bool EngineManager::addTriggerCallback(Entity* node, const std::string& functionName, int* target) {
    // Without a physics world no node is a trigger.
    (void)functionName;
    (void)target;
    Log::get() << "Physics: Add trigger callback failed, object "
               << (node != nullptr ? node->getName() : std::string()) << " is not a physics trigger"
               << "\n";
    return false;
}

void EngineManager::removeTriggerCallback(Entity* node) {
    auto it = m_triggerCallbacks.find(node);
    if (it == m_triggerCallbacks.end()) {
        return;
    }
    if (IScriptSystem* system = ScriptSystem::get()) {
        system->releaseReference(it->second.target);
    }
    m_triggerCallbacks.erase(it);
}

bool EngineManager::addContactCallback(Entity* node, const std::string& functionName, int* target) {
    (void)functionName;
    (void)target;
    Log::get() << "Physics: Add contact report callback failed, object "
               << (node != nullptr ? node->getName() : std::string()) << " is not a physics object"
               << "\n";
    return false;
}

void EngineManager::removeContactCallback(Entity* node) {
    auto it = m_contactCallbacks.find(node);
    if (it == m_contactCallbacks.end()) {
        return;
    }
    if (IScriptSystem* system = ScriptSystem::get()) {
        system->releaseReference(it->second.target);
    }
    m_contactCallbacks.erase(it);
}

ScenegraphPhysicsContext* EngineManager::getPhysicsContext() {
    ScenegraphPhysicsContext* context = ScenegraphPhysicsContext::get();
    if (context != nullptr) {
        context->setHost(m_physicsHost.get());
    }
    return context;
}
