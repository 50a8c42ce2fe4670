// Heightmap loading (sizes, padding, formats), normals and height queries.

#include <cmath>

#include "TerrainFixture.h"
#include "base/math/Matrix4.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

using terraintest::TerrainFixture;
using testsupport::ScopedLogCapture;

class HeightmapTest : public TerrainFixture {};

uint16_t ramp(uint32_t col, uint32_t row) {
    return static_cast<uint16_t>(col * 7 + row * 13);
}

TEST_F(HeightmapTest, SizesArePaddedKeptOrRefused) {
    struct Case {
        uint32_t width;
        uint32_t height;
        uint32_t grid;        // 0: refused
        const char* message;  // expected in the log when refused
    };
    const Case cases[] = {
        {513, 513, 513, nullptr},
        {512, 512, 513, nullptr},
        {500, 500, 0, "load heightmap 'h.png': width must either be n^2 or n^2+1\n"},
        {512, 256, 0, "load heightmap 'h.png': height must equal width\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        writeHeightmap16("h.png", c.width, c.height, ramp);
        ScopedLogCapture log;
        GeoMipMappingTerrain terrain;
        const bool loaded = terrain.loadHeightmap("h", "h.png");
        EXPECT_EQ(loaded, c.grid != 0) << log.text();
        EXPECT_EQ(terrain.getSize(), c.grid);
        if (c.message != nullptr) {
            EXPECT_EQ(log.text(), c.message);
            EXPECT_TRUE(terrain.getHeights().empty());
            continue;
        }
        const auto& h = terrain.getHeights();
        const uint32_t n = c.grid;
        ASSERT_EQ(h.size(), size_t(n) * n);
        EXPECT_EQ(h[3 + 5 * n], ramp(3, 5));
        EXPECT_EQ(h[(c.width - 1) + (c.width - 1) * n], ramp(c.width - 1, c.width - 1));
        if (n == c.width + 1) {
            // The extra column repeats its left neighbour, the extra row the
            // row above, the corner is their average.
            const uint32_t m = c.width;
            EXPECT_EQ(h[m + 7 * n], h[m - 1 + 7 * n]);
            EXPECT_EQ(h[9 + m * n], h[9 + (m - 1) * n]);
            EXPECT_EQ(h[m + m * n], (h[m + (m - 1) * n] + h[m - 1 + m * n]) / 2);
        }
        EXPECT_EQ(terrain.getLowestHeight(), 0);
        EXPECT_EQ(terrain.getHighestHeight(), ramp(c.width - 1, c.width - 1));
    }
}

TEST_F(HeightmapTest, EightBitGreyAndColourImagesGiveTheirHeights) {
    writeImage8("grey.png", 17, 17, 1, [](uint32_t col, uint32_t row, int) {
        return static_cast<uint8_t>(col + row * 10);
    });
    writeImage8("rgb.png", 17, 17, 3, [](uint32_t col, uint32_t, int c) {
        return static_cast<uint8_t>(c == 0 ? col : (c == 1 ? 200 : 99));
    });
    GeoMipMappingTerrain grey;
    ASSERT_TRUE(grey.loadHeightmap("grey", "grey.png"));
    grey.setParameters(6553.6f, 1.6f, 100.0f, 220.0f);
    // Bytes are not widened: 255 is the highest an 8-bit map reaches.
    EXPECT_EQ(grey.getHeights()[4 + 3 * 17], 34);
    EXPECT_FLOAT_EQ(grey.getHeight(4, 3), 34.0f * 6553.6f / 65535.0f);

    GeoMipMappingTerrain rgb;
    ASSERT_TRUE(rgb.loadHeightmap("rgb", "rgb.png"));
    EXPECT_EQ(rgb.getHeights()[5 + 2 * 17], 5 * 256 + 200);
}

TEST_F(HeightmapTest, MissingHeightmapIsRefused) {
    ScopedLogCapture log;
    GeoMipMappingTerrain missing;
    EXPECT_FALSE(missing.loadHeightmap("none", "none.png"));
    EXPECT_NE(log.text().find("faild to load heightmap 'none.png'\n"), std::string::npos);
    EXPECT_EQ(missing.getHeightAtGridPosition(0.0f, 0.0f), 0.0f);
}

TEST_F(HeightmapTest, FlatTerrainHasUpNormalsAndGridPositions) {
    writeHeightmap16("flat.png", 33, 33, [](uint32_t, uint32_t) { return 1000; });
    GeoMipMappingTerrain terrain;
    ASSERT_TRUE(terrain.loadHeightmap("flat", "flat.png"));
    terrain.setParameters(6553.6f, 2.0f, 100.0f, 220.0f);
    ASSERT_TRUE(terrain.build(17, 16, 0.15f, 160.0f));
    ASSERT_EQ(terrain.getNumPatches(), 4u);
    std::vector<TerrainVertex> vertices(17 * 17);
    terrain.getPatch(1, 1)->fillVertices(vertices.data());
    for (const TerrainVertex& v : vertices) {
        EXPECT_EQ(v.normal[0], 0.0f);
        EXPECT_EQ(v.normal[1], 1.0f);
        EXPECT_EQ(v.normal[2], 0.0f);
        EXPECT_FLOAT_EQ(v.position[1], 1000.0f * 6553.6f / 65535.0f);
    }
    // Patch (1, 1) starts at grid point (16, 16), the centre of the grid.
    EXPECT_FLOAT_EQ(vertices[0].position[0], 0.0f);
    EXPECT_FLOAT_EQ(vertices[0].position[2], 0.0f);
    EXPECT_FLOAT_EQ(vertices[16 + 16 * 17].position[0], 32.0f);
    EXPECT_FLOAT_EQ(vertices[16 + 16 * 17].position[2], 32.0f);
}

TEST_F(HeightmapTest, SlopesTiltTheirNormalsDownhillAtUnitLength) {
    // Rising along +x: the normal leans towards -x.
    writeHeightmap16("slope.png", 17, 17,
                     [](uint32_t col, uint32_t) { return static_cast<uint16_t>(col * 100); });
    GeoMipMappingTerrain terrain;
    ASSERT_TRUE(terrain.loadHeightmap("slope", "slope.png"));
    terrain.setParameters(6553.6f, 1.6f, 100.0f, 220.0f);
    ASSERT_TRUE(terrain.build(17, 16, 0.15f, 160.0f));
    std::vector<TerrainVertex> vertices(17 * 17);
    terrain.getPatch(0, 0)->fillVertices(vertices.data());
    const TerrainVertex& v = vertices[8 + 8 * 17];
    EXPECT_LT(v.normal[0], 0.0f);
    EXPECT_GT(v.normal[1], 0.0f);
    EXPECT_FLOAT_EQ(v.normal[2], 0.0f);
    EXPECT_NEAR(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1], 1.0f, 1e-5f);
}

