#include "app/EngineApplication.h"

#include <strings.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <vector>

#include "animation/CharacterSet.h"
#include "app/AppScriptApi.h"
#include "app/EngineManager.h"
#include "app/GpuPerformanceClass.h"
#include "app/Profiler.h"
#include "app/ScreenFont.h"
#include "app/Startup.h"
#include "app/StatsOverlay.h"
#include "audio/NullAudioDevice.h"
#include "audio/OpenALSoundDevice.h"
#include "base/device/IRenderDevice.h"
#include "base/device/RenderWindowConfig.h"
#include "base/device/Texture.h"
#include "base/platform/Platform.h"
#include "foundation/Entity.h"
#include "foundation/HotReload.h"
#include "foundation/HttpRequests.h"
#include "foundation/Properties.h"
#include "foundation/Resource.h"
#include "foundation/ResourceManager.h"
#include "foundation/TextUtil.h"
#include "foundation/TimerScheduler.h"
#include "foundation/XMLConfigFile.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "render/overlay/DebugDraw.h"
#include "render/overlay/Screenshot.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "scene/TransformGroup.h"
#include "scripting/IScriptSystem.h"
#include "scripting/ScriptApi.h"
#include "terrain/DetailLayerSettings.h"
#include "terrain/LocalGeometryTransformGroup.h"
#include "terrain/TerrainSettings.h"

namespace {

// Profiler sections are keyed by the address of their name.
const char kSectionProcessEvents[] = "ProcessEvents";
const char kSectionUpdate[] = "Update";
const char kSectionRender[] = "Render";
const char kSectionSwapBuffers[] = "Swap buffers";
const char kSectionFrameLimiter[] = "Frame Limiter";
const char kSectionScriptingUpdate[] = "Scripting update";
const char kSectionScriptingRender[] = "Scripting render";
const char kSectionRendererRender[] = "Renderer render";
const char kSectionRenderStats[] = "Render stats";
const char kSectionRenderAudio[] = "Render audio";

const char kNo3DSystemMessage[] =
    "Error: Could not init 3D system.\nShader Model 2.0 is required.\n\nPlease install the "
    "latest video drivers.";

// Calls a global script function with the prepared slots; a missing script
// system or function is skipped.
bool callScript(const char* name, ScriptValue* values, int numArgs, int numResults) {
    IScriptSystem* system = ScriptSystem::get();
    return system != nullptr && system->callFunction(name, values, numArgs, numResults, nullptr);
}

// The scene renderer's steps as profiler sections.
class ProfilerRenderSections : public IRenderSections {
public:
    void enterSection(const char* name) override { Profiler::get().enterSection(name); }
    void leaveSection() override { Profiler::get().leaveSection(); }
};

ProfilerRenderSections g_renderSections;

void collectCameras(Node* node, std::vector<Camera*>& cameras) {
    if (node->hasKind(EntityKind::Camera)) {
        cameras.push_back(static_cast<Camera*>(node));
    }
    for (Node* child : node->getChildren()) {
        collectCameras(child, cameras);
    }
}

}  // namespace

EngineApplication* EngineApplication::s_instance = nullptr;

void EngineApplication::activateNextCamera() {
    EngineManager& engine = EngineManager::get();
    SceneRenderContext* context = engine.getSceneRenderContext();
    if (context == nullptr || engine.getRootNode() == nullptr) {
        return;
    }
    std::vector<Camera*> cameras;
    collectCameras(engine.getRootNode(), cameras);
    if (cameras.empty()) {
        return;
    }
    auto current = std::find(cameras.begin(), cameras.end(), context->getActiveCamera());
    if (current == cameras.end() || ++current == cameras.end()) {
        current = cameras.begin();
    }
    context->setActiveCamera(*current);
}

