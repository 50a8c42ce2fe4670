// Light groups of one shape from a sorted light list: shadow groups first,
// one plain group after them, at most four lights, the configuration words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/math/RandomGenerator.h"
#include "render/scene/LightAssignment.h"
#include "render/shader/ShaderKey.h"
#include "scene/BoundingSphere.h"
#include "scene/LightSource.h"
#include "scene/TransformGroup.h"

namespace {

struct LightSetup {
    const char* name;
    int type;
    Vector3 position;
    float range;
    bool castsShadow;
};

// Each group as its light names separated by spaces, "*" after the names of
// a group with the shadow bit.
std::vector<std::string> describe(const LightGroups& groups) {
    std::vector<std::string> out;
    for (int g = 0; g < groups.count; ++g) {
        std::string text;
        for (int i = 0; i < groups.groups[g].count; ++i) {
            text += (i ? " " : "") + groups.groups[g].lights[i]->light->getName();
        }
        if (groups.groups[g].shadow) {
            text += "*";
        }
        out.push_back(text);
    }
    return out;
}

class Lights {
public:
    explicit Lights(const std::vector<LightSetup>& setups) {
        for (const LightSetup& setup : setups) {
            LightSource::Settings settings;
            settings.type = setup.type;
            settings.range = setup.range;
            settings.castsShadowMap = setup.castsShadow;
            auto* light = new LightSource(setup.name, settings);
            light->setTranslation(setup.position);
            root.addChild(light);
            // The camera is at the origin.
            const float distance = std::sqrt(dot(setup.position, setup.position));
            list.add(*light, light->getWorldMatrix(), distance, setup.castsShadow);
        }
        list.sort();
    }
    TransformGroup root{"root"};
    LightList list;
};

TEST(LightAssignment, GroupsPerCase) {
    const LightSetup spotShadow{"spot", LightSource::Spot, {0, 5, 0}, 10, true};
    const LightSetup pointA{"a", LightSource::Point, {3, 0, 0}, 10, false};
    const LightSetup pointB{"b", LightSource::Point, {0, 0, 4}, 10, false};
    const LightSetup sun{"sun", LightSource::Directional, {0, 9000, 0}, 1, true};
    struct Case {
        const char* what;
        std::vector<LightSetup> lights;
        bool receives;
        float quality;
        float shapeDistance;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"shadow spot and two points", {pointA, spotShadow, pointB}, true, 1, 0, {"spot*", "a b"}},
        {"shadow quality 0", {pointA, spotShadow, pointB}, true, 0, 0, {"a b spot"}},
        {"shape receives no shadows", {pointA, spotShadow, pointB}, false, 1, 0, {"a b spot"}},
        {"fifth light dropped, nearest reach first",
         {{"p1", LightSource::Point, {9, 0, 0}, 10, false},
          {"p2", LightSource::Point, {2, 0, 0}, 10, false},
          {"p3", LightSource::Point, {5, 0, 0}, 10, false},
          {"p4", LightSource::Point, {0, 3, 0}, 10, false},
          {"p5", LightSource::Point, {0, 0, 7}, 10, false}},
         false,
         0,
         0,
         {"p2 p4 p3 p5"}},
        {"ambient and out-of-reach lights stay out",
         {{"amb", LightSource::Ambient, {0, 0, 0}, 100, false},
          {"far", LightSource::Point, {50, 0, 0}, 10, false},
          {"negative", LightSource::Point, {2, 0, 0}, -3, false},
          pointA},
         true,
         1,
         0,
         {"a"}},
        // The sun's shadow reaches 1.5 × 80 = 120 units.
        {"directional shadow at its far end", {sun, pointA}, true, 1, 121, {"sun*", "a"}},
        {"directional shadow beyond its far end", {sun, pointA}, true, 1, 122, {"sun a"}},
    };
    for (const Case& c : cases) {
        Lights lights(c.lights);
        // Radius 1 at the origin; its distance from the camera as given.
        BoundingSphere bounds({0, 0, 0}, 1);
        LightAssignmentInput input;
        input.bounds = &bounds;
        input.distance = c.shapeDistance;
        input.receivesShadows = c.receives;
        input.shadowQuality = c.quality;
        LightGroups groups;
        assignLights(lights.list, input, groups);
        EXPECT_EQ(describe(groups), c.expected) << c.what;
    }
}

