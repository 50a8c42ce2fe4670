// Hot reload with development controls: the game's own script edits files
// on disk while it runs (the reload happens at the start of the frame after
// a change, so the script counts frames rather than time) and the log and
// screenshots show what the following frames did.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

// Writes a file in one piece, or by writing another file and renaming it
// over the first, as many editors save.
const char* kFileHelpers = R"(
function writeFile(path, text)
    local f = assert(io.open(path, "wb"))
    f:write(text)
    f:close()
end
function readFile(path)
    local f = assert(io.open(path, "rb"))
    local text = f:read("*a")
    f:close()
    return text
end
function saveByRename(path, text)
    writeFile(path .. ".swp", text)
    assert(os.rename(path .. ".swp", path))
end
)";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The words the script's "tick" lines logged, in order, with the counter
// each line showed.
struct Tick {
    std::string word;
    int counter = 0;
};

std::vector<Tick> readTicks(const std::string& log) {
    std::vector<Tick> ticks;
    for (size_t at = log.find("tick "); at != std::string::npos; at = log.find("tick ", at + 1)) {
        char word[32];
        int counter = 0;
        if (std::sscanf(log.c_str() + at, "tick %31s %d", word, &counter) == 2) {
            ticks.push_back({word, counter});
        }
    }
    return ticks;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The versions of the edited script. Each keeps its counter in a global and
// names itself in the word its tick returns.
std::string tickScript(const std::string& word) {
    return "counter = counter or 0\n"
           "function tick()\n"
           "    counter = counter + 1\n"
           "    return \"" +
           word +
           "\"\n"
           "end\n";
}

// The driver: every frame logs "tick WORD COUNTER"; at fixed frames it saves
// new versions of scripts/mod.lua: a good one, one that does not compile
// (line 3), one that fails while running (line 4) after resetting the
// counter, and a good one saved by renaming.
const char* kDriver = R"(
source("scripts/mod.lua")
frames = 0
function update(dt)
    frames = frames + 1
    local word = tick()
    print("tick " .. word .. " " .. counter)
    if frames == 5 then writeFile("scripts/mod.lua", V2) end
    if frames == 10 then writeFile("scripts/mod.lua", BROKEN) end
    if frames == 15 then writeFile("scripts/mod.lua", FAILING) end
    if frames == 20 then saveByRename("scripts/mod.lua", V5) end
    if frames == 25 then requestExit() end
end
)";

std::string driverScript() {
    auto literal = [](const std::string& text) { return "[==[" + text + "]==]"; };
    return std::string(kFileHelpers) + "V2 = " + literal(tickScript("two")) + "\n" + "BROKEN = " +
           literal("counter = 0\nfunction tick() return \"broken\" end\nthis is not lua\n") + "\n" +
           "FAILING = " +
           literal(
               "counter = 0\nfunction tick() return \"failing\" end\n\nerror(\"stop here\")\n") +
           "\n" + "V5 = " + literal(tickScript("five")) + "\n" + kDriver;
}

// Runs the driver over the first version of the script; returns the log.
std::string runDriver(const GameRunner& game) {
    game.writeProgramFile("scripts/mod.lua", tickScript("one"));
    game.writeProgramFile("main.lua", driverScript());
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return readFile(game.userFolder() + "game.log");
}

TEST(HotReload, EditedScriptReplacesFunctionsKeepsStateAndSurvivesBrokenVersions) {
    GameRunner game;
    const std::string log = runDriver(game);

    std::vector<Tick> ticks = readTicks(log);
    ASSERT_EQ(ticks.size(), 25u) << log;
    // The counter lives on through every reload, the broken ones included:
    // their "counter = 0" never took effect.
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].counter, static_cast<int>(i) + 1) << log;
    }
    // Frame n + 1 runs the version saved in frame n.
    std::string words;
    for (const Tick& tick : ticks) {
        words += tick.word[0];
    }
    EXPECT_EQ(words, std::string(5, 'o') + std::string(15, 't') + std::string(5, 'f')) << log;

    EXPECT_EQ(countOf(log, "Reloaded scripts/mod.lua\n"), 2u) << log;
    // The errors name the file and the line.
    EXPECT_NE(log.find("scripts/mod.lua\"]:3:"), std::string::npos) << log;
    EXPECT_NE(log.find("scripts/mod.lua\"]:4: stop here"), std::string::npos) << log;
    EXPECT_EQ(countOf(log, "Error: could not reload scripts/mod.lua"), 2u) << log;
}

TEST(HotReload, WithoutDevelopmentControlsNothingIsReloaded) {
    std::string xml = replaced(GameRunner::defaultGameXml(), "<controls>true</controls>",
                               "<controls>false</controls>");
    GameRunner game(xml);
    const std::string log = runDriver(game);

    std::vector<Tick> ticks = readTicks(log);
    ASSERT_EQ(ticks.size(), 25u) << log;
    for (const Tick& tick : ticks) {
        EXPECT_EQ(tick.word, "one") << log;
    }
    EXPECT_EQ(log.find("Reloaded"), std::string::npos) << log;
    EXPECT_EQ(log.find("could not reload"), std::string::npos) << log;
}

