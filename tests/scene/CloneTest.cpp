#include <gtest/gtest.h>

#include <numbers>

#include "SceneTestUtil.h"
#include "scene/Camera.h"
#include "scene/Clone.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

class TestMaterial : public ShapeMaterial {};

TEST(CloneTest, CopiesEachClassWithItsStateAndSkipsNonGroups) {
    TransformGroup source("source");
    // The matrix is newer than translation, rotation and scale: the copy gets
    // them re-derived (exactly, for an unscaled matrix).
    Matrix4 local = composeTransform({1, 2, 3}, {0.3f, -0.2f, 0.1f}, {1, 1, 1});
    source.setLocalMatrix(local, 0);
    source.setTransformFlags(RawTransformGroup::kNoTransformInheritance);
    source.setVisibility(false);
    source.setEnabled(false);
    source.setCullOverride(true);
    source.setObjectMask(0x80000001u);
    source.setUserAttribute("speed", UserAttribute::makeFloat(2.5f));
    source.setUserAttribute("label", UserAttribute::makeString("door"));

    auto* camera = new Camera("cam", 70, 0.5f, 500);
    LightSource::Settings settings;
    settings.type = LightSource::Spot;
    settings.coneAngle = 40;
    settings.castsShadowMap = true;
    auto* light = new LightSource("lamp", settings);
    light->setRange(12);
    auto* lod = new LODTransformGroup("lod", {0, 10, 20});
    auto* shape = new Shape("mesh");
    auto* geometry = makeSphereGeometry({0, 0, 0}, 1);
    shape->setGeometry(geometry);
    shape->addShapeFlags(Shape::kCastsShadows);
    shape->setClipDistance(250);
    auto* material = new TestMaterial;
    shape->addMaterial(material);
    auto* plainNode = new Node("plain");
    auto* raw = new RawTransformGroup("raw");
    for (Node* child : std::initializer_list<Node*>{camera, plainNode, light, raw, lod, shape}) {
        source.addChild(child);
    }
    lod->addChild(new TransformGroup("level0"));
    // Children of a skipped node are not reached either.
    raw->addChild(new TransformGroup("underRaw"));

    std::unique_ptr<TransformGroup> copy = cloneSubtree(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getParent(), nullptr);
    EXPECT_NE(copy.get(), &source);
    EXPECT_EQ(copy->getName(), "source");
    expectMatrixNear(copy->getLocalMatrix(), local);
    EXPECT_EQ(copy->getTransformFlags(), RawTransformGroup::kNoTransformInheritance);
    EXPECT_FALSE(copy->getVisibility());
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(copy->getCullOverride());
    EXPECT_EQ(copy->getObjectMask(), 0x80000001u);
    ASSERT_NE(copy->getUserAttribute("label"), nullptr);
    EXPECT_EQ(copy->getUserAttribute("label")->stringValue, "door");
    EXPECT_EQ(copy->getUserAttribute("speed")->floatValue, 2.5f);

    // Plain nodes and raw transform groups are left out; the order stays.
    ASSERT_EQ(copy->getNumChildren(), 4u);
    auto* cameraCopy = static_cast<Camera*>(copy->getChildAt(0));
    ASSERT_TRUE(cameraCopy->hasKind(EntityKind::Camera));
    EXPECT_EQ(cameraCopy->getName(), "cam");
    EXPECT_EQ(cameraCopy->getFieldOfView(), 70.0f);
    EXPECT_EQ(cameraCopy->getNearClip(), 0.5f);
    EXPECT_EQ(cameraCopy->getFarClip(), 500.0f);

    auto* lightCopy = static_cast<LightSource*>(copy->getChildAt(1));
    ASSERT_TRUE(lightCopy->hasKind(EntityKind::LightSource));
    EXPECT_EQ(lightCopy->getType(), LightSource::Spot);
    EXPECT_EQ(lightCopy->getRange(), 12.0f);
    EXPECT_EQ(lightCopy->getCosOuterCone(), light->getCosOuterCone());
    EXPECT_EQ(lightCopy->getLightFlags(), 0xA7u);

    auto* lodCopy = static_cast<LODTransformGroup*>(copy->getChildAt(2));
    ASSERT_TRUE(lodCopy->hasKind(EntityKind::LODTransformGroup));
    EXPECT_EQ(lodCopy->getDistances(), lod->getDistances());
    ASSERT_EQ(lodCopy->getNumChildren(), 1u);
    EXPECT_EQ(lodCopy->getChildAt(0)->getName(), "level0");

    auto* shapeCopy = static_cast<Shape*>(copy->getChildAt(3));
    ASSERT_TRUE(shapeCopy->hasKind(EntityKind::Shape));
    EXPECT_EQ(shapeCopy->getGeometry(), geometry);
    EXPECT_EQ(geometry->getRefCount(), 2);
    EXPECT_EQ(shapeCopy->getShapeFlags(), Shape::kCastsShadows);
    EXPECT_EQ(shapeCopy->getClipDistance(), 250.0f);
    ASSERT_EQ(shapeCopy->getNumMaterials(), 1u);
    EXPECT_EQ(shapeCopy->getMaterial(0), material);

    // The source is untouched.
    EXPECT_EQ(source.getNumChildren(), 6u);
    EXPECT_EQ(raw->getNumChildren(), 1u);

    Node plainRoot("plainRoot");
    EXPECT_EQ(cloneSubtree(plainRoot), nullptr);
}

