// The physics SDK layer on its own: falling and resting, group masks, our
// mass properties, the worker thread, height fields, the refusal of bad
// meshes and rays through bodies of several shapes.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "physics/sdk/IPhysicsScene.h"
#include "physics/sdk/MassProperties.h"
#include "physics/sdk/PhysicsWorker.h"
#include "scene/Geometry.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

// The corners of a box (x, y, z each) and its triangles' corner indices.
std::vector<float> boxPoints(Vector3 half, Vector3 center = {}) {
    std::vector<float> points;
    std::unique_ptr<MeshData> mesh = makeBoxMesh(half);
    for (const Vector3& p : mesh->positions) {
        points.insert(points.end(), {p.x + center.x, p.y + center.y, p.z + center.z});
    }
    return points;
}

std::vector<uint32_t> boxTriangles() {
    std::vector<uint32_t> indices;
    std::unique_ptr<MeshData> mesh = makeBoxMesh({1, 1, 1});
    for (const MeshTriangle& triangle : mesh->triangles) {
        for (const MeshCorner& corner : triangle.corners) {
            indices.push_back(corner.position);
        }
    }
    return indices;
}

class SdkScene : public ::testing::Test {
protected:
    void SetUp() override { scene = createPhysicsScene(PhysicsSceneDesc{}); }

    IPhysicsActor* addGround(uint32_t mask = 255) {
        // A 200 x 200 quad at y = 0 as a static triangle mesh.
        const float vertices[] = {-100, 0, -100, 100, 0, -100, 100, 0, 100, -100, 0, 100};
        const uint32_t indices[] = {0, 2, 1, 0, 3, 2};
        PhysicsActorDesc desc;
        desc.type = PhysicsBodyType::Static;
        desc.groupMask = mask;
        PhysicsShapeDesc shape;
        shape.type = PhysicsShapeDesc::Type::TriangleMesh;
        shape.triangleMesh = scene->createTriangleMesh(vertices, 4, 3, indices, 6);
        desc.shapes.push_back(shape);
        return scene->createActor(desc);
    }

    IPhysicsActor* addBox(PhysicsBodyType type, Vector3 position, Vector3 half = {0.5f, 0.5f, 0.5f},
                          uint32_t mask = 255, float density = 1.0f) {
        std::vector<float> points = boxPoints(half);
        PhysicsActorDesc desc;
        desc.type = type;
        desc.globalPose = Matrix4::translation(position);
        desc.groupMask = mask;
        desc.density = density;
        PhysicsShapeDesc shape;
        shape.convexMesh = scene->createConvexMesh(points.data(), 8, 3);
        desc.shapes.push_back(shape);
        return scene->createActor(desc);
    }

    void step(int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(scene->simulate(kStep));
            ASSERT_TRUE(scene->fetchResults());
        }
    }

    bool inMovedList(IPhysicsActor* actor) const {
        for (const PhysicsMovedActor& moved : scene->getMovedActors()) {
            if (moved.actor == actor) {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<IPhysicsScene> scene;
};

TEST_F(SdkScene, DroppedBoxRestsOnTheGroundAndLeavesTheMovedList) {
    ASSERT_NE(addGround(), nullptr);
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 5, 0});
    ASSERT_NE(box, nullptr);
    int marker = 7;
    box->setUserData(&marker);

    step(1);
    ASSERT_TRUE(inMovedList(box));
    EXPECT_EQ(scene->getMovedActors()[0].userData, &marker);
    EXPECT_LT(scene->getMovedActors()[0].pose.getTranslation().y, 5.0f);

    step(6 * 60);
    EXPECT_NEAR(box->getGlobalPose().getTranslation().y, 0.5f, 0.02f);
    int frames = 0;
    while (!box->isSleeping() && frames < 20 * 60) {
        step(1);
        ++frames;
    }
    ASSERT_TRUE(box->isSleeping());
    step(1);
    EXPECT_FALSE(inMovedList(box));
    EXPECT_NEAR(box->getGlobalPose().getTranslation().y, 0.5f, 0.02f);
}

