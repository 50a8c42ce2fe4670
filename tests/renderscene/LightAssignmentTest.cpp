// Light groups of one shape from a sorted light list: shadow groups first,
// one plain group after them, at most four lights, the configuration words.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace
