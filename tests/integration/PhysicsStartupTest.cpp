#include <gtest/gtest.h>

#include <filesystem>

#include "GameRunner.h"

namespace {

using testsupport::readFile;

// The engine names the physics library it runs on; without "physics.xml"
// start-up ends with exit code 1.
TEST(PhysicsStartup, LogsTheBackendAndNeedsTheSettingsFile) {
    GameRunner game;
    game.writeProgramFile("main.lua", R"(
function init()
    simulatePhysicsTimeScale(0.5)
    extraUpdatePhysics(40)
    simulatePhysics(false)
    print("physics calls done")
    requestExit()
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("Physics\n  Driver: Bullet Physics\n  Version: 3."), std::string::npos)
        << log;
    EXPECT_NE(log.find("physics calls done\n"), std::string::npos) << log;

    std::filesystem::remove(game.programFolder() + "physics.xml");
    result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 1) << result.output;
    log = readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("Physics config file not found: physics.xml\n"), std::string::npos) << log;
}

}  // namespace
