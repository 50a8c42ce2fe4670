#pragma once
// A rigid body on a scene node: the description scripts and the scene
// loader change at any time, recorded as dirty bits that the physics step
// pushes to the body's actor, and the node's moves outside the simulation,
// which become forced poses.

#include <cstdint>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "scene/PhysicsObject.h"

class IPhysicsActor;
class ScenegraphNode;
class ScenegraphPhysicsContext;

class PhysicsRBObject : public PhysicsObject, public ActionListener {
public:
    // Dirty bits of the properties (the type, collision and trigger use
    // their state bits).
    static constexpr uint32_t kDirtyCollisionMask = 0x10000;
    static constexpr uint32_t kDirtyRestitution = 0x20000;
    static constexpr uint32_t kDirtyStaticFriction = 0x40000;
    static constexpr uint32_t kDirtyDynamicFriction = 0x80000;
    static constexpr uint32_t kDirtySkinWidth = 0x100000;
    static constexpr uint32_t kDirtyDensity = 0x200000;
    static constexpr uint32_t kDirtyCenterOfMass = 0x400000;
    static constexpr uint32_t kDefaultState = kRigidBody | kCollision;

    PhysicsRBObject(ScenegraphNode& node, uint32_t stateFlags = kDefaultState);
    // Hands the actor back to the world (queued) and leaves its queues.
    ~PhysicsRBObject() override;

    // A new body for the copy: state and dirty flags from this one's state,
    // the collision mask, restitution, frictions and skin width marked
    // dirty, the density (dirty only while an actor exists), no centre of
    // mass.
    std::unique_ptr<PhysicsObject> cloneFor(ScenegraphNode& node) const override;
    bool acceptsScale(float x, float y, float z) const override;

    // Transform events of the node: a move the step did not make.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    ScenegraphNode& getNode() const { return m_node; }
    IPhysicsActor* getActor() const { return m_actor; }
    ScenegraphPhysicsContext* getContext() const { return m_context; }

    bool isStatic() const { return (m_stateFlags & kStatic) != 0; }
    bool isDynamic() const { return (m_stateFlags & kDynamic) != 0; }
    bool isKinematic() const { return (m_stateFlags & kKinematic) != 0; }
    bool isTrigger() const { return (m_stateFlags & kTrigger) != 0; }
    bool isCollisionEnabled() const { return (m_stateFlags & kCollision) != 0; }

    // Replaces the type bits (kStatic, kDynamic or kKinematic) and marks the
    // type dirty.
    void setType(uint32_t typeBit);
    // Removes the rigid-body bit: the body is refused.
    void dropRigidBody();
    void setCollisionEnabled(bool enabled);
    void setTrigger(bool trigger);

    uint32_t getCollisionMask() const { return m_collisionMask; }
    void setCollisionMask(uint32_t mask);
    float getRestitution() const { return m_restitution; }
    void setRestitution(float value);
    float getStaticFriction() const { return m_staticFriction; }
    void setStaticFriction(float value);
    float getDynamicFriction() const { return m_dynamicFriction; }
    void setDynamicFriction(float value);
    float getSkinWidth() const { return m_skinWidth; }
    void setSkinWidth(float value);
    float getDensity() const { return m_density; }
    // Marked dirty only once an actor exists (before, it is used at
    // creation).
    void setDensity(float value);
    const Vector3& getCenterOfMass() const { return m_centerOfMass; }
    void setCenterOfMass(const Vector3& center);
    bool hasCenterOfMass() const { return m_centerOfMassSet; }
    // Solid volume of the actor's shapes (mass at density 1), 0 without
    // actor or for a trigger-only body.
    float getVolume() const { return m_volume; }

    // The world's side.
    void attach(ScenegraphPhysicsContext& context, IPhysicsActor& actor, float volume);
    // The world goes away: forget context and actor without touching them.
    void detach();
    void applyPendingChanges();
    // Writes the node's world pose into the actor.
    void applyForcedPose();
    bool isMoved() const { return m_moved; }
    void setMoved(bool moved) { m_moved = moved; }
    // Queue membership kept by the context.
    bool m_inForcedPoseQueue = false;
    size_t m_listIndex = 0;

private:
    void markDirty(uint32_t bits) { m_dirtyFlags |= bits; }

    ScenegraphNode& m_node;
    ScenegraphPhysicsContext* m_context = nullptr;
    IPhysicsActor* m_actor = nullptr;
    bool m_moved = false;
    uint32_t m_collisionMask = 255;
    float m_restitution = 0.0f;
    float m_staticFriction = 0.5f;
    float m_dynamicFriction = 0.5f;
    float m_skinWidth = 0.01f;
    float m_density = 1.0f;
    Vector3 m_centerOfMass;
    bool m_centerOfMassSet = false;
    float m_volume = 0.0f;
};

struct PhysicsNodeDescription;

// Gives the node the rigid body its scene-file attributes describe (nothing
// when they describe none).
void describeNodePhysics(ScenegraphNode& node, const PhysicsNodeDescription& description);
// Installs (or, with false, removes) the scene's physics handlers: node
// descriptions and finished subtrees reach the physics world.
void installPhysicsSceneHandlers(bool install);
