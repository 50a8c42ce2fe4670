#pragma once
// Capsule character controllers of the physics SDK layer: an upright
// capsule moved by displacements with collide-and-slide, climbing steps up
// to its step offset, stopped by slopes steeper than its limit, reporting
// what it touched. Its kinematic actor stands for it in the world, so rays
// hit it and bodies collide with it.

#include <cstdint>
#include <string>

#include "base/math/Vector3.h"

class IPhysicsActor;

// The collision flags of a move.
namespace PhysicsControllerFlags {
constexpr uint32_t kSides = 1;
constexpr uint32_t kUp = 2;
constexpr uint32_t kDown = 4;
}  // namespace PhysicsControllerFlags

// An actor's shape touched by a move: where (world space), the surface
// normal pointing toward the controller, and the direction (unit) and
// length of the motion that touched it.
struct PhysicsControllerShapeHit {
    IPhysicsActor* actor = nullptr;
    Vector3 worldPosition;
    Vector3 worldNormal;
    Vector3 direction;
    float length = 0.0f;
};

class IPhysicsControllerHitReport {
public:
    virtual ~IPhysicsControllerHitReport() = default;
    // Called during a move, for each shape of an actor the move ran into.
    virtual void onShapeHit(const PhysicsControllerShapeHit& hit) = 0;
};

struct PhysicsCapsuleControllerDesc {
    // The capsule's centre.
    Vector3 position;
    // Radius and the distance between the two hemisphere centres (> 0).
    float radius = 0.5f;
    float height = 1.0f;
    // Cosine of the steepest slope it walks up.
    float slopeLimit = 0.707f;
    float stepOffset = 0.5f;
    // The gap kept to obstacles.
    float skinWidth = 0.1f;
    // Group mask of the controller's actor.
    uint32_t groupMask = 255;
    IPhysicsControllerHitReport* hitReport = nullptr;
    std::string name;
    void* userData = nullptr;
};

class IPhysicsCharacterController {
public:
    virtual ~IPhysicsCharacterController() = default;

    // Moves by the displacement against the actors whose group masks share
    // a bit with groupMask (triggers and its own actor aside); returns the
    // collision flags. Displacements that are not finite do nothing.
    // `sharpness` (above 0 to 1; anything else counts as 1) is the share of
    // the height difference the filtered position makes up by this move.
    virtual uint32_t move(const Vector3& displacement, uint32_t groupMask,
                          float sharpness = 1.0f) = 0;
    // Teleports the capsule's centre; the filtered position goes along.
    virtual void setPosition(const Vector3& position) = 0;
    virtual Vector3 getPosition() const = 0;
    // The centre with its height smoothed over the moves: it follows a
    // height change (a step climbed, a drop) by the moves' sharpness each
    // move, and the horizontal position at once.
    virtual Vector3 getFilteredPosition() const = 0;
    virtual IPhysicsActor* getActor() const = 0;
    virtual uint32_t getCollisionFlags() const = 0;
};