TEST_F(HeightmapTest, HeightQueriesInsideOnTheBorderAndOutside) {
    writeHeightmap16("q.png", 17, 17, ramp);
    GeoMipMappingTerrain terrain;
    ASSERT_TRUE(terrain.loadHeightmap("q", "q.png"));
    terrain.setParameters(65535.0f, 1.0f, 100.0f, 220.0f);  // one unit per height step
    struct Case {
        float px;
        float pz;
        float expected;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f},
        {3.0f, 5.0f, float(ramp(3, 5))},
        {3.5f, 5.0f, (ramp(3, 5) + ramp(4, 5)) * 0.5f},
        {3.0f, 5.25f, ramp(3, 5) * 0.75f + ramp(3, 6) * 0.25f},
        {16.0f, 16.0f, float(ramp(16, 16))},
        // Past the last column and row the border height continues.
        {16.5f, 4.0f, float(ramp(16, 4))},
        {17.0f, 17.0f, float(ramp(16, 16))},
        {-0.01f, 3.0f, 0.0f},
        {3.0f, 17.01f, 0.0f},
        {NAN, 3.0f, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(terrain.getHeightAtGridPosition(c.px, c.pz), c.expected)
            << c.px << ", " << c.pz;
    }
}

TEST_F(HeightmapTest, UnusableScalesFallBackToTheirDefaults) {
    GeoMipMappingTerrain terrain;
    ScopedLogCapture log;
    terrain.setParameters(NAN, 0.0f, INFINITY, 50.0f);
    EXPECT_FLOAT_EQ(terrain.getHeightFactor(), 6553.6f / 65535.0f);
    EXPECT_FLOAT_EQ(terrain.getUnitsPerPixel(), 1.6f);
    EXPECT_FLOAT_EQ(terrain.getLodBlendStart(), 100.0f);
    // The blend band must not be empty: the shaders divide by its width.
    EXPECT_FLOAT_EQ(terrain.getLodBlendEnd(), 101.0f);
    EXPECT_EQ(log.count("Warning: terrain "), 4u) << log.text();
}

TEST_F(HeightmapTest, WorldHeightQueryFollowsTheNodeTransform) {
    writeHeightmap16("w.png", 17, 17, ramp);
    TerrainParams params;
    params.heightMapPath = "w.png";
    params.unitsPerPixel = 2.0f;
    params.heightScale = 65535.0f;
    TerrainTransformGroup node("terrain", params, {});
    // Without layers the terrain is still built (LOD colour map alone).
    ASSERT_TRUE(node.isBuilt());
    // Grid point (10, 4) lies at local x = 2 (10 - 8) = 4, z = -8.
    EXPECT_FLOAT_EQ(node.getHeightAtWorldPosition({4.0f, 99.0f, -8.0f}), float(ramp(10, 4)));
    // Moved by (100, 50, 0): the query follows, the result stays local.
    node.setLocalMatrix(Matrix4::translation({100.0f, 50.0f, 0.0f}), 0);
    EXPECT_FLOAT_EQ(node.getHeightAtWorldPosition({104.0f, 0.0f, -8.0f}), float(ramp(10, 4)));
    EXPECT_EQ(node.getHeightAtWorldPosition({4.0f, 0.0f, -8.0f}), 0.0f);
    // A node scaled to nothing cannot be inverted.
    node.setLocalMatrix(Matrix4::scaling({0.0f, 0.0f, 0.0f}), 0);
    EXPECT_EQ(node.getHeightAtWorldPosition({0.0f, 0.0f, 0.0f}), 0.0f);
}

}  // namespace
