#pragma once
// The scene node of a heightmap terrain: a transform group that owns the
// terrain and has one TerrainPatchShape child per patch, named
// node name + "Patch" + row + "x" + column.

#include <memory>
#include <string>
#include <vector>

#include "scene/TransformGroup.h"
#include "terrain/BaseTerrain.h"

class GeoMipMappingTerrain;

// The terrain attributes of a scene file, with their defaults.
struct TerrainParams {
    std::string heightMapName;
    std::string heightMapPath;  // resolved; empty: the node stays an empty group
    std::string globalLayerMapName;
    std::string globalLayerMapPath;
    float globalLayerWeight = 0.15f;
    int32_t patchSize = 17;
    float maxLODDistance = 160.0f;
    float heightScale = 6553.6f;
    float unitsPerPixel = 1.6f;
    float lodBlendStart = 100.0f;
    float lodBlendEnd = 220.0f;
    int32_t lodTextureSize = 512;
};

class TerrainTransformGroup : public TransformGroup {
public:
    // Loads and builds the terrain; any failure is logged and leaves the
    // node an empty group without patches.
    TerrainTransformGroup(const std::string& name, const TerrainParams& params,
                          const std::vector<TerrainLayerParams>& layers);
    ~TerrainTransformGroup() override;

    const char* getClassName() const override { return "TerrainTransformGroup"; }

    // The terrain (always present; without heights when loading failed).
    GeoMipMappingTerrain& getTerrain() const { return *m_terrain; }
    // Whether patches were built.
    bool isBuilt() const { return m_built; }

    // The terrain's local height below a world position: the position is
    // taken into the node's space, the node's own translation and scale are
    // not applied to the result. 0 outside the grid, without heights, or
    // when the node's transform cannot be inverted.
    float getHeightAtWorldPosition(const Vector3& world);

    // The loaded heights; empty when loading failed.
    HeightGrid getHeightGrid() const override;

private:
    std::unique_ptr<GeoMipMappingTerrain> m_terrain;
    bool m_built = false;
};
