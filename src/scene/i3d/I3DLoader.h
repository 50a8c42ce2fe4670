#pragma once
// The i3d scene file loader: turns one XML scene file (version "1.5") into an
// unlinked subtree of nodes. Files, materials, shapes, lights, cameras, LOD
// groups, user attributes and skin binding are built here; terrain, particle
// systems, precipitation, animation, audio sources and physics attributes are
// handed to their subsystems through I3DSections.h.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/TransformGroup.h"

struct I3DOnCreateCall {
    int32_t nodeId = 0;
    std::string function;
};

struct I3DLoadResult {
    std::unique_ptr<TransformGroup> root;
    // The "onCreate" script callbacks of the file, in file order; the caller
    // runs them once the subtree is where it wants it.
    std::vector<I3DOnCreateCall> onCreate;
};

namespace I3DLimits {
// Node elements nested deeper than this make no node (a logged warning):
// the tree stays shallow enough for the recursive walks of the scene graph.
constexpr size_t kMaxNodeDepth = 512;
// Largest resolution of the render targets a file may ask for (reflection
// and depth blend maps, shadow maps).
constexpr int32_t kMaxResolution = 8192;
// Largest particle, drop and plant counts, atlas and patch sizes.
constexpr int32_t kMaxCount = 1 << 20;
constexpr int32_t kMaxAtlasSize = 256;
constexpr int32_t kMaxPatchSize = 1024;
constexpr int32_t kMaxDensityChannels = 32;
constexpr int32_t kMaxGrowthStates = 64;
// Vertices and triangles of one mesh; more are dropped with a log line.
constexpr size_t kMaxMeshVertices = size_t(1) << 24;
constexpr size_t kMaxMeshTriangles = size_t(1) << 25;
}  // namespace I3DLimits

// Loads the file through the file system. On failure (file not found, a
// parse or read error, a wrong version) returns false with the reason
// logged and leaves `result` empty; success logs the load time.
bool loadI3DFile(const std::string& path, I3DLoadResult& result);

// The same from text in memory; `path` names the file in messages and gives
// the base folder of relative file entries.
bool loadI3DText(const std::string& path, const char* text, size_t length, I3DLoadResult& result);
