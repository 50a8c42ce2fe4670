#pragma once
// The value types of the physics SDK layer: what scenes, actors, shapes and
// meshes are made from. Poses are rigid 4 x 4 matrices (rotation and
// translation, no scale) in the engine's column-major layout.

#include <cfloat>
#include <cstdint>
#include <string>
#include <vector>

#include "base/math/Matrix4.h"
#include "base/math/Vector3.h"
#include "foundation/Entity.h"

class IPhysicsConvexMesh;
class IPhysicsTriangleMesh;
class IPhysicsHeightField;

struct PhysicsSceneDesc {
    Vector3 gravity{0.0f, -9.81f, 0.0f};
    Vector3 boundsMin{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    Vector3 boundsMax{FLT_MAX, FLT_MAX, FLT_MAX};
    // Fixed substep in seconds and the most substeps one simulate call runs.
    float fixedStep = 1.0f / 60.0f;
    int32_t maxSubSteps = 2;
};

enum class PhysicsBodyType { Static, Dynamic, Kinematic };

enum class PhysicsForceMode { Force, Impulse };

// Friction coefficients combine as the average of the two touching bodies,
// restitution as well.
struct PhysicsMaterial {
    float restitution = 0.0f;
    float staticFriction = 0.5f;
    float dynamicFriction = 0.5f;
};

struct PhysicsShapeDesc {
    enum class Type { Convex, TriangleMesh, HeightField };

    Type type = Type::Convex;
    // Pose of the shape relative to the actor (rigid).
    Matrix4 localPose;
    RefPtr<IPhysicsConvexMesh> convexMesh;
    RefPtr<IPhysicsTriangleMesh> triangleMesh;
    RefPtr<IPhysicsHeightField> heightField;
    // A trigger shape reports overlaps and pushes nothing; it adds no mass.
    bool trigger = false;
};

struct PhysicsActorDesc {
    PhysicsBodyType type = PhysicsBodyType::Static;
    // World pose of the actor's frame (the node's frame).
    Matrix4 globalPose;
    std::vector<PhysicsShapeDesc> shapes;
    // Mass of dynamic and kinematic actors from their non-trigger convex
    // shapes at this density; without such a shape the body gets mass 1 and
    // unit inertia.
    float density = 1.0f;
    // Fraction of the velocity lost per second, e^-damping (0.5 keeps about
    // 61 % after one second), independent of the substep.
    float linearDamping = 0.5f;
    float angularDamping = 0.5f;
    // Two actors collide when their masks share a bit.
    uint32_t groupMask = 255;
    PhysicsMaterial material;
    // Contact distance of the shapes (world units).
    float skinWidth = 0.01f;
    bool collisionEnabled = true;
    std::string name;
    void* userData = nullptr;
};

// Mass, centre and inertia tensor (about the centre, in the frame the
// shapes were given in) of a solid.
struct PhysicsMassProperties {
    float mass = 0.0f;
    Vector3 centerOfMass;
    // Row-major 3 x 3 symmetric inertia tensor.
    float inertia[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
};

// A terrain height field: rows run along x, columns along z; sample (row i,
// column j) lies at (i * rowScale, sample * heightScale, j * columnScale) in
// the shape's frame, so the 16-bit samples 0 to 65535 map to heights 0 to
// 65535 * heightScale.
struct PhysicsHeightFieldDesc {
    uint32_t rows = 0;
    uint32_t columns = 0;
    // rows * columns samples, row-major (sample (i, j) at i * columns + j).
    const uint16_t* samples = nullptr;
    float heightScale = 1.0f;
    float rowScale = 1.0f;
    float columnScale = 1.0f;
};

struct PhysicsMovedActor {
    class IPhysicsActor* actor = nullptr;
    void* userData = nullptr;
    // World pose of the actor's frame after the simulation.
    Matrix4 pose;
};

struct PhysicsDebugLine {
    Vector3 from;
    Vector3 to;
    // Red, green, blue in 0 to 1.
    Vector3 color;
};

struct PhysicsSceneStats {
    int32_t dynamicActors = 0;
    int32_t staticActors = 0;
    int32_t joints = 0;
    int32_t pairs = 0;
};

// A trigger and another actor overlapping: status 1 entering, 2 leaving, 4
// staying.
struct PhysicsTriggerEvent {
    class IPhysicsActor* trigger = nullptr;
    class IPhysicsActor* other = nullptr;
    uint32_t status = 0;
};

// Two actors touching, one of them reporting contacts: flags 1 touching
// began, 2 touching ended, 4 touching goes on; the forces summed over the
// contact points (world axes, newtons).
struct PhysicsContactEvent {
    class IPhysicsActor* first = nullptr;
    class IPhysicsActor* second = nullptr;
    uint32_t flags = 0;
    Vector3 normalForce;
    Vector3 frictionForce;
};

// One shape hit by a ray: its actor (none for an object that is not an
// actor) and the actor's user data, the world point and the distance from
// the ray's origin.
struct PhysicsRaycastHit {
    class IPhysicsActor* actor = nullptr;
    void* userData = nullptr;
    // Which of the actor's shapes, in the order of its description.
    int shapeIndex = 0;
    Vector3 point;
    float distance = 0.0f;
};
