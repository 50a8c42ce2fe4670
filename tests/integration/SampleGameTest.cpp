// The sample game in data/ plays its scripted drive offscreen: it drives,
// gets out and walks. Its sounds are replaced by tones the test can tell apart in the
// mix (the program folder is searched before the sample's data folder):
// the engine a 100 Hz tone, whose pitch the game moves with the speed, the
// music 660 Hz, the rain and the birds silent.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "Bitmap.h"
#include "GameRunner.h"
#include "SoundTestFiles.h"

namespace {

constexpr int kRate = 44100;

// Power of one frequency over the whole mix (Goertzel), per sample.
double power(const soundtest::Mix& mix, double hz) {
    const double coeff = 2.0 * std::cos(2.0 * M_PI * hz / mix.rate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (int16_t sample : mix.samples) {
        const double s0 = sample + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double p = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return p / static_cast<double>(mix.samples.size() * mix.samples.size());
}

// The strongest power over a band, in 1 Hz steps.
double bandPower(const soundtest::Mix& mix, double fromHz, double toHz) {
    double best = 0.0;
    for (double hz = fromHz; hz <= toHz; hz += 1.0) {
        best = std::max(best, power(mix, hz));
    }
    return best;
}

std::string gameXml() {
    return "<game>\n"
           "  <development><controls>true</controls></development>\n"
           "  <logging><file filename=\"game.log\" enable=\"true\"/></logging>\n"
           "  <audio enable=\"true\"/>\n"
           "  <graphic><display><width>320</width><height>240</height></display></graphic>\n"
           "</game>\n";
}

TEST(SampleGame, ScriptedDriveMovesTheVehicleAndTheWalkerInTheRainWithSound) {
    GameRunner game(gameXml());
    game.writeProgramFile("sounds/engine.wav",
                          soundtest::waveBytes(soundtest::tone(100.0, 1.0, kRate, 1), 1, kRate));
    const std::vector<int16_t> silence(kRate / 2, 0);
    game.writeProgramFile("sounds/rain.wav", soundtest::waveBytes(silence, 1, kRate));
    game.writeProgramFile("sounds/birds.wav", soundtest::waveBytes(silence, 1, kRate));
    game.writeProgramFile("music/theme.ogg",
                          soundtest::oggBytes(soundtest::tone(660.0, 8.0, kRate, 2), 2, kRate));
    const std::string mixPath = game.programFolder() + "mix.wav";
    game.writeProgramFile("alsoft.conf", soundtest::waveBackendConfig(mixPath));
    const std::string shots = game.userDataFolder() + "drive";

    auto result = game.run({"-script", "scripts/main.lua", "-base", DATA_FOLDER},
                           {{"ALSOFT_CONF", game.programFolder() + "alsoft.conf"},
                            {"SAMPLE_DRIVE_SECONDS", "9.5"},
                            {"SAMPLE_SHOT_PREFIX", shots},
                            {"SAMPLE_SHOT_EXTENSION", "bmp"}},
                           180000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_EQ(log.find("Error:"), std::string::npos) << log;
    EXPECT_NE(log.find("Sound\n  Driver: OpenAL\n"), std::string::npos) << log;

    // Dry at the start, then the rain's full drop count.
    const size_t dry = log.find("sample: rain 0 drops\n");
    ASSERT_NE(dry, std::string::npos) << log;
    EXPECT_NE(log.find("sample: rain 2000 drops\n", dry), std::string::npos) << log;

    // Driven along the track, then out of the vehicle and on foot.
    const size_t driven = log.find("sample: distance driven ");
    ASSERT_NE(driven, std::string::npos) << log;
    EXPECT_GT(std::atof(log.c_str() + driven + 24), 20.0) << log;
    EXPECT_NE(log.find("sample: on foot\n"), std::string::npos) << log;
    const size_t walked = log.find(", walked ", driven);
    ASSERT_NE(walked, std::string::npos) << log;
    EXPECT_GT(std::atof(log.c_str() + walked + 9), 3.0) << log;

    // Screenshots at 1.5, 5 and 9 s: the world drawn, not a flat colour.
    for (const char* time : {"1.5", "5", "9"}) {
        const std::string file = shots + "-" + time + "s.bmp";
        ASSERT_NE(log.find("sample: screenshot " + file + "\n"), std::string::npos) << log;
        Bitmap shot = readBmp(testsupport::readFile(file));
        ASSERT_EQ(shot.width, 320) << file;
        ASSERT_EQ(shot.height, 240) << file;
        int darkest = 255 * 3;
        int brightest = 0;
        for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
            const int sum = shot.rgb[i] + shot.rgb[i + 1] + shot.rgb[i + 2];
            darkest = std::min(darkest, sum);
            brightest = std::max(brightest, sum);
        }
        EXPECT_GT(brightest, 150) << file << " is black";
        EXPECT_GT(brightest - darkest, 120) << file << " is one colour";
    }

    // The music's tone and the engine's (somewhere between its idle and top
    // pitch) stand well above a band where nothing plays.
    soundtest::Mix mix;
    ASSERT_TRUE(soundtest::readMix(mixPath, mix)) << log;
    const double quiet = bandPower(mix, 1000.0, 1100.0);
    EXPECT_GT(power(mix, 660.0), 100.0 * quiet) << "no music in the mix";
    EXPECT_GT(bandPower(mix, 55.0, 200.0), 100.0 * quiet) << "no engine in the mix";
}

// The crowded scene of tools/bench-sample: the props file loads, the asked
// number of props stands on the terrain (none on the track, so the drive
// goes on as before) and the frame shows them.
TEST(SampleGame, PropsSceneScattersTheAskedNumberOfProps) {
    GameRunner game(gameXml());
    game.writeProgramFile("alsoft.conf",
                          soundtest::waveBackendConfig(game.programFolder() + "mix.wav"));
    const std::string shots = game.userDataFolder() + "props";
    auto result = game.run({"-script", "scripts/main.lua", "-base", DATA_FOLDER},
                           {{"ALSOFT_CONF", game.programFolder() + "alsoft.conf"},
                            {"SAMPLE_DRIVE_SECONDS", "2"},
                            {"SAMPLE_PROPS", "3000"},
                            {"SAMPLE_SHOT_PREFIX", shots},
                            {"SAMPLE_SHOT_EXTENSION", "bmp"}},
                           180000);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_EQ(log.find("Error:"), std::string::npos) << log;
    EXPECT_NE(log.find("sample: 3000 props\n"), std::string::npos) << log;
    const size_t driven = log.find("sample: distance driven ");
    ASSERT_NE(driven, std::string::npos) << log;
    EXPECT_GT(std::atof(log.c_str() + driven + 24), 1.0) << log;
    const std::string file = shots + "-1.5s.bmp";
    ASSERT_NE(log.find("sample: screenshot " + file + "\n"), std::string::npos) << log;
    Bitmap shot = readBmp(testsupport::readFile(file));
    ASSERT_EQ(shot.width, 320);
    int brightest = 0;
    for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
        brightest = std::max(brightest, shot.rgb[i] + shot.rgb[i + 1] + shot.rgb[i + 2]);
    }
    EXPECT_GT(brightest, 150) << file << " is black";
}

// Building `game` copies data/ beside it every time, so a change to the
// sample alone reaches the program folder that tools/run-sample starts.
TEST(SampleGame, TheProgramFolderHoldsTheCurrentSampleData) {
    std::string folder = GAME_EXECUTABLE;
    folder.erase(folder.rfind('/') + 1);
    for (const char* file :
         {"scripts/main.lua", "scenes/sample.i3d", "scenes/props.i3d", "physics.xml", "game.xml"}) {
        EXPECT_EQ(testsupport::readFile(folder + file),
                  testsupport::readFile(std::string(DATA_FOLDER "/") + file))
            << file << " in " << folder << " is not the one in data/";
    }
}

}  // namespace
