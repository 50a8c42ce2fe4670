#pragma once
// The shape of a foliage cell slot; it draws a FoliageCellGeometry with the
// foliage group's material.

#include "terrain/LocalGeometryTransformGroup.h"

class FoliageCellShape : public LocalGeometryShape {
public:
    using LocalGeometryShape::LocalGeometryShape;
    const char* getClassName() const override { return "FoliageCellShape"; }
};