TEST_F(SdkScene, GroupMasksDecideWhetherBodiesCollide) {
    struct Case {
        uint32_t ground, box;
        bool collide;
    };
    const Case cases[] = {
        {1, 2, false}, {1, 3, true}, {255, 0x100, false}, {0x80000000u, 0xffffffffu, true}};
    for (const Case& c : cases) {
        SetUp();
        ASSERT_NE(addGround(c.ground), nullptr);
        IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 2, 0}, {0.5f, 0.5f, 0.5f}, c.box);
        step(120);
        float y = box->getGlobalPose().getTranslation().y;
        EXPECT_EQ(y > 0.4f, c.collide) << c.ground << " " << c.box << " y " << y;
    }
}

TEST_F(SdkScene, CollisionCanBeSwitchedOffAndMasksChangedLater) {
    ASSERT_NE(addGround(1), nullptr);
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 2, 0}, {0.5f, 0.5f, 0.5f}, 2);
    box->setGroupMask(3);
    step(120);
    EXPECT_NEAR(box->getGlobalPose().getTranslation().y, 0.5f, 0.02f);
    box->setCollisionEnabled(false);
    step(60);
    EXPECT_LT(box->getGlobalPose().getTranslation().y, 0.0f);
}

TEST(MassProperties, BoxesTranslatedRotatedAndSummed) {
    // A 1 x 2 x 3 box with a corner at the origin.
    std::vector<float> corners = boxPoints({0.5f, 1.0f, 1.5f}, {0.5f, 1.0f, 1.5f});
    const std::vector<uint32_t> triangles = boxTriangles();
    PhysicsMassProperties box = computeMeshMassProperties(corners.data(), 8, triangles.data(), 36);
    EXPECT_NEAR(box.mass, 6.0f, 1e-4f);
    EXPECT_NEAR(box.centerOfMass.x, 0.5f, 1e-5f);
    EXPECT_NEAR(box.centerOfMass.y, 1.0f, 1e-5f);
    EXPECT_NEAR(box.centerOfMass.z, 1.5f, 1e-5f);
    EXPECT_NEAR(box.inertia[0], 6.0f * (4 + 9) / 12, 1e-3f);
    EXPECT_NEAR(box.inertia[4], 6.0f * (1 + 9) / 12, 1e-3f);
    EXPECT_NEAR(box.inertia[8], 6.0f * (1 + 4) / 12, 1e-3f);
    EXPECT_NEAR(box.inertia[1], 0.0f, 1e-3f);

    // Turned 90 degrees about z: the x and y moments swap places.
    PhysicsMassProperties turned = transformMassProperties(box, Matrix4::rotationZ(1.5707964f));
    EXPECT_NEAR(turned.inertia[0], box.inertia[4], 1e-3f);
    EXPECT_NEAR(turned.inertia[4], box.inertia[0], 1e-3f);
    EXPECT_NEAR(turned.centerOfMass.x, -1.0f, 1e-5f);

    // Any rotation: the principal moments come back, and the axes rotate the
    // diagonal tensor into the given one.
    Matrix4 rotation = Matrix4::rotationX(0.3f) * Matrix4::rotationY(0.7f);
    PhysicsMassProperties tilted = transformMassProperties(box, rotation);
    Vector3 principal;
    Matrix4 axes;
    diagonalizeInertia(tilted.inertia, principal, axes);
    float moments[3] = {principal.x, principal.y, principal.z};
    std::sort(moments, moments + 3);
    EXPECT_NEAR(moments[0], 2.5f, 1e-3f);
    EXPECT_NEAR(moments[1], 5.0f, 1e-3f);
    EXPECT_NEAR(moments[2], 6.5f, 1e-3f);
    PhysicsMassProperties diagonal;
    diagonal.inertia[0] = principal.x;
    diagonal.inertia[4] = principal.y;
    diagonal.inertia[8] = principal.z;
    PhysicsMassProperties back = transformMassProperties(diagonal, axes);
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(back.inertia[i], tilted.inertia[i], 1e-3f) << i;
    }

    // Two unit cubes at x = -1 and x = 1: parallel axes.
    std::vector<float> unit = boxPoints({0.5f, 0.5f, 0.5f});
    PhysicsMassProperties cube = computeMeshMassProperties(unit.data(), 8, triangles.data(), 36);
    MassPropertiesSum sum;
    sum.add(transformMassProperties(cube, Matrix4::translation({-1, 0, 0})));
    sum.add(transformMassProperties(cube, Matrix4::translation({1, 0, 0})));
    PhysicsMassProperties pair = sum.result();
    EXPECT_NEAR(pair.mass, 2.0f, 1e-5f);
    EXPECT_NEAR(pair.centerOfMass.x, 0.0f, 1e-5f);
    EXPECT_NEAR(pair.inertia[0], 2.0f / 6.0f, 1e-4f);
    EXPECT_NEAR(pair.inertia[4], 2.0f * (1.0f / 6.0f + 1.0f), 1e-4f);

    // Reversed winding gives the same solid.
    uint32_t reversed[36];
    for (int i = 0; i < 36; i += 3) {
        reversed[i] = triangles[i];
        reversed[i + 1] = triangles[i + 2];
        reversed[i + 2] = triangles[i + 1];
    }
    EXPECT_NEAR(computeMeshMassProperties(corners.data(), 8, reversed, 36).mass, 6.0f, 1e-4f);
}

