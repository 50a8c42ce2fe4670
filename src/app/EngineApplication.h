#pragma once
// The application object main creates: it builds the whole engine in its
// constructor, runs the frame loop, and shuts everything down in its
// destructor.

#include <memory>
#include <string>
#include <vector>

#include "animation/AnimationSceneHandler.h"
#include "app/Console.h"
#include "app/GameTimer.h"
#include "audio/AudioSceneHandler.h"
#include "audio/AudioSource.h"
#include "effects/EffectsSceneHandler.h"
#include "input/IInputDevice.h"
#include "input/IInputEventListener.h"
#include "render/material/MaterialSceneHandler.h"
#include "terrain/TerrainSceneHandler.h"

struct StartupParameters;
class IRenderDevice;
class IRenderWindow;
class Properties;
class SceneRenderer;
class ShaderLibrary;
class HotReload;

// The state the frame loop, the console and the development keys share.
class Application : public IInputEventListener {
public:
    explicit Application(const std::string& historyPath) : console(historyPath) {}
    virtual void update(float dt) = 0;
    virtual void render() = 0;

    Console console;
    // The process's render device and its main window (owned by the
    // EngineApplication); null until the graphics device is up.
    IRenderDevice* renderDevice = nullptr;
    IRenderWindow* renderWindow = nullptr;
    // Keyboard, mouse and joystick; it calls keyEvent and mouseEvent.
    std::unique_ptr<IInputDevice> inputDevice;
    Properties* config = nullptr;
    bool profilerHistory = false;
    std::string applicationName;
    bool frameLimiterOn = true;
    float frameLimit = 60.0f;
    FpsCounter fps;
    bool showFps = false;
    bool ready = false;
    bool exitRequested = false;
    int debugDrawMode = 0;
    bool developmentControls = false;
};

// SDL 1.2 key codes the application itself reacts to.
namespace AppKey {
constexpr int BackQuote = 96;
constexpr int F2 = 283;
constexpr int F3 = 284;
constexpr int F4 = 285;
constexpr int F5 = 286;
constexpr int F6 = 287;
constexpr int F7 = 288;
constexpr int F8 = 289;
constexpr int F9 = 290;
constexpr int F11 = 292;
constexpr int F12 = 293;
}  // namespace AppKey

class EngineApplication : public Application {
public:
    explicit EngineApplication(const StartupParameters& params);
    ~EngineApplication() override;

    // 0 when construction completed; else the exit code (1) after the
    // message box has been shown.
    int getStartupExitCode() const { return m_startupExitCode; }

    // Runs frames until the game or the console asks to quit.
    void run();
    // One iteration of the frame loop; false when the loop should stop.
    bool runFrame();

    bool keyEvent(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown) override;
    bool mouseEvent(float x, float y, bool isDown, bool isUp, int button) override;
    void update(float dt) override;
    void render() override;

    static EngineApplication* getInstance() { return s_instance; }

    // Saves the main window to the file at the end of this frame, once its
    // text is drawn.
    void requestScreenshot(const std::string& path) { m_pendingScreenshots.push_back(path); }

private:
    void fail(const std::string& message);
    void registerConsoleCommands();
    // The console values of the scene render context (culling, clipping,
    // sorting, ambient, subdivision surfaces).
    void registerSceneConsoleValues();
    // The render device and the main window from "game.graphic.display.*";
    // false (exit code set) when start-up cannot go on.
    bool createGraphicsDevice();
    // The input device for the devices "game.input.*#enable" switch on.
    void openInputDevice();
    // OpenAL when "game.audio#enable" is "true" and a device opens, else the
    // silent device.
    void openSoundDevice();
    // Every 100 ms of game time: the listener follows the active camera and
    // the music streams are refilled.
    void updateAudioListener(float dt);
    // Before keys go to the console: no logical button or axis stays held.
    void resetInputKeys() {
        if (inputDevice) {
            inputDevice->resetKeyState();
        }
    }
    // F7: the camera after the active one among all cameras below the root,
    // depth-first, wrapping.
    void activateNextCamera();
    // The frame's debug points, lines and triangles seen through the active
    // camera.
    void renderDebugPrimitives();
    void renderScene();
    // The FPS, a statistics page, the console and all queued text, in one
    // draw.
    void renderScreenText();
    void savePendingScreenshots();

    static EngineApplication* s_instance;
    int m_startupExitCode = 0;
    bool m_engineInitialised = false;
    std::unique_ptr<IRenderDevice> m_renderDevice;
    std::unique_ptr<ShaderLibrary> m_shaderLibrary;
    // With development controls on: files read from folders are watched and
    // reloaded at the start of the frame after they change.
    std::unique_ptr<HotReload> m_hotReload;
    std::unique_ptr<SceneRenderer> m_sceneRenderer;
    std::vector<std::string> m_pendingScreenshots;
    Stopwatch m_limiterStopwatch;
    Stopwatch m_fpsStopwatch;
    float m_audioListenerMs = 0.0f;
    AudioSourceUpdater m_audioSources;
    AudioSceneHandler m_audioSceneHandler;
    AnimationSceneHandler m_animationSceneHandler;
    EffectsSceneHandler m_effectsSceneHandler;
    TerrainSceneHandler m_terrainSceneHandler;
    MaterialSceneHandler m_materialSceneHandler;
};