EngineApplication::EngineApplication(const StartupParameters& params)
    : Application(params.userProfileAppPath + ".shell_history") {
    s_instance = this;
    applicationName = params.applicationName;
    config = params.config;

    registerConsoleCommands();
    Log::get().addSink(&console);
    Log::get() << applicationName << " (build from: " << __DATE__ << ")\n";
    Log::get() << "A real-time 3D engine for games written in Lua\n";

    EngineInitParameters init;
    init.config = params.config;
    init.applicationName = params.applicationName;
    init.appBasePath = params.appBasePath;
    init.userProfileAppPath = params.userProfileAppPath;
    init.archiveKey = params.archiveKey;
    init.commandLine = params.commandLine;
    const char* gpuClass = config != nullptr
                               ? config->getString("game.graphic.scalability.gpuPerformaceClass")
                               : nullptr;
    if (gpuClass != nullptr && strcasecmp(gpuClass, "auto") != 0) {
        init.automaticGpuClass = false;
        init.gpuClass = gpuclass::fromName(gpuClass);
    }

    // Watching starts before the first file is read, so that the foundation
    // scripts are reloaded too.
    if (config != nullptr && readFlag(config->getString("game.development.controls"))) {
        m_hotReload = HotReload::create(ResourceManager::instance());
    }

    m_engineInitialised = true;
    if (!EngineManager::get().init(init)) {
        fail("Error: Engine initialization failed\n");
        return;
    }

    openInputDevice();
    openSoundDevice();
    // Terrains light per vertex when the configuration says per-pixel
    // lighting is anything but "true"; without the value the GPU class
    // decides.
    const char* perPixelLighting =
        config != nullptr ? config->getString("game.graphic.scalability.terrain.perPixelLighting")
                          : nullptr;
    if (perPixelLighting != nullptr) {
        TerrainSettings::setVertexLighting(std::string(perPixelLighting) != "true");
    }
    if (perPixelLighting != nullptr && TerrainSettings::getVertexLighting()) {
        Log::get() << "Terrain lighting: per vertex\n";
    }
    m_materialSceneHandler.install();
    m_terrainSceneHandler.install();
    if (!createGraphicsDevice()) {
        return;
    }
    EngineManager::get().setRenderDevice(renderDevice, renderWindow);
    inputDevice->setWindowSize(renderWindow->getWidth(), renderWindow->getHeight());
    inputDevice->setUnicodeTranslation(true);
    EngineManager::get().initGraphics();
    EngineManager::get().initScene();
    m_effectsSceneHandler.install({renderDevice, EngineManager::get().getSceneRenderContext()});
    EngineManager::get().selectGpuPerformanceClass(renderDevice->getRendererName());
    if (TerrainSettings::getLayerDistanceCoeff() < 1.0f) {
        Log::get() << "Terrain: detail layers up to " << TerrainSettings::getLayerDistanceCoeff()
                   << " of their distance, lighting per "
                   << (TerrainSettings::getVertexLighting() ? "vertex" : "pixel") << "\n";
    }
    // Generated shaders are cached in the per-user folder; the shared
    // sources are read when the first shape needs its shaders.
    m_shaderLibrary = std::make_unique<ShaderLibrary>(
        *renderDevice, EngineManager::get().getUserProfileAppPath() + "shader_cache/");
    // Profiler traces go beside the log.
    Profiler::get().setTraceFolder(EngineManager::get().getUserProfileAppPath());
    m_sceneRenderer = std::make_unique<SceneRenderer>(*renderDevice, *m_shaderLibrary);
    if (m_hotReload) {
        m_hotReload->addHandler(m_shaderLibrary.get());
    }

    // The loading screen stands until the startup script has run.
    renderDevice->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
    if (ScreenFont* font = EngineManager::get().getScreenFont()) {
        font->setColour(1.0f, 1.0f, 1.0f, 1.0f);
        font->setBold(true);
        font->drawText(0.41f, 0.01f, 0.025f, "Loading, please wait...", false);
        font->setBold(false);
        font->flushText(*renderDevice);
    }
    renderWindow->swapBuffers();

    developmentControls =
        config != nullptr && readFlag(config->getString("game.development.controls"));

    StatsOverlayList& pages = StatsOverlayList::get();
    pages.add(std::make_unique<RenderStats>(renderDevice, m_shaderLibrary.get()));
    pages.add(std::make_unique<ProfilerStats>());
    pages.add(std::make_unique<AnimationStats>());
    pages.add(std::make_unique<EffectsStats>());
    if (ScenegraphPhysicsContext* physics = EngineManager::get().getPhysicsContext()) {
        pages.add(std::make_unique<PhysicsStats>());
        console.registerCommand(ConsoleCommand::flag("parallelRenderingAndPhysics",
                                                     "Enable parallel rendering and physics",
                                                     physics->parallelFlag(), false));
    }

    registerSceneConsoleValues();
    m_sceneRenderer->setDebugLists(&EngineManager::get().getDebugDraw());
    m_sceneRenderer->setSections(&g_renderSections);

    // Every texture made from now on filters with these.
    TextureSettings::setFilter(
        config != nullptr ? readFloat(config->getString("game.graphic.opengl.filter.anisotropy"))
                          : 0.0f,
        config != nullptr && readFlag(config->getString("game.graphic.display.filter.trilinear")));

    if (!params.startupScript.empty()) {
        ResourceManager& manager = ResourceManager::instance();
        if (Resource* script = manager.get(params.startupScript, ResourceType::Script, true)) {
            if (script->getRefCount() == 1) {
                manager.addHeldResource(script);
            }
            manager.release(script);
        }
    }

    EngineManager& engine = EngineManager::get();
    createDefaultCamera(*engine.getRootNode(), *engine.getSceneRenderContext());
    // Detail cells update from the active camera on their render event;
    // saved density maps go to the per-user folder.
    LocalGeometryTransformGroup::setSceneRenderContext(engine.getSceneRenderContext());
    DetailLayerSettings::setUserFolder(engine.getUserProfileAppPath());

    if (IScriptSystem* system = ScriptSystem::get()) {
        ScriptApi api;
        addApplicationScriptApi(api);
        api.install(*system);
    }

    ScriptValue values[ScriptSlots::Count];
    clearScriptValues(values);
    callScript("init", values, 0, 1);

    ready = true;
    GameTimer::get().stopwatch.start();
    m_limiterStopwatch.start();
    m_fpsStopwatch.start();
}

