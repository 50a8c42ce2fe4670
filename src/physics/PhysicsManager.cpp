#include "physics/PhysicsManager.h"

#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/XMLConfigFile.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/IPhysicsScene.h"
#include "physics/sdk/PhysicsDebugUserAllocator.h"

namespace {

const char kConfigFileName[] = "physics.xml";

}  // namespace

PhysicsManager::PhysicsManager() = default;
PhysicsManager::~PhysicsManager() = default;

PhysicsManager& PhysicsManager::get() {
    static PhysicsManager* instance = new PhysicsManager();
    return *instance;
}

bool PhysicsManager::init() {
    if (m_initialised) {
        return false;
    }
    std::unique_ptr<File> opened = FileSystem::openFile(kConfigFileName, FileMode::Read);
    if (!opened) {
        Log::get() << "Physics config file not found: " << kConfigFileName << "\n";
        return false;
    }
    XMLConfigFile file(*opened, kConfigFileName);
    if (!file.isLoaded()) {
        Log::get() << "Error: Physics config file " << kConfigFileName << " is not valid XML\n";
        return false;
    }
    m_config = readPhysicsConfig(file);
    if (m_config.memoryStats) {
        m_allocator = std::make_unique<PhysicsDebugUserAllocator>();
        setPhysicsAllocator(m_allocator.get());
    }
    m_version = physicsBackendVersion();
    Log::get() << "Physics\n";
    Log::get() << "  Driver: " << physicsBackendName() << "\n";
    Log::get() << "  Version: " << m_version << "\n";
    if (m_config.remoteDebuggerEnabled) {
        Log::get() << "  Visual Remote Debugger: not available with " << physicsBackendName()
                   << " (" << m_config.remoteDebuggerHost << ":" << m_config.remoteDebuggerPort
                   << ")\n";
    }
    m_initialised = true;
    return true;
}

void PhysicsManager::shutdown() {
    ScenegraphPhysicsContext::release();
    if (m_allocator) {
        if (m_allocator->getLiveAllocations() == 0) {
            setPhysicsAllocator(nullptr);
            m_allocator.reset();
        } else {
            // Blocks still out (meshes held past the world) must go back
            // through the allocator that made them: it stays installed.
            (void)m_allocator.release();
        }
    }
    m_version.clear();
    m_config = PhysicsConfig();
    m_initialised = false;
}
