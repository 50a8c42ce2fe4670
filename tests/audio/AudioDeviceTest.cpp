// What samples and music streams put into the mix of the OpenAL device.

#include <cmath>

#include "AudioFixture.h"
#include "audio/Sample.h"

namespace {

using soundtest::firstSound;
using soundtest::frequency;
using soundtest::level;
using soundtest::Phase;
using soundtest::phases;
using soundtest::toneSequence;

using AudioDevice = AudioFixture;

TEST_F(AudioDevice, SamplesSoundAtTheirFrequencyTimesTheClampedPitch) {
    writeTone("tone.wav", 440.0, 1.5);
    for (auto [pitch, heard] :
         {std::pair{1.0f, 440.0}, {2.0f, 880.0}, {3.0f, 880.0}, {0.1f, 220.0}}) {
        SCOPED_TRACE(pitch);
        if (SoundDevice::get() == nullptr) {
            SoundDevice::set(createOpenALSoundDevice(OpenALDeviceKind::GenericSoftware));
        }
        {
            Sample sample("tone");
            ASSERT_TRUE(sample.load("tone.wav", false));
            EXPECT_FLOAT_EQ(sample.getDuration(), 1500.0f);
            sample.setPitch(pitch);
            sample.play(1, 1.0f, 0.0f);
            wait(400);
        }
        soundtest::Mix mix = finish();
        double start = firstSound(mix);
        ASSERT_GE(start, 0.0);
        EXPECT_NEAR(frequency(mix, start + 0.05, start + 0.3), heard, heard * 0.02);
    }
}

TEST_F(AudioDevice, LoopCountZeroLoopsUntilStoppedAndAnyOtherPlaysOnce) {
    writeTone("short.wav", 440.0, 0.2);
    auto looping = std::make_unique<Sample>("looping");
    ASSERT_TRUE(looping->load("short.wav", false));
    looping->play(0, 1.0f, 0.0f);
    wait(700);
    looping->stop();
    wait(300);
    looping.reset();
    soundtest::Mix mix = finish();
    // A 0.2 s sound heard for as long as the loop ran, then silence.
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0, 0.0}));
    EXPECT_GT(heard[0].to - heard[0].from, 0.55);
    EXPECT_GT(heard[1].to - heard[1].from, 0.2);

    SoundDevice::set(createOpenALSoundDevice(OpenALDeviceKind::GenericSoftware));
    Sample once("once");
    ASSERT_TRUE(once.load("short.wav", false));
    once.play(3, 1.0f, 0.0f);
    wait(600);
    mix = finish();
    double start = firstSound(mix);
    ASSERT_GE(start, 0.0);
    EXPECT_GT(level(mix, start + 0.05, start + 0.15), kSounding);
    EXPECT_LT(level(mix, start + 0.3, start + 0.5), kSilent);
}

TEST_F(AudioDevice, ADelayStartsPlaybackThatFarIntoTheSound) {
    // 1.5 s at 440 Hz, then 880 Hz.
    std::vector<int16_t> samples = soundtest::tone(440.0, 1.5, kRate, 1);
    std::vector<int16_t> high = soundtest::tone(880.0, 0.5, kRate, 1);
    samples.insert(samples.end(), high.begin(), high.end());
    testsupport::writeFile(m_files / "two.wav", soundtest::waveBytes(samples, 1, kRate));
    Sample sample("two");
    ASSERT_TRUE(sample.load("two.wav", false));
    EXPECT_FLOAT_EQ(sample.getDuration(), 2000.0f);
    sample.play(1, 1.0f, 1500.0f);
    wait(300);
    soundtest::Mix mix = finish();
    double start = firstSound(mix);
    ASSERT_GE(start, 0.0);
    EXPECT_NEAR(frequency(mix, start + 0.02, start + 0.2), 880.0, 18.0);
}

