#include "foundation/HotReload.h"

#include <algorithm>

#include "foundation/Log.h"
#include "foundation/ResourceManager.h"

HotReload::HotReload(std::unique_ptr<IFileWatcher> watcher, ResourceManager& resources)
    : m_watcher(std::move(watcher)), m_resources(resources) {
    FileSystem::setReadObserver(this);
}

HotReload::~HotReload() {
    if (FileSystem::getReadObserver() == this) {
        FileSystem::setReadObserver(nullptr);
    }
}

std::unique_ptr<HotReload> HotReload::create(ResourceManager& resources) {
    std::unique_ptr<IFileWatcher> watcher = createFileWatcher();
    if (!watcher) {
        Log::get() << "Warning: no file watcher, changed files are not reloaded\n";
        return nullptr;
    }
    return std::make_unique<HotReload>(std::move(watcher), resources);
}

void HotReload::addHandler(IHotReloadHandler* handler) {
    if (handler != nullptr &&
        std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end()) {
        m_handlers.push_back(handler);
    }
}

void HotReload::removeHandler(IHotReloadHandler* handler) {
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), handler), m_handlers.end());
}

void HotReload::fileOpened(const std::string& name, const std::string& nativePath) {
    std::vector<std::string>& names = m_names[nativePath];
    if (std::find(names.begin(), names.end(), name) != names.end()) {
        return;
    }
    if (!m_watcher->watchFile(nativePath)) {
        Log::get() << "Warning: cannot watch '" << nativePath << "' for changes\n";
    }
    names.push_back(name);
}

int HotReload::applyChanges() {
    m_changed.clear();
    m_watcher->poll(m_changed);
    int reloaded = 0;
    for (const std::string& path : m_changed) {
        auto found = m_names.find(path);
        if (found == m_names.end()) {
            continue;
        }
        // A copy: reloading opens files, which may add names.
        const std::vector<std::string> names = found->second;
        for (const std::string& name : names) {
            switch (reloadFile(name)) {
                case HotReloadResult::Reloaded:
                    Log::get() << "Reloaded " << name << "\n";
                    ++reloaded;
                    break;
                case HotReloadResult::Failed:
                    Log::get() << "Error: could not reload " << name
                               << ", the previous version stays in use\n";
                    break;
                case HotReloadResult::NotMine:
                    break;
            }
        }
    }
    return reloaded;
}

HotReloadResult HotReload::reloadFile(const std::string& name) {
    HotReloadResult result = HotReloadResult::NotMine;
    auto combine = [&result](HotReloadResult one) {
        if (one == HotReloadResult::Failed ||
            (one == HotReloadResult::Reloaded && result == HotReloadResult::NotMine)) {
            result = one;
        }
    };
    // Names first: a script run again may release or create resources.
    std::vector<std::string> matching;
    for (Resource* resource : m_resources.getResources()) {
        if (resource->getFileName() == name) {
            matching.push_back(resource->getName());
        }
    }
    for (const std::string& resourceName : matching) {
        if (Resource* resource = m_resources.find(resourceName)) {
            combine(resource->reloadFromFile() ? HotReloadResult::Reloaded
                                               : HotReloadResult::Failed);
        }
    }
    for (IHotReloadHandler* handler : m_handlers) {
        combine(handler->reloadFile(name));
    }
    return result;
}
