#pragma once
// The detail and foliage layers of a scene file's terrain: each becomes a
// group node below the terrain node.

#include "scene/i3d/I3DSections.h"
#include "terrain/FoliageTransformGroup.h"

class TerrainTransformGroup;

TerrainDetailParams detailParamsFromScene(const I3DDensityDesc& desc);
FoliageParams foliageParamsFromScene(const I3DFoliageLayerDesc& desc);

// Adds the layers of `desc` to the terrain node. Layers without a density
// map or material are skipped with a log line.
void addDetailLayersFromScene(const I3DTerrainDesc& desc, TerrainTransformGroup& terrain);
