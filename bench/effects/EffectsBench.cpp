// The per-frame work of the effects: moving, ageing and emitting 10 000
// particles (with and without the depth sort) and writing their quads; moving
// and wrapping 10 000 drops and writing theirs. Reported per particle or
// drop; the frames allocate nothing (the storage is sized at creation).

#include <benchmark/benchmark.h>

#include <memory>

#include "AllocationCounter.h"
#include "effects/ParticleSystem.h"
#include "effects/Precipitation.h"

namespace {

constexpr int kCount = 10000;
constexpr float kFrameMs = 16.0f;

RefPtr<Geometry> makeEmitter() {
    // A 10 x 10 grid of quads facing up.
    auto mesh = std::make_unique<MeshData>();
    for (int z = 0; z <= 10; ++z) {
        for (int x = 0; x <= 10; ++x) {
            mesh->positions.push_back({float(x), 0.0f, float(z)});
        }
    }
    for (uint32_t z = 0; z < 10; ++z) {
        for (uint32_t x = 0; x < 10; ++x) {
            const uint32_t a = z * 11 + x;
            const uint32_t triangles[2][3] = {{a, a + 11, a + 1}, {a + 1, a + 11, a + 12}};
            for (const auto& corners : triangles) {
                MeshTriangle triangle;
                for (int c = 0; c < 3; ++c) {
                    triangle.corners[c].position = corners[c];
                }
                mesh->triangles.push_back(triangle);
            }
        }
    }
    return RefPtr<Geometry>(new IndexedFaceSetGeometry("emitter", std::move(mesh), 0));
}

EffectView benchView() {
    EffectView view;
    view.position = {5.0f, 3.0f, 30.0f};
    return view;
}

void particleFrame(benchmark::State& state) {
    RefPtr<Geometry> emitter = makeEmitter();
    ParticleSystemDesc desc;
    desc.maxCount = kCount;
    desc.lifespan = 2000.0f;
    // 10 000 alive at the steady state: 5 per ms for 2 000 ms.
    desc.rate = float(kCount) / desc.lifespan;
    desc.tangentSpeed = 0.5f;
    desc.gravity = {0.0f, -9.81f, 0.0f};
    desc.air = {1.0f, 0.0f, 0.0f};
    desc.spriteScaleXGain = 0.001f;
    desc.depthSort = state.range(0) != 0;
    RefPtr<ParticleSystem> system = ParticleSystem::create(desc, emitter.get(), {}, 1);
    const EffectView view = benchView();
    for (int frame = 0; frame < 200; ++frame) {
        system->advanceFrame(view, kFrameMs);
    }
    const size_t allocationsBefore = benchsupport::allocationCount();
    for (auto _ : state) {
        system->advanceFrame(view, kFrameMs);
        benchmark::DoNotOptimize(system->getVertexData());
    }
    state.counters["allocs"] =
        benchmark::Counter(double(benchsupport::allocationCount() - allocationsBefore),
                           benchmark::Counter::kAvgIterations);
    state.counters["particles"] = double(system->getNumParticles());
    state.counters["per_particle"] = benchmark::Counter(
        double(system->getNumParticles()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(particleFrame)->Arg(0)->Arg(1)->ArgName("depthSort")->Unit(benchmark::kMicrosecond);

void precipitationFrame(benchmark::State& state) {
    PrecipitationDesc desc;
    desc.maxNumDrops = kCount;
    desc.windVelocity = {0.02f, 0.0f, 0.01f};
    desc.rotateWithCameraVelocity = true;
    RefPtr<Precipitation> rain = Precipitation::create(desc, {}, 1);
    EffectView view = benchView();
    const size_t allocationsBefore = benchsupport::allocationCount();
    for (auto _ : state) {
        // The camera walks, so the box moves and drops wrap.
        view.position.x += 0.2f;
        rain->advanceFrame(view, kFrameMs);
        benchmark::DoNotOptimize(rain->getVertexData());
    }
    state.counters["allocs"] =
        benchmark::Counter(double(benchsupport::allocationCount() - allocationsBefore),
                           benchmark::Counter::kAvgIterations);
    state.counters["drops"] = double(rain->getDrops().size());
    state.counters["per_drop"] = benchmark::Counter(
        double(rain->getDrops().size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(precipitationFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