EngineApplication::~EngineApplication() {
    m_hotReload.reset();
    StatsOverlayList::get().clear();
    // A trace still running at exit is written, not lost.
    Profiler::get().finishTrace();
    if (m_shaderLibrary) {
        const ShaderLibrary::Stats& stats = m_shaderLibrary->getStats();
        Log::get() << "Shaders: " << stats.compiled << " compiled, " << stats.fromCache
                   << " read from the cache, " << stats.failedKeys << " keys failed\n";
    }
    if (SceneRenderContext* context = EngineManager::get().getSceneRenderContext()) {
        if (context->subMeshDrawer == m_sceneRenderer.get()) {
            context->subMeshDrawer = nullptr;
        }
    }
    // The effect prototypes hold device buffers: they go while the device
    // exists.
    m_effectsSceneHandler.uninstall();
    if (m_engineInitialised) {
        EngineManager::get().shutdown();
    }
    // Shader objects and declarations go while the GL context exists.
    m_sceneRenderer.reset();
    m_shaderLibrary.reset();
    Log::get().removeSink(&console);
    // The window (and its GL context) goes before the device.
    EngineManager::get().setRenderDevice(nullptr, nullptr);
    renderWindow = nullptr;
    renderDevice = nullptr;
    if (m_renderDevice) {
        m_renderDevice->destroyRenderWindow();
        m_renderDevice.reset();
    }
    EngineManager::get().setInputDevice(nullptr);
    inputDevice.reset();
    m_audioSceneHandler.uninstall();
    m_animationSceneHandler.uninstall();
    m_terrainSceneHandler.uninstall();
    m_materialSceneHandler.uninstall();
    m_audioSources.clear();
    SoundDevice::set(nullptr);
    s_instance = nullptr;
}

