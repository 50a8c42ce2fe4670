// Models converted by i3dimport load in the running game: the node
// transforms arrive as the model gave them, the textured cube is drawn from
// the model's own camera, and colours that only the materials give show in
// the frame whatever format carried them.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "AssimpExport.h"
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

// The coloured models as written here (glTF) and as the model library's own
// writers give them again (glTF, Collada, FBX), each drawn in a frame of its
// own, lit by a white ambient light only: the red box, the half-transparent
// glowing cube in front of its right half, the green skinned strip. (Each
// scene stays where it was loaded: a skin is bound relative to the frame its
// bones had then.)
const char* kColoursScript = R"(
frames = 0
scenes = {}
function init()
    setAmbientColor(1, 1, 1)
    local camera = createCamera("eye", 60, 0.1, 100)
    link(getRootNode(), camera)
    setTranslation(camera, 0.3, 0, 7)
    setCamera(camera)
    print("loading models")
    for i, name in ipairs(FORMATS) do
        scenes[i] = loadI3DFile("scenes/" .. name .. ".i3d")
        link(getRootNode(), scenes[i])
    end
    print("models loaded")
end
function probe(name, what, x, y, z)
    local px, py = project(x, y, z)
    print(string.format("probe %s %s %.4f %.4f", name, what, px, py))
end
function draw()
    frames = frames + 1
    -- Frame 2 draws the first scene alone, frame 3 the second, and so on.
    local shown = frames - 1
    for i = 1, #FORMATS do
        setVisibility(scenes[i], i == shown + 1)
    end
    local name = FORMATS[shown]
    if name then
        probe(name, "box", -1.3, 0, 0.5)
        probe(name, "overlap", -0.7, 0, 0.5)
        probe(name, "glass", -0.2, 0, 1.5)
        probe(name, "strip", 1.5, 0.5, 0)
        saveScreenshot(SHOT .. name .. ".bmp")
        if PNG_SHOT then saveScreenshot(PNG_SHOT .. name .. ".png") end
    end
    if frames == #FORMATS + 2 then requestExit() end
end
)";

TEST(SceneImport, MaterialColoursShowWhateverFormatCarriedThem) {
    GameRunner game;
    game.writeSharedShaders();
    testsupport::TempDir models;
    testsupport::writeColouredModels(models.path(), "colours");
    struct Format {
        const char* name;
        const char* exporter;  // none: the file as written here
        const char* file;
    };
    const Format formats[] = {{"gltf", nullptr, "colours.gltf"},
                              {"gltf_export", "gltf2", "exported.gltf"},
                              {"collada", "collada", "colours.dae"},
                              {"fbx", "fbxa", "colours.fbx"}};
    std::string names;
    for (const Format& f : formats) {
        std::string error;
        if (f.exporter != nullptr) {
            ASSERT_TRUE(testsupport::exportModel(models / "colours.gltf", models / f.file,
                                                 f.exporter, false, error))
                << f.name << ": " << error;
        }
        auto run = testsupport::runProgram({I3DIMPORT_EXECUTABLE, models / f.file,
                                            game.programFolder() + "scenes/" + f.name + ".i3d"},
                                           models.path(), {});
        ASSERT_EQ(run.exitCode, 0) << f.name << ": " << run.output;
        names += std::string(names.empty() ? "" : ", ") + "\"" + f.name + "\"";
    }
    const std::string shots = game.userDataFolder() + "colours_";
    // SCENE_IMPORT_SHOT names the start of PNG files ("<start><format>.png")
    // to keep the frames for a look.
    const char* keep = std::getenv("SCENE_IMPORT_SHOT");
    game.writeProgramFile(
        "main.lua", "SHOT = \"" + shots + "\"\n" +
                        (keep ? "PNG_SHOT = \"" + std::string(keep) + "\"\n" : "") + "FORMATS = {" +
                        names + "}\n" + kColoursScript);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    const size_t begin = log.find("loading models\n");
    ASSERT_NE(begin, std::string::npos) << log;
    const std::string loading = log.substr(begin, log.find("models loaded") - begin);
    for (const char* bad : {"Error", "not found", "Warning"}) {
        EXPECT_EQ(loading.find(bad), std::string::npos) << bad << "\n" << loading;
    }

    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        const Bitmap image = readBmp(readFile(shots + f.name + ".bmp"));
        ASSERT_GT(image.width, 0) << log;
        auto colour = [&](const char* what) {
            float x = 0, y = 0;
            const std::string key = std::string("probe ") + f.name + " " + what + " ";
            const size_t at = log.find(key);
            if (at == std::string::npos ||
                std::sscanf(log.c_str() + at + key.size(), "%f %f", &x, &y) != 2) {
                ADD_FAILURE() << "no " << key << "\n" << log;
                return std::array<int, 3>{0, 0, 0};
            }
            const uint8_t* c =
                image.at(static_cast<int>(x * image.width), static_cast<int>(y * image.height));
            return std::array<int, 3>{c[0], c[1], c[2]};
        };
        auto show = [](const std::array<int, 3>& c) {
            return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
        };
        // Red (1, 0, 0) and green (0, 1, 0) under white light.
        const auto box = colour("box");
        EXPECT_GT(box[0], 220) << show(box);
        EXPECT_LT(box[1] + box[2], 30) << show(box);
        const auto strip = colour("strip");
        EXPECT_GT(strip[1], 220) << show(strip);
        EXPECT_LT(strip[0] + strip[2], 30) << show(strip);
        // The glass lets some of what lies behind through: over black it is
        // dimmer than its own colour, over the box the red shows. Its glow
        // adds green: lit alone, (0.2, 0.2, 1) would have a fifth as much
        // green as blue, glowing (0.2, 0.8, 1) four fifths.
        const auto glass = colour("glass");
        EXPECT_GT(glass[2], 25) << show(glass);
        EXPECT_LT(glass[2], 200) << show(glass);
        EXPECT_GT(glass[1], glass[2] / 2) << show(glass);
        EXPECT_LT(glass[0], glass[2]) << show(glass);
        const auto overlap = colour("overlap");
        EXPECT_GT(overlap[0], glass[0] + 60) << show(overlap);
        EXPECT_LT(overlap[0], 240) << show(overlap);
        EXPECT_GT(overlap[1], overlap[2] / 2) << show(overlap);
        EXPECT_GT(overlap[2], 25) << show(overlap);
    }
}

}  // namespace
