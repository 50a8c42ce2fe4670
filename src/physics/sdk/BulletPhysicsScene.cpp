// The physics SDK layer on Bullet: the only file that includes Bullet.
//
// Actors are btRigidBody objects in one btDiscreteDynamicsWorld over a
// btDbvtBroadphase. Each actor keeps the offset from its own frame (the
// node's frame) to the Bullet body frame, which for moving bodies is the
// centre of mass on the principal axes of inertia; poses, forces and the
// centre of mass are always given in the actor's frame.
//
// Convex hulls are shrunk by the skin width and given the skin width as
// collision margin, so the rounded hull Bullet collides with has the size of
// the mesh. Group masks go into Bullet's filter group and mask alike, so the
// default broadphase test passes exactly the pairs whose masks share a bit.

#include <BulletCollision/CollisionDispatch/btManifoldResult.h>
#include <BulletCollision/CollisionShapes/btHeightfieldTerrainShape.h>
#include <BulletDynamics/ConstraintSolver/btGeneric6DofSpring2Constraint.h>
#include <LinearMath/btConvexHullComputer.h>
#include <btBulletDynamicsCommon.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "physics/sdk/BulletActorAccess.h"
#include "physics/sdk/BulletCharacterController.h"
#include "physics/sdk/BulletWheelShape.h"
#include "physics/sdk/IPhysicsScene.h"
#include "physics/sdk/MassProperties.h"
#include "physics/sdk/PhysicsDebugUserAllocator.h"
#include "physics/sdk/PhysicsWorker.h"

namespace {

// Input caps: far above any game asset, far below what could exhaust memory.
constexpr size_t kMaxConvexPoints = 1u << 16;
constexpr size_t kMaxMeshVertices = 1u << 24;
constexpr size_t kMaxMeshIndices = size_t(3) << 24;
constexpr uint64_t kMaxHeightFieldSamples = uint64_t(1) << 26;
constexpr uint32_t kMaxHeightFieldSide = 1u << 15;
constexpr size_t kMaxDebugLines = 1u << 20;

bool isFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool isFinitePose(const Matrix4& pose) {
    for (float value : pose.m) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

btVector3 toBt(const Vector3& v) {
    return {v.x, v.y, v.z};
}

Vector3 fromBt(const btVector3& v) {
    return {float(v.x()), float(v.y()), float(v.z())};
}

// The rigid part of the matrix (its rotation re-normalised).
btTransform toBt(const Matrix4& pose) {
    btTransform t;
    t.setFromOpenGLMatrix(pose.m);
    btQuaternion q;
    t.getBasis().getRotation(q);
    if (q.length2() > 0) {
        q.normalize();
    } else {
        q = btQuaternion::getIdentity();
    }
    t.setRotation(q);
    return t;
}

Matrix4 fromBt(const btTransform& t) {
    Matrix4 pose;
    t.getOpenGLMatrix(pose.m);
    return pose;
}

bool isIdentity(const btTransform& t) {
    const btMatrix3x3& b = t.getBasis();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (std::fabs(b[r][c] - (r == c ? 1.0f : 0.0f)) > 1e-6f) {
                return false;
            }
        }
    }
    return t.getOrigin().length2() < 1e-12f;
}

// Damping as a fraction of the velocity lost per second, e^-k, applied by
// Bullet as (1 - d)^dt.
btScalar bulletDamping(float perSecond) {
    if (!(perSecond > 0.0f) || !std::isfinite(perSecond)) {
        return 0;
    }
    return btScalar(1.0 - std::exp(-double(perSecond)));
}

btScalar averageFriction(const btCollisionObject* a, const btCollisionObject* b) {
    return (a->getFriction() + b->getFriction()) * btScalar(0.5);
}

btScalar averageRestitution(const btCollisionObject* a, const btCollisionObject* b) {
    return (a->getRestitution() + b->getRestitution()) * btScalar(0.5);
}

class BulletConvexMesh : public IPhysicsConvexMesh {
public:
    const PhysicsMassProperties& getUnitMassProperties() const override { return m_unit; }
    float getVolume() const override { return m_unit.mass; }
    size_t getNumHullVertices() const override { return m_hullVertices.size() / 3; }

    // The hull shrunk by the skin width with the skin width as margin; one
    // shape per width, shared by every actor that uses it.
    btConvexHullShape* shapeFor(float skinWidth) {
        for (auto& entry : m_shapes) {
            if (entry.first == skinWidth) {
                return entry.second.get();
            }
        }
        btConvexHullComputer hull;
        btScalar shrunk = hull.compute(m_hullVertices.data(), 3 * sizeof(float),
                                       int(m_hullVertices.size() / 3), skinWidth, 0.25f);
        auto shape = std::make_unique<btConvexHullShape>();
        if (shrunk >= 0 && hull.vertices.size() >= 4) {
            for (int i = 0; i < hull.vertices.size(); ++i) {
                shape->addPoint(hull.vertices[i], false);
            }
            shape->setMargin(std::max<btScalar>(shrunk, 0));
        } else {
            for (size_t i = 0; i + 2 < m_hullVertices.size(); i += 3) {
                shape->addPoint(
                    btVector3(m_hullVertices[i], m_hullVertices[i + 1], m_hullVertices[i + 2]),
                    false);
            }
            shape->setMargin(0);
        }
        shape->recalcLocalAabb();
        shape->optimizeConvexHull();
        m_shapes.emplace_back(skinWidth, std::move(shape));
        return m_shapes.back().second.get();
    }

    std::vector<float> m_hullVertices;
    PhysicsMassProperties m_unit;
    std::vector<std::pair<float, std::unique_ptr<btConvexHullShape>>> m_shapes;
};

class BulletTriangleMesh : public IPhysicsTriangleMesh {
public:
    size_t getNumTriangles() const override { return m_indices.size() / 3; }

    std::vector<float> m_vertices;
    std::vector<int> m_indices;
    std::unique_ptr<btTriangleIndexVertexArray> m_array;
    std::unique_ptr<btBvhTriangleMeshShape> m_shape;
};

class BulletHeightField : public IPhysicsHeightField {
public:
    uint32_t getRows() const override { return m_rows; }
    uint32_t getColumns() const override { return m_columns; }
    float getHeight(uint32_t row, uint32_t column) const override {
        if (row >= m_rows || column >= m_columns) {
            return 0.0f;
        }
        return m_heights[size_t(column) * m_rows + row];
    }

    // Bullet centres the field on its bounds: this moves the field's own
    // origin (sample (0, 0) at height 0) to where the shape expects it.
    btTransform centeringOffset() const {
        btTransform t = btTransform::getIdentity();
        t.setOrigin(btVector3((m_rows - 1) * m_rowScale * 0.5f, (m_minHeight + m_maxHeight) * 0.5f,
                              (m_columns - 1) * m_columnScale * 0.5f));
        return t;
    }

    uint32_t m_rows = 0;
    uint32_t m_columns = 0;
    float m_rowScale = 1.0f;
    float m_columnScale = 1.0f;
    float m_minHeight = 0.0f;
    float m_maxHeight = 0.0f;
    // Bullet's layout: x (rows) runs fastest.
    std::vector<float> m_heights;
    std::unique_ptr<btHeightfieldTerrainShape> m_shape;
};

// Bullet's world with a step of whole fixed substeps: the scene decides how
// many substeps a simulation runs (Bullet's own accumulator can round a
// time of exactly one substep down to none).
class SteppedWorld : public btDiscreteDynamicsWorld {
public:
    using btDiscreteDynamicsWorld::btDiscreteDynamicsWorld;

    void stepFixed(int substeps, btScalar fixedStep) {
        saveKinematicState(fixedStep * substeps);
        applyGravity();
        for (int i = 0; i < substeps; ++i) {
            internalSingleStepSimulation(fixedStep);
            synchronizeMotionStates();
        }
        clearForces();
    }
};

class BulletPhysicsScene;
class BulletJoint;

// The user index of the collision objects that are actors (their user
// pointer is the BulletActor).
constexpr int kActorObjectTag = 0x41435452;

class BulletActor final : public IPhysicsActor, public btMotionState {
public:
    BulletActor(BulletPhysicsScene& scene, const PhysicsActorDesc& desc);
    ~BulletActor() override;

    bool build(const Matrix4& globalPose);

    PhysicsBodyType getType() const override { return m_type; }
    const std::string& getName() const override { return m_name; }
    void* getUserData() const override { return m_userData; }
    void setUserData(void* userData) override { m_userData = userData; }

