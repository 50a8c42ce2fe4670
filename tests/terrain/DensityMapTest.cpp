// Density maps: the detail group's cell and pixel sizes, reading images,
// painting and counting parallelograms (plain and masked), regions, and
// saving a map that reloads unchanged.

#include <cmath>

#include "TerrainFixture.h"
#include "base/device/Texture.h"
#include "base/platform/Platform.h"
#include "render/material/Material.h"
#include "terrain/DensityMap.h"
#include "terrain/DetailLayerSettings.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainDetailGeometry.h"
#include "terrain/TerrainDetailTransformGroup.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

using terraintest::TerrainFixture;
using testsupport::ScopedLogCapture;

int64_t countAll(const DensityMap& map, uint32_t channel) {
    return map.countRegion(0, 0, map.getSize(), map.getSize(), channel);
}

TEST(DensityMap, ParallelogramCoversThePixelsWhoseCentreIsInside) {
    struct Case {
        const char* what;
        float x, z, wx, wz, hx, hz;
        int64_t pixels;
    };
    const Case cases[] = {
        {"axis-aligned square", 4, 4, 8, 0, 0, 8, 64},
        {"same square from the opposite corner", 12, 12, -8, 0, 0, -8, 64},
        {"half-pixel offsets", 4.5f, 4.5f, 8, 0, 0, 8, 64},
        {"sheared: rows shift right by one per row", 0, 0, 4, 0, 8, 8, 32},
        {"diamond of side 4 sqrt 2", 8, 4, 4, 4, -4, 4, 32},
        {"zero area", 4, 4, 8, 0, 16, 0, 0},
        {"partly outside the left and top", -4, -4, 8, 0, 0, 8, 16},
        {"partly outside the right and bottom", 28, 30, 8, 0, 0, 8, 8},
        {"wholly outside", 40, 40, 8, 0, 0, 8, 0},
        {"wholly outside, negative", -20, 3, 8, 0, 0, 8, 0},
        {"not finite", NAN, 3, 8, 0, 0, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DensityMap map;
        ASSERT_TRUE(map.create(32, 2));
        DensityMap::Rect touched;
        // One channel: the result counts covered pixels that were set before.
        EXPECT_EQ(map.paintParallelogram(c.x, c.z, c.wx, c.wz, c.hx, c.hz, 1, true, touched), 0);
        EXPECT_EQ(countAll(map, 1), c.pixels);
        EXPECT_EQ(countAll(map, 0), 0);
        EXPECT_EQ(map.countParallelogram(c.x, c.z, c.wx, c.wz, c.hx, c.hz, 1), c.pixels);
        EXPECT_EQ(int64_t(touched.width) * touched.height >= c.pixels, true);
        EXPECT_EQ(map.paintParallelogram(c.x, c.z, c.wx, c.wz, c.hx, c.hz, 1, true, touched),
                  c.pixels);
        // Every channel: the result counts changed bits.
        EXPECT_EQ(map.paintParallelogram(c.x, c.z, c.wx, c.wz, c.hx, c.hz, -1, true, touched),
                  c.pixels);
        EXPECT_EQ(map.paintParallelogram(c.x, c.z, c.wx, c.wz, c.hx, c.hz, -1, false, touched),
                  2 * c.pixels);
        EXPECT_EQ(countAll(map, 0) + countAll(map, 1), 0);
    }
}

TEST(DensityMap, SquareCoversExactlyItsPixels) {
    DensityMap map;
    ASSERT_TRUE(map.create(16, 1));
    DensityMap::Rect touched;
    map.paintParallelogram(2, 3, 4, 0, 0, 5, 0, true, touched);
    EXPECT_EQ(touched.x, 2);
    EXPECT_EQ(touched.z, 3);
    EXPECT_EQ(touched.width, 4);
    EXPECT_EQ(touched.height, 5);
    for (uint32_t z = 0; z < 16; ++z) {
        for (uint32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(map.get(x, z, 0), x >= 2 && x < 6 && z >= 3 && z < 8) << x << "," << z;
        }
    }
}

TEST(DensityMap, MaskedPaintingFollowsTheMaskAtItsOwnScale) {
    DensityMap map;
    ASSERT_TRUE(map.create(16, 2));
    // A mask of half the size with its second channel set in the left half.
    DensityMap mask;
    ASSERT_TRUE(mask.create(8, 2));
    DensityMap::Rect touched;
    mask.paintParallelogram(0, 0, 4, 0, 0, 8, 1, true, touched);
    // Pixel x of the map reads mask pixel round(x / 2): x < 7 lies in the
    // left half.
    EXPECT_EQ(map.paintMaskedParallelogram(0, 0, 16, 0, 0, 16, 0, mask, 1, true, touched), 7 * 16);
    EXPECT_TRUE(map.get(6, 5, 0));
    EXPECT_FALSE(map.get(7, 5, 0));
    // A mask channel that is clear paints nothing.
    EXPECT_EQ(map.paintMaskedParallelogram(0, 0, 16, 0, 0, 16, 1, mask, 0, true, touched), 0);
    // Clearing through the mask reports the changed bits only.
    EXPECT_EQ(map.paintMaskedParallelogram(0, 0, 4, 0, 0, 4, 0, mask, 1, false, touched), 16);
    EXPECT_EQ(countAll(map, 0), 7 * 16 - 16);
}

TEST(DensityMap, RegionsClampToTheBorderAndCountItRepeatedly) {
    DensityMap map;
    ASSERT_TRUE(map.create(8, 1));
    map.set(0, 0, 0, true);
    map.set(7, 3, 0, true);
    map.set(4, 4, 0, true);
    EXPECT_EQ(map.countRegion(0, 0, 8, 8, 0), 3);
    // Three columns left of the map read column 0 of rows 0..1.
    EXPECT_EQ(map.countRegion(-3, 0, 4, 2, 0), 4);
    // Rows 3..9 right of the map: row 3's pixel (7, 3) is counted 5 times
    // over columns 7..11.
    EXPECT_EQ(map.countRegion(6, 3, 6, 1, 0), 5);
    // Far outside in both directions: the corner pixel, width x height times.
    EXPECT_EQ(map.countRegion(-1000, -1000, 10, 10, 0), 100);
    // A huge rectangle costs no more than the map and does not overflow.
    EXPECT_EQ(map.countRegion(-2000000000LL, 0, 4000000000LL, 1, 0), int64_t(1) << 30);
    EXPECT_EQ(map.countRegion(0, 0, 0, 5, 0), 0);
    EXPECT_EQ(map.countRegion(0, 0, 8, 8, 1), 0);
}

class DensityGroupTest : public TerrainFixture {
protected:
    void SetUp() override {
        TerrainFixture::SetUp();
        writeHeightmap16("h.png", 65, 65, [](uint32_t, uint32_t) { return 1000; });
        // 64 x 64, two channels: bit 0 in the left half, bit 1 in the top quarter.
        writeImage8("density.png", 64, 64, 1, [](uint32_t x, uint32_t y, int) {
            return static_cast<uint8_t>((x < 32 ? 1 : 0) | (y < 16 ? 2 : 0) | 0xF0);
        });
        writeImage8("wide.png", 1024, 512, 1, [](uint32_t, uint32_t, int) { return 1; });
        DetailLayerSettings::setUserFolder(m_userDir.path() + "user");
        DetailLayerSettings::setTerrainLoadDirectory("");
        TerrainParams params;
        params.heightMapPath = "h.png";
        params.unitsPerPixel = 1.6f;
        m_terrain = std::make_unique<TerrainTransformGroup>("terrain", params,
                                                            std::vector<TerrainLayerParams>{});
    }
    void TearDown() override {
        DetailLayerSettings::setUserFolder("");
        m_terrain.reset();
        TerrainFixture::TearDown();
    }

    std::unique_ptr<TerrainDetailTransformGroup> group(const std::string& map, float cellSize,
                                                       int channels = 2) {
        TerrainDetailParams params;
        params.densityMapPath = map;
        params.cellSize = cellSize;
        params.numDensityMapChannels = channels;
        return std::make_unique<TerrainDetailTransformGroup>("detail", params, *m_terrain);
    }

    testsupport::TempDir m_userDir;
    std::unique_ptr<TerrainTransformGroup> m_terrain;
};

TEST_F(DensityGroupTest, CellSizeIsRoundedUpToAPowerOfTwoGridUnits) {
    auto g = group("density.png", 30.0f);
    ASSERT_TRUE(g->isValid());
    // 30 / 1.6 = 18.75 -> 19 -> 32 grid units.
    EXPECT_EQ(g->getCellGridSize(), 32u);
    EXPECT_FLOAT_EQ(g->getCellSize(), 51.2f);
    EXPECT_EQ(g->getCellsPerSide(), 2u);
    EXPECT_EQ(g->getDensityPixelsPerCell(), 32u);
    // The image's upper nibble is ignored beyond the two channels.
    EXPECT_EQ(g->getDensityMap().getChannelCount(), 2u);
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 0), 32 * 64);
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 1), 16 * 64);
    EXPECT_EQ(g->getDensityMapFileName(), "density.png");
}

