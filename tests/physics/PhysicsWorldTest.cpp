// The physics world on the scene graph: "physics.xml", the step and its
// queues, poses copied to nodes, bodies made from shapes, and the order in
// which the world and the scene may go away.

#include <gtest/gtest.h>

#include <cmath>

#include "CapturingLogSink.h"
#include "PhysicsWorldFixture.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "physics/IPhysicsHost.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/PhysicsDebugUserAllocator.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

namespace {

using namespace physicstest;

class RecordingHost : public IPhysicsHost {
public:
    void enterSection(const char* name) override {
        sections.push_back(name);
        if (onEnter) {
            onEnter(name);
        }
    }
    void leaveSection() override {}
    bool isDebugDrawingOn() const override { return drawing; }
    void addDebugLine(const Vector3&, const Vector3&, const float*) override { ++lines; }

    std::vector<std::string> sections;
    std::function<void(const char*)> onEnter;
    bool drawing = false;
    int lines = 0;
};

TEST_F(PhysicsWorld, ConfigurationIsReadWithItsDefaultsAndLimits) {
    struct Case {
        const char* xml;
        float timestep;
        int maxIterations;
        float gravityY;
        int threads;
    };
    const Case cases[] = {
        {"<physics/>", 1.0f / 60.0f, 2, -9.81f, 0},
        {"<physics><simulation><timestep>0</timestep><maxiter>0</maxiter></simulation></physics>",
         1.0f / 60.0f, 2, -9.81f, 0},
        {"<physics><simulation><timestep>-1</timestep><maxiter>5</maxiter></simulation>"
         "<gravity>0 -1.62 0</gravity><multithreading enable=\"true\" threads=\"4\"/></physics>",
         1.0f / 60.0f, 5, -1.62f, 4},
        {"<physics><simulation><timestep>0.01</timestep><maxiter>100000</maxiter></simulation>"
         "<gravity>0 nan</gravity><multithreading threads=\"-2\"/></physics>",
         0.01f, 2, -9.81f, 0},
        {"<physics><simulation><timestep>1e-9</timestep><maxiter>-3</maxiter></simulation>"
         "<multithreading threads=\"100000\"/></physics>",
         1.0f / 60.0f, 2, -9.81f, 0},
    };
    for (const Case& c : cases) {
        startWith(c.xml);
        const PhysicsConfig& config = PhysicsManager::get().getConfig();
        EXPECT_FLOAT_EQ(config.timestep, c.timestep) << c.xml;
        EXPECT_EQ(config.maxIterations, c.maxIterations) << c.xml;
        EXPECT_EQ(config.threads, c.threads) << c.xml;
        EXPECT_FLOAT_EQ(config.gravity.y, c.gravityY) << c.xml;
        EXPECT_FLOAT_EQ(context->getScene().getGravity().y, c.gravityY) << c.xml;
    }
}

TEST_F(PhysicsWorld, StartUpLogsTheBackendAndAMissingFileFails) {
    PhysicsManager::get().shutdown();
    testsupport::ScopedLogCapture log;
    ASSERT_TRUE(PhysicsManager::get().init());
    EXPECT_NE(log.text().find("Physics\n  Driver: Bullet Physics\n  Version: 3."),
              std::string::npos)
        << log.text();
    EXPECT_FALSE(PhysicsManager::get().init());

    PhysicsManager::get().shutdown();
    EXPECT_EQ(ScenegraphPhysicsContext::get(), nullptr);
    FileSystem::clearFileLoaders();
    log.take();
    EXPECT_FALSE(PhysicsManager::get().init());
    EXPECT_EQ(log.text(), "Physics config file not found: physics.xml\n");
}

TEST_F(PhysicsWorld, GravityFromTheFileChangesTheFall) {
    Shape* box = addBox("box", {0, 100, 0});
    context->addPhysics(*root);
    frames(60);
    float earthDrop = 100.0f - worldY(box);
    startWith("<physics><gravity>0 -1.62 0</gravity></physics>");
    box = addBox("box", {0, 100, 0});
    context->addPhysics(*root);
    frames(60);
    float moonDrop = 100.0f - worldY(box);
    // Damping slows both alike: the drops keep the ratio of the gravities.
    EXPECT_NEAR(moonDrop / earthDrop, 1.62f / 9.81f, 0.01f);
    EXPECT_GT(earthDrop, 3.0f);
}

TEST_F(PhysicsWorld, BoxFallsOntoTheGroundAndTheNodeFollows) {
    addGround();
    Shape* box = addBox("box", {0, 5, 0});
    context->addPhysics(*root);
    EXPECT_EQ(context->getNumBodies(), 0u);  // parallel mode: at the next step
    frames(1);
    EXPECT_EQ(context->getNumBodies(), 2u);
    frames(300);
    EXPECT_NEAR(worldY(box), 0.5f, 0.02f);
    EXPECT_EQ(context->getStatsText(),
              "Physics stats\n\nDynamic 1 Max 1\nStatic 1 Max 1\nJoints 0 Max 0\nPairs 1 Max 1\n");
}

TEST_F(PhysicsWorld, ParallelAndSerialSteppingGiveTheSameTrajectory) {
    std::vector<float> heights[2];
    for (int serial = 0; serial < 2; ++serial) {
        startWith("");
        *context->parallelFlag() = serial == 0;
        addGround();
        Shape* box = addBox("box", {0, 3, 0});
        context->addPhysics(*root);
        // Parallel mode makes the bodies at the first step and shows each
        // simulation one step after it started: one step ahead, it matches.
        frames(serial == 0 ? 1 : 0);
        for (int i = 0; i < 90; ++i) {
            context->step(kFrameMs);
            heights[serial].push_back(worldY(box));
        }
    }
    EXPECT_LT(heights[1].back(), 1.0f);
    for (size_t i = 0; i < heights[0].size(); ++i) {
        EXPECT_NEAR(heights[0][i], heights[1][i], 1e-5f) << i;
    }
}

TEST_F(PhysicsWorld, SwitchedOffOrTimeScaleZeroFreezesAndQueuesStillApply) {
    *context->parallelFlag() = false;
    Shape* box = addBox("box", {0, 5, 0});
    context->addPhysics(*root);
    frames(10);
    float y = worldY(box);
    context->setSimulationEnabled(false);
    box->setTranslation({0, 7, 0});
    frames(10);
    EXPECT_FLOAT_EQ(worldY(box), 7.0f);
    context->setSimulationEnabled(true);
    context->setTimeScale(0.0f);
    frames(10);
    EXPECT_FLOAT_EQ(worldY(box), 7.0f);
    context->setTimeScale(-1.0f);  // ignored
    context->setTimeScale(NAN);
    EXPECT_EQ(context->getTimeScale(), 0.0f);
    context->setTimeScale(1.0f);
    frames(10);
    EXPECT_LT(worldY(box), 7.0f);
    EXPECT_LT(y, 5.0f);
}

TEST_F(PhysicsWorld, ExtraUpdatesAreCountedAndBounded) {
    RecordingHost host;
    context->setHost(&host);
    auto steps = [&](float ms) {
        host.sections.clear();
        context->extraUpdate(ms);
        return std::count(host.sections.begin(), host.sections.end(), std::string("physics"));
    };
    EXPECT_EQ(steps(50.0f), 2);  // 50 / 16.666668 = 2.99..., truncated
    EXPECT_EQ(steps(40.0f), 2);
    EXPECT_EQ(steps(10.0f), 0);
    EXPECT_EQ(steps(-100.0f), 0);
    EXPECT_EQ(steps(NAN), 0);
    EXPECT_EQ(steps(INFINITY), 0);
    testsupport::ScopedLogCapture log;
    EXPECT_EQ(steps(1e9f), ScenegraphPhysicsContext::kMaxExtraSteps);
    EXPECT_NE(log.text().find("limited to 600 steps"), std::string::npos);
    context->setHost(nullptr);
}

TEST_F(PhysicsWorld, TheStepRunsItsSectionsInOrderAndRefusesToNest) {
    RecordingHost host;
    host.drawing = true;
    context->setHost(&host);
    addGround();
    context->addPhysics(*root);
    int nested = 0;
    host.onEnter = [&](const char* name) {
        if (std::string(name) == "update dynamic objects" && nested++ == 0) {
            context->step(kFrameMs);
        }
    };
    testsupport::ScopedLogCapture log;
    frames(2);
    const std::vector<std::string> order = {"physics",
                                            "create new objects",
                                            "update all objects",
                                            "update dynamic objects",
                                            "update character controllers",
                                            "update forced object pose",
                                            "remove objects"};
    ASSERT_GE(host.sections.size(), order.size());
    EXPECT_EQ(std::vector<std::string>(host.sections.begin(), host.sections.begin() + 7), order);
    EXPECT_EQ(log.count("Warning: physics step refused inside a physics step\n"), 1u);
    EXPECT_GT(host.lines, 0);
    context->setHost(nullptr);
}

TEST_F(PhysicsWorld, PosesReachParentsBeforeChildrenAndNonInheritingNodes) {
    *context->parallelFlag() = false;
    context->getScene().setGravity({0, 0, 0});
    // A body under a moving body, listed before its parent, and a
    // non-inheriting body under the same parent.
    Shape* parent = addBox("parent", {0, 0, 0});
    Shape* child = addBox("child", {0, 0, 3}, PhysicsObject::kDynamic, parent);
    Shape* loose = addBox("loose", {0, 0, -3}, PhysicsObject::kDynamic, parent);
    loose->setTransformFlags(RawTransformGroup::kNoTransformInheritance);
    context->addPhysics(*child);
    context->addPhysics(*loose);
    context->addPhysics(*parent);
    for (Shape* s : {parent, child, loose}) {
        static_cast<PhysicsRBObject*>(s->getPhysicsObject())
            ->getActor()
            ->setLinearVelocity({1, 0, 0});
    }
    frames(60);
    // One second at 1 m/s, damped by 0.5 per second.
    const float travelled = (1.0f - std::exp(-0.5f)) / 0.5f;
    EXPECT_NEAR(parent->getWorldMatrix().getTranslation().x, travelled, 0.01f);
    // The child's local matrix was taken from its parent's new pose.
    EXPECT_NEAR(child->getWorldMatrix().getTranslation().x,
                parent->getWorldMatrix().getTranslation().x, 1e-4f);
    EXPECT_NEAR(child->getWorldMatrix().getTranslation().z, 3.0f, 1e-4f);
    EXPECT_NEAR(loose->getWorldMatrix().getTranslation().x, travelled, 0.01f);
    EXPECT_NEAR(loose->getWorldMatrix().getTranslation().z, -3.0f, 1e-4f);
}

TEST_F(PhysicsWorld, NodeMovesBecomeForcedPosesAndKinematicBodiesFollow) {
    addGround();
    Shape* box = addBox("box", {0, 0.5f, 0});
    Shape* lift = addBox("lift", {5, 0.5f, 0}, PhysicsObject::kKinematic);
    context->addPhysics(*root);
    frames(30);
    // Moved while the world simulates (parallel mode): applied at the step.
    box->setTranslation({0, 3, 0});
    lift->setTranslation({5, 2, 0});
    frames(1);
    IPhysicsActor* boxActor = static_cast<PhysicsRBObject*>(box->getPhysicsObject())->getActor();
    IPhysicsActor* liftActor = static_cast<PhysicsRBObject*>(lift->getPhysicsObject())->getActor();
    EXPECT_GT(boxActor->getGlobalPose().getTranslation().y, 2.5f);
    frames(2);
    EXPECT_NEAR(liftActor->getGlobalPose().getTranslation().y, 2.0f, 1e-4f);
    EXPECT_NEAR(worldY(lift), 2.0f, 1e-4f);
    frames(120);
    EXPECT_NEAR(worldY(box), 0.5f, 0.02f);
}

TEST_F(PhysicsWorld, DeletedNodesLeaveNoPoseWriteAndTheWorldMayGoFirst) {
    addGround();
    Shape* box = addBox("box", {0, 5, 0});
    Shape* other = addBox("other", {3, 5, 0});
    context->addPhysics(*root);
    frames(5);
    // Deleted while its actor is simulating: the actor is released at the
    // next step and no pose is written to the dead node.
    delete box;
    frames(3);
    EXPECT_EQ(context->getNumBodies(), 2u);
    EXPECT_EQ(context->getScene().getNumActors(), 2u);

    // Bodies queued for creation and then deleted leave the queue.
    Shape* late = addBox("late", {6, 5, 0});
    context->addPhysics(*late);
    delete late;
    frames(2);
    EXPECT_EQ(context->getNumBodies(), 2u);

    // The world goes before the scene: the bodies are detached.
    PhysicsManager::get().shutdown();
    EXPECT_EQ(static_cast<PhysicsRBObject*>(other->getPhysicsObject())->getActor(), nullptr);
    other->setTranslation({0, 1, 0});
    root.reset();
}

TEST_F(PhysicsWorld, CompoundBodiesMoveAsOneAndTheDensityCountsAtCreation) {
    addGround();
    // Two 1 x 1 x 1 boxes 2 apart below one compound node, at density 2.
    auto* group = new TransformGroup("pair");
    group->setTranslation({0, 4, 0});
    root->addChild(group);
    auto body = std::make_unique<PhysicsRBObject>(*group, PhysicsRBObject::kDefaultState |
                                                              PhysicsObject::kDynamic |
                                                              PhysicsObject::kCompound);
    body->setDensity(2.0f);
    PhysicsRBObject* pair = body.get();
    group->setPhysicsObject(std::move(body));
    Shape* left = makeBoxShape("left", {0.5f, 0.5f, 0.5f});
    Shape* right = makeBoxShape("right", {0.5f, 0.5f, 0.5f});
    left->setTranslation({-1, 0, 0});
    right->setTranslation({1, 0, 0});
    group->addChild(left);
    group->addChild(right);
    context->addPhysics(*root);
    frames(1);
    ASSERT_NE(pair->getActor(), nullptr);
    EXPECT_EQ(context->getNumBodies(), 2u);
    EXPECT_NEAR(pair->getActor()->getMass(), 4.0f, 1e-4f);
    frames(240);
    // The pair rests on both boxes, level, still 2 apart.
    EXPECT_NEAR(left->getWorldMatrix().getTranslation().y, 0.5f, 0.03f);
    EXPECT_NEAR(right->getWorldMatrix().getTranslation().y, 0.5f, 0.03f);
    EXPECT_NEAR(
        right->getWorldMatrix().getTranslation().x - left->getWorldMatrix().getTranslation().x,
        2.0f, 1e-3f);
}

TEST_F(PhysicsWorld, ScaledMovingBodiesAreRefusedAndStaticMeshesScaled) {
    *context->parallelFlag() = false;
    auto* scaled = new TransformGroup("scaled");
    scaled->setScale({2, 2, 2});
    root->addChild(scaled);
    Shape* ground = makeBoxShape("wide", {5, 0.25f, 5});
    scaled->addChild(ground);
    giveBody(*ground, PhysicsObject::kStatic);
    Shape* box = addBox("box", {0, 3, 0}, PhysicsObject::kDynamic, scaled);
    testsupport::ScopedLogCapture log;
    context->addPhysics(*root);
    EXPECT_EQ(log.text(),
              "Physics: box failed. Scale not allowed for kinematic or dynamic objects.\n");
    EXPECT_FALSE(box->getPhysicsObject()->hasRigidBody());
    // The static mesh is 20 x 1 x 20 in the world: a box dropped at x = 8
    // lands on it.
    Shape* faller = addBox("faller", {8, 5, 0});
    context->addPhysics(*faller);
    frames(180);
    EXPECT_NEAR(worldY(faller), 1.0f, 0.03f);
}

TEST_F(PhysicsWorld, BadGeometryIsRefusedWithItsMessage) {
    *context->parallelFlag() = false;
    auto* flat = new Shape("flat");
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}};
    MeshTriangle triangle;
    triangle.corners[1].position = 1;
    triangle.corners[2].position = 2;
    mesh->triangles.push_back(triangle);
    flat->setGeometry(new IndexedFaceSetGeometry("flatGeometry", std::move(mesh), 0));
    root->addChild(flat);
    giveBody(*flat, PhysicsObject::kDynamic);
    testsupport::ScopedLogCapture log;
    context->addPhysics(*root);
    EXPECT_EQ(log.text(), "Physics: flat failed. Too many vertices or bad geometry.\n");
    EXPECT_EQ(context->getNumBodies(), 0u);
}

