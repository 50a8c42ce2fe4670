// Wheel shapes and character controllers in the physics world on the scene
// graph: their queues in the step, the wheel queries, controllers bound to
// nodes, pushing, and records that go with their bodies and nodes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "physics/PhysicsCharacterController.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/PhysicsWheels.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

namespace {

constexpr float kFrameMs = 1000.0f / 60.0f;

const Vector3 kMounts[4] = {
    {-0.9f, -0.25f, 1.5f}, {0.9f, -0.25f, 1.5f}, {-0.9f, -0.25f, -1.5f}, {0.9f, -0.25f, -1.5f}};
constexpr float kRadius = 0.4f;
constexpr float kTravel = 0.3f;

class VehicleWorld : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writePhysicsConfig(dir.path());
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        ASSERT_TRUE(PhysicsManager::get().init());
        context = ScenegraphPhysicsContext::get();
        ASSERT_NE(context, nullptr);
        root = std::make_unique<TransformGroup>("root");
    }
    void TearDown() override {
        root.reset();
        PhysicsManager::get().shutdown();
        FileSystem::clearFileLoaders();
    }

    Shape* addBox(const std::string& name, Vector3 position, Vector3 half, uint32_t type,
                  float density = 1.0f) {
        auto* shape = new Shape(name);
        shape->setGeometry(new IndexedFaceSetGeometry(name + "Geometry", makeBoxMesh(half), 0));
        shape->setTranslation(position);
        root->addChild(shape);
        auto body =
            std::make_unique<PhysicsRBObject>(*shape, PhysicsRBObject::kDefaultState | type);
        body->setDensity(density);
        shape->setPhysicsObject(std::move(body));
        return shape;
    }

    Shape* addGround() {
        Shape* ground = addBox("ground", {0, -0.5f, 0}, {100, 0.5f, 100}, PhysicsObject::kStatic);
        context->addPhysics(*ground);
        return ground;
    }

    // A 1000 kg chassis on four wheels; their indices.
    std::vector<int32_t> addVehicle(Shape*& chassis, Vector3 position = {0, 1.2f, 0}) {
        chassis = addBox("car", position, {1, 0.25f, 2}, PhysicsObject::kDynamic, 250.0f);
        context->addPhysics(*chassis);
        std::vector<int32_t> indices;
        for (const Vector3& mount : kMounts) {
            PhysicsWheels::Shape wheel;
            wheel.position = mount;
            wheel.radius = kRadius;
            wheel.suspensionTravel = kTravel;
            wheel.spring = 35000.0f;
            wheel.damper = 4000.0f;
            wheel.mass = 20.0f;
            indices.push_back(wheels().enqueueCreate(*chassis, wheel));
        }
        return indices;
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            context->step(kFrameMs);
        }
    }

    PhysicsWheels& wheels() { return context->getWheels(); }
    PhysicsCharacterControllers& controllers() { return context->getCharacterControllers(); }

    testsupport::TempDir dir;
    ScenegraphPhysicsContext* context = nullptr;
    std::unique_ptr<TransformGroup> root;
};

