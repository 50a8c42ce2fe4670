#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

// An 8 × 8 TGA, 32-bit, rows from the bottom: the lower half blue, the
// upper half green.
std::string twoColourTga() {
    std::string tga(18, '\0');
    tga[2] = 2;  // uncompressed true colour
    tga[12] = 8;
    tga[14] = 8;
    tga[16] = 32;
    tga[17] = 8;  // eight alpha bits, origin at the lower left
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool upper = y >= 4;
            tga += static_cast<char>(upper ? 0 : 255);  // blue
            tga += static_cast<char>(upper ? 255 : 0);  // green
            tga += '\0';                                // red
            tga += static_cast<char>(255);              // alpha
        }
    }
    return tga;
}

// A frame with red text, an overlay over the upper-right quarter and one
// flipped by its texture coordinates, saved by the script and probed.
TEST(ScreenDrawing, ScreenshotShowsTextAndOverlays) {
    GameRunner game;
    game.writeProgramFile("shared/font/sansSerif.png",
                          readFile(DATA_FOLDER "/shared/font/sansSerif.png"));
    game.writeProgramFile("quad.tga", twoColourTga());
    std::string shot = game.userDataFolder() + "shot.bmp";
    game.writeProgramFile("main.lua", R"(
frames = 0
function init()
    quarter = createOverlay("quarter", "quad.tga")
    flipped = createOverlay("flipped", "quad.tga")
    setOverlayUVs(flipped, 0, 1, 0, 0, 1, 1, 1, 0)
    -- The 320 × 240 window matches no display mode: index 0.
    print("screen mode " .. getScreenMode())
    local w, h = getScreenModeInfo(getNumOfScreenModes())
    print("beyond the modes " .. w .. "x" .. h)
    setScreenMode(getNumOfScreenModes())
end
function draw()
    frames = frames + 1
    renderOverlay(quarter, 0.5, 0.5, 0.5, 0.5)
    renderOverlay(flipped, 0.0, 0.5, 0.25, 0.25)
    setTextColor(1, 0, 0, 1)
    renderText(0.05, 0.1, 0.1, "HELLO")
    setTextColor(1, 1, 1, 1)
    if frames == 3 then saveScreenshot(")" +
                                          shot + R"(") end
    if frames == 4 then requestExit() end
end
)");
    auto result = game.run({"-script", "main.lua"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_EQ(log.find("Font loading failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Screenshot saved: " + shot), std::string::npos) << log;
    EXPECT_NE(log.find("screen mode 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("beyond the modes 0x0\n"), std::string::npos) << log;
    std::string userXml = readFile(game.userFolder() + "game.xml");
    EXPECT_NE(userXml.find("<width>0</width>"), std::string::npos) << userXml;
    Bitmap image = readBmp(readFile(shot));
    ASSERT_EQ(image.width, 320) << log;
    ASSERT_EQ(image.height, 240);

    auto isColour = [&image](int x, int y, int r, int g, int b) {
        const uint8_t* p = image.at(x, y);
        return std::abs(p[0] - r) < 40 && std::abs(p[1] - g) < 40 && std::abs(p[2] - b) < 40;
    };
    EXPECT_TRUE(isColour(240, 230, 0, 255, 0));  // quarter: upper half green
    EXPECT_TRUE(isColour(240, 130, 0, 0, 255));  // lower half blue
    EXPECT_TRUE(isColour(40, 175, 0, 0, 255));   // flipped: blue on top
    EXPECT_TRUE(isColour(40, 125, 0, 255, 0));   // and green below
    EXPECT_TRUE(isColour(240, 60, 0, 0, 0));     // nothing drawn there
    int red = 0;
    for (int y = 24; y < 48; ++y) {
        for (int x = 16; x < 160; ++x) {
            red += isColour(x, y, 255, 0, 0);
        }
    }
    EXPECT_GT(red, 100);  // the text
}

// The sample game of data/ runs offscreen, saves its screenshot and quits.
TEST(ScreenDrawing, SampleGameSavesItsScreenshot) {
    GameRunner game;
    for (const char* file :
         {"scripts/main.lua", "textures/logo.png", "shared/font/sansSerif.png",
          "shared/scripts/foundation/input.lua", "shared/scripts/foundation/scenegraph.lua",
          "shared/scalability/performanceReference.xml"}) {
        game.writeProgramFile(file, readFile(std::string(DATA_FOLDER "/") + file));
    }
    std::string shot = game.userDataFolder() + "sample.bmp";
    auto result = game.run({"-script", "scripts/main.lua"}, {{"SAMPLE_SCREENSHOT", shot}});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    EXPECT_EQ(log.find("did not load"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error"), std::string::npos) << log;
    Bitmap image = readBmp(readFile(shot));
    ASSERT_EQ(image.width, 320) << log;
    // Something besides the black ground is on the screen.
    int lit = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        lit += image.rgb[i] + image.rgb[i + 1] + image.rgb[i + 2] > 150;
    }
    EXPECT_GT(lit, 500);
}

}  // namespace
