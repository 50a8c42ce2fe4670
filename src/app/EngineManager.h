#pragma once
// The process-wide engine object every subsystem reaches for the
// configuration, the devices and the script system; it owns engine
// initialisation and shutdown and the registries through which scripts hear
// of physics triggers and contacts.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Log.h"
#include "physics/IPhysicsReports.h"

class DebugDrawLists;
class Entity;
class IInputDevice;
class IRenderDevice;
class IRenderWindow;
class Properties;
class ScenegraphPhysicsContext;
class SceneRenderContext;
class ScreenFont;
struct ScriptValue;
class TransformGroup;

struct EngineInitParameters {
    Properties* config = nullptr;
    std::string applicationName;
    std::string appBasePath;
    std::string userProfileAppPath;
    std::optional<std::string> archiveKey;
    std::string commandLine;
    bool loadFoundationScripts = true;
    bool automaticGpuClass = true;
    int gpuClass = 1;
    std::string performanceReferencePath = "shared/scalability/performanceReference.xml";
};

class EngineManager : public ITriggerReport, public IContactReport {
public:
    static EngineManager& get();

    // Engine initialisation: archive loaders, the log file, the script
    // system and its API, the resource loaders, the foundation scripts.
    // False when a subsystem the engine cannot run without failed.
    bool init(const EngineInitParameters& params);
    // Releases what init made, in reverse order.
    void shutdown();

    // Graphics initialisation of the engine: the scene render context with
    // its root node "RootNode".
    void initScene();
    // The application's render device and main window (not owned); null
    // while there is none. The window knows its size (getWidth/getHeight).
    void setRenderDevice(IRenderDevice* device, IRenderWindow* window) {
        m_renderDevice = device;
        m_renderWindow = window;
    }
    IRenderDevice* getRenderDevice() const { return m_renderDevice; }
    // The application's input device (not owned); null while there is none.
    void setInputDevice(IInputDevice* device) { m_inputDevice = device; }
    IInputDevice* getInputDevice() const { return m_inputDevice; }
    IRenderWindow* getRenderWindow() const { return m_renderWindow; }
    // Graphics initialisation with the device set: the screen font from
    // "shared/font/sansSerif.png" (or the built-in one), and the device that
    // textures are created on.
    void initGraphics();
    // Null until initGraphics.
    ScreenFont* getScreenFont() const { return m_screenFont.get(); }
    // The debug points, lines and triangles of the current frame.
    DebugDrawLists& getDebugDraw() { return *m_debugDraw; }
    SceneRenderContext* getSceneRenderContext() const { return m_sceneRenderContext.get(); }
    TransformGroup* getRootNode() const { return m_rootNode.get(); }

    // The physics world (made on first use once the engine is initialised),
    // reporting to the profiler and the debug lines; none before init.
    ScenegraphPhysicsContext* getPhysicsContext();
    // Physics wire frames in the debug lines (F9).
    void togglePhysicsDebugLines() { m_physicsDebugLines = !m_physicsDebugLines; }
    bool getPhysicsDebugLines() const { return m_physicsDebugLines; }

    Properties* getConfig() const { return m_config; }
    const std::string& getCommandLine() const { return m_commandLine; }
    const std::string& getApplicationName() const { return m_applicationName; }
    const std::string& getUserProfileAppPath() const { return m_userProfileAppPath; }

    bool isQuitRequested() const { return m_quitRequested; }
    void requestQuit() { m_quitRequested = true; }

    const std::string& getTerrainLoadDirectory() const { return m_terrainLoadDirectory; }
    void setTerrainLoadDirectory(const std::string& folder) { m_terrainLoadDirectory = folder; }

    // GPU class and the scalability values scripts read and write.
    struct Scalability {
        int selectedClass = 1;
        int detectedClass = 1;
        bool automatic = true;
        float viewDistanceCoeff = 1.0f;
        float terrainLodDistanceCoeff = 1.0f;
        float shadowQuality = 1.0f;  // 0: no shadow maps
    };
    Scalability& getScalability() { return m_scalability; }
    // Detects the class from the renderer name with the reference list,
    // applies the configured or detected class and logs the profile.
    void selectGpuPerformanceClass(const std::string& rendererName);
    const std::string& getPerformanceReferencePath() const { return m_performanceReferencePath; }

    // Physics event callbacks: the script function (and target reference)
    // called when a trigger node or a contact-reporting node has news. They
    // are kept by node id and dropped when their node is deleted.
    struct ScriptCallback {
        std::string functionName;
        int* target = nullptr;
    };
    // False (and logged) when the node is no physics trigger / object; the
    // target is taken either way. A node's new callback replaces its old.
    bool addTriggerCallback(Entity* node, const std::string& functionName, int* target);
    void removeTriggerCallback(Entity* node);
    bool addContactCallback(Entity* node, const std::string& functionName, int* target);
    void removeContactCallback(Entity* node);
    const std::map<int32_t, ScriptCallback>& getTriggerCallbacks() const {
        return m_triggerCallbacks;
    }
    const std::map<int32_t, ScriptCallback>& getContactCallbacks() const {
        return m_contactCallbacks;
    }
    // The physics world's events: script calls (trigger id, other id or 0,
    // entering, leaving, staying) and, for each node of a contact with a
    // callback, (own id, other id, touching began, normal force, friction
    // force).
    void trigger(Entity* triggerNode, Entity* otherNode, uint32_t flags) override;
    void contact(Entity* nodeA, Entity* nodeB, uint32_t flags, const Vector3& normalForce,
                 const Vector3& frictionForce) override;

private:
    class PhysicsHost;
    class CallbackWatch;

    EngineManager();
    ~EngineManager() override;

    using CallbackMap = std::map<int32_t, ScriptCallback>;
    void removeCallback(CallbackMap& map, CallbackWatch& watch, Entity* node);
    bool callCallback(const CallbackMap& map, int32_t nodeId, ScriptValue* values, int numArgs);
    // Releases a target reference, after the running callbacks when there
    // are any (a callback may remove itself).
    void releaseTarget(int* target);

    CallbackMap m_triggerCallbacks;
    CallbackMap m_contactCallbacks;
    std::unique_ptr<CallbackWatch> m_triggerWatch;
    std::unique_ptr<CallbackWatch> m_contactWatch;
    int m_runningCallbacks = 0;
    std::vector<int*> m_pendingReleases;
    std::unique_ptr<SceneRenderContext> m_sceneRenderContext;
    std::unique_ptr<TransformGroup> m_rootNode;
    std::unique_ptr<FileLogSink> m_fileLogSink;
    std::unique_ptr<StderrLogSink> m_stderrLogSink;
    IRenderDevice* m_renderDevice = nullptr;
    IRenderWindow* m_renderWindow = nullptr;
    IInputDevice* m_inputDevice = nullptr;
    std::unique_ptr<ScreenFont> m_screenFont;
    std::unique_ptr<DebugDrawLists> m_debugDraw;
    std::unique_ptr<PhysicsHost> m_physicsHost;
    bool m_physicsDebugLines = false;
    Properties* m_config = nullptr;
    std::string m_commandLine;
    std::string m_applicationName;
    std::string m_userProfileAppPath;
    std::string m_performanceReferencePath;
    Scalability m_scalability;
    bool m_quitRequested = false;
    std::string m_terrainLoadDirectory;
};
