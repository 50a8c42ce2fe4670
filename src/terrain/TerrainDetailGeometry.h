#pragma once
// A surface cell of a detail layer: the terrain's vertices over one cell
// (heights plus the layer's offset), drawn as a strip over the group's
// shared index buffer.

#include <vector>

#include "terrain/CellGeometry.h"
#include "terrain/GeoMipMappingTerrainPatch.h"

class TerrainDetailGeometry : public CellGeometry {
public:
    using CellGeometry::CellGeometry;

    // What the last build wrote (kept on the host).
    std::vector<TerrainVertex> vertices;
};
