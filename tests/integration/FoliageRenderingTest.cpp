// A flat terrain with a foliage layer whose density map plants the half of
// the terrain west of x = 0. Seen from above, green grass stands on the
// west side only; the east side shows the grey ground. A second run clears
// the west side from the script and paints the east side instead.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"
#include "PngMaker.h"

namespace {

using testsupport::readFile;

// An 8-bit grey TGA of size x size from `value` (column, row).
std::string greyTga(int size, const std::function<int(int, int)>& value) {
    std::string file(18, '\0');
    file[2] = 3;
    file[12] = static_cast<char>(size & 0xFF);
    file[13] = static_cast<char>(size >> 8);
    file[14] = static_cast<char>(size & 0xFF);
    file[15] = static_cast<char>(size >> 8);
    file[16] = 8;
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            file += static_cast<char>(value(col, row));
        }
    }
    return file;
}

const char* kScene = R"(<?xml version="1.0"?>
<i3D name="foliageScene" version="1.5">
  <Files>
    <File name="hm" filename="heights.png"/>
    <File name="grey" filename="grey.tga"/>
    <File name="all" filename="all.tga"/>
    <File name="grassTex" filename="green.tga"/>
    <File name="density" filename="density.tga"/>
  </Files>
  <Materials>
    <Material name="grass" ambientColor="1 1 1"><Texture file="grassTex"/></Material>
  </Materials>
  <Scene>
    <TerrainTransformGroup name="land" heightMap="hm" patchSize="17" heightScale="655.35"
        unitsPerPixel="1" maxLODDistance="60" lodTextureSize="64" lodBlendStart="300"
        lodBlendEnd="400">
      <Layers>
        <Layer detailMap="grey" unitSize="4" weightMap="all"/>
        <FoliageLayer name="grassLayer" densityMap="density" material="grass" cellSize="16"
            numBlocksPerUnit="1" width="1.5" height="3" viewDistance="90"/>
      </Layers>
    </TerrainTransformGroup>
    <Light name="sun" type="directional" rotation="-90 0 0" diffuseColor="0.5 0.5 0.5"/>
    <TransformGroup name="rig" translation="0 45 40">
      <Camera name="cam" rotation="-45 0 0" fov="60" nearClip="0.5" farClip="500"/>
    </TransformGroup>
  </Scene>
</i3D>
)";

// EDIT runs once on the second frame with the foliage node as `grass`.
const char* kScript = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/foliage.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    setAmbientColor(1, 1, 1)
    land = getChild(scene, "land")
    grass = getChild(land, "grassLayer")
    print(string.format("foliage %s %d", getName(grass), getDensityRegion(grass, 0, 0, 64, 64, 0)))
end
probes = {{"west", -16, 8}, {"east", 16, 8}}
function draw()
    frames = frames + 1
    if frames == 2 then EDIT() end
    if frames == 5 then
        for _, p in ipairs(probes) do
            local x, sy = project(p[2], 0, p[3])
            print(string.format("probe %s %.4f %.4f", p[1], x, sy))
        end
        saveScreenshot(SHOT)
    end
    if frames == 6 then requestExit() end
end
)";

class FoliageRendering : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file :
             {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
              "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
            game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
        }
        game.writeProgramFile("scenes/heights.png",
                              testpng::makePng(65, 65, 16, 0, std::string(65 * 65 * 2, '\0')));
        game.writeProgramFile("scenes/grey.tga", plainTga(90, 90, 90));
        game.writeProgramFile("scenes/green.tga", plainTga(40, 230, 40));
        game.writeProgramFile("scenes/all.tga", greyTga(64, [](int, int) { return 255; }));
        game.writeProgramFile("scenes/density.tga",
                              greyTga(64, [](int col, int) { return col < 32 ? 1 : 0; }));
        game.writeProgramFile("scenes/foliage.i3d", kScene);
    }

    std::string run(const std::string& edit, const std::string& shot, Bitmap& image,
                    std::map<std::string, Probe>& probes, const char* script = kScript) {
        game.writeProgramFile(
            "main.lua", "SHOT = \"" + shot + "\"\nfunction EDIT()\n" + edit + "\nend\n" + script);
        auto result = game.run({"-script", "main.lua"});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        const std::string log = readFile(game.userFolder() + "game.log");
        image = readBmp(readFile(shot));
        // FOLIAGE_SCREENSHOTS=folder/ keeps the screenshots.
        if (const char* keep = std::getenv("FOLIAGE_SCREENSHOTS")) {
            testsupport::writeFile(keep + shot.substr(shot.rfind('/') + 1), readFile(shot));
        }
        probes = readProbes(log, image);
        return log;
    }

    static bool green(const uint8_t* c) { return c[1] > 150 && c[0] < 100 && c[2] < 100; }
    static std::string text(const uint8_t* c) {
        return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
    }

    GameRunner game;
};

