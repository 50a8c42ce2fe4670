// Detail layers: loading and refusals, weight normalisation, per-patch
// selection, distance colours and the LOD colour map.

#include <cmath>

#include "TerrainFixture.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

using terraintest::TerrainFixture;
using testsupport::ScopedLogCapture;

class LayerTest : public TerrainFixture {
protected:
    void SetUp() override {
        TerrainFixture::SetUp();
        writeHeightmap16("h.png", 33, 33, [](uint32_t, uint32_t) { return 0; });
        writeImage8("detail.png", 4, 4, 3, [](uint32_t, uint32_t, int c) {
            return static_cast<uint8_t>(c == 0 ? 200 : 10);
        });
        // Left half for the first layer, right half for the second.
        writeImage8("left.png", 32, 32, 1,
                    [](uint32_t x, uint32_t, int) { return x < 16 ? 255 : 0; });
        writeImage8("right.png", 32, 32, 1,
                    [](uint32_t x, uint32_t, int) { return x < 16 ? 0 : 255; });
        writeImage8("zero.png", 32, 32, 1, [](uint32_t, uint32_t, int) { return 0; });
        writeImage8("half.png", 32, 32, 1, [](uint32_t, uint32_t, int) { return 100; });
    }

    static TerrainLayerParams layer(const std::string& weights, float unitSize = 8.0f) {
        TerrainLayerParams params;
        params.detailMap = "detail.png";
        params.unitSize = unitSize;
        params.weightMapName = weights;
        params.weightMapPath = weights;
        return params;
    }

    std::unique_ptr<GeoMipMappingTerrain> terrain() {
        auto t = std::make_unique<GeoMipMappingTerrain>();
        EXPECT_TRUE(t->loadHeightmap("h", "h.png"));
        t->setParameters(6553.6f, 2.0f, 100.0f, 220.0f);
        return t;
    }
};

TEST_F(LayerTest, EachPatchSelectsTheLayersWhereTheyAre) {
    auto t = terrain();
    ASSERT_TRUE(t->addLayer(layer("left.png")));
    ASSERT_TRUE(t->addLayer(layer("right.png")));
    // repeat = unitsPerPixel x (n - 1) / unitSize
    EXPECT_FLOAT_EQ(t->getLayers()[0].repeat, 2.0f * 32.0f / 8.0f);
    ASSERT_TRUE(t->build(17, 16, 0.15f, 160.0f));
    const BaseTerrain::WeightBlock block = t->getPatchBlock(20, 3);
    EXPECT_EQ(block.x, 16u);
    EXPECT_EQ(block.z, 0u);
    EXPECT_EQ(block.width, 16u);
    EXPECT_EQ(t->getPatch(0, 0)->getSelectedLayers(), (std::array<int, 4>{0, -1, -1, -1}));
    EXPECT_EQ(t->getPatch(1, 1)->getSelectedLayers(), (std::array<int, 4>{1, -1, -1, -1}));
    EXPECT_FLOAT_EQ(t->getPatch(1, 1)->getCoverage()[0], 100.0f);
    EXPECT_TRUE(t->canPaintLayer(1, {0, 0, 4, 4}));
}

TEST_F(LayerTest, WeightsAreNormalisedAndEmptyPixelsGoToTheFirstLayer) {
    auto t = terrain();
    ASSERT_TRUE(t->addLayer(layer("zero.png")));
    ASSERT_TRUE(t->addLayer(layer("zero.png")));
    ASSERT_TRUE(t->addLayer(layer("half.png")));
    ASSERT_TRUE(t->addLayer(layer("half.png")));
    ASSERT_TRUE(t->build(17, 16, 0.15f, 160.0f));
    // 100 + 100 out of 255: each becomes 100 x 255 / 200, truncated.
    EXPECT_EQ(t->getLayers()[2].weights[0], 127);
    EXPECT_EQ(t->getLayers()[0].weights[0], 0);
    const auto& selected = t->getPatch(0, 0)->getSelectedLayers();
    EXPECT_EQ(selected, (std::array<int, 4>{2, 3, -1, -1}));
    EXPECT_FLOAT_EQ(t->getPatch(0, 0)->getCoverage()[0], 50.0f);

    auto empty = terrain();
    ASSERT_TRUE(empty->addLayer(layer("zero.png")));
    ASSERT_TRUE(empty->addLayer(layer("zero.png")));
    ASSERT_TRUE(empty->build(17, 16, 0.15f, 160.0f));
    EXPECT_EQ(empty->getLayers()[0].weights[5], 255);
    EXPECT_EQ(empty->getLayers()[1].weights[5], 0);
    EXPECT_EQ(empty->getPatch(1, 0)->getSelectedLayers(), (std::array<int, 4>{0, -1, -1, -1}));
}

