// The scene renderer on a real GL context (Mesa llvmpipe): light groups drawn
// additively, blended shapes far first, object masks, LOD children, culling
// statistics and the render events. Set RENDERSCENE_SCREENSHOTS to a folder
// to keep a PNG of each checked frame.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "CapturingLogSink.h"
#include "RenderSceneFixture.h"
#include "TestRenderWindow.h"
#include "TestSupport.h"
#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "render/material/Material.h"
#include "render/overlay/DebugDraw.h"
#include "render/overlay/Screenshot.h"
#include "render/scene/RenderStats.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

// A 2 × 2 quad in the z = 0 plane of its shape, facing +z.
RefPtr<Geometry> quadGeometry() {
    return RefPtr<Geometry>(
        new IndexedFaceSetGeometry("quad", makeQuadMesh(1.0f), VertexAttribute::Normal));
}

// Its ambient colour is the colour it shows under a white scene ambient.
RefPtr<Material> material(float r, float g, float b, float opacity = 1.0f, bool reflection = false,
                          int reflectionSize = 256, bool allowFog = true,
                          bool allowVolumeFog = false) {
    MaterialDesc desc;
    desc.allowFog = allowFog;
    desc.allowVolumeFog = allowVolumeFog;
    desc.ambientColor = {r, g, b};
    desc.opacity = opacity;
    desc.alphaBlending = opacity < 1.0f;
    desc.reflectionMap = reflection;
    desc.reflectionResolution = reflectionSize;
    return MaterialLibrary::get(desc);
}

class SceneRendererTest : public RenderSceneFixture {
protected:
    void SetUp() override {
        RenderSceneFixture::SetUp();
        camera->setTranslation({0, 0, 5});
    }

    Shape* addQuad(Node& parent, const std::string& name, Material* paint, const Vector3& at) {
        auto* shape = new Shape(name);
        shape->setGeometry(m_quad.get());
        shape->addMaterial(paint);
        shape->setTranslation(at);
        parent.addChild(shape);
        return shape;
    }

    LightSource* addLight(Node& parent, int type, const Vector3& at, float brightness,
                          bool castsShadow = false) {
        LightSource::Settings settings;
        settings.type = type;
        settings.range = 50.0f;
        settings.diffuseColor = {brightness, brightness, brightness};
        settings.specularColor = {0, 0, 0};
        settings.castsShadowMap = castsShadow;
        auto* light = new LightSource("light", settings);
        light->setTranslation(at);
        parent.addChild(light);
        return light;
    }

    // Renders one frame and reads the pixel at (x, y) in window fractions.
    Rgb frame(const char* shotName, float x = 0.5f, float y = 0.5f) {
        RenderSceneFixture::frame(shotName);
        return at(x, y);
    }

    RefPtr<Geometry> m_quad = quadGeometry();
};

// Three shadow-casting lights on a shape that receives shadows give it three
// groups: one in the opaque pass, two added in the further-lights pass. The
// sum matches one group of the same three lights and is brighter than one.
TEST_F(SceneRendererTest, FurtherLightGroupsAddUp) {
    context.environment.ambientColor = {0, 0, 0};
    RefPtr<Material> white = material(1, 1, 1);
    Shape* shape = addQuad(*root, "lit", white.get(), {0, 0, 0});
    shape->addShapeFlags(Shape::kReceivesShadows);
    addLight(*root, LightSource::Point, {-1, 0, 2}, 0.25f, true);
    addLight(*root, LightSource::Point, {1, 0, 2}, 0.25f, true);
    addLight(*root, LightSource::Point, {0, 1, 2}, 0.25f, true);
    renderer->setShadowQuality(1.0f);

    const Rgb threeGroups = frame("three-groups");
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kOpaque], 1u);
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kFurtherLights], 2u);
    EXPECT_EQ(renderer->getLastFrameCounts().shadowLights, 3u);

    renderer->setShadowQuality(0.0f);
    const Rgb oneGroup = frame("one-group");
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kFurtherLights], 0u);
    EXPECT_NEAR(threeGroups.r, oneGroup.r, 4) << threeGroups << oneGroup;

    root->removeChildAt(root->getNumChildren() - 1, false);
    root->removeChildAt(root->getNumChildren() - 1, false);
    const Rgb oneLight = frame("one-light");
    EXPECT_GT(oneLight.r, 20) << oneLight;
    EXPECT_GT(threeGroups.r, oneLight.r + 40) << threeGroups << oneLight;
}

