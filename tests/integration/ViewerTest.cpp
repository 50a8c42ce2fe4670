// The model viewer (tools/view, a Lua game run by `game`) imports a glTF
// file and renders it offscreen from four sides.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "GameRunner.h"
#include "ModelFiles.h"
#include "base/image/Image.h"

namespace {

using testsupport::readFile;

std::string buildFolder() {
    // GAME_EXECUTABLE is BUILD/bin/game.
    std::string path = GAME_EXECUTABLE;
    for (int i = 0; i < 2; ++i) {
        path = path.substr(0, path.rfind('/'));
    }
    return path;
}

TEST(Viewer, ShotsOfAnImportedModelShowItFromFourSides) {
    testsupport::TempDir work;
    testsupport::writeTexturedHierarchy(work.path(), "model");
    const std::string shots = work.path() + "shots/";
    auto result = testsupport::runProgram(
        {"/bin/bash", VIEW_TOOL, work.path() + "model.gltf", "--shots", shots}, work.path(),
        {{"VIEW_BUILD", buildFolder()}}, 300000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    // The viewer reports what it shows: the cube's 12 triangles and their
    // bounds. The cube (2 units wide, turned 30 degrees about X, 1 up) lies
    // in "base" (at 1 2 3, turned 90 degrees about Y): half a width of
    // cos 30 + sin 30 in y and, turned into x, in x; 1 in z.
    const size_t report = result.output.find("viewer: model.gltf, 12 triangles, bounds ");
    ASSERT_NE(report, std::string::npos) << result.output;
    float lo[3] = {};
    float hi[3] = {};
    ASSERT_EQ(std::sscanf(result.output.c_str() + report,
                          "viewer: model.gltf, 12 triangles, bounds %f %f %f to %f %f %f", &lo[0],
                          &lo[1], &lo[2], &hi[0], &hi[1], &hi[2]),
              6)
        << result.output;
    const float half = 0.8660254f + 0.5f;
    const float expectedLo[3] = {1 - half, 3 - half, 2};
    const float expectedHi[3] = {1 + half, 3 + half, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(lo[i], expectedLo[i], 0.01f) << i;
        EXPECT_NEAR(hi[i], expectedHi[i], 0.01f) << i;
    }

    std::vector<std::vector<uint8_t>> views;
    for (int i = 1; i <= 4; ++i) {
        const std::string file = readFile(shots + "view_" + std::to_string(i) + ".png");
        Image image = ImageUtil::decodeImage(reinterpret_cast<const uint8_t*>(file.data()),
                                             file.size(), "view", false);
        ASSERT_TRUE(image.valid) << i;
        EXPECT_EQ(image.width, 400u);
        EXPECT_EQ(image.height, 300u);
        // Not empty: the model, lit and textured, brings many colours into
        // the view beside the background and the text.
        std::set<uint32_t> colours;
        const int channels = image.channels;
        for (size_t p = 0; p + 2 < image.data.size(); p += channels) {
            colours.insert(image.data[p] << 16 | image.data[p + 1] << 8 | image.data[p + 2]);
        }
        EXPECT_GT(colours.size(), 8u) << i;
        views.push_back(image.data);
    }
    // Every side looks different.
    for (size_t a = 0; a < views.size(); ++a) {
        for (size_t b = a + 1; b < views.size(); ++b) {
            EXPECT_NE(views[a], views[b]) << a + 1 << " and " << b + 1;
        }
    }
    // The sheet of all four, when python3 made it. VIEWER_SHEET names a file
    // to keep it in for a look.
    if (testsupport::fileExists(shots + "sheet.png")) {
        const std::string sheet = readFile(shots + "sheet.png");
        if (const char* keep = std::getenv("VIEWER_SHEET")) {
            testsupport::writeFile(keep, sheet);
        }
        Image image = ImageUtil::decodeImage(reinterpret_cast<const uint8_t*>(sheet.data()),
                                             sheet.size(), "sheet", false);
        EXPECT_TRUE(image.valid);
        EXPECT_EQ(image.width, 800u);
        EXPECT_EQ(image.height, 600u);
    }
}

}  // namespace
