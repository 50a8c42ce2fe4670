// Patches: size validation, levels by distance, the strips and their edges,
// the patch shapes and their materials.

#include <cmath>
#include <set>

#include "TerrainFixture.h"
#include "render/material/Material.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainMaterial.h"
#include "terrain/TerrainPatchShape.h"
#include "terrain/TerrainSettings.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

using terraintest::TerrainFixture;
using testsupport::ScopedLogCapture;

class PatchTest : public TerrainFixture {
protected:
    // A flat terrain of n x n grid points.
    std::unique_ptr<GeoMipMappingTerrain> flatTerrain(uint32_t n, int32_t patchSize,
                                                      float maxLODDistance) {
        writeHeightmap16("flat.png", n, n, [](uint32_t, uint32_t) { return 500; });
        auto terrain = std::make_unique<GeoMipMappingTerrain>();
        EXPECT_TRUE(terrain->loadHeightmap("flat", "flat.png"));
        terrain->setParameters(6553.6f, 1.0f, 100.0f, 220.0f);
        EXPECT_TRUE(terrain->build(patchSize, 16, 0.15f, maxLODDistance));
        return terrain;
    }
};

TEST_F(PatchTest, PatchSizeMustFitTheGrid) {
    writeHeightmap16("h.png", 65, 65, [](uint32_t, uint32_t) { return 0; });
    struct Case {
        int32_t patchSize;
        uint32_t patchesPerSide;  // 0: refused
    };
    const Case cases[] = {{17, 4}, {33, 2}, {65, 1}, {3, 32},  {16, 0},
                          {2, 0},  {0, 0},  {-5, 0}, {129, 0}, {513, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.patchSize);
        ScopedLogCapture log;
        TerrainParams params;
        params.heightMapPath = "h.png";
        params.patchSize = c.patchSize;
        TerrainTransformGroup node("t", params, {});
        EXPECT_EQ(node.isBuilt(), c.patchesPerSide != 0);
        EXPECT_EQ(node.getNumChildren(), size_t(c.patchesPerSide) * c.patchesPerSide);
        if (c.patchesPerSide == 0) {
            EXPECT_NE(log.text().find("patchSize " + std::to_string(c.patchSize) + " is invalid"),
                      std::string::npos)
                << log.text();
        }
    }
}

TEST_F(PatchTest, PatchShapesAreNamedByRowAndColumn) {
    writeHeightmap16("h.png", 33, 33, [](uint32_t, uint32_t) { return 0; });
    TerrainParams params;
    params.heightMapPath = "h.png";
    TerrainTransformGroup node("hills", params, {});
    EXPECT_TRUE(node.hasKind(EntityKind::TerrainTransformGroup));
    ASSERT_EQ(node.getNumChildren(), 4u);
    const char* names[] = {"hillsPatch0x0", "hillsPatch0x1", "hillsPatch1x0", "hillsPatch1x1"};
    for (size_t i = 0; i < 4; ++i) {
        auto* shape = dynamic_cast<TerrainPatchShape*>(node.getChildren()[i]);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(shape->getName(), names[i]);
        EXPECT_TRUE(shape->hasKind(EntityKind::TerrainPatchShape));
        EXPECT_EQ(shape->getPatch()->getColumn(), i % 2);
        EXPECT_EQ(shape->getPatch()->getRow(), i / 2);
        // Near, blend and far: without detail layers all three show the LOD
        // colour map.
        ASSERT_EQ(shape->getNumMaterials(), 3u);
        for (size_t v = 0; v < 3; ++v) {
            auto* material = dynamic_cast<TerrainMaterial*>(shape->getMaterial(v));
            ASSERT_NE(material, nullptr);
            ASSERT_NE(material->getCustomShader(), nullptr);
            EXPECT_EQ(material->getCustomShader()->getIndex(),
                      TerrainShaderCode::getIndex(0, true));
        }
    }
    // A missing heightmap leaves an empty group.
    params.heightMapPath = "missing.png";
    TerrainTransformGroup empty("empty", params, {});
    EXPECT_FALSE(empty.isBuilt());
    EXPECT_EQ(empty.getNumChildren(), 0u);
}