TEST_F(LayerTest, BadLayersAreRefusedWithTheirReason) {
    writeImage8("small.png", 16, 16, 1, [](uint32_t, uint32_t, int) { return 9; });
    writeImage8("rgb.png", 32, 32, 3, [](uint32_t, uint32_t, int) { return 9; });
    struct Case {
        TerrainLayerParams params;
        const char* message;  // nullptr: refused silently
    };
    TerrainLayerParams missingDetail = layer("left.png");
    missingDetail.detailMap = "nothing.png";
    const Case cases[] = {
        {layer("left.png", 0.0f), "must be above 0, layer ignored"},
        {layer("left.png", -2.0f), "must be above 0, layer ignored"},
        {layer("rgb.png"),
         "Error: Terrain weightmap 'rgb.png' incorrect format. Must be 8bit single channel.\n"},
        {layer("small.png"),
         "Error: Terrain weightmap 'small.png' size incorrect. Same size is needed.\n"},
        {layer("nothing.png"), nullptr},
        {missingDetail, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.weightMapPath);
        auto t = terrain();
        ASSERT_TRUE(t->addLayer(layer("left.png")));
        ScopedLogCapture log;
        EXPECT_FALSE(t->addLayer(c.params));
        EXPECT_EQ(t->getLayers().size(), 1u);
        if (c.message != nullptr) {
            EXPECT_NE(log.text().find(c.message), std::string::npos) << log.text();
        }
    }
}

TEST_F(LayerTest, WeightMapSmallerThanThePatchCountIsDropped) {
    writeImage8("tiny.png", 8, 8, 1, [](uint32_t, uint32_t, int) { return 255; });
    auto t = terrain();
    ASSERT_TRUE(t->addLayer(layer("tiny.png")));
    ScopedLogCapture log;
    // 16 patches per side, 8 weight pixels: no block for each patch.
    ASSERT_TRUE(t->build(3, 16, 0.15f, 160.0f));
    EXPECT_TRUE(t->getLayers().empty());
    EXPECT_NE(log.text().find("fewer than the 16 patches per side"), std::string::npos)
        << log.text();
    EXPECT_EQ(t->getPatch(0, 0)->getNumSelectedLayers(), 0);
}

TEST_F(LayerTest, DistanceColourIsTheMeanOfTheDetailMap) {
    // Grey, one channel: half the pixels 0, half 200.
    writeImage8("grey.png", 4, 4, 1,
                [](uint32_t x, uint32_t, int) { return static_cast<uint8_t>(x < 2 ? 0 : 200); });
    auto t = terrain();
    TerrainLayerParams grey = layer("left.png");
    grey.detailMap = "grey.png";
    ASSERT_TRUE(t->addLayer(grey));
    EXPECT_EQ(t->getLayers()[0].distanceColor, (std::array<uint8_t, 3>{100, 100, 100}));
    ASSERT_TRUE(t->addLayer(layer("right.png")));
    EXPECT_EQ(t->getLayers()[1].distanceColor, (std::array<uint8_t, 3>{200, 10, 10}));
    TerrainLayerParams given = layer("right.png");
    given.hasDistanceColor = true;
    given.distanceColor = {1.5f, 0.5f, -1.0f};
    ASSERT_TRUE(t->addLayer(given));
    EXPECT_EQ(t->getLayers()[2].distanceColor, (std::array<uint8_t, 3>{255, 127, 0}));
    given.distanceColor = {NAN, 0.0f, 1.0f};
    ASSERT_TRUE(t->addLayer(given));
    EXPECT_EQ(t->getLayers()[3].distanceColor, (std::array<uint8_t, 3>{0, 0, 255}));
}

