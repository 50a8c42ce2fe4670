#include <gtest/gtest.h>

#include <cmath>

#include "SceneTestUtil.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"
#include "scene/SubDsGeometry.h"
#include "scene/SubdivisionScheme.h"

namespace {

// A regular tetrahedron around the origin, consistently wound.
std::unique_ptr<MeshData> tetrahedron() {
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    const uint32_t faces[4][3] = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};
    for (const auto& face : faces) {
        MeshTriangle triangle;
        for (int c = 0; c < 3; ++c) {
            triangle.corners[c].position = face[c];
        }
        mesh->triangles.push_back(triangle);
    }
    return mesh;
}

bool hasPosition(const CornerTable& table, const Vector3& p) {
    for (uint32_t v = 0; v < table.vertexCount; ++v) {
        if (length(table.position(v) - p) < 1e-6f) {
            return true;
        }
    }
    return false;
}

SubDsSettings settings(float active, int maxLevel, int override = 0, bool control = false) {
    SubDsSettings s;
    s.activeDistance = active;
    s.maxLevel = maxLevel;
    s.levelOverride = override;
    s.showControlMesh = control;
    return s;
}

TEST(SubDsGeometry, ButterflyKeepsTheTetrahedronsCornersAndSplitsEachTriangleInFour) {
    SubDsGeometry geometry("subd_tetra", tetrahedron(), 0);
    ASSERT_TRUE(geometry.isClosed());
    geometry.setLevel(1, 1.0f);
    ASSERT_EQ(geometry.getBuiltLevels(), 2);
    const CornerTable& level = geometry.getLevelTable(1);
    EXPECT_EQ(level.vertexCount, 10u);
    EXPECT_EQ(level.getTriangleCount(), 16u);
    const std::unique_ptr<MeshData> input = tetrahedron();
    for (const Vector3& p : input->positions) {
        EXPECT_TRUE(hasPosition(level, p)) << p.x << " " << p.y << " " << p.z;
    }
    // Still closed, so the next level can be built from it.
    for (int32_t o : level.opposite) {
        EXPECT_NE(o, CornerTable::kNone);
    }
    // Fully blended, the drawn corners sit on the level's vertices; at blend
    // 0 every new edge vertex sits on its edge's midpoint, so nothing pops.
    const SubMesh* mesh = geometry.getLevelMesh(1);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->indexCount, 48u);
    geometry.setLevel(1, 0.0f);
    for (uint32_t c = 0; c < 48; ++c) {
        const float* v = &mesh->vertices[c * mesh->vertexStride];
        const Vector3 p{v[0], v[1], v[2]};
        EXPECT_EQ(p, geometry.getLevelTable(1).parentPosition(level.vertexOfCorner[c]));
    }
}

TEST(SubDsGeometry, LoopMovesVerticesByTheValenceWeight) {
    CornerTable table;
    ASSERT_TRUE(table.buildFromMesh(*tetrahedron()));
    ASSERT_EQ(table.computeOpposites(), 0u);
    LoopScheme loop;
    // Valence 3: beta = 3/16, and the neighbours of a vertex sum to minus
    // the vertex, so it moves to a quarter of its position.
    expectVectorNear(loop.vertexPoint(table, 0), table.cornerPosition(0) * 0.25f);
    // Edge (1, 2) opposite corner 0: 3/8 of the ends (sum 0, 0, -2) and 1/8
    // of vertices 0 and 3 (sum 0, 0, 2).
    expectVectorNear(loop.edgePoint(table, 0), Vector3(0, 0, -0.5f));

    SubDsGeometry geometry("subd_torus", makeTorusMesh(8, 6, 3.0f, 1.0f), VertexAttribute::Normal);
    geometry.setLoopScheme(true);
    geometry.setLevel(2, 1.0f);
    EXPECT_EQ(geometry.getLevelTable(2).getTriangleCount(), 96u * 16u);
}

TEST(SubDsGeometry, LevelAndBlendFollowTheCameraDistance) {
    struct Case {
        float distance;
        SubDsSettings settings;
        int level;
        float blend;
    };
    const Case cases[] = {
        {80, settings(100, 2), 1, 0.8f},
        {70, settings(100, 2), 1, 1.0f},
        {30, settings(100, 2), 2, 0.8f},
        {10, settings(100, 2), 2, 1.0f},
        {0, settings(100, 2), 2, 1.0f},  // not one past the top level
        {100, settings(100, 2), 0, 0.0f},
        {150, settings(100, 2), 0, 0.0f},
        {150, settings(100, 2, 2), 2, 1.0f},
        {10, settings(100, 2, 5), 4, 1.0f},  // clamped to the last slot
        {0, settings(100, 5), 4, 1.0f},
        {10, settings(100, 2, 2, true), 0, 0.0f},
        {10, settings(0, 2), 0, 0.0f},
        {NAN, settings(100, 2), 0, 0.0f},
    };
    SubDsGeometry geometry("subd_box", makeBoxMesh({1, 1, 1}), 0);
    for (const Case& c : cases) {
        geometry.chooseLevel(c.distance, c.settings);
        EXPECT_EQ(geometry.getCurrentLevel(), c.level) << c.distance;
        EXPECT_NEAR(geometry.getBlend(), c.blend, 1e-5f) << c.distance;
    }
}

