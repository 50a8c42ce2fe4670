#pragma once
// Six-degree-of-freedom joints of the physics SDK layer: two actors (either
// may be none, which stands for the fixed world), a joint frame in each
// actor's frame, and per axis a motion (free, limited or locked). Angular
// axes are the frame's x (twist), y and z (swing); linear axes the same
// three directions.
//
// A joint lives until it is released through its scene. When one of its
// actors is released first, the joint loses its constraint with it and
// stays behind, inert, until its owner releases it.

#include <cfloat>
#include <string>

#include "base/math/Vector3.h"

class IPhysicsActor;

enum class PhysicsJointMotion { Free, Limited, Locked };

struct PhysicsJointAxis {
    PhysicsJointMotion motion = PhysicsJointMotion::Free;
    // The range of a limited axis (radians for angular axes); low <= high.
    float low = 0.0f;
    float high = 0.0f;
};

struct PhysicsJointDesc {
    IPhysicsActor* actors[2] = {nullptr, nullptr};
    // The joint frame in each actor's frame (for a missing actor, in world
    // space): origin, x axis and y axis (made orthonormal by the joint).
    Vector3 localAnchor[2];
    Vector3 localAxis[2] = {{1, 0, 0}, {1, 0, 0}};
    Vector3 localNormal[2] = {{0, 1, 0}, {0, 1, 0}};
    PhysicsJointAxis angular[3];
    PhysicsJointAxis linear[3];
    // Bounce at the limits, 0 to 1.
    float limitRestitution = 0.0f;
    // The joint breaks when holding its actors together takes more than
    // this force (newtons) or torque; FLT_MAX never breaks.
    float breakForce = FLT_MAX;
    float breakTorque = FLT_MAX;
    std::string name;
    void* userData = nullptr;
};

// How the driven angular axes move towards their target: a spring with
// damping for an orientation target, a motor limited to the force for a
// velocity target.
struct PhysicsJointDrive {
    // Bit i: angular axis i is driven.
    uint32_t axes = 0;
    float spring = 1.0f;
    float damping = 0.01f;
    float forceLimit = 100000.0f;
};

class IPhysicsJoint {
public:
    virtual ~IPhysicsJoint() = default;

    virtual const PhysicsJointDesc& getDesc() const = 0;
    // New frames, limits, restitution and break limits; the actors stay.
    virtual void setDesc(const PhysicsJointDesc& desc) = 0;

    virtual void setDrive(const PhysicsJointDrive& drive) = 0;
    // The driven axes turn towards the rotation of the angle (radians)
    // about the unit axis, relative to the joint's rest orientation.
    virtual void setDriveOrientation(const Vector3& axis, float angle) = 0;
    // The driven axes turn at these angular velocities (radians per second).
    virtual void setDriveAngularVelocity(const Vector3& velocity) = 0;

    // Broken by a force above its limits, or left without its constraint
    // because an actor was released.
    virtual bool isBroken() const = 0;
    // None once the actor was released.
    virtual IPhysicsActor* getActor(int index) const = 0;
};
