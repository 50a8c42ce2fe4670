#pragma once
// The table of live resources by name, the loaders by type number and the
// resources the manager itself keeps alive until the process ends.
// Used from the main thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Resource.h"

class ResourceManager {
public:
    ResourceManager();
    // Destroys every loader and every held resource (see shutdown).
    ~ResourceManager();
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // The process-wide manager, created on first use, destroyed at exit.
    static ResourceManager& instance();

    // Registers the loader under its type number, replacing an earlier one.
    void registerLoader(std::unique_ptr<ResourceLoader> loader);
    ResourceLoader* getLoader(int type) const;

    // The resource of that name with one more reference, created, loaded and
    // activated on first request; null on failure (logged when logErrors).
    Resource* get(const std::string& name, int type, bool logErrors = true);

    // Enters a resource made in memory (already loaded and active, for
    // example a texture the engine generated) under its name and adds one
    // reference for the caller. False, and nothing entered, when the name is
    // taken or the resource is null.
    bool add(Resource* resource);

    // Drops one reference; the last one deactivates the resource, takes it out
    // of the table and destroys it. Nothing for null.
    void release(Resource* resource);

    // Reloads the resource of that name (its custom reloader, or deactivate,
    // unload, load, activate); the reference count stays. False when no
    // resource of that name exists.
    bool reload(const std::string& name);

    // The live resource of that name without adding a reference, or null.
    Resource* find(const std::string& name) const;

    // All live resources in name order (exact byte order).
    std::vector<Resource*> getResources() const;
    // Those of one type, in name order.
    std::vector<Resource*> getResources(int type) const;

    // The manager takes one reference on the resource and keeps it until
    // shutdown. Callers add a resource only when their get created it (its
    // count is 1), so a resource is held once.
    void addHeldResource(Resource* resource);
    const std::vector<Resource*>& getHeldResources() const { return m_heldResources; }

    // Lets go of every held resource and destroys every loader. Resources that
    // others still reference stay alive; the table keeps them.
    void shutdown();

private:
    std::map<std::string, Resource*> m_resources;
    std::vector<Resource*> m_heldResources;
    std::map<int, std::unique_ptr<ResourceLoader>> m_loaders;
};

// Answers of the console commands "reload", "reloadAll" and "listResources".
// The tokens are the command line as the console splits it, the command name
// first.
std::string reloadCommandText(ResourceManager& manager, const std::vector<std::string>& tokens);
std::string reloadAllCommandText(ResourceManager& manager, const std::vector<std::string>& tokens);
std::string listResourcesCommandText(const ResourceManager& manager);