TEST_F(PatchTest, LevelFollowsDistance) {
    auto terrain = flatTerrain(33, 17, 160.0f);
    ASSERT_EQ(terrain->getLevelCount(), 3);
    const std::pair<float, int> cases[] = {{0.0f, 0},   {53.0f, 0}, {54.0f, 1}, {159.0f, 2},
                                           {160.0f, 3}, {1e6f, 3},  {-5.0f, 0}, {NAN, 0}};
    for (const auto& [distance, level] : cases) {
        EXPECT_EQ(terrain->levelForDistance(distance), level) << distance;
    }
    auto finest = flatTerrain(33, 17, 0.0f);
    EXPECT_EQ(finest->levelForDistance(1e6f), 0);
    EXPECT_EQ(flatTerrain(17, 3, 160.0f)->getLevelCount(), 0);
    EXPECT_EQ(flatTerrain(33, 33, 160.0f)->getLevelCount(), 4);
}

TEST_F(PatchTest, CameraAndCoefficientChooseTheLevels) {
    auto terrain = flatTerrain(33, 17, 160.0f);
    const Vector3 centre = terrain->getPatch(0, 0)->getBounds().getCenter();
    terrain->updateLevels(centre);
    EXPECT_EQ(terrain->getPatch(0, 0)->getLevel(), 0);
    terrain->updateLevels(centre + Vector3{0.0f, 1000.0f, 0.0f});
    EXPECT_EQ(terrain->getPatch(0, 0)->getLevel(), 3);
    EXPECT_EQ(terrain->getPatch(1, 1)->getLevel(), 3);
    // The coefficient scales distances down: finer levels farther away.
    TerrainSettings::setLodDistanceCoeff(10.0f);
    terrain->updateLevels(centre + Vector3{0.0f, 1000.0f, 0.0f});
    EXPECT_EQ(terrain->getPatch(0, 0)->getLevel(), 1);
    ScopedLogCapture log;
    TerrainSettings::setLodDistanceCoeff(0.0f);
    EXPECT_EQ(TerrainSettings::getLodDistanceCoeff(), 10.0f);
    EXPECT_NE(log.text().find("must be above 0"), std::string::npos);
    TerrainSettings::setLodDistanceCoeff(1.0f);
}

TEST_F(PatchTest, DrawingContextChoosesLevelsAndSkipsPatchesOutOfView) {
    writeHeightmap16("h.png", 65, 65, [](uint32_t, uint32_t) { return 0; });
    TerrainParams params;
    params.heightMapPath = "h.png";
    params.unitsPerPixel = 4.0f;  // 256 units across, patches of 64
    params.maxLODDistance = 200.0f;
    TerrainTransformGroup node("t", params, {});
    GeoMipMappingTerrain& terrain = node.getTerrain();
    ASSERT_EQ(terrain.getPatchesPerSide(), 4u);
    SceneRenderContext context;
    context.viewportWidth = 320;
    context.viewportHeight = 240;
    Camera camera("cam", 60.0f, 0.5f, 1000.0f);
    context.setActiveCamera(&camera);
    // Above the corner patch (0, 0) at x = z = -96, looking straight down.
    camera.setTranslationRotation({-96.0f, 30.0f, -96.0f}, {-1.5707964f, 0.0f, 0.0f});
    terrain.updateLevels(context);
    EXPECT_EQ(terrain.getPatch(0, 0)->getLevel(), 0);
    EXPECT_EQ(terrain.getPatch(3, 3)->getLevel(), 3);
    EXPECT_FALSE(terrain.isOutsideView(*terrain.getPatch(0, 0)));
    EXPECT_TRUE(terrain.isOutsideView(*terrain.getPatch(3, 3)));
    // Looking up from higher than the patch is wide, nothing of the terrain
    // is in view.
    camera.setTranslationRotation({-96.0f, 100.0f, -96.0f}, {1.5707964f, 0.0f, 0.0f});
    terrain.updateLevels(context);
    EXPECT_TRUE(terrain.isOutsideView(*terrain.getPatch(0, 0)));
    // Moving the node moves the patches.
    node.setTranslation({1000.0f, 0.0f, 0.0f});
    camera.setTranslationRotation({-96.0f, 30.0f, -96.0f}, {-1.5707964f, 0.0f, 0.0f});
    terrain.updateLevels(context);
    EXPECT_EQ(terrain.getPatch(0, 0)->getLevel(), 3);
    EXPECT_TRUE(terrain.isOutsideView(*terrain.getPatch(0, 0)));
    context.setActiveCamera(nullptr);
}

