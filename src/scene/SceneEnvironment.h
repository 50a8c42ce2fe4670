#pragma once
// The scene settings that scripts set and the renderer reads each frame:
// ambient colour, distance fog, volume fog and the view distance
// coefficient that scales the shapes' clip distances.

#include <cfloat>
#include <cstdint>
#include <cstring>

#include "base/math/Vector3.h"

struct FogSettings {
    // 0 off, 1 linear, 2 exp, 3 exp2.
    int32_t mode = 0;
    // Distance fog uses the first two (start or density, end), volume fog
    // all three (start or density, end, height of its plane).
    float parameters[3] = {0.0f, 0.0f, 0.0f};
    // Red, green, blue and an alpha of 0.
    float color[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// "linear" 1, "exp" 2, "exp2" 3, anything else (other case included) 0.
inline int32_t fogModeFromName(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    if (std::strcmp(name, "linear") == 0) {
        return 1;
    }
    if (std::strcmp(name, "exp") == 0) {
        return 2;
    }
    return std::strcmp(name, "exp2") == 0 ? 3 : 0;
}

struct SceneEnvironment {
    Vector3 ambientColor{0.2f, 0.2f, 0.2f};
    FogSettings fog;
    FogSettings volumeFog;
    float viewDistanceCoeff = 1.0f;
    // Console values: queues are always sorted (the flag is kept for the
    // console); the cull override switches frustum and distance culling off;
    // the global clip distance culls every node whose nearest point lies at
    // or beyond it.
    bool sortGeometry = true;
    bool globalCullOverride = false;
    float globalClipDistance = FLT_MAX;
    // Console value: shapes of a pass that share a mesh, material, shaders
    // and lights are drawn with one instanced draw call; off draws every
    // shape on its own.
    bool instancing = true;
    // Debug drawing flags of the frame (0: none); bit 0x2 adds light
    // symbols and bit 0x8 bounding spheres to the debug lists.
    uint32_t debugFlags = 0;
    // Draws the scene passes as wire frames (F4).
    bool wireFrame = false;
};

// The debug drawing modes that F5 cycles through (and scripts choose):
// 0 none, 1 everything the walks draw, 2 and 3 the light symbols, 4 the
// bounding spheres. The flags of a mode; 0 for other numbers.
constexpr int kNumDebugDrawModes = 5;
inline uint32_t debugDrawModeFlags(int mode) {
    constexpr uint32_t kModeFlags[kNumDebugDrawModes] = {0, 22, 64, 2, 8};
    return mode >= 0 && mode < kNumDebugDrawModes ? kModeFlags[mode] : 0;
}