void EngineApplication::openInputDevice() {
    auto enabled = [this](const char* key) {
        return config != nullptr && readFlag(config->getString(key));
    };
    int devices = 0;
    devices |= enabled("game.input.keyboard#enable") ? InputDevices::Keyboard : 0;
    devices |= enabled("game.input.mouse#enable") ? InputDevices::Mouse : 0;
    devices |= enabled("game.input.joystick#enable") ? InputDevices::Joystick : 0;
    inputDevice = createInputDevice(devices);
    EngineManager::get().setInputDevice(inputDevice.get());
    inputDevice->addInputEventListener(this);
}

void EngineApplication::openSoundDevice() {
    SoundDevice::set(nullptr);
    m_audioSceneHandler.install();
    m_animationSceneHandler.install();
    if (config != nullptr && readFlag(config->getString("game.audio#enable"))) {
        std::unique_ptr<ISoundDevice> device =
            createOpenALSoundDevice(OpenALDeviceKind::GenericSoftware);
        if (!device->isFailed()) {
            SoundDevice::set(std::move(device));
            return;
        }
        device.reset();
        Log::get() << "Warning: No sound device available, sound is off\n";
    }
    SoundDevice::set(std::make_unique<NullAudioDevice>());
}

void EngineApplication::updateAudioListener(float dt) {
    m_audioListenerMs += dt;
    if (m_audioListenerMs <= AudioSourceUpdater::kIntervalMs) {
        return;
    }
    m_audioListenerMs -= AudioSourceUpdater::kIntervalMs;
    ISoundDevice* device = SoundDevice::get();
    if (device == nullptr) {
        return;
    }
    SceneRenderContext* context = EngineManager::get().getSceneRenderContext();
    if (context != nullptr && context->getActiveCamera() != nullptr) {
        const Matrix4& world = context->getActiveCamera()->getWorldMatrix();
        // The camera looks along its negative z axis; OpenAL, like the scene,
        // is right-handed.
        const Vector3 zAxis{world.m[8], world.m[9], world.m[10]};
        const Vector3 up{world.m[4], world.m[5], world.m[6]};
        device->setListenerPosition(world.getTranslation());
        device->setListenerOrientation(-zAxis, up);
    }
    device->updateStreams();
}

bool EngineApplication::createGraphicsDevice() {
    m_renderDevice = createRenderDevice();
    if (!m_renderDevice->init(true)) {
        // The device has said why in the log.
        m_startupExitCode = 1;
        return false;
    }
    renderDevice = m_renderDevice.get();
    RenderWindowSettings settings = readRenderWindowSettings(config, applicationName);
    renderWindow = renderDevice->createRenderWindow(settings);
    if (renderWindow == nullptr) {
        fail(kNo3DSystemMessage);
        return false;
    }
    return true;
}

void EngineApplication::fail(const std::string& message) {
    platform::showErrorMessageBox(applicationName, message);
    m_startupExitCode = 1;
}

