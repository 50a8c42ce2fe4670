#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

// A scene file's character set animates its groups from the frame loop, and
// a script drives the four tracks and reads back what it set.
TEST(Animation, ScriptDrivesACharacterSetFromASceneFile) {
    GameRunner game;
    game.writeProgramFile("scenes/robot.i3d", R"(<?xml version="1.0"?>
<i3D name="robot" version="1.5">
  <Scene>
    <TransformGroup name="body" translation="0 1 0"/>
    <TransformGroup name="still"/>
  </Scene>
  <Animation><CharacterSets><CharacterSet name="robot">
    <Clip name="wave" duration="1000">
      <Keyframes node="body">
        <Keyframe time="0" translation="0 1 0" iptout="linear"/>
        <Keyframe time="1000" translation="0 3 0" iptin="linear"/>
      </Keyframes>
    </Clip>
    <Clip name="hop" duration="500">
      <Keyframes node="body"><Keyframe time="0" translation="0 9 0"/></Keyframes>
    </Clip>
  </CharacterSet></CharacterSets></Animation>
</i3D>
)");
    game.writeProgramFile("main.lua", R"(
function init()
    scene = loadI3DFile("scenes/robot.i3d")
    link(getRootNode(), scene)
    body = getChild(scene, "body")
    set = getAnimCharacterSet(body)
    -- print takes up to six values.
    print("set ", getClassName(set), " still ", getAnimCharacterSet(getChild(scene, "still")))
    print("clips ", getAnimNumOfClips(set), " hop ", getAnimClipIndex(set, "hop"))
    print("duration ", getAnimClipDuration(set, 1), " none ", getAnimClipDuration(set, 5))
    assignAnimTrackClip(set, 0, getAnimClipIndex(set, "wave"))
    setAnimTrackLoopState(set, 0, true)
    setAnimTrackSpeedScale(set, 0, 0)
    setAnimTrackTime(set, 0, 1250)
    setAnimTrackBlendWeight(set, 0, 1)
    enableAnimTrack(set, 0)
    print("track ", tostring(isAnimTrackEnabled(set, 0)) .. " " ..
          tostring(isAnimTrackClipAssigned(set, 0)), " ", getAnimTrackAssignedClip(set, 0))
    print("time ", getAnimTrackTime(set, 0), " weight ", getAnimTrackBlendWeight(set, 0))
    print("out of range ", tostring(isAnimTrackEnabled(set, 7)), " ", getAnimTrackTime(set, 7),
          " ", tostring(isAnimTrackClipAssigned(set, -1)))
    frame = 0
end
function update(dt)
    frame = frame + 1
    local x, y, z = getTranslation(body)
    if frame == 1 then
        print("playing y ", y)
        disableAnimTrack(set, 0)
        clearAnimTrackClip(set, 0)
    elseif frame == 2 then
        print("rest y ", y, " assigned ", tostring(isAnimTrackClipAssigned(set, 0)))
        requestExit()
    end
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("set CharacterSet still 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("clips 2 hop 1\nduration 500 none 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("track true true 0\ntime 1250 weight 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("out of range nil 0 nil\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Warning: isAnimTrackEnabled, robot: track 7 does not exist"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("playing y 1.5\n"), std::string::npos) << log;
    EXPECT_NE(log.find("rest y 1 assigned false\n"), std::string::npos) << log;
}

}  // namespace
