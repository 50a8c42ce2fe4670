#pragma once
// The rules that place the vertices of the next subdivision level: one new
// vertex per old vertex (vertex point) and one per edge (edge point, for the
// edge opposite a corner). Both read a closed table: every corner has its
// opposite.

#include <cstdint>

#include "base/math/Vector3.h"

class CornerTable;

class SubdivisionScheme {
public:
    virtual ~SubdivisionScheme() = default;
    virtual Vector3 vertexPoint(const CornerTable& table, uint32_t corner) const = 0;
    virtual Vector3 edgePoint(const CornerTable& table, uint32_t corner) const = 0;
};

// Interpolating: old vertices stay; an edge point is the midpoint corrected
// by the two opposite vertices and the four wing vertices.
class ButterflyScheme : public SubdivisionScheme {
public:
    Vector3 vertexPoint(const CornerTable& table, uint32_t corner) const override;
    Vector3 edgePoint(const CornerTable& table, uint32_t corner) const override;
};

// Approximating: old vertices move towards their neighbours by the valence
// weight; edge points weigh the edge ends 3/8 and the opposite vertices 1/8.
class LoopScheme : public SubdivisionScheme {
public:
    Vector3 vertexPoint(const CornerTable& table, uint32_t corner) const override;
    Vector3 edgePoint(const CornerTable& table, uint32_t corner) const override;
};