TEST_F(FoliageRendering, GrassOnlyWhereChannelZeroIsSet) {
    Bitmap image;
    std::map<std::string, Probe> probes;
    const std::string shot = game.userDataFolder() + "foliage.bmp";
    std::string log = run("", shot, image, probes);
    ASSERT_GT(image.width, 0) << log;
    EXPECT_NE(log.find("foliage grassLayer 2048"), std::string::npos) << log;
    EXPECT_NE(log.find("0 keys failed"), std::string::npos) << log;
    ASSERT_EQ(probes.size(), 2u) << log;
    const uint8_t* west = image.at(probes["west"].x, probes["west"].y);
    const uint8_t* east = image.at(probes["east"].x, probes["east"].y);
    EXPECT_TRUE(green(west)) << text(west);
    EXPECT_FALSE(green(east)) << text(east);

    // Cleared in the west and painted in the east by the script: the grass
    // moves with the map.
    const std::string moved = game.userDataFolder() + "foliage-moved.bmp";
    probes.clear();
    log =
        run("setDensityParallelogram(grass, -32, -32, 32, 0, 0, 64, 0, 0)\n"
            "setDensityParallelogram(grass, 0, -32, 32, 0, 0, 64, 0, 1)",
            moved, image, probes);
    ASSERT_EQ(probes.size(), 2u) << log;
    west = image.at(probes["west"].x, probes["west"].y);
    east = image.at(probes["east"].x, probes["east"].y);
    EXPECT_FALSE(green(west)) << text(west);
    EXPECT_TRUE(green(east)) << text(east);
}

// A detail layer instead of the foliage: channel 0 set in the west quarter
// and channel 1 in the east quarter of its map, nothing in between. Its
// custom shader paints channel 0 red and channel 1 blue and drops what no
// channel of the cell's density texture covers, so the surface shows red in
// the west, the grey ground in the middle and blue in the east. (The code
// with preprocessor lines stands in CDATA, which keeps its line breaks.)
const char* kDetailShader = R"(<CustomShader>
  <LodLevel startDistance="0">
    <Textures><Texture name="densityMap"/></Textures>
    <CodeInjections>
      <CodeInjection position="HAS_TEXTURES">#define _HAS_TEXTURES</CodeInjection>
      <CodeInjection position="NUM_TEXCOORDS">#defeval DENSITY_TEXCOORD NEXT_TEXCOORD</CodeInjection>
      <CodeInjection position="POST_SET_TEXCOORDS_VS">setTexCoords(Out.texCoords[DENSITY_TEXCOORD/2], DENSITY_TEXCOORD, getTexCoords(In, ALBEDOMAP_INPUT_TEXCOORD)/32767.0);</CodeInjection>
      <CodeInjection position="SAMPLERS">uniform sampler2D densityMap : TEXUNITN;</CodeInjection>
      <CodeInjection position="POST_ALBEDO_FS"><![CDATA[
float4 density = tex2D(In.samplers.densityMap, getTexCoords(In, globals, DENSITY_TEXCOORD).xy);
float3 channelColour = float3(0, 0, 0);
float cover = 0;
#ifdef TERRAIN_DETAIL_CHANNEL_1
channelColour += float3(1, 0, 0) * density.r;
cover += density.r;
#endif
#ifdef TERRAIN_DETAIL_CHANNEL_2
channelColour += float3(0, 0, 1) * density.g;
cover += density.g;
#endif
clip(cover - 0.5);
albedo.rgb = channelColour;
]]>      </CodeInjection>
    </CodeInjections>
  </LodLevel>
</CustomShader>)";

const char* kDetailScript = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/detail.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    setAmbientColor(1, 1, 1)
end
probes = {{"west", -24, 8}, {"middle", 0, 8}, {"east", 24, 8}}
function draw()
    frames = frames + 1
    if frames == 4 then
        for _, p in ipairs(probes) do
            local x, sy = project(p[2], 0, p[3])
            print(string.format("probe %s %.4f %.4f", p[1], x, sy))
        end
        saveScreenshot(SHOT)
    end
    if frames == 5 then requestExit() end
end
)";

