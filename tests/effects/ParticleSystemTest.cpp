// Particle systems: emission, ageing, fades, distribution over the emitter,
// bounds, depth sort and the quads written for a camera.

#include <gtest/gtest.h>

#include <cmath>

#include "CapturingLogSink.h"
#include "EffectsTestUtil.h"
#include "effects/ParticleSystem.h"

using effectstest::flatTriangle;
using effectstest::makeEmitter;
using effectstest::viewFrom;

namespace {

RefPtr<ParticleSystem> makeSystem(const ParticleSystemDesc& desc, Geometry* emitter,
                                  uint32_t seed = 7) {
    return ParticleSystem::create(desc, emitter, EffectsEnvironment{}, seed);
}

const ParticleVertex* vertices(const ParticleSystem& system) {
    return reinterpret_cast<const ParticleVertex*>(system.getVertexData());
}

}  // namespace

TEST(ParticleSystem, AccumulatesFractionsAndStopsAtCapacity) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc desc;
    desc.rate = 0.1f;
    desc.maxCount = 10;
    desc.lifespanInfinite = true;  // nobody dies and makes room
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
    ASSERT_TRUE(system);

    system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
    EXPECT_EQ(system->getNumParticles(), 1u);
    EXPECT_NEAR(system->getAccumulator(), 0.6f, 1e-5f);
    EXPECT_EQ(system->getNumVertices(), 6u);

    // Full after 7 frames (11.2 due): nothing more is emitted, the
    // accumulator grows to its cap maxCount x rate x lifespan.
    for (int frame = 0; frame < 6; ++frame) {
        system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
    }
    ASSERT_EQ(system->getNumParticles(), 10u);
    const float before = system->getAccumulator();
    system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
    EXPECT_EQ(system->getNumParticles(), 10u);
    EXPECT_NEAR(system->getAccumulator(), before + 1.6f, 1e-4f);
    for (int frame = 0; frame < 700; ++frame) {
        system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
    }
    EXPECT_EQ(system->getNumParticles(), 10u);
    EXPECT_FLOAT_EQ(system->getAccumulator(), 10 * 0.1f * 1000.0f);
}

TEST(ParticleSystem, StoppedEmissionLetsTheLivingAgeOut) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc desc;
    desc.rate = 1.0f;
    desc.lifespan = 100.0f;
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
    system->advanceFrame(viewFrom({0, 0, 10}), 50.0f);
    ASSERT_EQ(system->getNumParticles(), 50u);
    system->setEmittingState(false);
    system->advanceFrame(viewFrom({0, 0, 10}), 40.0f);
    EXPECT_EQ(system->getNumParticles(), 50u);  // aged 40, younger than 100
    system->advanceFrame(viewFrom({0, 0, 10}), 70.0f);
    EXPECT_EQ(system->getNumParticles(), 0u);
    EXPECT_EQ(system->getNumVertices(), 0u);
}

TEST(ParticleSystem, FadesAndAlpha) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    struct Case {
        float blendIn, blendOut, blendFactor;
        bool infinite;
        float age, fade;
        int alpha;
    };
    const Case cases[] = {
        {0.2f, 0.8f, 1.0f, false, 100, 0.5f, 128},  // fading in
        {0.2f, 0.8f, 1.0f, false, 500, 1.0f, 255},
        {0.2f, 0.8f, 1.0f, false, 900, 0.5f, 128},   // fading out
        {0.2f, 0.8f, 0.35f, false, 500, 1.0f, 89},   // blendFactor x 255
        {0.0f, 0.8f, 1.0f, false, 0, 1.0f, 255},     // no fade-in: opaque at birth
        {0.2f, 1.0f, 1.0f, false, 1000, 1.0f, 255},  // no fade-out
        {0.2f, 0.8f, 1.0f, true, 5000, 1.0f, 255},   // infinite life never fades out
        {0.2f, 0.8f, -0.5f, false, 500, 1.0f, 0},    // a negative opacity is transparent
        {0.2f, 0.8f, 3.0f, false, 500, 1.0f, 255},   // and one above 1 opaque
        {0.2f, 0.8f, 1.0f, false, 1100, 0.0f, 0},    // past the lifespan: 0, not negative
    };
    for (const Case& c : cases) {
        ParticleSystemDesc desc;
        desc.lifespan = 1000.0f;
        desc.blendInFactor = c.blendIn;
        desc.blendOutFactor = c.blendOut;
        desc.blendFactor = c.blendFactor;
        desc.lifespanInfinite = c.infinite;
        RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
        SCOPED_TRACE(testing::Message() << "age " << c.age << " in " << c.blendIn << " out "
                                        << c.blendOut << " factor " << c.blendFactor);
        EXPECT_NEAR(system->fadeAt(c.age), c.fade, 1e-5f);
        EXPECT_EQ(system->alphaAt(c.age), c.alpha);
    }
}