TEST_F(SdkScene, MassFollowsTheDensityAndTheCentreOfMassIsOurs) {
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 10, 0}, {1, 1, 1});
    ASSERT_NE(box, nullptr);
    EXPECT_NEAR(box->getMass(), 8.0f, 1e-4f);
    EXPECT_TRUE(box->updateMassFromShapes(2.0f));
    EXPECT_NEAR(box->getMass(), 16.0f, 1e-4f);
    EXPECT_FALSE(box->updateMassFromShapes(0.0f));
    EXPECT_FALSE(box->updateMassFromShapes(NAN));
    EXPECT_NEAR(box->getMass(), 16.0f, 1e-4f);

    // A hull off its own origin: the centre of mass sits at the hull's
    // centre, and moving it keeps the actor's pose.
    std::vector<float> points = boxPoints({0.5f, 0.5f, 0.5f}, {2, 0, 0});
    PhysicsActorDesc desc;
    desc.type = PhysicsBodyType::Dynamic;
    desc.globalPose = Matrix4::translation({0, 10, 0});
    PhysicsShapeDesc shape;
    shape.convexMesh = scene->createConvexMesh(points.data(), 8, 3);
    desc.shapes.push_back(shape);
    IPhysicsActor* offset = scene->createActor(desc);
    ASSERT_NE(offset, nullptr);
    EXPECT_NEAR(offset->getCenterOfMassLocal().x, 2.0f, 1e-5f);
    EXPECT_NEAR(offset->getGlobalPose().getTranslation().x, 0.0f, 1e-5f);
    offset->setCenterOfMassLocal({1, 0, 0});
    EXPECT_NEAR(offset->getCenterOfMassLocal().x, 1.0f, 1e-5f);
    EXPECT_NEAR(offset->getGlobalPose().getTranslation().y, 10.0f, 1e-5f);

    // Static actors weigh nothing; a trigger-only body weighs 1.
    EXPECT_EQ(addBox(PhysicsBodyType::Static, {5, 0, 0})->getMass(), 0.0f);
    desc.shapes[0].trigger = true;
    EXPECT_EQ(scene->createActor(desc)->getMass(), 1.0f);
}

