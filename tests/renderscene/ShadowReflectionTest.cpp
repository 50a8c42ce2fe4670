// Shadow maps, planar reflections, refraction and depth-blend maps drawn by
// the scene renderer on a real GL context (Mesa llvmpipe), probed by pixel;
// and the views they are drawn from.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "RenderSceneFixture.h"
#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "render/overlay/Screenshot.h"
#include "render/scene/SceneRenderer.h"
#include "render/scene/SubViews.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

constexpr float kDegrees = static_cast<float>(std::numbers::pi) / 180.0f;

TEST(SubViewsTest, RenderTextureSizesFromFilesAreClampedAndDefaulted) {
    struct Case {
        int requested;
        int expected;
    };
    const Case cases[] = {{0, 512}, {-7, 512}, {300, 300}, {8192, 4096}, {1, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(renderTextureSize(c.requested, 512, 4096), c.expected) << c.requested;
    }
    // A default beyond the device is clamped too.
    EXPECT_EQ(renderTextureSize(0, 512, 256), 256);
}

// The mirrored view shows a point above the plane where its mirror image
// lies, puts the plane itself on the near plane and clips what lies below.
TEST(SubViewsTest, MirroredViewClipsAtTheMirrorPlane) {
    Camera camera("camera", 60.0f, 0.1f, 100.0f);
    camera.setTranslation({0, 3, 6});
    camera.setRotation({-25.0f * kDegrees, 0, 0});
    const Matrix4 view = camera.getViewMatrix();
    const Matrix4 projection = camera.getProjectionMatrix(1.0f, 1.0f);
    SubView mirrored;
    ASSERT_TRUE(mirroredView(view, projection, {0, 3, 6}, {0, 0, 0}, {0, 2, 0}, mirrored));
    EXPECT_TRUE(mirrored.mirrored);
    EXPECT_NEAR(mirrored.position.y, -3.0f, 1e-4f);

    const Matrix4 mirroredViewProjection = mirrored.projection * mirrored.view;
    const Vector3 above = project(mirroredViewProjection, {0.5f, 1.0f, -1.0f});
    const Vector3 image = project(projection * view, {0.5f, -1.0f, -1.0f});
    EXPECT_NEAR(above.x, image.x, 1e-3f);
    EXPECT_NEAR(above.y, image.y, 1e-3f);
    EXPECT_GT(above.z, -1.0f);
    EXPECT_LT(above.z, 1.0f);
    EXPECT_NEAR(project(mirroredViewProjection, {0.3f, 0.0f, -2.0f}).z, -1.0f, 1e-3f);
    EXPECT_LT(project(mirroredViewProjection, {0.3f, -0.5f, -2.0f}).z, -1.0f);

    // A camera on the plane has nothing to mirror.
    EXPECT_FALSE(mirroredView(view, projection, {0, 0, 6}, {0, 0, 0}, {0, 1, 0}, mirrored));
}

TEST(SubViewsTest, DepthBlendViewSpansTheBoundsAndRefusesNoExtent) {
    Matrix4 world;
    world.setTranslation({1, 2, 3});
    SubView view;
    EXPECT_FALSE(depthBlendView(world, 0.0f, 64, view));
    EXPECT_FALSE(depthBlendView(world, -1.0f, 64, view));
    ASSERT_TRUE(depthBlendView(world, 2.0f, 64, view));
    const float h = 2.0f / std::numbers::sqrt2_v<float>;
    const Vector3 corner = project(view.cullViewProjection, {1 + h, 1.5f, 3 - h});
    EXPECT_NEAR(corner.x, 1.0f, 1e-4f);
    EXPECT_NEAR(corner.y, 1.0f, 1e-4f);
    // 10.5 units from the camera, between near 1 and far 1000.
    EXPECT_NEAR(corner.z, (10.5f - 1.0f) / 999.0f * 2.0f - 1.0f, 1e-4f);
}

// Light cameras see what the light lights: a spot light's axis projects to
// the centre, the cube faces of a point light each their own axis, and a
// directional light's box holds the focus and what lies within 1.5 × the
// shadow far distance of it.
TEST(SubViewsTest, LightViewsHoldWhatTheLightReaches) {
    Matrix4 lightWorld = composeTransform({0, 10, 0}, {-90.0f * kDegrees, 0, 0}, {1, 1, 1});
    const SubView spot = spotLightView(lightWorld, 40.0f, 20.0f, 256);
    const Vector3 axis = project(spot.cullViewProjection, {0, 2, 0});
    EXPECT_NEAR(axis.x, 0.0f, 1e-4f);
    EXPECT_NEAR(axis.y, 0.0f, 1e-4f);
    EXPECT_LT(std::fabs(axis.z), 1.0f);
    EXPECT_GT(project(spot.cullViewProjection, {0, -11, 0}).z, 1.0f) << "beyond the range";

    const SubView sun = directionalLightView(lightWorld, {5, 0, 5}, 20.0f, 200.0f, 512);
    for (const Vector3& p : {Vector3{5, 0, 5}, Vector3{5 + 29, 0, 5}, Vector3{5, 50, 5 - 29}}) {
        const Vector3 c = project(sun.cullViewProjection, p);
        EXPECT_LT(std::fabs(c.x), 1.0f) << p.x << " " << p.z;
        EXPECT_LT(std::fabs(c.y), 1.0f) << p.x << " " << p.z;
        EXPECT_LT(std::fabs(c.z), 1.0f) << p.y;
    }

    const Vector3 directions[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                   {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    for (int face = 0; face < 6; ++face) {
        const SubView side = pointLightFaceView({1, 1, 1}, face, 10.0f, 64);
        EXPECT_FLOAT_EQ(side.positionW, 0.1f);
        const Vector3 c = project(side.cullViewProjection, Vector3{1, 1, 1} + directions[face] * 3);
        EXPECT_NEAR(c.x, 0.0f, 1e-4f) << face;
        EXPECT_NEAR(c.y, 0.0f, 1e-4f) << face;
    }
}

RefPtr<Geometry> quadGeometry() {
    return RefPtr<Geometry>(
        new IndexedFaceSetGeometry("quad", makeQuadMesh(1.0f), VertexAttribute::Normal));
}

class ShadowReflectionTest : public RenderSceneFixture {
protected:
    // Looks straight down from `height` above the origin: world x runs to
    // the right of the window, world -z up.
    void lookDown(float height) {
        camera->setTranslation({0, height, 0});
        camera->setRotation({-90.0f * kDegrees, 0, 0});
    }

    static RefPtr<Material> paint(float r, float g, float b, float diffuse = 0.0f) {
        MaterialDesc desc;
        desc.ambientColor = {r, g, b};
        desc.diffuseColor = {diffuse, diffuse, diffuse, 1};
        return MaterialLibrary::get(desc);
    }

    // A 2 × 2 quad scaled by `scale`, facing up (+y) unless `facing` says
    // otherwise (rotation in radians).
    Shape* addQuad(Material* material, const Vector3& at, float scale,
                   const Vector3& rotation = {-90.0f * kDegrees, 0, 0}) {
        auto* shape = new Shape("quad");
        shape->setGeometry(m_quad.get());
        shape->addMaterial(material);
        shape->setTranslation(at);
        shape->setRotation(rotation);
        shape->setScale({scale, scale, scale});
        root->addChild(shape);
        return shape;
    }

    // A 2 × `half` wide quad in its shape's xz plane, facing +y: reflecting
    // and depth-blended surfaces lie in that plane.
    Shape* addSurface(Material* material, const Vector3& at, float half) {
        RefPtr<Geometry>& surface = m_surfaces.emplace_back(
            new IndexedFaceSetGeometry("surface", makeFloorMesh(half), VertexAttribute::Normal));
        auto* shape = new Shape("surface");
        shape->setGeometry(surface.get());
        shape->addMaterial(material);
        shape->setTranslation(at);
        root->addChild(shape);
        return shape;
    }

    RefPtr<Geometry> m_quad = quadGeometry();
    std::vector<RefPtr<Geometry>> m_surfaces;
};

// A small caster 1 unit above a receiving floor, lit at 45° from the -x side
// by each kind of light: its shadow falls around x = 1 while x = -1 stays
// lit; at shadow quality 0 both are lit alike.
TEST_F(ShadowReflectionTest, CastersDarkenTheReceiverWhereTheyBlockTheLight) {
    struct Case {
        const char* name;
        int type;
        uint32_t viewsPerFrame;
    };
    const Case cases[] = {{"directional", LightSource::Directional, 1},
                          {"spot", LightSource::Spot, 1},
                          {"point", LightSource::Point, 6}};
    context.environment.ambientColor = {0, 0, 0};
    lookDown(6.0f);
    RefPtr<Material> floorPaint = paint(0, 0, 0, 1.0f);
    RefPtr<Material> casterPaint = paint(0, 0, 0, 0.2f);
    Shape* floor = addQuad(floorPaint.get(), {0, 0, 0}, 3.0f);
    floor->addShapeFlags(Shape::kReceivesShadows);
    Shape* caster = addQuad(casterPaint.get(), {0, 1, 0}, 0.4f);
    caster->addShapeFlags(Shape::kCastsShadows);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LightSource::Settings settings;
        settings.type = c.type;
        settings.range = 30.0f;
        settings.coneAngle = 70.0f;
        settings.castsShadowMap = true;
        settings.depthMapResolution = 256;
        settings.shadowFarDistance = 4.0f;
        auto* light = new LightSource("light", settings);
        // Pointing at (1, -1, 0) from (-2, 3, 0): rays through the caster
        // reach the floor at x = 1.
        light->setTranslation({-2, 3, 0});
        light->setRotation({-90.0f * kDegrees, 0, 45.0f * kDegrees});
        root->addChild(light);

        renderer->setShadowQuality(1.0f);
        frame(std::string("shadow-") + c.name);
        const Rgb shadowed = atWorld({1.1f, 0, 0});
        const Rgb lit = atWorld({1.1f, 0, 1.2f});
        const Rgb beyond = atWorld({2.2f, 0, 0});
        EXPECT_EQ(renderer->getLastFrameCounts().shadowMapViews, c.viewsPerFrame);
        EXPECT_GT(lit.r, 60) << lit;
        EXPECT_LT(shadowed.r, lit.r / 4) << shadowed << lit;
        EXPECT_GT(beyond.r, shadowed.r + 30) << beyond << shadowed;

        renderer->setShadowQuality(0.0f);
        frame(std::string("no-shadow-") + c.name);
        EXPECT_EQ(renderer->getLastFrameCounts().shadowMapViews, 0u);
        const Rgb unshadowed = atWorld({1.1f, 0, 0});
        EXPECT_GT(unshadowed.r, 60) << unshadowed;
        delete light;
    }
}

// Shadow maps are kept by format and size: two directional lights of one
// size take two depth maps and a point light a cube map, every frame the
// same ones; a higher quality doubles the size and so takes new ones.
TEST_F(ShadowReflectionTest, ShadowMapsAreCachedByFormatAndSize) {
    lookDown(6.0f);
    RefPtr<Material> floorPaint = paint(0, 0, 0, 1.0f);
    addQuad(floorPaint.get(), {0, 0, 0}, 3.0f)->addShapeFlags(Shape::kReceivesShadows);
    for (int type : {LightSource::Directional, LightSource::Directional, LightSource::Point}) {
        LightSource::Settings settings;
        settings.type = type;
        settings.castsShadowMap = true;
        settings.depthMapResolution = 64;
        auto* light = new LightSource("light", settings);
        light->setTranslation({0, 3, 0});
        root->addChild(light);
    }
    renderer->setShadowQuality(1.0f);
    for (int i = 0; i < 3; ++i) {
        frame("cached");
        EXPECT_EQ(renderer->getLastFrameCounts().shadowMapViews, 8u);
        EXPECT_EQ(renderer->getNumShadowMaps(), 3u);
    }
    renderer->setShadowQuality(2.0f);
    frame("cached-quality-2");
    frame("cached-quality-2");
    EXPECT_EQ(renderer->getNumShadowMaps(), 6u);
}

// Steady frames with shadow maps, a mirror, refraction and a depth-blended
// surface allocate the same with many casters as with few.
TEST_F(ShadowReflectionTest, SteadyFramesWithEveryViewDoNotAllocatePerShape) {
    if (allocationCount() < 0) {
        GTEST_SKIP() << "allocations are not counted in this build";
    }
    lookDown(8.0f);
    RefPtr<Material> plain = paint(0.5f, 0.5f, 0.5f, 1.0f);
    MaterialDesc special;
    special.reflectionMap = true;
    special.reflectionResolution = 32;
    special.refractionMap = true;
    special.depthBlendMap = true;
    special.depthBlendResolution = 32;
    RefPtr<Material> surface = MaterialLibrary::get(special);
    addSurface(surface.get(), {0, 0.5f, 0}, 2.0f);
    for (int type : {LightSource::Directional, LightSource::Spot, LightSource::Point}) {
        LightSource::Settings settings;
        settings.type = type;
        settings.range = 20.0f;
        settings.castsShadowMap = true;
        settings.depthMapResolution = 32;
        auto* light = new LightSource("light", settings);
        light->setTranslation({0, 5, 0});
        light->setRotation({-90.0f * kDegrees, 0, 0});
        root->addChild(light);
    }
    renderer->setShadowQuality(1.0f);
    auto allocationsOfAFrame = [&](int casters) {
        for (int i = 0; i < casters; ++i) {
            Shape* quad =
                addQuad(plain.get(),
                        {float(i % 10) * 0.4f - 2.0f, 1.0f, float(i / 10) * 0.4f - 2.0f}, 0.1f);
            quad->addShapeFlags(Shape::kCastsShadows | Shape::kReceivesShadows);
        }
        frame("steady-warm");
        frame("steady-warm");
        const long before = allocationCount();
        renderer->render(context, kSize, kSize, 16.0f);
        return allocationCount() - before;
    };
    const long few = allocationsOfAFrame(5);
    const long many = allocationsOfAFrame(45);
    const SceneRenderer::FrameCounts& counts = renderer->getLastFrameCounts();
    EXPECT_EQ(counts.shadowMapViews, 8u);
    EXPECT_EQ(counts.reflectionViews, 1u);
    EXPECT_EQ(counts.refractionCopies, 1u);
    EXPECT_EQ(many, few);
}

// Beyond 1.5 × its shadow far distance a directional light no longer shadows
// a receiver.
TEST_F(ShadowReflectionTest, ShadowFarDistanceEndsDirectionalShadows) {
    context.environment.ambientColor = {0, 0, 0};
    lookDown(6.0f);
    RefPtr<Material> floorPaint = paint(0, 0, 0, 1.0f);
    Shape* floor = addQuad(floorPaint.get(), {0, 0, 0}, 3.0f);
    floor->addShapeFlags(Shape::kReceivesShadows);
    Shape* caster = addQuad(floorPaint.get(), {0, 1, 0}, 0.4f);
    caster->addShapeFlags(Shape::kCastsShadows);
    LightSource::Settings settings;
    settings.type = LightSource::Directional;
    settings.castsShadowMap = true;
    settings.shadowFarDistance = 1.0f;
    auto* light = new LightSource("sun", settings);
    light->setRotation({-90.0f * kDegrees, 0, 45.0f * kDegrees});
    root->addChild(light);
    renderer->setShadowQuality(1.0f);

    // The floor's nearest point is 6 − 4.24 = 1.76 from the camera: within
    // 1.5 units it would be shadowed, beyond it is not.
    frame("shadow-far");
    EXPECT_GT(atWorld({1.1f, 0, 0}).r, 60) << atWorld({1.1f, 0, 0});
    settings.shadowFarDistance = 10.0f;
    delete light;
    light = new LightSource("sun", settings);
    light->setRotation({-90.0f * kDegrees, 0, 45.0f * kDegrees});
    root->addChild(light);
    frame("shadow-near");
    EXPECT_LT(atWorld({1.1f, 0, 0}).r, 30) << atWorld({1.1f, 0, 0});
}

// A red cube above a mirror floor shows in the mirror at its mirrored
// position; mirror pixels away from it show the cleared background.
TEST_F(ShadowReflectionTest, PlanarMirrorShowsTheSceneMirrored) {
    camera->setTranslation({0, 2.5f, 5});
    camera->setRotation({-30.0f * kDegrees, 0, 0});
    MaterialDesc mirrorDesc;
    mirrorDesc.ambientColor = {0, 0, 0};
    mirrorDesc.reflectionMap = true;
    mirrorDesc.reflectionResolution = 0;  // the default size
    mirrorDesc.refractiveIndex = 0.0f;    // reflects everything
    mirrorDesc.reflectionBumpScale = 0.0f;
    RefPtr<Material> mirror = MaterialLibrary::get(mirrorDesc);
    Shape* floor = addSurface(mirror.get(), {0, 0, 0}, 4.0f);
    RefPtr<Material> red = paint(1, 0, 0);
    auto* cube = new Shape("cube");
    RefPtr<Geometry> box(new IndexedFaceSetGeometry("box", makeBoxMesh({0.4f, 0.4f, 0.4f}),
                                                    VertexAttribute::Normal));
    cube->setGeometry(box.get());
    cube->addMaterial(red.get());
    cube->setTranslation({1.0f, 1.0f, -1.0f});
    cube->setObjectMask(0x1);
    root->addChild(cube);

    frame("mirror");
    EXPECT_EQ(renderer->getLastFrameCounts().reflectionViews, 1u);
    const Rgb image = atWorld({1.0f, -1.0f, -1.0f});
    EXPECT_GT(image.r, 150) << image;
    EXPECT_LT(image.g + image.b, 40) << image;
    // The cube's own image and the mirror elsewhere.
    EXPECT_GT(atWorld({1.0f, 1.0f, -1.0f}).r, 150);
    const Rgb elsewhere = atWorld({-1.0f, -1.0f, -1.0f});
    EXPECT_LT(elsewhere.r, 40) << elsewhere;
    // The mirrored position lies on the mirror, below the cube's own image.
    EXPECT_LT(toWindow({1.0f, -1.0f, -1.0f}).y, toWindow({1.0f, 1.0f, -1.0f}).y);

    // The material's object mask keeps the cube out of the reflection.
    mirrorDesc.reflectionObjectMask = 0x2;
    RefPtr<Material> masked = MaterialLibrary::get(mirrorDesc);
    delete floor;
    addSurface(masked.get(), {0, 0, 0}, 4.0f);
    frame("mirror-masked");
    EXPECT_LT(atWorld({1.0f, -1.0f, -1.0f}).r, 40) << atWorld({1.0f, -1.0f, -1.0f});
}

// A cube reflection map samples the material's cube texture in the
// reflected direction: looking straight down at a mirror floor shows the +y
// face.
TEST_F(ShadowReflectionTest, CubeReflectionSamplesTheCubeTexture) {
    lookDown(5.0f);
    // 1 × 1 faces +x, -x, +y, -y, +z, -z: red but for a green +y.
    const uint8_t faces[6][3] = {{255, 0, 0}, {255, 0, 0}, {0, 255, 0},
                                 {255, 0, 0}, {255, 0, 0}, {255, 0, 0}};
    TextureDesc cubeDesc;
    cubeDesc.width = cubeDesc.height = 1;
    cubeDesc.type = TT_CUBE;
    cubeDesc.mipCount = 0;
    cubeDesc.data = faces;
    auto* cube = new Texture("test-sky.dds", s_device->createTexture(cubeDesc));
    ASSERT_TRUE(ResourceManager::instance().add(cube));
    MaterialDesc desc;
    desc.ambientColor = {0, 0, 0};
    desc.environmentMap.file = "test-sky.dds";
    desc.reflectionMap = true;
    desc.reflectionCube = true;
    desc.refractiveIndex = 0.0f;
    RefPtr<Material> sky = MaterialLibrary::get(desc);
    Shape* floor = addSurface(sky.get(), {0, 0, 0}, 2.0f);
    frame("cube-reflection");
    const Rgb c = at(0.5f, 0.5f);
    EXPECT_GT(c.g, 200) << c;
    EXPECT_LT(c.r, 40) << c;
    EXPECT_EQ(renderer->getLastFrameCounts().reflectionViews, 0u) << "nothing to render";
    delete floor;
    sky.reset();
    ResourceManager::instance().release(cube);
}

// A refractive pane in front of a background split into green (top) and
// blue (bottom) shows the background; its bump scale shifts the lookup up,
// so just below the edge green shows through instead of blue.
TEST_F(ShadowReflectionTest, RefractionShowsTheBackgroundShiftedByTheBumpScale) {
    camera->setTranslation({0, 0, 5});
    RefPtr<Material> green = paint(0, 1, 0);
    RefPtr<Material> blue = paint(0, 0, 1);
    addQuad(green.get(), {0, 2, -2}, 2.0f, {0, 0, 0});
    addQuad(blue.get(), {0, -2, -2}, 2.0f, {0, 0, 0});
    struct Case {
        float bumpScale;
        bool greenBelowEdge;
    };
    for (const Case& c : {Case{0.0f, false}, Case{0.5f, true}}) {
        MaterialDesc paneDesc;
        paneDesc.ambientColor = {1, 0, 0};
        paneDesc.refractionMap = true;
        paneDesc.refractionBumpScale = c.bumpScale;
        RefPtr<Material> pane = MaterialLibrary::get(paneDesc);
        Shape* shape = addQuad(pane.get(), {0, 0, 0}, 1.0f, {0, 0, 0});
        frame("refraction-" + std::to_string(int(c.bumpScale * 10)));
        EXPECT_EQ(renderer->getLastFrameCounts().refractionCopies, 1u);
        const Rgb below = at(0.5f, 0.46f);
        EXPECT_LT(below.r, 40) << below << " the pane's own red does not show";
        if (c.greenBelowEdge) {
            EXPECT_GT(below.g, 150) << below;
        } else {
            EXPECT_GT(below.b, 150) << below;
        }
        delete shape;
    }
}

// A blended water surface over a floor that is shallow on the left and deep
// on the right fades out where the floor nears it.
TEST_F(ShadowReflectionTest, DepthBlendMapFadesTheSurfaceNearGeometry) {
    lookDown(5.0f);
    RefPtr<Material> red = paint(1, 0, 0);
    addQuad(red.get(), {-1, -0.05f, 0}, 1.0f);
    addQuad(red.get(), {1, -3.0f, 0}, 1.0f);
    MaterialDesc waterDesc;
    waterDesc.ambientColor = {0, 0, 1};
    waterDesc.alphaBlending = true;
    waterDesc.depthBlendMap = true;
    waterDesc.depthBlendResolution = 128;
    RefPtr<Material> water = MaterialLibrary::get(waterDesc);
    addSurface(water.get(), {0, 0, 0}, 2.0f);

    frame("depth-blend");
    EXPECT_EQ(renderer->getLastFrameCounts().depthBlendViews, 1u);
    const Rgb shallow = atWorld({-1, 0, 0});
    const Rgb deep = atWorld({1, 0, 0});
    EXPECT_GT(shallow.r, 150) << shallow;
    EXPECT_GT(deep.b, 150) << deep;
    EXPECT_LT(deep.r, 60) << deep;
    frame("depth-blend-again");
    EXPECT_EQ(renderer->getLastFrameCounts().depthBlendViews, 0u) << "made once";
}

// Per-object textures go with their shape; a new shape makes its own, and a
// shape without extent gets no depth-blend map.
TEST_F(ShadowReflectionTest, PerObjectTexturesLiveAsLongAsTheirShape) {
    lookDown(5.0f);
    MaterialDesc desc;
    desc.ambientColor = {0, 0, 1};
    desc.alphaBlending = true;
    desc.depthBlendMap = true;
    desc.depthBlendResolution = 64;
    desc.reflectionMap = true;
    desc.reflectionResolution = 64;
    RefPtr<Material> material = MaterialLibrary::get(desc);
    frame("empty");
    const int before = s_device->getTextureMemory();

    Shape* shape = addSurface(material.get(), {0, 0, 0}, 1.0f);
    frame("with-shape");
    EXPECT_EQ(renderer->getLastFrameCounts().depthBlendViews, 1u);
    EXPECT_EQ(renderer->getLastFrameCounts().reflectionViews, 1u);
    const int withShape = s_device->getTextureMemory();
    EXPECT_GT(withShape, before);

    delete shape;
    frame("deleted");
    EXPECT_EQ(s_device->getTextureMemory(), before);

    addSurface(material.get(), {0, 0, 0}, 1.0f);
    frame("new-shape");
    EXPECT_EQ(renderer->getLastFrameCounts().depthBlendViews, 1u) << "drawn afresh";
    EXPECT_EQ(s_device->getTextureMemory(), withShape);

    RefPtr<Geometry> point(
        new IndexedFaceSetGeometry("point", makeQuadMesh(0.0f), VertexAttribute::Normal));
    auto* flat = new Shape("flat");
    flat->setGeometry(point.get());
    flat->addMaterial(material.get());
    flat->setCullOverride(true);
    root->addChild(flat);
    frame("no-extent");
    EXPECT_EQ(renderer->getLastFrameCounts().depthBlendViews, 0u);
    // Its reflection texture alone: half of what the first shape took.
    EXPECT_EQ(s_device->getTextureMemory(), withShape + (withShape - before) / 2);
}

}  // namespace
