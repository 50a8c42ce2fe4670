// Foliage: one plant per set block, reproducible cells, growth states with
// their heights and atlas columns, the growth sweep and the constructor.

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "TerrainFixture.h"
#include "render/material/Material.h"
#include "render/scene/RenderStats.h"
#include "render/scene/SceneTraversal.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "terrain/DetailLayerSettings.h"
#include "terrain/FoliageCellGeometry.h"
#include "terrain/FoliageConstructor.h"
#include "terrain/FoliageTransformGroup.h"
#include "terrain/TerrainSceneHandler.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

using terraintest::TerrainFixture;
using testsupport::ScopedLogCapture;

// Pixels whose channel 0 is set in the test map: a diagonal band.
bool planted(uint32_t x, uint32_t y) {
    return (x + y) % 5 == 0;
}

class FoliageTest : public TerrainFixture {
protected:
    void SetUp() override {
        TerrainFixture::SetUp();
        // 65 x 65 grid, one unit per pixel, heights rising along x.
        writeHeightmap16("h.png", 65, 65, [](uint32_t x, uint32_t) { return uint16_t(x * 100); });
        writeImage8("plants.png", 64, 64, 1,
                    [](uint32_t x, uint32_t y, int) { return uint8_t(planted(x, y) ? 1 : 0); });
        TerrainParams params;
        params.heightMapPath = "h.png";
        params.unitsPerPixel = 1.0f;
        params.heightScale = 65535.0f * 0.01f;  // 1 height unit = 0.01
        m_terrain = std::make_unique<TerrainTransformGroup>("terrain", params,
                                                            std::vector<TerrainLayerParams>{});
        MaterialDesc desc;
        desc.name = "grass";
        m_material = new Material(desc);
        m_material->addRef();
    }
    void TearDown() override {
        m_terrain.reset();
        m_material->release();
        TerrainFixture::TearDown();
    }

    // Cells of 16 units with one block per density pixel (D = 16, t = 16).
    FoliageParams params(int channels = 1) {
        FoliageParams p;
        p.densityMapPath = "plants.png";
        p.material = m_material;
        p.cellSize = 16.0f;
        p.blocksPerUnit = 1.0f;
        p.numDensityMapChannels = channels;
        p.viewDistance = 200.0f;
        return p;
    }

    // Builds every cell of the terrain (the camera over the centre sees all).
    static void buildAll(FoliageTransformGroup& group) { group.updateLocal({0, 0, 0}, 0.0f); }

    static FoliageCellGeometry* cell(FoliageTransformGroup& group, int32_t x, int32_t z) {
        LocalGeometryShape* shape = group.findCell(0, x, z);
        return shape != nullptr ? dynamic_cast<FoliageCellGeometry*>(shape->getGeometry())
                                : nullptr;
    }

    static uint32_t totalPlants(FoliageTransformGroup& group) {
        uint32_t plants = 0;
        for (int32_t z = -2; z < 2; ++z) {
            for (int32_t x = -2; x < 2; ++x) {
                FoliageCellGeometry* geometry = cell(group, x, z);
                plants += geometry != nullptr ? geometry->getPlantCount() : 0;
            }
        }
        return plants;
    }

    std::unique_ptr<TerrainTransformGroup> m_terrain;
    Material* m_material = nullptr;
};

