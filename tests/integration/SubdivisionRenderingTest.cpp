// A mesh named "subd_" near the camera is drawn refined: beside the same
// octahedron loaded as a plain mesh, its silhouette bulges out where the
// plain one has straight edges.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

std::string octahedron(const std::string& name) {
    return R"(<IndexedFaceSet name=")" + name + R"(">
      <Vertices><v c="1 0 0"/><v c="-1 0 0"/><v c="0 1 0"/><v c="0 -1 0"/><v c="0 0 1"/><v c="0 0 -1"/></Vertices>
      <Faces shaderlist="white">
        <f vi="0 2 4" n="1 0 0 0 1 0 0 0 1"/><f vi="2 1 4" n="0 1 0 -1 0 0 0 0 1"/>
        <f vi="1 3 4" n="-1 0 0 0 -1 0 0 0 1"/><f vi="3 0 4" n="0 -1 0 1 0 0 0 0 1"/>
        <f vi="2 0 5" n="0 1 0 1 0 0 0 0 -1"/><f vi="1 2 5" n="-1 0 0 0 1 0 0 0 -1"/>
        <f vi="3 1 5" n="0 -1 0 -1 0 0 0 0 -1"/><f vi="0 3 5" n="1 0 0 0 -1 0 0 0 -1"/>
      </Faces>
    </IndexedFaceSet>)";
}

TEST(SubdivisionRendering, SubdMeshNearTheCameraDrawsRefined) {
    GameRunner game;
    for (const char* file : {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
                             "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
        game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
    }
    game.writeProgramFile("scenes/octa.i3d", R"(<?xml version="1.0"?>
<i3D name="octa" version="1.5">
  <Materials><Material name="white" ambientColor="1 1 1"/></Materials>
  <Shapes>)" + octahedron("subd_octa") + octahedron("octa") +
                                                 R"(</Shapes>
  <Scene>
    <Shape name="smooth" ref="subd_octa" translation="-1.2 0 0"/>
    <Shape name="plain" ref="octa" translation="1.2 0 0"/>
    <Light name="sun" type="directional" diffuseColor="1 1 1"/>
    <Camera name="cam" translation="0 0 4" fov="60" nearClip="0.5" farClip="100"/>
  </Scene>
</i3D>
)");
    const std::string shot = game.userDataFolder() + "subd.bmp";
    game.writeProgramFile("main.lua", "SHOT = \"" + shot + R"("
frames = 0
function init()
    scene = loadI3DFile("scenes/octa.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(scene, "cam"))
end
function draw()
    frames = frames + 1
    if frames == 2 then
        -- Half way between the straight edge and the refined one, on the
        -- upper right diagonal of each shape, and each shape's centre.
        for _, p in ipairs({{"smooth", -1.2}, {"plain", 1.2}}) do
            local x, y = project(p[2] + 0.56, 0.56, 0)
            print(string.format("probe %s %.4f %.4f", p[1], x, y))
            x, y = project(p[2], 0, 0.5)
            print(string.format("probe %sCentre %.4f %.4f", p[1], x, y))
        end
        saveScreenshot(SHOT)
    end
    if frames == 3 then requestExit() end
end
)");
    auto result = game.run({"-script", "main.lua"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(game.userFolder() + "game.log");
    Bitmap image = readBmp(readFile(shot));
    ASSERT_GT(image.width, 0) << log;
    auto brightness = [&](const char* name) {
        const std::string key = std::string("probe ") + name + " ";
        size_t at = log.find(key);
        float x = 0;
        float y = 0;
        if (at == std::string::npos ||
            std::sscanf(log.c_str() + at + key.size(), "%f %f", &x, &y) != 2) {
            ADD_FAILURE() << "no probe " << name << "\n" << log;
            return -1;
        }
        const uint8_t* c =
            image.at(static_cast<int>(x * image.width), static_cast<int>(y * image.height));
        return c[0] + c[1] + c[2];
    };
    EXPECT_GT(brightness("smoothCentre"), 150) << log;
    EXPECT_GT(brightness("plainCentre"), 150) << log;
    EXPECT_GT(brightness("smooth"), 150) << log;
    EXPECT_LT(brightness("plain"), 30) << log;
}

}  // namespace
