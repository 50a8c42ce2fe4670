#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "SceneTestUtil.h"
#include "scene/Camera.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"

namespace {

TEST(CameraTest, ProjectionMatrix) {
    Camera camera("cam", 90.0f, 1.0f, 101.0f);
    Matrix4 square = camera.getProjectionMatrix(512, 512);
    EXPECT_NEAR(square.m[0], 1.0f, 1e-6f);
    EXPECT_NEAR(square.m[5], 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(square.m[10], -102.0f / 100.0f);
    EXPECT_EQ(square.m[11], -1.0f);
    EXPECT_FLOAT_EQ(square.m[14], -2.0f * 101.0f / 100.0f);
    EXPECT_EQ(square.m[15], 0.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13}) {
        EXPECT_EQ(square.m[i], 0.0f) << i;
    }
    Camera narrow("cam", 60.0f, 0.5f, 100.0f);
    Matrix4 wide = narrow.getProjectionMatrix(800, 400);
    float f = 1.0f / std::tan(static_cast<float>(std::numbers::pi) / 6.0f);
    EXPECT_NEAR(wide.m[5], f, 1e-5f);
    EXPECT_NEAR(wide.m[0], f / 2.0f, 1e-5f);
    EXPECT_EQ(camera.getClassName(), std::string("Camera"));
    EXPECT_TRUE(camera.hasKind(EntityKind::Camera | EntityKind::TransformGroup));
}

struct ProjectFixture : ::testing::Test {
    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root = createRootNode(context);
    Camera* camera = createDefaultCamera(*root, context);
    ProjectFixture() {
        context.viewportWidth = 640;
        context.viewportHeight = 480;
    }
};

TEST_F(ProjectFixture, StartUpCreatesRootAndActiveDefaultCamera) {
    EXPECT_EQ(root->getName(), "RootNode");
    EXPECT_STREQ(root->getClassName(), "TransformGroup");
    EXPECT_EQ(context.getRootNode(), root.get());
    EXPECT_EQ(camera->getName(), "default camera");
    EXPECT_EQ(camera->getParent(), root.get());
    EXPECT_EQ(context.getActiveCamera(), camera);
    EXPECT_EQ(camera->getFieldOfView(), 55.0f);
    EXPECT_EQ(camera->getNearClip(), 0.25f);
    EXPECT_EQ(camera->getFarClip(), 10000.0f);
}

TEST_F(ProjectFixture, ProjectPointsOnTheViewAxisAndPlanes) {
    camera->setTranslation({0, 0, 10});
    Vector3 screen;
    ASSERT_TRUE(projectPoint(context, {0, 0, 0}, screen));
    EXPECT_NEAR(screen.x, 0.5f, 1e-6f);
    EXPECT_NEAR(screen.y, 0.5f, 1e-6f);
    // Near plane at depth 0, far plane at depth 1.
    ASSERT_TRUE(projectPoint(context, {0, 0, 10 - 0.25f}, screen));
    EXPECT_NEAR(screen.z, 0.0f, 1e-4f);
    ASSERT_TRUE(projectPoint(context, {0, 0, 10 - 10000.0f}, screen));
    EXPECT_NEAR(screen.z, 1.0f, 1e-4f);
    // A point up and to the right lands in the upper right quarter.
    ASSERT_TRUE(projectPoint(context, {1, 1, 0}, screen));
    EXPECT_GT(screen.x, 0.5f);
    EXPECT_GT(screen.y, 0.5f);
}

TEST_F(ProjectFixture, UnprojectInvertsProject) {
    camera->setTranslation({3, -2, 15});
    camera->setRotation({0.2f, -0.4f, 0.1f});
    for (Vector3 world : {Vector3(0, 0, 0), Vector3(5, 1, -3), Vector3(-2, 4, 2)}) {
        Vector3 screen, back;
        ASSERT_TRUE(projectPoint(context, world, screen));
        ASSERT_TRUE(unprojectPoint(context, screen, back));
        expectVectorNear(back, world, 2e-3f);
    }
}

TEST_F(ProjectFixture, NoProjectionWithoutCameraOrViewport) {
    Vector3 out;
    context.viewportWidth = 0;
    EXPECT_FALSE(projectPoint(context, {0, 0, 0}, out));
    context.viewportWidth = 640;
    // Deleting the active camera clears the context's reference.
    delete camera;
    EXPECT_EQ(context.getActiveCamera(), nullptr);
    EXPECT_FALSE(projectPoint(context, {0, 0, 0}, out));
    EXPECT_FALSE(unprojectPoint(context, {0.5f, 0.5f, 0.5f}, out));
    root.reset();
    EXPECT_EQ(context.getRootNode(), nullptr);
}

TEST(AimCameraTest, PullZeroMovesOnlyAlongOwnZAxis) {
    TransformGroup parent("parent");
    parent.setTranslation({0, 0, 5});
    auto* camera = new Camera("cam", 55, 1, 100);
    parent.addChild(camera);
    camera->setTranslation({1, 2, 3});
    camera->setRotation({0, static_cast<float>(std::numbers::pi) / 2, 0});
    Matrix4 before = camera->getWorldMatrix();
    camera->aimCamera({50, 50, 50}, 2.0f, 0.0f, 0.3f);
    Matrix4 after = camera->getWorldMatrix();
    // The camera's z axis is world +x here.
    expectVectorNear(after.getTranslation(), before.getTranslation() + Vector3(2, 0, 0), 1e-4f);
    for (int c = 0; c < 3; ++c) {
        expectVectorNear(after.getColumn(c), before.getColumn(c), 1e-5f);
    }
    expectVectorNear(camera->getTranslation(), {3, 2, 3}, 1e-4f);
}

TEST(AimCameraTest, PullMovesTowardsTarget) {
    Camera camera("cam", 55, 1, 100);
    camera.setTranslation({10, 0, 0});
    // d = (10, 0, 0), m = 100, k = 0.5 * (0.01 * 100 + 0.00065 / 100) / 100.
    camera.aimCamera({0, 0, 0}, 0.0f, 0.5f, 0.01f);
    float k = 0.5f * (0.01f * 100.0f + 0.00065f / 100.0f) / 100.0f;
    expectVectorNear(camera.getWorldMatrix().getTranslation(), {10 - 10 * k, 0, 0}, 1e-5f);
    // Within the dead zone nothing but the offset applies.
    camera.setTranslation({0.01f, 0, 0});
    camera.aimCamera({0, 0, 0}, 1.0f, 0.5f, 0.01f);
    expectVectorNear(camera.getWorldMatrix().getTranslation(), {0.01f, 0, 1}, 1e-6f);
}

TEST(LightSourceTest, ConeValuesFlagsAndDefaults) {
    struct Case {
        float coneAngle;
        float dropOff;
        float storedDropOff;
    };
    const Case cases[] = {{60, 4, 4}, {90, 0, 0}, {40, 9, 5}, {30, -2, 0}};
    for (const Case& c : cases) {
        LightSource::Settings settings;
        settings.type = LightSource::Spot;
        settings.coneAngle = c.coneAngle;
        settings.dropOff = c.dropOff;
        LightSource light("spot", settings);
        float h = c.coneAngle * static_cast<float>(std::numbers::pi) / 360.0f;
        EXPECT_EQ(light.getDropOff(), c.storedDropOff);
        EXPECT_NEAR(light.getCosOuterCone(), std::cos(h), 1e-6f);
        EXPECT_NEAR(light.getCosInnerCone(), std::cos(h - h / 5 * c.storedDropOff), 1e-6f);
    }
    LightSource::Settings plain;
    plain.decayRate = 0;
    LightSource ambient("a", plain);
    EXPECT_EQ(ambient.getDecayRate(), 1);
    EXPECT_EQ(ambient.getLightFlags(), 0x87u);
    EXPECT_STREQ(ambient.getClassName(), "Light");
    plain.castsShadowMap = true;
    EXPECT_EQ(LightSource("s", plain).getLightFlags(), 0xA7u);
}

TEST(LightSourceTest, RangeBoundIsKindOne) {
    TransformGroup root("root");
    auto* group = new TransformGroup("group");
    LightSource::Settings settings;
    settings.type = LightSource::Point;
    settings.range = 3.0f;
    auto* light = new LightSource("lamp", settings);
    root.addChild(group);
    group->addChild(light);
    light->setTranslation({5, 0, 0});
    group->setTranslation({0, 1, 0});

    const BoundingSphere& bound = group->getWorldBounds(1);
    expectVectorNear(bound.getCenter(), {5, 1, 0});
    EXPECT_NEAR(bound.getRadius(), 3.0f, 1e-6f);
    EXPECT_EQ(group->getWorldBounds(0).getRadius(), 0.0f);

    light->setRange(7.0f);
    EXPECT_TRUE(group->isLocalBoundsDirty(1));
    EXPECT_NEAR(group->getWorldBounds(1).getRadius(), 7.0f, 1e-6f);

    // A negative range reaches nothing; the script still reads it back.
    light->setRange(-4.0f);
    EXPECT_EQ(light->getWorldBounds(1).getRadius(), 0.0f);
    EXPECT_EQ(light->getRange(), -4.0f);
}

TEST(LightSourceTest, DirectionalLightReachesEverything) {
    LightSource::Settings settings;
    settings.type = LightSource::Directional;
    settings.range = 1.0f;
    LightSource sun("sun", settings);
    sun.setTranslation({1000, 1000, 1000});
    const BoundingSphere& reach = sun.getWorldBounds(1);
    EXPECT_TRUE(reach.intersects(BoundingSphere({-500, 0, 0}, 0.1f)));
    EXPECT_TRUE(std::isfinite(reach.getRadius() * reach.getRadius()));
}

TEST(LODTransformGroupTest, DistanceLists) {
    struct Case {
        std::vector<float> given;
        std::array<float, 8> expected;
    };
    const Case cases[] = {
        {{}, {0, 100, 100, 100, 100, 100, 100, 100}},
        {{25}, {0, 100, 100, 100, 100, 100, 100, 100}},
        {{0, 10, 30}, {0, 10, 30, 30, 30, 30, 30, 30}},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const Case& c : cases) {
        LODTransformGroup lod("lod", c.given);
        EXPECT_EQ(lod.getDistances(), c.expected) << c.given.size() << " distances";
        EXPECT_STREQ(lod.getClassName(), "TransformGroup");
        EXPECT_TRUE(lod.hasKind(EntityKind::LODTransformGroup));
    }
}

}  // namespace