TEST_F(AudioDevice, MusicStreamsPausesResumesAndStaysStoppedAfterStop) {
    writeOgg("music.ogg", 440.0, 3.0);
    StreamedSample music("music");
    ASSERT_TRUE(music.load("music.ogg"));
    ASSERT_TRUE(music.play());
    wait(500);
    ASSERT_TRUE(music.pause());
    wait(400);
    EXPECT_FALSE(music.getSource()->isPlaying());
    ASSERT_TRUE(music.resume());
    wait(400);
    music.stop();
    // The updates that follow do not restart a stopped stream.
    wait(500);
    EXPECT_FALSE(music.getSource()->isPlaying());
    soundtest::Mix mix = finish();
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0, 0.0, 440.0, 0.0}));
    EXPECT_GT(heard[1].to - heard[1].from, 0.3);
    EXPECT_GT(heard[3].to - heard[3].from, 0.4);
}

TEST_F(AudioDevice, MusicKeepsItsLevelWhereverTheListenerGoes) {
    writeOgg("music.ogg", 440.0, 2.0);
    StreamedSample music("music");
    ASSERT_TRUE(music.load("music.ogg"));
    ASSERT_TRUE(music.play());
    wait(300);
    device().setListenerPosition({500.0f, 0.0f, 0.0f});
    wait(300);
    soundtest::Mix mix = finish();
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0}));
    const Phase& music440 = heard[0];
    ASSERT_GT(music440.to - music440.from, 0.5);
    const double before = level(mix, music440.from + 0.02, music440.from + 0.15);
    EXPECT_GT(before, kSounding);
    EXPECT_NEAR(level(mix, music440.to - 0.15, music440.to - 0.02) / before, 1.0, 0.1);
}

TEST_F(AudioDevice, AStreamPlaysTwiceThenEndsWithoutReplayingItsLastChunk) {
    writeOgg("short.ogg", 440.0, 0.3);
    StreamedSample music("music");
    ASSERT_TRUE(music.load("short.ogg"));
    ASSERT_TRUE(music.play());
    wait(1600);
    EXPECT_FALSE(music.getSource()->isPlaying());
    soundtest::Mix mix = finish();
    // Each pass ends with the silent tail of its last quarter-second chunk;
    // after the second nothing more is heard.
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0, 0.0, 440.0, 0.0}));
    EXPECT_NEAR(heard[0].to - heard[0].from, 0.3, 0.06);
    EXPECT_NEAR(heard[2].to - heard[2].from, 0.3, 0.06);
    EXPECT_GT(heard[3].to - heard[3].from, 0.5);
}

TEST_F(AudioDevice, WaveFilesAreRefusedForMusicAndErrorsAreLogged) {
    writeTone("tone.wav", 440.0, 0.2);
    StreamedSample music("music");
    EXPECT_FALSE(music.play());
    EXPECT_FALSE(music.load("tone.wav"));
    EXPECT_FALSE(music.isLoaded());
    std::string log = m_log.take();
    EXPECT_NE(log.find("Error: Can't play, no background music file loaded.\n"), std::string::npos);
    EXPECT_NE(log.find("Error: Background music file tone.wav refused: music is streamed from Ogg "
                       "Vorbis files (.ogg or .oga) only; a wave file plays as a sample\n"),
              std::string::npos)
        << log;
    writeTone("tone.snd", 440.0, 0.2);
    EXPECT_FALSE(music.load("tone.snd"));
    EXPECT_NE(m_log.take().find("refused: music is streamed from Ogg Vorbis files (.ogg or .oga) "
                                "only; sounds are Ogg Vorbis (.ogg or .oga) and PCM wave (.wav)\n"),
              std::string::npos);
    testsupport::writeFile(m_files / "noise.oga", std::string(5000, 'x'));
    EXPECT_FALSE(music.load("noise.oga"));
    EXPECT_NE(m_log.take().find("Error: Sound file noise.oga refused: no Ogg Vorbis stream"),
              std::string::npos);
    writeOgg("music.ogg", 440.0, 0.5);
    ASSERT_TRUE(music.load("music.ogg"));
    EXPECT_FALSE(music.load("music.ogg"));
    EXPECT_NE(m_log.take().find("Error: Background music file already loaded"), std::string::npos);

    Sample sample("sample");
    EXPECT_FALSE(sample.load("missing.wav", true));
    EXPECT_NE(m_log.take().find("Error: Can't load sample missing.wav. \n"), std::string::npos);
    ASSERT_TRUE(sample.load("tone.wav", true));
    EXPECT_FALSE(sample.load("music.ogg", true));
    EXPECT_EQ(sample.getFileName(), "tone.wav");
    EXPECT_NE(m_log.take().find("Error: Sample file already loaded"), std::string::npos);
}

