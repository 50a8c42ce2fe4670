// Alpha-tested materials on a real GL context: the cut-out shows what lies
// behind, the rest is drawn opaque and writes depth, and a material without
// the cutoff draws as it always did.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "RenderSceneFixture.h"
#include "base/device/Texture.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

class AlphaTestTest : public RenderSceneFixture {
protected:
    static constexpr const char* kTextureName = "alpha-test-cutout.png";

    void SetUp() override {
        RenderSceneFixture::SetUp();
        camera->setTranslation({0, 0, 5});
        // 16 × 16, red: opaque on the left half, alpha 0.25 on the right.
        std::vector<uint8_t> pixels(16 * 16 * 4);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                uint8_t* p = &pixels[size_t(y * 16 + x) * 4];
                p[0] = 255;
                p[3] = x < 8 ? 255 : 64;
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

    RefPtr<Material> plain(float r, float g, float b, float opacity = 1.0f) {
        MaterialDesc desc;
        desc.ambientColor = {r, g, b};
        desc.opacity = opacity;
        desc.alphaBlending = opacity < 1.0f;
        return MaterialLibrary::get(desc);
    }

    RefPtr<Material> cutout(float cutoff) {
        MaterialDesc desc;
        desc.albedoMap.file = kTextureName;
        desc.alphaTestCutoff = cutoff;
        return MaterialLibrary::get(desc);
    }

    Shape* add(const RefPtr<Geometry>& geometry, Material* paint, const Vector3& at) {
        auto* shape = new Shape("quad");
        shape->setGeometry(geometry.get());
        shape->addMaterial(paint);
        shape->setTranslation(at);
        root->addChild(shape);
        return shape;
    }

    Texture* m_texture = nullptr;
    RefPtr<Geometry> m_front = texturedQuad(1.0f);
    RefPtr<Geometry> m_back = texturedQuad(3.0f);
};

// A blue wall at the back, the red quad in front and a half-transparent
// green pane between them. Blended panes draw after opaque shapes, so where
// the red quad wrote depth the pane is hidden; through the cut-out the pane
// lies over the wall.
TEST_F(AlphaTestTest, CutOutShowsWhatIsBehindAndTheRestWritesDepth) {
    RefPtr<Material> blue = plain(0, 0, 1);
    RefPtr<Material> green = plain(0, 1, 0, 0.5f);
    add(m_back, blue.get(), {0, 0, -2});
    add(m_front, green.get(), {0, 0, -1});

    struct Case {
        const char* what;
        float cutoff;
        // Expected right half: the cut-out (green over blue) or red.
        bool cutOut;
    };
    const Case cases[] = {
        {"no alpha test: drawn as before", 0.0f, false},
        {"cutoff 0.5", 0.5f, true},
        {"cutoff below the alpha", 0.2f, false},
    };
    for (const Case& c : cases) {
        RefPtr<Material> red = cutout(c.cutoff);
        Shape* front = add(m_front, red.get(), {0, 0, 0});
        frame(std::string("alpha-test-") + std::to_string(c.cutoff));
        const Rgb left = atWorld({-0.5f, 0.0f, 0.0f});
        const Rgb right = atWorld({0.5f, 0.0f, 0.0f});
        EXPECT_GT(left.r, 220) << c.what << left;
        EXPECT_LT(left.g, 30) << c.what << " the pane behind must fail the depth test" << left;
        if (c.cutOut) {
            EXPECT_LT(right.r, 30) << c.what << right;
            EXPECT_NEAR(right.g, 128, 12) << c.what << right;
            EXPECT_NEAR(right.b, 128, 12) << c.what << right;
        } else {
            EXPECT_GT(right.r, 220) << c.what << right;
            EXPECT_LT(right.g, 30) << c.what << right;
        }
        EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kOpaque], 2u) << c.what;
        EXPECT_EQ(renderer->getLastFrameCounts().entries[RenderPassTable::kTransparent], 1u)
            << c.what;
        delete front;
    }
}

// Shapes behind an alpha-tested caster stay lit through its cut-out and
// are shadowed behind its opaque part.
TEST_F(AlphaTestTest, ShadowMapsKeepTheCutOut) {
    context.environment.ambientColor = {0, 0, 0};
    RefPtr<Material> white = plain(1, 1, 1);
    MaterialDesc desc;
    desc.albedoMap.file = kTextureName;
    desc.alphaTestCutoff = 0.5f;
    RefPtr<Material> leaves = MaterialLibrary::get(desc);
    Shape* wall = add(m_back, white.get(), {0, 0, -2});
    wall->addShapeFlags(Shape::kReceivesShadows);
    Shape* caster = add(m_front, leaves.get(), {0, 0, 0});
    caster->addShapeFlags(Shape::kCastsShadows);
    LightSource::Settings settings;
    settings.type = LightSource::Spot;
    settings.range = 50.0f;
    settings.coneAngle = 60.0f;
    settings.diffuseColor = {1, 1, 1};
    settings.specularColor = {0, 0, 0};
    settings.castsShadowMap = true;
    auto* light = new LightSource("spot", settings);
    light->setTranslation({0, 0, 4});
    root->addChild(light);
    renderer->setShadowQuality(1.0f);
    // The camera does not see the caster (its mask), the shadow renderer
    // does.
    caster->setObjectMask(0x2);
    renderer->setObjectMask(0x1);
    frame("alpha-test-shadow");
    EXPECT_EQ(renderer->getLastFrameCounts().shadowMapViews, 1u);
    // Behind the opaque half (left) the wall is in shadow, behind the
    // cut-out (right) it is lit.
    const Rgb shadowed = atWorld({-0.6f, 0.0f, -2.0f});
    const Rgb lit = atWorld({0.6f, 0.0f, -2.0f});
    EXPECT_GT(lit.r, shadowed.r + 40) << lit << shadowed;
    EXPECT_GT(lit.r, 60) << lit;
}

}  // namespace
