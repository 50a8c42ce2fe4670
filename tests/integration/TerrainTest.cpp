// A scene with a terrain: a 16-bit heightmap with a ridge along z, a red detail
// layer on the left half and a blue one on the right, a green global layer
// map, a light from the -x side. Near the camera the detail layers show
// where their weights are, the slope facing the light brighter; with
// the blend band moved in front of the camera the LOD colour map (layer
// colours mixed with the global map) shows instead. The script samples the
// heights it probes with "getTerrainHeightAtWorldPos".

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"
#include "PngMaker.h"

namespace {

using testsupport::readFile;

// An 8 x 8 uncompressed TGA: 24-bit colour, or 8-bit grey when `grey`.
std::string tga(int r, int g, int b, bool grey = false) {
    std::string file(18, '\0');
    file[2] = grey ? 3 : 2;
    file[12] = 8;
    file[14] = 8;
    file[16] = grey ? 8 : 24;
    for (int i = 0; i < 64; ++i) {
        if (grey) {
            file += static_cast<char>(r);
            continue;
        }
        file += static_cast<char>(b);
        file += static_cast<char>(g);
        file += static_cast<char>(r);
    }
    return file;
}

// A 64 x 64 weight map (8-bit grey TGA): 255 on one half along x.
std::string halfWeightMap(bool left) {
    std::string file(18, '\0');
    file[2] = 3;
    file[12] = 64;
    file[14] = 64;
    file[16] = 8;
    for (int row = 0; row < 64; ++row) {
        for (int col = 0; col < 64; ++col) {
            file += static_cast<char>((col < 32) == left ? 255 : 0);
        }
    }
    return file;
}

// 65 x 65 heights: a ridge along the middle column, 40 steps per column.
std::string heightmap() {
    std::string rows;
    for (int row = 0; row < 65; ++row) {
        for (int col = 0; col < 65; ++col) {
            const int value = (32 - std::abs(col - 32)) * 40;
            rows += static_cast<char>(value >> 8);
            rows += static_cast<char>(value & 0xFF);
        }
    }
    return testpng::makePng(65, 65, 16, 0, rows);
}

// heightScale 655.35: one world unit per 100 height steps; unitsPerPixel 1
// puts the grid at x, z in -32..32.
std::string scene(float lodBlendStart, float lodBlendEnd) {
    return R"(<?xml version="1.0"?>
<i3D name="terrainScene" version="1.5">
  <Files>
    <File name="hm" filename="heights.png"/>
    <File name="red" filename="red.tga"/>
    <File name="blue" filename="blue.tga"/>
    <File name="left" filename="left.tga"/>
    <File name="right" filename="right.tga"/>
    <File name="global" filename="green.tga"/>
  </Files>
  <Scene>
    <TerrainTransformGroup name="land" heightMap="hm" globalLayerMap="global"
        globalLayerWeight="0.5" patchSize="17" heightScale="655.35" unitsPerPixel="1"
        maxLODDistance="60" lodTextureSize="64" lodBlendStart=")" +
           std::to_string(lodBlendStart) + R"(" lodBlendEnd=")" + std::to_string(lodBlendEnd) +
           R"(">
      <Layers>
        <Layer detailMap="red" unitSize="4" weightMap="left"/>
        <Layer detailMap="blue" unitSize="4" weightMap="right" distanceColor="0 0 1"/>
      </Layers>
    </TerrainTransformGroup>
    <Light name="sun" type="directional" rotation="-90 0 45" diffuseColor="0.6 0.6 0.6"/>
    <TransformGroup name="rig" translation="0 45 40">
      <Camera name="cam" rotation="-45 0 0" fov="60" nearClip="0.5" farClip="500"/>
    </TransformGroup>
  </Scene>
</i3D>
)";
}

