// A script loads a scene with a textured box on a plane, a directional
// light and a camera; the frame is drawn with the generated shaders and
// probed where the script projected the faces. A second start on the same
// per-user folder reads every program from the shader cache.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

// Box from (-1, 0, -1) to (1, 2, 1) with a normal and texture coordinates
// per face corner; a plane just below y = 0. The light points down and
// towards -z, so the top and the +z face are lit and the +x face is not.
const char* kScene = R"(<?xml version="1.0"?>
<i3D name="boxScene" version="1.5">
  <Files><File name="tex" filename="red.tga"/></Files>
  <Materials>
    <Material name="boxPaint"><Texture file="tex"/></Material>
    <Material name="ground" ambientColor="1 1 1"/>
  </Materials>
  <Shapes>
    <IndexedFaceSet name="box">
      <Vertices>
        <v c="-1 0 -1"/><v c="1 0 -1"/><v c="1 2 -1"/><v c="-1 2 -1"/>
        <v c="-1 0 1"/><v c="1 0 1"/><v c="1 2 1"/><v c="-1 2 1"/>
      </Vertices>
      <Faces shaderlist="boxPaint">
        <f vi="4 5 6 7" n="0 0 1 0 0 1 0 0 1 0 0 1" t0="0 0 1 0 1 1 0 1"/>
        <f vi="1 0 3 2" n="0 0 -1 0 0 -1 0 0 -1 0 0 -1" t0="0 0 1 0 1 1 0 1"/>
        <f vi="5 1 2 6" n="1 0 0 1 0 0 1 0 0 1 0 0" t0="0 0 1 0 1 1 0 1"/>
        <f vi="0 4 7 3" n="-1 0 0 -1 0 0 -1 0 0 -1 0 0" t0="0 0 1 0 1 1 0 1"/>
        <f vi="7 6 2 3" n="0 1 0 0 1 0 0 1 0 0 1 0" t0="0 0 1 0 1 1 0 1"/>
        <f vi="0 1 5 4" n="0 -1 0 0 -1 0 0 -1 0 0 -1 0" t0="0 0 1 0 1 1 0 1"/>
      </Faces>
    </IndexedFaceSet>
    <IndexedFaceSet name="plane">
      <Vertices><v c="-6 -0.01 -6"/><v c="6 -0.01 -6"/><v c="6 -0.01 6"/><v c="-6 -0.01 6"/></Vertices>
      <Faces shaderlist="ground"><f vi="3 2 1 0" n="0 1 0 0 1 0 0 1 0 0 1 0"/></Faces>
    </IndexedFaceSet>
  </Shapes>
  <Scene>
    <Shape name="ground" ref="plane"/>
    <Shape name="crate" ref="box"/>
    <Light name="sun" type="directional" rotation="-60 0 0" diffuseColor="1 1 0.5"/>
    <TransformGroup name="rig" translation="4 3 6" rotation="0 33.7 0">
      <Camera name="cam" rotation="-22.6 0 0" fov="60" nearClip="0.5" farClip="100"/>
    </TransformGroup>
  </Scene>
</i3D>
)";

// Prints "probe NAME x y" with window coordinates 0..1 of each point.
const char* kScript = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/box.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
end
probes = {
    {"front", 0, 1, 1}, {"side", 1, 1, 0}, {"top", 0, 2, 0}, {"ground", -3, 0, 3},
}
function draw()
    frames = frames + 1
    if frames == 2 then
        for _, p in ipairs(probes) do
            local x, y = project(p[2], p[3], p[4])
            print(string.format("probe %s %.4f %.4f", p[1], x, y))
        end
        saveScreenshot(SHOT)
    end
    if frames == 3 then requestExit() end
end
)";

class SceneRendering : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* file :
             {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
              "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
            game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
        }
        game.writeProgramFile("scenes/box.i3d", kScene);
        game.writeProgramFile("scenes/red.tga", plainTga(255, 0, 0));
    }

    // Runs the script, returns the log; the screenshot lands in `shot`.
    std::string run(const std::string& script, const std::string& shot) {
        game.writeProgramFile("main.lua", "SHOT = \"" + shot + "\"\n" + script);
        auto result = game.run({"-script", "main.lua"});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return readFile(game.userFolder() + "game.log");
    }

    GameRunner game;
};

