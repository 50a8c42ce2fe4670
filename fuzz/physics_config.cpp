// "physics.xml": the file is read through the file system (an in-memory
// loader here) the way the physics manager reads it, and whatever it says,
// the settings that size the world step must come out inside their bounds.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "foundation/XMLConfigFile.h"
#include "physics/PhysicsConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    XMLConfigFile file("fuzz/physics.xml", "PhysicsConfigFile", false);
    if (!file.isLoaded()) {
        return 0;
    }
    const PhysicsConfig config = readPhysicsConfig(file);
    const bool stepBounded = std::isfinite(config.timestep) &&
                             config.timestep >= kMinPhysicsTimestep &&
                             config.timestep <= kMaxPhysicsTimestep && config.maxIterations >= 1 &&
                             config.maxIterations <= kMaxPhysicsIterations && config.threads >= 0;
    const bool gravityFinite = std::isfinite(config.gravity.x) && std::isfinite(config.gravity.y) &&
                               std::isfinite(config.gravity.z);
    if (!stepBounded || !gravityFinite || !std::isfinite(config.defaultSkinWidth)) {
        abort();
    }
    return 0;
}
