// Wheel shapes and character controllers per simulation step: 100 vehicles
// (four wheels each) circling on a height field, and 200 capsule
// controllers walking on a triangle mesh, stepped through the physics SDK
// layer.
//
//   build/bin/physics_vehicle_bench
//
// Each case reports the time of one step (moves included) and, in
// "allocs_per_step", the heap allocations a step made once running (memory
// blocks of C++ and of Bullet together); the target is 0.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "physics/sdk/IPhysicsScene.h"
#include "physics/sdk/PhysicsDebugUserAllocator.h"

namespace {

std::atomic<uint64_t> g_newCalls{0};

}  // namespace

// Every C++ allocation of the program is counted.
void* operator new(size_t size) {
    g_newCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

// The compiler cannot see that the replaced operator new above is the one
// that used malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

constexpr float kStep = 1.0f / 60.0f;
constexpr int kVehicles = 100;
constexpr int kControllers = 200;
constexpr int kWarmUpSteps = 120;

std::vector<float> boxCorners(Vector3 half) {
    std::vector<float> points;
    for (int i = 0; i < 8; ++i) {
        points.push_back((i & 1) ? half.x : -half.x);
        points.push_back((i & 2) ? half.y : -half.y);
        points.push_back((i & 4) ? half.z : -half.z);
    }
    return points;
}

// Counts the allocations of the steps run between start and stop.
class AllocationCounter {
public:
    AllocationCounter() { setPhysicsAllocator(&m_bullet); }
    ~AllocationCounter() { setPhysicsAllocator(nullptr); }
    void start() {
        m_newAtStart = g_newCalls.load();
        m_bulletAtStart = m_bullet.getTotalAllocations();
    }
    uint64_t stop() const {
        return (g_newCalls.load() - m_newAtStart) +
               (m_bullet.getTotalAllocations() - m_bulletAtStart);
    }

private:
    PhysicsDebugUserAllocator m_bullet;
    uint64_t m_newAtStart = 0;
    uint64_t m_bulletAtStart = 0;
};

void stepOnce(IPhysicsScene& scene) {
    scene.simulate(kStep);
    scene.fetchResults();
}

// ---- vehicles on a height field ------------------------------------------------

void BM_VehiclesOnHeightField(benchmark::State& state) {
    AllocationCounter counter;
    {
        std::unique_ptr<IPhysicsScene> scene = createPhysicsScene(PhysicsSceneDesc{});
        // 257 x 257 samples, 1 unit apart, rolling hills up to 1.5 units.
        const uint32_t side = 257;
        std::vector<uint16_t> samples(size_t(side) * side);
        for (uint32_t i = 0; i < side; ++i) {
            for (uint32_t j = 0; j < side; ++j) {
                float h = 0.75f + 0.75f * std::sin(float(i) * 0.15f) * std::cos(float(j) * 0.12f);
                samples[size_t(i) * side + j] = uint16_t(h * 1000.0f);
            }
        }
        PhysicsHeightFieldDesc field;
        field.rows = side;
        field.columns = side;
        field.samples = samples.data();
        field.heightScale = 0.001f;
        PhysicsActorDesc ground;
        PhysicsShapeDesc shape;
        shape.type = PhysicsShapeDesc::Type::HeightField;
        shape.heightField = scene->createHeightField(field);
        shape.localPose = Matrix4::translation({-128, 0, -128});
        ground.shapes.push_back(shape);
        scene->createActor(ground);

        std::vector<float> corners = boxCorners({1, 0.25f, 2});
        RefPtr<IPhysicsConvexMesh> body = scene->createConvexMesh(corners.data(), 8, 3);
        std::vector<IPhysicsWheelShape*> wheels;
        for (int v = 0; v < kVehicles; ++v) {
            PhysicsActorDesc car;
            car.type = PhysicsBodyType::Dynamic;
            car.globalPose = Matrix4::translation(
                {float(v % 10) * 20.0f - 90.0f, 3.0f, float(v / 10) * 20.0f - 90.0f});
            car.density = 250.0f;
            PhysicsShapeDesc chassis;
            chassis.convexMesh = body;
            car.shapes.push_back(chassis);
            IPhysicsActor* actor = scene->createActor(car);
            for (float x : {-0.9f, 0.9f}) {
                for (float z : {1.5f, -1.5f}) {
                    PhysicsWheelShapeDesc wheel;
                    wheel.localPose = Matrix4::translation({x, -0.25f, z});
                    wheel.radius = 0.4f;
                    wheel.suspensionTravel = 0.3f;
                    wheel.spring = 35000.0f;
                    wheel.damper = 4000.0f;
                    wheel.inverseWheelMass = 0.05f;
                    // Driving in circles, so that they stay on the field.
                    wheel.motorTorque = 150.0f;
                    wheel.steerAngle = z > 0 ? 0.35f : 0.0f;
                    wheels.push_back(scene->createWheelShape(actor, wheel));
                }
            }
        }
        for (int i = 0; i < kWarmUpSteps; ++i) {
            stepOnce(*scene);
        }
        uint64_t steps = 0;
        counter.start();
        for (auto _ : state) {
            stepOnce(*scene);
            ++steps;
        }
        state.counters["allocs_per_step"] = double(counter.stop()) / double(steps);
        state.counters["wheels"] = double(wheels.size());
    }
}
BENCHMARK(BM_VehiclesOnHeightField)->Unit(benchmark::kMicrosecond);

// ---- controllers on a mesh -----------------------------------------------------

void BM_ControllersOnMesh(benchmark::State& state) {
    AllocationCounter counter;
    {
        std::unique_ptr<IPhysicsScene> scene = createPhysicsScene(PhysicsSceneDesc{});
        // A 64 x 64 grid of 2-unit quads with small bumps.
        const int cells = 64;
        std::vector<float> vertices;
        std::vector<uint32_t> indices;
        for (int i = 0; i <= cells; ++i) {
            for (int j = 0; j <= cells; ++j) {
                float h = 0.1f * std::sin(float(i) * 0.7f) * std::sin(float(j) * 0.5f);
                vertices.insert(vertices.end(),
                                {float(i) * 2.0f - 64.0f, h, float(j) * 2.0f - 64.0f});
            }
        }
        for (int i = 0; i < cells; ++i) {
            for (int j = 0; j < cells; ++j) {
                uint32_t a = uint32_t(i * (cells + 1) + j);
                uint32_t b = a + uint32_t(cells + 1);
                indices.insert(indices.end(), {a, a + 1, b, b, a + 1, b + 1});
            }
        }
        PhysicsActorDesc ground;
        PhysicsShapeDesc shape;
        shape.type = PhysicsShapeDesc::Type::TriangleMesh;
        shape.triangleMesh = scene->createTriangleMesh(vertices.data(), vertices.size() / 3, 3,
                                                       indices.data(), indices.size());
        ground.shapes.push_back(shape);
        scene->createActor(ground);

        std::vector<IPhysicsCharacterController*> walkers;
        for (int c = 0; c < kControllers; ++c) {
            PhysicsCapsuleControllerDesc desc;
            desc.position = {float(c % 20) * 5.0f - 50.0f, 1.5f, float(c / 20) * 10.0f - 50.0f};
            desc.radius = 0.3f;
            desc.height = 1.0f;
            desc.skinWidth = 0.05f;
            desc.stepOffset = 0.4f;
            walkers.push_back(scene->createCapsuleController(desc));
        }
        int frame = 0;
        auto walk = [&]() {
            // Each walks a circle of its own phase.
            for (size_t c = 0; c < walkers.size(); ++c) {
                float angle = float(frame) * 0.02f + float(c);
                walkers[c]->move({0.05f * std::cos(angle), -0.1f, 0.05f * std::sin(angle)}, 255);
            }
            stepOnce(*scene);
            ++frame;
        };
        for (int i = 0; i < kWarmUpSteps; ++i) {
            walk();
        }
        uint64_t steps = 0;
        counter.start();
        for (auto _ : state) {
            walk();
            ++steps;
        }
        state.counters["allocs_per_step"] = double(counter.stop()) / double(steps);
    }
}
BENCHMARK(BM_ControllersOnMesh)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
