#include <gtest/gtest.h>

#include <cstring>

#include "GameRunner.h"
#include "SoundTestFiles.h"

namespace {

using soundtest::level;

constexpr int kRate = 44100;

// The log's error lines, less those of files the test folder does not have
// (foundation scripts, the GPU reference list).
std::string errorLines(const std::string& log) {
    std::string errors;
    size_t at = 0;
    while ((at = log.find("Error", at)) != std::string::npos) {
        size_t end = log.find('\n', at);
        std::string line = log.substr(at, end - at);
        if (line.find("shared/") == std::string::npos) {
            errors += line + "\n";
        }
        at = end;
    }
    return errors;
}

std::string gameXml(bool audio) {
    return std::string(
               "<game>\n"
               "  <logging><file filename=\"game.log\" enable=\"true\"/></logging>\n"
               "  <audio enable=\"") +
           (audio ? "true" : "false") +
           "\"/>\n"
           "  <graphic><display><width>160</width><height>120</height></display></graphic>\n"
           "</game>\n";
}

class AudioGame : public ::testing::Test {
protected:
    AudioGame() : m_game(gameXml(true)) {
        writeTone("tone.wav", 440.0, 1.5);
        writeTone("blip.wav", 880.0, 0.2);
        m_game.writeProgramFile(
            "music.ogg", soundtest::oggBytes(soundtest::tone(660.0, 2.0, kRate, 1), 1, kRate));
        m_game.writeProgramFile("alsoft.conf", soundtest::waveBackendConfig(mixPath()));
    }
    void writeTone(const std::string& name, double hz, double seconds) {
        m_game.writeProgramFile(
            name, soundtest::waveBytes(soundtest::tone(hz, seconds, kRate, 1), 1, kRate));
    }
    std::string mixPath() const { return m_game.programFolder() + "mix.wav"; }

    // Runs the script; the mix is complete once the game has exited.
    soundtest::Mix run(const std::string& script) {
        m_game.writeProgramFile("main.lua", script);
        auto result = m_game.run({"-script", "main.lua"},
                                 {{"ALSOFT_CONF", m_game.programFolder() + "alsoft.conf"}});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        m_log = testsupport::readFile(m_game.userFolder() + "game.log");
        soundtest::Mix mix;
        EXPECT_TRUE(soundtest::readMix(mixPath(), mix)) << m_log;
        return mix;
    }