TEST(LightAssignment, ConfigurationWords) {
    Lights lights({{"spot", LightSource::Spot, {0, 5, 0}, 10, true},
                   {"a", LightSource::Point, {3, 0, 0}, 10, false},
                   {"sun", LightSource::Directional, {0, 50, 0}, 1, false}});
    BoundingSphere bounds({0, 0, 0}, 1);
    LightAssignmentInput input;
    input.bounds = &bounds;
    input.receivesShadows = true;
    input.shadowQuality = 1;
    LightGroups groups;
    assignLights(lights.list, input, groups);
    ASSERT_EQ(groups.count, 2);
    EXPECT_EQ(groups.groups[0].configWord, (1u << 23) | ShaderKey::kDepthShadowMap);
    EXPECT_EQ(groups.groups[1].configWord, (1u << 29) | (1u << 26));
    // A light that emits no diffuse light counts as specular-only as well.
    LightSource* point = static_cast<LightSource*>(lights.root.getChildAt(1));
    point->setLightFlags(point->getLightFlags() & ~LightSource::kEmitsDiffuse);
    finishLightGroup(groups.groups[1], false, 1);
    EXPECT_EQ(groups.groups[1].configWord, (1u << 29) | (1u << 26) | (1u << 11));
    EXPECT_EQ(groups.numLights(), 3);
}

TEST(LightAssignment, EmptyListClearsTheGroups) {
    LightList empty;
    BoundingSphere bounds({0, 0, 0}, 1);
    LightAssignmentInput input;
    input.bounds = &bounds;
    LightGroups groups;
    groups.count = 3;
    assignLights(empty, input, groups);
    EXPECT_EQ(groups.count, 0);
}

// A shape keeps its groups while the sorted list and its input stay the
// same, and gets new ones when a light, its bounds or (with a directional
// shadow) its distance change.
TEST(LightAssignment, GroupsAreRemadeOnlyWhenTheirInputChanged) {
    struct Case {
        const char* what;
        bool sunCastsShadow;
        Vector3 lampPosition;
        Vector3 shapeCenter;
        float shapeDistance;
        bool remade;
    };
    const Case cases[] = {
        {"nothing changed", true, {3, 0, 0}, {0, 0, 0}, 10, false},
        {"light moved", true, {2, 0, 0}, {0, 0, 0}, 10, true},
        {"shape moved", true, {3, 0, 0}, {1, 0, 0}, 10, true},
        {"distance changed, directional shadow", true, {3, 0, 0}, {0, 0, 0}, 11, true},
        {"distance changed, no directional shadow", false, {3, 0, 0}, {0, 0, 0}, 11, false},
    };
    for (const Case& c : cases) {
        TransformGroup root("root");
        LightSource::Settings sunSettings;
        sunSettings.type = LightSource::Directional;
        sunSettings.castsShadowMap = c.sunCastsShadow;
        auto* sun = new LightSource("sun", sunSettings);
        LightSource::Settings lampSettings;
        lampSettings.type = LightSource::Point;
        lampSettings.range = 5;
        auto* lamp = new LightSource("lamp", lampSettings);
        lamp->setTranslation({3, 0, 0});
        root.addChild(sun);
        root.addChild(lamp);
        LightList list;
        auto collect = [&]() {
            list.clear();
            list.add(*sun, sun->getWorldMatrix(), 1, c.sunCastsShadow);
            list.add(*lamp, lamp->getWorldMatrix(), 3, false);
            list.sort();
        };
        collect();
        BoundingSphere bounds({0, 0, 0}, 1);
        LightAssignmentInput input;
        input.bounds = &bounds;
        input.distance = 10;
        input.receivesShadows = true;
        input.shadowQuality = 1;
        LightAssignmentStamp stamp;
        LightGroups groups;
        ASSERT_TRUE(refreshLights(list, input, stamp, groups)) << c.what;
        const uint32_t version = list.getVersion();
        collect();
        EXPECT_EQ(list.getVersion(), version) << c.what << ": same lights, same version";
        lamp->setTranslation(c.lampPosition);
        collect();
        BoundingSphere moved(c.shapeCenter, 1);
        input.bounds = &moved;
        input.distance = c.shapeDistance;
        EXPECT_EQ(refreshLights(list, input, stamp, groups), c.remade) << c.what;
        EXPECT_EQ(describe(groups).size(), c.sunCastsShadow ? 2u : 1u) << c.what;
    }
}