// A textured square fills the middle of the view, lit by the ambient colour
// alone, so the frame shows the texture's colour as it is.
const char* kScene = R"(<?xml version="1.0"?>
<i3D name="square" version="1.5">
  <Files><File name="tex" filename="paint.tga"/></Files>
  <Materials><Material name="paint"><Texture file="tex"/></Material></Materials>
  <Shapes>
    <IndexedFaceSet name="square">
      <Vertices><v c="-1 -1 0"/><v c="1 -1 0"/><v c="1 1 0"/><v c="-1 1 0"/></Vertices>
      <Faces shaderlist="paint">
        <f vi="0 1 2 3" n="0 0 1 0 0 1 0 0 1 0 0 1" t0="0 0 1 0 1 1 0 1"/>
      </Faces>
    </IndexedFaceSet>
  </Shapes>
  <Scene>
    <Shape name="square" ref="square"/>
    <Camera name="cam" translation="0 0 3" fov="60" nearClip="0.5" farClip="100"/>
  </Scene>
</i3D>
)";

// Shows the square through the scene's camera and calls step(frame) after
// drawing each frame; probeMiddle logs where the square's middle lies.
const char* kSquareView = R"(
frames = 0
function init()
    scene = loadI3DFile("scenes/square.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(scene, "cam"))
    setAmbientColor(1, 1, 1)
end
function probeMiddle()
    local x, y = project(0, 0, 0)
    print(string.format("probe middle %.4f %.4f", x, y))
end
function draw()
    frames = frames + 1
    step(frames)
end
)";

// Frame 3: the red texture. Frame 4 rewrites the texture blue; frame 7
// shows it. Frame 8 saves the shared source that ends the fragment stage
// with green forced to full; frame 11 shows it. Frame 12 saves that source
// broken; frame 15 shows what is still drawn.
const char* kDrawScript = R"(
function step(frame)
    if frame == 3 then
        probeMiddle()
        saveScreenshot(SHOTS .. "red.bmp")
    end
    if frame == 4 then writeFile("scenes/paint.tga", readFile("blue.tga")) end
    if frame == 7 then saveScreenshot(SHOTS .. "blue.bmp") end
    if frame == 8 then saveByRename(SOURCE, readFile("tinted.cg")) end
    if frame == 11 then saveScreenshot(SHOTS .. "tinted.bmp") end
    if frame == 12 then writeFile(SOURCE, readFile("broken.cg")) end
    if frame == 15 then saveScreenshot(SHOTS .. "kept.bmp") end
    if frame == 16 then requestExit() end
end
)";

