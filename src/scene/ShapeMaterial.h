#pragma once
// The part of a material that a shape holds: a counted reference. The
// renderer's materials derive from it.

#include "foundation/Entity.h"

class ShapeMaterial : public RefCounted {
public:
    ~ShapeMaterial() override = default;
};