TEST_F(FoliageTest, OnePlantPerSetBlockWithGrowthOff) {
    FoliageTransformGroup group("grass", params(), *m_terrain);
    ASSERT_TRUE(group.isValid());
    EXPECT_EQ(group.getCellsPerSide(), 4u);
    EXPECT_EQ(group.getBlocksPerSide(), 16u);
    buildAll(group);
    uint32_t expected = 0;
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            expected += planted(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(totalPlants(group), expected);
    // Each plant stands on its block, within half the position variance,
    // on the ground, and is `height` +- half the variance tall.
    FoliageCellGeometry* geometry = cell(group, -2, -2);
    ASSERT_NE(geometry, nullptr);
    ASSERT_EQ(geometry->vertices.size(), geometry->getPlantCount() * 12u);
    for (size_t i = 0; i < geometry->vertices.size(); i += 12) {
        // The first quad's bottom edge is centred on the plant.
        const FoliageVertex& a = geometry->vertices[i];
        const FoliageVertex& b = geometry->vertices[i + 1];
        const FoliageVertex& top = geometry->vertices[i + 2];
        const float x = (a.position[0] + b.position[0]) * 0.5f + 32.0f;
        const float z = (a.position[2] + b.position[2]) * 0.5f + 32.0f;
        const float bx = std::round(x);
        const float bz = std::round(z);
        EXPECT_LE(std::fabs(x - bx), 0.15f + 1e-4f);
        EXPECT_LE(std::fabs(z - bz), 0.15f + 1e-4f);
        EXPECT_TRUE(planted(uint32_t(bx), uint32_t(bz))) << bx << "," << bz;
        // Heights rise by 1 per unit along x; the ground is clamped at the
        // terrain's border.
        EXPECT_NEAR(a.position[1], std::max(x, 0.0f), 0.02f);
        EXPECT_NEAR(top.position[1] - b.position[1], 2.0f, 0.1f + 1e-4f);
        // Width 2: the quad spans 2 units.
        EXPECT_NEAR(std::hypot(b.position[0] - a.position[0], b.position[2] - a.position[2]), 2.0f,
                    1e-4f);
    }
}

TEST_F(FoliageTest, ThresholdOfOneOrMoreGrowsNothing) {
    FoliageParams p = params();
    p.plantThreshold = 1.0f;
    FoliageTransformGroup group("grass", p, *m_terrain);
    buildAll(group);
    EXPECT_EQ(totalPlants(group), 0u);
    EXPECT_FALSE(group.findCell(0, 0, 0)->getVisibility());
}

TEST_F(FoliageTest, RebuiltCellsAreIdenticalAndLeaveTheRuntimeGeneratorAlone) {
    FoliageTransformGroup group("grass", params(), *m_terrain);
    std::srand(1234);
    const int expected = std::rand();
    std::srand(1234);
    buildAll(group);
    EXPECT_EQ(std::rand(), expected);
    const std::vector<FoliageVertex> before = cell(group, 1, 0)->vertices;
    ASSERT_FALSE(before.empty());
    group.markCellsForRebuild(-2, -2, 1, 1, true);
    buildAll(group);
    const std::vector<FoliageVertex>& after = cell(group, 1, 0)->vertices;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), before.size() * sizeof(FoliageVertex)), 0);
}

TEST_F(FoliageTest, PaintingRebuildsTheTouchedCells) {
    FoliageTransformGroup group("grass", params(), *m_terrain);
    buildAll(group);
    const uint32_t before = totalPlants(group);
    // Clear the cell at (-32, -32)..(-16, -16) and plant the whole
    // neighbouring one.
    group.setDensityParallelogram(-32, -32, 16, 0, 0, 16, 0, 0.0f);
    group.setDensityParallelogram(-16, -32, 16, 0, 0, 16, 0, 1.0f);
    buildAll(group);
    EXPECT_EQ(cell(group, -2, -2)->getPlantCount(), 0u);
    EXPECT_FALSE(group.findCell(0, -2, -2)->getVisibility());
    EXPECT_EQ(cell(group, -1, -2)->getPlantCount(), 256u);
    EXPECT_GT(totalPlants(group), before);
}

TEST_F(FoliageTest, GrowthStatesSetHeightAndAtlasColumn) {
    FoliageParams p = params(4);
    p.growthNumStates = 4;  // three growth bits: channels 1..3
    p.heightVariance = 0.0f;
    p.height = 3.0f;
    p.atlasSize = 2;
    FoliageTransformGroup group("grass", p, *m_terrain);
    ASSERT_EQ(group.getGrowthNumStates(), 4);
    EXPECT_EQ(group.getGrowthBitCount(), 3u);
    // A single planted pixel per state, in the first cell, others empty.
    group.setDensityParallelogram(-32, -32, 64, 0, 0, 64, -1, 0.0f);
    for (uint32_t state = 0; state < 4; ++state) {
        group.getDensityMap().set(2 + 4 * state, 2, 0, true);
        group.setGrowthState(2 + 4 * state, 2, state);
    }
    // States above the last read as the last.
    group.getDensityMap().setBits(2, 6, 0, 4, 0xF);
    EXPECT_EQ(group.getGrowthState(2, 6), 3u);
    buildAll(group);
    FoliageCellGeometry* geometry = cell(group, -2, -2);
    ASSERT_NE(geometry, nullptr);
    // State 0 has no plant: states 1, 2, 3 and the clamped one.
    ASSERT_EQ(geometry->getPlantCount(), 4u);
    const float b = 0.5f;
    for (size_t i = 0; i < 4; ++i) {
        const FoliageVertex* v = &geometry->vertices[i * 12];
        const float h = v[2].position[1] - v[1].position[1];
        const float x = (v[0].position[0] + v[1].position[0]) * 0.5f + 32.0f;
        const float z = (v[0].position[2] + v[1].position[2]) * 0.5f + 32.0f;
        const uint32_t state = std::lround(z) == 6 ? 3u : uint32_t(std::lround(x) - 2) / 4;
        EXPECT_NEAR(h, 3.0f * float(state) / 3.0f, 1e-4f) << "state " << state;
        // The sub-column of the state, in one of the two atlas columns.
        const float u0 = float(std::min(v[0].texCoord[0], v[1].texCoord[0])) / 32767.0f;
        const float u1 = float(std::max(v[0].texCoord[0], v[1].texCoord[0])) / 32767.0f;
        const float column = u0 >= b - 1e-3f ? b : 0.0f;
        EXPECT_NEAR(u0 - column, float(state - 1) * b / 3.0f, 1e-3f) << "state " << state;
        EXPECT_NEAR(u1 - column, float(state) * b / 3.0f, 1e-3f) << "state " << state;
    }
}

