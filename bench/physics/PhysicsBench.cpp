// 1000 boxes falling onto a plane and piling up, stepped through the
// engine's physics layer and through bare Bullet with the same world
// settings, in the same run; and the cost of copying simulated poses back
// to the scene nodes.
//
//   build-bench/bin/physics_bench
//
// "RatioOursOverBare" reports ours / bare per step (the target is at most
// 1.2); "PoseWriteBack" reports the time per moved body of the step section
// that writes poses to nodes.

#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "physics/IPhysicsHost.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "physics/sdk/IPhysicsScene.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

namespace {

constexpr int kBoxes = 1000;
constexpr int kSteps = 240;
constexpr float kStep = 1.0f / 60.0f;

// Boxes in a 10 x 10 grid, 10 layers high, slightly offset so they topple.
Vector3 boxPosition(int i) {
    int layer = i / 100;
    int row = (i / 10) % 10;
    int column = i % 10;
    return {column * 1.2f - 6.0f + 0.1f * (layer % 2), 2.0f + layer * 1.5f,
            row * 1.2f - 6.0f + 0.05f * (layer % 3)};
}

std::vector<float> boxCorners(float half) {
    std::vector<float> points;
    for (int i = 0; i < 8; ++i) {
        points.push_back((i & 1) ? half : -half);
        points.push_back((i & 2) ? half : -half);
        points.push_back((i & 4) ? half : -half);
    }
    return points;
}

const float kPlane[] = {-100, 0, -100, 100, 0, -100, 100, 0, 100, -100, 0, 100};
const uint32_t kPlaneIndices[] = {0, 2, 1, 0, 3, 2};

// ---- through our layer --------------------------------------------------------

struct OurWorld {
    std::unique_ptr<IPhysicsScene> scene = createPhysicsScene(PhysicsSceneDesc{});

    OurWorld() {
        PhysicsActorDesc ground;
        PhysicsShapeDesc plane;
        plane.type = PhysicsShapeDesc::Type::TriangleMesh;
        plane.triangleMesh = scene->createTriangleMesh(kPlane, 4, 3, kPlaneIndices, 6);
        ground.shapes.push_back(plane);
        scene->createActor(ground);
        std::vector<float> corners = boxCorners(0.5f);
        RefPtr<IPhysicsConvexMesh> mesh = scene->createConvexMesh(corners.data(), 8, 3);
        for (int i = 0; i < kBoxes; ++i) {
            PhysicsActorDesc box;
            box.type = PhysicsBodyType::Dynamic;
            box.globalPose = Matrix4::translation(boxPosition(i));
            PhysicsShapeDesc shape;
            shape.convexMesh = mesh;
            box.shapes.push_back(shape);
            scene->createActor(box);
        }
    }
    void step() {
        scene->simulate(kStep);
        scene->fetchResults();
    }
};

// ---- bare Bullet, the same settings -------------------------------------------

btScalar averageFriction(const btCollisionObject* a, const btCollisionObject* b) {
    return (a->getFriction() + b->getFriction()) * btScalar(0.5);
}

struct BareWorld {
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &configuration};
    btTriangleIndexVertexArray planeArray;
    std::unique_ptr<btBvhTriangleMeshShape> planeShape;
    std::unique_ptr<btConvexHullShape> boxShape;
    std::vector<std::unique_ptr<btDefaultMotionState>> states;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
    int planeIndices[6] = {0, 2, 1, 0, 3, 2};

    BareWorld() {
        gCalculateCombinedFrictionCallback = averageFriction;
        world.setGravity(btVector3(0, -9.81f, 0));
        btIndexedMesh part;
        part.m_numTriangles = 2;
        part.m_triangleIndexBase = reinterpret_cast<const unsigned char*>(planeIndices);
        part.m_triangleIndexStride = 3 * sizeof(int);
        part.m_numVertices = 4;
        part.m_vertexBase = reinterpret_cast<const unsigned char*>(kPlane);
        part.m_vertexStride = 3 * sizeof(float);
        planeArray.addIndexedMesh(part, PHY_INTEGER);
        planeShape = std::make_unique<btBvhTriangleMeshShape>(&planeArray, true, true);
        add(planeShape.get(), 0, btVector3(0, 0, 0));
        // The same hull: shrunk by the margin, rounded by it.
        boxShape = std::make_unique<btConvexHullShape>();
        for (int i = 0; i < 8; ++i) {
            boxShape->addPoint(btVector3((i & 1) ? 0.49f : -0.49f, (i & 2) ? 0.49f : -0.49f,
                                         (i & 4) ? 0.49f : -0.49f),
                               false);
        }
        boxShape->setMargin(0.01f);
        boxShape->recalcLocalAabb();
        for (int i = 0; i < kBoxes; ++i) {
            Vector3 p = boxPosition(i);
            add(boxShape.get(), 1.0f, btVector3(p.x, p.y, p.z));
        }
    }
    void add(btCollisionShape* shape, float mass, const btVector3& position) {
        btTransform transform = btTransform::getIdentity();
        transform.setOrigin(position);
        states.push_back(std::make_unique<btDefaultMotionState>(transform));
        btVector3 inertia(0, 0, 0);
        if (mass > 0) {
            inertia = btVector3(1, 1, 1) * (mass / 6.0f);
        }
        btRigidBody::btRigidBodyConstructionInfo info(mass, states.back().get(), shape, inertia);
        info.m_friction = 0.5f;
        info.m_linearDamping = btScalar(1.0 - std::exp(-0.5));
        info.m_angularDamping = btScalar(1.0 - std::exp(-0.5));
        bodies.push_back(std::make_unique<btRigidBody>(info));
        world.addRigidBody(bodies.back().get(), 255, 255);
    }
    ~BareWorld() {
        for (auto& body : bodies) {
            world.removeRigidBody(body.get());
        }
    }
    void step() { world.stepSimulation(kStep, 2, kStep); }
};

