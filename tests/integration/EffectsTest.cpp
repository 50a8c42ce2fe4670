// Particle systems and precipitation in the running game: a scene file with
// a smoke emitter and rain, driven by a script through the effects' script
// functions; screenshots are probed where the script projected the scene.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"

namespace {

using testsupport::readFile;

// A 2 x 2 emitter square at the origin facing up; sprites rise 10 units in
// their life. Rain fills a 40 x 30 box around the camera. A directional
// light shines along -z, the way the camera looks.
const char* kScene = R"(<?xml version="1.0"?>
<i3D name="effects" version="1.5">
  <Materials>
    <Material name="smoke" alphaBlending="true"/>
    <Material name="drops"/>
  </Materials>
  <Shapes>
    <IndexedFaceSet name="pad">
      <Vertices><v c="-1 0 -1"/><v c="1 0 -1"/><v c="1 0 1"/><v c="-1 0 1"/></Vertices>
      <Faces shaderlist="smoke"><f vi="3 2 1 0" n="0 1 0 0 1 0 0 1 0 0 1 0"/></Faces>
    </IndexedFaceSet>
    <Precipitation name="rain" dropMaterial="drops" maxNumDrops="1500" boundsWidth="40"
                   boundsHeight="30" dropWidth="0.15" dropHeight="1.5"
                   dropMinVelocity="0.04" dropMaxVelocity="0.06"/>
  </Shapes>
  <Dynamics>
    <ParticleSystem name="smoke" emitterShape="pad" material="smoke" rate="0.05"
                    lifespan="1000" speed="0.01" spriteScaleX="1" spriteScaleY="1"/>
  </Dynamics>
  <Scene>
    <Dynamic name="chimney" ref="smoke"/>
    <Light name="sun" type="directional"/>
    <TransformGroup name="rig" translation="0 5 20">
      <Camera name="cam" fov="60" nearClip="0.5" farClip="500"/>
    </TransformGroup>
  </Scene>
</i3D>
)";

// The smoke alone (no rain): sprites above the pad, none below; emission
// stopped, the sprites age out.
const char* kSmokeScript = R"(
time = 0
shots = 0
function init()
    scene = loadI3DFile("scenes/effects.i3d")
    link(getRootNode(), scene)
    setCamera(getChild(getChild(scene, "rig"), "cam"))
    smoke = getGeometry(getChild(scene, "chimney"))
    print("smoke system " .. smoke)
end
function update(dt)
    time = time + dt
end
function draw()
    if shots == 0 and time > 1500 then
        shots = 1
        for _, p in ipairs({{"pad", 0, 0, 0}, {"above", 0, 8, 0}, {"below", 0, -4, 0}}) do
            local x, y = project(p[2], p[3], p[4])
            print(string.format("probe %s %.4f %.4f", p[1], x, y))
        end
        saveScreenshot(SHOT_ON)
        saveScreenshot(SHOT_ON_PNG)
        setEmittingState(smoke, false)
        stoppedAt = time
    elseif shots == 1 and time > stoppedAt + 1300 then
        shots = 2
        saveScreenshot(SHOT_OFF)
        requestExit()
    end
end
)";

// The rain alone: the camera travels 1000 units from the shape's origin;
// then the density goes to 0 and the drops fall out of the box.
const char* kRainScript = R"(
time = 0
shots = 0
function init()
    scene = loadI3DFile("scenes/effects.i3d")
    link(getRootNode(), scene)
    rig = getChild(scene, "rig")
    setCamera(getChild(rig, "cam"))
    setVisibility(getChild(scene, "chimney"), false)
    rain = getGeometry(getChild(scene, "weather"))
end
function update(dt)
    time = time + dt
    setTranslation(rig, time, 5, 20)
end
function draw()
    if shots == 0 and time > 1000 then
        shots = 1
        print(string.format("camera at %.0f", time))
        setWindVelocity(rain, 0.01, 0, 0)
        saveScreenshot(SHOT_ON)
        saveScreenshot(SHOT_ON_PNG)
        setDropCountScale(rain, 0)
        stoppedAt = time
    elseif shots == 1 and time > stoppedAt + 1200 then
        shots = 2
        saveScreenshot(SHOT_OFF)
        setDropCountScale(rain, 1)
    elseif shots == 2 and time > stoppedAt + 1500 then
        shots = 3
        saveScreenshot(SHOT_BACK)
        requestExit()
    end
end
)";

// Pixels brighter than the black background in a rectangle.
int brightPixels(const Bitmap& image, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) {
            const uint8_t* c = image.at(x, y);
            count += (c[0] > 60 && c[1] > 60 && c[2] > 60) ? 1 : 0;
        }
    }
    return count;
}

