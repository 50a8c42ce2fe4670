// Precipitation: the drop box that follows the camera, density and wind,
// wrapping, the atlas and the quads.

#include <gtest/gtest.h>

#include <cmath>

#include "CapturingLogSink.h"
#include "EffectsTestUtil.h"
#include "effects/Precipitation.h"

using effectstest::viewFrom;

namespace {

RefPtr<Precipitation> makeRain(const PrecipitationDesc& desc, uint32_t seed = 3) {
    return Precipitation::create(desc, EffectsEnvironment{}, seed);
}

const PrecipitationVertex* vertices(const Precipitation& rain) {
    return reinterpret_cast<const PrecipitationVertex*>(rain.getVertexData());
}

bool inside(const Precipitation& rain, const Vector3& p) {
    const Vector3& lo = rain.getBoxMin();
    const Vector3& hi = rain.getBoxMax();
    return p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z;
}

}  // namespace

TEST(Precipitation, DropCountScaleShrinksAsDropsLeaveAndRestoresAtOnce) {
    PrecipitationDesc desc;
    RefPtr<Precipitation> rain = makeRain(desc);
    rain->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
    ASSERT_EQ(rain->getDrops().size(), 100u);

    rain->setDropCountScale(0.5f);
    EXPECT_EQ(rain->getTargetCount(), 50);
    rain->advanceFrame(viewFrom({0, 0, 0}), 1.0f);
    EXPECT_GT(rain->getDrops().size(), 90u);  // only drops that left the bottom go
    size_t previous = rain->getDrops().size();
    for (int frame = 0; frame < 200 && rain->getDrops().size() > 50; ++frame) {
        rain->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
        EXPECT_LE(rain->getDrops().size(), previous);
        previous = rain->getDrops().size();
    }
    EXPECT_EQ(rain->getDrops().size(), 50u);
    rain->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
    EXPECT_EQ(rain->getDrops().size(), 50u);
    EXPECT_EQ(rain->getNumVertices(), 300u);

    rain->setDropCountScale(2.0f);
    rain->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
    EXPECT_EQ(rain->getDrops().size(), 100u);
}

TEST(Precipitation, ScriptValuesThatAreNotNumbersAreIgnoredOrClamped) {
    testsupport::ScopedLogCapture log;
    RefPtr<Precipitation> rain = makeRain(PrecipitationDesc());
    rain->setWindVelocity({1, 2, 3});
    rain->setWindVelocity({NAN, 0, 0});
    EXPECT_EQ(rain->getDesc().windVelocity, (Vector3{1, 2, 3}));
    EXPECT_NE(log.text().find("wind velocity that is not a number is ignored"), std::string::npos);
    rain->setDropCountScale(NAN);
    EXPECT_EQ(rain->getTargetCount(), 0);
    rain->setDropCountScale(-1.0f);
    EXPECT_EQ(rain->getTargetCount(), 0);
}

TEST(Precipitation, WindPushesByInverseMass) {
    float pushed[2] = {};
    const float masses[2] = {0.05f, 0.1f};
    for (int i = 0; i < 2; ++i) {
        PrecipitationDesc desc;
        desc.maxNumDrops = 1;
        desc.boundsWidth = 1000.0f;
        desc.dropMinVelocity = desc.dropMaxVelocity = 0.0f;
        desc.dropMinMass = desc.dropMaxMass = masses[i];
        desc.windVelocity = {0.001f, 0, 0};
        RefPtr<Precipitation> rain = makeRain(desc);
        rain->advanceFrame(viewFrom({0, 0, 0}), 0.0f);
        const float before = rain->getDrops()[0].position.x;
        rain->advanceFrame(viewFrom({0, 0, 0}), 10.0f);
        pushed[i] = rain->getDrops()[0].position.x - before;
    }
    EXPECT_NEAR(pushed[0], 0.2f, 1e-4f);
    EXPECT_NEAR(pushed[0], 2.0f * pushed[1], 1e-4f);
}

TEST(Precipitation, DropsStayInTheBoxThatFollowsTheCamera) {
    PrecipitationDesc desc;
    desc.maxNumDrops = 200;
    desc.windVelocity = {3.0f, 0.0f, -2.0f};  // blows drops out of the box every frame
    RefPtr<Precipitation> rain = makeRain(desc);
    const Vector3 cameras[] = {{0, 0, 0}, {30, 0, 0}, {1000, 5, -1000}, {1e6f, 0, 0}};
    for (const Vector3& camera : cameras) {
        rain->advanceFrame(viewFrom(camera), 16.0f);
        // The camera looks along -z: the box reaches W/4 ahead of it.
        EXPECT_FLOAT_EQ(rain->getBoxMin().x, camera.x - 40.0f);
        EXPECT_FLOAT_EQ(rain->getBoxMin().z, camera.z - 20.0f - 40.0f);
        EXPECT_EQ(rain->getBounds().getCenter().x, camera.x);
        for (const Drop& drop : rain->getDrops()) {
            ASSERT_TRUE(inside(*rain, drop.position)) << camera.x;
        }
    }

    // A wind far beyond the box, and one that overflows to infinity: one
    // update, every drop back in the box.
    for (float wind : {1e9f, 1e38f}) {
        rain->setWindVelocity({wind, 0, 0});
        rain->advanceFrame(viewFrom({0, 0, 0}), 1000.0f);
        for (const Drop& drop : rain->getDrops()) {
            ASSERT_TRUE(inside(*rain, drop.position)) << wind;
        }
    }
}