TEST_F(AudioDevice, ReloadingASampleInUseKeepsItsBufferUntilTheSourceGoes) {
    writeTone("tone.wav", 440.0, 0.3);
    auto sample = std::make_unique<Sample>("tone");
    ASSERT_TRUE(sample->load("tone.wav", false));
    sample->play(0, 1.0f, 0.0f);
    wait(200);
    // The file changes and is reloaded while the sample loops over it.
    writeTone("tone.wav", 660.0, 0.3);
    ASSERT_TRUE(ResourceManager::instance().reload("tone.wav"));
    wait(400);
    EXPECT_TRUE(sample->getSource()->isPlaying());
    Sample fresh("fresh");
    ASSERT_TRUE(fresh.load("tone.wav", false));
    EXPECT_NE(fresh.getSource()->getBuffer(), sample->getSource()->getBuffer());
    sample.reset();
    soundtest::Mix mix = finish();
    double start = firstSound(mix);
    ASSERT_GE(start, 0.0);
    EXPECT_NEAR(frequency(mix, start + 0.3, start + 0.55), 440.0, 9.0);
}

TEST_F(AudioDevice, BuffersWithoutAFrequencyOrAKnownFormatAreRefused) {
    const uint8_t data[8] = {};
    AudioBufferDesc desc;
    desc.data = data;
    desc.size = sizeof(data);
    desc.format = SoundFormat::Mono16;
    desc.frequency = 0;
    EXPECT_FALSE(device().createBuffer(desc));
    desc.frequency = 22050;
    desc.format = 7;
    EXPECT_FALSE(device().createBuffer(desc));
    desc.format = SoundFormat::Stereo16;
    desc.size = 6;  // not whole frames
    EXPECT_FALSE(device().createBuffer(desc));
    EXPECT_EQ(m_log.count("Error: Creating Sound buffer (OpenAL)\n"), 3u);
    desc.size = 8;
    RefPtr<IAudioBuffer> buffer = device().createBuffer(desc);
    ASSERT_TRUE(buffer);
    EXPECT_FLOAT_EQ(buffer->getDurationMs(), 2000.0f / 22050.0f);
    EXPECT_FALSE(device().createSource(AudioSourceDesc{}));
}

TEST_F(AudioDevice, SamplesThatOutliveTheDeviceFallSilentWithoutHarm) {
    writeTone("tone.wav", 440.0, 0.3);
    writeOgg("music.ogg", 440.0, 0.5);
    Sample sample("tone");
    StreamedSample music("music");
    ASSERT_TRUE(sample.load("tone.wav", true));
    ASSERT_TRUE(music.load("music.ogg"));
    sample.play(0, 1.0f, 0.0f);
    music.play();
    SoundDevice::set(nullptr);
    sample.play(0, 1.0f, 0.0f);
    sample.setPitch(2.0f);
    sample.stop();
    music.play();
    music.stop();
    EXPECT_FALSE(sample.getSource()->isPlaying());
    EXPECT_FALSE(music.getSource()->isPlaying());
}

}  // namespace