TEST_F(FoliageTest, GrowthSweepSpreadsOverTheGrowthTime) {
    FoliageParams p = params(4);
    p.growthNumStates = 4;
    p.growthStateTime = 1000.0f;
    FoliageTransformGroup group("grass", p, *m_terrain);
    ASSERT_EQ(group.getGrowthNumStates(), 4);
    // 16 cells over 1000 ms: 1.6 cells per 100 ms frame.
    EXPECT_EQ(group.advanceGrowth(100.0f), 1u);
    EXPECT_EQ(group.advanceGrowth(100.0f), 2u);
    uint32_t visited = 3;
    int frames = 2;
    while (visited < 16 && frames < 100) {
        visited += group.advanceGrowth(100.0f);
        ++frames;
    }
    EXPECT_EQ(visited, 16u);
    EXPECT_GE(frames, 10);
    EXPECT_LE(frames, 11);
    // Every planted pixel grew by one, the others stayed at 0.
    EXPECT_EQ(group.getGrowthState(0, 0), 1u);
    EXPECT_EQ(group.getGrowthState(1, 0), 0u);
    // The next sweep starts once the growth time is over; after enough
    // sweeps the last state holds.
    for (int frame = 0; frame < 100; ++frame) {
        group.advanceGrowth(100.0f);
    }
    EXPECT_EQ(group.getGrowthState(0, 0), 3u);
    // A huge frame still visits at most one sweep.
    EXPECT_LE(group.advanceGrowth(1.0e9f), 16u);
}

TEST_F(FoliageTest, TooFewChannelsDisableGrowth) {
    FoliageParams p = params(1);
    p.growthNumStates = 3;
    ScopedLogCapture log;
    FoliageTransformGroup group("grass", p, *m_terrain);
    EXPECT_NE(log.text().find("Error: foliage, not enough channels to store growth state"),
              std::string::npos);
    EXPECT_TRUE(group.isValid());
    EXPECT_EQ(group.getGrowthNumStates(), 0);
    buildAll(group);
    EXPECT_GT(totalPlants(group), 0u);
}

TEST_F(FoliageTest, ConstructorChecksItsParameters) {
    FoliageConstructor constructor;
    ScopedLogCapture log;
    EXPECT_FALSE(constructor.setCellSize(12, 1.0f));
    EXPECT_NE(log.text().find("Error: Foliage::setCellSize: cell size must be power of 2"),
              std::string::npos);
    EXPECT_TRUE(constructor.setCellSize(16, 1.0f));
    EXPECT_FALSE(constructor.setDensityMap(std::string(256, 'a')));
    // No density map yet.
    EXPECT_EQ(constructor.finalize("grass", m_terrain->getId()), 0);
    EXPECT_NE(log.text().find("foliage::finalize: not all parameters set!"), std::string::npos);
    EXPECT_TRUE(constructor.setDensityMap("plants.png"));
    // No material: none named, no foliage on the terrain to take it from.
    EXPECT_EQ(constructor.finalize("grass", m_terrain->getId()), 0);
    EXPECT_FALSE(constructor.setMaterial("no such material"));
    ASSERT_TRUE(constructor.setMaterial("grass"));
    // The id must name a terrain.
    EXPECT_EQ(constructor.finalize("grass", m_material->getId()), 0);
    EXPECT_NE(log.text().find("is not a terrain"), std::string::npos);
    const int32_t id = constructor.finalize("grass", m_terrain->getId());
    auto* group = dynamic_cast<FoliageTransformGroup*>(EntityRegistry::find(id));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->getParent(), m_terrain.get());
    EXPECT_FLOAT_EQ(group->getCellSize(), 16.0f);
    EXPECT_EQ(group->getMaterial(), m_material);
    // A second constructor without a material takes the terrain's foliage
    // material.
    FoliageConstructor second;
    second.setDensityMap("plants.png");
    EXPECT_NE(second.finalize("more", m_terrain->getId()), 0);
}