// A cube mesh named "cube" with corners at -h and h, material "m".
std::string cubeMesh(float h) {
    const std::string c = std::to_string(h);
    std::string cube = "<IndexedFaceSet name=\"cube\"><Vertices>";
    for (int i = 0; i < 8; ++i) {
        cube += "<v c=\"" + std::string(i & 1 ? "" : "-") + c + (i & 2 ? " " : " -") + c +
                (i & 4 ? " " : " -") + c + "\"/>";
    }
    cube += "</Vertices><Faces shaderlist=\"m\">";
    for (const char* face : {"0 2 3 1", "4 5 7 6", "0 1 5 4", "2 6 7 3", "0 4 6 2", "1 3 7 5"}) {
        cube += std::string("<f vi=\"") + face + "\"/>";
    }
    return cube + "</Faces></IndexedFaceSet>";
}

const char* kScript = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/terrain.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    land = getChild(scene, "land")
    print(string.format("patches %d %s", getNumOfChildren(land), getName(getChildAt(land, 5))))
end
probes = {{"left", -16, 8}, {"right", 16, 8}}
function draw()
    frames = frames + 1
    if frames == 2 then
        for _, p in ipairs(probes) do
            local y = getTerrainHeightAtWorldPos(land, p[2], 0, p[3])
            local x, sy = project(p[2], y, p[3])
            print(string.format("probe %s %.4f %.4f %.4f", p[1], x, sy, y))
        end
        saveScreenshot(SHOT)
    end
    if frames == 3 then requestExit() end
end
)";

// A probe point with the terrain height the script read there.
struct HeightProbe {
    int x = 0;
    int y = 0;
    float height = 0.0f;
};

class TerrainRendering : public ::testing::Test {
protected:
    explicit TerrainRendering(const std::string& gameXml = GameRunner::defaultGameXml())
        : game(gameXml) {}