    Matrix4 getGlobalPose() override;
    void setGlobalPose(const Matrix4& pose) override;
    void moveGlobalPose(const Matrix4& pose) override;
    Vector3 getLinearVelocity() override;
    void setLinearVelocity(const Vector3& velocity) override;
    Vector3 getAngularVelocity() override;
    void setAngularVelocity(const Vector3& velocity) override;
    void setKinematic(bool kinematic) override;
    bool isKinematic() const override { return m_kinematic; }
    void setCollisionEnabled(bool enabled) override;
    void setGroupMask(uint32_t mask) override;
    uint32_t getGroupMask() const override { return m_groupMask; }
    void setMaterial(const PhysicsMaterial& material) override;
    const PhysicsMaterial& getMaterial() const override { return m_material; }
    void setSkinWidth(float width) override;
    void setTrigger(bool trigger) override;
    bool updateMassFromShapes(float density) override;
    float getMass() override;
    Vector3 getCenterOfMassLocal() override;
    void setCenterOfMassLocal(const Vector3& center) override;
    void addForceAtPosition(const Vector3& force, const Vector3& worldPosition,
                            PhysicsForceMode mode) override;
    void addForceAtLocalPosition(const Vector3& force, const Vector3& localPosition,
                                 PhysicsForceMode mode) override;
    void wakeUp() override;
    bool isSleeping() override;
    void setContactReporting(bool on) override { m_reportsContacts = on; }
    bool reportsContacts() const { return m_reportsContacts; }
    bool isTriggerActor() const { return m_trigger; }

    // btMotionState: Bullet reads a kinematic body's target here and reports
    // every active body's new transform (on the worker thread).
    void getWorldTransform(btTransform& transform) const override;
    void setWorldTransform(const btTransform& transform) override;

    btRigidBody* body() { return m_body.get(); }
    Matrix4 poseFromBody() const { return fromBt(frameFromBody()); }
    btTransform frameFromBody() const {
        return m_body->getWorldTransform() * m_bodyOffset.inverse();
    }

    size_t m_index = 0;
    uint64_t m_movedStamp = 0;
    // The joints on this actor: they follow its mass frame and go with it.
    std::vector<BulletJoint*> m_joints;
    // A frame given in the actor's frame, seen from the Bullet body.
    btTransform actorToBody(const btTransform& inActor) const {
        return m_bodyOffset.inverse() * inActor;
    }

private:
    bool hasBody() const { return m_type != PhysicsBodyType::Static; }
    // Computes the mass frame from the shapes at the density.
    void computeMass(float density);
    struct Child {
        btCollisionShape* shape;
        btTransform local;
    };
    // The shape Bullet collides with for the current body offset: the one
    // child itself when it sits at the body frame, else a compound.
    btCollisionShape* makeCollisionShape(std::unique_ptr<btCompoundShape>& compound);
    void rebuildCollisionShape();
    void applyMassToBody();
    void readdToWorld();
    void refreshJointFrames();
    uint32_t effectiveMask() const { return m_collisionEnabled ? m_groupMask : 0u; }
    void applyCollisionFlags();

    BulletPhysicsScene& m_scene;
    PhysicsBodyType m_type;
    std::string m_name;
    void* m_userData;
    std::vector<PhysicsShapeDesc> m_shapes;
    PhysicsMaterial m_material;
    float m_skinWidth;
    uint32_t m_groupMask;
    bool m_collisionEnabled;
    bool m_trigger = false;
    bool m_reportsContacts = false;
    bool m_kinematic = false;
    float m_linearDamping;
    float m_angularDamping;
    float m_density;
    std::vector<Child> m_children;
    float m_mass = 0.0f;
    btVector3 m_inertia{0, 0, 0};
    // Actor frame -> Bullet body frame.
    btTransform m_bodyOffset = btTransform::getIdentity();
    btTransform m_kinematicTarget = btTransform::getIdentity();
    std::unique_ptr<btCompoundShape> m_compound;
    std::unique_ptr<btRigidBody> m_body;
    bool m_inWorld = false;
};

// A six-degree-of-freedom joint as a btGeneric6DofSpring2Constraint; a
// missing actor is Bullet's fixed body, whose frame is the world.
class BulletJoint final : public IPhysicsJoint {
public:
    BulletJoint(BulletPhysicsScene& scene, const PhysicsJointDesc& desc, BulletActor* actor0,
                BulletActor* actor1);
    ~BulletJoint() override { detach(); }

    const PhysicsJointDesc& getDesc() const override { return m_desc; }
    void setDesc(const PhysicsJointDesc& desc) override;
    void setDrive(const PhysicsJointDrive& drive) override { m_drive = drive; }
    void setDriveOrientation(const Vector3& axis, float angle) override;
    void setDriveAngularVelocity(const Vector3& velocity) override;
    bool isBroken() const override { return !m_constraint || !m_constraint->isEnabled(); }
    IPhysicsActor* getActor(int index) const override {
        return index == 0 || index == 1 ? m_actors[index] : nullptr;
    }

    // An actor goes: the constraint leaves the world and the joint stays
    // inert.
    void detach();
    // The frames again, after an actor's mass frame changed.
    void applyFrames();

    size_t m_index = 0;

private:
    void applyLimits();
    void wakeActors();

    BulletPhysicsScene& m_scene;
    PhysicsJointDesc m_desc;
    BulletActor* m_actors[2];
    PhysicsJointDrive m_drive;
    std::unique_ptr<btGeneric6DofSpring2Constraint> m_constraint;
};

class DebugLineCollector : public btIDebugDraw {
public:
    void drawLine(const btVector3& from, const btVector3& to, const btVector3& color) override {
        if (m_lines == nullptr || m_lines->size() >= kMaxDebugLines) {
            return;
        }
        m_lines->push_back({fromBt(from), fromBt(to), fromBt(color)});
    }
    void drawContactPoint(const btVector3&, const btVector3&, btScalar, int,
                          const btVector3&) override {}
    void reportErrorWarning(const char*) override {}
    void draw3dText(const btVector3&, const char*) override {}
    void setDebugMode(int mode) override { m_mode = mode; }
    int getDebugMode() const override { return m_mode; }

    std::vector<PhysicsDebugLine>* m_lines = nullptr;
    int m_mode = DBG_DrawWireframe;
};

class BulletPhysicsScene final : public IPhysicsScene {
public:
    explicit BulletPhysicsScene(const PhysicsSceneDesc& desc);
    ~BulletPhysicsScene() override;

    RefPtr<IPhysicsConvexMesh> createConvexMesh(const float* points, size_t count,
                                                size_t strideFloats) override;
    RefPtr<IPhysicsTriangleMesh> createTriangleMesh(const float* vertices, size_t vertexCount,
                                                    size_t strideFloats, const uint32_t* indices,
                                                    size_t indexCount) override;
    RefPtr<IPhysicsHeightField> createHeightField(const PhysicsHeightFieldDesc& desc) override;
    IPhysicsActor* createActor(const PhysicsActorDesc& desc) override;
    void releaseActor(IPhysicsActor* actor) override;
    size_t getNumActors() const override { return m_actors.size(); }
    bool simulate(float seconds) override;
    bool fetchResults() override;
    bool isSimulating() const override { return m_simulating; }
    void waitForWorker() override { m_worker.wait(); }
    const std::vector<PhysicsMovedActor>& getMovedActors() const override { return m_moved; }
    const std::vector<PhysicsTriggerEvent>& getTriggerEvents() const override {
        return m_triggerEvents;
    }
    const std::vector<PhysicsContactEvent>& getContactEvents() const override {
        return m_contactEvents;
    }
    void setGravity(const Vector3& gravity) override {
        waitForWorker();
        m_world->setGravity(toBt(gravity));
    }
    Vector3 getGravity() const override { return fromBt(m_world->getGravity()); }
    PhysicsSceneStats getStats() override;
    void collectDebugLines(std::vector<PhysicsDebugLine>& lines) override;
    size_t raycastAll(const Vector3& origin, const Vector3& direction, float maxDistance,
                      uint32_t groupMask, std::vector<PhysicsRaycastHit>& hits) override;
    bool raycastClosest(const Vector3& origin, const Vector3& direction, float maxDistance,
                        uint32_t groupMask, PhysicsRaycastHit& hit) override;
    size_t overlapSphere(const Vector3& center, float radius, uint32_t groupMask,
                         std::vector<PhysicsRaycastHit>& found) override;
    IPhysicsJoint* createJoint(const PhysicsJointDesc& desc) override;
    void releaseJoint(IPhysicsJoint* joint) override;
    size_t getNumJoints() const override { return m_joints.size(); }
    float fixedStep() const { return m_desc.fixedStep; }