TEST_F(SceneRendering, LitTexturedBoxAndWarmStartFromTheCache) {
    const std::string coldShot = game.userDataFolder() + "cold.bmp";
    std::string log = run(kScript, coldShot);
    // Two keys (textured box, plain ground), two stages each.
    EXPECT_NE(log.find("Shaders: 4 compiled, 0 read from the cache, 0 keys failed\n"),
              std::string::npos)
        << log;
    Bitmap image = readBmp(readFile(coldShot));
    ASSERT_GT(image.width, 0) << log;
    std::map<std::string, Probe> probes = readProbes(log, image);
    ASSERT_EQ(probes.size(), 4u) << log;
    auto pixel = [&image](const Probe& p) {
        const uint8_t* c = image.at(p.x, p.y);
        return std::string("(") + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
               std::to_string(c[2]) + ")";
    };
    const uint8_t* front = image.at(probes["front"].x, probes["front"].y);
    const uint8_t* side = image.at(probes["side"].x, probes["side"].y);
    const uint8_t* top = image.at(probes["top"].x, probes["top"].y);
    const uint8_t* ground = image.at(probes["ground"].x, probes["ground"].y);
    // The texture is red: the box faces carry no green or blue.
    for (const uint8_t* c : {front, side, top}) {
        EXPECT_LT(c[1], 20) << pixel(probes["front"]) << pixel(probes["side"]);
        EXPECT_LT(c[2], 20);
    }
    // Lit: ambient 0.2 plus the light's 0.5 on the front, 0.87 on top; the
    // side faces away from the light and keeps the ambient only.
    EXPECT_NEAR(front[0], 0.7 * 255, 20) << pixel(probes["front"]);
    EXPECT_GT(top[0], 240) << pixel(probes["top"]);
    EXPECT_NEAR(side[0], 0.2 * 255, 15) << pixel(probes["side"]);
    // The white ground shows the light's colour (1, 1, 0.5).
    EXPECT_GT(ground[0], 240) << pixel(probes["ground"]);
    EXPECT_GT(ground[1], 240);
    EXPECT_NEAR(ground[2], (0.2 + 0.5 * 0.866) * 255, 20) << pixel(probes["ground"]);

    const std::string warmShot = game.userDataFolder() + "warm.bmp";
    log = run(kScript, warmShot);
    EXPECT_NE(log.find("Shaders: 0 compiled, 4 read from the cache, 0 keys failed\n"),
              std::string::npos)
        << log;
    Bitmap warm = readBmp(readFile(warmShot));
    EXPECT_EQ(warm.rgb, image.rgb);
}

// The box's material takes its colour from a custom shader parameter and the
// ground's custom shader does not compile.
TEST_F(SceneRendering, CustomShaderParameterSetsTheColourAndABrokenOneFailsOnce) {
    std::string scene = kScene;
    auto replace = [&scene](const std::string& from, const std::string& to) {
        size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        scene.replace(at, from.size(), to);
    };
    replace(R"(<File name="tex" filename="red.tga"/>)",
            R"(<File name="tex" filename="red.tga"/><File name="paint" filename="paint.xml"/>
               <File name="broken" filename="broken.xml"/>)");
    replace(R"(<Material name="boxPaint"><Texture file="tex"/></Material>)",
            R"(<Material name="boxPaint" customShader="paint"><Texture file="tex"/>
                 <CustomParameter name="colour" value="0 1 0 1"/></Material>)");
    replace(R"(<Material name="ground" ambientColor="1 1 1"/>)",
            R"(<Material name="ground" customShader="broken"/>)");
    game.writeProgramFile("scenes/box.i3d", scene);
    game.writeProgramFile("scenes/paint.xml", R"(<CustomShader>
  <LodLevel startDistance="0">
    <Parameters><Parameter name="colour" target="In.paintColour"/></Parameters>
    <CodeInjections>
      <CodeInjection position="FS_INPUT">uniform float4 paintColour;</CodeInjection>
      <CodeInjection position="POST_ALBEDO_FS">albedo.rgb = In.paintColour.rgb;</CodeInjection>
    </CodeInjections>
  </LodLevel>
</CustomShader>)");
    game.writeProgramFile("scenes/broken.xml", R"(<CustomShader>
  <LodLevel startDistance="0">
    <CodeInjections>
      <CodeInjection position="POST_ALBEDO_FS">albedo = nothingByThatName;</CodeInjection>
    </CodeInjections>
  </LodLevel>
</CustomShader>)");
    std::string script = kScript;
    const std::string exitLine = "if frames == 3 then requestExit() end";
    script.replace(script.find(exitLine), exitLine.size(), R"(
    if frames == 3 then
        setShaderParameter(getChild(scene, "crate"), "colour", 0, 0, 1, 1)
    end
    if frames == 5 then saveScreenshot(SHOT2) end
    if frames == 6 then requestExit() end)");
    const std::string second = game.userDataFolder() + "blue.bmp";
    const std::string first = game.userDataFolder() + "green.bmp";
    std::string log = run("SHOT2 = \"" + second + "\"\n" + script, first);
    EXPECT_EQ(log.find("Error: Failed to load"), std::string::npos) << log;
    Bitmap green = readBmp(readFile(first));
    Bitmap blue = readBmp(readFile(second));
    ASSERT_GT(green.width, 0) << log;
    ASSERT_EQ(blue.width, green.width) << log;
    std::map<std::string, Probe> probes = readProbes(log, green);
    ASSERT_EQ(probes.size(), 4u) << log;
    const Probe top = probes["top"];
    const uint8_t* before = green.at(top.x, top.y);
    const uint8_t* after = blue.at(top.x, top.y);
    EXPECT_LT(before[0], 20);
    EXPECT_GT(before[1], 240);
    EXPECT_LT(before[2], 20);
    // Blue under the light's (1, 1, 0.5): ambient 0.2 plus 0.5 × 0.87.
    EXPECT_LT(after[0], 20);
    EXPECT_LT(after[1], 20);
    EXPECT_NEAR(after[2], (0.2 + 0.5 * 0.866) * 255, 20);
    // The ground is not drawn; its key failed once over six frames (the box's
    // two stages and the broken vertex stage were compiled).
    const uint8_t* ground = green.at(probes["ground"].x, probes["ground"].y);
    EXPECT_EQ(ground[0] + ground[1] + ground[2], 0);
    EXPECT_NE(log.find("Shaders: 3 compiled, 0 read from the cache, 1 keys failed\n"),
              std::string::npos)
        << log;
    size_t failures = 0;
    for (size_t at = log.find("Error: failed to build the shaders"); at != std::string::npos;
         at = log.find("Error: failed to build the shaders", at + 1)) {
        ++failures;
    }
    EXPECT_EQ(failures, 1u) << log;
    size_t errorFiles = 0;
    for (const char* stage : {"vs", "fs"}) {
        const std::string name = std::string("error_") + stage + "_";
        errorFiles += log.find(game.userFolder() + "shader_cache/" + name) != std::string::npos;
    }
    EXPECT_EQ(errorFiles, 1u) << log;
}

}  // namespace

