// The first-game guide (docs/first-game.md) works as written: its shell
// snippets run in order from an empty folder (with $ENGINE the build's
// program folder), its file snippets ("lua file=PATH") are written into the
// game folder, and the game they make runs offscreen, logs what its script
// prints and saves its screenshot. A second run drives the guide's own
// entry points with an arrow key and checks that the crate's body moves,
// the push is heard and the crate is drawn where it went.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "ModelFiles.h"
#include "SoundTestFiles.h"
#include "TestSupport.h"

namespace {

using testsupport::readFile;

struct Snippet {
    std::string language;
    std::string file;  // empty: a shell snippet to run
    std::string text;
};

// The fenced code blocks in document order.
std::vector<Snippet> snippetsOf(const std::string& markdown) {
    std::vector<Snippet> snippets;
    std::istringstream lines(markdown);
    std::string line;
    Snippet* open = nullptr;
    while (std::getline(lines, line)) {
        if (line.rfind("```", 0) == 0) {
            if (open != nullptr) {
                open = nullptr;
                continue;
            }
            Snippet& snippet = snippets.emplace_back();
            std::istringstream info(line.substr(3));
            info >> snippet.language;
            std::string word;
            while (info >> word) {
                if (word.rfind("file=", 0) == 0) {
                    snippet.file = word.substr(5);
                }
            }
            open = &snippet;
        } else if (open != nullptr) {
            open->text += line + "\n";
        }
    }
    return snippets;
}

// The guide's model: a flat box "floor", a box "crate" one unit above it
// with a red texture, the camera "eye" looking down at them and the light
// "sun".
void writeYard(const std::string& folder) {
    testsupport::GltfWriter gltf;
    const std::string cube = testsupport::addGltfCube(gltf);
    std::filesystem::create_directories(folder);
    testsupport::writeFile(folder + "crate.png", testsupport::redPng());
    gltf.write(folder, "yard",
               R"("scene":0,"scenes":[{"nodes":[0,1,2,3]}],
"extensionsUsed":["KHR_lights_punctual"],
"nodes":[{"name":"floor","mesh":0,"translation":[0,-0.25,0],"scale":[12,0.5,12]},
 {"name":"crate","mesh":1,"translation":[0,1,0]},
 {"name":"eye","camera":0,"translation":[0,5,9],"rotation":[-0.25881905,0,0,0.96592583]},
 {"name":"sun","rotation":[-0.5,0.3,0,0.81240384],"extensions":{"KHR_lights_punctual":{"light":0}}}],
"cameras":[{"type":"perspective","perspective":{"yfov":0.9,"aspectRatio":1.333,"znear":0.5,"zfar":100}}],
"extensions":{"KHR_lights_punctual":{"lights":[{"name":"sun","type":"directional","color":[1,1,1]}]}},
"meshes":[{"name":"floorMesh","primitives":[{)" +
                   cube + R"(,"material":0}]},{"name":"crateMesh","primitives":[{)" + cube +
                   R"(,"material":1}]}],
"materials":[{"name":"ground","pbrMetallicRoughness":{"baseColorFactor":[0.25,0.45,0.25,1],"metallicFactor":0}},
 {"name":"wood","pbrMetallicRoughness":{"baseColorTexture":{"index":0},"metallicFactor":0}}],
"textures":[{"source":0}],"images":[{"uri":"crate.png"}])");
}

// Presses the right arrow through the guide's keyEvent for a second, then
// reports where the crate went and where it is drawn.
const char* kPushScript = R"(
source("scripts/main.lua")
local guideUpdate, guideDraw = update, draw
local frames, pushedAt = 0, 0
local crateNode, startX
function update(dt)
    guideUpdate(dt)
    frames = frames + 1
    if frames == 40 then
        crateNode = Scenegraph.findNode(getRootNode(), "crate")
        local x, y, z = getWorldTranslation(crateNode)
        startX = x
        print(string.format("rest %.2f %.2f %.2f", x, y, z))
        keyEvent(0, Input.KEY_RIGHT, 0, true)
        pushedAt = 0
    elseif frames > 40 and pushedAt < 1000 then
        pushedAt = pushedAt + dt
        if pushedAt >= 1000 then
            keyEvent(0, Input.KEY_RIGHT, 0, false)
        end
    end
end
function draw()
    guideDraw()
    if pushedAt >= 1000 and frames > 0 then
        local x, y, z = getWorldTranslation(crateNode)
        local sx, sy = project(x, y, z)
        print(string.format("pushed %.2f %.2f %.2f moved %.2f at %.4f %.4f", x, y, z, x - startX,
            sx, sy))
        saveScreenshot(PUSH_SHOT)
        frames = -1000000
    elseif frames < -999990 then
        requestExit()
    end
end
)";

class FirstGameGuide : public ::testing::Test {
protected:
    void SetUp() override {
        m_engine = std::filesystem::path(GAME_EXECUTABLE).parent_path().string();
        m_game = m_root.path() + "mygame/";
        m_user = m_root.path() + "user/";
        m_mix = m_root.path() + "mix.wav";
        testsupport::writeFile(m_root.path() + "alsoft.conf", soundtest::waveBackendConfig(m_mix));
        // The model the reader brings along.
        writeYard(m_game + "models/");
    }

    std::map<std::string, std::string> environment(const std::string& roundMs) const {
        return {{"ENGINE", m_engine},
                {"XDG_DATA_HOME", m_user},
                {"SDL_VIDEODRIVER", "offscreen"},
                {"DISPLAY", ""},
                {"ROUND_MS", roundMs},
                {"ALSOFT_CONF", m_root.path() + "alsoft.conf"}};
    }

    testsupport::TempDir m_root;
    std::string m_engine;
    std::string m_game;
    std::string m_user;
    std::string m_mix;
};

TEST_F(FirstGameGuide, SnippetsMakeAGameThatRunsPushesTheCrateAndLogs) {
    const std::string guide = readFile(GUIDE_FILE);
    const std::vector<Snippet> snippets = snippetsOf(guide);
    ASSERT_GE(snippets.size(), 8u) << "guide not found or without snippets: " GUIDE_FILE;

    // Everything in document order; the first shell snippet makes the game
    // folder, the later ones run inside it.
    bool first = true;
    bool ranGame = false;
    for (const Snippet& snippet : snippets) {
        if (!snippet.file.empty()) {
            const std::filesystem::path path = m_game + snippet.file;
            std::filesystem::create_directories(path.parent_path());
            testsupport::writeFile(path.string(), readFile(path.string()) + snippet.text);
            continue;
        }
        ASSERT_EQ(snippet.language, "sh") << snippet.text;
        auto result =
            testsupport::runProgram({"/bin/bash", "-euo", "pipefail", "-c", snippet.text},
                                    first ? m_root.path() : m_game, environment("2500"), 120000);
        ASSERT_EQ(result.exitCode, 0) << snippet.text << "\n" << result.output;
        first = false;
        ranGame = ranGame || snippet.text.find("./game ") != std::string::npos;
    }
    ASSERT_TRUE(ranGame) << "no snippet starts the game";

    const std::string log = readFile(m_user + "MyGame/game.log");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.find("Error"), std::string::npos) << log;
    EXPECT_EQ(log.find("Unknown entity id"), std::string::npos) << log;
    EXPECT_NE(log.find(" is Dynamic\n"), std::string::npos) << log;
    EXPECT_NE(log.find("round over, score 0\n"), std::string::npos) << log;
    // The round's screenshot, in the player's folder.
    const std::string shot = readFile(m_user + "MyGame/round.png");
    ASSERT_GT(shot.size(), 100u) << log;
    EXPECT_EQ(shot.compare(1, 3, "PNG"), 0);
    // GUIDE_SHOT names a file that keeps the screenshot for a look (and
    // GUIDE_SHOT.log the log).
    if (const char* keep = std::getenv("GUIDE_SHOT")) {
        testsupport::writeFile(keep, shot);
        testsupport::writeFile(std::string(keep) + ".log", log);
    }

    // The same game with the right arrow held for a second.
    const std::string pushShot = m_root.path() + "push.bmp";
    testsupport::writeFile(m_game + "scripts/pushtest.lua",
                           "PUSH_SHOT = \"" + pushShot + "\"\n" + kPushScript);
    std::filesystem::remove(m_mix);
    auto run = testsupport::runProgram(
        {m_game + "game", "-script", "scripts/pushtest.lua", "-name", "MyGame"}, m_game,
        environment("60000"), 120000);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string pushLog = readFile(m_user + "MyGame/game.log");
    EXPECT_EQ(pushLog.find("Error"), std::string::npos) << pushLog;
    float restX = 0, restY = 0, restZ = 0;
    const size_t rest = pushLog.find("rest ");
    ASSERT_NE(rest, std::string::npos) << pushLog;
    ASSERT_EQ(std::sscanf(pushLog.c_str() + rest, "rest %f %f %f", &restX, &restY, &restZ), 3);
    // The crate fell onto the floor: its centre half a unit above it.
    EXPECT_NEAR(restY, 0.5f, 0.1f) << pushLog;
    float x = 0, y = 0, z = 0, moved = 0, sx = 0, sy = 0;
    const size_t pushed = pushLog.find("pushed ");
    ASSERT_NE(pushed, std::string::npos) << pushLog;
    ASSERT_EQ(std::sscanf(pushLog.c_str() + pushed, "pushed %f %f %f moved %f at %f %f", &x, &y, &z,
                          &moved, &sx, &sy),
              6);
    // Eight units per second squared for a second, less the floor's friction.
    EXPECT_GT(moved, 0.5f) << pushLog;
    EXPECT_NEAR(y, 0.5f, 0.2f) << pushLog;
    EXPECT_NEAR(z, restZ, 0.5f) << pushLog;

    // The crate is drawn in its red where it went.
    const Bitmap image = readBmp(readFile(pushShot));
    ASSERT_GT(image.width, 0) << pushLog;
    ASSERT_TRUE(sx > 0.05f && sx < 0.95f && sy > 0.05f && sy < 0.95f) << pushLog;
    const uint8_t* c =
        image.at(static_cast<int>(sx * image.width), static_cast<int>(sy * image.height));
    EXPECT_GT(c[0], c[1] + 40) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
    EXPECT_GT(c[0], c[2] + 40) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);

    // Both text lines show above the floor, on the black background: the
    // second one ("Crate at ...") needs every queued glyph drawn.
    auto brightInRows = [&](float fromY, float toY) {
        int bright = 0;
        for (int py = int(fromY * image.height); py < int(toY * image.height); ++py) {
            for (int px = int(0.02f * image.width); px < int(0.4f * image.width); ++px) {
                const uint8_t* p = image.at(px, py);
                bright += p[0] > 150 && p[1] > 150 && p[2] > 150 ? 1 : 0;
            }
        }
        return bright;
    };
    EXPECT_GT(brightInRows(0.94f, 0.98f), 40) << "no \"Pushes\" line";
    EXPECT_GT(brightInRows(0.89f, 0.92f), 40) << "no \"Crate at\" line";

    // The push played its sound.
    soundtest::Mix mix;
    ASSERT_TRUE(soundtest::readMix(m_mix, mix)) << pushLog;
    const int16_t loudest =
        mix.samples.empty() ? 0 : *std::max_element(mix.samples.begin(), mix.samples.end());
    EXPECT_GT(loudest, 500) << "the push was not heard";
}

}  // namespace