// The near green quad is added first; the far red one still draws first, so
// green covers red: (0.25, 0.5, 0) over black.
TEST_F(SceneRendererTest, BlendedShapesDrawFarFirst) {
    RefPtr<Material> green = material(0, 1, 0, 0.5f);
    RefPtr<Material> red = material(1, 0, 0, 0.5f);
    addQuad(*root, "near", green.get(), {0, 0, 0});
    addQuad(*root, "far", red.get(), {0, 0, -1});
    const Rgb c = frame("blended");
    EXPECT_NEAR(c.r, 64, 6) << c;
    EXPECT_NEAR(c.g, 128, 6) << c;
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kTransparent], 2u);
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kOpaque], 0u);
}

TEST_F(SceneRendererTest, ObjectMaskHidesShapesButTheirLightsStillShine) {
    context.environment.ambientColor = {0, 0, 0};
    RefPtr<Material> white = material(1, 1, 1);
    auto* hidden = new TransformGroup("hidden");
    root->addChild(hidden);
    hidden->setObjectMask(0x2);
    addQuad(*hidden, "masked", white.get(), {0, 0, 1});
    addLight(*hidden, LightSource::Point, {0, 0, 2}, 0.8f);
    addQuad(*root, "shown", white.get(), {0, 0, 0});
    renderer->setObjectMask(0x1);
    const Rgb masked = frame("masked");
    // The lit quad behind the hidden one shows.
    EXPECT_GT(masked.r, 100) << masked;
    EXPECT_EQ(renderer->getLastFrameCounts().shapes, 1u);
    renderer->setObjectMask(0x3);
    frame("unmasked");
    EXPECT_EQ(renderer->getLastFrameCounts().shapes, 2u);
}

TEST_F(SceneRendererTest, LodChildrenSwitchWithDistance) {
    RefPtr<Material> red = material(1, 0, 0);
    RefPtr<Material> green = material(0, 1, 0);
    auto* lod = new LODTransformGroup("lod", {0, 10});
    root->addChild(lod);
    addQuad(*lod, "detailed", red.get(), {0, 0, 0});
    addQuad(*lod, "coarse", green.get(), {0, 0, 0});
    const Rgb nearColour = frame("lod-near");
    EXPECT_GT(nearColour.r, 240) << nearColour;
    EXPECT_LT(nearColour.g, 10) << nearColour;
    camera->setTranslation({0, 0, 12});
    const Rgb farColour = frame("lod-far");
    EXPECT_LT(farColour.r, 10) << farColour;
    EXPECT_GT(farColour.g, 240) << farColour;
}

TEST_F(SceneRendererTest, DistantDirectionalLightStillLights) {
    context.environment.ambientColor = {0, 0, 0};
    RefPtr<Material> white = material(1, 1, 1);
    addQuad(*root, "ground", white.get(), {0, 0, 0});
    // Far behind the camera, range 1; it shines along −z onto the quad.
    auto* distant = new TransformGroup("distant");
    root->addChild(distant);
    distant->setTranslation({0, 5000, 9000});
    LightSource* sun = addLight(*distant, LightSource::Directional, {0, 0, 0}, 0.9f);
    sun->setRange(1.0f);
    const Rgb c = frame("directional");
    EXPECT_GT(c.r, 200) << c;
}