TEST(ParticleSystem, TrianglesShareTheCountByArea) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1), flatTriangle(10, 3)});
    ParticleSystemDesc desc;
    desc.rate = 0.5f;
    desc.maxCount = 100000;
    desc.lifespan = 100000.0f;
    desc.speed = 0.0f;
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get(), 12345);
    EXPECT_FLOAT_EQ(system->getTotalArea(), 4.0f);
    // Frames of 7 particles: the rounding per frame must still give the
    // areas' shares overall.
    for (int frame = 0; frame < 1000; ++frame) {
        system->advanceFrame(viewFrom({0, 5, 0}), 14.0f);
    }
    ASSERT_EQ(system->getNumParticles(), 7000u);
    size_t onSmall = 0;
    for (const Particle& particle : system->getParticles()) {
        EXPECT_EQ(particle.position.y, 0.0f);
        onSmall += particle.position.x < 5.0f ? 1 : 0;
    }
    EXPECT_NEAR(static_cast<double>(onSmall) / 7000.0, 0.25, 0.02);
}

TEST(ParticleSystem, EmitterWithoutSurfaceEmitsNothingAndSaysSoOnce) {
    testsupport::ScopedLogCapture log;
    for (RefPtr<Geometry> emitter :
         {makeEmitter({}), makeEmitter({{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}}})}) {
        ParticleSystemDesc desc;
        desc.rate = 1.0f;
        RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
        ASSERT_TRUE(system);
        for (int frame = 0; frame < 3; ++frame) {
            system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
        }
        EXPECT_EQ(system->getNumParticles(), 0u);
    }
    EXPECT_EQ(log.count("the emitter has no surface, nothing is emitted"), 2u) << log.text();
}

TEST(ParticleSystem, RefusedAndCappedDescriptions) {
    testsupport::ScopedLogCapture log;
    ParticleSystemDesc desc;
    EXPECT_FALSE(makeSystem(desc, nullptr));
    EXPECT_NE(log.text().find("Error: ParticleSystem unnamed: no emitter shape"),
              std::string::npos);

    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc notANumber;
    notANumber.rate = NAN;
    EXPECT_FALSE(makeSystem(notANumber, emitter.get()));

    ParticleSystemDesc huge;
    huge.maxCount = 2000000000;
    RefPtr<ParticleSystem> capped = makeSystem(huge, emitter.get());
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->getDesc().maxCount, ParticleSystem::kMaxParticles);
    EXPECT_NE(log.text().find("maxCount 2000000000 limited to"), std::string::npos);
}

TEST(ParticleSystem, BoundsHoldEveryParticleAtFullSpeed) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc desc;
    desc.rate = 0.2f;
    desc.lifespan = 500.0f;
    desc.speed = 0.01f;
    desc.normalSpeed = 4.0f;
    desc.tangentSpeed = 3.0f;
    desc.gravity = {0, -30, 0};
    desc.spriteScaleXGain = 0.01f;
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
    const BoundingSphere& bounds = system->getBounds();
    float farthest = 0.0f;
    for (int frame = 0; frame < 60; ++frame) {
        system->advanceFrame(viewFrom({0, 0, 10}), 16.0f);
        for (const Particle& particle : system->getParticles()) {
            const float reach = length(particle.position - bounds.getCenter()) +
                                0.5f * std::hypot(particle.width, particle.height);
            farthest = std::max(farthest, reach);
        }
    }
    // normalSpeed x speed alone carries particles 20 units in their life.
    EXPECT_GT(farthest, 15.0f);
    EXPECT_LE(farthest, bounds.getRadius());

    desc.lifespanInfinite = true;
    EXPECT_TRUE(std::isfinite(makeSystem(desc, emitter.get())->getBounds().getRadius()));
}

