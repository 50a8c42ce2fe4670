#include <gtest/gtest.h>

#include "SceneTestUtil.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

class CountedAttachment : public RenderAttachment {
public:
    explicit CountedAttachment(int& alive) : m_alive(alive) { ++m_alive; }
    ~CountedAttachment() override { --m_alive; }

private:
    int& m_alive;
};

// Records what the geometry asks the renderer to do.
class RecordingDrawer : public ISubMeshDrawer {
public:
    std::unique_ptr<RenderAttachment> createDeviceData(const SubMesh&) override {
        ++created;
        return std::make_unique<CountedAttachment>(alive);
    }
    void drawSubMesh(const SubMesh& subMesh, RenderAttachment* data) override {
        drawn.push_back({&subMesh, data});
    }
    int created = 0;
    int alive = 0;
    std::vector<std::pair<const SubMesh*, RenderAttachment*>> drawn;
};

class TestMaterial : public ShapeMaterial {
public:
    explicit TestMaterial(int& alive) : m_alive(alive) { ++m_alive; }
    ~TestMaterial() override { --m_alive; }

private:
    int& m_alive;
};

TEST(IndexedFaceSetTest, MaterialRunsBecomeSubMeshes) {
    std::vector<Vector3> positions;
    for (int i = 0; i < 12; ++i) {
        positions.push_back({static_cast<float>(i), 0, 0});
    }
    // Runs: [0, 0], [1], [0]: a material returning later starts a new run.
    auto mesh = makeMesh(positions, {0, 0, 1, 0});
    mesh->triangles[2].attributes = VertexAttribute::Normal;
    mesh->triangles[2].corners[1].normal[1] = 1.0f;
    IndexedFaceSetGeometry geometry("mesh", std::move(mesh),
                                    VertexAttribute::Normal | VertexAttribute::TexCoords0);
    ASSERT_EQ(geometry.getNumSubMeshes(), 3u);
    const int expectedTriangles[] = {2, 1, 1};
    const int expectedMaterial[] = {0, 1, 0};
    for (size_t i = 0; i < 3; ++i) {
        const SubMesh& s = geometry.getSubMesh(i);
        EXPECT_EQ(s.indexCount, 3u * expectedTriangles[i]);
        EXPECT_EQ(s.materialIndex, expectedMaterial[i]);
        EXPECT_EQ(s.vertexStride, 8u);
        EXPECT_EQ(s.vertices.size(), s.indexCount * 8u);
    }
    // Second run, first vertex: position 6, then the normal of corner 0.
    const SubMesh& second = geometry.getSubMesh(1);
    EXPECT_EQ(second.vertices[0], 6.0f);
    EXPECT_EQ(second.vertices[8 + 4], 1.0f);  // corner 1's normal y
    EXPECT_EQ(geometry.getContentFlags(), 0u);
    expectVectorNear(geometry.getBounds().getCenter(), {5.5f, 0, 0});
    EXPECT_NEAR(geometry.getBounds().getRadius(), 5.5f, 1e-5f);
    EXPECT_NE(geometry.getMeshData(), nullptr);
}

TEST(IndexedFaceSetTest, ContentFlagsAndErrors) {
    auto colored = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    colored->triangles[0].attributes = VertexAttribute::Color;
    IndexedFaceSetGeometry colors("c", std::move(colored), 0);
    EXPECT_EQ(colors.getContentFlags(), Geometry::kHasVertexColors);
    EXPECT_EQ(colors.getSubMesh(0).vertexStride, 3u + 4u);

    IndexedFaceSetGeometry skinned("s", skinnedMesh(), 0);
    EXPECT_EQ(skinned.getContentFlags(), Geometry::kHasSkin);
    EXPECT_EQ(skinned.getSubMesh(0).vertexStride, 3u + 8u);

    CapturedLog log;
    IndexedFaceSetGeometry empty("e", std::make_unique<MeshData>(), 0);
    EXPECT_EQ(log.text(), "Error: Mesh with zero triangles\n");
    EXPECT_EQ(empty.getNumSubMeshes(), 0u);
    EXPECT_TRUE(empty.getBounds().isEmpty());

    auto broken =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {2, 1, 0}}, {0, 1});
    broken->triangles[0].corners[2].position = 99;
    IndexedFaceSetGeometry partly("p", std::move(broken), 0);
    EXPECT_EQ(log.count("Error: Internal mesh error\n"), 1u);
    ASSERT_EQ(partly.getNumSubMeshes(), 1u);
    EXPECT_EQ(partly.getSubMesh(0).materialIndex, 1);
}

