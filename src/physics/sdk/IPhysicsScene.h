#pragma once
// The physics SDK layer the physics subsystem is written against: a scene
// stepped in fixed substeps on a worker thread between simulate and fetch,
// actors with convex, triangle-mesh and height-field shapes, group-mask
// filtering, and the list of actors the last simulation moved.
//
// Threading: simulate hands the step to the scene's worker thread and
// returns; fetchResults waits for it. Every other call is made on the main
// thread; a call that reads or changes the world while the worker runs first
// waits for it to finish.

#include <memory>
#include <vector>

#include "physics/sdk/IPhysicsCharacterController.h"
#include "physics/sdk/IPhysicsJoint.h"
#include "physics/sdk/IPhysicsWheelShape.h"
#include "physics/sdk/PhysicsSdkTypes.h"

class IPhysicsConvexMesh : public RefCounted {
public:
    // Mass properties of the solid hull at density 1.
    virtual const PhysicsMassProperties& getUnitMassProperties() const = 0;
    virtual float getVolume() const = 0;
    virtual size_t getNumHullVertices() const = 0;
};

class IPhysicsTriangleMesh : public RefCounted {
public:
    virtual size_t getNumTriangles() const = 0;
};

class IPhysicsHeightField : public RefCounted {
public:
    virtual uint32_t getRows() const = 0;
    virtual uint32_t getColumns() const = 0;
    // Height of sample (row, column) in the shape's frame.
    virtual float getHeight(uint32_t row, uint32_t column) const = 0;
};

class IPhysicsActor {
public:
    virtual ~IPhysicsActor() = default;

    virtual PhysicsBodyType getType() const = 0;
    virtual const std::string& getName() const = 0;
    virtual void* getUserData() const = 0;
    virtual void setUserData(void* userData) = 0;

    // The world pose of the actor's frame.
    virtual Matrix4 getGlobalPose() = 0;
    // Teleports the actor.
    virtual void setGlobalPose(const Matrix4& pose) = 0;
    // Kinematic actors: the pose to reach by the end of the next simulation
    // (pushing what is in the way). Other actors are teleported.
    virtual void moveGlobalPose(const Matrix4& pose) = 0;

    virtual Vector3 getLinearVelocity() = 0;
    virtual void setLinearVelocity(const Vector3& velocity) = 0;
    virtual Vector3 getAngularVelocity() = 0;
    virtual void setAngularVelocity(const Vector3& velocity) = 0;

    // Dynamic actors only: a kinematic body follows its poses and is not
    // pushed.
    virtual void setKinematic(bool kinematic) = 0;
    virtual bool isKinematic() const = 0;

    virtual void setCollisionEnabled(bool enabled) = 0;
    virtual void setGroupMask(uint32_t mask) = 0;
    virtual uint32_t getGroupMask() const = 0;
    virtual void setMaterial(const PhysicsMaterial& material) = 0;
    virtual const PhysicsMaterial& getMaterial() const = 0;
    virtual void setSkinWidth(float width) = 0;
    virtual void setTrigger(bool trigger) = 0;

    // Dynamic and kinematic actors: mass, centre of mass and inertia from the
    // shapes at the density (false and unchanged for a density that is not a
    // positive finite number, or for a static actor).
    virtual bool updateMassFromShapes(float density) = 0;
    // 0 for static actors.
    virtual float getMass() = 0;
    // The centre of mass in the actor's frame; setting it keeps the actor's
    // pose and inertia.
    virtual Vector3 getCenterOfMassLocal() = 0;
    virtual void setCenterOfMassLocal(const Vector3& center) = 0;

    // Dynamic actors only; wakes the body.
    virtual void addForceAtPosition(const Vector3& force, const Vector3& worldPosition,
                                    PhysicsForceMode mode) = 0;
    virtual void addForceAtLocalPosition(const Vector3& force, const Vector3& localPosition,
                                         PhysicsForceMode mode) = 0;
    virtual void wakeUp() = 0;
    virtual bool isSleeping() = 0;
    // Contacts of this actor with any other appear in the scene's contact
    // events.
    virtual void setContactReporting(bool on) = 0;
};

class IPhysicsScene {
public:
    virtual ~IPhysicsScene() = default;