// Lights looked up through the light grid give what testing every light in
// sorted order gives: the first four whose reach overlaps the shape, for
// lists of one and several mask words and one too long for masks, with
// unbounded lights, shapes larger than the grid allows and shapes beside it.
TEST(LightAssignment, GridFindsWhatTestingEveryLightFinds) {
    struct Case {
        const char* what;
        int lights;
        float spread;
        float range;
        float shapeRadius;
    };
    const Case cases[] = {
        {"50 lights", 50, 100, 12, 0.5f},
        {"130 lights, three mask words", 130, 100, 8, 0.5f},
        {"600 lights, too many for masks", 600, 100, 6, 0.5f},
        {"shapes covering many cells", 50, 100, 3, 40},
        {"shapes beside and far from the lights", 50, 20, 4, 0.5f},
    };
    for (const Case& c : cases) {
        std::vector<LightSetup> setups;
        std::vector<std::string> names;
        RandomGenerator random(99);
        auto next = [&random](float scale) { return random.unit() * scale; };
        for (int i = 0; i < c.lights; ++i) {
            names.push_back("l" + std::to_string(i));
        }
        for (int i = 0; i < c.lights; ++i) {
            // Every 17th light is directional and reaches everywhere.
            const int type = i % 17 == 5 ? LightSource::Directional : LightSource::Point;
            setups.push_back({names[size_t(i)].c_str(),
                              type,
                              {next(c.spread), next(c.spread), next(c.spread * 0.1f)},
                              c.range * (0.5f + next(1.0f)),
                              false});
        }
        Lights lights(setups);
        for (int s = 0; s < 300; ++s) {
            const Vector3 center{next(c.spread * 1.6f) - c.spread * 0.3f,
                                 next(c.spread * 1.6f) - c.spread * 0.3f, next(c.spread * 0.1f)};
            BoundingSphere bounds(center, c.shapeRadius);
            LightAssignmentInput input;
            input.bounds = &bounds;
            LightGroups groups;
            assignLights(lights.list, input, groups);
            std::vector<std::string> expected;
            const std::vector<LightListEntry*>& entries = lights.list.getEntries();
            for (size_t i = 0; i < entries.size() && expected.size() < 4; ++i) {
                const Vector3 d = entries[i]->reachCenter - center;
                const float sum = entries[i]->reach + c.shapeRadius;
                if (dot(d, d) <= sum * sum) {
                    expected.push_back(entries[i]->light->getName());
                }
            }
            std::vector<std::string> found;
            for (int g = 0; g < groups.count; ++g) {
                for (int i = 0; i < groups.groups[g].count; ++i) {
                    found.push_back(groups.groups[g].lights[i]->light->getName());
                }
            }
            std::sort(expected.begin(), expected.end());
            std::sort(found.begin(), found.end());
            ASSERT_EQ(found, expected) << c.what << ", shape " << s;
        }
    }
}

// Lights that move from frame to frame: every shape's groups, kept where the
// list says the moves could not reach the shape, are what a fresh
// assignment gives; frames where a light overtakes another in the sorted
// order, and where one turns shadow-casting, are among them.
TEST(LightAssignment, GroupsKeptAcrossMovesMatchAFreshAssignment) {
    TransformGroup root("root");
    std::vector<LightSource*> lamps;
    RandomGenerator random(7);
    auto next = [&random](float scale) { return random.unit() * scale; };
    for (int i = 0; i < 40; ++i) {
        LightSource::Settings settings;
        settings.type = i == 0 ? LightSource::Directional : LightSource::Point;
        settings.range = 4.0f + next(6.0f);
        settings.castsShadowMap = i % 9 == 4;
        auto* lamp = new LightSource("l" + std::to_string(i), settings);
        lamp->setTranslation({next(60.0f), next(60.0f), next(4.0f)});
        root.addChild(lamp);
        lamps.push_back(lamp);
    }
    struct Shape {
        BoundingSphere bounds;
        LightAssignmentStamp stamp;
        LightGroups groups;
    };
    std::vector<Shape> shapes(400);
    for (Shape& shape : shapes) {
        shape.bounds = BoundingSphere({next(60.0f), next(60.0f), next(4.0f)}, 0.2f + next(1.5f));
    }
    LightList list;
    size_t kept = 0;
    for (int frame = 0; frame < 30; ++frame) {
        // One or two lamps move a little; every fifth frame one moves far.
        const size_t moved = 1 + size_t(next(38.0f));
        const float step = frame % 5 == 4 ? 30.0f : 0.7f;
        lamps[moved]->setTranslation(lamps[moved]->getTranslation() +
                                     Vector3{next(step) - step / 2, next(step) - step / 2, 0});
        if (frame % 3 == 0) {
            lamps[moved + 1]->setTranslation(lamps[moved + 1]->getTranslation() +
                                             Vector3{0.3f, -0.2f, 0});
        }
        list.clear();
        for (LightSource* lamp : lamps) {
            const Vector3 at = lamp->getWorldMatrix().getTranslation();
            list.add(*lamp, lamp->getWorldMatrix(), std::sqrt(dot(at, at)),
                     (lamp->getLightFlags() & LightSource::kCastsShadowMap) != 0);
        }
        list.sort();
        for (size_t i = 0; i < shapes.size(); ++i) {
            LightAssignmentInput input;
            input.bounds = &shapes[i].bounds;
            input.distance = 10;
            input.receivesShadows = true;
            input.shadowQuality = 1;
            kept += refreshLights(list, input, shapes[i].stamp, shapes[i].groups) ? 0 : 1;
            LightGroups fresh;
            assignLights(list, input, fresh);
            ASSERT_EQ(describe(shapes[i].groups), describe(fresh))
                << "frame " << frame << ", shape " << i;
        }
    }
    // Most shapes are out of the moved lamps' reach: their groups stay.
    EXPECT_GT(kept, shapes.size() * 29 / 2);
}

}  // namespace
