#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

using testsupport::readFile;

// The lines of a text that contain `needle`, in order.
size_t positionOf(const std::string& text, const std::string& needle) {
    size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << "missing: " << needle << "\n--- log ---\n" << text;
    return at;
}

TEST(EngineCore, RunsInitThenFramesAndQuitsWhenTheScriptAsks) {
    GameRunner game;
    game.writeProgramFile("main.lua", R"(
frames = 0
function init()
    print("script init")
end
function update(dt)
    frames = frames + 1
    print("update " .. frames)
    if frames == 5 then
        requestExit()
    end
end
function draw()
    print("draw " .. frames)
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    // The log file starts with engine initialisation; the banner before it
    // reaches the console only.
    size_t banner = positionOf(log, "OpenGL initialization successful\n");
    size_t init = positionOf(log, "script init\n");
    size_t update1 = positionOf(log, "update 1\n");
    size_t draw1 = positionOf(log, "draw 1\n");
    size_t update5 = positionOf(log, "update 5\n");
    EXPECT_LT(banner, init);
    EXPECT_LT(init, update1);
    EXPECT_LT(update1, draw1);
    EXPECT_LT(draw1, update5);
    // The loop stops at the top of the next iteration: frame 5 still draws,
    // and there is no sixth update.
    positionOf(log, "draw 5\n");
    EXPECT_EQ(log.find("update 6\n"), std::string::npos);
}

TEST(EngineCore, RunTimeErrorsInUpdateKeepTheLoopRunning) {
    GameRunner game;
    game.writeProgramFile("main.lua", R"(
frames = 0
function update(dt)
    frames = frames + 1
    if frames == 4 then
        requestExit()
    end
    error("boom in frame " .. frames)
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    positionOf(log, "boom in frame 1");
    positionOf(log, "boom in frame 4");
}

TEST(EngineCore, MissingStartupScriptIsLoggedAndTheEngineKeepsRunning) {
    GameRunner game;
    // The foundation script asks to quit, so the run still ends.
    game.writeProgramFile("shared/scripts/foundation/input.lua",
                          "function update(dt) requestExit() end\n");
    auto result = game.run({"-script", "missing.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    positionOf(log, "missing.lua");
}

TEST(EngineCore, StderrSinkShowsTheLogInTheTerminal) {
    GameRunner game;
    game.writeProgramFile("main.lua",
                          "function init() print('hello terminal') requestExit() end\n");
    auto quiet = game.run({"-script", "main.lua"});
    EXPECT_EQ(quiet.output.find("hello terminal"), std::string::npos);
    auto loud = game.run({"-script", "main.lua"}, {{"ENGINE_LOG_STDERR", "1"}});
    EXPECT_NE(loud.output.find("hello terminal"), std::string::npos) << loud.output;
}

}  // namespace
