#pragma once
// Hot reload for the development controls: remembers every file the engine
// read from a folder, watches those files, and at the start of a frame
// reloads what was made from the ones that changed. Resources (scripts,
// textures, sound samples) are reloaded through the resource manager; other
// subsystems (the shader library, custom shaders) add handlers. Everything
// runs on the main thread: the watcher is polled, never waited on.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/platform/FileWatcher.h"
#include "foundation/File.h"

class ResourceManager;

enum class HotReloadResult {
    NotMine,   // the handler has nothing made from the file
    Reloaded,  // the new version is in use
    Failed     // the new version was refused (logged); the previous one stays
};

class IHotReloadHandler {
public:
    virtual ~IHotReloadHandler() = default;
    // `name` is the file name as the engine opened it.
    virtual HotReloadResult reloadFile(const std::string& name) = 0;
};

class HotReload : public IFileReadObserver {
public:
    // Installs itself as the file system's read observer.
    HotReload(std::unique_ptr<IFileWatcher> watcher, ResourceManager& resources);
    ~HotReload() override;
    HotReload(const HotReload&) = delete;
    HotReload& operator=(const HotReload&) = delete;

    // Over the platform's file watcher; null (logged) when there is none.
    static std::unique_ptr<HotReload> create(ResourceManager& resources);

    // Handlers are asked after the resources, in the order added.
    void addHandler(IHotReloadHandler* handler);
    void removeHandler(IHotReloadHandler* handler);

    void fileOpened(const std::string& name, const std::string& nativePath) override;

    // Reloads what was made from every file changed since the last call,
    // with one log line per file. Returns the number of files reloaded.
    // Costs one non-blocking read when nothing changed.
    int applyChanges();

    // Reloads what was made from the file of that name now.
    HotReloadResult reloadFile(const std::string& name);

private:
    std::unique_ptr<IFileWatcher> m_watcher;
    ResourceManager& m_resources;
    std::vector<IHotReloadHandler*> m_handlers;
    // Native path -> the names the engine opened it under.
    std::map<std::string, std::vector<std::string>> m_names;
    // Reused by every poll.
    std::vector<std::string> m_changed;
};