TEST_F(SceneRendererTest, ObjectCountFollowsTheFrustumAndTheCullOverride) {
    struct FrameWatcher : ActionListener {
        void actionPerformed(void*, int kind, int32_t, int32_t flag) override {
            if (kind == SceneEvents::renderEventKind()) {
                frames.push_back(context->frameNumber);
                flags = flag;
                secondary = secondary || context->secondary;
            }
        }
        SceneRenderContext* context = nullptr;
        std::vector<uint32_t> frames;
        int32_t flags = 0;
        bool secondary = false;
    } watcher;
    watcher.context = &context;
    RefPtr<Material> white = material(1, 1, 1);
    Shape* shape = addQuad(*root, "quad", white.get(), {0, 0, 0});
    shape->addRenderListener(&watcher);

    frame("in-view");
    EXPECT_EQ(context.statistics.objects, 1u);
    shape->setTranslation({0, 0, 20});  // behind the camera
    frame("behind");
    EXPECT_EQ(context.statistics.objects, 0u);
    // The override acts per node: the root, whose bounds now lie behind the
    // camera as well, needs it too.
    shape->setCullOverride(true);
    root->setCullOverride(true);
    frame("override");
    EXPECT_EQ(context.statistics.objects, 1u);
    // Events in the first and third frame, one each, with the main flags.
    ASSERT_EQ(watcher.frames.size(), 2u);
    EXPECT_EQ(watcher.frames[1], watcher.frames[0] + 2);
    EXPECT_EQ(watcher.flags, int32_t(SceneRenderer::kMainRendererFlags));
    EXPECT_FALSE(watcher.secondary);
    EXPECT_EQ(context.frameTimeMs, 16.0f);

    // A minimised window draws nothing and counts no frame.
    const uint32_t before = context.frameNumber;
    renderer->render(context, 0, kSize, 16.0f);
    renderer->render(context, kSize, 0, 16.0f);
    EXPECT_EQ(context.frameNumber, before);
}

