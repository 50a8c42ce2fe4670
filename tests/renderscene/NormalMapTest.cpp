// Normal-mapped surfaces drawn by the scene renderer on a real GL context
// (Mesa llvmpipe). Meshes carry no tangents: the shaders find the surface's
// tangent frame themselves. Set RENDERSCENE_SCREENSHOTS to a folder to keep
// a PNG of each checked frame.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "PngMaker.h"
#include "RenderSceneFixture.h"
#include "base/device/Texture.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

constexpr float kDegrees = std::numbers::pi_v<float> / 180.0f;

class NormalMapTest : public RenderSceneFixture {
protected:
    void SetUp() override {
        RenderSceneFixture::SetUp();
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 20));
        TextureSettings::setRenderDevice(s_device);
        ResourceManager::instance().registerLoader(
            std::make_unique<GenericResourceLoader<Texture, ResourceType::Texture>>());
        context.environment.ambientColor = {0, 0, 0};
        camera->setTranslation({0, 0, 3});
        // Shines along its -z axis, turned to come in 50 degrees off the
        // quad's normal.
        LightSource::Settings settings;
        settings.type = LightSource::Directional;
        settings.diffuseColor = {1, 1, 1};
        settings.specularColor = {0, 0, 0};
        light = new LightSource("sun", settings);
        root->addChild(light);
    }

    // A material whose normal map is one colour; none for no map.
    RefPtr<Material> material(const char* name, const int* rgb) {
        MaterialDesc desc;
        desc.name = name;
        if (rgb != nullptr) {
            std::string pixels;
            for (int i = 0; i < 16; ++i) {
                pixels += {static_cast<char>(rgb[0]), static_cast<char>(rgb[1]),
                           static_cast<char>(rgb[2])};
            }
            // Names of their own: textures are shared by name for the run.
            desc.normalMap.file = std::string("normalmap_test_") + name + ".png";
            testsupport::writeFile(m_dir / desc.normalMap.file,
                                   testpng::makePng(4, 4, 8, 2, pixels));
        }
        return MaterialLibrary::get(desc);
    }

    Shape* addQuad(Geometry* geometry, Material* paint) {
        auto* shape = new Shape("quad");
        shape->setGeometry(geometry);
        shape->addMaterial(paint);
        root->addChild(shape);
        return shape;
    }

    // Light coming from `side` (+x, -x, +y or -y), 50 degrees off the normal.
    void lightFrom(const Vector3& side) {
        // Turning about y by +a sends the light's -z towards -x: it comes
        // from +x; turning about x by -a makes it come from +y.
        light->setRotation({-side.y * 50.0f * kDegrees, side.x * 50.0f * kDegrees, 0});
    }

    int brightness(const char* shot) {
        frame(shot);
        const Rgb c = atWorld({0, 0, 0});
        EXPECT_NEAR(c.r, c.b, 2) << shot << " " << c;
        return c.r;
    }

    LightSource* light = nullptr;
};

// A flat normal map (128, 128, 255) shades like no normal map at all, from
// every side.
TEST_F(NormalMapTest, FlatNormalMapShadesLikeNone) {
    const int flat[3] = {128, 128, 255};
    RefPtr<Geometry> quad = texturedQuad(1.0f);
    RefPtr<Material> plain = material("plain", nullptr);
    RefPtr<Material> mapped = material("flat", flat);
    Shape* shape = addQuad(quad.get(), plain.get());
    for (const Vector3& side : {Vector3(1, 0, 0), Vector3(-1, 0, 0), Vector3(0, 1, 0)}) {
        SCOPED_TRACE(testing::Message() << side.x << " " << side.y);
        lightFrom(side);
        shape->clearMaterials();
        shape->addMaterial(plain.get());
        const int without = brightness("normalmap-none");
        shape->clearMaterials();
        shape->addMaterial(mapped.get());
        const int with = brightness("normalmap-flat");
        // cos 50 degrees of full white.
        EXPECT_NEAR(without, 164, 8);
        EXPECT_NEAR(with, without, without * 0.03 + 1);
    }
}

// A map whose normals lean towards +u (or +v) brightens the quad when the
// light comes from the side they lean to and darkens it from the other
// side, whichever way the texture coordinates run across the quad.
TEST_F(NormalMapTest, BumpsLeanTowardsTheirTextureDirection) {
    // Normals leaning 30 degrees: (0.5, 0, 0.87) and (0, 0.5, 0.87).
    const int towardsU[3] = {191, 128, 238};
    const int towardsV[3] = {128, 191, 238};
    struct Case {
        const char* name;
        bool mirrored;
        const int* map;
        Vector3 leansTo;  // in the world
    };
    const Case cases[] = {
        {"u", false, towardsU, {1, 0, 0}},
        {"v", false, towardsV, {0, 1, 0}},
        {"mirrored-u", true, towardsU, {-1, 0, 0}},
        {"mirrored-v", true, towardsV, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefPtr<Geometry> quad = texturedQuad(1.0f, c.mirrored);
        RefPtr<Material> bumpy = material(c.map == towardsU ? "u" : "v", c.map);
        Shape* shape = addQuad(quad.get(), bumpy.get());
        lightFrom(c.leansTo);
        const int towards = brightness((std::string("normalmap-lit-") + c.name).c_str());
        lightFrom(-c.leansTo);
        const int away = brightness((std::string("normalmap-dark-") + c.name).c_str());
        // cos 20 and cos 80 degrees of full white.
        EXPECT_NEAR(towards, 240, 12);
        EXPECT_NEAR(away, 44, 12);
        shape->unlink();
        delete shape;
    }
}

}  // namespace
