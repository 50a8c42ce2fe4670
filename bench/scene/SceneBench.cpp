// Per-frame costs of the scene graph: moving many nodes and reading their
// world matrices, recomputing bounds after one deep node moved, and the
// smallest enclosing sphere of a large point set. Every benchmark reports the
// heap allocations it made per iteration ("allocs"), which must stay 0 for
// the per-frame work.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "AllocationCounter.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

using benchsupport::reportAllocations;

namespace {

constexpr int kFanOut = 10;  // 10 x 10 x 10 x 10 = 10 000 leaves at depth 4

// Fills `leaves` with the nodes at depth 4 below `root`; `makeLeaf` creates
// each one.
template <typename MakeLeaf>
void buildTree(TransformGroup& root, std::vector<TransformGroup*>& leaves, MakeLeaf makeLeaf) {
    std::vector<TransformGroup*> level = {&root};
    for (int depth = 1; depth <= 4; ++depth) {
        std::vector<TransformGroup*> next;
        for (TransformGroup* parent : level) {
            for (int i = 0; i < kFanOut; ++i) {
                TransformGroup* child = depth == 4 ? makeLeaf() : new TransformGroup("group");
                child->setTranslation({static_cast<float>(i), static_cast<float>(depth), 0});
                parent->addChild(child);
                next.push_back(child);
            }
        }
        level.swap(next);
    }
    leaves = level;
}

// Sets the translation of all 10 000 leaves, then reads every leaf's world
// matrix.
void BM_MoveLeavesAndReadWorldMatrices(benchmark::State& state) {
    TransformGroup root("root");
    std::vector<TransformGroup*> leaves;
    buildTree(root, leaves, [] { return new TransformGroup("leaf"); });
    float t = 0.0f;
    size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        t += 0.001f;
        for (TransformGroup* leaf : leaves) {
            leaf->setTranslation({t, 0, 0});
        }
        float sum = 0.0f;
        for (TransformGroup* leaf : leaves) {
            sum += leaf->getWorldMatrix().m[12];
        }
        benchmark::DoNotOptimize(sum);
    }
    reportAllocations(state, before);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(leaves.size()));
}
BENCHMARK(BM_MoveLeavesAndReadWorldMatrices)->Unit(benchmark::kMicrosecond);

// The same tree with the top node moved each time: every world matrix below
// it is recomputed.
void BM_MoveTopAndReadWorldMatrices(benchmark::State& state) {
    TransformGroup root("root");
    std::vector<TransformGroup*> leaves;
    buildTree(root, leaves, [] { return new TransformGroup("leaf"); });
    auto* top = static_cast<TransformGroup*>(root.getChildAt(0));
    float t = 0.0f;
    size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        t += 0.001f;
        top->setTranslation({t, 0, 0});
        float sum = 0.0f;
        for (TransformGroup* leaf : leaves) {
            sum += leaf->getWorldMatrix().m[12];
        }
        benchmark::DoNotOptimize(sum);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_MoveTopAndReadWorldMatrices)->Unit(benchmark::kMicrosecond);

struct ShapeScene {
    TransformGroup root{"root"};
    std::vector<TransformGroup*> shapes;

    ShapeScene() {
        auto mesh = std::make_unique<MeshData>();
        mesh->positions = {{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        MeshTriangle triangle;
        for (uint32_t c = 0; c < 3; ++c) {
            triangle.corners[c].position = c;
        }
        mesh->triangles.push_back(triangle);
        RefPtr<Geometry> geometry(new IndexedFaceSetGeometry("shared", std::move(mesh), 0));
        buildTree(root, shapes, [&] {
            auto* shape = new Shape("shape");
            shape->setGeometry(geometry.get());
            return shape;
        });
    }
};

// 10 000 shapes with clean bounds; one shape at depth 4 moves, then the
// root's world bounds are brought up to date (the dirty path only).
void BM_MoveOneDeepShapeAndRecomputeRootBounds(benchmark::State& state) {
    ShapeScene scene;
    auto* moved = static_cast<TransformGroup*>(scene.shapes[scene.shapes.size() / 2]);
    scene.root.getWorldBounds(0);
    float t = 0.0f;
    size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        t += 0.001f;
        moved->setTranslation({t, 4, 0});
        benchmark::DoNotOptimize(scene.root.getWorldBounds(0).getRadius());
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_MoveOneDeepShapeAndRecomputeRootBounds)->Unit(benchmark::kMicrosecond);

// As above, then the world bounds of all 10 000 shapes are read, as a
// culling walk does each frame.
void BM_MoveOneDeepShapeAndReadAllWorldBounds(benchmark::State& state) {
    ShapeScene scene;
    auto* moved = static_cast<TransformGroup*>(scene.shapes[scene.shapes.size() / 2]);
    float t = 0.0f;
    size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        t += 0.001f;
        moved->setTranslation({t, 4, 0});
        float sum = scene.root.getWorldBounds(0).getRadius();
        for (TransformGroup* shape : scene.shapes) {
            sum += shape->getWorldBounds(0).getRadius();
        }
        benchmark::DoNotOptimize(sum);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_MoveOneDeepShapeAndReadAllWorldBounds)->Unit(benchmark::kMicrosecond);

// 100 000 points, uniform in a box (argument 0) or on a sphere's surface
// (argument 1, where many points are support candidates).
void BM_SmallestEnclosingSphere(benchmark::State& state) {
    const size_t count = 100000;
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
    std::vector<Vector3> points(count);
    for (Vector3& p : points) {
        p = {coord(rng), coord(rng), coord(rng)};
        if (state.range(0) == 1) {
            p = normalize(p) * 100.0f;
        }
    }
    BoundingSphere sphere;
    for (auto _ : state) {
        sphere.setFromPoints(&points[0].x, points.size());
        benchmark::DoNotOptimize(sphere.getRadius());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(BM_SmallestEnclosingSphere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