TEST_F(DensityGroupTest, RefusedGroupsStayEmpty) {
    struct Case {
        const char* map;
        float cellSize;
        const char* message;
    };
    const Case cases[] = {
        {"wide.png", 30.0f, "Error: failed loading density map wide.png"},
        {"missing.png", 30.0f, "Error: failed loading density map missing.png"},
        // 64 grid units per cell is the whole terrain.
        {"density.png", 100.0f, "is larger than half the terrain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.map);
        ScopedLogCapture log;
        auto g = group(c.map, c.cellSize);
        EXPECT_FALSE(g->isValid());
        EXPECT_EQ(g->getNumLevels(), 0u);
        EXPECT_NE(log.text().find(c.message), std::string::npos) << log.text();
        EXPECT_EQ(g->setDensityParallelogram(0, 0, 10, 0, 0, 10, 0, 1.0f), 0);
    }
    // A density map smaller than the cell count.
    writeImage8("tiny.png", 2, 2, 1, [](uint32_t, uint32_t, int) { return 1; });
    ScopedLogCapture log;
    auto small = group("tiny.png", 1.6f);
    EXPECT_FALSE(small->isValid());
    EXPECT_NE(log.text().find("fewer than the 64 cells"), std::string::npos) << log.text();
}

TEST_F(DensityGroupTest, WorldPaintingRoundTrips) {
    auto g = group("density.png", 30.0f);
    ASSERT_TRUE(g->isValid());
    // World units per density pixel: 102.4 / 64 = 1.6. The square
    // (-16, -16)..(0, 0) covers density pixels 22..31 in both directions.
    EXPECT_EQ(g->getDensityParallelogram(-16, -16, 16, 0, 0, 16, 1), 0);
    EXPECT_EQ(g->getDensityParallelogram(-16, -16, 16, 0, 0, 16, 0), 100);
    // Setting channel 1 reports the pixels that were set before (none).
    EXPECT_EQ(g->setDensityParallelogram(-16, -16, 16, 0, 0, 16, 1, 1.0f), 0);
    EXPECT_EQ(g->getDensityParallelogram(-16, -16, 16, 0, 0, 16, 1), 100);
    EXPECT_EQ(g->getDensityRegionWorld(-16, -16, 16, 16, 1), 100);
    // Value 0.5 clears.
    EXPECT_EQ(g->setDensityParallelogram(-16, -16, 16, 0, 0, 16, 1, 0.5f), 100);
    EXPECT_EQ(g->getDensityParallelogram(-16, -16, 16, 0, 0, 16, 1), 0);
    // Channel -1 reports the bits that changed: 100 of channel 0.
    EXPECT_EQ(g->setDensityParallelogram(-16, -16, 16, 0, 0, 16, -1, 0.0f), 100);
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 0), 32 * 64 - 100);
    // A shape entirely off the terrain changes nothing; one half off it
    // paints only its inside.
    EXPECT_EQ(g->setDensityParallelogram(200, 200, 30, 0, 0, 30, -1, 1.0f), 0);
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 1), 16 * 64);
    g->setDensityParallelogram(-60, 40, 15, 0, 0, 16, 1, 1.0f);
    // x: -60..-45 is density -5.5..3.875: columns 0..3; z: 40..56 is
    // 57..67: rows 57..63.
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 1), 16 * 64 + 4 * 7);
}