    void SetUp() override {
        for (const char* file :
             {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
              "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
            game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
        }
        game.writeProgramFile("scenes/heights.png", heightmap());
        game.writeProgramFile("scenes/red.tga", tga(255, 0, 0));
        game.writeProgramFile("scenes/blue.tga", tga(0, 0, 255));
        game.writeProgramFile("scenes/green.tga", tga(0, 255, 0));
        game.writeProgramFile("scenes/left.tga", halfWeightMap(true));
        game.writeProgramFile("scenes/right.tga", halfWeightMap(false));
    }

    // Runs the scene, returns the log and the probes in the screenshot.
    std::string run(const std::string& sceneText, const std::string& shot, Bitmap& image,
                    std::map<std::string, HeightProbe>& probes) {
        game.writeProgramFile("scenes/terrain.i3d", sceneText);
        game.writeProgramFile("main.lua", "SHOT = \"" + shot + "\"\n" + kScript);
        auto result = game.run({"-script", "main.lua"});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        std::string log = readFile(game.userFolder() + "game.log");
        image = readBmp(readFile(shot));
        for (size_t at = log.find("probe "); at != std::string::npos;
             at = log.find("probe ", at + 1)) {
            char name[32];
            float x = 0;
            float y = 0;
            float height = 0;
            if (std::sscanf(log.c_str() + at, "probe %31s %f %f %f", name, &x, &y, &height) == 4) {
                probes[name] = {int(x * image.width), int(y * image.height), height};
            }
        }
        return log;
    }

    GameRunner game;
};

TEST_F(TerrainRendering, DetailLayersNearAndTheLodColourMapFar) {
    Bitmap image;
    std::map<std::string, HeightProbe> probes;
    const std::string nearShot = game.userDataFolder() + "terrain-near.bmp";
    std::string log = run(scene(200, 300), nearShot, image, probes);
    ASSERT_GT(image.width, 0) << log;
    EXPECT_NE(log.find("patches 16 landPatch1x1"), std::string::npos) << log;
    EXPECT_NE(log.find("0 keys failed"), std::string::npos) << log;
    ASSERT_EQ(probes.size(), 2u) << log;
    // Columns 16 and 48 of the grid: 16 columns below the ridge.
    EXPECT_NEAR(probes["left"].height, 6.4f, 1e-3f);
    EXPECT_NEAR(probes["right"].height, 6.4f, 1e-3f);
    const uint8_t* left = image.at(probes["left"].x, probes["left"].y);
    const uint8_t* right = image.at(probes["right"].x, probes["right"].y);
    auto text = [](const uint8_t* c) {
        return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
    };
    // The red layer on the left, the blue one on the right; the left slope
    // faces the light.
    EXPECT_GT(left[0], 100) << text(left);
    EXPECT_LT(left[1], 30) << text(left);
    EXPECT_LT(left[2], 30) << text(left);
    EXPECT_GT(right[2], 80) << text(right);
    EXPECT_LT(right[0], 30) << text(right);
    EXPECT_LT(right[1], 30) << text(right);
    EXPECT_GT(left[0], right[2] + 30) << text(left) << " " << text(right);

    // Blend band in front of the camera: every patch shows the LOD colour
    // map, half layer colour, half the green global map.
    const std::string farShot = game.userDataFolder() + "terrain-far.bmp";
    probes.clear();
    log = run(scene(1, 2), farShot, image, probes);
    ASSERT_EQ(probes.size(), 2u) << log;
    left = image.at(probes["left"].x, probes["left"].y);
    right = image.at(probes["right"].x, probes["right"].y);
    EXPECT_GT(left[0], 40) << text(left);
    EXPECT_NEAR(left[1], left[0], 20) << text(left);
    EXPECT_LT(left[2], 20) << text(left);
    EXPECT_GT(right[2], 30) << text(right);
    EXPECT_NEAR(right[1], right[2], 20) << text(right);
    EXPECT_LT(right[0], 20) << text(right);
}

// "perPixelLighting" set to anything but "true" lights the terrain per
// vertex: the shaders build and the slope facing the light stays brighter.
class TerrainVertexLighting : public TerrainRendering {
protected:
    TerrainVertexLighting()
        : TerrainRendering(
              "<game>\n"
              "  <logging><file filename=\"game.log\" enable=\"true\"/></logging>\n"
              "  <graphic><display><width>320</width><height>240</height></display>\n"
              "    <scalability><terrain><perPixelLighting>false</perPixelLighting></terrain>"
              "</scalability></graphic>\n"
              "</game>\n") {}
};

TEST_F(TerrainVertexLighting, LitPerVertex) {
    Bitmap image;
    std::map<std::string, HeightProbe> probes;
    const std::string shot = game.userDataFolder() + "terrain-vertex.bmp";
    const std::string log = run(scene(200, 300), shot, image, probes);
    EXPECT_NE(log.find("Terrain lighting: per vertex\n"), std::string::npos) << log;
    EXPECT_NE(log.find("0 keys failed"), std::string::npos) << log;
    ASSERT_EQ(probes.size(), 2u) << log;
    const uint8_t* left = image.at(probes["left"].x, probes["left"].y);
    const uint8_t* right = image.at(probes["right"].x, probes["right"].y);
    EXPECT_GT(left[0], 100);
    EXPECT_GT(right[2], 80);
    EXPECT_GT(left[0], right[2] + 30);
}

}  // namespace

