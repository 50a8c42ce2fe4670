// Subdivision surfaces on a closed 1 000-triangle torus: building levels 1
// to N (Butterfly and Loop), and the per-frame cost of blending level 3 into
// its vertex list while the camera moves, with the heap allocations per
// frame ("allocs", which must stay 0).

#include <benchmark/benchmark.h>

#include <memory>

#include "AllocationCounter.h"
#include "scene/SubDsGeometry.h"

namespace {

constexpr uint32_t kRings = 25;
constexpr uint32_t kSides = 20;  // 25 x 20 quads, 1 000 triangles

void buildLevels(benchmark::State& state, bool loop) {
    const int level = static_cast<int>(state.range(0));
    std::unique_ptr<SubDsGeometry> geometry;
    for (auto _ : state) {
        // Making the control mesh (and dropping the last one) is not timed.
        state.PauseTiming();
        geometry.reset();
        geometry =
            std::make_unique<SubDsGeometry>("subd_torus", makeTorusMesh(kRings, kSides, 3.0f, 1.0f),
                                            VertexAttribute::Normal | VertexAttribute::TexCoords0);
        geometry->setLoopScheme(loop);
        state.ResumeTiming();
        geometry->setLevel(level, 1.0f);
        benchmark::DoNotOptimize(geometry->getLevelMesh(level));
    }
    state.counters["triangles"] = static_cast<double>(1000u << (2 * level));
}

void BM_BuildLevelsButterfly(benchmark::State& state) {
    buildLevels(state, false);
}
BENCHMARK(BM_BuildLevelsButterfly)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

void BM_BuildLevelsLoop(benchmark::State& state) {
    buildLevels(state, true);
}
BENCHMARK(BM_BuildLevelsLoop)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

// The camera steps back and forth inside level 3 (active distance 100, top
// level 4) between blending in (0.08) and fully shown: level 3 has one blend
// step, which every frame crosses, so every frame refills its 64 000
// triangles.
void BM_BlendLevel3PerFrame(benchmark::State& state) {
    SubDsGeometry geometry("subd_torus", makeTorusMesh(kRings, kSides, 3.0f, 1.0f),
                           VertexAttribute::Normal | VertexAttribute::TexCoords0);
    SubDsSettings settings;
    settings.activeDistance = 100.0f;
    settings.maxLevel = 4;
    const float distances[] = {49.0f, 35.0f};
    geometry.chooseLevel(distances[0], settings);
    if (geometry.getCurrentLevel() != 3) {
        state.SkipWithError("not at level 3");
        return;
    }
    size_t frame = 0;
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        geometry.chooseLevel(distances[++frame % 2], settings);
        benchmark::DoNotOptimize(geometry.getLevelMesh(3)->vertices.data());
    }
    benchsupport::reportAllocations(state, before);
}
BENCHMARK(BM_BlendLevel3PerFrame)->Unit(benchmark::kMicrosecond);

// The same frames without a change of blend step: the level choice alone.
void BM_ChooseLevelWithoutChange(benchmark::State& state) {
    SubDsGeometry geometry("subd_torus", makeTorusMesh(kRings, kSides, 3.0f, 1.0f),
                           VertexAttribute::Normal);
    SubDsSettings settings;
    settings.activeDistance = 100.0f;
    settings.maxLevel = 4;
    float distance = 45.0f;
    geometry.chooseLevel(distance, settings);
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        distance = distance == 45.0f ? 44.9f : 45.0f;
        geometry.chooseLevel(distance, settings);
    }
    benchsupport::reportAllocations(state, before);
}
BENCHMARK(BM_ChooseLevelWithoutChange)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