template <typename World>
double runSteps(World& world) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSteps; ++i) {
        world.step();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kSteps;
}

template <typename World>
void BM_Step(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<World>();
        state.ResumeTiming();
        for (int i = 0; i < kSteps; ++i) {
            world->step();
        }
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kSteps);
}
BENCHMARK(BM_Step<OurWorld>)->Name("StepOurs")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Step<BareWorld>)->Name("StepBareBullet")->Unit(benchmark::kMillisecond)->Iterations(3);

// Both worlds in each iteration, alternating which goes first.
void BM_RatioOursOverBare(benchmark::State& state) {
    double ours = 0.0;
    double bare = 0.0;
    int round = 0;
    for (auto _ : state) {
        auto a = std::make_unique<OurWorld>();
        auto b = std::make_unique<BareWorld>();
        if (round++ % 2 == 0) {
            ours += runSteps(*a);
            bare += runSteps(*b);
        } else {
            bare += runSteps(*b);
            ours += runSteps(*a);
        }
    }
    state.counters["ours_us_per_step"] = ours / round * 1e6;
    state.counters["bare_us_per_step"] = bare / round * 1e6;
    state.counters["ratio"] = ours / bare;
}
BENCHMARK(BM_RatioOursOverBare)->Unit(benchmark::kSecond)->Iterations(4);

// ---- pose write-back -------------------------------------------------------------

// Times the step section that copies the simulated poses to the nodes.
class SectionTimer : public IPhysicsHost {
public:
    void enterSection(const char* name) override {
        if (std::string(name) == "update dynamic objects") {
            m_start = std::chrono::steady_clock::now();
            m_timing = true;
        }
    }
    void leaveSection() override {
        if (m_timing) {
            total +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
            m_timing = false;
        }
    }
    bool isDebugDrawingOn() const override { return false; }
    void addDebugLine(const Vector3&, const Vector3&, const float*) override {}
    double total = 0.0;

private:
    std::chrono::steady_clock::time_point m_start;
    bool m_timing = false;
};

void BM_PoseWriteBack(benchmark::State& state) {
    SceneEvents::allocateEventKinds();
    double perBody = 0.0;
    int rounds = 0;
    for (auto _ : state) {
        ScenegraphPhysicsContext context{PhysicsConfig{}};
        *context.parallelFlag() = false;
        context.getScene().setGravity({0, 0, 0});
        SectionTimer timer;
        context.setHost(&timer);
        TransformGroup root("root");
        RefPtr<Geometry> geometry(
            new IndexedFaceSetGeometry("box", makeBoxMesh({0.5f, 0.5f, 0.5f}), 0));
        for (int i = 0; i < kBoxes; ++i) {
            auto* shape = new Shape("box");
            shape->setGeometry(geometry.get());
            shape->setTranslation(boxPosition(i));
            shape->setPhysicsObject(std::make_unique<PhysicsRBObject>(
                *shape, PhysicsRBObject::kDefaultState | PhysicsObject::kDynamic));
            root.addChild(shape);
        }
        context.addPhysics(root);
        // Every body moves every step: no gravity, no contacts, a velocity.
        for (Node* child : root.getChildren()) {
            auto* body = static_cast<PhysicsRBObject*>(
                static_cast<ScenegraphNode*>(child)->getPhysicsObject());
            body->getActor()->setLinearVelocity({0, 1, 0});
        }
        constexpr int kSteps = 60;
        for (int i = 0; i < kSteps; ++i) {
            context.step(1000.0f / 60.0f);
        }
        perBody += timer.total / (kSteps * double(kBoxes));
        ++rounds;
        context.setHost(nullptr);
    }
    state.counters["ns_per_moved_body"] = perBody / rounds * 1e9;
}
BENCHMARK(BM_PoseWriteBack)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