    SteppedWorld& world() { return *m_world; }
    // Called on the worker thread from the actors' motion states.
    void noteMoved(BulletActor* actor) {
        if (actor->m_movedStamp != m_stamp) {
            actor->m_movedStamp = m_stamp;
            m_movedStaging.push_back(actor);
        }
    }

private:
    // A touching pair this simulation: actors ordered as reported (trigger
    // first), the forces of a contact pair.
    struct Touch {
        BulletActor* first;
        BulletActor* second;
        bool trigger;
        Vector3 normalForce;
        Vector3 frictionForce;
        bool operator<(const Touch& o) const {
            auto key = [](const Touch& t) {
                return std::make_tuple(t.trigger, reinterpret_cast<uintptr_t>(t.first),
                                       reinterpret_cast<uintptr_t>(t.second));
            };
            return key(*this) < key(o);
        }
        bool samePair(const Touch& o) const {
            return trigger == o.trigger && first == o.first && second == o.second;
        }
    };

    static void simulateJob(void* context);
    // On the worker after the substeps: this simulation's touches against
    // the last one's, as events.
    void collectTouches(btScalar seconds);

    PhysicsSceneDesc m_desc;
    std::unique_ptr<btDefaultCollisionConfiguration> m_configuration;
    std::unique_ptr<btCollisionDispatcher> m_dispatcher;
    std::unique_ptr<btDbvtBroadphase> m_broadphase;
    std::unique_ptr<btSequentialImpulseConstraintSolver> m_solver;
    std::unique_ptr<SteppedWorld> m_world;
    std::vector<std::unique_ptr<BulletActor>> m_actors;
    std::vector<BulletActor*> m_movedStaging;
    std::vector<PhysicsMovedActor> m_moved;
    std::vector<Touch> m_touches;
    std::vector<Touch> m_previousTouches;
    std::vector<PhysicsTriggerEvent> m_triggerEvents;
    std::vector<PhysicsContactEvent> m_contactEvents;
    // Filled by the worker, published by the fetch.
    std::vector<PhysicsTriggerEvent> m_triggerStaging;
    std::vector<PhysicsContactEvent> m_contactStaging;
    DebugLineCollector m_debugDrawer;
    // Simulated time not yet run as a substep (seconds).
    double m_accumulated = 0.0;
    int m_pendingSubsteps = 0;
    uint64_t m_stamp = 0;
    bool m_simulating = false;
    PhysicsWorker m_worker;
    std::vector<std::unique_ptr<BulletJoint>> m_joints;

public:
    IPhysicsWheelShape* createWheelShape(IPhysicsActor* actor,
                                         const PhysicsWheelShapeDesc& desc) override {
        waitForWorker();
        return m_wheels.create(*this, *m_world, actor, desc);
    }
    void releaseWheelShape(IPhysicsWheelShape* wheel) override {
        waitForWorker();
        m_wheels.release(*m_world, wheel);
    }
    IPhysicsCharacterController* createCapsuleController(
        const PhysicsCapsuleControllerDesc& desc) override {
        waitForWorker();
        return m_controllers.create(*this, *m_world, desc);
    }
    void releaseController(IPhysicsCharacterController* controller) override {
        waitForWorker();
        m_controllers.release(controller);
    }

private:
    BulletWheelSet m_wheels;
    BulletControllerSet m_controllers;
};

// ---- actors ----------------------------------------------------------------

BulletActor::BulletActor(BulletPhysicsScene& scene, const PhysicsActorDesc& desc)
    : m_scene(scene),
      m_type(desc.type),
      m_name(desc.name),
      m_userData(desc.userData),
      m_shapes(desc.shapes),
      m_material(desc.material),
      m_skinWidth(desc.skinWidth > 0.0f && std::isfinite(desc.skinWidth) ? desc.skinWidth : 0.01f),
      m_groupMask(desc.groupMask),
      m_collisionEnabled(desc.collisionEnabled),
      m_kinematic(desc.type == PhysicsBodyType::Kinematic),
      m_linearDamping(desc.linearDamping),
      m_angularDamping(desc.angularDamping),
      m_density(desc.density > 0.0f && std::isfinite(desc.density) ? desc.density : 1.0f) {
    m_trigger =
        !m_shapes.empty() && std::all_of(m_shapes.begin(), m_shapes.end(),
                                         [](const PhysicsShapeDesc& s) { return s.trigger; });
}

BulletActor::~BulletActor() {
    if (m_body && m_inWorld) {
        m_scene.world().removeRigidBody(m_body.get());
    }
}

bool BulletActor::build(const Matrix4& globalPose) {
    for (const PhysicsShapeDesc& shape : m_shapes) {
        bool present = (shape.type == PhysicsShapeDesc::Type::Convex && shape.convexMesh) ||
                       (shape.type == PhysicsShapeDesc::Type::TriangleMesh && shape.triangleMesh) ||
                       (shape.type == PhysicsShapeDesc::Type::HeightField && shape.heightField);
        if (!present || !isFinitePose(shape.localPose)) {
            return false;
        }
        // Meshes and height fields cannot move.
        if (hasBody() && shape.type != PhysicsShapeDesc::Type::Convex) {
            return false;
        }
    }
    if (m_type == PhysicsBodyType::Static && m_shapes.empty()) {
        return false;
    }
    if (hasBody()) {
        computeMass(m_density);
    }
    std::unique_ptr<btCompoundShape> compound;
    btCollisionShape* shape = makeCollisionShape(compound);
    m_kinematicTarget = toBt(globalPose) * m_bodyOffset;
    btRigidBody::btRigidBodyConstructionInfo info(0, this, shape, btVector3(0, 0, 0));
    info.m_friction = m_material.dynamicFriction;
    info.m_restitution = m_material.restitution;
    info.m_linearDamping = bulletDamping(m_linearDamping);
    info.m_angularDamping = bulletDamping(m_angularDamping);
    m_body = std::make_unique<btRigidBody>(info);
    m_compound = std::move(compound);
    m_body->setUserPointer(this);
    m_body->setUserIndex(kActorObjectTag);
    applyMassToBody();
    applyCollisionFlags();
    readdToWorld();
    return true;
}

void BulletActor::computeMass(float density) {
    MassPropertiesSum sum;
    for (const PhysicsShapeDesc& shape : m_shapes) {
        if (shape.trigger || shape.type != PhysicsShapeDesc::Type::Convex) {
            continue;
        }
        PhysicsMassProperties part =
            scaleMassProperties(shape.convexMesh->getUnitMassProperties(), density);
        sum.add(transformMassProperties(part, shape.localPose));
    }
    PhysicsMassProperties total = sum.result();
    if (total.mass > 0.0f) {
        Vector3 principal;
        Matrix4 axes;
        diagonalizeInertia(total.inertia, principal, axes);
        axes.setTranslation(total.centerOfMass);
        m_mass = total.mass;
        m_inertia = btVector3(std::max(principal.x, 1e-9f), std::max(principal.y, 1e-9f),
                              std::max(principal.z, 1e-9f));
        m_bodyOffset = toBt(axes);
    } else {
        // Triggers only (or nothing): a unit body at the actor's origin.
        m_mass = 1.0f;
        m_inertia = btVector3(1, 1, 1);
        m_bodyOffset = btTransform::getIdentity();
    }
}

btCollisionShape* BulletActor::makeCollisionShape(std::unique_ptr<btCompoundShape>& compound) {
    m_children.clear();
    for (const PhysicsShapeDesc& desc : m_shapes) {
        btTransform local = toBt(desc.localPose);
        btCollisionShape* shape = nullptr;
        switch (desc.type) {
            case PhysicsShapeDesc::Type::Convex:
                shape =
                    static_cast<BulletConvexMesh*>(desc.convexMesh.get())->shapeFor(m_skinWidth);
                break;
            case PhysicsShapeDesc::Type::TriangleMesh:
                shape = static_cast<BulletTriangleMesh*>(desc.triangleMesh.get())->m_shape.get();
                break;
            case PhysicsShapeDesc::Type::HeightField: {
                auto* field = static_cast<BulletHeightField*>(desc.heightField.get());
                shape = field->m_shape.get();
                local = local * field->centeringOffset();
                break;
            }
        }
        m_children.push_back({shape, local});
    }
    if (!hasBody()) {
        // A static actor with one shape uses it directly at its offset.
        m_bodyOffset = m_children.size() == 1 ? m_children[0].local : btTransform::getIdentity();
    }
    btTransform inverseOffset = m_bodyOffset.inverse();
    if (m_children.size() == 1 && isIdentity(inverseOffset * m_children[0].local)) {
        return m_children[0].shape;
    }
    // An actor without shapes (a body made only to carry joints) gets an
    // empty compound.
    compound = std::make_unique<btCompoundShape>(true, int(m_children.size()));
    for (const Child& child : m_children) {
        compound->addChildShape(inverseOffset * child.local, child.shape);
    }
    return compound.get();
}

