// Wheel shapes and capsule character controllers of the physics SDK layer:
// a four-wheeled vehicle on a plane, and a controller walking into walls,
// steps and slopes.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "physics/sdk/IPhysicsScene.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

std::vector<float> boxCorners(Vector3 half) {
    std::vector<float> points;
    for (int i = 0; i < 8; ++i) {
        points.push_back((i & 1) ? half.x : -half.x);
        points.push_back((i & 2) ? half.y : -half.y);
        points.push_back((i & 4) ? half.z : -half.z);
    }
    return points;
}

// The twelve triangles of the box with the corners of boxCorners.
const uint32_t kBoxTriangles[] = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                                  2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};

// Vehicle: a 2 x 0.5 x 4 chassis of 1000 kg on four wheels.
constexpr float kWheelRadius = 0.4f;
constexpr float kTravel = 0.3f;
constexpr float kSpring = 35000.0f;
constexpr float kChassisMass = 1000.0f;
const Vector3 kMounts[4] = {
    {-0.9f, -0.25f, 1.5f}, {0.9f, -0.25f, 1.5f}, {-0.9f, -0.25f, -1.5f}, {0.9f, -0.25f, -1.5f}};

class SdkVehicle : public ::testing::Test {
protected:
    void SetUp() override { scene = createPhysicsScene(PhysicsSceneDesc{}); }

    IPhysicsActor* addStaticMesh(const std::vector<float>& vertices,
                                 const std::vector<uint32_t>& indices, Vector3 position = {}) {
        PhysicsActorDesc desc;
        desc.type = PhysicsBodyType::Static;
        desc.globalPose = Matrix4::translation(position);
        PhysicsShapeDesc shape;
        shape.type = PhysicsShapeDesc::Type::TriangleMesh;
        shape.triangleMesh = scene->createTriangleMesh(vertices.data(), vertices.size() / 3, 3,
                                                       indices.data(), indices.size());
        desc.shapes.push_back(shape);
        return scene->createActor(desc);
    }

    IPhysicsActor* addGround() {
        return addStaticMesh({-200, 0, -200, 200, 0, -200, 200, 0, 200, -200, 0, 200},
                             {0, 2, 1, 0, 3, 2});
    }

    IPhysicsActor* addStaticBox(Vector3 center, Vector3 half) {
        return addStaticMesh(
            boxCorners(half),
            std::vector<uint32_t>(std::begin(kBoxTriangles), std::end(kBoxTriangles)), center);
    }

    IPhysicsActor* addBox(PhysicsBodyType type, Vector3 position, Vector3 half, float density) {
        std::vector<float> points = boxCorners(half);
        PhysicsActorDesc desc;
        desc.type = type;
        desc.globalPose = Matrix4::translation(position);
        desc.density = density;
        PhysicsShapeDesc shape;
        shape.convexMesh = scene->createConvexMesh(points.data(), 8, 3);
        desc.shapes.push_back(shape);
        return scene->createActor(desc);
    }

    void addVehicle(Vector3 position = {0, 1.5f, 0}) {
        Vector3 half{1.0f, 0.25f, 2.0f};
        chassis = addBox(PhysicsBodyType::Dynamic, position, half,
                         kChassisMass / (8 * half.x * half.y * half.z));
        ASSERT_NE(chassis, nullptr);
        for (const Vector3& mount : kMounts) {
            PhysicsWheelShapeDesc desc;
            desc.localPose = Matrix4::translation(mount);
            desc.radius = kWheelRadius;
            desc.suspensionTravel = kTravel;
            desc.spring = kSpring;
            desc.damper = 4000.0f;
            desc.inverseWheelMass = 1.0f / 20.0f;
            IPhysicsWheelShape* wheel = scene->createWheelShape(chassis, desc);
            ASSERT_NE(wheel, nullptr);
            wheels.push_back(wheel);
        }
    }

    void drive(float motor, float brake, float steer = 0.0f) {
        for (size_t i = 0; i < wheels.size(); ++i) {
            wheels[i]->setMotorTorque(motor);
            wheels[i]->setBrakeTorque(brake);
            wheels[i]->setSteerAngle(kMounts[i].z > 0 ? steer : 0.0f);
        }
    }

    void step(int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(scene->simulate(kStep));
            ASSERT_TRUE(scene->fetchResults());
        }
    }

    float forwardSpeed() { return chassis->getLinearVelocity().z; }

    std::unique_ptr<IPhysicsScene> scene;
    IPhysicsActor* chassis = nullptr;
    std::vector<IPhysicsWheelShape*> wheels;
};

