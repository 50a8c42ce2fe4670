#pragma once
// The changes a user asks for on the way from the model file to the scene
// file, applied to the scene description.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ImportScene.h"

namespace i3dimport {

struct ImportOptions {
    // One factor for every length: positions, translations, clip planes,
    // light ranges.
    float scale = 1.0f;
    // The source's up axis ('x', 'y' or 'z'); the scene file is Y-up.
    char upAxis = 'y';
    // Meshes whose name gets the "subd_" prefix; "*" names every mesh.
    std::vector<std::string> subdivisionMeshes;
    // Rigid body attributes by node name.
    std::vector<std::string> staticNodes;
    std::vector<std::string> dynamicNodes;
    std::vector<std::pair<std::string, int32_t>> collisionMasks;
};

// Applies the options; names that match nothing and attributes that cannot
// go where they were asked for become warnings of the scene.
void applyImportOptions(ImportScene& scene, const ImportOptions& options);

}  // namespace i3dimport