    // Builds a hull from the points (x, y, z every `strideFloats` floats).
    // None for fewer than 4 points, non-finite coordinates, too many points
    // or a flat hull.
    virtual RefPtr<IPhysicsConvexMesh> createConvexMesh(const float* points, size_t count,
                                                        size_t strideFloats) = 0;
    // None when the counts are out of range, an index does not name a
    // vertex, or a coordinate is not finite.
    virtual RefPtr<IPhysicsTriangleMesh> createTriangleMesh(const float* vertices,
                                                            size_t vertexCount, size_t strideFloats,
                                                            const uint32_t* indices,
                                                            size_t indexCount) = 0;
    // None for a grid under 2 x 2 or over the size cap, or scales that are
    // not positive finite numbers.
    virtual RefPtr<IPhysicsHeightField> createHeightField(const PhysicsHeightFieldDesc& desc) = 0;

    // None when the description cannot make an actor (a static actor
    // without shapes, a mesh or height field on a moving body, a bad pose).
    virtual IPhysicsActor* createActor(const PhysicsActorDesc& desc) = 0;
    virtual void releaseActor(IPhysicsActor* actor) = 0;
    virtual size_t getNumActors() const = 0;

    // Starts a simulation of the seconds on the worker thread; false while
    // one runs or for a time that is not a positive finite number.
    virtual bool simulate(float seconds) = 0;
    // Waits for the simulation and publishes its moved list; false when
    // none was started.
    virtual bool fetchResults() = 0;
    virtual bool isSimulating() const = 0;
    // Blocks until the worker is idle (the results still wait for fetch).
    virtual void waitForWorker() = 0;

    // The actors the last fetched simulation moved, each once, with their
    // poses; sleeping actors are not in it.
    virtual const std::vector<PhysicsMovedActor>& getMovedActors() const = 0;
    // The trigger overlaps and reported contacts that began, went on or
    // ended in the last fetched simulation, gathered on the worker and
    // published by the fetch; released actors are taken out of them.
    virtual const std::vector<PhysicsTriggerEvent>& getTriggerEvents() const = 0;
    virtual const std::vector<PhysicsContactEvent>& getContactEvents() const = 0;

    virtual void setGravity(const Vector3& gravity) = 0;
    virtual Vector3 getGravity() const = 0;

    virtual PhysicsSceneStats getStats() = 0;
    // Appends the wire frames of all shapes.
    virtual void collectDebugLines(std::vector<PhysicsDebugLine>& lines) = 0;

    // Queries (main thread; they wait for a running simulation). Rays hit
    // every shape whose mask shares a bit with the query's, controller
    // capsules included, but never triggers. The direction must be a unit
    // vector and the distance positive and finite; anything else finds
    // nothing.
    // Every shape along the ray up to the distance, nearest first, each
    // once at the point where the ray meets it first (a body of several
    // shapes once per shape the ray meets); returns the count.
    virtual size_t raycastAll(const Vector3& origin, const Vector3& direction, float maxDistance,
                              uint32_t groupMask, std::vector<PhysicsRaycastHit>& hits) = 0;
    // The nearest shape along the ray.
    virtual bool raycastClosest(const Vector3& origin, const Vector3& direction, float maxDistance,
                                uint32_t groupMask, PhysicsRaycastHit& hit) = 0;
    // Every shape that overlaps the sphere, once per shape (triggers
    // included); returns the count.
    virtual size_t overlapSphere(const Vector3& center, float radius, uint32_t groupMask,
                                 std::vector<PhysicsRaycastHit>& found) = 0;

    // None when neither actor is given, an actor belongs to no live body of
    // this scene, or a frame is not finite.
    virtual IPhysicsJoint* createJoint(const PhysicsJointDesc& desc) = 0;
    virtual void releaseJoint(IPhysicsJoint* joint) = 0;
    virtual size_t getNumJoints() const = 0;
    // A wheel on a dynamic or kinematic actor; none for other actors or a
    // description out of range. Wheels go with their actor.
    virtual IPhysicsWheelShape* createWheelShape(IPhysicsActor* actor,
                                                 const PhysicsWheelShapeDesc& desc) = 0;
    virtual void releaseWheelShape(IPhysicsWheelShape* wheel) = 0;
    // A capsule controller with its kinematic actor; none for a description
    // out of range. Releasing it releases the actor.
    virtual IPhysicsCharacterController* createCapsuleController(
        const PhysicsCapsuleControllerDesc& desc) = 0;
    virtual void releaseController(IPhysicsCharacterController* controller) = 0;
};

// The backend's name and version for the start-up log, "Bullet 3.24".
std::string physicsBackendName();
std::string physicsBackendVersion();

std::unique_ptr<IPhysicsScene> createPhysicsScene(const PhysicsSceneDesc& desc);

class PhysicsDebugUserAllocator;
// Routes the physics library's allocations through the counting allocator
// (none: the system allocator again). Set it only while no scene or mesh
// exists, since blocks must go back to the allocator they came from.
void setPhysicsAllocator(PhysicsDebugUserAllocator* allocator);