// Non-degenerate triangles of a strip, as vertex (x, z) triples.
struct Triangle {
    int x[3];
    int z[3];
};

std::vector<Triangle> triangles(const std::vector<uint32_t>& strip, uint32_t patchSize,
                                std::vector<int>* windings = nullptr) {
    std::vector<Triangle> result;
    for (size_t i = 2; i < strip.size(); ++i) {
        Triangle t;
        for (int k = 0; k < 3; ++k) {
            t.x[k] = int(strip[i - 2 + size_t(k)] % patchSize);
            t.z[k] = int(strip[i - 2 + size_t(k)] / patchSize);
        }
        const int area =
            (t.x[1] - t.x[0]) * (t.z[2] - t.z[0]) - (t.x[2] - t.x[0]) * (t.z[1] - t.z[0]);
        if (area == 0) {
            continue;
        }
        result.push_back(t);
        if (windings != nullptr) {
            // Every second triangle of a strip is wound the other way.
            windings->push_back((area > 0) == (i % 2 == 0) ? 1 : -1);
        }
    }
    return result;
}

// Positions along an edge used by the strip's triangles: the vertices on
// the line x = edgeX (or z = edgeZ), as z (or x) values.
std::set<int> edgeVertices(const std::vector<Triangle>& tris, int edgeX, int edgeZ) {
    std::set<int> positions;
    for (const Triangle& t : tris) {
        for (int k = 0; k < 3; ++k) {
            if (edgeX >= 0 && t.x[k] == edgeX) {
                positions.insert(t.z[k]);
            }
            if (edgeZ >= 0 && t.z[k] == edgeZ) {
                positions.insert(t.x[k]);
            }
        }
    }
    return positions;
}

TEST_F(PatchTest, StripsCoverThePatchOnceWithOneWinding) {
    const uint32_t patchSize = 17;
    struct Case {
        int level;
        uint32_t coarser[4];
    };
    const Case cases[] = {{0, {0, 0, 0, 0}}, {0, {0, 0, 0, 1}}, {0, {1, 1, 1, 1}},
                          {1, {2, 0, 0, 2}}, {0, {3, 2, 1, 3}}, {3, {0, 0, 0, 0}}};
    for (const Case& c : cases) {
        std::vector<uint32_t> strip;
        GeoMipMappingTerrain::generateStrip(patchSize, c.level, c.coarser, strip);
        std::vector<int> windings;
        const std::vector<Triangle> tris = triangles(strip, patchSize, &windings);
        int twiceArea = 0;
        for (const Triangle& t : tris) {
            twiceArea += std::abs((t.x[1] - t.x[0]) * (t.z[2] - t.z[0]) -
                                  (t.x[2] - t.x[0]) * (t.z[1] - t.z[0]));
        }
        SCOPED_TRACE("level " + std::to_string(c.level));
        EXPECT_EQ(twiceArea, 2 * 16 * 16);
        EXPECT_EQ(std::set<int>(windings.begin(), windings.end()).size(), 1u);
    }
}