    GameRunner m_game;
    std::string m_log;
};

// The tones heard up to the end of the scene. When the game exits, the scene
// goes (and its sources stop) before the window and the sound device close;
// the device mixes silence until it is closed, for as long as the shutdown
// takes on a busy machine. That silence says nothing about the run.
std::vector<double> tonesUntilExit(const std::vector<soundtest::Phase>& heard) {
    std::vector<double> tones = soundtest::toneSequence(heard);
    if (!tones.empty() && tones.back() == 0.0) {
        tones.pop_back();
    }
    return tones;
}

// Scripts play a looping sample, stop it, stream music and pause it.
TEST_F(AudioGame, SamplesAndMusicReachTheMix) {
    soundtest::Mix mix = run(R"(
function init()
    tone = createSample("tone")
    loadSample(tone, "tone.wav", false)
    print("duration ", getSampleDuration(tone))
    playSample(tone, 0, 1.0, 0)
    music = createStreamedSample("music")
    loadStreamedSample(music, "music.ogg")
    step = 0
    addTimer(400, "nextStep")
end
function nextStep()
    step = step + 1
    if step == 1 then
        -- The stream decodes its first buffers before it starts: stopping
        -- the tone after that leaves no gap, however long the decoding took.
        playStreamedSample(music)
        stopSample(tone)
    elseif step == 2 then
        pauseStreamedSample(music)
    else
        requestExit()
        return false
    end
    return true
end
)");
    EXPECT_NE(m_log.find("Sound\n  Driver: OpenAL\n  Device: "), std::string::npos) << m_log;
    EXPECT_NE(m_log.find("duration 1500\n"), std::string::npos) << m_log;
    EXPECT_EQ(errorLines(m_log), "");
    // Game timers run on frame time, which a busy machine stretches: the
    // mix is checked as a sequence of phases, not at fixed times.
    EXPECT_EQ(soundtest::toneSequence(soundtest::phases(mix, {440.0, 660.0})),
              (std::vector<double>{440.0, 660.0, 0.0}));
}

// An audio source far from the camera is silent; moved into its range it
// sounds, and to the right of the camera it is louder on the right. A short
// marker sample tells where the run began.
TEST_F(AudioGame, AnAudioSourceSoundsOnceTheCameraIsInItsRange) {
    soundtest::Mix mix = run(R"(
function init()
    source = createAudioSource("source", "tone.wav", 10, 1, 1, 0)
    link(getRootNode(), source)
    setTranslation(source, 0, 0, -20)
    print("has sample ", getAudioSourceSample(source) ~= 0)
    marker = createSample("marker")
    loadSample(marker, "blip.wav", false)
    playSample(marker, 1, 1.0, 0)
    addTimer(600, "moveIn")
end
function moveIn()
    setTranslation(source, 2, 0, -2)
    addTimer(500, "quit")
    return false
end
function quit()
    requestExit()
    return false
end
)");
    EXPECT_NE(m_log.find("has sample true\n"), std::string::npos) << m_log;
    soundtest::Mix right;
    ASSERT_TRUE(soundtest::readMix(mixPath(), right, 1));
    std::vector<soundtest::Phase> heard = soundtest::phases(right, {440.0, 880.0});
    ASSERT_EQ(tonesUntilExit(heard), (std::vector<double>{880.0, 0.0, 440.0}));
    // The marker stops by itself, the source only when the scene goes.
    const soundtest::Phase& source = heard[2];
    EXPECT_GT(source.to - source.from, 0.3);
    EXPECT_GT(level(right, source.from, source.to),
              2.0 * level(mix, source.from, source.to) + 100.0);
}

// An "AudioSource" element of a scene file becomes an audio source node
// that sounds once the camera is inside its range.
TEST_F(AudioGame, SceneFilesCarryAudioSources) {
    m_game.writeProgramFile("scene.i3d", R"(<?xml version="1.0" encoding="iso-8859-1"?>
<i3D name="sounds" version="1.5">
  <Files><File name="tone" filename="tone.wav"/></Files>
  <Scene>
    <AudioSource name="speaker" file="tone" range="10" volume="1" loops="0"
                 translation="0 0 -30"/>
  </Scene>
</i3D>
)");
    soundtest::Mix mix = run(R"(
function init()
    scene = loadI3DFile("scene.i3d")
    link(getRootNode(), scene)
    speaker = getChild(scene, "speaker")
    print("scene sample ", getAudioSourceSample(speaker) ~= 0)
    marker = createSample("marker")
    loadSample(marker, "blip.wav", false)
    playSample(marker, 1, 1.0, 0)
    addTimer(500, "moveIn")
end
function moveIn()
    setTranslation(speaker, 0, 0, -2)
    addTimer(500, "quit")
    return false
end
function quit()
    requestExit()
    return false
end
)");
    EXPECT_NE(m_log.find("scene sample true\n"), std::string::npos) << m_log;
    EXPECT_EQ(errorLines(m_log), "");
    // The marker, silence while the speaker is out of range, then its tone:
    // told by what the mix holds, not by when (a busy machine stretches the
    // start and the timers).
    EXPECT_EQ(tonesUntilExit(soundtest::phases(mix, {440.0, 880.0})),
              (std::vector<double>{880.0, 0.0, 440.0}));
}

// With audio off, and with audio on where no device opens, every audio
// script call works on the silent device.
TEST(AudioOff, EveryAudioScriptCallWorksOnTheSilentDevice) {
    const std::string script = R"(
function init()
    local s = createSample("s")
    loadSample(s, "tone.wav", true)
    playSample(s, 0, 0.5, 100)
    setSamplePitch(s, 1.5)
    setSampleVolume(s, 0.7)
    print("duration ", getSampleDuration(s))
    stopSample(s)
    local m = createStreamedSample("m")
    loadStreamedSample(m, "music.ogg")
    playStreamedSample(m)
    pauseStreamedSample(m)
    resumeStreamedSample(m)
    stopStreamedSample(m)
    local a = createAudioSource("a", "tone.wav", 10, 1, 1, 0)
    link(getRootNode(), a)
    print("source sample ", getAudioSourceSample(a) ~= 0)
    delete(s)
    delete(m)
    frames = 0
end
function update(dt)
    frames = frames + 1
    if frames == 20 then requestExit() end
end
)";
    struct Case {
        bool audio;
        const char* conf;
        const char* logged;
    };
    for (const Case& c : {Case{false, nullptr, "Sound\n  Driver: NULL\n"},
                          Case{true, "[general]\ndrivers = nosuchbackend\n",
                               "Error: No OpenAL sound device could be opened\n"
                               "Warning: No sound device available, sound is off\n"}}) {
        SCOPED_TRACE(c.audio);
        GameRunner game(gameXml(c.audio));
        game.writeProgramFile(
            "tone.wav", soundtest::waveBytes(soundtest::tone(440.0, 0.5, kRate, 1), 1, kRate));
        game.writeProgramFile("music.ogg",
                              soundtest::oggBytes(soundtest::tone(440.0, 0.5, kRate, 1), 1, kRate));
        game.writeProgramFile("main.lua", script);
        std::map<std::string, std::string> env;
        if (c.conf != nullptr) {
            game.writeProgramFile("alsoft.conf", c.conf);
            env["ALSOFT_CONF"] = game.programFolder() + "alsoft.conf";
        }
        auto result = game.run({"-script", "main.lua"}, env);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        std::string log = testsupport::readFile(game.userFolder() + "game.log");
        const size_t logged = log.find(c.logged);
        ASSERT_NE(logged, std::string::npos) << log;
        EXPECT_NE(log.find("Sound\n  Driver: NULL\n"), std::string::npos) << log;
        // Apart from the device's own report no audio call logs an error.
        log.erase(logged, std::strlen(c.logged));
        EXPECT_NE(log.find("duration 0\n"), std::string::npos) << log;
        EXPECT_NE(log.find("source sample true\n"), std::string::npos) << log;
        EXPECT_EQ(errorLines(log), "");
    }
}

}  // namespace
