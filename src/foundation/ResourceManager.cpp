#include "foundation/ResourceManager.h"

#include <strings.h>

#include "foundation/Log.h"

ResourceManager::ResourceManager() = default;

ResourceManager::~ResourceManager() {
    shutdown();
}

ResourceManager& ResourceManager::instance() {
    static ResourceManager manager;
    return manager;
}

void ResourceManager::registerLoader(std::unique_ptr<ResourceLoader> loader) {
    if (loader) {
        int type = loader->getType();
        m_loaders[type] = std::move(loader);
    }
}

ResourceLoader* ResourceManager::getLoader(int type) const {
    auto it = m_loaders.find(type);
    return it != m_loaders.end() ? it->second.get() : nullptr;
}

Resource* ResourceManager::get(const std::string& name, int type, bool logErrors) {
    auto it = m_resources.find(name);
    if (it != m_resources.end()) {
        Resource* resource = it->second;
        if (resource->getType() == type) {
            bool ready = true;
            if (!resource->isActive()) {
                if (resource->isLoaded()) {
                    ready = resource->activate();
                } else {
                    ready = resource->load() && resource->activate();
                }
            }
            if (ready) {
                resource->addRef();
                return resource;
            }
        } else {
            Log::get() << "Error: Can't load resource: " << name
                       << " with same name but different type\n";
        }
    } else if (ResourceLoader* loader = getLoader(type)) {
        std::unique_ptr<Resource> resource = loader->create(name);
        if (resource && resource->load() && resource->activate()) {
            Resource* live = resource.release();
            m_resources[name] = live;
            live->addRef();
            return live;
        }
    } else {
        Log::get() << "No loader found to load resource: " << name << "\n";
    }
    if (logErrors) {
        Log::get() << "Error: Can't load resource: " << name << "\n";
    }
    return nullptr;
}

bool ResourceManager::add(Resource* resource) {
    if (resource == nullptr || m_resources.count(resource->getName()) != 0) {
        return false;
    }
    m_resources[resource->getName()] = resource;
    resource->addRef();
    return true;
}

void ResourceManager::release(Resource* resource) {
    if (resource == nullptr) {
        return;
    }
    if (resource->getRefCount() > 1) {
        resource->release();
        return;
    }
    resource->deactivate();
    // The table must never point at a destroyed resource, so the entry goes
    // with the last reference even when the resource stayed active.
    auto it = m_resources.find(resource->getName());
    if (it != m_resources.end() && it->second == resource) {
        m_resources.erase(it);
    }
    // The last reference: destroyed through the most derived class.
    delete resource;
}

bool ResourceManager::reload(const std::string& name) {
    Resource* resource = find(name);
    if (resource == nullptr) {
        return false;
    }
    // The command's reload, not a resource's own hot reload.
    resource->Resource::reloadFromFile();
    return true;
}

Resource* ResourceManager::find(const std::string& name) const {
    auto it = m_resources.find(name);
    return it != m_resources.end() ? it->second : nullptr;
}

std::vector<Resource*> ResourceManager::getResources() const {
    std::vector<Resource*> result;
    result.reserve(m_resources.size());
    for (const auto& entry : m_resources) {
        result.push_back(entry.second);
    }
    return result;
}

std::vector<Resource*> ResourceManager::getResources(int type) const {
    std::vector<Resource*> result;
    for (const auto& entry : m_resources) {
        if (entry.second->getType() == type) {
            result.push_back(entry.second);
        }
    }
    return result;
}

void ResourceManager::addHeldResource(Resource* resource) {
    if (resource != nullptr) {
        resource->addRef();
        m_heldResources.push_back(resource);
    }
}

void ResourceManager::shutdown() {
    // Last held first, so that scripts loaded later go before those they
    // were loaded by.
    while (!m_heldResources.empty()) {
        Resource* resource = m_heldResources.back();
        m_heldResources.pop_back();
        release(resource);
    }
    m_loaders.clear();
}

std::string reloadCommandText(ResourceManager& manager, const std::vector<std::string>& tokens) {
    if (tokens.size() != 2) {
        return "Reloads resource with given name";
    }
    const std::string& name = tokens[1];
    if (manager.reload(name)) {
        return name + " reloaded";
    }
    return name + " not found. Execute listResources for a list of all used resources.";
}

std::string reloadAllCommandText(ResourceManager& manager, const std::vector<std::string>& tokens) {
    if (tokens.size() != 2) {
        return "Reload all resources with given type";
    }
    const std::string& typeName = tokens[1];
    for (int type = 0; type < ResourceType::Count; ++type) {
        if (strcasecmp(typeName.c_str(), ResourceType::displayName(type)) != 0) {
            continue;
        }
        std::string answer;
        // Names first: a reload may release or create other resources.
        std::vector<std::string> names;
        for (Resource* resource : manager.getResources(type)) {
            names.push_back(resource->getName());
        }
        for (const std::string& name : names) {
            if (manager.reload(name)) {
                answer += name + " reloaded\n";
            }
        }
        return answer;
    }
    return "Resource type " + typeName +
           " not found. Execute listResources for a list of all known resource types.\n";
}

std::string listResourcesCommandText(const ResourceManager& manager) {
    std::string text = "Resource List\n";
    for (int type = 0; type < ResourceType::Count; ++type) {
        text += "\n";
        text += ResourceType::displayName(type);
        text += " List\n\n";
        for (const Resource* resource : manager.getResources(type)) {
            text += resource->getName() + " (";
            if (resource->isLoaded()) {
                text += "loaded, ";
            }
            if (resource->isActive()) {
                text += "active, ";
            }
            text += " " + std::to_string(resource->getRefCount()) + " refs)\n";
        }
    }
    return text;
}
