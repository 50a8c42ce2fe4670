// Instanced drawing against single draws on a real GL context: each scene
// of the table is drawn with the "instancing" console value on and off and
// the two frames must agree pixel by pixel within the rasteriser's rounding
// (the instanced shaders compute positions through the world, the single
// ones with one matrix), while the instanced frame issues fewer draw calls
// for the same shapes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "RenderSceneFixture.h"
#include "base/device/Texture.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "render/scene/InstanceBuffer.h"
#include "render/scene/RenderStats.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

constexpr float kDegrees = 3.14159265f / 180.0f;

class InstancingTest : public RenderSceneFixture {
protected:
    static constexpr const char* kTextureName = "instancing-cutout.png";

    void SetUp() override {
        RenderSceneFixture::SetUp();
        // Looking down at 40° onto a grid of boxes on a floor.
        camera->setTranslation({0, 6, 7});
        camera->setRotation({-40.0f * kDegrees, 0, 0});
        context.environment.ambientColor = {0.3f, 0.3f, 0.3f};
        // 16 × 16, white: opaque in a disc, alpha 0.1 outside it.
        std::vector<uint8_t> pixels(16 * 16 * 4, 255);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int dx = 2 * x - 15;
                const int dy = 2 * y - 15;
                pixels[size_t(y * 16 + x) * 4 + 3] = dx * dx + dy * dy < 14 * 14 ? 255 : 25;
            }
        }
        TextureDesc desc;
        desc.width = desc.height = 16;
        desc.format = PF_BYTE_RGBA32;
        desc.mipCount = 0;
        desc.minFilter = desc.magFilter = TF_POINT;
        desc.data = pixels.data();
        m_texture = new Texture(kTextureName, s_device->createTexture(desc));
        ASSERT_TRUE(ResourceManager::instance().add(m_texture));
    }

    void TearDown() override {
        root.reset();
        ResourceManager::instance().release(m_texture);
        RenderSceneFixture::TearDown();
    }

    static RefPtr<Material> paint(float r, float g, float b, float opacity = 1.0f) {
        return solidPaint(r, g, b, opacity);
    }

    Shape* add(Node& parent, Geometry* geometry, Material* material, const Vector3& at,
               uint32_t flags = Shape::kCastsShadows | Shape::kReceivesShadows) {
        auto* shape = new Shape("shape");
        shape->setGeometry(geometry);
        shape->addMaterial(material);
        shape->setTranslation(at);
        shape->addShapeFlags(flags);
        parent.addChild(shape);
        return shape;
    }

    LightSource* light(int type, const Vector3& at, float range, float brightness,
                       bool shadow = false) {
        LightSource::Settings settings;
        settings.type = type;
        settings.range = range;
        settings.coneAngle = 80.0f;
        settings.diffuseColor = {brightness, brightness, brightness};
        settings.specularColor = {brightness, brightness, brightness};
        settings.castsShadowMap = shadow;
        settings.depthMapResolution = 256;
        settings.shadowFarDistance = 30.0f;
        auto* source = new LightSource("light", settings);
        source->setTranslation(at);
        // Pointing down and a little along -x.
        source->setRotation({-70.0f * kDegrees, 0, 20.0f * kDegrees});
        root->addChild(source);
        return source;
    }

    // A 5 × 5 grid of boxes, rotated and scaled differently, in two
    // materials, on a grey floor.
    void boxesOnAFloor() {
        m_boxes.clear();
        add(*root, m_floor.get(), m_grey.get(), {0, 0, 0});
        for (int i = 0; i < 25; ++i) {
            Shape* box = add(*root, m_box.get(), (i % 2) ? m_red.get() : m_blue.get(),
                             {float(i % 5) * 1.2f - 2.4f, 0.5f, float(i / 5) * 1.2f - 2.4f});
            box->setRotation({0, float(i) * 17.0f * kDegrees, 0});
            const float scale = 0.7f + 0.05f * float(i % 4);
            box->setScale({scale, scale * 1.5f, scale});
            m_boxes.push_back(box);
        }
    }

    // The frame with instancing on or off; its pixels stay in m_pixels.
    std::vector<uint8_t> draw(bool instancing, const std::string& name) {
        context.environment.instancing = instancing;
        frame(name + (instancing ? "-instanced" : "-single"));
        return m_pixels;
    }

    RefPtr<Geometry> m_box{new IndexedFaceSetGeometry("box", makeBoxMesh({0.4f, 0.4f, 0.4f}),
                                                      VertexAttribute::Normal)};
    RefPtr<Geometry> m_floor{
        new IndexedFaceSetGeometry("floor", makeFloorMesh(4.0f), VertexAttribute::Normal)};
    RefPtr<Geometry> m_quad = texturedQuad(0.5f);
    RefPtr<Material> m_red = paint(0.9f, 0.2f, 0.1f);
    RefPtr<Material> m_blue = paint(0.1f, 0.3f, 0.9f);
    RefPtr<Material> m_grey = paint(0.6f, 0.6f, 0.6f);
    Texture* m_texture = nullptr;
    // Materials a case makes, kept while its frames are drawn.
    RefPtr<Material> m_keep;
    RefPtr<Material> m_keepToo;
    std::vector<Shape*> m_boxes;
};