// scene -> skeleton -> bone0 -> bone1, and scene -> model -> skin, a shape
// bound to both bones.
struct SkinCloneFixture : ::testing::Test {
    TransformGroup scene{"scene"};
    TransformGroup* skeleton = new TransformGroup("skeleton");
    TransformGroup* bone0 = new TransformGroup("bone0");
    TransformGroup* bone1 = new TransformGroup("bone1");
    TransformGroup* model = new TransformGroup("model");
    Shape* skin = new Shape("skin");

    void SetUp() override {
        scene.addChild(skeleton);
        scene.addChild(model);
        skeleton->addChild(bone0);
        bone0->addChild(bone1);
        model->addChild(skin);
        skeleton->setTranslation({0, 5, 0});
        bone0->setTranslation({1, 0, 0});
        bone1->setTranslation({0, 1, 0});
        skin->setGeometry(new IndexedFaceSetGeometry("g", skinnedMesh(), 0));
        skin->bindSkin({bone0, bone1});
        ASSERT_EQ(skin->getBones().size(), 2u);
    }
};

TEST_F(SkinCloneFixture, BonesInsideTheSubtreeMapToTheirCopies) {
    std::unique_ptr<TransformGroup> copy = cloneSubtree(scene);
    auto* skeletonCopy = static_cast<TransformGroup*>(copy->getChildAt(0));
    auto* boneCopy0 = static_cast<RawTransformGroup*>(skeletonCopy->getChildAt(0));
    auto* boneCopy1 = static_cast<RawTransformGroup*>(boneCopy0->getChildAt(0));
    auto* skinCopy = static_cast<Shape*>(copy->getChildAt(1)->getChildAt(0));
    EXPECT_TRUE(skinCopy->getShapeFlags() & Shape::kSkinned);
    ASSERT_EQ(skinCopy->getBones().size(), 2u);
    EXPECT_EQ(skinCopy->getBones()[0], boneCopy0);
    EXPECT_EQ(skinCopy->getBones()[1], boneCopy1);
    EXPECT_EQ(skeleton->getNumChildren(), 1u);  // nothing linked beside the source
    // The copy follows its own bones, not the source's.
    float palette[2 * Shape::kPaletteFloatsPerBone];
    static_cast<TransformGroup*>(boneCopy1)->setTranslation({0, 3, 0});
    skinCopy->writeSkinningPalette(palette, 2);
    EXPECT_NEAR(palette[Shape::kPaletteFloatsPerBone + 7], 2.0f, 1e-5f);
    skin->writeSkinningPalette(palette, 2);
    EXPECT_NEAR(palette[Shape::kPaletteFloatsPerBone + 7], 0.0f, 1e-5f);
}

TEST_F(SkinCloneFixture, BonesOutsideAreClonedBesideTheSourceBones) {
    CapturedLog log;
    std::unique_ptr<TransformGroup> copy = cloneSubtree(*model);
    EXPECT_EQ(log.text(), "");
    // The bone hierarchy was copied and linked under the first bone's parent.
    ASSERT_EQ(skeleton->getNumChildren(), 2u);
    EXPECT_EQ(skeleton->getChildAt(0), bone0);
    Node* boneCopy0 = skeleton->getChildAt(1);
    EXPECT_EQ(boneCopy0->getName(), "bone0");
    ASSERT_EQ(boneCopy0->getNumChildren(), 1u);

    auto* skinCopy = static_cast<Shape*>(copy->getChildAt(0));
    EXPECT_TRUE(skinCopy->getShapeFlags() & Shape::kSkinned);
    ASSERT_EQ(skinCopy->getBones().size(), 2u);
    EXPECT_EQ(skinCopy->getBones()[0], boneCopy0);
    EXPECT_EQ(skinCopy->getBones()[1], boneCopy0->getChildAt(0));
    expectMatrixNear(skinCopy->getInverseBindMatrices()[1], skin->getInverseBindMatrices()[1]);
}

TEST_F(SkinCloneFixture, BonesThatCannotBeMappedLeaveTheCopyUnskinned) {
    // The second bone lies neither in the clone nor below the first bone.
    auto* stray = new TransformGroup("stray");
    scene.addChild(stray);
    skin->bindSkin({bone0, stray});
    CapturedLog log;
    std::unique_ptr<TransformGroup> copy = cloneSubtree(*model);
    auto* skinCopy = static_cast<Shape*>(copy->getChildAt(0));
    EXPECT_FALSE(skinCopy->getShapeFlags() & Shape::kSkinned);
    EXPECT_TRUE(skinCopy->getBones().empty());
    EXPECT_EQ(log.text(),
              "Skinned shape cloning failed. Not all transforms have been cloned: skin\n");
    // The source keeps its binding.
    EXPECT_EQ(skin->getBones().size(), 2u);
}

TEST_F(SkinCloneFixture, DeletingTheCloneLeavesTheSourceBonesClean) {
    std::unique_ptr<TransformGroup> copy = cloneSubtree(*model);
    auto* boneCopy0 = static_cast<TransformGroup*>(skeleton->getChildAt(1));
    copy.reset();
    // Moving the copied bones after their shape is gone reaches no listener.
    boneCopy0->setRotation({0, 0, std::numbers::pi_v<float> / 2});
    delete boneCopy0;
    EXPECT_EQ(skeleton->getNumChildren(), 1u);
    EXPECT_EQ(skin->getBones().size(), 2u);
}

}  // namespace