TEST_F(SdkVehicle, RestsOnItsSuspensionAtTheHeightTheSpringsGive) {
    ASSERT_NE(addGround(), nullptr);
    addVehicle();
    drive(0.0f, 1000.0f);
    step(4 * 60);

    // Each spring carries a quarter of the weight.
    float compression = kChassisMass * 9.81f / (4 * kSpring);
    float expected = kWheelRadius + (kTravel - compression) - kMounts[0].y;
    EXPECT_NEAR(chassis->getGlobalPose().getTranslation().y, expected, 0.01f);
    EXPECT_NEAR(chassis->getGlobalPose().getTranslation().x, 0.0f, 0.01f);
    EXPECT_NEAR(chassis->getGlobalPose().getTranslation().z, 0.0f, 0.01f);
    for (IPhysicsWheelShape* wheel : wheels) {
        PhysicsWheelContact contact;
        ASSERT_TRUE(wheel->getContact(contact));
        EXPECT_NEAR(contact.point.y, 0.0f, 1e-3f);
        EXPECT_NEAR(contact.normal.y, 1.0f, 1e-3f);
        EXPECT_NE(contact.actor, nullptr);
        EXPECT_FLOAT_EQ(wheel->getAxleSpeed(), 0.0f);
    }
    // The wire frames show each suspension, down to the wheel's centre.
    std::vector<PhysicsDebugLine> lines;
    scene->collectDebugLines(lines);
    int suspensions = 0;
    for (const PhysicsDebugLine& line : lines) {
        if (line.color.x == 1.0f && line.color.y == 1.0f && line.color.z == 0.0f) {
            ++suspensions;
            EXPECT_NEAR(line.to.y, kWheelRadius, 1e-3f);
        }
    }
    EXPECT_EQ(suspensions, 4);
}

TEST_F(SdkVehicle, MotorTorqueAcceleratesAndBrakeTorqueStops) {
    ASSERT_NE(addGround(), nullptr);
    addVehicle();
    drive(0.0f, 1000.0f);
    step(60);

    drive(400.0f, 0.0f);
    step(60);
    float afterOne = forwardSpeed();
    step(60);
    float afterTwo = forwardSpeed();
    EXPECT_GT(afterOne, 0.5f);
    EXPECT_GT(afterTwo, afterOne + 0.5f);
    EXPECT_NEAR(chassis->getLinearVelocity().x, 0.0f, 0.05f);
    // Rolling: the tread moves with the ground.
    EXPECT_NEAR(wheels[0]->getAxleSpeed() * kWheelRadius, afterTwo, 0.1f * afterTwo);
    // Readings change only when a simulation is fetched.
    float published = wheels[0]->getAxleSpeed();
    ASSERT_TRUE(scene->simulate(kStep));
    scene->waitForWorker();
    EXPECT_EQ(wheels[0]->getAxleSpeed(), published);
    ASSERT_TRUE(scene->fetchResults());
    EXPECT_GT(wheels[0]->getAxleSpeed(), published);

    drive(0.0f, 3000.0f);
    step(3 * 60);
    EXPECT_NEAR(forwardSpeed(), 0.0f, 0.02f);
    for (IPhysicsWheelShape* wheel : wheels) {
        EXPECT_FLOAT_EQ(wheel->getAxleSpeed(), 0.0f);
    }
    // Reversing.
    drive(-400.0f, 0.0f);
    step(60);
    EXPECT_LT(forwardSpeed(), -0.5f);
}

TEST_F(SdkVehicle, SteeringTurnsTowardThePositiveSide) {
    ASSERT_NE(addGround(), nullptr);
    addVehicle();
    drive(0.0f, 1000.0f);
    step(30);
    for (float steer : {0.3f, -0.3f}) {
        chassis->setGlobalPose(Matrix4::translation({0, 1.0f, 0}));
        chassis->setLinearVelocity({0, 0, 0});
        chassis->setAngularVelocity({0, 0, 0});
        drive(400.0f, 0.0f, steer);
        step(3 * 60);
        Matrix4 pose = chassis->getGlobalPose();
        Vector3 heading = pose.transformVector({0, 0, 1});
        SCOPED_TRACE(steer);
        // A positive angle turns the forward axis z toward x.
        EXPECT_GT(heading.x * steer, 0.1f);
        EXPECT_GT(pose.getTranslation().x * steer, 0.5f);
        EXPECT_GT(pose.getTranslation().z, 2.0f);
        EXPECT_NEAR(pose.getTranslation().y, 0.88f, 0.1f);
    }
}