TEST_F(SceneRendererTest, StatisticsOfAKnownScene) {
    RefPtr<Material> white = material(1, 1, 1);
    RefPtr<Material> grey = material(0.5f, 0.5f, 0.5f);
    addQuad(*root, "left", white.get(), {-1.2f, 0, 0});
    addQuad(*root, "right", grey.get(), {1.2f, 0, 0});
    addLight(*root, LightSource::Point, {-1.2f, 0, 1}, 0.5f)->setRange(0.5f);
    addLight(*root, LightSource::Point, {-1.2f, 0.5f, 1}, 0.5f)->setRange(0.5f);
    frame("statistics");
    const RenderStatistics& s = context.statistics;
    EXPECT_EQ(s.objects, 2u);
    EXPECT_EQ(s.lights, 2u);
    EXPECT_EQ(s.materials, 2u);
    EXPECT_EQ(s.drawCalls, 2u);
    EXPECT_EQ(s.primitives, 4u);
    EXPECT_EQ(s.indices, 12u);
    RenderMemoryUse memory;
    memory.textureBytes = 5 << 10;
    const std::string text = renderStatsText(s, memory, 7);
    EXPECT_EQ(text.rfind("Render stats\n\nNum objects:   2\nNum materials: 2\nNum lights:    2\n"
                         "Lights/Object: 1.00\nRendered VBs:      2\nRendered tris:     4\n"
                         "Rendered vertices: 12\nTexture memory used:       5KB\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("Shaders built:          7\n"), std::string::npos) << text;

    root->removeChildAt(root->getNumChildren() - 1, false);
    camera->setTranslation({0, 0, -50});  // everything behind it
    frame("empty");
    EXPECT_NE(renderStatsText(context.statistics, memory, 0).find("Lights/Object: 0\n"),
              std::string::npos);
}

// Linear fog from 2 to 4 units hides a quad 5 units away in the fog colour
// unless its material refuses fog; volume fog below the plane y = 10 tints
// only materials that allow it.
TEST_F(SceneRendererTest, FogAndVolumeFog) {
    RefPtr<Material> red = material(1, 0, 0);
    RefPtr<Material> clear = material(1, 0, 0, 1.0f, false, 256, false, true);
    Shape* quad = addQuad(*root, "quad", red.get(), {0, 0, 0});
    FogSettings& fog = context.environment.fog;
    fog.mode = 1;
    fog.parameters[0] = 2.0f;
    fog.parameters[1] = 4.0f;
    fog.color[2] = 1.0f;
    const Rgb fogged = frame("fog");
    EXPECT_LT(fogged.r, 10) << fogged;
    EXPECT_GT(fogged.b, 245) << fogged;
    fog.parameters[0] = 10.0f;
    fog.parameters[1] = 20.0f;
    const Rgb beforeFog = frame("before-fog");
    EXPECT_GT(beforeFog.r, 245) << beforeFog;
    EXPECT_LT(beforeFog.b, 10) << beforeFog;

    fog.mode = 0;
    FogSettings& volume = context.environment.volumeFog;
    volume.mode = 1;
    volume.parameters[0] = 0.05f;
    volume.parameters[1] = 100.0f;
    volume.parameters[2] = 10.0f;
    volume.color[1] = 1.0f;
    const Rgb untouched = frame("volume-fog-refused");
    EXPECT_LT(untouched.g, 10) << untouched;
    quad->unlink();
    delete quad;
    addQuad(*root, "quad", clear.get(), {0, 0, 0});
    const Rgb tinted = frame("volume-fog");
    EXPECT_GT(tinted.g, 60) << tinted;
    EXPECT_LT(tinted.r, 200) << tinted;
}

// With the debug flags set, the walks add the visible shapes' bounding
// spheres and the lights' symbols to the debug lists.
TEST_F(SceneRendererTest, DebugDrawingOfBoundsAndLights) {
    RefPtr<Material> white = material(1, 1, 1);
    addQuad(*root, "quad", white.get(), {0, 0, 0});
    addLight(*root, LightSource::Point, {0, 0, 2}, 0.5f);
    DebugDrawLists lists;
    renderer->setDebugLists(&lists);
    frame("no-debug");
    EXPECT_TRUE(lists.getDepthLines().empty());
    context.environment.debugFlags = DebugDrawLists::kBoundingSpheres;
    frame("spheres");
    const size_t spheres = lists.getDepthLines().size() + lists.getTopLines().size();
    EXPECT_GT(spheres, 0u);
    lists.clear();
    context.environment.debugFlags =
        DebugDrawLists::kBoundingSpheres | DebugDrawLists::kLightSymbols;
    frame("spheres-and-lights");
    EXPECT_GT(lists.getDepthLines().size() + lists.getTopLines().size(), spheres);
    lists.clear();
}

// Once the shapes have their render data and shaders, a frame allocates
// nothing per shape: the same number of allocations for 5 and for 50 shapes,
// with further light groups and blending in play.
TEST_F(SceneRendererTest, SteadyFramesDoNotAllocatePerShape) {
    if (allocationCount() < 0) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    RefPtr<Material> white = material(1, 1, 1);
    RefPtr<Material> glass = material(0, 0, 1, 0.5f);
    for (int i = 0; i < 3; ++i) {
        addLight(*root, LightSource::Point, {float(i) - 1.0f, 0, 2}, 0.2f, true);
    }
    renderer->setShadowQuality(1.0f);
    auto allocationsOfAFrame = [&](int shapes) {
        for (int i = 0; i < shapes; ++i) {
            Shape* quad = addQuad(*root, "quad", i % 5 == 0 ? glass.get() : white.get(),
                                  {float(i % 10) * 0.2f - 1.0f, float(i / 10) * 0.2f - 1.0f, 0});
            quad->addShapeFlags(Shape::kReceivesShadows);
        }
        frame("allocations-warm");
        frame("allocations-warm");
        const long before = allocationCount();
        renderer->render(context, kSize, kSize, 16.0f);
        return allocationCount() - before;
    };
    const long few = allocationsOfAFrame(5);
    const uint32_t furtherEntries =
        renderer->getLastFrameCounts().entries[RenderPassTable::kFurtherLights];
    const long many = allocationsOfAFrame(45);
    EXPECT_GT(furtherEntries, 0u);
    EXPECT_GT(renderer->getLastFrameCounts().entries[RenderPassTable::kTransparent], 5u);
    EXPECT_EQ(many, few);
}

// A geometry that draws itself (terrain patches, particle systems): one slot
// per material, drawn through Geometry::draw; its blended material goes to
// the transparent pass.
TEST_F(SceneRendererTest, SelfDrawingGeometryGetsOneSlotPerMaterial) {
    class RecordingGeometry : public Geometry {
    public:
        RecordingGeometry() : Geometry("recording") { boundsStorage() = BoundingSphere({}, 1); }
        void draw(SceneRenderContext& context, size_t subMesh) override {
            calls.push_back(subMesh);
            frames.push_back(context.frameNumber);
        }
        std::vector<size_t> calls;
        std::vector<uint32_t> frames;
    };
    RefPtr<RecordingGeometry> geometry(new RecordingGeometry());
    RefPtr<Material> solid = material(1, 1, 1);
    RefPtr<Material> glass = material(0, 0, 1, 0.5f);
    auto* shape = new Shape("particles");
    shape->setGeometry(geometry.get());
    shape->addMaterial(solid.get());
    shape->addMaterial(glass.get());
    root->addChild(shape);
    frame("self-drawing");
    EXPECT_EQ(geometry->calls, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(geometry->frames, (std::vector<uint32_t>{context.frameNumber, context.frameNumber}));
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kOpaque], 1u);
    EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kTransparent], 1u);
}

