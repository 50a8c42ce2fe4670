// Models converted by i3dimport load in the running game: the node
// transforms arrive as the model gave them and the textured cube is drawn
// from the model's own camera.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Writes the shared shaders and the test models into the program folder:
// "scenes/model.i3d" (the textured hierarchy) and "scenes/rig.i3d" (the
// skinned strip), both converted by i3dimport.
void importModels(const GameRunner& game) {
    game.writeSharedShaders();
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
}

TEST(SceneImport, ConvertedModelLoadsWithItsTransformsAndDraws) {
    GameRunner game;
    ASSERT_NO_FATAL_FAILURE(importModels(game));

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

// The imported clip bends the strip's upper bone a quarter turn about Z over
// one second. A script plays it, stopped, at two track times, and the bone
// turns as the clip says; the drawn strip follows: its top half stands above
// the tip at rest and lies to the left of it once bent.
const char* kBendScript = R"(
frames = 0
function init()
    local rig = loadI3DFile("scenes/rig.i3d")
    link(getRootNode(), rig)
    root = getChild(rig, "root")
    tip = getChild(root, "tip")
    set = getAnimCharacterSet(tip)
    print("clips ", getAnimNumOfClips(set), " bend ", getAnimClipIndex(set, "bend"))
    assignAnimTrackClip(set, 0, getAnimClipIndex(set, "bend"))
    setAnimTrackSpeedScale(set, 0, 0)
    setAnimTrackBlendWeight(set, 0, 1)
    local camera = createCamera("eye", 60, 0.1, 100)
    link(getRootNode(), camera)
    setTranslation(camera, 0, 1, 4)
    setCamera(camera)
end
function probe(name, x, y)
    local px, py = project(x, y, 0)
    print(string.format("probe %s %.4f %.4f", name, px, py))
end
function update(dt)
    frames = frames + 1
    local rx, ry, rz = getRotation(tip)
    local x, y, z = getTranslation(tip)
    local state = string.format("%.3f %.3f %.3f t %.3f %.3f %.3f", rx, ry, rz, x, y, z)
    if frames == 2 then
        print("rest " .. state)
        setAnimTrackTime(set, 0, 250)
        enableAnimTrack(set, 0)
    elseif frames == 4 then
        print("at 250 " .. state)
        setAnimTrackTime(set, 0, 1000)
    elseif frames == 6 then
        print("at 1000 " .. state)
        local wx, wy, wz = getWorldTranslation(tip)
        local _, _, rootTurn = getRotation(root)
        print(string.format("tip world %.3f %.3f %.3f root %.3f", wx, wy, wz, rootTurn))
    elseif frames == 7 then
        requestExit()
    end
end
function draw()
    if frames == 1 then
        probe("above", 0, 1.8)
        probe("left", -0.8, 1.0)
        saveScreenshot(REST_SHOT)
    elseif frames == 6 then
        saveScreenshot(BENT_SHOT)
    end
end
)";

TEST(SceneImport, SkinnedModelAnimatesFromAScript) {
    GameRunner game;
    ASSERT_NO_FATAL_FAILURE(importModels(game));
    const std::string rest = game.userDataFolder() + "rest.bmp";
    const std::string bent = game.userDataFolder() + "bent.bmp";
    game.writeProgramFile(
        "main.lua", "REST_SHOT = \"" + rest + "\"\nBENT_SHOT = \"" + bent + "\"\n" + kBendScript);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("clips 1 bend 0\n"), std::string::npos) << log;
    // The clip only turns the bone; it stays one unit above the root.
    for (const char* line : {"rest 0.000 0.000 0.000 t 0.000 1.000 0.000\n",
                             "at 250 0.000 0.000 0.393 t 0.000 1.000 0.000\n",
                             "at 1000 0.000 0.000 1.571 t 0.000 1.000 0.000\n",
                             "tip world 0.000 1.000 0.000 root 0.000\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    }

    // Drawn strip against the black background: brightness at each probe.
    auto brightness = [&](const Bitmap& image, const char* name) {
        float x = 0, y = 0;
        const size_t at = log.find(std::string("probe ") + name + " ");
        if (at == std::string::npos ||
            std::sscanf(log.c_str() + at + 7 + std::strlen(name), "%f %f", &x, &y) != 2) {
            ADD_FAILURE() << "no probe " << name << "\n" << log;
            return 0;
        }
        const uint8_t* c =
            image.at(static_cast<int>(x * image.width), static_cast<int>(y * image.height));
        return c[0] + c[1] + c[2];
    };
    const Bitmap restImage = readBmp(readFile(rest));
    const Bitmap bentImage = readBmp(readFile(bent));
    ASSERT_GT(restImage.width, 0) << log;
    ASSERT_GT(bentImage.width, 0) << log;
    EXPECT_GT(brightness(restImage, "above"), 60);
    EXPECT_LT(brightness(restImage, "left"), 10);
    EXPECT_LT(brightness(bentImage, "above"), 10);
    EXPECT_GT(brightness(bentImage, "left"), 60);
}

}  // namespace
