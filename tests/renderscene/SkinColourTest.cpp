// Vertex-coloured and skinned meshes drawn by the scene renderer on a real
// GL context (Mesa llvmpipe), probed by pixel. Set RENDERSCENE_SCREENSHOTS to
// a folder to keep a PNG of each checked frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "RenderSceneFixture.h"
#include "render/material/Material.h"
#include "scene/Shape.h"

namespace {

constexpr float kDegrees = static_cast<float>(std::numbers::pi) / 180.0f;

// Two triangles a, b, c and a, c, d facing +z, with a normal and, when
// given, a colour per corner.
void addQuadTriangles(MeshData& mesh, const uint32_t (&corners)[4],
                      const float (*colours)[3] = nullptr) {
    for (const auto& order : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
        MeshTriangle triangle;
        triangle.attributes = VertexAttribute::Normal;
        if (colours != nullptr) {
            triangle.attributes |= VertexAttribute::Color;
        }
        for (int i = 0; i < 3; ++i) {
            MeshCorner& corner = triangle.corners[i];
            corner.position = corners[order[i]];
            corner.normal[2] = 1.0f;
            if (colours != nullptr) {
                std::copy(colours[order[i]], colours[order[i]] + 3, corner.color);
            }
        }
        mesh.triangles.push_back(triangle);
    }
}

class SkinColourTest : public RenderSceneFixture {
protected:
    void SetUp() override {
        RenderSceneFixture::SetUp();
        MaterialDesc desc;
        desc.ambientColor = {1, 1, 1};
        desc.diffuseColor = {0, 0, 0, 1};
        white = MaterialLibrary::get(desc);
    }

    Shape* addShape(Geometry* geometry) {
        auto* shape = new Shape("shape");
        shape->setGeometry(geometry);
        shape->addMaterial(white.get());
        root->addChild(shape);
        return shape;
    }

    RefPtr<Material> white;
};

// A white-lit quad with a red, green, blue and black corner shows each
// colour near its corner.
TEST_F(SkinColourTest, VertexColouredQuadShowsItsColours) {
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
    addQuadTriangles(*mesh, {0, 1, 2, 3}, colours);
    RefPtr<Geometry> quad(
        new IndexedFaceSetGeometry("quad", std::move(mesh), VertexAttribute::Normal));
    Shape* shape = addShape(quad.get());
    EXPECT_TRUE(shape->getShapeFlags() & Shape::kVertexColors);
    camera->setTranslation({0, 0, 3});

    frame("vertex-colours");
    const Rgb red = atWorld({-0.85f, -0.85f, 0});
    const Rgb green = atWorld({0.85f, -0.85f, 0});
    const Rgb blue = atWorld({0.85f, 0.85f, 0});
    const Rgb black = atWorld({-0.85f, 0.85f, 0});
    EXPECT_GT(red.r, 170) << red;
    EXPECT_LT(red.g + red.b, 80) << red;
    EXPECT_GT(green.g, 170) << green;
    EXPECT_LT(green.r + green.b, 80) << green;
    EXPECT_GT(blue.b, 170) << blue;
    EXPECT_LT(blue.r + blue.g, 80) << blue;
    EXPECT_LT(black.r + black.g + black.b, 80) << black;
}

// A strip from x = 0 to 2, 0.3 high: its left half follows bone 0 at the
// origin, its right half bone 1 at x = 1. Bound to bones that then move, the
// strip follows them; the same geometry on a shape without bones stays in
// its rest pose.
TEST_F(SkinColourTest, SkinnedStripFollowsItsBones) {
    auto mesh = std::make_unique<MeshData>();
    for (float x : {0.0f, 1.0f, 2.0f}) {
        mesh->positions.push_back({x, -0.15f, 0});
        mesh->positions.push_back({x, 0.15f, 0});
    }
    addQuadTriangles(*mesh, {0, 2, 3, 1});
    addQuadTriangles(*mesh, {2, 4, 5, 3});
    mesh->skinWeights.assign(6, {1, 0, 0, 0});
    mesh->boneIndices = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0},
                         {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}};
    RefPtr<Geometry> strip(
        new IndexedFaceSetGeometry("strip", std::move(mesh), VertexAttribute::Normal));

    auto* bone0 = new TransformGroup("bone0");
    root->addChild(bone0);
    auto* bone1 = new TransformGroup("bone1");
    bone1->setTranslation({1, 0, 0});
    bone0->addChild(bone1);
    Shape* skinned = addShape(strip.get());
    skinned->bindSkin({bone0, bone1});
    std::vector<Shape*> skinnedShapes = {skinned};
    ASSERT_EQ(skinned->getBones().size(), 2u);
    camera->setTranslation({1, 0, 4});

    struct Case {
        const char* name;
        Vector3 bone0At;
        float bone1Angle;  // degrees about z
        Vector3 covered;
        Vector3 uncovered;
    };
    const Case cases[] = {
        {"bind-pose", {0, 0, 0}, 0.0f, {1.8f, 0, 0}, {1.0f, 0.85f, 0}},
        {"bent-up", {0, 0, 0}, 90.0f, {1.0f, 0.85f, 0}, {1.8f, 0, 0}},
        {"bent-down", {0, 0, 0}, -90.0f, {1.0f, -0.85f, 0}, {1.8f, 0, 0}},
        {"moved", {-1, -1, 0}, 0.0f, {0.8f, -1, 0}, {1.8f, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bone0->setTranslation(c.bone0At);
        bone1->setRotation({0, 0, c.bone1Angle * kDegrees});
        frame(std::string("skin-") + c.name);
        const Rgb covered = atWorld(c.covered);
        const Rgb uncovered = atWorld(c.uncovered);
        EXPECT_GT(covered.r, 200) << covered;
        EXPECT_LT(uncovered.r, 50) << uncovered;
    }

    // Once warm, uploading palettes allocates nothing per skinned shape.
    if (allocationCount() >= 0) {
        auto allocationsOfAFrame = [&] {
            frame("skin-warm");
            const long before = allocationCount();
            renderer->render(context, kSize, kSize, 16.0f);
            return allocationCount() - before;
        };
        const long one = allocationsOfAFrame();
        for (int i = 0; i < 5; ++i) {
            skinnedShapes.push_back(addShape(strip.get()));
            skinnedShapes.back()->bindSkin({bone0, bone1});
        }
        frame("skin-warm");
        EXPECT_EQ(allocationsOfAFrame(), one);
    }

    // Without bound bones the strip keeps its rest pose whatever the bones do.
    for (Shape* shape : skinnedShapes) {
        shape->setGeometry(nullptr);
    }
    Shape* rest = addShape(strip.get());
    EXPECT_TRUE(rest->getShapeFlags() & Shape::kSkinned);
    frame("skin-rest-pose");
    const Rgb tip = atWorld({1.8f, 0, 0});
    EXPECT_GT(tip.r, 200) << tip;
    EXPECT_LT(atWorld({0.8f, -1, 0}).r, 50);
}

}  // namespace