TEST_F(DensityGroupTest, ChannelsAreRangeChecked) {
    auto g = group("density.png", 30.0f);
    auto mask = group("density.png", 30.0f, 1);
    ScopedLogCapture log;
    EXPECT_EQ(g->getDensityParallelogram(-16, -16, 16, 0, 0, 16, 2), 0);
    EXPECT_EQ(g->setDensityParallelogram(-16, -16, 16, 0, 0, 16, -2, 1.0f), 0);
    EXPECT_EQ(g->setDensityParallelogram(-16, -16, 16, 0, 0, 16, 8, 1.0f), 0);
    EXPECT_EQ(g->getDensityRegion(0, 0, 8, 8, -1), 0);
    EXPECT_EQ(g->setDensityMaskedParallelogram(-16, -16, 16, 0, 0, 16, 1, *mask, 1, 1.0f), 0);
    EXPECT_EQ(log.count("out of range"), 5u) << log.text();
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 1), 16 * 64);
    // The mask's channel 0 covers the left half.
    EXPECT_EQ(g->setDensityMaskedParallelogram(-51.2f, 0, 102.4f, 0, 0, 16, 1, *mask, 0, 1.0f),
              32 * 10);
}

TEST_F(DensityGroupTest, SurfaceCellsOnlyWhereAChannelIsSet) {
    // Channel 1 set in an 8 x 8 corner of the top-left cell only.
    writeImage8("corner.png", 64, 64, 1,
                [](uint32_t x, uint32_t y, int) { return uint8_t(x < 8 && y < 8 ? 2 : 0); });
    TerrainDetailParams params;
    params.densityMapPath = "corner.png";
    params.cellSize = 30.0f;
    params.numDensityMapChannels = 2;
    params.terrainOffset = 0.5f;
    params.viewDistance = 200.0f;
    TerrainDetailTransformGroup g("detail", params, *m_terrain);
    ASSERT_EQ(g.getNumLevels(), 1u);
    g.updateLocal({0, 0, 0}, 0.0f);
    auto geometry = [&g](int32_t x, int32_t z) {
        return dynamic_cast<TerrainDetailGeometry*>(g.findCell(0, x, z)->getGeometry());
    };
    // The corner cell: 33 x 33 vertices at the terrain's height plus the
    // offset, starting at the terrain's corner.
    const TerrainDetailGeometry* drawn = geometry(-1, -1);
    ASSERT_EQ(drawn->vertices.size(), 33u * 33u);
    EXPECT_GT(drawn->getIndexCount(), 0u);
    EXPECT_TRUE(g.findCell(0, -1, -1)->getVisibility());
    const float height = m_terrain->getTerrain().getHeight(0, 0);
    EXPECT_FLOAT_EQ(drawn->vertices[0].position[1], height + 0.5f);
    EXPECT_FLOAT_EQ(drawn->vertices[0].position[0], -51.2f);
    EXPECT_FLOAT_EQ(drawn->vertices[32].position[0], 0.0f);
    // Its neighbours hold no channel (even counting the pixel around
    // their block) and outside the terrain nothing is built.
    for (auto [x, z] : {std::pair{0, -1}, std::pair{-1, 0}, std::pair{0, 0}, std::pair{-2, 0}}) {
        EXPECT_EQ(geometry(x, z)->getIndexCount(), 0u) << x << "," << z;
        EXPECT_FALSE(g.findCell(0, x, z)->getVisibility()) << x << "," << z;
    }
    // Painting channel 0 into the bottom-right cell builds it.
    g.setDensityParallelogram(20, 20, 5, 0, 0, 5, 0, 1.0f);
    g.updateLocal({0, 0, 0}, 0.0f);
    EXPECT_GT(geometry(0, 0)->getIndexCount(), 0u);
    EXPECT_TRUE(g.findCell(0, 0, 0)->getVisibility());
}

