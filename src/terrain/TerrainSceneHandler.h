#pragma once
// Builds the terrains of scene files: a "TerrainTransformGroup" element
// becomes a TerrainTransformGroup node with its layers.

#include <memory>

#include "scene/i3d/I3DSections.h"
#include "terrain/TerrainTransformGroup.h"

class TerrainSceneHandler : public I3DTerrainHandler {
public:
    std::unique_ptr<TransformGroup> createTerrain(const I3DTerrainDesc& desc) override;

    // Plugs this handler into the scene loader, or takes it out again.
    void install();
    void uninstall();
};

// The node parameters of a scene file's terrain, defaults where the file
// gives no value.
TerrainParams terrainParamsFromScene(const I3DTerrainDesc& desc);
std::vector<TerrainLayerParams> terrainLayersFromScene(const I3DTerrainDesc& desc);