void BulletActor::rebuildCollisionShape() {
    btTransform actorPose = m_body->getWorldTransform() * m_bodyOffset.inverse();
    std::unique_ptr<btCompoundShape> compound;
    btCollisionShape* shape = makeCollisionShape(compound);
    bool wasInWorld = m_inWorld;
    if (wasInWorld) {
        m_scene.world().removeRigidBody(m_body.get());
        m_inWorld = false;
    }
    m_body->setCollisionShape(shape);
    m_compound = std::move(compound);
    m_body->setCenterOfMassTransform(actorPose * m_bodyOffset);
    m_kinematicTarget = m_body->getWorldTransform();
    if (wasInWorld) {
        readdToWorld();
    }
    refreshJointFrames();
}

void BulletActor::refreshJointFrames() {
    for (BulletJoint* joint : m_joints) {
        joint->applyFrames();
    }
}

void BulletActor::applyMassToBody() {
    if (!hasBody() || m_kinematic) {
        m_body->setMassProps(0, btVector3(0, 0, 0));
    } else {
        m_body->setMassProps(m_mass, m_inertia);
    }
    m_body->updateInertiaTensor();
}

void BulletActor::readdToWorld() {
    if (m_inWorld) {
        m_scene.world().removeRigidBody(m_body.get());
    }
    uint32_t mask = effectiveMask();
    m_scene.world().addRigidBody(m_body.get(), int(mask), int(mask));
    m_inWorld = true;
}

void BulletActor::applyCollisionFlags() {
    int flags = m_body->getCollisionFlags() &
                ~(btCollisionObject::CF_KINEMATIC_OBJECT |
                  btCollisionObject::CF_NO_CONTACT_RESPONSE | btCollisionObject::CF_STATIC_OBJECT);
    if (m_type == PhysicsBodyType::Static) {
        flags |= btCollisionObject::CF_STATIC_OBJECT;
    } else if (m_kinematic) {
        flags |= btCollisionObject::CF_KINEMATIC_OBJECT;
    }
    if (m_trigger) {
        flags |= btCollisionObject::CF_NO_CONTACT_RESPONSE;
    }
    m_body->setCollisionFlags(flags);
    if (m_kinematic) {
        m_body->setActivationState(DISABLE_DEACTIVATION);
    } else if (hasBody()) {
        m_body->forceActivationState(ACTIVE_TAG);
        m_body->activate(true);
    }
}

void BulletActor::getWorldTransform(btTransform& transform) const {
    transform = m_kinematicTarget;
}

void BulletActor::setWorldTransform(const btTransform&) {
    m_scene.noteMoved(this);
}

Matrix4 BulletActor::getGlobalPose() {
    m_scene.waitForWorker();
    return poseFromBody();
}

void BulletActor::setGlobalPose(const Matrix4& pose) {
    if (!isFinitePose(pose)) {
        return;
    }
    m_scene.waitForWorker();
    btTransform t = toBt(pose) * m_bodyOffset;
    m_body->setCenterOfMassTransform(t);
    m_kinematicTarget = t;
    if (m_inWorld) {
        m_scene.world().updateSingleAabb(m_body.get());
    }
    if (hasBody()) {
        m_body->activate(true);
    }
}

void BulletActor::moveGlobalPose(const Matrix4& pose) {
    if (!m_kinematic) {
        setGlobalPose(pose);
        return;
    }
    if (!isFinitePose(pose)) {
        return;
    }
    m_scene.waitForWorker();
    m_kinematicTarget = toBt(pose) * m_bodyOffset;
    m_body->activate(true);
}

Vector3 BulletActor::getLinearVelocity() {
    m_scene.waitForWorker();
    return fromBt(m_body->getLinearVelocity());
}

void BulletActor::setLinearVelocity(const Vector3& velocity) {
    if (!hasBody() || !isFinite(velocity)) {
        return;
    }
    m_scene.waitForWorker();
    m_body->setLinearVelocity(toBt(velocity));
    if (velocity.x != 0 || velocity.y != 0 || velocity.z != 0) {
        m_body->activate(true);
    }
}

Vector3 BulletActor::getAngularVelocity() {
    m_scene.waitForWorker();
    return fromBt(m_body->getAngularVelocity());
}

void BulletActor::setAngularVelocity(const Vector3& velocity) {
    if (!hasBody() || !isFinite(velocity)) {
        return;
    }
    m_scene.waitForWorker();
    m_body->setAngularVelocity(toBt(velocity));
    if (velocity.x != 0 || velocity.y != 0 || velocity.z != 0) {
        m_body->activate(true);
    }
}

void BulletActor::setKinematic(bool kinematic) {
    if (!hasBody() || kinematic == m_kinematic) {
        return;
    }
    m_scene.waitForWorker();
    m_kinematic = kinematic;
    m_type = kinematic ? PhysicsBodyType::Kinematic : PhysicsBodyType::Dynamic;
    m_kinematicTarget = m_body->getWorldTransform();
    m_body->setLinearVelocity(btVector3(0, 0, 0));
    m_body->setAngularVelocity(btVector3(0, 0, 0));
    applyMassToBody();
    applyCollisionFlags();
    readdToWorld();
}

void BulletActor::setCollisionEnabled(bool enabled) {
    if (enabled == m_collisionEnabled) {
        return;
    }
    m_scene.waitForWorker();
    m_collisionEnabled = enabled;
    readdToWorld();
}

void BulletActor::setGroupMask(uint32_t mask) {
    if (mask == m_groupMask) {
        return;
    }
    m_scene.waitForWorker();
    m_groupMask = mask;
    readdToWorld();
}

void BulletActor::setMaterial(const PhysicsMaterial& material) {
    m_scene.waitForWorker();
    m_material = material;
    m_body->setRestitution(material.restitution);
    m_body->setFriction(material.dynamicFriction);
}

void BulletActor::setSkinWidth(float width) {
    if (!(width > 0.0f) || !std::isfinite(width) || width == m_skinWidth) {
        return;
    }
    m_scene.waitForWorker();
    m_skinWidth = width;
    rebuildCollisionShape();
}

void BulletActor::setTrigger(bool trigger) {
    if (trigger == m_trigger) {
        return;
    }
    m_scene.waitForWorker();
    m_trigger = trigger;
    applyCollisionFlags();
}

bool BulletActor::updateMassFromShapes(float density) {
    if (!hasBody() || !(density > 0.0f) || !std::isfinite(density)) {
        return false;
    }
    m_scene.waitForWorker();
    btTransform actorPose = m_body->getWorldTransform() * m_bodyOffset.inverse();
    m_density = density;
    computeMass(density);
    m_body->setCenterOfMassTransform(actorPose * m_bodyOffset);
    rebuildCollisionShape();
    applyMassToBody();
    m_body->activate(true);
    return true;
}

float BulletActor::getMass() {
    return hasBody() ? m_mass : 0.0f;
}

Vector3 BulletActor::getCenterOfMassLocal() {
    return fromBt(m_bodyOffset.getOrigin());
}

void BulletActor::setCenterOfMassLocal(const Vector3& center) {
    if (!hasBody() || !isFinite(center)) {
        return;
    }
    m_scene.waitForWorker();
    btTransform actorPose = m_body->getWorldTransform() * m_bodyOffset.inverse();
    m_bodyOffset.setOrigin(toBt(center));
    m_body->setCenterOfMassTransform(actorPose * m_bodyOffset);
    rebuildCollisionShape();
}

void BulletActor::addForceAtPosition(const Vector3& force, const Vector3& worldPosition,
                                     PhysicsForceMode mode) {
    if (m_type != PhysicsBodyType::Dynamic || !isFinite(force) || !isFinite(worldPosition)) {
        return;
    }
    m_scene.waitForWorker();
    btVector3 relative = toBt(worldPosition) - m_body->getCenterOfMassPosition();
    if (mode == PhysicsForceMode::Impulse) {
        m_body->applyImpulse(toBt(force), relative);
    } else {
        m_body->applyForce(toBt(force), relative);
    }
    m_body->activate(true);
}

