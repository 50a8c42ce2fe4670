// Models converted by i3dimport load in the running game: the node
// transforms arrive as the model gave them and the textured cube is drawn
// from the model's own camera.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"
#include "ModelFiles.h"

namespace {

using testsupport::readFile;

const char* kScript = R"(
frames = 0
function show(name, node)
    local x, y, z = getTranslation(node)
    local rx, ry, rz = getRotation(node)
    local sx, sy, sz = getScale(node)
    local wx, wy, wz = getWorldTranslation(node)
    print(string.format("node %s t %.3f %.3f %.3f r %.3f %.3f %.3f s %.3f %.3f %.3f w %.3f %.3f %.3f",
        name, x, y, z, rx, ry, rz, sx, sy, sz, wx, wy, wz))
end
function init()
    print("loading models")
    local scene = loadI3DFile("scenes/model.i3d")
    link(getRootNode(), scene)
    local base = getChild(scene, "base")
    show("base", base)
    show("cube", getChild(base, "cube"))
    show("eye", getChild(scene, "eye"))
    setCamera(getChild(scene, "eye"))
    local rig = loadI3DFile("scenes/rig.i3d")
    print("rig loaded ", tostring(rig ~= 0), " children ", getNumOfChildren(rig))
end
function draw()
    frames = frames + 1
    if frames == 2 then
        local x, y = project(1, 3, 3)
        print(string.format("probe %.4f %.4f", x, y))
        saveScreenshot(SHOT)
        if PNG_SHOT then saveScreenshot(PNG_SHOT) end
    end
    if frames == 3 then requestExit() end
end
)";

TEST(SceneImport, ConvertedModelLoadsWithItsTransformsAndDraws) {
    GameRunner game;
    for (const char* file : {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
                             "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
        game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
    }
    testsupport::TempDir models;
    testsupport::writeTexturedHierarchy(models.path(), "model");
    testsupport::writeSkinnedTwoBones(models.path(), "rig");
    const std::string scenes = game.programFolder() + "scenes/";
    for (const char* name : {"model", "rig"}) {
        auto run = testsupport::runProgram(
            {I3DIMPORT_EXECUTABLE, models / (name + std::string(".gltf")), scenes + name + ".i3d"},
            models.path(), {});
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }

    const std::string shot = game.userDataFolder() + "import.bmp";
    // SCENE_IMPORT_SHOT names a PNG file to keep the frame for a look.
    const char* keep = std::getenv("SCENE_IMPORT_SHOT");
    game.writeProgramFile("main.lua",
                          "SHOT = \"" + shot + "\"\n" +
                              (keep ? "PNG_SHOT = \"" + std::string(keep) + "\"\n" : "") + kScript);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");

    // base: (1, 2, 3), a quarter turn about Y; cube: (0, 1, 0) below it,
    // 30 degrees about X, scale 2, so at (1, 3, 3) in the world.
    EXPECT_NE(log.find("node base t 1.000 2.000 3.000 r 0.000 1.571 0.000 s 1.000 1.000 1.000"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("node cube t 0.000 1.000 0.000 r 0.524 0.000 0.000 s 2.000 2.000 2.000 "
                       "w 1.000 3.000 3.000"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("node eye t 1.000 3.000 10.000 r 0.000 0.000 0.000"), std::string::npos)
        << log;
    EXPECT_NE(log.find("rig loaded true children 2"), std::string::npos) << log;
    // Loading logs nothing but the note that animation playback is not
    // part of this engine yet.
    size_t begin = log.find("loading models\n");
    ASSERT_NE(begin, std::string::npos) << log;
    std::string loading = log.substr(begin, log.find("rig loaded") - begin);
    for (const char* bad : {"Error", "not found", "Warning: Shape", "Warning: IndexedFaceSet"}) {
        EXPECT_EQ(loading.find(bad), std::string::npos) << bad << "\n" << loading;
    }

    // The cube's centre shows its red texture.
    Bitmap image = readBmp(readFile(shot));
    ASSERT_GT(image.width, 0) << log;
    float x = 0, y = 0;
    size_t at = log.find("probe ");
    ASSERT_NE(at, std::string::npos) << log;
    ASSERT_EQ(std::sscanf(log.c_str() + at, "probe %f %f", &x, &y), 2);
    const uint8_t* c =
        image.at(static_cast<int>(x * image.width), static_cast<int>(y * image.height));
    EXPECT_GT(c[0], 40) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
    EXPECT_LT(c[1], 20);
    EXPECT_LT(c[2], 20);
}

}  // namespace