TEST_F(PatchTest, FinePatchBesideCoarserOneHasNoTJunctions) {
    auto terrain = flatTerrain(33, 17, 30.0f);
    GeoMipMappingTerrainPatch* fine = terrain->getPatch(0, 0);
    GeoMipMappingTerrainPatch* coarse = terrain->getPatch(1, 0);
    ASSERT_EQ(fine->getNeighbour(GeoMipMappingTerrainPatch::NextColumn), coarse);
    // One and two levels coarser (levels are distance / 30 x 3).
    for (float distance : {10.0f, 20.0f}) {
        fine->prepareForDrawing(0.0f);
        coarse->prepareForDrawing(distance);
        terrain->getPatch(0, 1)->prepareForDrawing(0.0f);
        terrain->getPatch(1, 1)->prepareForDrawing(0.0f);
        ASSERT_EQ(fine->getLevel(), 0);
        const int coarseLevel = coarse->getLevel();
        ASSERT_EQ(coarseLevel, int(distance / 10.0f));
        const uint32_t fineKey = fine->getStripKey();
        EXPECT_EQ(fineKey, uint32_t(coarseLevel) << 4 * GeoMipMappingTerrainPatch::NextColumn);
        const uint32_t coarseKey = coarse->getStripKey();
        std::vector<uint32_t> fineStrip;
        std::vector<uint32_t> coarseStrip;
        const uint32_t fineCoarser[4] = {fineKey & 15, (fineKey >> 4) & 15, (fineKey >> 8) & 15,
                                         (fineKey >> 12) & 15};
        const uint32_t coarseCoarser[4] = {coarseKey & 15, (coarseKey >> 4) & 15,
                                           (coarseKey >> 8) & 15, (coarseKey >> 12) & 15};
        GeoMipMappingTerrain::generateStrip(17, 0, fineCoarser, fineStrip);
        GeoMipMappingTerrain::generateStrip(17, coarseLevel, coarseCoarser, coarseStrip);
        // The shared edge: x = 16 of the fine patch, x = 0 of the coarse one.
        const std::set<int> fineEdge = edgeVertices(triangles(fineStrip, 17), 16, -1);
        const std::set<int> coarseEdge = edgeVertices(triangles(coarseStrip, 17), 0, -1);
        EXPECT_EQ(fineEdge, coarseEdge) << "coarse level " << coarseLevel;
        const int step = 1 << coarseLevel;
        for (int z : fineEdge) {
            EXPECT_EQ(z % step, 0) << z;
        }
        // The fine patch's other edges keep every vertex.
        EXPECT_EQ(edgeVertices(triangles(fineStrip, 17), 0, -1).size(), 17u);
    }
}

TEST_F(PatchTest, StripsAreSharedPerLevelAndNeighbourSituation) {
    auto terrain = flatTerrain(65, 17, 160.0f);
    std::set<uint32_t> keys;
    const Vector3 corner = terrain->getPatch(0, 0)->getBounds().getCenter();
    terrain->updateLevels(corner);
    for (uint32_t row = 0; row < 4; ++row) {
        for (uint32_t column = 0; column < 4; ++column) {
            keys.insert(terrain->getPatch(column, row)->getStripKey());
        }
    }
    // Levels rise with distance from the corner patch: neighbours differ.
    EXPECT_EQ(terrain->getPatch(0, 0)->getLevel(), 0);
    EXPECT_GT(terrain->getPatch(3, 3)->getLevel(), 0);
    EXPECT_LT(keys.size(), 16u);
}

TEST_F(PatchTest, MaterialVariantByDistance) {
    struct Case {
        float distance;
        int variant;
    };
    // Blend band 100..220, patch radius 10.
    const Case cases[] = {{0.0f, 0},   {89.9f, 0},  {90.0f, 1}, {160.0f, 1},
                          {230.0f, 1}, {230.1f, 2}, {1e6f, 2}};
    for (const Case& c : cases) {
        EXPECT_EQ(TerrainMaterial::variantForDistance(c.distance, 10.0f, 100.0f, 220.0f), c.variant)
            << c.distance;
    }
}