TEST_F(FoliageRendering, DetailSurfaceOnlyWhereItsChannelsAreSet) {
    std::string scene = kScene;
    auto replace = [&scene](const std::string& from, const std::string& to) {
        const size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        scene.replace(at, from.size(), to);
    };
    replace(R"(<File name="density" filename="density.tga"/>)",
            R"(<File name="density" filename="detaildensity.tga"/>
    <File name="detailShader" filename="detail.xml"/>)");
    replace(R"(<Material name="grass" ambientColor="1 1 1"><Texture file="grassTex"/></Material>)",
            R"(<Material name="paint" ambientColor="1 1 1" customShader="detailShader"/>)");
    const size_t from = scene.find("<FoliageLayer");
    const size_t to = scene.find("/>", from) + 2;
    scene.replace(from, to - from,
                  R"(<DetailLayer name="paintLayer" densityMap="density" material="paint"
            cellSize="16" viewDistance="90" numDensityMapChannels="2"
            densityMapShaderName="densityMap" terrainOffset="0.1"/>)");
    game.writeProgramFile("scenes/detail.i3d", scene);
    game.writeProgramFile("scenes/detail.xml", kDetailShader);
    game.writeProgramFile("scenes/detaildensity.tga", greyTga(64, [](int col, int) {
                              return col < 16 ? 1 : (col >= 48 ? 2 : 0);
                          }));
    Bitmap image;
    std::map<std::string, Probe> probes;
    const std::string shot = game.userDataFolder() + "detail.bmp";
    const std::string log = run("", shot, image, probes, kDetailScript);
    ASSERT_GT(image.width, 0) << log;
    EXPECT_NE(log.find("0 keys failed"), std::string::npos) << log;
    ASSERT_EQ(probes.size(), 3u) << log;
    const uint8_t* west = image.at(probes["west"].x, probes["west"].y);
    const uint8_t* middle = image.at(probes["middle"].x, probes["middle"].y);
    const uint8_t* east = image.at(probes["east"].x, probes["east"].y);
    EXPECT_TRUE(west[0] > 200 && west[1] < 60 && west[2] < 60) << text(west);
    EXPECT_TRUE(east[2] > 200 && east[0] < 60 && east[1] < 60) << text(east);
    // The grey ground between them.
    EXPECT_TRUE(std::abs(middle[0] - middle[2]) < 30 && middle[0] > 40) << text(middle);
}

// The density and foliage script functions on the same scene, without
// drawing: results are printed to the log.
TEST_F(FoliageRendering, ScriptFunctions) {
    game.writeProgramFile("main.lua", R"(
function init()
    scene = loadI3DFile("scenes/foliage.i3d")
    link(getRootNode(), scene)
    land = getChild(scene, "land")
    grass = getChild(land, "grassLayer")
    math.randomseed(7)
    r1 = math.random(1000000)
    local c = FoliageConstructor:new()
    print("map " .. tostring(c:setDensityMap("scenes/density.tga")))
    c:setCellSize(12, 1)
    c:setCellSize(8, 2)
    c:setFoliageSize(1, 2, 0.1)
    c:setPlantThreshold(0.5)
    print("bad terrain " .. tostring(c:finalize("more", grass)))
    local more = c:finalize("more", land)
    print("more " .. getName(more) .. " " .. getDensityRegion(more, 0, 0, 64, 64, 0))
    setEnableGrowth(more, false)
    print("count " .. getDensityParallelogram(grass, -16, -16, 8, 0, 0, 8, 0))
    print("set " .. setDensityParallelogram(grass, -16, -16, 8, 0, 0, 8, -1, 0))
    print("masked " .. setDensityMaskedParallelogram(grass, -32, -32, 64, 0, 0, 64, 0, more, 0, 1))
    print("bad mask " .. setDensityMaskedParallelogram(grass, -32, -32, 64, 0, 0, 64, 0, land, 0, 1))
    print("world " .. getDensityRegionWorld(grass, -32, -32, 64, 64, 0))
    print("file " .. getDensityMapFileName(grass))
    print("saved " .. tostring(saveDensityMapToFile(grass, "maps/grass.png")))
    print("escape " .. tostring(saveDensityMapToFile(grass, "../grass.png")))
    math.randomseed(7)
    print("random " .. tostring(math.random(1000000) == r1))
    requestExit()
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    for (const char* line :
         {"map true", "Error: Foliage::setCellSize: cell size must be power of 2",
          "is not a terrain", "bad terrain nil", "more more 2048", "count 64", "set 64",
          "masked 64", "is not a TerrainDetailTransformGroup", "bad mask 0", "world 2048",
          "file density.tga", "saved true", "escape false", "random true"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    EXPECT_TRUE(testsupport::fileExists(game.userFolder() + "maps/grass.png"));
}

}  // namespace