TEST(PhysicsAllocator, HeadersKeepAlignmentAndFullSizes) {
    PhysicsDebugUserAllocator allocator;
    void* a = allocator.allocate(24);
    void* b = allocator.allocate(1000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    EXPECT_EQ(allocator.getBytesInUse(), 1024u);
    b = allocator.reallocate(b, 3000);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    EXPECT_EQ(allocator.getBytesInUse(), 3024u);
    allocator.release(a);
    allocator.release(b);
    EXPECT_EQ(allocator.getBytesInUse(), 0u);
    EXPECT_EQ(allocator.getMaxBytesInUse(), 3024u);
    EXPECT_EQ(allocator.getTotalAllocations(), 2u);
    EXPECT_EQ(allocator.getLiveAllocations(), 0u);
    // A size that does not fit beside the header is refused, not wrapped.
    EXPECT_EQ(allocator.allocate(SIZE_MAX - 8), nullptr);
}

TEST_F(PhysicsWorld, MemoryStatisticsCountTheLibrarysBlocks) {
    startWith("<physics><memory_stats enable=\"true\"/></physics>");
    addGround();
    addBox("box", {0, 2, 0});
    context->addPhysics(*root);
    frames(3);
    const PhysicsDebugUserAllocator* allocator = PhysicsManager::get().getAllocator();
    ASSERT_NE(allocator, nullptr);
    EXPECT_GT(allocator->getLiveAllocations(), 0u);
    EXPECT_NE(context->getStatsText().find("Mem usage "), std::string::npos);
    root.reset();
    PhysicsManager::get().shutdown();
}

}  // namespace