// The low GPU class's terrain: the detail layers end at a share of the
// blend distances, so a patch at mid distance takes the far variant (the
// LOD colour map alone); lighting goes per vertex unless configured.
TEST_F(PatchTest, LayerDistanceCoefficientBringsTheFarVariantNearer) {
    auto terrain = flatTerrain(33, 17, 160.0f);
    const Vector3 centre = terrain->getPatch(0, 0)->getBounds().getCenter();
    const Vector3 camera = centre + Vector3{0.0f, 150.0f, 0.0f};
    terrain->updateLevels(camera);
    EXPECT_EQ(terrain->getPatch(0, 0)->getMaterialVariant(), TerrainMaterial::Blend);
    EXPECT_FLOAT_EQ(terrain->getLodBlendStart(), 100.0f);

    TerrainSettings::setLayerDistanceCoeff(0.5f);
    terrain->updateLevels(camera);
    EXPECT_EQ(terrain->getPatch(0, 0)->getMaterialVariant(), TerrainMaterial::Far);
    EXPECT_FLOAT_EQ(terrain->getLodBlendStart(), 50.0f);
    EXPECT_FLOAT_EQ(terrain->getLodBlendEnd(), 110.0f);
    {
        ScopedLogCapture log;
        for (float refused : {0.0f, -1.0f, 1.5f, NAN}) {
            TerrainSettings::setLayerDistanceCoeff(refused);
            EXPECT_EQ(TerrainSettings::getLayerDistanceCoeff(), 0.5f) << refused;
        }
        EXPECT_NE(log.text().find("must lie in (0, 1]"), std::string::npos);
    }
    TerrainSettings::setLayerDistanceCoeff(1.0f);
    terrain->updateLevels(camera);
    EXPECT_EQ(terrain->getPatch(0, 0)->getMaterialVariant(), TerrainMaterial::Blend);

    EXPECT_FALSE(TerrainSettings::getVertexLighting());
    TerrainSettings::setClassVertexLighting(true);
    EXPECT_TRUE(TerrainSettings::getVertexLighting());
    TerrainSettings::setClassVertexLighting(false);
}

TEST_F(PatchTest, ShaderCodeHasEveryHookInOrder) {
    const auto injections = TerrainShaderCode::makeInjections(2, true, false);
    const char* hooks[] = {"NUM_TEXCOORDS", "VS_INPUT", "VS_OUTPUT",      "POST_SET_TEXCOORDS_VS",
                           "VS_END",        "SAMPLERS", "POST_ALBEDO_FS", "DIFFUSE_LIGHTING_DIR_FS",
                           "HAS_TEXTURES"};
    ASSERT_EQ(injections.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(injections[i].position, hooks[i]);
    }
    EXPECT_NE(injections[5].code.find("layer1Map"), std::string::npos);
    EXPECT_EQ(injections[5].code.find("layer2Map"), std::string::npos);
    EXPECT_NE(injections[6].code.find("lerp(layersColor"), std::string::npos);
    EXPECT_TRUE(injections[7].code.empty());
    // Vertex lighting adds its coordinate sets and the diffuse override.
    const auto lit = TerrainShaderCode::makeInjections(0, true, true);
    EXPECT_NE(lit[0].code.find("VERTEXLIGHTING_TEXCOORD"), std::string::npos);
    EXPECT_FALSE(lit[7].code.empty());
    // The indices are made once per combination.
    EXPECT_EQ(TerrainShaderCode::getIndex(0, false), 0);
    const int32_t index = TerrainShaderCode::getIndex(3, true);
    EXPECT_GT(index, 0);
    EXPECT_EQ(TerrainShaderCode::getIndex(3, true), index);
    EXPECT_NE(TerrainShaderCode::getIndex(3, false), index);
}

}  // namespace
