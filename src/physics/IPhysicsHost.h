#pragma once
// What the physics world asks of the engine that runs it, without knowing
// the engine: profiler sections around the parts of the step, and where
// debug lines go.

#include "base/math/Vector3.h"

class IPhysicsHost {
public:
    virtual ~IPhysicsHost() = default;
    // Sections are keyed by the address of their name text.
    virtual void enterSection(const char* name) = 0;
    virtual void leaveSection() = 0;
    // Whether the world's wire frames are wanted this step.
    virtual bool isDebugDrawingOn() const = 0;
    // Colour red, green, blue, alpha in 0 to 1.
    virtual void addDebugLine(const Vector3& from, const Vector3& to, const float* colour) = 0;
};