TEST(ParticleSystem, VelocityFollowsTheSurfaceNormal) {
    // Without corner normals the face normal (+y) is used; with them, theirs.
    const Vector3 sideways{1, 0, 0};
    for (const Vector3* normal : {static_cast<const Vector3*>(nullptr), &sideways}) {
        RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 2)}, normal);
        ParticleSystemDesc desc;
        desc.rate = 1.0f;
        desc.speed = 0.5f;
        desc.normalSpeed = 2.0f;
        RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
        system->advanceFrame(viewFrom({0, 0, 10}), 10.0f);
        ASSERT_EQ(system->getNumParticles(), 10u);
        const Vector3 expected = normal != nullptr ? *normal : Vector3{0, 1, 0};
        for (const Particle& particle : system->getParticles()) {
            EXPECT_NEAR(length(particle.velocity - expected * 1.0f), 0.0f, 1e-5f);
        }
    }
}

TEST(ParticleSystem, QuadsFaceTheCameraAndDepthSortDrawsTheFarthestFirst) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc desc;
    desc.rate = 0.5f;
    desc.speed = 0.0f;
    desc.spriteScaleX = 2.0f;
    desc.spriteScaleY = 4.0f;
    desc.blendFactor = 1.0f;
    desc.blendInFactor = 0.0f;
    desc.depthSort = true;
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
    // A camera on +x looking along -x: the depth key grows with x.
    EffectView view;
    view.position = {10, 0, 0};
    view.axes[0] = {0, 0, -1};
    view.axes[1] = {0, 1, 0};
    view.axes[2] = {1, 0, 0};
    system->advanceFrame(view, 20.0f);
    ASSERT_EQ(system->getNumParticles(), 10u);
    const std::vector<Particle>& particles = system->getParticles();
    for (size_t i = 1; i < particles.size(); ++i) {
        EXPECT_LE(particles[i - 1].position.x, particles[i].position.x);
    }

    const Particle& first = particles[0];
    const ParticleVertex* v = vertices(*system);
    // (+R +U) (-R +U) (+R -U), (-R +U) (-R -U) (+R -U); half sizes 1 and 2.
    const float signs[6][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (int k = 0; k < 6; ++k) {
        const Vector3 expected =
            first.position + view.axes[0] * signs[k][0] + view.axes[1] * (2.0f * signs[k][1]);
        EXPECT_NEAR(v[k].position[0], expected.x, 1e-5f);
        EXPECT_NEAR(v[k].position[1], expected.y, 1e-5f);
        EXPECT_NEAR(v[k].position[2], expected.z, 1e-5f);
        EXPECT_EQ(v[k].texCoords[0], signs[k][0] > 0 ? 1.0f : 0.0f);
        EXPECT_EQ(v[k].texCoords[1], signs[k][1] > 0 ? 1.0f : 0.0f);
        EXPECT_EQ(v[k].colour, 0xFFFFFFFFu);
        // Normals lean towards the camera and out to their corner.
        const Vector3 n{v[k].normal[0], v[k].normal[1], v[k].normal[2]};
        EXPECT_NEAR(length(n), 1.0f, 1e-5f);
        EXPECT_NEAR(n.x, 0.57735026f, 1e-5f);
    }
}

TEST(ParticleSystem, StatisticsText) {
    RefPtr<Geometry> emitter = makeEmitter({flatTriangle(0, 1)});
    ParticleSystemDesc desc;
    desc.gravity = {0, -9.5f, 0};
    desc.air = {2, 0, 0};
    RefPtr<ParticleSystem> system = makeSystem(desc, emitter.get());
    system->advanceFrame(viewFrom({0, 0, 10}), 30.0f);
    EXPECT_EQ(system->getStatsText(),
              "Particles: 3/1000 Rate: 0.1 (particles/ms) LifeSpan: 1000 ms Z-Sorting: false\n"
              "Speed: 0.001 NormalSpeed: 1 TangentSpeed: 0 Gravity: 0 -9.5 0 Air: 2e-06 0 0\n");
    EXPECT_TRUE(system->hasKind(EntityKind::ParticleSystem));
    EXPECT_EQ(EntityRegistry::find(system->getId()), system.get());
}