TEST_F(SceneRendererTest, StepsAreReportedAsBalancedSections) {
    struct Recorder : IRenderSections {
        void enterSection(const char* name) override {
            text += std::string(depth, ' ') + name + "\n";
            ++depth;
        }
        void leaveSection() override { --depth; }
        std::string text;
        int depth = 0;
    } recorder;
    RefPtr<Material> white = material(1, 1, 1);
    addQuad(*root, "quad", white.get(), {0, 0, 0});
    renderer->setSections(&recorder);
    frame("sections");
    renderer->setSections(nullptr);
    EXPECT_EQ(recorder.depth, 0);
    // The opaque pass draws; the further-light and transparent queues stay
    // empty.
    EXPECT_EQ(recorder.text,
              "Camera Setup\nRender Geometry\n Build render queues\n Sort render queues\n"
              " Render queue\n Build render queues\n Build render queues\n");
}

// A render event listener that changes the shape (which drops its render
// data) does so before the renderer takes the shape: it is drawn as changed.
TEST_F(SceneRendererTest, ShapeChangedByItsRenderEventIsDrawnChanged) {
    struct Changer : ActionListener {
        void actionPerformed(void*, int kind, int32_t, int32_t) override {
            if (kind == SceneEvents::renderEventKind()) {
                shape->addShapeFlags(flip ? Shape::kCastsShadows : Shape::kReceivesShadows);
                shape->clearShapeFlags(flip ? Shape::kReceivesShadows : Shape::kCastsShadows);
                flip = !flip;
            }
        }
        Shape* shape = nullptr;
        bool flip = false;
    } changer;
    RefPtr<Material> white = material(1, 1, 1);
    changer.shape = addQuad(*root, "quad", white.get(), {0, 0, 0});
    changer.shape->addRenderListener(&changer);
    for (int i = 0; i < 3; ++i) {
        const Rgb c = frame("changed-on-event");
        EXPECT_GT(c.r, 240) << c;
        EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kOpaque], 1u);
    }
}

// A reflection map of size 0 takes the default size: both shapes are listed
// for reflections.
TEST_F(SceneRendererTest, ReflectionMapsOfSizeZeroTakeTheDefaultSize) {
    RefPtr<Material> mirror = material(1, 1, 1, 1.0f, true, 256);
    RefPtr<Material> empty = material(1, 1, 1, 1.0f, true, 0);
    addQuad(*root, "mirror", mirror.get(), {-1.2f, 0, 0});
    addQuad(*root, "empty", empty.get(), {1.2f, 0, 0});
    frame("reflections");
    EXPECT_EQ(renderer->getLastFrameCounts().reflectionShapes, 2u);
    EXPECT_EQ(renderer->getLastFrameCounts().shapes, 2u);
}

}  // namespace