TEST_F(VehicleWorld, WheelsAreMadeByTheStepBrakedAndDriveTheVehicle) {
    addGround();
    Shape* car = nullptr;
    std::vector<int32_t> indices = addVehicle(car);
    EXPECT_EQ(indices, (std::vector<int32_t>{0, 1, 2, 3}));
    {
        // Queued, not made yet.
        testsupport::ScopedLogCapture log;
        EXPECT_EQ(wheels().getAxleSpeed(*car, 0), 0.0f);
        EXPECT_EQ(log.count("Physics: wheel shape not found, object car wheelShapeIndex 0\n"), 1u);
    }
    frames(1);
    EXPECT_EQ(wheels().getNumWheels(), 4u);

    // Made braked: it settles where it was put down.
    frames(3 * 60);
    Vector3 rest = car->getWorldMatrix().getTranslation();
    EXPECT_NEAR(rest.z, 0.0f, 0.01f);
    float compression = 1000.0f * 9.81f / (4 * 35000.0f);
    EXPECT_NEAR(rest.y, kRadius + kTravel - compression + 0.25f, 0.01f);
    Vector3 contact;
    ASSERT_TRUE(wheels().getContactPoint(*car, 0, contact));
    EXPECT_NEAR(contact.x, rest.x + kMounts[0].x, 0.01f);
    EXPECT_NEAR(contact.y, 0.0f, 1e-3f);
    // Resting on its contact: a radius above the ground, in the car's frame.
    Vector3 position = wheels().getPosition(*car, 0);
    EXPECT_NEAR(position.x, kMounts[0].x, 1e-3f);
    EXPECT_NEAR(position.y, kRadius - rest.y, 1e-3f);
    EXPECT_NEAR(position.z, kMounts[0].z, 1e-3f);

    for (int32_t index : indices) {
        wheels().enqueueControl(*car, index, 400.0f, 0.0f, 0.0f);
    }
    frames(2 * 60);
    float travelled = car->getWorldMatrix().getTranslation().z - rest.z;
    EXPECT_GT(travelled, 1.0f);
    // Degrees per second of a wheel rolling forward.
    EXPECT_GT(wheels().getAxleSpeed(*car, 0), 180.0f);

    for (int32_t index : indices) {
        wheels().enqueueControl(*car, index, 0.0f, 3000.0f, 0.0f);
    }
    frames(3 * 60);
    EXPECT_EQ(wheels().getAxleSpeed(*car, 0), 0.0f);
    Vector3 stopped = car->getWorldMatrix().getTranslation();
    frames(30);
    EXPECT_NEAR(car->getWorldMatrix().getTranslation().z, stopped.z, 0.01f);
}

TEST_F(VehicleWorld, HangingWheelsAndRefusals) {
    Shape* car = nullptr;
    std::vector<int32_t> indices = addVehicle(car, {0, 50, 0});
    frames(1);
    // Nothing below: hanging at full travel.
    Vector3 position = wheels().getPosition(*car, indices[1]);
    EXPECT_NEAR(position.x, kMounts[1].x, 1e-5f);
    EXPECT_NEAR(position.y, kMounts[1].y - kTravel, 1e-5f);
    Vector3 contact;
    EXPECT_FALSE(wheels().getContactPoint(*car, indices[1], contact));

    testsupport::ScopedLogCapture log;
    Shape* wall = addBox("wall", {5, 0, 0}, {1, 1, 1}, PhysicsObject::kStatic);
    auto* bare = new TransformGroup("bare");
    root->addChild(bare);
    PhysicsWheels::Shape good;
    EXPECT_EQ(wheels().enqueueCreate(*wall, good), -1);
    EXPECT_EQ(wheels().enqueueCreate(*bare, good), -1);
    EXPECT_EQ(log.count("Physics: enqueueCreateWheelShape failed, object wall is not dynamic or "
                        "kinematic\n"),
              1u);
    EXPECT_EQ(log.count("object bare is not dynamic or kinematic"), 1u);

    struct Case {
        const char* what;
        void (*change)(PhysicsWheels::Shape&);
    };
    const Case cases[] = {
        {"radius 0", [](PhysicsWheels::Shape& s) { s.radius = 0.0f; }},
        {"mass 0", [](PhysicsWheels::Shape& s) { s.mass = 0.0f; }},
        {"negative mass", [](PhysicsWheels::Shape& s) { s.mass = -1.0f; }},
        {"travel NaN", [](PhysicsWheels::Shape& s) { s.suspensionTravel = std::nanf(""); }},
        {"negative spring", [](PhysicsWheels::Shape& s) { s.spring = -5.0f; }},
        {"position infinite", [](PhysicsWheels::Shape& s) { s.position.y = INFINITY; }},
    };
    for (const Case& c : cases) {
        PhysicsWheels::Shape shape;
        c.change(shape);
        EXPECT_EQ(wheels().enqueueCreate(*car, shape), -1) << c.what;
    }
    // The failures took no index.
    EXPECT_EQ(wheels().enqueueCreate(*car, good), 4);

    log.take();
    wheels().enqueueControl(*car, 0, std::nanf(""), 0.0f, 0.0f);
    wheels().enqueueControl(*car, 77, 1.0f, 0.0f, 0.0f);
    frames(1);
    EXPECT_EQ(log.count("torques and steering angle must be finite"), 1u);
    EXPECT_EQ(log.count("Physics: wheel shape not found, object car wheelShapeIndex 77\n"
                        "Physics: enqueueControlWheelShape failed, wheel shape with index 77 "
                        "doesn't exist\n"),
              1u);
}