TEST_F(SdkVehicle, WheelsAreRefusedOutOfRangeAndGoWithTheirActor) {
    ASSERT_NE(addGround(), nullptr);
    IPhysicsActor* wall = addStaticBox({0, 1, 10}, {1, 1, 1});
    IPhysicsActor* kinematic = addBox(PhysicsBodyType::Kinematic, {5, 2, 0}, {1, 1, 1}, 1.0f);
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {-5, 2, 0}, {1, 1, 1}, 1.0f);
    PhysicsWheelShapeDesc good;
    EXPECT_EQ(scene->createWheelShape(wall, good), nullptr);
    EXPECT_EQ(scene->createWheelShape(nullptr, good), nullptr);
    EXPECT_NE(scene->createWheelShape(kinematic, good), nullptr);

    struct Case {
        const char* what;
        void (*change)(PhysicsWheelShapeDesc&);
    };
    const Case cases[] = {
        {"radius 0", [](PhysicsWheelShapeDesc& d) { d.radius = 0.0f; }},
        {"negative radius", [](PhysicsWheelShapeDesc& d) { d.radius = -1.0f; }},
        {"infinite wheel mass", [](PhysicsWheelShapeDesc& d) { d.inverseWheelMass = 0.0f; }},
        {"negative travel", [](PhysicsWheelShapeDesc& d) { d.suspensionTravel = -0.1f; }},
        {"spring NaN", [](PhysicsWheelShapeDesc& d) { d.spring = std::nanf(""); }},
        {"position infinite",
         [](PhysicsWheelShapeDesc& d) {
             d.localPose = Matrix4::translation({INFINITY, 0, 0});
         }},
    };
    for (const Case& c : cases) {
        PhysicsWheelShapeDesc desc;
        c.change(desc);
        EXPECT_EQ(scene->createWheelShape(box, desc), nullptr) << c.what;
    }

    // Non-finite controls leave the wheel as it was.
    IPhysicsWheelShape* wheel = scene->createWheelShape(box, good);
    ASSERT_NE(wheel, nullptr);
    wheel->setMotorTorque(5.0f);
    wheel->setMotorTorque(std::nanf(""));
    wheel->setSteerAngle(INFINITY);
    wheel->setBrakeTorque(-3.0f);
    EXPECT_EQ(wheel->getMotorTorque(), 5.0f);
    EXPECT_EQ(wheel->getSteerAngle(), 0.0f);
    EXPECT_EQ(wheel->getBrakeTorque(), 0.0f);

    // The vehicle's wheels stand on the box: releasing either the vehicle or
    // the ground under it leaves a world that steps on.
    addVehicle({-5, 4, 0});
    step(60);
    scene->releaseActor(box);
    step(60);
    scene->releaseActor(chassis);
    step(10);
    EXPECT_EQ(scene->getNumActors(), 3u);
}

// ---- character controllers ---------------------------------------------------

constexpr float kRadius = 0.3f;
constexpr float kHeight = 1.0f;
constexpr float kSkin = 0.05f;
// The centre's height over the ground when standing.
constexpr float kStanding = kRadius + kHeight / 2 + kSkin;

class SdkController : public SdkVehicle, public IPhysicsControllerHitReport {
protected:
    IPhysicsCharacterController* addController(Vector3 position, float stepOffset = 0.4f,
                                               float slopeDegrees = 45.0f) {
        PhysicsCapsuleControllerDesc desc;
        desc.position = position;
        desc.radius = kRadius;
        desc.height = kHeight;
        desc.skinWidth = kSkin;
        desc.stepOffset = stepOffset;
        desc.slopeLimit = std::cos(slopeDegrees * float(M_PI) / 180.0f);
        desc.hitReport = this;
        return scene->createCapsuleController(desc);
    }

    // Frames of walking with gravity, stepping the world between them;
    // returns the flags of the last move.
    uint32_t walk(IPhysicsCharacterController* controller, Vector3 perFrame, int frames) {
        uint32_t flags = 0;
        for (int i = 0; i < frames; ++i) {
            flags = controller->move(perFrame + Vector3{0, -0.1f, 0}, 0xFFFFFFFF);
            step(1);
        }
        return flags;
    }

    void onShapeHit(const PhysicsControllerShapeHit& hit) override { hits.push_back(hit); }

    std::vector<PhysicsControllerShapeHit> hits;
};