bool probe(const std::string& log, const char* name, const Bitmap& image, int& x, int& y) {
    const size_t at = log.find(std::string("probe ") + name + " ");
    float px = 0;
    float py = 0;
    if (at == std::string::npos ||
        std::sscanf(log.c_str() + at + 7 + std::string(name).size(), "%f %f", &px, &py) != 2) {
        return false;
    }
    x = static_cast<int>(px * image.width);
    y = static_cast<int>(py * image.height);
    return true;
}

class Effects : public ::testing::Test {
protected:
    void SetUp() override { game.writeSharedShaders(); }

    std::string run(const std::string& scene, const std::string& script) {
        game.writeProgramFile("scenes/effects.i3d", scene);
        std::string shots;
        for (const char* name : {"SHOT_ON", "SHOT_OFF", "SHOT_BACK"}) {
            shots += std::string(name) + " = \"" + shot(name) + "\"\n";
        }
        shots += "SHOT_ON_PNG = \"" + shot("SHOT_ON", ".png") + "\"\n";
        game.writeProgramFile("main.lua", shots + script);
        auto result = game.run({"-script", "main.lua"});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return readFile(game.userFolder() + "game.log");
    }
    // Screenshots to look at land in EFFECTS_SHOT_FOLDER when it is set.
    std::string shot(const std::string& name, const char* extension = ".bmp") const {
        if (std::string(extension) == ".png" && std::getenv("EFFECTS_SHOT_FOLDER") != nullptr) {
            return std::string(std::getenv("EFFECTS_SHOT_FOLDER")) + "/" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
        }
        return game.userDataFolder() + name + extension;
    }

    GameRunner game;
};

}  // namespace

TEST_F(Effects, SmokeRisesAboveItsEmitterAndAgesOutWhenStopped) {
    const std::string log = run(kScene, kSmokeScript);
    EXPECT_NE(log.find("smoke system "), std::string::npos) << log;
    EXPECT_EQ(log.find("smoke system 0"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error: ParticleSystem"), std::string::npos) << log;
    const Bitmap on = readBmp(readFile(shot("SHOT_ON")));
    const Bitmap off = readBmp(readFile(shot("SHOT_OFF")));
    ASSERT_GT(on.width, 0) << log;
    ASSERT_EQ(off.width, on.width) << log;
    int padX = 0, padY = 0, aboveX = 0, aboveY = 0, belowX = 0, belowY = 0;
    ASSERT_TRUE(probe(log, "pad", on, padX, padY)) << log;
    ASSERT_TRUE(probe(log, "above", on, aboveX, aboveY));
    ASSERT_TRUE(probe(log, "below", on, belowX, belowY));
    const int half = on.width / 20;
    // Sprites fill the column above the pad, and nothing lies below it.
    EXPECT_GT(brightPixels(on, padX - half, padY, padX + half, aboveY), 200);
    EXPECT_EQ(brightPixels(on, 0, 0, on.width, belowY), 0);
    // Stopped for longer than a life: every sprite is gone.
    EXPECT_EQ(brightPixels(off, 0, 0, off.width, off.height), 0);
}

TEST_F(Effects, RainFollowsTheCameraAndItsDensity) {
    std::string scene = kScene;
    const std::string camera = R"(<TransformGroup name="rig")";
    scene.insert(scene.find(camera), R"(<Shape name="weather" ref="rain"/>
    )");
    const std::string log = run(scene, kRainScript);
    EXPECT_NE(log.find("camera at "), std::string::npos) << log;
    EXPECT_EQ(log.find("Error: Precipitation"), std::string::npos) << log;
    const Bitmap on = readBmp(readFile(shot("SHOT_ON")));
    const Bitmap off = readBmp(readFile(shot("SHOT_OFF")));
    const Bitmap back = readBmp(readFile(shot("SHOT_BACK")));
    ASSERT_GT(on.width, 0) << log;
    ASSERT_EQ(off.width, on.width);
    ASSERT_EQ(back.width, on.width);
    // Streaks all over the view, a thousand units from where the rain
    // shape stands.
    const int all = on.width * on.height;
    const int streaks = brightPixels(on, 0, 0, on.width, on.height);
    EXPECT_GT(streaks, all / 100) << streaks;
    EXPECT_GT(brightPixels(on, 0, 0, on.width / 2, on.height), streaks / 5);
    EXPECT_GT(brightPixels(on, on.width / 2, 0, on.width, on.height), streaks / 5);
    // Density 0: the drops have left the box; back to 1: rain again.
    EXPECT_EQ(brightPixels(off, 0, 0, off.width, off.height), 0);
    EXPECT_GT(brightPixels(back, 0, 0, back.width, back.height), all / 100);
}
