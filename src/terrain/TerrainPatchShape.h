#pragma once
// The shape that draws one terrain patch. It listens to its patch: a new
// layer selection rebuilds its three materials (near, blend and far), new
// geometry renews its bounds.

#include <string>

#include "scene/Shape.h"
#include "terrain/GeoMipMappingTerrainPatch.h"

class TerrainPatchShape : public Shape, public ITerrainPatchListener {
public:
    TerrainPatchShape(const std::string& name, GeoMipMappingTerrainPatch& patch);
    ~TerrainPatchShape() override;

    GeoMipMappingTerrainPatch* getPatch() const { return m_patch; }

    void patchLayersChanged() override;
    void patchGeometryChanged() override;

private:
    void rebuildMaterials();

    GeoMipMappingTerrainPatch* m_patch;  // held as the shape's geometry
};
