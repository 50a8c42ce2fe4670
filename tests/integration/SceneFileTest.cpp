#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

// A script loads a scene through the running game, links it below the root
// and walks it with the node functions; the file's "onCreate" functions ran
// before loadI3DFile returned, in file order.
TEST(SceneFile, LuaLoadsAndWalksAScene) {
    GameRunner game;
    game.writeProgramFile("scenes/level.i3d", R"(<?xml version="1.0"?>
<i3D name="level" version="1.5">
  <Materials><Material name="paint"><CustomParameter name="tint" value="1 0 0 1"/></Material></Materials>
  <Shapes>
    <IndexedFaceSet name="box">
      <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="1 1 0"/><v c="0 1 0"/></Vertices>
      <Faces shaderlist="paint"><f vi="0 1 2 3"/></Faces>
    </IndexedFaceSet>
  </Shapes>
  <Scene>
    <TransformGroup name="house" translation="0 0 5" rotation="0 180 0">
      <Shape name="wall" ref="box"/>
      <Light name="lamp" type="point" range="7"/>
    </TransformGroup>
    <Camera name="view" fov="60" nearClip="1" farClip="100"/>
  </Scene>
  <UserAttributes>
    <UserAttribute name="lamp">
      <Attribute name="onCreate" type="scriptCallback" value="lampCreated"/>
      <Attribute name="power" type="float" value="2.5"/>
    </UserAttribute>
    <UserAttribute name="house">
      <Attribute name="onCreate" type="scriptCallback" value="houseCreated"/>
      <Attribute name="doors" type="integer" value="3"/>
      <Attribute name="open" type="boolean" value="true"/>
      <Attribute name="owner" type="string" value="Ada"/>
    </UserAttribute>
  </UserAttributes>
</i3D>
)");
    game.writeProgramFile("main.lua", R"(
created = {}
function lampCreated(id) created[#created + 1] = getName(id) end
function houseCreated(id) created[#created + 1] = getName(id) end
function init()
    local scene = loadI3DFile("scenes/level.i3d")
    print("created ", table.concat(created, ","))
    print("unlinked ", tostring(getParent(scene) == nil or getParent(scene) == 0))
    link(getRootNode(), scene)
    local house = getChild(scene, "house")
    local x, y, z = getWorldTranslation(getChild(house, "lamp"))
    local rx, ry, rz = getRotation(house)
    print("scene ", getName(scene), " children ", getNumOfChildren(scene))
    print("house ", getNumOfChildren(house), " lamp z ", z)
    print("house ry ", string.format("%.3f", ry))
    local lamp = getChild(house, "lamp")
    print("attributes ", getUserAttribute(house, "doors"), " ", tostring(getUserAttribute(house, "open")))
    print("owner ", getUserAttribute(house, "owner"), " power ", getUserAttribute(lamp, "power"))
    local wall = getChild(house, "wall")
    print("wall geometry ", tostring(getGeometry(wall) ~= 0))
    setShaderParameter(wall, "tint", 0, 1, 0, 1)
    print("range ", getLightRange(getChild(house, "lamp")))
    print("missing ", loadI3DFile("scenes/none.i3d"))
    requestExit()
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("created lamp,house\n"), std::string::npos) << log;
    EXPECT_NE(log.find("unlinked true\n"), std::string::npos) << log;
    EXPECT_NE(log.find("scene level children 2\nhouse 2 lamp z 5\nhouse ry 3.142\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("attributes 3 true\nowner Ada power 2.5\n"), std::string::npos) << log;
    EXPECT_NE(log.find("wall geometry true\n"), std::string::npos) << log;
    EXPECT_NE(log.find("range 7\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Scenefile scenes/level.i3d loaded in "), std::string::npos) << log;
    EXPECT_NE(log.find("missing 0\n"), std::string::npos) << log;
}

}  // namespace
