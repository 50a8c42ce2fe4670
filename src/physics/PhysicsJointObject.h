#pragma once
// The joint of a "joint" transform group: it connects the body found beside
// or above the node (actor 0) with the body below it (actor 1), in the
// node's own frame. The joint lives as long as its node; deleting the node
// hands the joint back to the world.

#include <cstdint>
#include <memory>

#include "base/math/Vector3.h"
#include "scene/PhysicsObject.h"

class IPhysicsJoint;
class RawTransformGroup;
class ScenegraphNode;
class ScenegraphPhysicsContext;
struct I3DJointDesc;

class PhysicsJointObject : public PhysicsObject {
public:
    // State bits besides kJoint.
    static constexpr uint32_t kProjection = 0x400;
    static constexpr uint32_t kXAxisDrive = 0x800;
    static constexpr uint32_t kYAxisDrive = 0x1000;
    static constexpr uint32_t kZAxisDrive = 0x2000;
    static constexpr uint32_t kPositionDrive = 0x4000;
    static constexpr uint32_t kBreakable = 0x8000;

    PhysicsJointObject(ScenegraphNode& node, uint32_t stateFlags = kJoint);
    // Hands the joint back to the world (queued).
    ~PhysicsJointObject() override;

    // A copy keeps the flags; the numbers start at their defaults.
    std::unique_ptr<PhysicsObject> cloneFor(ScenegraphNode& node) const override;

    ScenegraphNode& getNode() const { return m_node; }
    IPhysicsJoint* getJoint() const { return m_joint; }
    bool hasFlag(uint32_t bit) const { return (m_stateFlags & bit) != 0; }

    // The description read from a scene file.
    void describe(const I3DJointDesc& desc);

    // The world's side.
    void attach(ScenegraphPhysicsContext& context, IPhysicsJoint* joint);
    // The world goes away: forget it and the joint without touching them.
    void detach();
    ScenegraphPhysicsContext* getContext() const { return m_context; }
    void clearDirty() { m_dirtyFlags = 0; }

    float projectionDistance = 0.01f;
    float projectionAngle = 0.01f;
    float driveForceLimit = 100000.0f;
    float driveSpring = 1.0f;
    float driveDamping = 0.01f;
    bool rotationLimited[3] = {false, false, false};
    Vector3 rotationMin;  // radians
    Vector3 rotationMax;
    bool translationGiven[3] = {false, false, false};
    Vector3 translationMin;
    Vector3 translationMax;
    float breakForce = 100000.0f;
    float breakTorque = 100000.0f;

private:
    ScenegraphNode& m_node;
    ScenegraphPhysicsContext* m_context = nullptr;
    IPhysicsJoint* m_joint = nullptr;
};
