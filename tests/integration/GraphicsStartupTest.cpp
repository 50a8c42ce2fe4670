#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

using testsupport::readFile;

TEST(GraphicsStartup, OpensTheWindowRendersTenFramesAndExitsCleanly) {
    GameRunner game;
    game.writeProgramFile("main.lua", R"(
frames = 0
function draw()
    frames = frames + 1
    print("frame " .. frames)
    if frames == 10 then
        requestExit()
    end
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    size_t device = log.find("OpenGL initialization successful\n");
    ASSERT_NE(device, std::string::npos) << log;
    EXPECT_LT(device, log.find("frame 1\n")) << log;
    EXPECT_NE(log.find("frame 10\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("frame 11\n"), std::string::npos) << log;
    // Ten clears and swaps leave no device error behind.
    EXPECT_EQ(log.find("RenderDevice "), std::string::npos) << log;
}

TEST(GraphicsStartup, NoCoreProfileContextEndsStartUpWithTheMessage) {
    GameRunner game;
    // Mesa then offers nothing above OpenGL 3.1, so no 3.3 core context.
    auto result = game.run({"-script", "quit.lua"}, {{"MESA_GL_VERSION_OVERRIDE", "3.1"}});
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("Error: Could not init 3D system.\nShader Model 2.0 is "
                                 "required.\n\nPlease install the latest video drivers."),
              std::string::npos)
        << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("No OpenGL 3.3 core profile context"), std::string::npos) << log;
}

TEST(GraphicsStartup, VideoSystemThatCannotStartEndsStartUpWithoutAMessage) {
    GameRunner game;
    auto result = game.run({"-script", "quit.lua"}, {{"SDL_VIDEODRIVER", "nosuchdriver"}});
    EXPECT_EQ(result.exitCode, 1) << result.output;
    // The device has said why in the log; no message box.
    EXPECT_EQ(result.output.find("Could not init 3D system"), std::string::npos) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("Error: SDL video initialization failed"), std::string::npos) << log;
}

}  // namespace
