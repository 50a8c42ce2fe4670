#pragma once
// The process-wide physics manager: reads "physics.xml", keeps its settings
// and, with "physics.memory_stats", the counting allocator of the physics
// library.

#include <memory>
#include <string>

#include "physics/PhysicsConfig.h"

class PhysicsDebugUserAllocator;

class PhysicsManager {
public:
    static PhysicsManager& get();

    // Reads "physics.xml" through the file system and logs the backend;
    // false (and logged) when the file is missing or the manager is already
    // initialised.
    bool init();
    // Releases the world first when one exists.
    void shutdown();
    bool isInitialised() const { return m_initialised; }

    const PhysicsConfig& getConfig() const { return m_config; }
    const std::string& getVersionText() const { return m_version; }
    // None unless memory statistics are on.
    const PhysicsDebugUserAllocator* getAllocator() const { return m_allocator.get(); }

private:
    PhysicsManager();
    ~PhysicsManager();

    bool m_initialised = false;
    PhysicsConfig m_config;
    std::string m_version;
    std::unique_ptr<PhysicsDebugUserAllocator> m_allocator;
};