// The light throws a shadow map: the crate darkens the ground beside it
// where it blocks the light, until the script sets the shadow quality to 0.
TEST_F(SceneRendering, ShadowMapDarkensTheGroundUntilShadowQualityZero) {
    std::string scene = kScene;
    auto replace = [&scene](const std::string& from, const std::string& to) {
        size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        scene.replace(at, from.size(), to);
    };
    replace(R"(<Shape name="ground" ref="plane"/>)",
            R"(<Shape name="ground" ref="plane" receiveShadows="true"/>)");
    replace(R"(<Shape name="crate" ref="box"/>)",
            R"(<Shape name="crate" ref="box" castsShadows="true"/>)");
    // Pointing down and towards +x: the shadow falls on x from 1 to 2.15.
    replace(R"(<Light name="sun" type="directional" rotation="-60 0 0" diffuseColor="1 1 0.5"/>)",
            R"(<Light name="sun" type="directional" rotation="-60 -90 0" castShadowMap="true"
                      depthMapResolution="0" shadowFarDistance="20"/>)");
    game.writeProgramFile("scenes/box.i3d", scene);
    const std::string script = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/box.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    setShadowQuality(1)
end
function draw()
    frames = frames + 1
    if frames == 2 then
        for _, p in ipairs({{"shadow", 1.6, 0, 0.3}, {"lit", -3, 0, 3}}) do
            local x, y = project(p[2], p[3], p[4])
            print(string.format("probe %s %.4f %.4f", p[1], x, y))
        end
        saveScreenshot(SHOT)
        setShadowQuality(0)
    end
    if frames == 4 then saveScreenshot(SHOT2) end
    if frames == 5 then requestExit() end
end
)";
    const std::string shot = game.userDataFolder() + "shadow.bmp";
    const std::string unshadowedShot = game.userDataFolder() + "no-shadow.bmp";
    const std::string log = run("SHOT2 = \"" + unshadowedShot + "\"\n" + script, shot);
    const Bitmap image = readBmp(readFile(shot));
    const Bitmap unshadowed = readBmp(readFile(unshadowedShot));
    ASSERT_GT(image.width, 0) << log;
    ASSERT_EQ(unshadowed.width, image.width) << log;
    std::map<std::string, Probe> probes = readProbes(log, image);
    ASSERT_EQ(probes.size(), 2u) << log;
    const Probe& shadow = probes["shadow"];
    const Probe& lit = probes["lit"];
    // Ambient 0.2 in the shadow; ambient and the light's 0.87 beside it.
    EXPECT_NEAR(image.at(shadow.x, shadow.y)[0], 0.2 * 255, 15);
    EXPECT_GT(image.at(lit.x, lit.y)[0], 240);
    EXPECT_GT(unshadowed.at(shadow.x, shadow.y)[0], 240);
}
