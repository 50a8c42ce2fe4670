// The per-frame cost of animation: 1 000 transform groups moved by one
// character set with two blended tracks playing clips of 30 keyframes,
// reported per group, and the heap allocations per frame ("allocs", which
// must stay 0).

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "AllocationCounter.h"
#include "animation/CharacterSet.h"
#include "scene/TransformGroup.h"

namespace {

constexpr int kGroups = 1000;
constexpr int kKeyframes = 30;

std::unique_ptr<Clip> makeClip(const char* name, float phase) {
    auto clip = std::make_unique<Clip>(name, 1000.0f);
    for (int g = 0; g < kGroups; ++g) {
        KeyframeTrack& track = clip->addTrack();
        for (int k = 0; k < kKeyframes; ++k) {
            Keyframe key;
            key.time = 1000.0f * static_cast<float>(k) / (kKeyframes - 1);
            key.attributes = KeyframeAttribute::Translation | KeyframeAttribute::Rotation;
            key.easeOut = (k % 2) != 0 ? 0x7u : 0u;
            const float v = phase + static_cast<float>(k + g % 7);
            key.translation = {v, 0.5f * v, 0.0f};
            key.rotation = {0.1f * v, 0.0f, -0.1f * v};
            track.addKeyframe(key);
        }
        track.finish();
    }
    return clip;
}

void BM_UpdateTwoBlendedTracks(benchmark::State& state) {
    TransformGroup root("root");
    std::vector<Node*> groups;
    for (int g = 0; g < kGroups; ++g) {
        auto* group = new TransformGroup("bone");
        root.addChild(group);
        groups.push_back(group);
    }
    auto* set = new CharacterSet("crowd");  // held by the groups once bound
    set->getSource().addClip(makeClip("walk", 0.0f));
    set->getSource().addClip(makeClip("wave", 3.0f));
    if (!set->bind(groups)) {
        state.SkipWithError("binding failed");
        return;
    }
    for (int track = 0; track < 2; ++track) {
        set->assignClip(track, track);
        set->setEnabled(track, true);
        set->setLoop(track, true);
        set->setBlendWeight(track, 0.5f);
    }
    set->setSpeedScale(1, 1.3f);
    double now = 0.0;
    set->update(now);
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        now += 16.7;
        set->update(now);
        benchmark::DoNotOptimize(static_cast<TransformGroup*>(groups[0])->getLocalMatrix());
    }
    benchsupport::reportAllocations(state, before);
    state.SetItemsProcessed(state.iterations() * kGroups);
    state.counters["per group"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kGroups),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UpdateTwoBlendedTracks)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
