#pragma once
// The settings of "physics.xml" (root element "PhysicsConfigFile").

#include <cfloat>
#include <string>

#include "base/math/Vector3.h"

class Properties;

struct PhysicsConfig {
    float defaultSkinWidth = 0.01f;
    Vector3 gravity{0.0f, -9.81f, 0.0f};
    Vector3 worldBoundsMin{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    Vector3 worldBoundsMax{FLT_MAX, FLT_MAX, FLT_MAX};
    bool remoteDebuggerEnabled = false;
    std::string remoteDebuggerHost = "localhost";
    int remoteDebuggerPort = 5425;
    bool multithreading = false;
    int threads = 0;
    float timestep = 1.0f / 60.0f;
    int maxIterations = 2;
    bool memoryStats = false;
    bool logInfo = true;
    bool logWarnings = true;
};

// Most substeps one step may run, and the bounds of the fixed substep: a
// file cannot make the world grind through thousands of substeps a frame.
constexpr int kMaxPhysicsIterations = 64;
constexpr float kMinPhysicsTimestep = 1.0f / 10000.0f;
constexpr float kMaxPhysicsTimestep = 1.0f;
// The most worker threads the settings may ask for.
constexpr int kMaxPhysicsThreads = 64;

// Reads the keys over the defaults; values out of range are logged and
// ignored.
PhysicsConfig readPhysicsConfig(const Properties& file);
