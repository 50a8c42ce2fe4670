#pragma once
// The part of a material that a shape holds: a counted reference. The
// renderer's materials derive from it; the scene side reaches them only
// through the calls below.

#include <array>
#include <string>

#include "foundation/Entity.h"

class ShapeMaterial : public RefCounted {
public:
    ~ShapeMaterial() override = default;

    // Sets a custom shader parameter of the material; false when it has no
    // parameter of that name (the default: a material without custom shader).
    virtual bool setCustomParameter(const std::string& parameterName,
                                    const std::array<float, 4>& value) {
        (void)parameterName;
        (void)value;
        return false;
    }
};
