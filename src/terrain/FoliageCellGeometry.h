#pragma once
// The plants of one foliage cell: three crossed, double-sided quads per
// plant, 12 vertices each, drawn as a triangle list over the group's shared
// index buffer.

#include <cstdint>
#include <vector>

#include "terrain/CellGeometry.h"

// 16 bytes: position and the atlas coordinate in 0..32767.
struct FoliageVertex {
    float position[3];
    int16_t texCoord[2];
};
static_assert(sizeof(FoliageVertex) == 16, "foliage vertices are 16 bytes");

class FoliageCellGeometry : public CellGeometry {
public:
    static constexpr uint32_t kVerticesPerPlant = 12;
    static constexpr uint32_t kIndicesPerPlant = 36;

    using CellGeometry::CellGeometry;

    // What the last build wrote (kept on the host).
    std::vector<FoliageVertex> vertices;
    uint32_t getPlantCount() const { return getIndexCount() / kIndicesPerPlant; }
};