void EngineApplication::registerConsoleCommands() {
    for (const char* name : {"exit", "quit", "q"}) {
        console.registerCommand(
            ConsoleCommand::flag(name, "Quits application", &exitRequested, true));
    }
    console.registerCommand(ConsoleCommand::function(
        "reload", "Reloads resource with given name", [](const std::vector<std::string>& tokens) {
            return reloadCommandText(ResourceManager::instance(), tokens);
        }));
    console.registerCommand(ConsoleCommand::function(
        "reloadAll", "Reload all resources with given type",
        [](const std::vector<std::string>& tokens) {
            return reloadAllCommandText(ResourceManager::instance(), tokens);
        }));
    console.registerCommand(ConsoleCommand::function(
        "listResources", "Print detailed resource list", [](const std::vector<std::string>&) {
            return listResourcesCommandText(ResourceManager::instance());
        }));
    console.registerCommand(ConsoleCommand::function(
        "listEntities", "Print detailed entity list",
        [](const std::vector<std::string>&) { return listEntitiesText(); }));
    console.registerCommand(ConsoleCommand::flag(
        "profilerSaveHistory",
        "Enable/Disable profile data collection for .csv dump (works only in profile version)",
        &profilerHistory, false));
    console.registerCommand(ConsoleCommand::function(
        "profilerTrace",
        "Start/Stop recording every profiler section; stopping writes profiler_trace.json "
        "(opens in Perfetto and Chrome's trace viewer)",
        [](const std::vector<std::string>&) -> std::string {
            Profiler& profiler = Profiler::get();
            const bool start = !profiler.isTraceRequested();
            profiler.requestTrace(start);
            return start ? "Profiler trace starts with the next frame"
                         : "Profiler trace stops with the next frame and is written to "
                           "profiler_trace.json";
        }));
    console.registerCommand(
        ConsoleCommand::flag("show_fps", "Show frames per second", &showFps, false));
    console.registerCommand(ConsoleCommand::flag(
        "enableFramerateLimit", "Enable/disable frames per second limiter", &frameLimiterOn, true));
    console.registerCommand(ConsoleCommand::number(
        "framerateLimitFPS", "Frames per second limit attribute", &frameLimit, 1.0f, 1000.0f));
}

void EngineApplication::registerSceneConsoleValues() {
    SceneRenderContext* context = EngineManager::get().getSceneRenderContext();
    if (context == nullptr) {
        return;
    }
    SubDsSettings& subds = context->subds;
    console.registerCommand(ConsoleCommand::flag("showControlMeshSubds",
                                                 "Show control mesh of subdivision surfaces",
                                                 &subds.showControlMesh, false));
    console.registerCommand(ConsoleCommand::integer(
        "subdsLevelOverride", "Subdivision surfaces level override\n0 is automatic",
        &subds.levelOverride, 0));
    console.registerCommand(ConsoleCommand::number(
        "subdsActiveDistance",
        "Subdivision surfaces active distance\nDistance to begin subdivision",
        &subds.activeDistance, 0.0f, 3.4028235e38f));
    console.registerCommand(ConsoleCommand::integer(
        "subdsMaxLevel", "Subdivision surfaces maximal level", &subds.maxLevel, 1));
    SceneEnvironment& environment = context->environment;
    console.registerCommand(ConsoleCommand::flag(
        "sortGeometry", "Sort render queue by material sort id", &environment.sortGeometry, false));
    console.registerCommand(ConsoleCommand::flag(
        "globalCullOverride", "Global cull override.\nIf true no visibility culling is used.",
        &environment.globalCullOverride, false));
    console.registerCommand(ConsoleCommand::number(
        "globalClipDistance",
        "Global clipping distance.\nAdditional distance clipping per object (at center of "
        "object).",
        &environment.globalClipDistance, 0.0f, FLT_MAX));
    console.registerCommand(ConsoleCommand::flag(
        "instancing",
        "Draw shapes that share mesh, material and lights with one instanced draw call",
        &environment.instancing, false));
    console.registerCommand(ConsoleCommand::vector("ambient", "Global ambient color (deprecated)",
                                                   &environment.ambientColor.x));
}

void EngineApplication::run() {
    if (!ready) {
        return;
    }
    while (runFrame()) {
    }
}