// With a custom shader on the layer's material every drawn cell gets a
// material of its own: the shader with the defines of exactly the channels
// in the cell, and the cell's density texels as the named texture.
TEST_F(DensityGroupTest, CellsDrawWithTheirChannelsAndDensityTexture) {
    // Four channels: channel 1 in an 8 x 8 corner of the top-left cell,
    // channels 0 and 2 inside the bottom-right cell.
    writeImage8("channels.png", 64, 64, 1, [](uint32_t x, uint32_t y, int) {
        uint8_t v = x < 8 && y < 8 ? 2 : 0;
        if (x >= 40 && x < 48 && y >= 40 && y < 48) {
            v |= 1 | 4;
        }
        return v;
    });
    std::vector<CustomShader::LodLevel> levels(1);
    levels[0].textureNames = {"densityMap"};
    levels[0].codeInjections = {{"POST_ALBEDO_FS", "albedo *= 1;"}};
    RefPtr<CustomShader> shader = CustomShaderLibrary::create("detail.xml", levels);
    MaterialDesc desc;
    desc.customShader = "detail.xml";
    RefPtr<Material> material(new Material(desc));
    TerrainDetailParams params;
    params.densityMapPath = "channels.png";
    params.cellSize = 30.0f;
    params.numDensityMapChannels = 4;
    params.viewDistance = 200.0f;
    params.material = material.get();
    params.densityMapShaderName = "densityMap";
    auto g = std::make_unique<TerrainDetailTransformGroup>("detail", params, *m_terrain);
    g->updateLocal({0, 0, 0}, 0.0f);

    struct Cell {
        int32_t x, z;
        uint32_t mask;
        const char* shaderName;
        const char* defines;
    };
    const Cell cells[] = {
        {-1, -1, 2, "detail.xml <detail channels 2>", "#define TERRAIN_DETAIL_CHANNEL_2\n"},
        {0, 0, 5, "detail.xml <detail channels 1 3>",
         "#define TERRAIN_DETAIL_CHANNEL_1\n#define TERRAIN_DETAIL_CHANNEL_3\n"},
    };
    std::vector<std::string> textureNames;
    for (const Cell& c : cells) {
        SCOPED_TRACE(c.shaderName);
        LocalGeometryShape* shape = g->findCell(0, c.x, c.z);
        auto* geometry = dynamic_cast<TerrainDetailGeometry*>(shape->getGeometry());
        ASSERT_EQ(geometry->channelMask, c.mask);
        auto* own = dynamic_cast<Material*>(shape->getMaterial(0));
        ASSERT_NE(own, material.get());
        ASSERT_NE(own->getCustomShader(), nullptr);
        EXPECT_EQ(own->getCustomShader()->getFileName(), c.shaderName);
        EXPECT_EQ(own->getCustomShader(), g->getChannelShader(c.mask));
        const CustomShader::LodLevel& level = own->getCustomShader()->getLodLevels()[0];
        ASSERT_EQ(level.codeInjections.size(), 2u);
        EXPECT_EQ(level.codeInjections[0].code, c.defines);
        EXPECT_EQ(level.codeInjections[1].code, "albedo *= 1;");
        // The level's texture is the cell's own density texture.
        ASSERT_NE(geometry->densityTexture, nullptr);
        EXPECT_EQ(geometry->densityTexture->getName(), shape->getName() + "_DensityMap");
        ASSERT_EQ(own->getLodLevelData()[0].textures.size(), 1u);
        EXPECT_EQ(own->getLodLevelData()[0].textures[0], geometry->densityTexture);
        textureNames.push_back(geometry->densityTexture->getName());
    }
    // The corner cell's texels: channel 1 in its corner only, nothing of
    // the other channels.
    const auto* corner =
        dynamic_cast<TerrainDetailGeometry*>(g->findCell(0, -1, -1)->getGeometry());
    ASSERT_EQ(corner->densityTextureSide, 32u);
    auto texel = [corner](uint32_t x, uint32_t z, int k) {
        return corner->densityTexels[(size_t(z) * 32 + x) * 4 + size_t(k)];
    };
    EXPECT_GT(texel(2, 2, 1), 200);
    EXPECT_EQ(texel(20, 20, 1), 0);
    EXPECT_EQ(texel(2, 2, 0) + texel(2, 2, 2) + texel(2, 2, 3), 0);
    // Cells without any channel keep the layer's material and no texture.
    auto* empty = dynamic_cast<TerrainDetailGeometry*>(g->findCell(0, 0, -1)->getGeometry());
    EXPECT_EQ(empty->channelMask, 0u);
    EXPECT_EQ(empty->densityTexture, nullptr);
    EXPECT_EQ(g->findCell(0, 0, -1)->getMaterial(0), material.get());

    // Painting channel 0 into the corner cell gives it the shader of
    // channels 1 and 2.
    g->setDensityParallelogram(-40, -40, 4, 0, 0, 4, 0, 1.0f);
    g->updateLocal({0, 0, 0}, 0.0f);
    auto* repainted = dynamic_cast<Material*>(g->findCell(0, -1, -1)->getMaterial(0));
    EXPECT_EQ(repainted->getCustomShader()->getFileName(), "detail.xml <detail channels 1 2>");
    // A second layer of the same name (a scene loaded twice) on the same
    // material shares the variants; its cells' textures get names of their
    // own.
    auto second = std::make_unique<TerrainDetailTransformGroup>("detail", params, *m_terrain);
    EXPECT_EQ(second->getChannelShader(2), g->getChannelShader(2));
    second->updateLocal({0, 0, 0}, 0.0f);
    const auto* twin =
        dynamic_cast<TerrainDetailGeometry*>(second->findCell(0, -1, -1)->getGeometry());
    ASSERT_NE(twin->densityTexture, nullptr);
    EXPECT_NE(twin->densityTexture->getName(), textureNames[0]);

    // The textures go with their cells.
    g.reset();
    for (const std::string& name : textureNames) {
        EXPECT_EQ(ResourceManager::instance().find(name), nullptr) << name;
    }
}