TEST_F(FoliageTest, SceneTerrainsGetTheirFoliageAndDetailLayers) {
    I3DTerrainDesc desc;
    desc.name = "land";
    desc.heightMap = "h.png";
    desc.unitsPerPixel = {1.0f, true};
    I3DFoliageLayerDesc& foliage = desc.foliageLayers.emplace_back();
    foliage.name = "grass";
    foliage.density.densityMap = "plants.png";
    foliage.density.material = m_material;
    foliage.density.cellSize = {16.0f, true};
    foliage.numBlocksPerUnit = {3, true};
    foliage.growthNumStates = {2, true};
    foliage.density.numDensityMapChannels = {3, true};
    I3DDetailLayerDesc& detail = desc.detailLayers.emplace_back();
    detail.name = "pebbles";
    detail.density.densityMap = "plants.png";
    detail.density.material = m_material;
    detail.density.terrainOffset = {0.25f, true};
    detail.density.cellSize = {30.0f, true};
    I3DDetailLayerDesc& incomplete = desc.detailLayers.emplace_back();
    incomplete.name = "noMaterial";
    incomplete.density.densityMap = "plants.png";
    ScopedLogCapture log;
    TerrainSceneHandler handler;
    std::unique_ptr<TransformGroup> node = handler.createTerrain(desc);
    EXPECT_NE(log.text().find("'noMaterial' needs a densityMap and a material"), std::string::npos)
        << log.text();
    auto* grass =
        dynamic_cast<FoliageTransformGroup*>(node->getChildAt(node->getNumChildren() - 2));
    auto* pebbles =
        dynamic_cast<TerrainDetailTransformGroup*>(node->getChildAt(node->getNumChildren() - 1));
    ASSERT_NE(grass, nullptr);
    ASSERT_NE(pebbles, nullptr);
    EXPECT_EQ(grass->getName(), "grass");
    EXPECT_TRUE(grass->hasKind(EntityKind::FoliageTransformGroup));
    EXPECT_EQ(grass->getBlocksPerSide(), 48u);
    EXPECT_EQ(grass->getGrowthNumStates(), 2);
    EXPECT_FLOAT_EQ(grass->getCellSize(), 16.0f);
    EXPECT_EQ(pebbles->getName(), "pebbles");
    EXPECT_FALSE(pebbles->hasKind(EntityKind::FoliageTransformGroup));
    EXPECT_FLOAT_EQ(pebbles->getTerrainOffset(), 0.25f);
    // 30 grid units round up to 32.
    EXPECT_FLOAT_EQ(pebbles->getCellSize(), 32.0f);
    EXPECT_TRUE(pebbles->isValid());
}

}  // namespace