void BulletActor::addForceAtLocalPosition(const Vector3& force, const Vector3& localPosition,
                                          PhysicsForceMode mode) {
    if (!isFinite(localPosition)) {
        return;
    }
    m_scene.waitForWorker();
    Vector3 world = poseFromBody().transformPoint(localPosition);
    addForceAtPosition(force, world, mode);
}

void BulletActor::wakeUp() {
    if (!hasBody()) {
        return;
    }
    m_scene.waitForWorker();
    m_body->activate(true);
}

bool BulletActor::isSleeping() {
    if (!hasBody()) {
        return true;
    }
    m_scene.waitForWorker();
    return m_body->getActivationState() == ISLAND_SLEEPING;
}

// ---- the scene -------------------------------------------------------------

BulletPhysicsScene::BulletPhysicsScene(const PhysicsSceneDesc& desc) : m_desc(desc) {
    gCalculateCombinedFrictionCallback = averageFriction;
    gCalculateCombinedRestitutionCallback = averageRestitution;
    m_configuration = std::make_unique<btDefaultCollisionConfiguration>();
    m_dispatcher = std::make_unique<btCollisionDispatcher>(m_configuration.get());
    m_broadphase = std::make_unique<btDbvtBroadphase>();
    m_solver = std::make_unique<btSequentialImpulseConstraintSolver>();
    m_world = std::make_unique<SteppedWorld>(m_dispatcher.get(), m_broadphase.get(), m_solver.get(),
                                             m_configuration.get());
    m_world->setGravity(toBt(isFinite(desc.gravity) ? desc.gravity : Vector3{0, -9.81f, 0}));
    m_world->setDebugDrawer(&m_debugDrawer);
    if (!(m_desc.fixedStep > 0.0f) || !std::isfinite(m_desc.fixedStep)) {
        m_desc.fixedStep = 1.0f / 60.0f;
    }
    if (m_desc.maxSubSteps <= 0) {
        m_desc.maxSubSteps = 1;
    }
}

BulletPhysicsScene::~BulletPhysicsScene() {
    m_worker.wait();
    m_joints.clear();
    m_controllers.clear();
    m_wheels.clear(*m_world);
    m_actors.clear();
}

RefPtr<IPhysicsConvexMesh> BulletPhysicsScene::createConvexMesh(const float* points, size_t count,
                                                                size_t strideFloats) {
    if (points == nullptr || count < 4 || count > kMaxConvexPoints || strideFloats < 3) {
        return nullptr;
    }
    for (size_t i = 0; i < count; ++i) {
        const float* p = points + i * strideFloats;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            return nullptr;
        }
    }
    btConvexHullComputer hull;
    hull.compute(points, int(strideFloats * sizeof(float)), int(count), 0, 0);
    if (hull.vertices.size() < 4 || hull.faces.size() < 4) {
        return nullptr;
    }
    RefPtr<BulletConvexMesh> mesh(new BulletConvexMesh());
    mesh->m_hullVertices.reserve(size_t(hull.vertices.size()) * 3);
    for (int i = 0; i < hull.vertices.size(); ++i) {
        mesh->m_hullVertices.push_back(float(hull.vertices[i].x()));
        mesh->m_hullVertices.push_back(float(hull.vertices[i].y()));
        mesh->m_hullVertices.push_back(float(hull.vertices[i].z()));
    }
    // The faces as triangle fans for the volume integrals.
    std::vector<uint32_t> triangles;
    for (int f = 0; f < hull.faces.size(); ++f) {
        const btConvexHullComputer::Edge* first = &hull.edges[hull.faces[f]];
        int v0 = first->getSourceVertex();
        const btConvexHullComputer::Edge* edge = first->getNextEdgeOfFace();
        int guard = hull.edges.size();
        while (edge->getTargetVertex() != v0 && guard-- > 0) {
            triangles.push_back(uint32_t(v0));
            triangles.push_back(uint32_t(edge->getSourceVertex()));
            triangles.push_back(uint32_t(edge->getTargetVertex()));
            edge = edge->getNextEdgeOfFace();
        }
    }
    mesh->m_unit =
        computeMeshMassProperties(mesh->m_hullVertices.data(), size_t(hull.vertices.size()),
                                  triangles.data(), triangles.size());
    // A flat hull has no volume to give mass or to collide with.
    float extent = 0.0f;
    for (size_t i = 0; i < mesh->m_hullVertices.size(); ++i) {
        extent = std::max(extent, std::fabs(mesh->m_hullVertices[i] - mesh->m_hullVertices[i % 3]));
    }
    if (!(mesh->m_unit.mass > 1e-6f * extent * extent * extent) || !(mesh->m_unit.mass > 0.0f)) {
        return nullptr;
    }
    return RefPtr<IPhysicsConvexMesh>(mesh.get());
}

RefPtr<IPhysicsTriangleMesh> BulletPhysicsScene::createTriangleMesh(const float* vertices,
                                                                    size_t vertexCount,
                                                                    size_t strideFloats,
                                                                    const uint32_t* indices,
                                                                    size_t indexCount) {
    if (vertices == nullptr || indices == nullptr || strideFloats < 3 || vertexCount < 3 ||
        vertexCount > kMaxMeshVertices || indexCount < 3 || indexCount % 3 != 0 ||
        indexCount > kMaxMeshIndices) {
        return nullptr;
    }
    for (size_t i = 0; i < indexCount; ++i) {
        if (indices[i] >= vertexCount) {
            return nullptr;
        }
    }
    RefPtr<BulletTriangleMesh> mesh(new BulletTriangleMesh());
    mesh->m_vertices.resize(vertexCount * 3);
    for (size_t i = 0; i < vertexCount; ++i) {
        const float* p = vertices + i * strideFloats;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            return nullptr;
        }
        std::memcpy(&mesh->m_vertices[i * 3], p, 3 * sizeof(float));
    }
    mesh->m_indices.assign(indices, indices + indexCount);
    btIndexedMesh part;
    part.m_numTriangles = int(indexCount / 3);
    part.m_triangleIndexBase = reinterpret_cast<const unsigned char*>(mesh->m_indices.data());
    part.m_triangleIndexStride = 3 * sizeof(int);
    part.m_numVertices = int(vertexCount);
    part.m_vertexBase = reinterpret_cast<const unsigned char*>(mesh->m_vertices.data());
    part.m_vertexStride = 3 * sizeof(float);
    part.m_indexType = PHY_INTEGER;
    part.m_vertexType = PHY_FLOAT;
    mesh->m_array = std::make_unique<btTriangleIndexVertexArray>();
    mesh->m_array->addIndexedMesh(part, PHY_INTEGER);
    mesh->m_shape = std::make_unique<btBvhTriangleMeshShape>(mesh->m_array.get(), true, true);
    return RefPtr<IPhysicsTriangleMesh>(mesh.get());
}

RefPtr<IPhysicsHeightField> BulletPhysicsScene::createHeightField(
    const PhysicsHeightFieldDesc& desc) {
    uint64_t samples = uint64_t(desc.rows) * uint64_t(desc.columns);
    auto positive = [](float v) { return v > 0.0f && std::isfinite(v); };
    if (desc.samples == nullptr || desc.rows < 2 || desc.columns < 2 ||
        desc.rows > kMaxHeightFieldSide || desc.columns > kMaxHeightFieldSide ||
        samples > kMaxHeightFieldSamples || !positive(desc.heightScale) ||
        !positive(desc.rowScale) || !positive(desc.columnScale)) {
        return nullptr;
    }
    RefPtr<BulletHeightField> field(new BulletHeightField());
    field->m_rows = desc.rows;
    field->m_columns = desc.columns;
    field->m_rowScale = desc.rowScale;
    field->m_columnScale = desc.columnScale;
    field->m_heights.resize(size_t(samples));
    // Unsigned samples: 65535 is the highest point, never a hole.
    float minHeight = 0.0f, maxHeight = 0.0f;
    for (uint32_t i = 0; i < desc.rows; ++i) {
        for (uint32_t j = 0; j < desc.columns; ++j) {
            float h = float(desc.samples[size_t(i) * desc.columns + j]) * desc.heightScale;
            field->m_heights[size_t(j) * desc.rows + i] = h;
            if ((i | j) == 0 || h < minHeight) {
                minHeight = h;
            }
            if ((i | j) == 0 || h > maxHeight) {
                maxHeight = h;
            }
        }
    }
    field->m_minHeight = minHeight;
    field->m_maxHeight = maxHeight;
    field->m_shape = std::make_unique<btHeightfieldTerrainShape>(
        int(desc.rows), int(desc.columns), field->m_heights.data(), btScalar(1), minHeight,
        maxHeight, 1, PHY_FLOAT, false);
    field->m_shape->setLocalScaling(btVector3(desc.rowScale, 1.0f, desc.columnScale));
    return RefPtr<IPhysicsHeightField>(field.get());
}