bool EngineApplication::runFrame() {
    if (EngineManager::get().isQuitRequested() || exitRequested) {
        return false;
    }
    Profiler& profiler = Profiler::get();
    profiler.frameStart(static_cast<int>(g_frameCounter));
    if (m_hotReload) {
        m_hotReload->applyChanges();
    }

    GameTimer& timer = GameTimer::get();
    timer.stopwatch.stop();
    timer.advance(timer.stopwatch.getElapsedMs());
    timer.stopwatch.start();
    // Requests that finished on their workers reach their scripts here.
    HttpRequests::get().deliverFinished();

    {
        ProfileScope section(kSectionProcessEvents);
        if (inputDevice) {
            inputDevice->processEvents();
        }
    }
    {
        ProfileScope section(kSectionUpdate);
        TimerScheduler::get().advance(timer.dt);
        update(timer.dt);
        if (ScenegraphPhysicsContext* physics = ScenegraphPhysicsContext::get()) {
            physics->step(timer.dt);
        }
    }
    {
        ProfileScope section(kSectionRender);
        render();
    }
    {
        ProfileScope section(kSectionSwapBuffers);
        renderWindow->swapBuffers();
        if (int error = renderDevice->getLastError()) {
            Log::get() << "RenderDevice " << getRenderDeviceErrorName(error) << "\n";
        }
    }
    {
        ProfileScope section(kSectionFrameLimiter);
        if (frameLimiterOn) {
            m_limiterStopwatch.stop();
            int wait = frameLimiterWaitMs(frameLimit, m_limiterStopwatch.getElapsedMs());
            if (wait > 0) {
                platform::sleepMs(static_cast<unsigned>(wait));
            }
            m_limiterStopwatch.start();
        }
    }
    m_fpsStopwatch.stop();
    fps.addFrame(m_fpsStopwatch.getElapsedMs());
    m_fpsStopwatch.start();

    profiler.frameEnd();
    ++g_frameCounter;
    return true;
}

void EngineApplication::update(float dt) {
    CharacterSet::updateAll(GameTimer::get().totalTime);
    ProfileScope section(kSectionScriptingUpdate);
    ScriptValue values[ScriptSlots::Count];
    clearScriptValues(values);
    values[0].setFloat(dt);
    callScript("update", values, 1, 0);
    updateAudioListener(dt);
}

void EngineApplication::render() {
    {
        ProfileScope section(kSectionRenderAudio);
        EngineManager& engine = EngineManager::get();
        SceneRenderContext* context = engine.getSceneRenderContext();
        if (context != nullptr && context->getActiveCamera() != nullptr) {
            m_audioSources.advance(GameTimer::get().dt, context->getRootNode(),
                                   context->getActiveCamera()->getWorldMatrix().getTranslation());
        }
    }
    {
        ProfileScope section(kSectionRendererRender);
        renderDevice->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        renderScene();
        renderDebugPrimitives();
    }
    {
        ProfileScope section(kSectionScriptingRender);
        ScriptValue values[ScriptSlots::Count];
        clearScriptValues(values);
        callScript("draw", values, 0, 0);
    }
    {
        ProfileScope section(kSectionRenderStats);
        renderScreenText();
    }
    if (!m_pendingScreenshots.empty()) {
        savePendingScreenshots();
    }
}

void EngineApplication::renderScene() {
    SceneRenderContext* context = EngineManager::get().getSceneRenderContext();
    if (m_sceneRenderer && context != nullptr) {
        m_sceneRenderer->setShadowQuality(EngineManager::get().getScalability().shadowQuality);
        m_sceneRenderer->render(*context, renderWindow->getWidth(), renderWindow->getHeight(),
                                GameTimer::get().dt);
    }
}

void EngineApplication::renderDebugPrimitives() {
    EngineManager& engine = EngineManager::get();
    SceneRenderContext* context = engine.getSceneRenderContext();
    if (context != nullptr && context->getActiveCamera() != nullptr) {
        Camera* camera = context->getActiveCamera();
        Matrix4 projection =
            camera->getProjectionMatrix(static_cast<float>(renderWindow->getWidth()),
                                        static_cast<float>(renderWindow->getHeight()));
        Matrix4 view = camera->getViewMatrix();
        renderDevice->setProjectionMatrix(projection.data());
        renderDevice->setViewMatrix(view.data());
    }
    engine.getDebugDraw().draw(*renderDevice, renderWindow->getWidth(), renderWindow->getHeight());
}

