#include <gtest/gtest.h>

#include <SDL.h>

#include <memory>

#include "CapturingLogSink.h"
#include "InProcessStartup.h"
#include "TestSupport.h"
#include "animation/CharacterSet.h"
#include "app/EngineApplication.h"
#include "app/EngineManager.h"
#include "app/Startup.h"
#include "app/StatsOverlay.h"
#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"
#include "foundation/TimerScheduler.h"
#include "foundation/XMLConfigFile.h"
#include "scene/SceneRenderContext.h"
#include "scene/TransformGroup.h"

namespace {

const char* const kScript = R"(
function update(dt) print("update") end
function keyEvent(unicode, sym, modifier, isDown) print("key " .. sym .. " " .. tostring(isDown)) end
function mouseEvent(x, y, isDown, isUp, button) print("mouse " .. x .. " " .. y .. " " .. button) end
)";

// An engine built in this process over a temporary program folder.
class EngineApplicationTest : public ::testing::Test {
protected:
    // settings: more XML inside the configuration's <game> element.
    void start(bool developmentControls, const std::string& settings = "") {
        testsupport::writeFile(dir / "main.lua", kScript);
        testsupport::writeFile(dir / "game.xml", std::string("<game><development><controls>") +
                                                     (developmentControls ? "true" : "false") +
                                                     "</controls></development>" + settings +
                                                     "</game>");
        testsupport::writePhysicsConfig(dir.path());
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        config = std::make_unique<XMLConfigFile>(dir / "game.xml", "ConfigFile", false);
        StartupParameters params = inProcessStartup(*config, dir.path());
        Log::get().addSink(&log);
        app = std::make_unique<EngineApplication>(params);
        ASSERT_EQ(app->getStartupExitCode(), 0);
        log.take();
    }
    void TearDown() override {
        app.reset();
        Log::get().removeSink(&log);
        FileSystem::clearFileLoaders();
        TimerScheduler::get().reset();
    }

    testsupport::TempDir dir;
    std::unique_ptr<XMLConfigFile> config;
    std::unique_ptr<EngineApplication> app;
    testsupport::CapturingLogSink log;
};

// The scene's console values act on the scene render context; F4 and F5
// switch the renderer's wire frames and debug drawing; the render page comes
// first.
TEST_F(EngineApplicationTest, SceneConsoleValuesAndDebugKeys) {
    start(true);
    SceneEnvironment& environment = EngineManager::get().getSceneRenderContext()->environment;
    auto run = [this](std::vector<std::string> tokens) {
        IConsoleCommand* command = app->console.findCommand(tokens[0]);
        EXPECT_NE(command, nullptr) << tokens[0];
        return command ? command->execute(tokens) : std::string();
    };
    run({"globalCullOverride", "true"});
    EXPECT_TRUE(environment.globalCullOverride);
    run({"globalClipDistance", "250"});
    EXPECT_EQ(environment.globalClipDistance, 250.0f);
    run({"sortGeometry", "false"});
    EXPECT_FALSE(environment.sortGeometry);
    EXPECT_TRUE(environment.instancing);
    run({"instancing", "false"});
    EXPECT_FALSE(environment.instancing);
    run({"ambient", "0.5", "0.25", "1"});
    EXPECT_EQ(environment.ambientColor.x, 0.5f);
    EXPECT_EQ(environment.ambientColor.y, 0.25f);
    EXPECT_EQ(environment.ambientColor.z, 1.0f);
    // Two numbers change nothing.
    run({"ambient", "0", "0"});
    EXPECT_EQ(environment.ambientColor.x, 0.5f);

    std::vector<uint32_t> flags;
    for (int press = 0; press < 5; ++press) {
        app->keyEvent(0, AppKey::F5, 0, true);
        flags.push_back(environment.debugFlags);
    }
    EXPECT_EQ(flags, (std::vector<uint32_t>{22, 64, 2, 8, 0}));
    app->keyEvent(0, AppKey::F4, 0, true);
    EXPECT_TRUE(environment.wireFrame);
    EXPECT_TRUE(app->runFrame());
    app->keyEvent(0, AppKey::F4, 0, true);
    EXPECT_FALSE(environment.wireFrame);

    app->keyEvent(0, AppKey::F8, 0, true);
    auto* page = dynamic_cast<RenderStats*>(StatsOverlayList::get().getSelected());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->text().rfind("Render stats\n\nNum objects:   0\n", 0), 0u) << page->text();
}

