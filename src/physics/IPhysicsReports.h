#pragma once
// What physics queries hand their findings to: one call per shape hit by a
// ray or found by an overlap test. Objects are reported as their scene
// nodes (none for a shape without one).

#include "base/math/Vector3.h"

class Entity;

class IRaycastReport {
public:
    virtual ~IRaycastReport() = default;
    // One shape hit at the world point, at the distance from the ray's
    // origin; true asks the query to go on.
    virtual bool hit(Entity* node, const Vector3& point, float distance) = 0;
};

class IPhysicsEntityReport {
public:
    virtual ~IPhysicsEntityReport() = default;
    // One shape found by an overlap query.
    virtual void object(Entity* node) = 0;
};