namespace {

class NullSink : public ITraversalSink {
public:
    void addLight(LightSource&, const Matrix4&, float) override {}
    void addVisibleShape(Shape&, const Matrix4&, const BoundingSphere&, float,
                         RenderAttachment*&) override {}
};

// The cells are updated by the render event of the scene walk: once per
// frame, not in sub-renders, also when every built cell is out of view, and
// the cells built go to the frame's statistics.
TEST_F(FoliageTest, RenderEventsUpdateTheCellsOncePerFrame) {
    // Channel 0 in the 8 x 8 pixels of the corner cell (-4, -4) only.
    writeImage8("corner.png", 64, 64, 1,
                [](uint32_t x, uint32_t y, int) { return uint8_t(x < 8 && y < 8 ? 1 : 0); });
    FoliageParams p = params();
    p.densityMapPath = "corner.png";
    p.cellSize = 8.0f;
    auto* foliage = new FoliageTransformGroup("grass", p, *m_terrain);
    auto* detail =
        new TerrainDetailTransformGroup("detail", static_cast<TerrainDetailParams&>(p), *m_terrain);
    m_terrain->addChild(foliage);
    m_terrain->addChild(detail);

    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root = createRootNode(context);
    Camera* camera = createDefaultCamera(*root, context);
    LocalGeometryTransformGroup::setSceneRenderContext(&context);
    SceneTraversal walk;
    NullSink sink;
    auto walkScene = [&] {
        TraversalSettings settings;
        settings.cameraPosition = camera->getWorldMatrix().getTranslation();
        frustumPlanesFromMatrix(camera->getProjectionMatrix(640, 480) * camera->getViewMatrix(),
                                settings.frustum);
        settings.clipDistance = 1.0e9f;
        walk.collectShapes(m_terrain.get(), settings, sink);
    };
    auto frame = [&](bool secondary, float frameMs = 16.0f) {
        ++context.frameNumber;
        context.frameTimeMs = frameMs;
        context.secondary = secondary;
        context.statistics = RenderStatistics();
        walkScene();
    };
    const uint64_t detailBefore = DetailLayerSettings::getUploadedDetailCells();
    const uint64_t foliageBefore = DetailLayerSettings::getUploadedFoliageCells();

    // High above the centre looking down: the corner cell gets its plants;
    // the detail layer draws it and its three neighbours, whose blocks
    // reach one pixel into it.
    camera->setTranslationRotation({0, 60, 0}, {-1.5707963f, 0, 0});
    frame(false);
    EXPECT_GT(cell(*foliage, -4, -4)->getPlantCount(), 0u);
    EXPECT_EQ(context.statistics.foliageCellsUploaded, 1u);
    EXPECT_EQ(context.statistics.detailCellsUploaded, 4u);
    EXPECT_EQ(context.statistics.foliageCellsTotal, foliageBefore + 1);
    EXPECT_EQ(context.statistics.detailCellsTotal, detailBefore + 4);
    const std::string page = renderStatsText(context.statistics, RenderMemoryUse(), 0);
    EXPECT_NE(page.find("Uploaded detail cells:  4  total: " + std::to_string(detailBefore + 4)),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("Uploaded foliage cells: 1  total: " + std::to_string(foliageBefore + 1)),
              std::string::npos)
        << page;

    // Near the ground looking towards the +z edge: the corner cell and the
    // slots never built are behind the camera. Plants painted ahead are
    // built all the same.
    camera->setTranslationRotation({0, 3, 20}, {0, 3.1415927f, 0});
    foliage->setDensityParallelogram(10, 26, 4, 0, 0, 4, 0, 1.0f);
    // A sub-render's visit builds nothing.
    frame(true);
    EXPECT_EQ(cell(*foliage, 1, 3)->getPlantCount(), 0u);
    EXPECT_EQ(context.statistics.foliageCellsUploaded, 0u);
    frame(false);
    EXPECT_GT(cell(*foliage, 1, 3)->getPlantCount(), 0u);
    EXPECT_EQ(context.statistics.foliageCellsUploaded, 1u);
    EXPECT_EQ(context.statistics.detailCellsUploaded, 0u);
    // A second visit in the same frame does no further work.
    foliage->setDensityParallelogram(10, 26, 4, 0, 0, 4, 0, 0.0f);
    walkScene();
    EXPECT_GT(cell(*foliage, 1, 3)->getPlantCount(), 0u);
    frame(false);
    EXPECT_EQ(cell(*foliage, 1, 3)->getPlantCount(), 0u);

    // Growth follows the frames' time steps: a sweep over all 64 cells
    // takes 1000 s, so 16 ms frames advance nothing, one frame of 1000 s
    // the whole map, and a sub-render none.
    writeImage8("grow.png", 64, 64, 1, [](uint32_t, uint32_t, int) { return uint8_t(1); });
    FoliageParams growing = params(3);
    growing.densityMapPath = "grow.png";
    growing.cellSize = 8.0f;
    growing.growthNumStates = 2;
    growing.growthStateTime = 1.0e6f;
    auto* grower = new FoliageTransformGroup("grower", growing, *m_terrain);
    m_terrain->addChild(grower);
    frame(false);
    EXPECT_EQ(grower->getGrowthState(0, 0), 0u);
    frame(true, 1.0e6f);
    EXPECT_EQ(grower->getGrowthState(0, 0), 0u);
    frame(false, 1.0e6f);
    EXPECT_EQ(grower->getGrowthState(0, 0), 1u);
    EXPECT_EQ(grower->getGrowthState(63, 63), 1u);
    LocalGeometryTransformGroup::setSceneRenderContext(nullptr);
}

}  // namespace