// Every case draws the same shapes both ways: the frames agree (a few
// pixels on triangle edges may round the other way), the statistics count
// the same shapes, triangles and vertices, and instancing draws them with
// fewer calls.
TEST_F(InstancingTest, InstancedFramesMatchSingleDraws) {
    struct Case {
        const char* name;
        std::function<void()> build;
        // The pass whose draw calls must drop with instancing.
        int pass = RenderPassTable::kOpaque;
    };
    const std::vector<Case> cases = {
        {"one-light",
         [&] {
             boxesOnAFloor();
             light(LightSource::Point, {0, 3, 0}, 12.0f, 0.8f);
         }},
        {"four-lights",
         [&] {
             boxesOnAFloor();
             light(LightSource::Directional, {0, 5, 0}, 1.0f, 0.4f);
             light(LightSource::Point, {-2, 1.5f, -2}, 3.0f, 0.8f);
             light(LightSource::Point, {2, 1.5f, 2}, 3.0f, 0.8f);
             light(LightSource::Spot, {0, 3, 0}, 6.0f, 0.8f);
         }},
        {"fog",
         [&] {
             boxesOnAFloor();
             light(LightSource::Directional, {0, 5, 0}, 1.0f, 0.6f);
             context.environment.fog.mode = 1;
             context.environment.fog.parameters[0] = 6.0f;
             context.environment.fog.parameters[1] = 11.0f;
             context.environment.fog.color[1] = 1.0f;
         }},
        {"shadows-and-further-groups",
         [&] {
             boxesOnAFloor();
             renderer->setShadowQuality(1.0f);
             light(LightSource::Directional, {0, 5, 0}, 1.0f, 0.7f, true);
             light(LightSource::Spot, {1, 4, 1}, 10.0f, 0.5f, true);
             light(LightSource::Point, {-1, 1.5f, 0}, 4.0f, 0.6f);
         },
         RenderPassTable::kFurtherLights},
        {"mirror",
         [&] {
             MaterialDesc mirrorDesc;
             mirrorDesc.ambientColor = {0, 0, 0};
             mirrorDesc.reflectionMap = true;
             mirrorDesc.refractiveIndex = 0.0f;
             mirrorDesc.reflectionBumpScale = 0.0f;
             m_keep = MaterialLibrary::get(mirrorDesc);
             add(*root, m_floor.get(), m_keep.get(), {0, -0.01f, 0});
             add(*root, m_floor.get(), m_grey.get(), {0, 0, -8.0f});
             for (int i = 0; i < 9; ++i) {
                 add(*root, m_box.get(), (i % 2) ? m_red.get() : m_blue.get(),
                     {float(i % 3) * 1.5f - 1.5f, 1.0f, float(i / 3) * 1.5f - 1.5f});
             }
             light(LightSource::Point, {0, 3, 2}, 12.0f, 0.8f);
         }},
        {"lod-children",
         [&] {
             add(*root, m_floor.get(), m_grey.get(), {0, 0, 0});
             for (int i = 0; i < 16; ++i) {
                 // Near groups show the red box, far ones the blue one.
                 auto* lod = new LODTransformGroup("lod", {0, 8.5f});
                 lod->setTranslation(
                     {float(i % 4) * 1.5f - 2.25f, 0.5f, float(i / 4) * 1.5f - 2.25f});
                 root->addChild(lod);
                 add(*lod, m_box.get(), m_red.get(), {0, 0, 0});
                 add(*lod, m_box.get(), m_blue.get(), {0, 0.3f, 0});
             }
             light(LightSource::Point, {0, 3, 0}, 12.0f, 0.8f);
         }},
        {"object-mask",
         [&] {
             boxesOnAFloor();
             // Every third box is hidden from the renderer.
             for (size_t i = 1; i < m_boxes.size(); i += 3) {
                 m_boxes[i]->setObjectMask(0x2);
             }
             renderer->setObjectMask(0x1);
             light(LightSource::Point, {0, 3, 0}, 12.0f, 0.8f);
         }},
        {"alpha-tested",
         [&] {
             add(*root, m_floor.get(), m_grey.get(), {0, 0, 0});
             MaterialDesc desc;
             desc.albedoMap.file = kTextureName;
             desc.alphaTestCutoff = 0.5f;
             desc.ambientColor = {1, 1, 1};
             m_keep = MaterialLibrary::get(desc);
             for (int i = 0; i < 12; ++i) {
                 add(*root, m_quad.get(), m_keep.get(),
                     {float(i % 4) - 1.5f, 0.6f, float(i / 4) * 0.7f - 0.7f});
             }
             renderer->setShadowQuality(1.0f);
             light(LightSource::Directional, {0, 5, 0}, 1.0f, 0.6f, true);
         }},
        {"blended",
         [&] {
             add(*root, m_floor.get(), m_grey.get(), {0, 0, 0});
             m_keep = paint(0.2f, 0.9f, 0.3f, 0.5f);
             RefPtr<Material> red = paint(0.9f, 0.2f, 0.2f, 0.5f);
             m_keepToo = red;
             // Overlapping panes at several depths, two materials.
             for (int i = 0; i < 12; ++i) {
                 add(*root, m_quad.get(), (i % 3) ? m_keep.get() : red.get(),
                     {float(i % 4) * 0.6f - 0.9f, 0.6f, float(i / 4) * 0.8f - 0.8f}, 0);
             }
             light(LightSource::Point, {0, 3, 0}, 12.0f, 0.8f);
         },
         RenderPassTable::kTransparent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        root = createRootNode(context);
        camera = new Camera("camera", 60.0f, 0.1f, 100.0f);
        camera->setTranslation({0, 6, 7});
        camera->setRotation({-40.0f * kDegrees, 0, 0});
        root->addChild(camera);
        context.setActiveCamera(camera);
        context.environment.fog = FogSettings();
        renderer = std::make_unique<SceneRenderer>(*s_device, *library);
        c.build();

        const std::vector<uint8_t> single = draw(false, c.name);
        const RenderStatistics singleStats = context.statistics;
        const SceneRenderer::FrameCounts singleCounts = renderer->getLastFrameCounts();
        const std::vector<uint8_t> instanced = draw(true, c.name);
        const RenderStatistics& stats = context.statistics;
        const SceneRenderer::FrameCounts& counts = renderer->getLastFrameCounts();

        EXPECT_EQ(singleStats.instancedDrawCalls, 0u);
        EXPECT_GT(stats.instancedDrawCalls, 0u);
        EXPECT_EQ(stats.objects, singleStats.objects);
        EXPECT_EQ(stats.drawCalls, singleStats.drawCalls);
        EXPECT_EQ(stats.primitives, singleStats.primitives);
        EXPECT_EQ(stats.indices, singleStats.indices);
        for (int pass = 0; pass < RenderPassTable::kNumPasses; ++pass) {
            EXPECT_EQ(counts.entries[pass], singleCounts.entries[pass]) << "pass " << pass;
            EXPECT_LE(counts.draws[pass], singleCounts.draws[pass]) << "pass " << pass;
        }
        EXPECT_EQ(singleCounts.draws[c.pass], singleCounts.entries[c.pass]);
        EXPECT_LT(counts.draws[c.pass], singleCounts.draws[c.pass]);

        // Pixels that differ noticeably lie on edges only: few of them.
        ASSERT_EQ(single.size(), instanced.size());
        size_t differing = 0;
        long total = 0;
        for (size_t i = 0; i < single.size(); ++i) {
            const int d = std::abs(int(single[i]) - int(instanced[i]));
            total += d;
            differing += d > 24 ? 1 : 0;
        }
        const size_t pixels = single.size() / 3;
        EXPECT_LT(differing, pixels / 200) << differing << " of " << pixels;
        EXPECT_LT(double(total) / double(single.size()), 0.5);
        // Something is drawn: the frame is not empty.
        long sum = 0;
        for (uint8_t v : instanced) {
            sum += v;
        }
        EXPECT_GT(sum / long(pixels), 20);
        root.reset();
        m_keep = nullptr;
        m_keepToo = nullptr;
    }
}

// The statistics page names the draw calls the device got and how many of
// them were instanced: 25 boxes in two materials take one instanced draw
// each, the floor one of its own.
TEST_F(InstancingTest, StatisticsPageCountsInstancedDraws) {
    boxesOnAFloor();
    draw(true, "statistics");
    const RenderStatistics& s = context.statistics;
    EXPECT_EQ(s.drawCalls, 26u);
    EXPECT_EQ(s.instances, 26u);
    EXPECT_EQ(s.instancedDrawCalls, 3u);
    const std::string text = renderStatsText(s, RenderMemoryUse(), 0);
    EXPECT_NE(text.find("Rendered VBs:      26\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Draw calls:             3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Instanced draw calls:   3  instances: 26\n"), std::string::npos) << text;

    draw(false, "statistics");
    const std::string single = renderStatsText(context.statistics, RenderMemoryUse(), 0);
    EXPECT_NE(single.find("Draw calls:             26\n"), std::string::npos) << single;
    EXPECT_NE(single.find("Instanced draw calls:   0  instances: 0\n"), std::string::npos)
        << single;
}

// The batches and the instance buffer are kept: a steady frame of many
// instanced shapes allocates no more than one of a few.
TEST_F(InstancingTest, SteadyInstancedFramesDoNotAllocatePerShape) {
    if (allocationCount() < 0) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    renderer->setShadowQuality(1.0f);
    light(LightSource::Directional, {0, 5, 0}, 1.0f, 0.7f, true);
    light(LightSource::Point, {0, 3, 0}, 12.0f, 0.8f);
    auto allocationsOfAFrame = [&](int boxes) {
        for (int i = 0; i < boxes; ++i) {
            add(*root, m_box.get(), (i % 2) ? m_red.get() : m_blue.get(),
                {float(i % 10) * 0.5f - 2.5f, 0.5f, float(i / 10) * 0.5f - 2.5f});
        }
        frame("allocations-warm");
        frame("allocations-warm");
        const long before = allocationCount();
        renderer->render(context, kSize, kSize, 16.0f);
        return allocationCount() - before;
    };
    const long few = allocationsOfAFrame(4);
    const long many = allocationsOfAFrame(60);
    EXPECT_GT(context.statistics.instancedDrawCalls, 0u);
    // The shadow map, the sun's group and the point light's group.
    EXPECT_EQ(context.statistics.instances, 64u * 3u);
    EXPECT_EQ(many, few);
}

// The instance buffer is a ring: requests follow each other at 16-byte
// aligned offsets, one that does not fit in what is left starts at the
// front again (the old storage orphaned), one larger than the whole buffer
// makes it grow; empty and absurd requests map nothing.
TEST_F(InstancingTest, InstanceBufferIsARingThatGrows) {
    InstanceBuffer ring(*s_device);
    uint32_t offset = 99;
    EXPECT_EQ(ring.map(0, offset), nullptr);
    EXPECT_EQ(ring.map(UINT32_MAX, offset), nullptr);
    EXPECT_EQ(ring.getBuffer(), nullptr);

    auto fill = [&ring](uint32_t bytes, uint8_t value, uint32_t& at) {
        auto* p = static_cast<uint8_t*>(ring.map(bytes, at));
        if (p == nullptr) {
            return false;
        }
        std::fill(p, p + bytes, value);
        ring.unmap();
        return true;
    };
    auto readBack = [&ring](uint32_t at, uint32_t bytes) {
        std::vector<uint8_t> data(bytes);
        ring.getBuffer()->read(at, bytes, data.data());
        return data;
    };
    ASSERT_TRUE(fill(100, 1, offset));
    EXPECT_EQ(offset, 0u);
    const uint32_t size = ring.getSize();
    ASSERT_GE(size, 1024u);
    ASSERT_TRUE(fill(40, 2, offset));
    EXPECT_EQ(offset, 112u);
    EXPECT_EQ(readBack(0, 100), std::vector<uint8_t>(100, 1));
    EXPECT_EQ(readBack(112, 40), std::vector<uint8_t>(40, 2));

    ASSERT_TRUE(fill(size - 160, 3, offset));
    EXPECT_EQ(offset, 160u);
    ASSERT_TRUE(fill(64, 4, offset));
    EXPECT_EQ(offset, 0u) << "wraps to the front";
    EXPECT_EQ(ring.getSize(), size);
    EXPECT_EQ(readBack(0, 64), std::vector<uint8_t>(64, 4));

    ASSERT_TRUE(fill(size * 3, 5, offset));
    EXPECT_EQ(offset, 0u);
    EXPECT_GE(ring.getSize(), size * 3);
    EXPECT_EQ(readBack(size * 3 - 8, 8), std::vector<uint8_t>(8, 5));
}

}  // namespace