IPhysicsActor* BulletPhysicsScene::createActor(const PhysicsActorDesc& desc) {
    if (!isFinitePose(desc.globalPose)) {
        return nullptr;
    }
    waitForWorker();
    auto actor = std::make_unique<BulletActor>(*this, desc);
    if (!actor->build(desc.globalPose)) {
        return nullptr;
    }
    BulletActor* raw = actor.get();
    raw->m_index = m_actors.size();
    m_actors.push_back(std::move(actor));
    return raw;
}

void BulletPhysicsScene::releaseActor(IPhysicsActor* actor) {
    auto* bullet = static_cast<BulletActor*>(actor);
    if (bullet == nullptr || bullet->m_index >= m_actors.size() ||
        m_actors[bullet->m_index].get() != bullet) {
        return;
    }
    waitForWorker();
    // Its joints lose their constraints now; their owners release them.
    std::vector<BulletJoint*> joints = bullet->m_joints;
    for (BulletJoint* joint : joints) {
        joint->detach();
    }
    m_wheels.releaseActor(*m_world, bullet);
    m_controllers.actorReleased(bullet);
    // No moved list may keep a pointer to it.
    m_movedStaging.erase(std::remove(m_movedStaging.begin(), m_movedStaging.end(), bullet),
                         m_movedStaging.end());
    m_moved.erase(
        std::remove_if(m_moved.begin(), m_moved.end(),
                       [bullet](const PhysicsMovedActor& m) { return m.actor == bullet; }),
        m_moved.end());
    auto touches = [bullet](const Touch& t) { return t.first == bullet || t.second == bullet; };
    m_previousTouches.erase(
        std::remove_if(m_previousTouches.begin(), m_previousTouches.end(), touches),
        m_previousTouches.end());
    auto inTrigger = [bullet](const PhysicsTriggerEvent& e) {
        return e.trigger == bullet || e.other == bullet;
    };
    auto inContact = [bullet](const PhysicsContactEvent& e) {
        return e.first == bullet || e.second == bullet;
    };
    for (auto* events : {&m_triggerEvents, &m_triggerStaging}) {
        events->erase(std::remove_if(events->begin(), events->end(), inTrigger), events->end());
    }
    for (auto* events : {&m_contactEvents, &m_contactStaging}) {
        events->erase(std::remove_if(events->begin(), events->end(), inContact), events->end());
    }
    size_t index = bullet->m_index;
    if (index + 1 != m_actors.size()) {
        std::swap(m_actors[index], m_actors.back());
        m_actors[index]->m_index = index;
    }
    m_actors.pop_back();
}

void BulletPhysicsScene::simulateJob(void* context) {
    auto* scene = static_cast<BulletPhysicsScene*>(context);
    scene->m_world->stepFixed(scene->m_pendingSubsteps, scene->m_desc.fixedStep);
    if (scene->m_pendingSubsteps > 0) {
        scene->collectTouches(scene->m_desc.fixedStep);
    }
}

void BulletPhysicsScene::collectTouches(btScalar substep) {
    m_touches.clear();
    int manifolds = m_dispatcher->getNumManifolds();
    for (int i = 0; i < manifolds; ++i) {
        btPersistentManifold* manifold = m_dispatcher->getManifoldByIndexInternal(i);
        auto* a = static_cast<BulletActor*>(manifold->getBody0()->getUserPointer());
        auto* b = static_cast<BulletActor*>(manifold->getBody1()->getUserPointer());
        if (a == nullptr || b == nullptr) {
            continue;
        }
        bool touching = false;
        Vector3 normal, friction;
        // Points just apart may still carry the load (margins): the forces
        // are summed over every point, touching needs one point that meets.
        for (int p = 0; p < manifold->getNumContacts(); ++p) {
            const btManifoldPoint& point = manifold->getContactPoint(p);
            touching = touching || point.getDistance() <= 0;
            // Impulses of the last substep as forces.
            normal += fromBt(point.m_normalWorldOnB * (point.m_appliedImpulse / substep));
            friction += fromBt((point.m_lateralFrictionDir1 * point.m_appliedImpulseLateral1 +
                                point.m_lateralFrictionDir2 * point.m_appliedImpulseLateral2) /
                               substep);
        }
        if (!touching) {
            continue;
        }
        if (a->isTriggerActor() || b->isTriggerActor()) {
            BulletActor* trigger = a->isTriggerActor() ? a : b;
            m_touches.push_back({trigger, trigger == a ? b : a, true, {}, {}});
        } else if (a->reportsContacts() || b->reportsContacts()) {
            bool ordered = reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
            m_touches.push_back({ordered ? a : b, ordered ? b : a, false, normal, friction});
        }
    }
    std::sort(m_touches.begin(), m_touches.end());
    // Walk both sorted lists: only in the new one began, in both goes on,
    // only in the old one ended.
    size_t i = 0, j = 0;
    while (i < m_touches.size() || j < m_previousTouches.size()) {
        const Touch* now = i < m_touches.size() ? &m_touches[i] : nullptr;
        const Touch* before = j < m_previousTouches.size() ? &m_previousTouches[j] : nullptr;
        uint32_t status;
        const Touch* touch;
        if (now != nullptr && before != nullptr && now->samePair(*before)) {
            status = 4;
            touch = now;
            ++i;
            ++j;
        } else if (now != nullptr && (before == nullptr || *now < *before)) {
            status = 1;
            touch = now;
            ++i;
        } else {
            status = 2;
            touch = before;
            ++j;
        }
        if (touch->trigger) {
            m_triggerStaging.push_back({touch->first, touch->second, status});
        } else {
            m_contactStaging.push_back(
                {touch->first, touch->second, status, touch->normalForce, touch->frictionForce});
        }
    }
    std::swap(m_touches, m_previousTouches);
}

bool BulletPhysicsScene::simulate(float seconds) {
    if (m_simulating || !(seconds > 0.0f) || !std::isfinite(seconds)) {
        return false;
    }
    // Whole substeps, with a tolerance for times that are one substep up to
    // float rounding; time beyond the most substeps is dropped, so that a
    // slow frame cannot make the next one slower still.
    double fixed = m_desc.fixedStep;
    m_accumulated += seconds;
    double substeps = std::floor(m_accumulated / fixed + 1e-3);
    m_accumulated = std::max(0.0, m_accumulated - substeps * fixed);
    m_pendingSubsteps = int(std::min<double>(substeps, m_desc.maxSubSteps));
    ++m_stamp;
    m_movedStaging.clear();
    m_triggerStaging.clear();
    m_contactStaging.clear();
    m_simulating = true;
    if (!m_worker.start(&BulletPhysicsScene::simulateJob, this)) {
        m_simulating = false;
        return false;
    }
    return true;
}

bool BulletPhysicsScene::fetchResults() {
    if (!m_simulating) {
        return false;
    }
    m_worker.wait();
    m_simulating = false;
    m_wheels.publish();
    m_moved.clear();
    for (BulletActor* actor : m_movedStaging) {
        m_moved.push_back({actor, actor->getUserData(), actor->poseFromBody()});
    }
    m_movedStaging.clear();
    std::swap(m_triggerEvents, m_triggerStaging);
    std::swap(m_contactEvents, m_contactStaging);
    m_triggerStaging.clear();
    m_contactStaging.clear();
    return true;
}

PhysicsSceneStats BulletPhysicsScene::getStats() {
    waitForWorker();
    PhysicsSceneStats stats;
    for (const auto& actor : m_actors) {
        if (actor->getType() == PhysicsBodyType::Static) {
            ++stats.staticActors;
        } else {
            ++stats.dynamicActors;
        }
    }
    stats.joints = m_world->getNumConstraints();
    stats.pairs = m_dispatcher->getNumManifolds();
    return stats;
}

void BulletPhysicsScene::collectDebugLines(std::vector<PhysicsDebugLine>& lines) {
    waitForWorker();
    m_debugDrawer.m_lines = &lines;
    m_world->debugDrawWorld();
    m_debugDrawer.m_lines = nullptr;
}

// ---- queries ---------------------------------------------------------------

BulletActor* actorOf(const btCollisionObject* object) {
    return object != nullptr && object->getUserIndex() == kActorObjectTag
               ? static_cast<BulletActor*>(object->getUserPointer())
               : nullptr;
}

