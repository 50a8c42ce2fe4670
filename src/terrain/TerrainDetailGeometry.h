#pragma once
// A surface cell of a detail layer: the terrain's vertices over one cell
// (heights plus the layer's offset), drawn as a strip over the group's
// shared index buffer, and the cell's window of the density map that its
// material reads as a texture.

#include <cstdint>
#include <vector>

#include "terrain/CellGeometry.h"
#include "terrain/GeoMipMappingTerrainPatch.h"

class Texture;

class TerrainDetailGeometry : public CellGeometry {
public:
    using CellGeometry::CellGeometry;
    // Drops the cell's density texture.
    ~TerrainDetailGeometry() override;

    // What the last build wrote (kept on the host).
    std::vector<TerrainVertex> vertices;
    // Bit k set when channel k (k < 4) occurs in the cell's block of the
    // density map (grown by one pixel on every side); 0 when nothing is set.
    uint32_t channelMask = 0;
    // The cell's density texels as last built: side x side RGBA, byte k
    // covering channel k (255 where set), resampled from the grown block.
    std::vector<uint8_t> densityTexels;
    uint32_t densityTextureSide = 0;
    // The texture resource the cell's material samples (one reference
    // held); none unless the layer names a density map shader parameter.
    Texture* densityTexture = nullptr;
    // The channel mask the shape's own material was made for (0: the shape
    // still draws with the layer's material).
    uint32_t materialMask = 0;
};