TEST(IndexedFaceSetTest, DeviceDataIsMadeOnFirstDraw) {
    // The drawer outlives the geometry, whose device data counts down in it.
    RecordingDrawer drawer;
    IndexedFaceSetGeometry geometry(
        "mesh",
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1}), 0);
    SceneRenderContext context;
    geometry.draw(context, 0);  // no drawer yet: nothing happens
    EXPECT_EQ(geometry.getSubMeshData(0), nullptr);
    EXPECT_EQ(context.statistics.drawCalls, 0u);

    context.subMeshDrawer = &drawer;
    geometry.draw(context, 0);
    geometry.draw(context, 0);
    geometry.draw(context, 1);
    geometry.draw(context, 2);  // beyond the sub-meshes
    EXPECT_EQ(drawer.created, 2);
    ASSERT_EQ(drawer.drawn.size(), 3u);
    EXPECT_EQ(drawer.drawn[0].second, drawer.drawn[1].second);
    EXPECT_EQ(drawer.drawn[0].second, geometry.getSubMeshData(0));
    EXPECT_EQ(context.statistics.drawCalls, 3u);
    EXPECT_EQ(context.statistics.primitives, 3u);
    EXPECT_EQ(context.statistics.indices, 9u);
    EXPECT_EQ(geometry.getSubMeshData(7), nullptr);
}

TEST(ShapeTest, GeometryMaterialsAndFlagsDropTheRenderObject) {
    int objects = 0;
    int materials = 0;
    Shape shape("s");
    EXPECT_EQ(shape.getClipDistance(), 1000000.0f);
    EXPECT_STREQ(shape.getClassName(), "Shape");

    auto* geometry = new IndexedFaceSetGeometry("g", skinnedMesh(), 0);
    geometry->setKindFlags(Geometry::kListsShapesOnSet);
    shape.setRenderObject(std::make_unique<CountedAttachment>(objects));
    shape.setGeometry(geometry);
    EXPECT_EQ(objects, 0);
    EXPECT_EQ(geometry->getRefCount(), 1);
    EXPECT_EQ(shape.getShapeFlags(), Shape::kSkinned);
    ASSERT_EQ(geometry->getShapes().size(), 1u);

    shape.setRenderObject(std::make_unique<CountedAttachment>(objects));
    shape.addMaterial(new TestMaterial(materials));
    EXPECT_EQ(objects, 0);
    EXPECT_EQ(shape.getNumMaterials(), 1u);

    shape.setRenderObject(std::make_unique<CountedAttachment>(objects));
    shape.addShapeFlags(Shape::kSkinned);  // no change
    EXPECT_EQ(objects, 1);
    shape.addShapeFlags(Shape::kCastsShadows);
    EXPECT_EQ(objects, 0);

    // A geometry without skin and with colours replaces both derived flags.
    auto colored = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    colored->triangles[0].attributes = VertexAttribute::Color;
    geometry->addRef();
    shape.setGeometry(new IndexedFaceSetGeometry("c", std::move(colored), 0));
    EXPECT_EQ(shape.getShapeFlags(), Shape::kCastsShadows | Shape::kVertexColors);
    EXPECT_TRUE(geometry->getShapes().empty());
    EXPECT_EQ(geometry->getRefCount(), 1);
    geometry->release();
    EXPECT_EQ(materials, 1);
}

TEST(ShapeTest, ShapeBoundsFromGeometryAndTheBoundsEvent) {
    TransformGroup root("root");
    auto* shape = new Shape("s");
    root.addChild(shape);
    EXPECT_EQ(root.getLocalBounds(0).getRadius(), 0.0f);  // no geometry, no bounds
    shape->setGeometry(makeSphereGeometry({1, 0, 0}, 2));
    shape->setTranslation({0, 3, 0});
    shape->setScale({2, 2, 2});
    const BoundingSphere& bounds = shape->getWorldBounds(0);
    expectVectorNear(bounds.getCenter(), {2, 3, 0});
    EXPECT_NEAR(bounds.getRadius(), 4.0f, 1e-5f);

    root.getLocalBounds(0);
    shape->actionPerformed(nullptr, SceneEvents::shapeBoundsChangedEventKind(), 0, 0);
    EXPECT_TRUE(root.isLocalBoundsDirty(0));
    root.getLocalBounds(0);
    shape->actionPerformed(nullptr, SceneEvents::renderEventKind(), 0, 0);
    EXPECT_FALSE(root.isLocalBoundsDirty(0));
}

// root -> parent (translated) -> bones[0] -> bones[1] ... (a chain), and a
// skinned shape under the root.
struct SkinFixture : ::testing::Test {
    TransformGroup root{"root"};
    TransformGroup* boneParent = new TransformGroup("boneParent");
    std::vector<RawTransformGroup*> bones;
    Shape* shape = new Shape("skin");

    void build(size_t count) {
        root.addChild(boneParent);
        root.addChild(shape);
        boneParent->setTranslation({0, 10, 0});
        TransformGroup* parent = boneParent;
        for (size_t i = 0; i < count; ++i) {
            auto* bone = new TransformGroup("bone" + std::to_string(i));
            bone->setTranslation({1, 0, 0});
            parent->addChild(bone);
            bones.push_back(bone);
            parent = bone;
        }
        shape->setGeometry(new IndexedFaceSetGeometry("g", skinnedMesh(), 0));
    }
};

