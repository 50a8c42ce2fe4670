// Screen text drawn after the scene shows all of its letters: the scene's
// indexed draws leave no index buffer behind for the text's plain draw.

#include <gtest/gtest.h>

#include <string>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

// Frame 3 draws the text alone; then a box of 36 indices comes into view
// and frame 6 draws the same text over it.
const char* kScript = R"(
frames = 0
function init()
    box = loadI3DFile("box.i3d")
    local camera = createCamera("camera", 45, 0.25, 100)
    link(getRootNode(), camera)
    setCamera(camera)
    setTranslation(camera, 0, 0, 6)
    setAmbientColor(1, 1, 1)
end
function draw()
    frames = frames + 1
    setTextColor(1, 1, 1, 1)
    renderText(0.02, 0.9, 0.05, "MMMMMMMMMMMMMMMMMMMM")
    if frames == 3 then saveScreenshot(SHOTS .. "alone.bmp") end
    if frames == 4 then link(getRootNode(), box) end
    if frames == 6 then saveScreenshot(SHOTS .. "over.bmp") end
    if frames == 7 then requestExit() end
end
)";

const char* kBox = R"(<?xml version="1.0"?>
<i3D name="box" version="1.5">
  <Materials><Material name="paint"/></Materials>
  <Shapes>
    <IndexedFaceSet name="box">
      <Vertices>
        <v c="-1 -1 -1"/><v c="1 -1 -1"/><v c="1 1 -1"/><v c="-1 1 -1"/>
        <v c="-1 -1 1"/><v c="1 -1 1"/><v c="1 1 1"/><v c="-1 1 1"/>
      </Vertices>
      <Faces shaderlist="paint">
        <f vi="4 5 6 7" n="0 0 1 0 0 1 0 0 1 0 0 1"/>
        <f vi="1 0 3 2" n="0 0 -1 0 0 -1 0 0 -1 0 0 -1"/>
        <f vi="5 1 2 6" n="1 0 0 1 0 0 1 0 0 1 0 0"/>
        <f vi="0 4 7 3" n="-1 0 0 -1 0 0 -1 0 0 -1 0 0"/>
        <f vi="7 6 2 3" n="0 1 0 0 1 0 0 1 0 0 1 0"/>
        <f vi="0 1 5 4" n="0 -1 0 0 -1 0 0 -1 0 0 -1 0"/>
      </Faces>
    </IndexedFaceSet>
  </Shapes>
  <Scene><Shape name="box" ref="box"/></Scene>
</i3D>
)";

// The lit pixels of the band the text lies in (the top tenth).
int textPixels(const Bitmap& image) {
    int lit = 0;
    for (int y = image.height * 9 / 10; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            lit += image.at(x, y)[0] > 128 ? 1 : 0;
        }
    }
    return lit;
}

TEST(TextOverScene, AllLettersShowAfterIndexedSceneDraws) {
    GameRunner game;
    game.writeSharedShaders();
    game.writeProgramFile("box.i3d", kBox);
    const std::string shots = game.userDataFolder();
    game.writeProgramFile("main.lua", "SHOTS = \"" + shots + "\"\n" + kScript);
    auto result = game.run({"-script", "main.lua"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    Bitmap over = readBmp(readFile(shots + "over.bmp"));
    Bitmap alone = readBmp(readFile(shots + "alone.bmp"));
    ASSERT_GT(over.width, 0) << result.output;
    ASSERT_GT(textPixels(alone), 0);
    EXPECT_EQ(textPixels(over), textPixels(alone));
}

}  // namespace