PhysicsRaycastHit hitOf(const btCollisionObject* object, const Vector3& point, float distance,
                        int shapeIndex = 0) {
    PhysicsRaycastHit hit;
    hit.actor = actorOf(object);
    hit.userData = hit.actor != nullptr ? hit.actor->getUserData() : nullptr;
    hit.shapeIndex = shapeIndex;
    hit.point = point;
    hit.distance = distance;
    return hit;
}

bool passesMask(const btBroadphaseProxy* proxy, uint32_t groupMask) {
    return (uint32_t(proxy->m_collisionFilterGroup) & groupMask) != 0;
}

// Ray hits, one per collision object (the nearest: a mesh reports each
// triangle it crosses, a compound each child); triggers are passed by.
class RayHits : public btCollisionWorld::RayResultCallback {
public:
    RayHits(uint32_t groupMask, bool all) : m_groupMask(groupMask), m_all(all) {}

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        if (!passesMask(proxy, m_groupMask)) {
            return false;
        }
        const BulletActor* actor =
            actorOf(static_cast<const btCollisionObject*>(proxy->m_clientObject));
        return actor == nullptr || !actor->isTriggerActor();
    }

    btScalar addSingleResult(btCollisionWorld::LocalRayResult& result, bool) override {
        const btCollisionObject* object = result.m_collisionObject;
        m_collisionObject = object;
        for (auto& entry : m_hits) {
            if (entry.first == object) {
                entry.second = std::min(entry.second, result.m_hitFraction);
                return m_all ? m_closestHitFraction : result.m_hitFraction;
            }
        }
        if (!m_all) {
            m_hits.clear();
            m_closestHitFraction = result.m_hitFraction;
        }
        m_hits.emplace_back(object, result.m_hitFraction);
        return m_all ? m_closestHitFraction : result.m_hitFraction;
    }

    std::vector<std::pair<const btCollisionObject*, btScalar>> m_hits;

private:
    uint32_t m_groupMask;
    bool m_all;
};

// Shapes touching a query object, each once: a compound's children one by
// one, a mesh as a whole.
class OverlapCollector : public btCollisionWorld::ContactResultCallback {
public:
    OverlapCollector(const btCollisionObject* query, uint32_t groupMask)
        : m_query(query), m_groupMask(groupMask) {}

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        return passesMask(proxy, m_groupMask);
    }

    btScalar addSingleResult(btManifoldPoint&, const btCollisionObjectWrapper* wrap0, int, int,
                             const btCollisionObjectWrapper* wrap1, int, int) override {
        const btCollisionObjectWrapper* other =
            wrap0->getCollisionObject() == m_query ? wrap1 : wrap0;
        const btCollisionObjectWrapper* child = nullptr;
        const btCollisionObjectWrapper* top = other;
        while (top->m_parent != nullptr) {
            child = top;
            top = top->m_parent;
        }
        int childIndex =
            child != nullptr && top->getCollisionShape()->isCompound() ? child->m_index : -1;
        auto key = std::make_pair(top->getCollisionObject(), childIndex);
        if (std::find(m_found.begin(), m_found.end(), key) == m_found.end()) {
            m_found.push_back(key);
        }
        return 0;
    }

    std::vector<std::pair<const btCollisionObject*, int>> m_found;

private:
    const btCollisionObject* m_query;
    uint32_t m_groupMask;
};

bool validRay(const Vector3& origin, const Vector3& direction, float maxDistance) {
    return isFinite(origin) && isFinite(direction) && std::fabs(length(direction) - 1.0f) < 1e-3f &&
           maxDistance > 0.0f && std::isfinite(maxDistance);
}

size_t BulletPhysicsScene::raycastAll(const Vector3& origin, const Vector3& direction,
                                      float maxDistance, uint32_t groupMask,
                                      std::vector<PhysicsRaycastHit>& hits) {
    hits.clear();
    if (!validRay(origin, direction, maxDistance)) {
        return 0;
    }
    waitForWorker();
    btVector3 from = toBt(origin);
    btVector3 to = toBt(origin + direction * maxDistance);
    RayHits collector(groupMask, true);
    m_world->rayTest(from, to, collector);
    // A body of several shapes is a compound: its children are cast one by
    // one, so that every shape the ray meets is a hit of its own. Child i
    // is the actor's shape i.
    struct ShapeHit {
        const btCollisionObject* object;
        int shape;
        btScalar fraction;
    };
    std::vector<ShapeHit> shapeHits;
    const btTransform rayFrom(btQuaternion::getIdentity(), from);
    const btTransform rayTo(btQuaternion::getIdentity(), to);
    for (const auto& [object, fraction] : collector.m_hits) {
        const btCollisionShape* shape = object->getCollisionShape();
        if (!shape->isCompound()) {
            shapeHits.push_back({object, 0, fraction});
            continue;
        }
        const auto* compound = static_cast<const btCompoundShape*>(shape);
        for (int i = 0; i < compound->getNumChildShapes(); ++i) {
            btCollisionWorld::ClosestRayResultCallback child(from, to);
            btCollisionWorld::rayTestSingle(
                rayFrom, rayTo, const_cast<btCollisionObject*>(object), compound->getChildShape(i),
                object->getWorldTransform() * compound->getChildTransform(i), child);
            if (child.hasHit()) {
                shapeHits.push_back({object, i, child.m_closestHitFraction});
            }
        }
    }
    std::stable_sort(shapeHits.begin(), shapeHits.end(),
                     [](const ShapeHit& a, const ShapeHit& b) { return a.fraction < b.fraction; });
    for (const ShapeHit& hit : shapeHits) {
        float distance = float(hit.fraction) * maxDistance;
        hits.push_back(hitOf(hit.object, origin + direction * distance, distance, hit.shape));
    }
    return hits.size();
}

bool BulletPhysicsScene::raycastClosest(const Vector3& origin, const Vector3& direction,
                                        float maxDistance, uint32_t groupMask,
                                        PhysicsRaycastHit& hit) {
    if (!validRay(origin, direction, maxDistance)) {
        return false;
    }
    waitForWorker();
    RayHits collector(groupMask, false);
    m_world->rayTest(toBt(origin), toBt(origin + direction * maxDistance), collector);
    if (collector.m_hits.empty()) {
        return false;
    }
    float distance = float(collector.m_hits[0].second) * maxDistance;
    hit = hitOf(collector.m_hits[0].first, origin + direction * distance, distance);
    return true;
}

size_t BulletPhysicsScene::overlapSphere(const Vector3& center, float radius, uint32_t groupMask,
                                         std::vector<PhysicsRaycastHit>& found) {
    found.clear();
    if (!isFinite(center) || !(radius > 0.0f) || !std::isfinite(radius)) {
        return 0;
    }
    waitForWorker();
    btSphereShape sphere(radius);
    btCollisionObject query;
    query.setCollisionShape(&sphere);
    btTransform pose = btTransform::getIdentity();
    pose.setOrigin(toBt(center));
    query.setWorldTransform(pose);
    OverlapCollector collector(&query, groupMask);
    m_world->contactTest(&query, collector);
    for (const auto& [object, child] : collector.m_found) {
        (void)child;
        found.push_back(hitOf(object, center, 0.0f));
    }
    return found.size();
}

// ---- joints ----------------------------------------------------------------

// The frame with origin `anchor`, x along `axis` and y towards `normal`
// (made orthonormal; a normal along the axis picks any perpendicular).
btTransform jointFrame(const Vector3& anchor, const Vector3& axis, const Vector3& normal) {
    btVector3 x = toBt(axis);
    x = x.length2() > 1e-12f ? x.normalized() : btVector3(1, 0, 0);
    btVector3 y = toBt(normal) - x * x.dot(toBt(normal));
    if (y.length2() < 1e-12f) {
        btVector3 z;
        btPlaneSpace1(x, y, z);
    }
    y.normalize();
    btVector3 z = x.cross(y);
    btMatrix3x3 basis(x.x(), y.x(), z.x(), x.y(), y.y(), z.y(), x.z(), y.z(), z.z());
    return btTransform(basis, toBt(anchor));
}

bool isFiniteFrame(const PhysicsJointDesc& desc, int i) {
    return isFinite(desc.localAnchor[i]) && isFinite(desc.localAxis[i]) &&
           isFinite(desc.localNormal[i]);
}