TEST_F(SkinFixture, BindingFortyOneBonesWarnsOnceAndBindsAll) {
    build(41);
    CapturedLog log;
    shape->bindSkin(bones);
    EXPECT_EQ(log.count("Warning: Max bones per mesh limit exceeded\n"), 1u);
    EXPECT_EQ(shape->getBones().size(), 41u);
    EXPECT_EQ(shape->getInverseBindMatrices().size(), 41u);
    EXPECT_TRUE(shape->getShapeFlags() & Shape::kSkinned);
    // The palette holds forty bones at most.
    std::vector<float> palette(41 * Shape::kPaletteFloatsPerBone, -1.0f);
    EXPECT_EQ(shape->writeSkinningPalette(palette.data(), 41), 40u);
    EXPECT_EQ(palette[40 * Shape::kPaletteFloatsPerBone], -1.0f);
}

TEST_F(SkinFixture, MissingBoneLeavesShapeUnskinned) {
    build(3);
    std::vector<RawTransformGroup*> list = {bones[0], bones[1], nullptr};
    shape->bindSkin(list);
    EXPECT_TRUE(shape->getBones().empty());
    EXPECT_TRUE(shape->getInverseBindMatrices().empty());
    EXPECT_FALSE(shape->getShapeFlags() & Shape::kSkinned);
}

TEST_F(SkinFixture, PaletteIsIdentityAtBindPoseAndFollowsBones) {
    build(3);
    shape->bindSkin(bones);
    expectMatrixNear(shape->getSkinRootMatrix(), Matrix4::translation({0, -10, 0}));
    float palette[3 * Shape::kPaletteFloatsPerBone];
    ASSERT_EQ(shape->writeSkinningPalette(palette, 3), 3u);
    const float identityRows[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    for (size_t i = 0; i < 3 * Shape::kPaletteFloatsPerBone; ++i) {
        EXPECT_NEAR(palette[i], identityRows[i % 12], 1e-5f) << i;
    }
    // Moving the bone parent moves nothing relative to the skin root frame,
    // moving bone 1 shows up as the translation of bones 1 and 2 (row ends).
    static_cast<TransformGroup*>(bones[1])->setTranslation({1, 2, 0});
    shape->writeSkinningPalette(palette, 3);
    EXPECT_NEAR(palette[3], 0.0f, 1e-5f);
    EXPECT_NEAR(palette[12 + 7], 2.0f, 1e-5f);
    EXPECT_NEAR(palette[24 + 7], 2.0f, 1e-5f);
}

TEST_F(SkinFixture, SkinnedBoundsFollowFirstBone) {
    build(2);
    shape->bindSkin(bones);
    // Bone 0's world x inverse bind = the bone parent's world: (0, 10, 0).
    const BoundingSphere& bounds = shape->getLocalBounds(0);
    expectVectorNear(bounds.getCenter(), {0, 10, 0}, 1e-5f);
    EXPECT_NEAR(bounds.getRadius(), 1.0f, 1e-5f);
    root.getLocalBounds(0);
    boneParent->setTranslation({0, 20, 0});
    // The world event of bone 0 reached the shape.
    EXPECT_TRUE(shape->isLocalBoundsDirty(0));
    EXPECT_TRUE(root.isLocalBoundsDirty(0));
    expectVectorNear(shape->getLocalBounds(0).getCenter(), {0, 20, 0}, 1e-5f);
}

TEST_F(SkinFixture, DeletingABoneUnbindsTheSkin) {
    build(3);
    shape->bindSkin(bones);
    delete bones[1];  // deletes bone 2 with it
    EXPECT_TRUE(shape->getBones().empty());
    EXPECT_FALSE(shape->getShapeFlags() & Shape::kSkinned);
    // Bone 0 lives on and no longer reports to the shape.
    shape->getLocalBounds(0);
    static_cast<TransformGroup*>(bones[0])->setTranslation({5, 5, 5});
    EXPECT_FALSE(shape->isLocalBoundsDirty(0));
    float palette[Shape::kPaletteFloatsPerBone];
    EXPECT_EQ(shape->writeSkinningPalette(palette, 1), 0u);
}

TEST_F(SkinFixture, DeletingTheShapeFirstLeavesBonesClean) {
    build(2);
    shape->bindSkin(bones);
    delete shape;
    shape = nullptr;
    static_cast<TransformGroup*>(bones[0])->setTranslation({5, 5, 5});
    delete bones[0];
    EXPECT_EQ(boneParent->getNumChildren(), 0u);
}

TEST_F(SkinFixture, ShapeBelowItsOwnBonesDiesWithThem) {
    // The skinned shape hangs below its last bone: deleting the first bone
    // deletes the shape while the bones above it are being torn down.
    build(2);
    shape->unlink();
    bones[1]->addChild(shape);
    shape->bindSkin(bones);
    delete bones[0];
    shape = nullptr;
    EXPECT_EQ(boneParent->getNumChildren(), 0u);
}

TEST(ShapeTest, BindSkinWithoutSkinDataBindsNothing) {
    TransformGroup bone("bone");
    Shape shape("s");
    shape.setGeometry(makeSphereGeometry({0, 0, 0}, 1));
    shape.bindSkin({&bone});
    EXPECT_TRUE(shape.getBones().empty());
}

}  // namespace