TEST_F(LayerTest, LodColourMapMixesLayerColoursAndTheGlobalMap) {
    auto t = terrain();
    TerrainLayerParams red = layer("left.png");
    red.hasDistanceColor = true;
    red.distanceColor = {1.0f, 0.0f, 0.0f};
    TerrainLayerParams blue = layer("right.png");
    blue.hasDistanceColor = true;
    blue.distanceColor = {0.0f, 0.0f, 1.0f};
    ASSERT_TRUE(t->addLayer(red));
    ASSERT_TRUE(t->addLayer(blue));
    ASSERT_TRUE(t->build(17, 16, 0.0f, 160.0f));
    ASSERT_EQ(t->getLodTextureSize(), 16u);
    const auto& pixels = t->getLodColorPixels();
    auto texel = [&pixels](uint32_t x, uint32_t z) {
        const uint8_t* p = pixels.data() + (z * 16 + x) * 3;
        return std::array<uint8_t, 3>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(texel(2, 8), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(texel(13, 3), (std::array<uint8_t, 3>{0, 0, 255}));

    // A global layer map weighted fully replaces the layer colours; one
    // that is not 3-channel is dropped with a message.
    writeImage8("green.png", 8, 8, 3,
                [](uint32_t, uint32_t, int c) { return static_cast<uint8_t>(c == 1 ? 255 : 0); });
    t->setGlobalLayerMap("green", "green.png");
    ASSERT_TRUE(t->build(17, 16, 1.0f, 160.0f));
    EXPECT_EQ(t->getLodColorPixels()[2 * 16 * 3 + 1], 255);
    EXPECT_EQ(t->getLodColorPixels()[2 * 16 * 3 + 0], 0);
    ScopedLogCapture log;
    t->setGlobalLayerMap("grey", "left.png");
    EXPECT_EQ(log.text(), "Error: global layer map 'left.png' does not have 3 channels\n");
    EXPECT_FALSE(t->hasGlobalLayerMap());
}

// Reaches the colour map step directly, before weights are normalised.
class UnnormalisedTerrain : public GeoMipMappingTerrain {
public:
    using BaseTerrain::buildLodColorMap;
};

// Half the white of the missing global map plus half black.
TEST_F(LayerTest, TexelsWithoutAnyWeightAddBlack) {
    UnnormalisedTerrain t;
    ASSERT_TRUE(t.loadHeightmap("h", "h.png"));
    ASSERT_TRUE(t.addLayer(layer("zero.png")));
    ASSERT_TRUE(t.addLayer(layer("zero.png")));
    t.buildLodColorMap(8, 0.5f);
    ASSERT_EQ(t.getLodColorPixels().size(), 8u * 8u * 3u);
    for (uint8_t value : t.getLodColorPixels()) {
        ASSERT_EQ(value, 127);
    }
}

TEST_F(LayerTest, LodTextureSizeIsClamped) {
    auto t = terrain();
    ScopedLogCapture log;
    ASSERT_TRUE(t->build(17, 0, 0.15f, 160.0f));
    EXPECT_EQ(t->getLodTextureSize(), 1u);
    ASSERT_TRUE(t->build(17, 1 << 20, 0.15f, 160.0f));
    EXPECT_EQ(t->getLodTextureSize(), 4096u);
    EXPECT_NE(log.text().find("clamped to 4096"), std::string::npos);
    // Without layers the colour map is the global map, or white.
    EXPECT_EQ(t->getLodColorPixels()[0], 255);
}

}  // namespace