// A static terrain is a height field in the physics world: cubes dropped on
// both slopes come to rest on the surface where they slid to, instead of
// falling through it.
TEST_F(TerrainRendering, StaticTerrainCarriesDroppedBodies) {
    const std::string cube = cubeMesh(0.5f);
    std::string text = scene(200, 300);
    auto replace = [&text](const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    replace("<TerrainTransformGroup name=\"land\"",
            "<TerrainTransformGroup name=\"land\" static=\"true\"");
    replace("<Scene>",
            "<Materials><Material name=\"m\"/></Materials><Shapes>" + cube + "</Shapes><Scene>");
    replace("</Scene>",
            "<Shape name=\"west\" ref=\"cube\" dynamic=\"true\" translation=\"-16 15 8\"/>"
            "<Shape name=\"east\" ref=\"cube\" dynamic=\"true\" translation=\"16 15 8\"/>"
            "</Scene>");
    game.writeProgramFile("scenes/terrain.i3d", text);
    game.writeProgramFile("main.lua", R"(
elapsed = 0
function init()
    scene = loadI3DFile("scenes/terrain.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    land = getChild(scene, "land")
end
function update(dt)
    elapsed = elapsed + dt
    if elapsed > 2500 and not done then
        done = true
        for _, name in ipairs({"west", "east"}) do
            local x, y, z = getWorldTranslation(getChild(scene, name))
            print(string.format("rest %s %.3f %.3f", name, y, getTerrainHeightAtWorldPos(land, x, 0, z)))
        end
        requestExit()
    end
end
)");
    auto result = game.run({"-script", "main.lua"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_EQ(log.find("Physics: land failed"), std::string::npos) << log;
    for (const char* name : {"west", "east"}) {
        const size_t at = log.find(std::string("rest ") + name + " ");
        ASSERT_NE(at, std::string::npos) << log;
        float y = 0;
        float ground = 0;
        ASSERT_EQ(std::sscanf(log.c_str() + at + 6 + std::strlen(name), "%f %f", &y, &ground), 2);
        // The cube's centre lies half a side to a bit under a diagonal above
        // the ground below it, whichever way it came to rest.
        EXPECT_GT(y, ground + 0.3f) << name << " " << log;
        EXPECT_LT(y, ground + 1.0f) << name << " " << log;
    }
}

// The terrain receives shadows: a floating crate under a shadow-casting sun
// straight above darkens the slope below it, not the slope beside it.
TEST_F(TerrainRendering, ShadowOfACrateFallsOnTheTerrain) {
    std::string text = scene(200, 300);
    auto replace = [&text](const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    replace("<Scene>", "<Materials><Material name=\"m\"/></Materials><Shapes>" + cubeMesh(2.0f) +
                           "</Shapes><Scene>");
    replace(
        R"(<Light name="sun" type="directional" rotation="-90 0 45" diffuseColor="0.6 0.6 0.6"/>)",
        R"(<Light name="sun" type="directional" rotation="-90 0 0" diffuseColor="0.8 0.8 0.8"
                castShadowMap="true" shadowFarDistance="200"/>
               <Shape name="crate" ref="cube" castsShadows="true" translation="-16 20 8"/>)");
    game.writeProgramFile("scenes/terrain.i3d", text);
    const std::string shot = game.userDataFolder() + "terrain-shadow.bmp";
    game.writeProgramFile("main.lua", "SHOT = \"" + shot + "\"\n" + R"(
frames = 0
function init()
    setShadowQuality(1)
    scene = loadI3DFile("scenes/terrain.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    land = getChild(scene, "land")
end
function draw()
    frames = frames + 1
    if frames == 3 then
        for _, p in ipairs({{"under", -16, 8}, {"beside", -16, -4}}) do
            local y = getTerrainHeightAtWorldPos(land, p[2], 0, p[3])
            local x, sy = project(p[2], y, p[3])
            print(string.format("probe %s %.4f %.4f", p[1], x, sy))
        end
        saveScreenshot(SHOT)
    end
    if frames == 4 then requestExit() end
end
)");
    auto result = game.run({"-script", "main.lua"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("0 keys failed"), std::string::npos) << log;
    const Bitmap image = readBmp(readFile(shot));
    ASSERT_GT(image.width, 0) << log;
    std::map<std::string, Probe> probes = readProbes(log, image);
    ASSERT_EQ(probes.size(), 2u) << log;
    const uint8_t* under = image.at(probes["under"].x, probes["under"].y);
    const uint8_t* beside = image.at(probes["beside"].x, probes["beside"].y);
    // The red detail layer: lit beside the shadow, dark under it.
    EXPECT_GT(beside[0], under[0] + 60) << int(beside[0]) << " " << int(under[0]);
}