TEST_F(EngineApplicationTest, DevelopmentKeysOffStillReachTheScript) {
    start(false);
    app->keyEvent(0, AppKey::F2, 0, true);
    EXPECT_FALSE(app->showFps);
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    EXPECT_FALSE(app->console.isVisible());
    EXPECT_EQ(log.text(), "key 283 true\nkey 96 true\n");
}

TEST_F(EngineApplicationTest, DevelopmentKeys) {
    start(true);
    app->keyEvent(0, AppKey::F2, 0, true);
    EXPECT_TRUE(app->showFps);
    app->keyEvent(0, AppKey::F2, 0, false);  // key up: no action
    EXPECT_TRUE(app->showFps);
    app->keyEvent(0, AppKey::F6, 0, true);
    EXPECT_FALSE(app->frameLimiterOn);
    app->keyEvent(0, AppKey::F8, 0, true);
    EXPECT_EQ(StatsOverlayList::get().getSelectedIndex(), 1);
    app->keyEvent(0, AppKey::F11, 0, true);
    EXPECT_TRUE(app->profilerHistory);
    // F9 draws the physics world's wire frames, whose page is the fifth.
    app->keyEvent(0, AppKey::F9, 0, true);
    EXPECT_TRUE(EngineManager::get().getPhysicsDebugLines());
    EXPECT_EQ(StatsOverlayList::get().size(), 5u);

    // The console takes the keys while it is visible.
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    EXPECT_TRUE(app->console.isVisible());
    for (char c : std::string("exit")) {
        app->keyEvent(static_cast<uint16_t>(c), c, 0, true);
    }
    EXPECT_EQ(app->console.getInputLine(), "exit");
    app->keyEvent(13, 13, 0, true);
    EXPECT_TRUE(app->exitRequested);
    EXPECT_FALSE(app->runFrame());  // the loop stops at the top of the next iteration
    EXPECT_NE(log.text().find("key 283 true\nkey 283 false\n"), std::string::npos) << log.text();
}

TEST_F(EngineApplicationTest, MouseEventsReachTheScript) {
    start(false);
    app->mouseEvent(0.25f, 0.75f, true, false, 1);
    EXPECT_EQ(log.text(), "mouse 0.25 0.75 1\n");
}

TEST_F(EngineApplicationTest, WindowEventsReachTheScriptBeforeUpdate) {
    start(false, "<input><keyboard enable=\"true\"/><mouse enable=\"true\"/></input>");
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_F1;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    SDL_Event click{};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.button = SDL_BUTTON_LEFT;
    click.button.x = 400;  // the middle of the 800 x 600 window
    click.button.y = 150;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    EXPECT_TRUE(app->runFrame());
    EXPECT_EQ(log.text(), "key 282 true\nmouse 0.5 0.75 1\nupdate\n");
}

struct LoggingTimer : ActionListener {
    void actionPerformed(void*, int, int32_t, int32_t) override { Log::get() << "timer\n"; }
};

TEST_F(EngineApplicationTest, TimerDueThisFrameFiresBeforeUpdate) {
    start(false);
    LoggingTimer timer;
    TimerScheduler::get().scheduleIn(&timer, 0.0);
    EXPECT_TRUE(app->runFrame());
    EXPECT_EQ(log.text(), "timer\nupdate\n");
    EXPECT_TRUE(app->runFrame());
    EXPECT_EQ(log.text(), "timer\nupdate\nupdate\n");
}