TEST(HotReload, RewrittenTextureAndSharedShaderSourceChangeTheFrame) {
    GameRunner game;
    game.writeSharedShaders();
    game.writeProgramFile("scenes/square.i3d", kScene);
    game.writeProgramFile("scenes/paint.tga", plainTga(255, 0, 0));
    game.writeProgramFile("blue.tga", plainTga(0, 0, 255));
    const std::string source = "shared/shader/shaderbuilder.cg";
    const std::string original = readFile(std::string(DATA_FOLDER "/") + source);
    const std::string output = "    return float4(color, alpha);\n";
    game.writeProgramFile(
        "tinted.cg",
        replaced(original, output, "    return float4(color.r, 1, color.b, alpha);\n"));
    game.writeProgramFile("broken.cg",
                          replaced(original, output, "    return float4(color, alpha) +;\n"));
    // The line the broken output is on.
    const size_t at = original.find(output);
    ASSERT_NE(at, std::string::npos);
    const int line =
        1 + static_cast<int>(std::count(original.begin(), original.begin() + at, '\n'));

    const std::string shots = game.userDataFolder();
    game.writeProgramFile("main.lua", "SHOTS = \"" + shots + "\"\nSOURCE = \"" + source + "\"\n" +
                                          kFileHelpers + kSquareView + kDrawScript);
    auto result = game.run({"-script", "main.lua"}, {}, 240000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");

    Bitmap red = readBmp(readFile(shots + "red.bmp"));
    Bitmap blue = readBmp(readFile(shots + "blue.bmp"));
    Bitmap tinted = readBmp(readFile(shots + "tinted.bmp"));
    Bitmap kept = readBmp(readFile(shots + "kept.bmp"));
    ASSERT_GT(red.width, 0) << log;
    ASSERT_EQ(blue.width, red.width) << log;
    ASSERT_EQ(tinted.width, red.width) << log;
    ASSERT_EQ(kept.width, red.width) << log;
    std::map<std::string, Probe> probes = readProbes(log, red);
    ASSERT_EQ(probes.count("middle"), 1u) << log;
    const Probe middle = probes["middle"];
    auto rgb = [&middle](const Bitmap& image) {
        const uint8_t* c = image.at(middle.x, middle.y);
        return std::vector<int>{c[0], c[1], c[2]};
    };
    auto near = [](const std::vector<int>& c, int r, int g, int b) {
        return std::abs(c[0] - r) < 25 && std::abs(c[1] - g) < 25 && std::abs(c[2] - b) < 25;
    };
    EXPECT_TRUE(near(rgb(red), 255, 0, 0)) << rgb(red)[0] << " " << rgb(red)[1] << " " << log;
    EXPECT_TRUE(near(rgb(blue), 0, 0, 255)) << rgb(blue)[1] << " " << rgb(blue)[2];
    EXPECT_TRUE(near(rgb(tinted), 0, 255, 255)) << rgb(tinted)[0] << " " << rgb(tinted)[1];
    // The broken source left the working programs in place.
    EXPECT_EQ(kept.rgb, tinted.rgb);

    EXPECT_NE(log.find("Reloaded scenes/paint.tga\n"), std::string::npos) << log;
    EXPECT_EQ(countOf(log, "Reloaded " + source + "\n"), 1u) << log;
    EXPECT_NE(log.find("(" + source + "(" + std::to_string(line) + "))"), std::string::npos) << log;
    EXPECT_NE(log.find("Error: could not reload " + source), std::string::npos) << log;
}

std::string paintShader(const std::string& extra, const std::string& colour) {
    return "<CustomShader>\n  <LodLevel startDistance=\"0\">\n" + extra +
           "    <CodeInjections>\n      <CodeInjection position=\"POST_ALBEDO_FS\">albedo.rgb = "
           "float3(" +
           colour + ");</CodeInjection>\n    </CodeInjections>\n  </LodLevel>\n</CustomShader>\n";
}

// Frame 3: the custom shader paints magenta. Frame 4 saves it painting
// green; frame 7 shows that. Frame 8 saves a version with a parameter added,
// which the materials cannot take while running; frame 11 shows what stays.
const char* kCustomShaderScript = R"(
function step(frame)
    if frame == 3 then
        probeMiddle()
        saveScreenshot(SHOTS .. "magenta.bmp")
    end
    if frame == 4 then writeFile("scenes/paint.xml", readFile("green.xml")) end
    if frame == 7 then saveScreenshot(SHOTS .. "green.bmp") end
    if frame == 8 then writeFile("scenes/paint.xml", readFile("reshaped.xml")) end
    if frame == 11 then saveScreenshot(SHOTS .. "kept.bmp") end
    if frame == 12 then requestExit() end
end
)";

TEST(HotReload, CustomShaderFileChangesItsCodeButNotItsParameters) {
    GameRunner game;
    game.writeSharedShaders();
    std::string scene = replaced(kScene, R"(<File name="tex" filename="paint.tga"/>)",
                                 R"(<File name="tex" filename="paint.tga"/>
                                    <File name="shader" filename="paint.xml"/>)");
    scene = replaced(scene, R"(<Material name="paint">)",
                     R"(<Material name="paint" customShader="shader">)");
    game.writeProgramFile("scenes/square.i3d", scene);
    game.writeProgramFile("scenes/paint.tga", plainTga(255, 255, 255));
    game.writeProgramFile("scenes/paint.xml", paintShader("", "1, 0, 1"));
    game.writeProgramFile("green.xml", paintShader("", "0, 1, 0"));
    game.writeProgramFile(
        "reshaped.xml",
        paintShader("    <Parameters><Parameter name=\"tint\" target=\"In.tint\"/></Parameters>\n",
                    "0, 0, 1"));
    const std::string shots = game.userDataFolder();
    game.writeProgramFile("main.lua", "SHOTS = \"" + shots + "\"\n" + kFileHelpers + kSquareView +
                                          kCustomShaderScript);
    auto result = game.run({"-script", "main.lua"}, {}, 240000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");

    Bitmap magenta = readBmp(readFile(shots + "magenta.bmp"));
    Bitmap green = readBmp(readFile(shots + "green.bmp"));
    Bitmap kept = readBmp(readFile(shots + "kept.bmp"));
    ASSERT_GT(magenta.width, 0) << log;
    ASSERT_EQ(green.width, magenta.width) << log;
    std::map<std::string, Probe> probes = readProbes(log, magenta);
    ASSERT_EQ(probes.count("middle"), 1u) << log;
    const uint8_t* before = magenta.at(probes["middle"].x, probes["middle"].y);
    const uint8_t* after = green.at(probes["middle"].x, probes["middle"].y);
    EXPECT_GT(before[0], 230) << log;
    EXPECT_LT(before[1], 25);
    EXPECT_GT(before[2], 230);
    EXPECT_LT(after[0], 25);
    EXPECT_GT(after[1], 230);
    EXPECT_LT(after[2], 25);
    EXPECT_EQ(kept.rgb, green.rgb);
    EXPECT_EQ(countOf(log, "Reloaded scenes/paint.xml\n"), 1u) << log;
    EXPECT_NE(log.find("only code injections and start distances change while the game runs"),
              std::string::npos)
        << log;
}

}  // namespace
