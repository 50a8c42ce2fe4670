// Effects in scene files and in the frame: the loader hands particle systems
// and precipitation to the effects handler, the shapes that show them update
// them once per rendered frame.

#include <gtest/gtest.h>

#include "I3DTestUtil.h"
#include "effects/EffectsSceneHandler.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

const char* kEffectsScene = R"(
  <Materials><Material name="smoke" alphaBlending="true"/><Material name="drops"/></Materials>
  <Shapes>
    <IndexedFaceSet name="disc">
      <Vertices><v c="0 0 0"/><v c="0 0 1"/><v c="2 0 0"/></Vertices>
      <Faces shaderlist="smoke"><f vi="0 1 2"/></Faces>
    </IndexedFaceSet>
    <Precipitation name="rain" dropMaterial="drops" maxNumDrops="30" windVelocity="0.01 0 0"/>
  </Shapes>
  <Dynamics>
    <ParticleSystem name="fire" emitterShape="disc" material="smoke" rate="0.5" maxCount="64">
      <Gravity force="0 -1 0"/><Gravity force="0 -2 1"/><Air velocity="3 0 0"/>
    </ParticleSystem>
    <ParticleSystem name="lost" emitterShape="nothing" material="smoke"/>
  </Dynamics>
  <Scene>
    <Dynamic name="fireA" ref="fire"/>
    <TransformGroup name="group"><Dynamic name="fireB" ref="fire" translation="5 0 0"/></TransformGroup>
    <Dynamic name="lostA" ref="lost"/>
    <Shape name="weather" ref="rain"/>
  </Scene>
)";

class EffectsScene : public I3DTest {
protected:
    void SetUp() override {
        I3DTest::SetUp();
        handler.install(EffectsEnvironment{nullptr, &context});
    }
    void TearDown() override {
        result.root.reset();
        handler.uninstall();
        I3DTest::TearDown();
    }

    EffectsSceneHandler handler;
    SceneRenderContext context;
};

}  // namespace

TEST_F(EffectsScene, DynamicsShareOneSystemAndRainIsNeverCulled) {
    ASSERT_TRUE(load(kEffectsScene)) << log.text();
    auto* a = dynamic_cast<EffectShape*>(node("fireA"));
    auto* b = dynamic_cast<EffectShape*>(node("group/fireB"));
    ASSERT_NE(a, nullptr) << log.text();
    ASSERT_NE(b, nullptr);
    auto* system = dynamic_cast<ParticleSystem*>(a->getGeometry());
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(b->getGeometry(), system);
    EXPECT_EQ(a->getNumMaterials(), 1u);
    EXPECT_TRUE(a->getShapeFlags() & Shape::kVertexColors);
    EXPECT_EQ(b->getLocalMatrix().getTranslation().x, 5.0f);
    // Both gravity children add up.
    EXPECT_EQ(system->getDesc().gravity, (Vector3{0, -3, 1}));
    EXPECT_EQ(system->getDesc().maxCount, 64);
    EXPECT_EQ(system->getDesc().air.x, 3.0f);

    EXPECT_EQ(node("lostA"), nullptr);
    EXPECT_NE(log.text().find("Error: Shape not found (nothing)"), std::string::npos);
    EXPECT_NE(log.text().find("Error: ParticleSystem lost has no emitter shape"),
              std::string::npos);

    auto* weather = dynamic_cast<EffectShape*>(node("weather"));
    ASSERT_NE(weather, nullptr);
    auto* rain = dynamic_cast<Precipitation*>(weather->getGeometry());
    ASSERT_NE(rain, nullptr);
    EXPECT_TRUE(weather->getCullOverride());
    EXPECT_EQ(rain->getDesc().maxNumDrops, 30);
    EXPECT_TRUE(rain->getDesc().useVelocityAlignedBillboards);
    EXPECT_FLOAT_EQ(rain->getDesc().windVelocity.x, 0.01f);
}

TEST_F(EffectsScene, RenderEventsUpdateOncePerFrameAndNotInSubRenders) {
    ASSERT_TRUE(load(kEffectsScene)) << log.text();
    auto* a = static_cast<Shape*>(node("fireA"));
    auto* b = static_cast<Shape*>(node("group/fireB"));
    auto* system = static_cast<ParticleSystem*>(a->getGeometry());
    Camera camera("camera", 60.0f, 0.1f, 100.0f);
    context.setActiveCamera(&camera);
    context.frameTimeMs = 20.0f;

    context.frameNumber = 1;
    a->sendRenderEvent(0);
    b->sendRenderEvent(0);  // the same frame: no second update
    EXPECT_EQ(system->getTime(), 20.0f);
    EXPECT_EQ(system->getNumParticles(), 10u);

    context.frameNumber = 2;
    context.secondary = true;
    b->sendRenderEvent(0);
    EXPECT_EQ(system->getTime(), 20.0f);
    context.secondary = false;
    b->sendRenderEvent(0);
    EXPECT_EQ(system->getTime(), 40.0f);

    // Rain follows the camera of the rendered frame.
    auto* weather = static_cast<Shape*>(node("weather"));
    auto* rain = static_cast<Precipitation*>(weather->getGeometry());
    camera.setTranslation({1000, 0, 0});
    weather->sendRenderEvent(0);
    EXPECT_EQ(rain->getDrops().size(), 30u);
    EXPECT_FLOAT_EQ(rain->getBoxMin().x, 960.0f);
    context.setActiveCamera(nullptr);
}

TEST_F(EffectsScene, ZeroSizesInAFileMakeNoPrecipitation) {
    for (const char* attributes :
         {R"(boundsWidth="0")", R"(boundsHeight="0")", R"(dropMinMass="0" dropMaxMass="0")",
          R"(dropAtlasSize="0")", R"(dropWidth="0" dropHeight="0" maxNumDrops="0")"}) {
        SCOPED_TRACE(attributes);
        log.take();
        const std::string scene =
            std::string(R"(<Materials><Material name="drops"/></Materials><Shapes>)") +
            R"(<Precipitation name="rain" dropMaterial="drops" )" + attributes +
            R"(/></Shapes><Scene><Shape name="weather" ref="rain"/></Scene>)";
        ASSERT_TRUE(load(scene)) << log.text();
        auto* weather = dynamic_cast<Shape*>(node("weather"));
        if (weather != nullptr && weather->getGeometry() != nullptr) {
            // Sizes of 0 are allowed for the drops themselves: it updates
            // and draws nothing visible.
            weather->sendRenderEvent(0);
        } else {
            EXPECT_NE(log.text().find("is not created"), std::string::npos) << log.text();
        }
    }
}