TEST_F(SdkScene, ImpulsesForcesAndDampingActOnDynamicBodies) {
    scene->setGravity({0, 0, 0});
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 0, 0}, {1, 1, 1});
    box->addForceAtPosition({0, 16, 0}, {0, 0, 0}, PhysicsForceMode::Impulse);
    EXPECT_NEAR(box->getLinearVelocity().y, 2.0f, 1e-4f);

    // Damping 0.5 keeps e^-0.5 of the velocity after one second.
    step(60);
    EXPECT_NEAR(box->getLinearVelocity().y, 2.0f * std::exp(-0.5f), 0.02f);

    // A force of 8 N for one second on 8 kg adds about 1 m/s.
    IPhysicsActor* pushed = addBox(PhysicsBodyType::Dynamic, {10, 0, 0}, {1, 1, 1});
    for (int i = 0; i < 60; ++i) {
        pushed->addForceAtLocalPosition({8, 0, 0}, {0, 0, 0}, PhysicsForceMode::Force);
        step(1);
    }
    // Damped from the start: (1 - e^-0.5) / 0.5 of the undamped speed.
    EXPECT_NEAR(pushed->getLinearVelocity().x, (1.0f - std::exp(-0.5f)) / 0.5f, 0.03f);
    EXPECT_NEAR(pushed->getAngularVelocity().z, 0.0f, 1e-5f);

    // Static actors ignore forces.
    IPhysicsActor* wall = addBox(PhysicsBodyType::Static, {-10, 0, 0});
    wall->addForceAtPosition({0, 100, 0}, {0, 0, 0}, PhysicsForceMode::Impulse);
    step(1);
    EXPECT_EQ(wall->getGlobalPose().getTranslation().y, 0.0f);
}

TEST_F(SdkScene, KinematicBodiesFollowTheirTargetAndPushOthers) {
    ASSERT_NE(addGround(), nullptr);
    IPhysicsActor* pusher = addBox(PhysicsBodyType::Kinematic, {0, 0.5f, 0});
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {1.5f, 0.5f, 0});
    ASSERT_TRUE(pusher->isKinematic());
    for (int i = 1; i <= 60; ++i) {
        pusher->moveGlobalPose(Matrix4::translation({i * 0.05f, 0.5f, 0}));
        step(1);
    }
    EXPECT_NEAR(pusher->getGlobalPose().getTranslation().x, 3.0f, 1e-4f);
    EXPECT_GT(box->getGlobalPose().getTranslation().x, 3.5f);

    // Made dynamic again, it falls when the ground goes.
    pusher->setKinematic(false);
    EXPECT_FALSE(pusher->isKinematic());
    pusher->setGlobalPose(Matrix4::translation({0, 5, 0}));
    step(30);
    EXPECT_LT(pusher->getGlobalPose().getTranslation().y, 5.0f);
}

TEST_F(SdkScene, SimulationRunsOnTheWorkerBetweenSimulateAndFetch) {
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 5, 0});
    EXPECT_FALSE(scene->fetchResults());
    EXPECT_FALSE(scene->simulate(0.0f));
    EXPECT_FALSE(scene->simulate(-1.0f));
    EXPECT_FALSE(scene->simulate(INFINITY));
    ASSERT_TRUE(scene->simulate(kStep));
    EXPECT_TRUE(scene->isSimulating());
    // Nested simulations are refused.
    EXPECT_FALSE(scene->simulate(kStep));
    // A getter waits for the worker and sees the simulated pose.
    EXPECT_LT(box->getGlobalPose().getTranslation().y, 5.0f);
    EXPECT_TRUE(scene->fetchResults());
    EXPECT_FALSE(scene->isSimulating());
    EXPECT_TRUE(inMovedList(box));

    // An actor released between simulate and fetch is not reported.
    ASSERT_TRUE(scene->simulate(kStep));
    scene->releaseActor(box);
    ASSERT_TRUE(scene->fetchResults());
    EXPECT_TRUE(scene->getMovedActors().empty());
    EXPECT_EQ(scene->getNumActors(), 0u);
}