TEST_F(SdkController, LandsOnTheGroundAndWalksOnIt) {
    IPhysicsActor* ground = addGround();
    IPhysicsCharacterController* controller = addController({0, 3, 0});
    ASSERT_NE(controller, nullptr);
    ASSERT_NE(controller->getActor(), nullptr);
    EXPECT_EQ(controller->getActor()->getType(), PhysicsBodyType::Kinematic);

    uint32_t flags = walk(controller, {0, 0, 0}, 60);
    EXPECT_EQ(flags, PhysicsControllerFlags::kDown);
    EXPECT_NEAR(controller->getPosition().y, kStanding, 0.01f);
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits.back().actor, ground);
    EXPECT_EQ(hits.back().direction.y, -1.0f);

    flags = walk(controller, {0.05f, 0, 0}, 40);
    EXPECT_EQ(flags, PhysicsControllerFlags::kDown);
    EXPECT_NEAR(controller->getPosition().x, 2.0f, 0.01f);
    EXPECT_NEAR(controller->getPosition().y, kStanding, 0.01f);
    // Its actor follows it.
    EXPECT_NEAR(controller->getActor()->getGlobalPose().getTranslation().x, 2.0f, 0.06f);

    // Jumping into a ceiling.
    addStaticBox({2, kStanding + kHeight / 2 + kRadius + 0.5f, 0}, {1, 0.25f, 1});
    flags = controller->move({0, 1.0f, 0}, 0xFFFFFFFF);
    EXPECT_EQ(flags, PhysicsControllerFlags::kUp);
    EXPECT_NEAR(controller->getPosition().y, kStanding + 0.25f - kSkin, 0.01f);

    // Not finite: nothing moves.
    Vector3 before = controller->getPosition();
    controller->move({std::nanf(""), 0, 0}, 0xFFFFFFFF);
    EXPECT_EQ(controller->getPosition().x, before.x);
}

TEST_F(SdkController, WallsBlockAndStepsAreClimbedUpToTheOffset) {
    ASSERT_NE(addGround(), nullptr);
    // A wall across x = 3, a low step from z = 10 on and a high one from
    // x = 10 on.
    addStaticBox({3.5f, 2, 0}, {0.5f, 2, 2});
    addStaticBox({0, 0.15f, 12}, {2, 0.15f, 2});
    addStaticBox({12, 0.3f, 10}, {2, 0.3f, 2});

    IPhysicsCharacterController* controller = addController({0, kStanding, 0});
    uint32_t flags = walk(controller, {0.05f, 0, 0}, 80);
    EXPECT_EQ(flags, PhysicsControllerFlags::kSides | PhysicsControllerFlags::kDown);
    EXPECT_NEAR(controller->getPosition().x, 3.0f - kRadius - kSkin, 0.01f);
    ASSERT_FALSE(hits.empty());

    // Sliding along the wall when walking into it at an angle.
    walk(controller, {0.05f, 0, 0.05f}, 20);
    EXPECT_NEAR(controller->getPosition().x, 3.0f - kRadius - kSkin, 0.01f);
    EXPECT_GT(controller->getPosition().z, 0.9f);

    // 0.3 is under the step offset of 0.4.
    IPhysicsCharacterController* low = addController({0, kStanding, 8});
    walk(low, {0, 0, 0.05f}, 80);
    EXPECT_GT(low->getPosition().z, 11.0f);
    EXPECT_NEAR(low->getPosition().y, 0.3f + kStanding, 0.01f);

    // 0.6 is over it.
    IPhysicsCharacterController* high = addController({8, kStanding, 10});
    flags = walk(high, {0.05f, 0, 0}, 80);
    EXPECT_NEAR(high->getPosition().x, 10.0f - kRadius - kSkin, 0.01f);
    EXPECT_NEAR(high->getPosition().y, kStanding, 0.01f);
    EXPECT_NE(flags & PhysicsControllerFlags::kSides, 0u);

    // A move sees only what shares a bit with its mask.
    IPhysicsCharacterController* ghost = addController({2, kStanding, 0});
    EXPECT_EQ(ghost->move({2, 0, 0}, 0x100), 0u);
    EXPECT_NEAR(ghost->getPosition().x, 4.0f, 1e-5f);
}