BulletJoint::BulletJoint(BulletPhysicsScene& scene, const PhysicsJointDesc& desc,
                         BulletActor* actor0, BulletActor* actor1)
    : m_scene(scene), m_desc(desc), m_actors{actor0, actor1} {
    m_desc.actors[0] = actor0;
    m_desc.actors[1] = actor1;
    btRigidBody& body0 = actor0 != nullptr ? *actor0->body() : btTypedConstraint::getFixedBody();
    btRigidBody& body1 = actor1 != nullptr ? *actor1->body() : btTypedConstraint::getFixedBody();
    m_constraint = std::make_unique<btGeneric6DofSpring2Constraint>(
        body0, body1, btTransform::getIdentity(), btTransform::getIdentity(), RO_XYZ);
    applyFrames();
    applyLimits();
    // Jointed bodies do not collide with each other.
    m_scene.world().addConstraint(m_constraint.get(), true);
    for (BulletActor* actor : m_actors) {
        if (actor != nullptr) {
            actor->m_joints.push_back(this);
        }
    }
    wakeActors();
}

void BulletJoint::detach() {
    if (m_constraint) {
        m_scene.world().removeConstraint(m_constraint.get());
        m_constraint.reset();
    }
    for (int i = 0; i < 2; ++i) {
        if (BulletActor* actor = m_actors[i]) {
            auto& list = actor->m_joints;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
            m_actors[i] = nullptr;
            m_desc.actors[i] = nullptr;
        }
    }
}

void BulletJoint::applyFrames() {
    if (!m_constraint) {
        return;
    }
    btTransform frames[2];
    for (int i = 0; i < 2; ++i) {
        btTransform frame =
            jointFrame(m_desc.localAnchor[i], m_desc.localAxis[i], m_desc.localNormal[i]);
        frames[i] = m_actors[i] != nullptr ? m_actors[i]->actorToBody(frame) : frame;
    }
    m_constraint->setFrames(frames[0], frames[1]);
}

void BulletJoint::applyLimits() {
    auto range = [](const PhysicsJointAxis& axis, btScalar& low, btScalar& high) {
        switch (axis.motion) {
            case PhysicsJointMotion::Free:
                // Bullet's word for free: a lower limit above the upper.
                low = 1;
                high = -1;
                break;
            case PhysicsJointMotion::Locked:
                low = high = 0;
                break;
            case PhysicsJointMotion::Limited:
                low = axis.low;
                high = axis.high;
                break;
        }
    };
    btVector3 low, high;
    for (int i = 0; i < 3; ++i) {
        range(m_desc.angular[i], low[i], high[i]);
    }
    m_constraint->setAngularLowerLimit(low);
    m_constraint->setAngularUpperLimit(high);
    for (int i = 0; i < 3; ++i) {
        range(m_desc.linear[i], low[i], high[i]);
    }
    m_constraint->setLinearLowerLimit(low);
    m_constraint->setLinearUpperLimit(high);
    for (int i = 0; i < 6; ++i) {
        m_constraint->setBounce(i, m_desc.limitRestitution);
    }
    // Bullet breaks a joint by the impulse of one substep.
    float limit = std::min(m_desc.breakForce, m_desc.breakTorque);
    m_constraint->setBreakingImpulseThreshold(limit >= FLT_MAX || std::isnan(limit)
                                                  ? SIMD_INFINITY
                                                  : btScalar(std::max(limit, 0.0f)) *
                                                        m_scene.fixedStep());
}

void BulletJoint::wakeActors() {
    for (BulletActor* actor : m_actors) {
        if (actor != nullptr) {
            actor->wakeUp();
        }
    }
}

void BulletJoint::setDesc(const PhysicsJointDesc& desc) {
    m_scene.waitForWorker();
    IPhysicsActor* actors[2] = {m_desc.actors[0], m_desc.actors[1]};
    m_desc = desc;
    m_desc.actors[0] = actors[0];
    m_desc.actors[1] = actors[1];
    if (!m_constraint) {
        return;
    }
    applyFrames();
    applyLimits();
    wakeActors();
}

void BulletJoint::setDriveOrientation(const Vector3& axis, float angle) {
    if (!m_constraint || !isFinite(axis) || !std::isfinite(angle) || length(axis) < 1e-6f) {
        return;
    }
    m_scene.waitForWorker();
    // Bullet's axis angles and motor speeds turn the first body against
    // the second: the inverse of the second's turn relative to the first.
    btMatrix3x3 rotation(btQuaternion(toBt(normalize(axis)), -angle));
    btVector3 target;
    btGeneric6DofSpring2Constraint::matrixToEulerXYZ(rotation, target);
    for (int i = 0; i < 3; ++i) {
        if ((m_drive.axes & (1u << i)) == 0) {
            continue;
        }
        m_constraint->enableMotor(3 + i, false);
        m_constraint->enableSpring(3 + i, true);
        m_constraint->setStiffness(3 + i, m_drive.spring);
        m_constraint->setDamping(3 + i, m_drive.damping);
        m_constraint->setEquilibriumPoint(3 + i, target[i]);
    }
    wakeActors();
}

void BulletJoint::setDriveAngularVelocity(const Vector3& velocity) {
    if (!m_constraint || !isFinite(velocity)) {
        return;
    }
    m_scene.waitForWorker();
    for (int i = 0; i < 3; ++i) {
        if ((m_drive.axes & (1u << i)) == 0) {
            continue;
        }
        m_constraint->enableSpring(3 + i, false);
        m_constraint->enableMotor(3 + i, true);
        m_constraint->setServo(3 + i, false);
        m_constraint->setTargetVelocity(3 + i, -velocity[i]);
        m_constraint->setMaxMotorForce(3 + i, m_drive.forceLimit);
    }
    wakeActors();
}

IPhysicsJoint* BulletPhysicsScene::createJoint(const PhysicsJointDesc& desc) {
    BulletActor* actors[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
        auto* actor = static_cast<BulletActor*>(desc.actors[i]);
        if (actor != nullptr &&
            (actor->m_index >= m_actors.size() || m_actors[actor->m_index].get() != actor)) {
            return nullptr;
        }
        if (!isFiniteFrame(desc, i)) {
            return nullptr;
        }
        actors[i] = actor;
    }
    if ((actors[0] == nullptr && actors[1] == nullptr) || actors[0] == actors[1]) {
        return nullptr;
    }
    waitForWorker();
    auto joint = std::make_unique<BulletJoint>(*this, desc, actors[0], actors[1]);
    BulletJoint* raw = joint.get();
    raw->m_index = m_joints.size();
    m_joints.push_back(std::move(joint));
    return raw;
}

void BulletPhysicsScene::releaseJoint(IPhysicsJoint* joint) {
    auto* bullet = static_cast<BulletJoint*>(joint);
    if (bullet == nullptr || bullet->m_index >= m_joints.size() ||
        m_joints[bullet->m_index].get() != bullet) {
        return;
    }
    waitForWorker();
    size_t index = bullet->m_index;
    if (index + 1 != m_joints.size()) {
        std::swap(m_joints[index], m_joints.back());
        m_joints[index]->m_index = index;
    }
    m_joints.pop_back();
}

}  // namespace

btRigidBody* bulletBodyOf(IPhysicsActor* actor) {
    return actor != nullptr ? static_cast<BulletActor*>(actor)->body() : nullptr;
}

IPhysicsActor* bulletActorOf(const btCollisionObject* object) {
    return object != nullptr ? static_cast<BulletActor*>(object->getUserPointer()) : nullptr;
}

btTransform bulletActorFrame(IPhysicsActor* actor) {
    return static_cast<BulletActor*>(actor)->frameFromBody();
}

bool bulletIsTrigger(const btCollisionObject* object) {
    return (object->getCollisionFlags() & btCollisionObject::CF_NO_CONTACT_RESPONSE) != 0;
}

std::string physicsBackendName() {
    return "Bullet Physics";
}

std::string physicsBackendVersion() {
    int version = btGetVersion();
    return std::to_string(version / 100) + "." + std::to_string(version % 100);
}

std::unique_ptr<IPhysicsScene> createPhysicsScene(const PhysicsSceneDesc& desc) {
    return std::make_unique<BulletPhysicsScene>(desc);
}

namespace {

PhysicsDebugUserAllocator* g_allocator = nullptr;

void* countedAlloc(size_t size) {
    return g_allocator->allocate(size);
}

void countedFree(void* memory) {
    g_allocator->release(memory);
}

}  // namespace

void setPhysicsAllocator(PhysicsDebugUserAllocator* allocator) {
    g_allocator = allocator;
    if (allocator != nullptr) {
        btAlignedAllocSetCustom(countedAlloc, countedFree);
    } else {
        btAlignedAllocSetCustom(nullptr, nullptr);
    }
}