TEST_F(VehicleWorld, WheelRecordsGoWithTheirBody) {
    addGround();
    Shape* car = nullptr;
    addVehicle(car);
    frames(30);
    ASSERT_EQ(wheels().getNumWheels(), 4u);
    // Turning the body static replaces it: its wheels go.
    context->setRigidBodyType(*car, "Static");
    EXPECT_EQ(wheels().getNumWheels(), 0u);
    frames(2);

    Shape* other = nullptr;
    std::vector<int32_t> indices = addVehicle(other, {10, 1.2f, 0});
    frames(30);
    ASSERT_EQ(wheels().getNumWheels(), 4u);
    // Deleting the node: the queued controls for it are dropped too.
    wheels().enqueueControl(*other, indices[0], 100.0f, 0.0f, 0.0f);
    delete other;
    EXPECT_EQ(wheels().getNumWheels(), 0u);
    frames(30);

    // A wheel queued for a body that is gone before the step is not made.
    Shape* third = nullptr;
    addVehicle(third, {-10, 1.2f, 0});
    delete third;
    frames(2);
    EXPECT_EQ(wheels().getNumWheels(), 0u);
}

// ---- character controllers ---------------------------------------------------

constexpr float kStanding = 0.3f + 0.5f + 0.05f;

TEST_F(VehicleWorld, ControllersFollowTheirNodesAndLand) {
    addGround();
    auto* player = new TransformGroup("player");
    player->setTranslation({0, 3, 0});
    root->addChild(player);
    PhysicsCharacterControllers::Capsule capsule;
    capsule.radius = 0.3f;
    capsule.height = 1.0f;
    capsule.skinWidth = 0.05f;
    capsule.stepOffset = 0.4f;
    int32_t id = controllers().enqueueCreate(*player, capsule);
    EXPECT_EQ(id, 0);
    // Not made yet: the move is lost.
    controllers().enqueueMove(id, {5, 0, 0}, 255);
    frames(1);
    ASSERT_EQ(controllers().getNumControllers(), 1u);
    for (int i = 0; i < 60; ++i) {
        controllers().enqueueMove(id, {0, -0.2f, 0}, 255);
        frames(1);
    }
    frames(1);
    Vector3 at = player->getTranslation();
    EXPECT_NEAR(at.x, 0.0f, 1e-4f);
    EXPECT_NEAR(at.y, kStanding, 0.01f);
    EXPECT_EQ(controllers().getCollisionFlags(id), PhysicsControllerFlags::kDown);

    // Moved by a script: placed there, and that step's moves are dropped.
    player->setTranslation({4, kStanding, 4});
    controllers().enqueueMove(id, {1, 0, 0}, 255);
    frames(2);
    EXPECT_NEAR(player->getTranslation().x, 4.0f, 1e-4f);
    controllers().enqueueMove(id, {0.5f, -0.1f, 0}, 255);
    frames(2);
    EXPECT_NEAR(player->getTranslation().x, 4.5f, 1e-3f);

    // Not finite, refused.
    testsupport::ScopedLogCapture log;
    controllers().enqueueMove(id, {std::nanf(""), 0, 0}, 255);
    frames(2);
    EXPECT_NEAR(player->getTranslation().x, 4.5f, 1e-3f);
    EXPECT_EQ(log.count("moveCCT, controller 0: the displacement must be finite"), 1u);
    for (float bad : {0.0f, -1.0f, std::nanf("")}) {
        PhysicsCharacterControllers::Capsule wrong = capsule;
        wrong.radius = bad;
        EXPECT_EQ(controllers().enqueueCreate(*player, wrong), -1);
        wrong = capsule;
        wrong.height = bad;
        EXPECT_EQ(controllers().enqueueCreate(*player, wrong), -1);
    }
    EXPECT_EQ(log.count("createCCT failed, object player: radius and height must be above 0"), 6u);

    // Removed: gone at the next step, its id unknown from then on.
    size_t actors = context->getScene().getNumActors();
    controllers().enqueueRemove(id);
    frames(1);
    EXPECT_EQ(controllers().getNumControllers(), 0u);
    EXPECT_EQ(context->getScene().getNumActors(), actors - 1);
    EXPECT_EQ(controllers().getCollisionFlags(id), 0u);
}