void EngineApplication::renderScreenText() {
    ScreenFont* font = EngineManager::get().getScreenFont();
    // The console slides with the frame time even while nothing draws it.
    std::string consoleText;
    if (console.isVisible() || console.isAnimating()) {
        consoleText = console.updateDisplayText(GameTimer::get().dt);
    }
    if (font == nullptr) {
        return;
    }
    if (showFps) {
        bool slow = fps.framesPerSecond < 30.0f;
        font->setColour(1.0f, slow ? 0.1f : 1.0f, slow ? 0.1f : 1.0f, 1.0f);
        char text[32];
        std::snprintf(text, sizeof(text), "%d FPS", static_cast<int>(fps.framesPerSecond));
        font->drawText(0.9f, 0.95f, 0.025f, text, false);
    }
    if (!console.isVisible()) {
        StatsContext context;
        context.font = font;
        StatsOverlayList::get().draw(context);
    }
    if (!consoleText.empty()) {
        font->setBold(false);
        font->setColour(1.0f, 1.0f, 1.0f, console.getSlidePosition());
        font->drawText(0.005f, 0.98f, 0.02f, consoleText.c_str(), false);
        font->setColour(1.0f, 1.0f, 1.0f, 1.0f);
    }
    font->flushText(*renderDevice);
}

void EngineApplication::savePendingScreenshots() {
    for (const std::string& path : m_pendingScreenshots) {
        if (saveScreenshot(*renderDevice, path)) {
            Log::get() << "Screenshot saved: " << path << "\n";
        } else {
            Log::get() << "Error: Can't save screenshot '" << path << "'\n";
        }
    }
    m_pendingScreenshots.clear();
}

bool EngineApplication::keyEvent(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown) {
    if (developmentControls && isDown) {
        switch (key) {
            case AppKey::BackQuote:
                resetInputKeys();
                console.toggle();
                break;
            case AppKey::F2:
                showFps = !showFps;
                break;
            case AppKey::F4:
                if (SceneRenderContext* context = EngineManager::get().getSceneRenderContext()) {
                    context->environment.wireFrame = !context->environment.wireFrame;
                }
                break;
            case AppKey::F5:
                debugDrawMode = (debugDrawMode + 1) % kNumDebugDrawModes;
                if (SceneRenderContext* context = EngineManager::get().getSceneRenderContext()) {
                    context->environment.debugFlags = debugDrawModeFlags(debugDrawMode);
                }
                break;
            case AppKey::F6:
                frameLimiterOn = !frameLimiterOn;
                break;
            case AppKey::F8:
                StatsOverlayList::get().next();
                break;
            case AppKey::F11:
                profilerHistory = !profilerHistory;
                Profiler::get().requestHistory(profilerHistory);
                break;
            case AppKey::F12:
                Profiler::get().requestSave();
                break;
            case AppKey::F7:
                activateNextCamera();
                break;
            case AppKey::F9:
                // The physics library has no remote debugger: the key shows
                // the physics world's wire frames instead.
                EngineManager::get().togglePhysicsDebugLines();
                break;
            case AppKey::F3:
                CharacterSet::nextClipAll();
                break;
            default:
                if (console.isVisible()) {
                    resetInputKeys();
                    console.keyInput(key, unicode);
                }
                break;
        }
    }
    ScriptValue values[ScriptSlots::Count];
    clearScriptValues(values);
    values[0].setInt(unicode);
    values[1].setInt(key);
    values[2].setInt(static_cast<int32_t>(modifiers));
    values[3].setBool(isDown);
    callScript("keyEvent", values, 4, 0);
    return true;
}

bool EngineApplication::mouseEvent(float x, float y, bool isDown, bool isUp, int button) {
    ScriptValue values[ScriptSlots::Count];
    clearScriptValues(values);
    values[0].setFloat(x);
    values[1].setFloat(y);
    values[2].setBool(isDown);
    values[3].setBool(isUp);
    values[4].setInt(button);
    callScript("mouseEvent", values, 5, 0);
    return true;
}