TEST(Precipitation, AtlasImagesAndQuadCorners) {
    PrecipitationDesc desc;
    desc.maxNumDrops = 50;
    desc.dropAtlasSize = 4;
    desc.dropWidth = 0.5f;
    desc.dropHeight = 2.0f;
    desc.useVelocityAlignedBillboards = false;
    RefPtr<Precipitation> rain = makeRain(desc);
    rain->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
    const std::vector<Drop>& drops = rain->getDrops();
    const PrecipitationVertex* v = vertices(*rain);
    bool sawImage2 = false;
    for (size_t i = 0; i < drops.size(); ++i) {
        const PrecipitationVertex* quad = v + i * 6;
        const float u0 = drops[i].image / 4.0f;
        const float u1 = (drops[i].image + 1) / 4.0f;
        if (drops[i].image == 2) {
            sawImage2 = true;
            EXPECT_EQ(u0, 0.5f);
            EXPECT_EQ(u1, 0.75f);
        }
        // Camera-facing: right +x half width, up +y half height.
        const float corners[6][4] = {{1, 1, u1, 1}, {-1, 1, u0, 1},  {-1, -1, u0, 0},
                                     {1, 1, u1, 1}, {-1, -1, u0, 0}, {1, -1, u1, 0}};
        for (int k = 0; k < 6; ++k) {
            EXPECT_NEAR(quad[k].position[0], drops[i].position.x + 0.25f * corners[k][0], 1e-4f);
            EXPECT_NEAR(quad[k].position[1], drops[i].position.y + 1.0f * corners[k][1], 1e-4f);
            EXPECT_EQ(quad[k].texCoords[0], corners[k][2]);
            EXPECT_EQ(quad[k].texCoords[1], corners[k][3]);
        }
    }
    EXPECT_TRUE(sawImage2);
}

TEST(Precipitation, VelocityAlignedQuadsAndTheirFallback) {
    // Falling straight down seen from the side: the quad stretches along y.
    // Leaning against the camera's motion, the first update far from the
    // origin has no motion yet to lean against.
    PrecipitationDesc desc;
    desc.maxNumDrops = 20;
    desc.rotateWithCameraVelocity = true;
    RefPtr<Precipitation> rain = makeRain(desc);
    rain->advanceFrame(viewFrom({1000, 0, 0}), 16.0f);
    const PrecipitationVertex* v = vertices(*rain);
    for (size_t i = 0; i < rain->getDrops().size(); ++i) {
        const PrecipitationVertex* quad = v + i * 6;
        // Corners 0 (+R +U) and 5 (+R -U) differ by the drop height along
        // the motion, which is straight down.
        const Vector3 along{quad[0].position[0] - quad[5].position[0],
                            quad[0].position[1] - quad[5].position[1],
                            quad[0].position[2] - quad[5].position[2]};
        EXPECT_NEAR(length(along), 1.0f, 1e-3f);
        EXPECT_GT(along.y, 0.65f);
    }

    // Drops that do not move have no direction: they face the camera.
    desc.dropMinVelocity = desc.dropMaxVelocity = 0.0f;
    RefPtr<Precipitation> still = makeRain(desc);
    still->advanceFrame(viewFrom({0, 0, 0}), 16.0f);
    const PrecipitationVertex* s = vertices(*still);
    for (size_t i = 0; i < still->getNumVertices(); ++i) {
        for (float c : s[i].position) {
            ASSERT_TRUE(std::isfinite(c));
        }
    }
    const Vector3& p = still->getDrops()[0].position;
    EXPECT_NEAR(s[0].position[0], p.x + 0.25f, 1e-4f);  // camera right x half width
    EXPECT_NEAR(s[0].position[1], p.y + 0.5f, 1e-4f);
}

TEST(Precipitation, BadDescriptionsAreRefused) {
    struct Case {
        const char* what;
        void (*change)(PrecipitationDesc&);
        const char* message;
    };
    const Case cases[] = {
        {"zero width", [](PrecipitationDesc& d) { d.boundsWidth = 0; }, "boundsWidth"},
        {"negative height", [](PrecipitationDesc& d) { d.boundsHeight = -1; }, "boundsHeight"},
        {"NaN width", [](PrecipitationDesc& d) { d.boundsWidth = NAN; }, "boundsWidth"},
        {"zero mass", [](PrecipitationDesc& d) { d.dropMinMass = 0; }, "dropMinMass"},
        {"zero atlas", [](PrecipitationDesc& d) { d.dropAtlasSize = 0; }, "dropAtlasSize"},
        {"infinite wind", [](PrecipitationDesc& d) { d.windVelocity.x = INFINITY; }, "number"},
    };
    for (const Case& c : cases) {
        testsupport::ScopedLogCapture log;
        PrecipitationDesc desc;
        c.change(desc);
        EXPECT_FALSE(makeRain(desc)) << c.what;
        EXPECT_NE(log.text().find(c.message), std::string::npos) << c.what << ": " << log.text();
    }

    testsupport::ScopedLogCapture log;
    PrecipitationDesc desc;
    desc.maxNumDrops = 1 << 30;
    desc.dropMinVelocity = 0.5f;  // above its maximum: both take the maximum
    RefPtr<Precipitation> capped = makeRain(desc);
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->getDesc().maxNumDrops, Precipitation::kMaxDrops);
    EXPECT_EQ(capped->getDesc().dropMinVelocity, 0.1f);
    EXPECT_NE(log.text().find("limited to"), std::string::npos);
}