TEST_F(SdkScene, TriggerAndContactEventsAreGatheredPerSimulation) {
    IPhysicsActor* ground = addGround();
    ground->setContactReporting(true);
    // A static trigger volume the box falls through on its way down.
    std::vector<float> points = boxPoints({2, 0.5f, 2});
    PhysicsActorDesc zone;
    zone.globalPose = Matrix4::translation({0, 5, 0});
    PhysicsShapeDesc shape;
    shape.convexMesh = scene->createConvexMesh(points.data(), 8, 3);
    shape.trigger = true;
    zone.shapes.push_back(shape);
    IPhysicsActor* trigger = scene->createActor(zone);
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {0, 8, 0});

    std::vector<uint32_t> triggerStatus;
    std::vector<uint32_t> contactFlags;
    float restingForce = 0.0f;
    for (int i = 0; i < 240; ++i) {
        step(1);
        for (const PhysicsTriggerEvent& e : scene->getTriggerEvents()) {
            EXPECT_EQ(e.trigger, trigger);
            EXPECT_EQ(e.other, box);
            if (triggerStatus.empty() || triggerStatus.back() != e.status) {
                triggerStatus.push_back(e.status);
            }
        }
        for (const PhysicsContactEvent& e : scene->getContactEvents()) {
            EXPECT_TRUE((e.first == ground && e.second == box) ||
                        (e.first == box && e.second == ground));
            if (contactFlags.empty() || contactFlags.back() != e.flags) {
                contactFlags.push_back(e.flags);
            }
            restingForce = std::fabs(e.normalForce.y);
        }
    }
    // The trigger pushed nothing: the box went through and landed.
    EXPECT_NEAR(box->getGlobalPose().getTranslation().y, 0.5f, 0.02f);
    EXPECT_EQ(triggerStatus, (std::vector<uint32_t>{1, 4, 2}));
    EXPECT_EQ(contactFlags, (std::vector<uint32_t>{1, 4}));
    // Resting: the ground carries the box's weight.
    EXPECT_NEAR(restingForce, 9.81f, 0.5f);

    // Lifted off, the contact ends; a released actor leaves every event.
    box->setGlobalPose(Matrix4::translation({0, 20, 0}));
    step(1);
    ASSERT_EQ(scene->getContactEvents().size(), 1u);
    EXPECT_EQ(scene->getContactEvents()[0].flags, 2u);
    box->setGlobalPose(Matrix4::translation({0, 0.5f, 0}));
    step(2);
    ASSERT_FALSE(scene->getContactEvents().empty());
    scene->releaseActor(box);
    EXPECT_TRUE(scene->getContactEvents().empty());
    step(1);
    EXPECT_TRUE(scene->getContactEvents().empty());
}

TEST(PhysicsWorker, RunsOneJobAtATime) {
    // The context outlives the worker, whose destructor waits for the job.
    struct Context {
        std::atomic<int> runs{0};
    } context;
    PhysicsWorker worker;
    auto job = [](void* c) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        static_cast<Context*>(c)->runs++;
    };
    worker.wait();
    ASSERT_TRUE(worker.start(job, &context));
    EXPECT_FALSE(worker.start(job, &context));
    worker.wait();
    EXPECT_FALSE(worker.isBusy());
    EXPECT_EQ(context.runs, 1);
    ASSERT_TRUE(worker.start(job, &context));
    // The destructor waits for the running job.
}

TEST_F(SdkScene, HeightFieldUsesTheWholeUnsignedRange) {
    // 3 x 3 samples: the middle row at the highest value, one corner at 0.
    const uint16_t samples[9] = {0, 65535, 30000, 65535, 65535, 65535, 30000, 65535, 30000};
    PhysicsHeightFieldDesc desc;
    desc.rows = 3;
    desc.columns = 3;
    desc.samples = samples;
    desc.heightScale = 0.001f;
    desc.rowScale = 2.0f;
    desc.columnScale = 2.0f;
    RefPtr<IPhysicsHeightField> field = scene->createHeightField(desc);
    ASSERT_TRUE(field);
    EXPECT_FLOAT_EQ(field->getHeight(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(field->getHeight(1, 1), 65.535f);
    EXPECT_FLOAT_EQ(field->getHeight(0, 2), 30.0f);

    PhysicsActorDesc ground;
    PhysicsShapeDesc shape;
    shape.type = PhysicsShapeDesc::Type::HeightField;
    shape.heightField = field;
    ground.shapes.push_back(shape);
    ASSERT_NE(scene->createActor(ground), nullptr);
    // Over the highest sample (row 1, column 1 at x = 2, z = 2) a box rests
    // on the top instead of falling through a hole.
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {2, 70, 2}, {0.2f, 0.2f, 0.2f});
    step(240);
    EXPECT_NEAR(box->getGlobalPose().getTranslation().y, 65.535f + 0.2f, 0.05f);

    struct Bad {
        uint32_t rows, columns;
        float heightScale, rowScale;
    };
    const Bad bad[] = {{1, 3, 1, 1},  {3, 0, 1, 1},   {100000, 3, 1, 1},   {3, 3, 0, 1},
                       {3, 3, 1, -1}, {3, 3, NAN, 1}, {40000, 40000, 1, 1}};
    for (const Bad& b : bad) {
        PhysicsHeightFieldDesc d = desc;
        d.rows = b.rows;
        d.columns = b.columns;
        d.heightScale = b.heightScale;
        d.rowScale = b.rowScale;
        EXPECT_FALSE(scene->createHeightField(d)) << b.rows << " x " << b.columns;
    }
}

TEST_F(SdkScene, TriangleMeshesAreValidatedBeforeTheyAreBuilt) {
    const float vertices[] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 1};
    const float badVertex[] = {0, 0, 0, NAN, 0, 0, 0, 0, 1, 1, 0, 1};
    const uint32_t good[] = {0, 1, 2, 1, 3, 2};
    const uint32_t outOfRange[] = {0, 1, 2, 1, 4, 2};
    const uint32_t huge[] = {0, 1, 0xffffffffu};
    EXPECT_TRUE(scene->createTriangleMesh(vertices, 4, 3, good, 6));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 4, 3, outOfRange, 6));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 4, 3, huge, 3));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 4, 3, good, 5));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 4, 3, good, 0));
    EXPECT_FALSE(scene->createTriangleMesh(badVertex, 4, 3, good, 6));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 2, 3, good, 3));
    EXPECT_FALSE(scene->createTriangleMesh(vertices, 4, 2, good, 6));

    // A static actor needs a shape; meshes cannot move.
    PhysicsActorDesc empty;
    EXPECT_EQ(scene->createActor(empty), nullptr);
    PhysicsActorDesc moving;
    moving.type = PhysicsBodyType::Dynamic;
    PhysicsShapeDesc shape;
    shape.type = PhysicsShapeDesc::Type::TriangleMesh;
    shape.triangleMesh = scene->createTriangleMesh(vertices, 4, 3, good, 6);
    moving.shapes.push_back(shape);
    EXPECT_EQ(scene->createActor(moving), nullptr);
}

