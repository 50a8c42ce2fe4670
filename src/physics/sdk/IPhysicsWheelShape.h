#pragma once
// Wheel shapes of the physics SDK layer: a ray-cast suspension hung on a
// moving actor, with tyre forces from slip curves, driven by motor and brake
// torque and steered about the suspension axis.
//
// A wheel lives in the actor's frame: its suspension runs from the mount
// point (fully compressed, the wheel centre there) down the local pose's y
// axis by the suspension travel (fully extended). It rolls forward along the
// local pose's z axis turned by the steering angle about y; a positive
// torque drives it forward, a positive steering angle turns z toward x.

#include <cstdint>

#include "base/math/Matrix4.h"
#include "base/math/Vector3.h"

class IPhysicsActor;

// A tyre force curve over the slip: rises from 0 to the extremum, falls to
// the asymptote and stays there; odd in the slip. The force in newtons is
// the curve's value times the stiffness factor.
struct PhysicsTireFunction {
    float extremumSlip = 1.0f;
    float extremumValue = 0.02f;
    float asymptoteSlip = 2.0f;
    float asymptoteValue = 0.01f;
    float stiffnessFactor = 1000000.0f;

    // The force for a slip, sign included.
    float evaluate(float slip) const;
};

struct PhysicsWheelShapeDesc {
    // Mount point and axes in the actor's frame (rigid).
    Matrix4 localPose;
    float radius = 1.0f;
    float suspensionTravel = 1.0f;
    // Spring (newtons per unit of compression) and damper (newtons per unit
    // of compression speed); the spring is relaxed at the target value, 0
    // fully extended to 1 fully compressed.
    float spring = 0.0f;
    float damper = 0.0f;
    float targetValue = 0.0f;
    float inverseWheelMass = 1.0f;
    // The suspension ray sees actors whose group masks share a bit with it.
    uint32_t groupMask = 255;
    PhysicsTireFunction longitudinal;
    PhysicsTireFunction lateral;
    float motorTorque = 0.0f;
    float brakeTorque = 0.0f;
    float steerAngle = 0.0f;
};

struct PhysicsWheelContact {
    // World space.
    Vector3 point;
    Vector3 normal;
    // The actor touched; none for anything that is not an actor.
    IPhysicsActor* actor = nullptr;
};

class IPhysicsWheelShape {
public:
    virtual ~IPhysicsWheelShape() = default;

    virtual IPhysicsActor* getActor() const = 0;
    // Values that are not finite numbers are ignored; the brake torque is
    // at least 0.
    virtual void setMotorTorque(float torque) = 0;
    virtual void setBrakeTorque(float torque) = 0;
    virtual void setSteerAngle(float radians) = 0;
    virtual float getMotorTorque() const = 0;
    virtual float getBrakeTorque() const = 0;
    virtual float getSteerAngle() const = 0;

    // As of the last fetched simulation: radians per second, positive
    // rolling forward.
    virtual float getAxleSpeed() = 0;
    // As of the last fetched simulation; false while the wheel touches
    // nothing.
    virtual bool getContact(PhysicsWheelContact& contact) = 0;

    virtual float getRadius() const = 0;
    virtual float getSuspensionTravel() const = 0;
    virtual const Matrix4& getLocalPose() const = 0;
    virtual Vector3 getLocalPosition() const = 0;
};
