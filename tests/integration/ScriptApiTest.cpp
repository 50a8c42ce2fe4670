#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

// The real game binds the scene, callback and application functions: a
// script builds below the scene root, a timer fires from the frame loop
// and quits, and deleting the built subtree at the end tells its listener.
TEST(ScriptApi, SceneTimersAndDeleteListenersInTheRunningGame) {
    GameRunner game;
    game.writeProgramFile("main.lua", R"(
function init()
    root = getRootNode()
    group = createTransformGroup("built")
    link(root, group)
    setTranslation(group, 1, 2, 3)
    print("root ", getName(root), " child ", getName(getChild(root, "built")))
    print("camera ", getName(getCamera()))
    addDeleteListener(group, "onGone")
    ticks = 0
    addTimer(20, "tick")
end
function onGone() print("built deleted") end
function tick()
    ticks = ticks + 1
    if ticks == 3 then
        local x, y, z = getWorldTranslation(group)
        print("ticks ", ticks, " at ", x + y + z)
        delete(group)
        requestExit()
        return false
    end
    return true
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("root RootNode child built\n"), std::string::npos) << log;
    EXPECT_NE(log.find("camera default camera\n"), std::string::npos) << log;
    size_t ticks = log.find("ticks 3 at 6\n");
    size_t deleted = log.find("built deleted\n");
    EXPECT_NE(ticks, std::string::npos) << log;
    EXPECT_NE(deleted, std::string::npos) << log;
    EXPECT_LT(ticks, deleted);
}

}  // namespace