// The filtered position makes up its sharpness's share of the height
// difference each move (anything outside above 0 to 1 counts as 1), follows
// sideways at once, and jumps along with a teleport.
TEST_F(SdkController, FilteredPositionFollowsTheHeightBySharpness) {
    ASSERT_NE(addGround(), nullptr);
    addStaticBox({0, 0.15f, 12}, {2, 0.15f, 2});  // a step 0.3 high from z = 10 on
    IPhysicsCharacterController* controller = addController({0, kStanding, 8});
    // Up the step in one move: the simulated centre rises 0.3 at once.
    controller->move({0, 0, 2.5f}, 0xFFFFFFFF, 0.4f);
    ASSERT_NEAR(controller->getPosition().y, kStanding + 0.3f, 0.01f);
    const float top = controller->getPosition().y;
    float expected = kStanding;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            controller->move({0, 0, 0.01f}, 0xFFFFFFFF, 0.4f);
        }
        expected += (top - expected) * 0.4f;
        EXPECT_NEAR(controller->getFilteredPosition().y, expected, 1e-4f) << i;
        EXPECT_FLOAT_EQ(controller->getFilteredPosition().z, controller->getPosition().z) << i;
    }
    for (float unfiltered : {1.0f, 0.0f, -0.5f, 7.0f, std::nanf("")}) {
        controller->setPosition({0, kStanding, 8});
        EXPECT_EQ(controller->getFilteredPosition().y, kStanding);
        controller->move({0, 0, 2.5f}, 0xFFFFFFFF, unfiltered);
        EXPECT_FLOAT_EQ(controller->getFilteredPosition().y, controller->getPosition().y)
            << unfiltered;
    }
}

TEST_F(SdkController, SlopesAreClimbedOnlyUpToTheLimit) {
    ASSERT_NE(addGround(), nullptr);
    struct Case {
        float degrees;
        bool climbs;
    };
    const Case cases[] = {{20.0f, true}, {60.0f, false}};
    float z = 0.0f;
    for (const Case& c : cases) {
        // A ramp rising along +x from x = 2, 4 units wide.
        float rise = 6.0f * std::tan(c.degrees * float(M_PI) / 180.0f);
        addStaticMesh(
            {2, 0, z - 2, 8, rise, z - 2, 8, rise, z + 2, 2, 0, z + 2, 8, 0, z - 2, 8, 0, z + 2},
            {0, 2, 1, 0, 3, 2, 1, 2, 5, 1, 5, 4});
        IPhysicsCharacterController* controller = addController({0, kStanding, z});
        walk(controller, {0.05f, 0, 0}, 100);
        SCOPED_TRACE(c.degrees);
        if (c.climbs) {
            EXPECT_GT(controller->getPosition().y, kStanding + 0.5f);
            EXPECT_GT(controller->getPosition().x, 3.5f);
        } else {
            EXPECT_NEAR(controller->getPosition().y, kStanding, 0.05f);
            EXPECT_LT(controller->getPosition().x, 2.0f);
        }
        z += 10.0f;
    }
}

TEST_F(SdkController, ReportsTheBodiesItRunsIntoAndIsRefusedOutOfRange) {
    ASSERT_NE(addGround(), nullptr);
    IPhysicsActor* box = addBox(PhysicsBodyType::Dynamic, {2, 0.5f, 0}, {0.5f, 0.5f, 0.5f}, 1.0f);
    IPhysicsCharacterController* controller = addController({0, kStanding, 0});
    step(30);
    hits.clear();
    walk(controller, {0.05f, 0, 0}, 30);
    // Walking into its side (the capsule's rounded bottom may also touch
    // its edge on the way down from a step).
    bool hitBox = false;
    for (const PhysicsControllerShapeHit& hit : hits) {
        if (hit.actor == box && hit.direction.y == 0.0f) {
            hitBox = true;
            EXPECT_NEAR(hit.direction.x, 1.0f, 1e-5f);
            EXPECT_NEAR(hit.worldNormal.x, -1.0f, 0.05f);
            EXPECT_NEAR(hit.length, 0.05f, 0.01f);
        }
    }
    EXPECT_TRUE(hitBox);

    // Releasing the controller takes its actor along.
    size_t actors = scene->getNumActors();
    scene->releaseController(controller);
    EXPECT_EQ(scene->getNumActors(), actors - 1);

    for (Vector3 shape :
         {Vector3{0, 1, 0}, Vector3{1, 0, 0}, Vector3{-1, 1, 0}, Vector3{std::nanf(""), 1, 0}}) {
        PhysicsCapsuleControllerDesc desc;
        desc.radius = shape.x;
        desc.height = shape.y;
        EXPECT_EQ(scene->createCapsuleController(desc), nullptr) << shape.x << " " << shape.y;
    }
}

}  // namespace