// The subdivision values typed into the console steer the scene render
// context; F3 steps every character set to its next clip, which the frame
// loop then plays and the animation page names.
TEST_F(EngineApplicationTest, SubdivisionConsoleValuesAndTheClipKey) {
    start(true);
    auto type = [this](const std::string& line) {
        for (char c : line) {
            app->keyEvent(static_cast<uint16_t>(c), c, 0, true);
        }
        app->keyEvent(13, 13, 0, true);
    };
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    type("subdsMaxLevel 2");
    type("subdsLevelOverride 7");  // out of range: kept at 0
    type("showControlMeshSubds 1");
    type("subdsActiveDistance 80");
    app->keyEvent('`', AppKey::BackQuote, 0, true);
    const SubDsSettings& subds = EngineManager::get().getSceneRenderContext()->subds;
    EXPECT_EQ(subds.maxLevel, 2);
    EXPECT_EQ(subds.levelOverride, 0);
    EXPECT_TRUE(subds.showControlMesh);
    EXPECT_EQ(subds.activeDistance, 80.0f);

    auto* bone = new TransformGroup("bone");
    EngineManager::get().getRootNode()->addChild(bone);
    auto* set = new CharacterSet("walker");  // held by the bone once bound
    for (float x : {1.0f, 2.0f}) {
        Clip& clip = set->getSource().addClip(std::make_unique<Clip>("pose", 100.0f));
        Keyframe key;
        key.attributes = KeyframeAttribute::Translation;
        key.translation = {x, 0, 0};
        clip.addTrack().addKeyframe(key);
        clip.getTrack(0).finish();
    }
    ASSERT_TRUE(set->bind({bone}));
    app->keyEvent(0, AppKey::F3, 0, true);
    app->keyEvent(0, AppKey::F3, 0, true);
    EXPECT_EQ(set->getActiveClip(), 1);
    EXPECT_TRUE(app->runFrame());
    EXPECT_EQ(bone->getTranslation(), Vector3(2, 0, 0));
    EXPECT_NE(AnimationStats::text().find("walker (active2/2)\n Transforms: bone\n"),
              std::string::npos)
        << AnimationStats::text();
}

TEST_F(EngineApplicationTest, StartupCreatesTheRootAndTheDefaultCamera) {
    start(false);
    EngineManager& engine = EngineManager::get();
    ASSERT_NE(engine.getRootNode(), nullptr);
    EXPECT_EQ(engine.getRootNode()->getName(), "RootNode");
    ASSERT_EQ(engine.getRootNode()->getNumChildren(), 1u);
    EXPECT_EQ(engine.getRootNode()->getChildAt(0)->getName(), "default camera");
}

TEST_F(EngineApplicationTest, MainWindowFromTheDisplayDefaultsClearedEveryFrame) {
    start(false);
    IRenderWindow* window = EngineManager::get().getRenderWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(app->renderWindow, window);
    EXPECT_EQ(window->getWidth(), 800);
    EXPECT_EQ(window->getHeight(), 600);
    EXPECT_FALSE(window->isFullScreen());

    // What the frame draws starts from a black, cleared back buffer.
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    app->renderDevice->clear(CLEAR_COLOUR, red, 1.0f, 0);
    app->render();
    std::vector<uint8_t> pixels(window->getPixelBufferSize());
    window->readPixels(pixels.data());
    size_t centre = (300 * 800 + 400) * 3;
    EXPECT_EQ(pixels[centre], 0);
    EXPECT_EQ(pixels[centre + 1], 0);
    EXPECT_EQ(pixels[centre + 2], 0);
}

TEST_F(EngineApplicationTest, DeviceErrorIsLoggedAfterEverySwapUntilACallSucceeds) {
    start(false);
    ASSERT_TRUE(app->runFrame());
    EXPECT_EQ(log.text().find("RenderDevice "), std::string::npos) << log.text();
    // A render texture without a colour texture leaves error 1.
    EXPECT_EQ(app->renderDevice->createRenderTexture(RenderTextureDesc()), nullptr);
    ASSERT_TRUE(app->runFrame());
    ASSERT_TRUE(app->runFrame());
    const std::string line = "RenderDevice ERROR UNKNOWN\n";
    size_t first = log.text().find(line);
    ASSERT_NE(first, std::string::npos) << log.text();
    EXPECT_NE(log.text().find(line, first + 1), std::string::npos) << log.text();
    log.take();
    app->renderDevice->createVertexBuffer(16, nullptr, BU_STATIC);
    ASSERT_TRUE(app->runFrame());
    EXPECT_EQ(log.text().find("RenderDevice "), std::string::npos) << log.text();
}

TEST_F(EngineApplicationTest, TexturesAreResourcesOfTypeZero) {
    start(false);
    ResourceLoader* loader = ResourceManager::instance().getLoader(ResourceType::Texture);
    ASSERT_NE(loader, nullptr);
    std::unique_ptr<Resource> texture = loader->create("rock.png");
    EXPECT_STREQ(texture->getClassName(), "Texture");
    EXPECT_EQ(texture->getType(), ResourceType::Texture);
}

}  // namespace