// A cell with more density pixels per side than a density texture may hold
// gets its block scaled down to the largest texture.
TEST_F(DensityGroupTest, LargeCellsScaleTheirDensityTextureDown) {
    // 1024 x 1024 over 2 x 2 cells: 512 pixels per cell side; channel 0 in
    // the left half of every cell.
    writeImage8("large.png", 1024, 1024, 1,
                [](uint32_t x, uint32_t, int) { return uint8_t(x % 512 < 256 ? 1 : 0); });
    std::vector<CustomShader::LodLevel> levels(1);
    levels[0].textureNames = {"densityMap"};
    RefPtr<CustomShader> shader = CustomShaderLibrary::create("large.xml", levels);
    MaterialDesc desc;
    desc.customShader = "large.xml";
    RefPtr<Material> material(new Material(desc));
    TerrainDetailParams params;
    params.densityMapPath = "large.png";
    params.cellSize = 30.0f;
    params.viewDistance = 200.0f;
    params.material = material.get();
    params.densityMapShaderName = "densityMap";
    TerrainDetailTransformGroup g("large", params, *m_terrain);
    ASSERT_EQ(g.getDensityPixelsPerCell(), 512u);
    g.updateLocal({0, 0, 0}, 0.0f);
    const auto* cell = dynamic_cast<TerrainDetailGeometry*>(g.findCell(0, 0, 0)->getGeometry());
    const uint32_t side = TerrainDetailTransformGroup::kMaxDensityTextureSide;
    ASSERT_EQ(cell->densityTextureSide, side);
    ASSERT_EQ(cell->densityTexels.size(), size_t(side) * side * 4);
    // Left half set, right half clear, in every row.
    for (uint32_t z : {0u, side / 2, side - 1}) {
        EXPECT_EQ(cell->densityTexels[(size_t(z) * side + side / 4) * 4], 255) << z;
        EXPECT_EQ(cell->densityTexels[(size_t(z) * side + 3 * side / 4) * 4], 0) << z;
    }
}