TEST_F(SdkScene, FlatOrDegenerateHullsAreRefused) {
    const float square[] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0.5f, 0, 0.5f};
    const float line[] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
    const float triangle[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const float withNan[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, NAN};
    const float tetrahedron[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_FALSE(scene->createConvexMesh(square, 5, 3));
    EXPECT_FALSE(scene->createConvexMesh(line, 4, 3));
    EXPECT_FALSE(scene->createConvexMesh(triangle, 3, 3));
    EXPECT_FALSE(scene->createConvexMesh(withNan, 4, 3));
    RefPtr<IPhysicsConvexMesh> tet = scene->createConvexMesh(tetrahedron, 4, 3);
    ASSERT_TRUE(tet);
    EXPECT_NEAR(tet->getVolume(), 1.0f / 6.0f, 1e-5f);
    // Interior points do not count as hull vertices.
    std::vector<float> points = boxPoints({1, 1, 1});
    points.insert(points.end(), {0, 0, 0, 0.5f, 0.2f, 0.1f});
    RefPtr<IPhysicsConvexMesh> box = scene->createConvexMesh(points.data(), 10, 3);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->getNumHullVertices(), 8u);
    EXPECT_NEAR(box->getVolume(), 8.0f, 1e-4f);
}

// A ray through bodies of several shapes reports each shape it meets,
// nearest first, with the shape's place in the body's description (here
// the far shape comes first): hulls of a moving body and triangle meshes of
// a static one alike. The closest-hit query still gives one hit.
TEST_F(SdkScene, RaysReportEveryShapeOfABody) {
    PhysicsActorDesc moving;
    moving.type = PhysicsBodyType::Kinematic;
    moving.globalPose = Matrix4::translation({0, 5, 0});
    std::vector<float> cube = boxPoints({0.5f, 0.5f, 0.5f});
    for (float x : {5.0f, 2.0f}) {
        PhysicsShapeDesc shape;
        shape.convexMesh = scene->createConvexMesh(cube.data(), 8, 3);
        shape.localPose = Matrix4::translation({x, 0, 0});
        moving.shapes.push_back(shape);
    }
    IPhysicsActor* hulls = scene->createActor(moving);
    ASSERT_NE(hulls, nullptr);

    PhysicsActorDesc fixed;
    fixed.type = PhysicsBodyType::Static;
    const std::vector<uint32_t> triangles = boxTriangles();
    for (float x : {8.0f, 11.0f}) {
        std::vector<float> corners = boxPoints({0.5f, 0.5f, 0.5f}, {x, 5, 0});
        PhysicsShapeDesc shape;
        shape.type = PhysicsShapeDesc::Type::TriangleMesh;
        shape.triangleMesh =
            scene->createTriangleMesh(corners.data(), 8, 3, triangles.data(), triangles.size());
        fixed.shapes.push_back(shape);
    }
    IPhysicsActor* meshes = scene->createActor(fixed);
    ASSERT_NE(meshes, nullptr);

    std::vector<PhysicsRaycastHit> hits;
    ASSERT_EQ(scene->raycastAll({0, 5, 0}, {1, 0, 0}, 100.0f, 0xFFFFFFFFu, hits), 4u);
    const struct {
        IPhysicsActor* actor;
        int shape;
        float distance;
    } expected[] = {{hulls, 1, 1.5f}, {hulls, 0, 4.5f}, {meshes, 0, 7.5f}, {meshes, 1, 10.5f}};
    for (size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].actor, expected[i].actor) << i;
        EXPECT_EQ(hits[i].shapeIndex, expected[i].shape) << i;
        EXPECT_NEAR(hits[i].distance, expected[i].distance, 0.02f) << i;
        EXPECT_NEAR(hits[i].point.x, expected[i].distance, 0.02f) << i;
    }
    // A ray that ends inside the first shape meets only that one.
    EXPECT_EQ(scene->raycastAll({0, 5, 0}, {1, 0, 0}, 2.0f, 0xFFFFFFFFu, hits), 1u);
    PhysicsRaycastHit closest;
    ASSERT_TRUE(scene->raycastClosest({0, 5, 0}, {1, 0, 0}, 100.0f, 0xFFFFFFFFu, closest));
    EXPECT_EQ(closest.actor, hulls);
    EXPECT_NEAR(closest.distance, 1.5f, 0.02f);
}

}  // namespace