// A controller walked up a step: its node rises over several steps of the
// world, by less each frame, instead of jumping the step's height at once.
TEST_F(VehicleWorld, ControllerNodesRiseSmoothlyUpAStep) {
    addGround();
    context->addPhysics(*addBox("step", {4, 0.15f, 0}, {2, 0.15f, 2}, PhysicsObject::kStatic));
    auto* player = new TransformGroup("player");
    player->setTranslation({0, kStanding, 0});
    root->addChild(player);
    PhysicsCharacterControllers::Capsule capsule;
    capsule.radius = 0.3f;
    capsule.height = 1.0f;
    capsule.skinWidth = 0.05f;
    capsule.stepOffset = 0.4f;
    int32_t id = controllers().enqueueCreate(*player, capsule);
    frames(1);
    std::vector<float> heights;
    for (int i = 0; i < 60; ++i) {
        controllers().enqueueMove(id, {0.05f, -0.05f, 0}, 255);
        frames(1);
        heights.push_back(player->getTranslation().y);
    }
    ASSERT_GT(player->getTranslation().x, 2.5f);  // on the step
    EXPECT_NEAR(heights.back(), kStanding + 0.3f, 0.01f);
    // The frames in which the node rose, and by how much.
    std::string climb;
    std::vector<float> rises;
    for (size_t i = 1; i < heights.size(); ++i) {
        float rise = heights[i] - heights[i - 1];
        EXPECT_GE(rise, -1e-4f) << "frame " << i;
        if (rise > 1e-3f) {
            rises.push_back(rise);
            climb += " " + std::to_string(heights[i]);
        }
    }
    std::printf("node heights while climbing:%s\n", climb.c_str());
    // The capsule's round bottom may take the edge over two moves; from the
    // largest rise on, the node makes up less of the rest each frame.
    ASSERT_GE(rises.size(), 4u) << climb;
    const size_t largest = std::max_element(rises.begin(), rises.end()) - rises.begin();
    EXPECT_LT(rises[largest], 0.3f * 0.5f) << climb;  // no jump
    EXPECT_GE(rises.size() - largest, 4u) << climb;
    for (size_t i = largest + 1; i < rises.size(); ++i) {
        EXPECT_LT(rises[i], rises[i - 1]) << climb;
    }
}

TEST_F(VehicleWorld, ControllersPushDynamicBoxesOnlyAndGoWithTheirNode) {
    addGround();
    Shape* dynamicBox = addBox("crate", {2, 0.5f, 0}, {0.5f, 0.5f, 0.5f}, PhysicsObject::kDynamic);
    Shape* kinematicBox =
        addBox("lift", {2, 0.5f, 4}, {0.5f, 0.5f, 0.5f}, PhysicsObject::kKinematic);
    context->addPhysics(*dynamicBox);
    context->addPhysics(*kinematicBox);
    PhysicsCharacterControllers::Capsule capsule;
    capsule.radius = 0.3f;
    capsule.height = 1.0f;
    capsule.skinWidth = 0.05f;
    capsule.pushFactor = 20000.0f;
    std::vector<TransformGroup*> players;
    std::vector<int32_t> ids;
    for (float z : {0.0f, 4.0f}) {
        auto* player = new TransformGroup("player");
        player->setTranslation({0, kStanding, z});
        root->addChild(player);
        players.push_back(player);
        ids.push_back(controllers().enqueueCreate(*player, capsule));
    }
    frames(30);
    for (int i = 0; i < 60; ++i) {
        for (int32_t id : ids) {
            controllers().enqueueMove(id, {0.05f, -0.05f, 0}, 255);
        }
        frames(1);
    }
    EXPECT_GT(dynamicBox->getWorldMatrix().getTranslation().x, 3.0f);
    EXPECT_NEAR(kinematicBox->getWorldMatrix().getTranslation().x, 2.0f, 1e-4f);
    // The controller behind the crate kept walking; the other is stopped by
    // the lift.
    EXPECT_GT(players[0]->getTranslation().x, 2.0f);
    EXPECT_NEAR(players[1]->getTranslation().x, 1.5f - 0.35f, 0.01f);
    EXPECT_NE(controllers().getCollisionFlags(ids[1]) & PhysicsControllerFlags::kSides, 0u);

    // Deleting the node removes its controller at the next step.
    delete players[1];
    controllers().enqueueMove(ids[1], {0.05f, 0, 0}, 255);
    frames(1);
    EXPECT_EQ(controllers().getNumControllers(), 1u);
    EXPECT_EQ(controllers().getCollisionFlags(ids[1]), 0u);
}

}  // namespace
