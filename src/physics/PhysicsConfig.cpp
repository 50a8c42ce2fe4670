#include "physics/PhysicsConfig.h"

#include <cmath>

#include "foundation/Log.h"
#include "foundation/Properties.h"
#include "foundation/TextUtil.h"

namespace {

bool readVector(const Properties& file, const char* key, Vector3& out) {
    const char* text = file.getString(key);
    if (text == nullptr) {
        return false;
    }
    float values[3];
    if (readFloatList(text, values, 3) != 3 || !std::isfinite(values[0]) ||
        !std::isfinite(values[1]) || !std::isfinite(values[2])) {
        Log::get() << "Warning: physics.xml: " << key << " needs three numbers, '" << text
                   << "' ignored\n";
        return false;
    }
    out = {values[0], values[1], values[2]};
    return true;
}

}  // namespace

PhysicsConfig readPhysicsConfig(const Properties& file) {
    PhysicsConfig config;
    if (const char* text = file.getString("physics.default_skin_width")) {
        float value = readFloat(text);
        if (value > 0.0f && std::isfinite(value)) {
            config.defaultSkinWidth = value;
        }
    }
    readVector(file, "physics.gravity", config.gravity);
    readVector(file, "physics.world_bounds.min", config.worldBoundsMin);
    readVector(file, "physics.world_bounds.max", config.worldBoundsMax);
    config.remoteDebuggerEnabled =
        readFlag(file.getString("physics.visual_remote_debugger#enable"));
    if (const char* host = file.getString("physics.visual_remote_debugger#hostname")) {
        config.remoteDebuggerHost = host;
    }
    if (const char* text = file.getString("physics.visual_remote_debugger#portnumber")) {
        int port = readInt(text, 0);
        if (port != 0) {
            config.remoteDebuggerPort = port;
        }
    }
    config.multithreading = readFlag(file.getString("physics.multithreading#enable"));
    if (const char* text = file.getString("physics.multithreading#threads")) {
        int value = readInt(text, 0);
        if (value < 0 || value > kMaxPhysicsThreads) {
            Log::get() << "Warning: physics.xml: multithreading threads " << text
                       << " is outside 0 to " << kMaxPhysicsThreads << ", 0 is used\n";
        } else {
            config.threads = value;
        }
    }
    if (const char* text = file.getString("physics.simulation.timestep")) {
        float value = readFloat(text);
        if (value > 0.0f && std::isfinite(value)) {
            if (value < kMinPhysicsTimestep || value > kMaxPhysicsTimestep) {
                Log::get() << "Warning: physics.xml: timestep " << text << " is outside "
                           << kMinPhysicsTimestep << " to " << kMaxPhysicsTimestep
                           << ", 1/60 is used\n";
            } else {
                config.timestep = value;
            }
        }
    }
    if (const char* text = file.getString("physics.simulation.maxiter")) {
        int value = readInt(text, 0);
        if (value < 0 || value > kMaxPhysicsIterations) {
            Log::get() << "Warning: physics.xml: maxiter " << text << " is outside 1 to "
                       << kMaxPhysicsIterations << ", 2 is used\n";
        } else if (value != 0) {
            config.maxIterations = value;
        }
    }
    config.memoryStats = readFlag(file.getString("physics.memory_stats#enable"));
    return config;
}