TEST(SubDsGeometry, SettingsTakeEffectWithoutTheCameraMovingAndLevelsAreKept) {
    SubDsGeometry geometry("subd_box", makeBoxMesh({1, 1, 1}), 0);
    SubDsSettings s = settings(100, 3);
    geometry.chooseLevel(200, s);
    EXPECT_EQ(geometry.getCurrentLevel(), 0);
    EXPECT_EQ(geometry.getBuiltLevels(), 1);
    s.levelOverride = 3;
    geometry.chooseLevel(200, s);
    EXPECT_EQ(geometry.getCurrentLevel(), 3);
    const CornerTable* built = &geometry.getLevelTable(2);
    s.levelOverride = 0;
    geometry.chooseLevel(200, s);
    EXPECT_EQ(geometry.getCurrentLevel(), 0);
    geometry.chooseLevel(5, s);
    EXPECT_EQ(geometry.getBuiltLevels(), 4);
    EXPECT_EQ(&geometry.getLevelTable(2), built);
}

TEST(SubDsGeometry, OpenAndNonManifoldMeshesStayAtTheControlMesh) {
    auto open = makeBoxMesh({1, 1, 1});
    open->triangles.pop_back();
    auto fin = makeBoxMesh({1, 1, 1});
    fin->triangles.push_back(fin->triangles[0]);  // a third triangle on three edges
    for (auto* mesh : {&open, &fin}) {
        CapturedLog log;
        SubDsGeometry geometry("subd_open", std::move(*mesh), 0);
        EXPECT_FALSE(geometry.isClosed());
        EXPECT_EQ(log.count("Warning: Subdivision surface subd_open is not closed"), 1u)
            << log.text();
        geometry.chooseLevel(0, settings(100, 4, 3));
        EXPECT_EQ(geometry.getCurrentLevel(), 0);
        EXPECT_EQ(geometry.getBuiltLevels(), 1);
        EXPECT_EQ(log.count("Warning"), 1u);
    }
}

// One face turned over: every edge still pairs, but swinging around a
// vertex no longer comes back to where it started.
TEST(SubDsGeometry, InconsistentWindingEndsTheSwingAndStaysFinite) {
    auto mesh = tetrahedron();
    std::swap(mesh->triangles[0].corners[1], mesh->triangles[0].corners[2]);
    SubDsGeometry geometry("subd_twisted", std::move(mesh), 0);
    ASSERT_TRUE(geometry.isClosed());
    geometry.setLoopScheme(true);
    geometry.setLevel(3, 1.0f);
    ASSERT_EQ(geometry.getCurrentLevel(), 3);
    const CornerTable& level = geometry.getLevelTable(3);
    for (uint32_t v = 0; v < level.vertexCount; ++v) {
        const Vector3 p = level.position(v);
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << v;
    }
}

TEST(SubDsGeometry, LargeControlMeshesAreRefinedOnlyWithinTheCornerBudget) {
    CapturedLog log;
    // 9216 triangles: level 3 would need 64 x 27648 corners.
    SubDsGeometry geometry("subd_big", makeTorusMesh(64, 72, 3.0f, 1.0f), 0);
    EXPECT_EQ(geometry.getLevelLimit(), 2);
    EXPECT_NE(log.text().find("is refined to level 2 at most"), std::string::npos);
    geometry.setLevel(4, 1.0f);
    EXPECT_EQ(geometry.getCurrentLevel(), 2);
    EXPECT_EQ(geometry.getBuiltLevels(), 3);
}

class CountingDrawer : public ISubMeshDrawer {
public:
    std::unique_ptr<RenderAttachment> createDeviceData(const SubMesh&) override {
        return std::make_unique<RenderAttachment>();
    }
    void drawSubMesh(const SubMesh&, RenderAttachment*) override { ++draws; }
    int draws = 0;
};

// Drawn through the context like any geometry: the level follows the
// override and every level draws four times the triangles of the last.
TEST(SubDsGeometry, RenderedTrianglesGrowFourfoldPerLevel) {
    SceneRenderContext context;
    CountingDrawer drawer;
    context.subMeshDrawer = &drawer;
    TransformGroup root("root");
    auto* camera = new Camera("camera", 55.0f, 0.25f, 10000.0f);
    root.addChild(camera);
    context.setActiveCamera(camera);
    auto* shape = new Shape("subd_box");
    shape->setTranslation({0, 0, -500});  // beyond the active distance
    shape->setGeometry(new SubDsGeometry("subd_box", makeBoxMesh({1, 1, 1}), 0));
    root.addChild(shape);
    context.subds = settings(100, 4);

    uint32_t expected = 12;
    for (int level = 0; level <= 4; ++level) {
        context.subds.levelOverride = level;
        context.statistics = RenderStatistics();
        shape->getGeometry()->draw(context, 0);
        EXPECT_EQ(context.statistics.primitives, expected) << level;
        EXPECT_EQ(context.statistics.drawCalls, 1u);
        expected *= 4;
    }
    EXPECT_EQ(drawer.draws, 5);
    // Moving close shows the top level without an override.
    context.subds.levelOverride = 0;
    shape->setTranslation({0, 0, -1});
    context.statistics = RenderStatistics();
    shape->getGeometry()->draw(context, 0);
    EXPECT_EQ(context.statistics.primitives, 12u * 256u);
}

}  // namespace
