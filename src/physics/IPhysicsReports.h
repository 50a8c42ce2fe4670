#pragma once
// What physics queries hand their findings to: one call per shape hit by a
// ray or found by an overlap test. Objects are reported as their scene
// nodes (none for a shape without one).

#include <cstdint>

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

// Told of trigger events after the physics step fetched a simulation:
// flags bit 0 entering, bit 1 leaving, bit 2 staying. The other node is none
// when the other body has no node (any more).
class ITriggerReport {
public:
    virtual ~ITriggerReport() = default;
    virtual void trigger(Entity* triggerNode, Entity* otherNode, uint32_t flags) = 0;
};

// Told of contacts of bodies with contact reporting: flags bit 0 touching
// began, bit 1 touching ended, bit 2 touching goes on; the forces are summed
// over the contact points (world axes, newtons).
class IContactReport {
public:
    virtual ~IContactReport() = default;
    virtual void contact(Entity* nodeA, Entity* nodeB, uint32_t flags, const Vector3& normalForce,
                         const Vector3& frictionForce) = 0;
};
