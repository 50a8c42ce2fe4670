#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "InProcessStartup.h"
#include "TestSupport.h"
#include "app/EngineApplication.h"
#include "app/Startup.h"
#include "app/StatsOverlay.h"
#include "base/image/Image.h"
#include "foundation/File.h"
#include "foundation/TimerScheduler.h"
#include "foundation/XMLConfigFile.h"

namespace {

// The engine's own texts land where they belong: each is switched on alone,
// one frame is saved, and the lit pixels are counted in the text's region
// and outside it.
class ScreenTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeFile(dir / "game.xml",
                               "<game><development><controls>true</controls></development>"
                               "<graphic><display><width>320</width><height>240</height>"
                               "</display></graphic></game>");
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 20));
        config = std::make_unique<XMLConfigFile>(dir / "game.xml", "ConfigFile", false);
        StartupParameters params = inProcessStartup(*config, dir.path(), "");
        app = std::make_unique<EngineApplication>(params);
        ASSERT_EQ(app->getStartupExitCode(), 0);
    }
    void TearDown() override {
        app.reset();
        FileSystem::clearFileLoaders();
        TimerScheduler::get().reset();
    }

    // Lit pixels inside and outside the rectangle (fractions, from the
    // lower left) of the next frame.
    std::pair<int, int> litPixels(float left, float bottom, float right, float top) {
        std::string path = dir / "frame.bmp";
        app->requestScreenshot(path);
        EXPECT_TRUE(app->runFrame());
        std::string file = testsupport::readFile(path);
        Image image = ImageUtil::decodeImage(reinterpret_cast<const uint8_t*>(file.data()),
                                             file.size(), path, true);
        EXPECT_TRUE(image.valid);
        int inside = 0;
        int outside = 0;
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                const uint8_t* p = &image.data[(y * image.width + x) * 3];
                if (p[0] + p[1] + p[2] < 200) {
                    continue;
                }
                float fx = (x + 0.5f) / image.width;
                float fy = (y + 0.5f) / image.height;
                bool in = fx >= left && fx <= right && fy >= bottom && fy <= top;
                (in ? inside : outside) += 1;
            }
        }
        return {inside, outside};
    }

    testsupport::TempDir dir;
    std::unique_ptr<XMLConfigFile> config;
    std::unique_ptr<EngineApplication> app;
};

TEST_F(ScreenTextTest, NothingWithoutTexts) {
    auto [inside, outside] = litPixels(0, 0, 1, 1);
    EXPECT_EQ(inside + outside, 0);
}

TEST_F(ScreenTextTest, FpsInTheUpperRightCorner) {
    app->keyEvent(0, AppKey::F2, 0, true);
    auto [inside, outside] = litPixels(0.88f, 0.94f, 1.0f, 0.99f);
    EXPECT_GT(inside, 10);
    EXPECT_EQ(outside, 0);
}

TEST_F(ScreenTextTest, StatisticsPageFromTheUpperLeft) {
    app->keyEvent(0, AppKey::F8, 0, true);
    ASSERT_EQ(StatsOverlayList::get().getSelectedIndex(), 1);
    // The profiler page's title and labels start at (0.01, 0.96).
    auto [inside, outside] = litPixels(0.0f, 0.5f, 1.0f, 0.99f);
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST_F(ScreenTextTest, ConsoleSlidesInAtTheTop) {
    // The slide takes 750 ms of frame time.
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    for (int frame = 0; frame < 200 && app->console.isAnimating(); ++frame) {
        app->runFrame();
    }
    ASSERT_FALSE(app->console.isAnimating());
    auto [inside, outside] = litPixels(0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_GT(inside, 50);  // the log lines and the prompt
    // Hidden again, once the slide is over, it draws nothing.
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    for (int frame = 0; frame < 200 && app->console.isAnimating(); ++frame) {
        app->runFrame();
    }
    auto [after, rest] = litPixels(0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(after + rest, 0);
}

}  // namespace
