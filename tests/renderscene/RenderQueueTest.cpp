// The queue order: opaque entries by shader pair, material and geometry,
// then near to far; blended ones after them far to near; the same result
// whatever order they came in.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/math/RandomGenerator.h"
#include "render/scene/RenderQueue.h"

namespace {

RenderQueueEntry entry(bool blended, float distance, uintptr_t vs, uintptr_t fs, uint32_t sort,
                       uintptr_t geometry = 1) {
    RenderQueueEntry e;
    e.geometry = geometry;
    e.blended = blended;
    e.distance = distance;
    e.vertexShader = vs;
    e.fragmentShader = fs;
    e.materialSort = sort;
    return e;
}

RenderQueueEntry withLights(RenderQueueEntry e, uint64_t lightSet) {
    e.lightSet = lightSet;
    return e;
}

TEST(RenderQueueOrder, ComparatorCases) {
    struct Case {
        const char* what;
        RenderQueueEntry a;
        RenderQueueEntry b;
        bool aFirst;
        bool bFirst;
    };
    const Case cases[] = {
        {"blended: farther first", entry(true, 20, 1, 1, 1), entry(true, 10, 1, 1, 1), true, false},
        {"blended, same distance: by shaders", entry(true, 10, 2, 1, 1), entry(true, 10, 1, 1, 1),
         false, true},
        {"opaque, equal state: nearer first", entry(false, 5, 1, 1, 1), entry(false, 50, 1, 1, 1),
         true, false},
        {"opaque, equal state and distance: tie", entry(false, 5, 1, 1, 1),
         entry(false, 5, 1, 1, 1), false, false},
        {"state before distance", entry(false, 50, 1, 1, 1), entry(false, 5, 1, 1, 2), true, false},
        {"geometry after material", entry(false, 50, 1, 1, 1, 1), entry(false, 5, 1, 1, 1, 2), true,
         false},
        {"blended: geometry after material", entry(true, 5, 1, 1, 1, 2), entry(true, 5, 1, 1, 1, 1),
         false, true},
        {"opaque by vertex shader", entry(false, 5, 1, 9, 9), entry(false, 5, 2, 1, 1), true,
         false},
        {"then fragment shader", entry(false, 5, 1, 2, 1), entry(false, 5, 1, 1, 9), false, true},
        {"then material sort value", entry(false, 5, 1, 1, 3), entry(false, 5, 1, 1, 4), true,
         false},
        {"opaque before blended", entry(true, 99, 1, 1, 1), entry(false, 1, 9, 9, 9), false, true},
        {"light set after geometry", withLights(entry(false, 50, 1, 1, 1), 3),
         withLights(entry(false, 5, 1, 1, 1), 7), true, false},
        {"light set before distance only when opaque", withLights(entry(true, 50, 1, 1, 1), 7),
         withLights(entry(true, 5, 1, 1, 1), 3), true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(renderQueueLess(c.a, c.b), c.aFirst) << c.what;
        EXPECT_EQ(renderQueueLess(c.b, c.a), c.bFirst) << c.what;
    }
}

// Every permutation of a mixed queue sorts to the same sequence of keys,
// and entries with equal keys keep their input order.
TEST(RenderQueueOrder, StableAndIndependentOfInputOrder) {
    const std::vector<RenderQueueEntry> entries = {
        entry(true, 10, 1, 1, 1), entry(false, 3, 2, 1, 1), entry(true, 30, 3, 1, 1),
        entry(false, 7, 1, 1, 2), entry(true, 20, 1, 1, 1), entry(false, 7, 1, 1, 2),
    };
    auto keyOf = [](const RenderQueueEntry& e) {
        return std::to_string(e.blended) + "/" +
               std::to_string(int(e.distance * (e.blended ? 1 : 0))) + "/" +
               std::to_string(e.vertexShader) + std::to_string(e.materialSort);
    };
    std::vector<int> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    std::vector<std::string> first;
    RenderQueue queue;
    do {
        queue.clear();
        for (int i : order) {
            RenderQueueEntry e = entries[size_t(i)];
            e.shape = reinterpret_cast<Shape*>(uintptr_t(i + 1));  // input identity
            queue.add(e);
        }
        queue.sort();
        std::vector<std::string> keys;
        for (const RenderQueueEntry& e : queue.entries()) {
            keys.push_back(keyOf(e));
        }
        if (first.empty()) {
            first = keys;
            EXPECT_EQ(keys.front(), "0/0/12") << "opaque first, by shader";
            EXPECT_EQ(keys.back(), "1/10/11") << "nearest blended last";
        }
        ASSERT_EQ(keys, first);
        // The two opaque entries with equal keys keep their input order.
        std::vector<uintptr_t> inputs;
        for (const RenderQueueEntry& e : queue.entries()) {
            if (!e.blended && e.vertexShader == 1 && e.materialSort == 2) {
                inputs.push_back(reinterpret_cast<uintptr_t>(e.shape));
            }
        }
        const auto a = std::find(order.begin(), order.end(), 3) - order.begin();
        const auto b = std::find(order.begin(), order.end(), 5) - order.begin();
        ASSERT_EQ(inputs.size(), 2u);
        EXPECT_EQ(inputs[0] == 4, a < b);
    } while (std::next_permutation(order.begin(), order.end()));
}

// Queues of many entries give the same order as a stable sort by the
// comparator: few shader pairs (the usual frame), blended entries at equal
// and mixed-sign distances, and more distinct values than a packed key holds.
TEST(RenderQueueOrder, MatchesStableSortByComparator) {
    struct Case {
        const char* what;
        size_t count;
        uintptr_t vertexShaders;
        uintptr_t fragmentShaders;
        uint32_t materials;
        int blendedEvery;
        uintptr_t geometries = 1;
        uint64_t lightSets = 1;
    };
    const Case cases[] = {
        {"few pairs, opaque", 5000, 3, 4, 7, 0},
        {"few pairs, a third blended", 5000, 3, 4, 7, 3},
        {"all blended", 3000, 2, 2, 5, 1},
        {"few pairs, many meshes", 5000, 3, 4, 7, 5, 40},
        {"too many distinct values for one key", 3000, 3000, 2900, 2800, 4},
        {"thousands of meshes", 3000, 3, 4, 7, 4, 2999},
        {"meshes under several light sets", 5000, 3, 4, 7, 5, 40, 16},
    };
    for (const Case& c : cases) {
        std::vector<RenderQueueEntry> input;
        RandomGenerator random(12345);
        auto next = [&random]() { return static_cast<uint32_t>(random.next()); };
        for (size_t i = 0; i < c.count; ++i) {
            const bool blended = c.blendedEvery > 0 && next() % c.blendedEvery == 0;
            // Distances repeat, and −0 and +0 are equal.
            const float distance = float(int(next() % 64) - 8) * 0.5f + (i % 7 == 0 ? -0.0f : 0.0f);
            RenderQueueEntry e =
                entry(blended, distance, 0x1000 + 16 * (next() % c.vertexShaders),
                      0x8000 + 16 * (next() % c.fragmentShaders), next() % c.materials,
                      0x40000 + 64 * (next() % c.geometries));
            // Light set identities are hashes: spread over 64 bits.
            e.lightSet = (next() % c.lightSets) * 0x9E3779B97F4A7C15ull;
            e.shape = reinterpret_cast<Shape*>(uintptr_t(i + 1));
            input.push_back(e);
        }
        std::vector<RenderQueueEntry> expected = input;
        std::stable_sort(expected.begin(), expected.end(), renderQueueLess);
        RenderQueue queue;
        for (const RenderQueueEntry& e : input) {
            queue.add(e);
        }
        queue.sort();
        ASSERT_EQ(queue.size(), expected.size()) << c.what;
        size_t mismatches = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            mismatches += queue.entries()[i].shape != expected[i].shape;
        }
        EXPECT_EQ(mismatches, 0u) << c.what;
    }
}

}  // namespace
