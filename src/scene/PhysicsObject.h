#pragma once
// The physics description a scene node carries. The scene holds it without
// knowing the physics library: a bare PhysicsObject means "no rigid body";
// the physics subsystem installs its own derived objects (rigid bodies,
// joints) in the same slot.

#include <cstdint>
#include <memory>
#include <optional>

class Node;
class ScenegraphNode;

class PhysicsObject {
public:
    // State flag bits; the dirty flags use the same bits for the type,
    // collision and trigger, and bits of their own for the properties.
    static constexpr uint32_t kRigidBody = 0x1;
    static constexpr uint32_t kStatic = 0x2;
    static constexpr uint32_t kDynamic = 0x4;
    static constexpr uint32_t kKinematic = 0x8;
    static constexpr uint32_t kTypeBits = kStatic | kDynamic | kKinematic;
    static constexpr uint32_t kCompound = 0x10;
    static constexpr uint32_t kCompoundChild = 0x20;
    static constexpr uint32_t kCollision = 0x40;
    static constexpr uint32_t kTrigger = 0x80;
    static constexpr uint32_t kJoint = 0x200;

    explicit PhysicsObject(uint32_t stateFlags = 0)
        : m_stateFlags(stateFlags), m_dirtyFlags(stateFlags) {}
    PhysicsObject(const PhysicsObject&) = delete;
    PhysicsObject& operator=(const PhysicsObject&) = delete;
    virtual ~PhysicsObject() = default;

    // The description for a copy of the node: here a bare object whose state
    // and dirty flags both hold this one's state flags.
    virtual std::unique_ptr<PhysicsObject> cloneFor(ScenegraphNode& /*node*/) const {
        return std::make_unique<PhysicsObject>(m_stateFlags);
    }
    // Told by the node before its scale changes; true when the scale is
    // accepted without complaint (a moving body refuses any scale but 1).
    virtual bool acceptsScale(float /*x*/, float /*y*/, float /*z*/) const { return true; }

    uint32_t getStateFlags() const { return m_stateFlags; }
    uint32_t getDirtyFlags() const { return m_dirtyFlags; }
    bool hasRigidBody() const { return (m_stateFlags & kRigidBody) != 0; }

protected:
    uint32_t m_stateFlags;
    uint32_t m_dirtyFlags;
};

// The physics attributes of one scene-file node as the loader read them
// (absent numbers keep the body's defaults).
struct PhysicsNodeDescription {
    bool isStatic = false;
    bool dynamic = false;
    bool kinematic = false;
    // Set as well for nodes inside a compound being built.
    bool compound = false;
    bool compoundChild = false;
    bool collision = true;
    bool trigger = false;
    std::optional<uint32_t> collisionMask;
    std::optional<float> restitution;
    std::optional<float> staticFriction;
    std::optional<float> dynamicFriction;
    std::optional<float> skinWidth;
    std::optional<float> density;
};

// What the physics world installs so that scene code can hand it nodes
// without depending on it; both are none while there is no physics world.
struct PhysicsSceneHandlers {
    // Gives the node its physics description (a rigid body when the
    // description makes one).
    void (*describe)(ScenegraphNode& node, const PhysicsNodeDescription& description) = nullptr;
    // A finished subtree (a loaded scene after merging, a clone) whose
    // described nodes now get their bodies.
    void (*subtreeReady)(Node& root) = nullptr;
};

inline PhysicsSceneHandlers& physicsSceneHandlers() {
    static PhysicsSceneHandlers handlers;
    return handlers;
}