TEST_F(DensityGroupTest, GroupOutlivingItsTerrainBuildsNothing) {
    auto g = group("density.png", 30.0f);
    g->updateLocal({0, 0, 0}, 0.0f);
    ASSERT_TRUE(g->findCell(0, -1, -1)->getVisibility());
    m_terrain.reset();
    EXPECT_EQ(g->getTerrain(), nullptr);
    g->markCellsForRebuild(-1, -1, 0, 0, true);
    g->updateLocal({0, 0, 0}, 0.0f);
    EXPECT_FALSE(g->findCell(0, -1, -1)->getVisibility());
    // The density map still answers.
    EXPECT_EQ(g->getDensityRegion(0, 0, 64, 64, 0), 32 * 64);
}

TEST_F(DensityGroupTest, SavedMapReloadsIdentical) {
    auto g = group("density.png", 30.0f);
    ASSERT_TRUE(g->isValid());
    g->setDensityParallelogram(-30, -10, 40, 12, -8, 25, 1, 1.0f);
    ASSERT_TRUE(g->saveDensityMapToFile("maps/saved.png"));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_userDir.path() + "user/", 20));
    DensityMap reloaded;
    ASSERT_TRUE(reloaded.load("maps/saved.png", 2));
    const DensityMap& original = g->getDensityMap();
    ASSERT_EQ(reloaded.getSize(), original.getSize());
    for (uint32_t z = 0; z < 64; ++z) {
        for (uint32_t x = 0; x < 64; ++x) {
            ASSERT_EQ(reloaded.getBits(x, z, 0, 2), original.getBits(x, z, 0, 2)) << x << "," << z;
        }
    }
    // An empty path saves under the map's own name.
    EXPECT_TRUE(g->saveDensityMapToFile(""));
    EXPECT_TRUE(platform::isPlainFile(m_userDir.path() + "user/density.png"));
    // Paths that would leave the folder are refused, and say so.
    ScopedLogCapture log;
    for (const char* bad : {"../escape.png", "maps/../../escape.png", "/tmp/escape.png"}) {
        EXPECT_FALSE(g->saveDensityMapToFile(bad)) << bad;
    }
    EXPECT_EQ(log.count("Error: saveDensityMapToFile"), 3u) << log.text();
    EXPECT_FALSE(g->saveDensityMapToFile(std::string(300, 'a') + ".png"));
}

}  // namespace
