// The application's script functions in a running engine: settings saved
// to the user configuration at once, folders and files, scalability values,
// restart.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "InProcessStartup.h"
#include "LogText.h"
#include "TestSupport.h"
#include "app/EngineApplication.h"
#include "app/EngineManager.h"
#include "app/Startup.h"
#include "base/platform/Platform.h"
#include "foundation/File.h"
#include "foundation/TimerScheduler.h"
#include "foundation/XMLConfigFile.h"
#include "scene/SceneRenderContext.h"

namespace {

class ApplicationScriptFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    }
    void TearDown() override {
        FileSystem::clearFileLoaders();
        TimerScheduler::get().reset();
    }

    // Builds the engine with the script as its startup script and the
    // configuration as game.xml; the log of start-up stays in `log`.
    void runInit(const std::string& script, const std::string& gameXml,
                 const std::string& commandLine = "") {
        testsupport::writeFile(dir / "main.lua", script);
        testsupport::writeFile(dir / "game.xml", gameXml);
        testsupport::writePhysicsConfig(dir.path());
        XMLConfigFile config(dir / "game.xml", "ConfigFile", false);
        StartupParameters params = inProcessStartup(config, dir.path());
        params.commandLine = commandLine;
        EngineApplication app(params);
        ASSERT_EQ(app.getStartupExitCode(), 0) << log.text();
        quitRequested = EngineManager::get().isQuitRequested();
        terrainFolder = EngineManager::get().getTerrainLoadDirectory();
        viewDistance = EngineManager::get().getSceneRenderContext()->environment.viewDistanceCoeff;
    }

    bool logHas(const std::string& line) const {
        return log.text().find(line) != std::string::npos;
    }

    testsupport::TempDir dir;
    LogText log;
    bool quitRequested = false;
    std::string terrainFolder;
    float viewDistance = 0.0f;
};

TEST_F(ApplicationScriptFunctionsTest, SettingsAreSavedAtOnceInTheirFormats) {
    runInit(R"(
function init()
    print("before ", getFullscreen(), " ", getGamma(), " ", getMSAA())
    setFullscreen(true); setGamma(1.2); setFilterAnisotropy(4); setMSAA(2); setVsync(false)
    setFilterTrilinear(true)
    print("after ", getFullscreen(), " ", getFilterAnisotropy(), " ", getFilterTrilinear())
end
)",
            "<game><graphic><display><fullscreen>false</fullscreen><vsync>TRUE</vsync>"
            "<gamma>1.0</gamma><filter><anisotropy>0</anisotropy><msaa>0</msaa></filter>"
            "</display></graphic></game>");
    EXPECT_TRUE(logHas("before false 1 0\n")) << log.text();
    // The trilinear key is missing: it reads false and is not created.
    EXPECT_TRUE(logHas("after true 4 false\n")) << log.text();
    XMLConfigFile saved(dir / "game.xml", "ConfigFile", false);
    EXPECT_STREQ(saved.getString("game.graphic.display.fullscreen"), "true");
    EXPECT_STREQ(saved.getString("game.graphic.display.gamma"), "1.200000");
    EXPECT_STREQ(saved.getString("game.graphic.display.vsync"), "false");
    EXPECT_STREQ(saved.getString("game.graphic.display.filter.anisotropy"), "4");
    EXPECT_STREQ(saved.getString("game.graphic.display.filter.msaa"), "2");
}

TEST_F(ApplicationScriptFunctionsTest, FoldersFilesAndEngineValues) {
    const std::string made = dir / "made";
    testsupport::writeFile(dir / "a.txt", "first");
    testsupport::writeFile(dir / "b.txt", "second");
    runInit(R"(
function init()
    print("profile ", getUserProfileAppPath())
    print("base ", getAppBasePath())
    createFolder(")" +
                made + R"(")
    copyFile(")" +
                dir.path() + R"(a.txt", ")" + made + R"(/copy.txt", false)
    copyFile(")" +
                dir.path() + R"(b.txt", ")" + made + R"(/copy.txt", false)
    copyFile(")" +
                dir.path() + R"(b.txt", ")" + dir.path() + R"(a.txt", true)
    copyFile(")" +
                dir.path() + R"(b.txt", ")" + dir.path() + R"(./b.txt", true)
    setTerrainLoadDirectory("terrain/")
    setViewDistanceCoeff(2.5); setShadowQuality(0); setTerrainLODDistanceCoeff(0.5)
    print("coeffs ", getViewDistanceCoeff(), " ", getShadowQuality(), " ", getTerrainLODDistanceCoeff())
end
)",
            "<game/>");
    EXPECT_TRUE(logHas("profile " + userProfileAppPathFor(kDefaultApplicationName) + "\n"))
        << log.text();
    EXPECT_TRUE(logHas("base " + platform::folderOfPath(platform::getExecutablePath()) + "\n"));
    EXPECT_EQ(testsupport::readFile(made + "/copy.txt"), "first");
    EXPECT_EQ(testsupport::readFile(dir / "a.txt"), "second");
    EXPECT_EQ(testsupport::readFile(dir / "b.txt"), "second");  // not copied onto itself
    EXPECT_EQ(terrainFolder, "terrain/");
    EXPECT_TRUE(logHas("coeffs 2.5 0 0.5\n")) << log.text();
    EXPECT_EQ(viewDistance, 2.5f);
}

TEST_F(ApplicationScriptFunctionsTest, MappingsReachTheEnginesInputDevice) {
    runInit(R"(
function init()
    setKeyboardButtonMapping(3, 97)
    setKeyboardAxisMapping(1, 100, 97)
    local positive, negative = getKeyboardAxisMapping(1)
    print("mapped ", getKeyboardButtonMapping(3), " ", positive, " ", negative)
    print("state ", getInputButton(3), " ", getInputAxis(1), " ", getInputAxis(7))
end
)",
            "<game/>");
    EXPECT_TRUE(logHas("mapped 97 100 97\n")) << log.text();
    EXPECT_TRUE(logHas("state 0 0 0\n")) << log.text();
}

TEST_F(ApplicationScriptFunctionsTest, RestartStartsTheStoredCommandLineAndQuits) {
    const std::string marker = dir / "restarted";
    runInit("function init() restartApplication() end\n", "<game/>", "touch " + marker);
    EXPECT_TRUE(quitRequested);
    bool started = false;
    for (int i = 0; i < 100 && !started; ++i) {
        started = testsupport::fileExists(marker);
        if (!started) {
            platform::sleepMs(50);
        }
    }
    EXPECT_TRUE(started);
}

TEST_F(ApplicationScriptFunctionsTest, RestartThatCannotStartStillQuits) {
    runInit("function init() restartApplication() end\n", "<game/>",
            dir / "no such program -script main.lua");
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(logHas("Error: restartApplication")) << log.text();
}

}  // namespace
