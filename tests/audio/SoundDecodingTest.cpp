// Decoding of wave and Ogg Vorbis files, the mix-down to mono, stream chunk
// sizes and the range attenuation: the parts that need no sound output.

#include <gtest/gtest.h>

#include <cstring>

#include "CapturingLogSink.h"
#include "SoundTestFiles.h"
#include "TestSupport.h"
#include "audio/AudioOGGLoader.h"
#include "audio/ISoundDevice.h"
#include "audio/OpenALSoundDevice.h"
#include "audio/SoundDecoding.h"
#include "foundation/File.h"

namespace {

using soundtest::waveBytes;

class SoundDecoding : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 0));
    }
    void TearDown() override { FileSystem::clearFileLoaders(); }

    void write(const std::string& name, const std::string& bytes) {
        testsupport::writeFile(m_dir / name, bytes);
    }
    bool decode(const std::string& name, DecodedSound& sound) {
        return decodeSoundFile(name, sound);
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedLogCapture m_log;
};

std::vector<uint8_t> bytes(size_t count, uint8_t value = 0x40) {
    return std::vector<uint8_t>(count, value);
}

// Overwrites the 32-bit value at `at`.
std::string patch32(std::string file, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return file;
}

// Offsets in a file made by waveBytes with a 16-byte "fmt " chunk.
constexpr size_t kFmtSizeAt = 16;
constexpr size_t kDataSizeAt = 40;

TEST_F(SoundDecoding, WaveFilesOfEveryAcceptedLayoutGiveTheirFormatAndData) {
    struct Case {
        int channels, bits, fmtSize, format;
    };
    for (const Case& c :
         {Case{1, 8, 16, SoundFormat::Mono8}, Case{2, 8, 16, SoundFormat::Stereo8},
          Case{1, 16, 16, SoundFormat::Mono16}, Case{2, 16, 18, SoundFormat::Stereo16},
          Case{2, 16, 40, SoundFormat::Stereo16}, Case{1, 8, 40, SoundFormat::Mono8}}) {
        SCOPED_TRACE(testing::Message()
                     << c.channels << " ch " << c.bits << " bit fmt " << c.fmtSize);
        write("a.wav", waveBytes(bytes(400), c.channels, 22050, c.bits, c.fmtSize));
        DecodedSound sound;
        ASSERT_TRUE(decode("a.wav", sound)) << m_log.take();
        EXPECT_EQ(sound.format, c.format);
        EXPECT_EQ(sound.frequency, 22050);
        EXPECT_EQ(sound.channels, c.channels);
        EXPECT_EQ(sound.data, bytes(400));
    }
}

TEST_F(SoundDecoding, UnusableWaveFilesAreRefusedWithALogLine) {
    const std::string good = waveBytes(bytes(400), 1, 22050, 16);
    std::string noData = good.substr(0, 36);
    std::string oddChunk = good.substr(0, 36) + "LIST" + std::string("\x03\0\0\0abc\0", 8);
    oddChunk = patch32(oddChunk, 4, static_cast<uint32_t>(oddChunk.size() - 8));
    struct Case {
        const char* what;
        std::string file;
        const char* logged;
    };
    const Case cases[] = {
        {"no RIFF header", "RIFX" + good.substr(4), "no RIFF WAVE header"},
        {"fmt shorter than 16 bytes", patch32(good, kFmtSizeAt, 14), "shorter than 16"},
        {"float samples", waveBytes(bytes(400), 1, 22050, 32, 16, 3), "not PCM"},
        {"extensible float", waveBytes(bytes(400), 1, 22050, 32, 40, 3), "not PCM"},
        {"24 bit", waveBytes(bytes(300), 1, 22050, 24), "not supported"},
        {"three channels", waveBytes(bytes(300), 3, 22050, 16), "not supported"},
        {"frequency 0", waveBytes(bytes(400), 1, 0, 16), "sample rate 0"},
        {"no data chunk", noData, "missing"},
        {"odd chunk padded, still no data", oddChunk, "missing"},
        {"data runs past the end", patch32(good, kDataSizeAt, 401), "runs past the end"},
        {"data size near 4 GiB", patch32(good, kDataSizeAt, 0xFFFFFFF0u), "runs past the end"},
        {"fmt size near 4 GiB", patch32(good, kFmtSizeAt, 0xFFFFFFF8u), "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write("bad.wav", c.file);
        DecodedSound sound;
        EXPECT_FALSE(decode("bad.wav", sound));
        EXPECT_TRUE(sound.data.empty());
        std::string log = m_log.take();
        EXPECT_NE(log.find("Error: Sound file bad.wav refused: "), std::string::npos) << log;
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
}

TEST_F(SoundDecoding, ChunksAfterDataAndOddPaddingAreWalkedToTheFileEnd) {
    // An odd-sized chunk before "fmt " and a chunk after "data" that claims
    // more than the file holds: the walk stops at the end of the file.
    std::string file = waveBytes(bytes(6, 0x11), 2, 8000, 8);
    std::string junk = std::string("junk\x03\0\0\0xyz\0", 12);
    file.insert(12, junk);
    file += std::string("LIST\xFF\xFF\xFF\x7F", 8);
    file = patch32(file, 4, static_cast<uint32_t>(file.size() - 8));
    write("walk.wav", file);
    DecodedSound sound;
    ASSERT_TRUE(decode("walk.wav", sound)) << m_log.take();
    EXPECT_EQ(sound.format, SoundFormat::Stereo8);
    EXPECT_EQ(sound.data, bytes(6, 0x11));
}

// Ogg Vorbis by ".ogg" or ".oga" (the usual name of Ogg audio) anywhere in
// the name, a wave file by ".wav", in any letter case; any other name is
// refused with the names that are accepted.
TEST_F(SoundDecoding, OnlyOggAndWavNamesDecodeAndOggIsFoundAnywhereInTheName) {
    const std::string ogg = soundtest::oggBytes(soundtest::tone(440.0, 1.0, 44100, 1), 1, 44100);
    ASSERT_FALSE(ogg.empty());
    for (const char* name : {"music.ogg.bak", "voice.oga", "SHOUT.OGG"}) {
        SCOPED_TRACE(name);
        write(name, ogg);
        DecodedSound sound;
        ASSERT_TRUE(decode(name, sound)) << m_log.take();
        EXPECT_EQ(sound.format, SoundFormat::Mono16);
        EXPECT_EQ(sound.frequency, 44100);
        EXPECT_EQ(sound.channels, 1);
        EXPECT_EQ(sound.data.size(), 44100u * 2);
    }
    write("BEEP.WAV", waveBytes(bytes(400), 1, 22050, 16));
    DecodedSound sound;
    EXPECT_TRUE(decode("BEEP.WAV", sound)) << m_log.take();
    EXPECT_EQ(m_log.take(), "");

    write("tone.snd", waveBytes(bytes(400), 1, 22050, 16));
    EXPECT_FALSE(decode("tone.snd", sound));
    EXPECT_NE(m_log.take().find("Error: Sound file tone.snd refused: the name is of no sound type "
                                "the engine decodes; it decodes Ogg Vorbis (.ogg or .oga) and PCM "
                                "wave (.wav)\n"),
              std::string::npos);
    // A missing file is left to the resource manager to report.
    EXPECT_FALSE(decode("missing.wav", sound));
    EXPECT_FALSE(decode("missing.ogg", sound));
    EXPECT_EQ(m_log.take(), "");
}

TEST_F(SoundDecoding, OggFilesWithOtherChannelCountsOrDamageAreRefusedOrCut) {
    const std::string threeChannels =
        soundtest::oggBytes(soundtest::tone(440.0, 0.3, 22050, 3), 3, 22050);
    ASSERT_FALSE(threeChannels.empty());
    write("three.ogg", threeChannels);
    DecodedSound sound;
    EXPECT_FALSE(decode("three.ogg", sound));
    EXPECT_NE(m_log.take().find("3 channels are not supported"), std::string::npos);

    // Ogg pages of another codec read the same as damage: no Vorbis stream.
    write("garbage.ogg", std::string(5000, 'x'));
    EXPECT_FALSE(decode("garbage.ogg", sound));
    EXPECT_NE(m_log.take().find("Error: Sound file garbage.ogg refused: no Ogg Vorbis stream"),
              std::string::npos);

    // A stereo file cut in the middle, and one with a page in the middle
    // overwritten: decoding ends with what could be read, in whole frames.
    const std::string stereo = soundtest::oggBytes(soundtest::tone(440.0, 8.0, 22050, 2), 2, 22050);
    // The header pages (a few kilobytes) stay whole.
    write("cut.ogg", stereo.substr(0, stereo.size() * 3 / 4));
    ASSERT_TRUE(decode("cut.ogg", sound)) << m_log.take();
    EXPECT_GT(sound.data.size(), 0u);
    EXPECT_LT(sound.data.size(), 22050u * 8 * 4);
    EXPECT_EQ(sound.data.size() % 4, 0u);
    std::string damaged = stereo;
    std::memset(&damaged[damaged.size() / 2], 0x55, 3000);
    write("damaged.ogg", damaged);
    ASSERT_TRUE(decode("damaged.ogg", sound));
    EXPECT_EQ(sound.data.size() % 4, 0u);
    EXPECT_LE(sound.data.size(), 22050u * 8 * 4 + 8192);
}

TEST(SoundMixDown, StereoBecomesMonoByAveragingTheChannels) {
    DecodedSound wide;
    wide.format = SoundFormat::Stereo16;
    wide.channels = 2;
    const int16_t pairs[] = {1000, -3, -3, 0, 32767, 32767, -32768, -32768};
    wide.data.resize(sizeof(pairs));
    std::memcpy(wide.data.data(), pairs, sizeof(pairs));
    mixDownToMono(wide);
    ASSERT_EQ(wide.data.size(), 8u);
    int16_t mono[4];
    std::memcpy(mono, wide.data.data(), sizeof(mono));
    EXPECT_EQ(mono[0], 498);
    EXPECT_EQ(mono[1], -1);
    EXPECT_EQ(mono[2], 32767);
    EXPECT_EQ(mono[3], -32768);
    EXPECT_EQ(wide.format, SoundFormat::Mono16);
    EXPECT_EQ(wide.channels, 1);

    DecodedSound narrow;
    narrow.format = SoundFormat::Stereo8;
    narrow.channels = 2;
    narrow.data = {100, 200, 255, 255};
    mixDownToMono(narrow);
    EXPECT_EQ(narrow.data, (std::vector<uint8_t>{150, 255}));
    EXPECT_EQ(narrow.format, SoundFormat::Mono8);

    DecodedSound mono16;
    mono16.format = SoundFormat::Mono16;
    mono16.channels = 1;
    mono16.data = {1, 2, 3, 4};
    mixDownToMono(mono16);
    EXPECT_EQ(mono16.data, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(SoundStreams, ChunksHoldAQuarterSecondOfWholeFrames) {
    EXPECT_EQ(AudioOGGLoader::chunkSizeFor(1, 44100), 22050);
    EXPECT_EQ(AudioOGGLoader::chunkSizeFor(1, 22050), 11024);
    EXPECT_EQ(AudioOGGLoader::chunkSizeFor(2, 44100), 44100);
    EXPECT_EQ(AudioOGGLoader::chunkSizeFor(2, 22050), 22048);
    EXPECT_EQ(AudioOGGLoader::chunkSizeFor(3, 44100), 0);
}

TEST(SoundRange, RolloffMakesTheGainReachOneTwentiethAtTheRange) {
    EXPECT_FLOAT_EQ(rangeRolloffFactor(10.0f, 1.0f), 19.0f / 9.0f);
    EXPECT_EQ(rangeRolloffFactor(10.0f, 10.0f), 0.0f);
    EXPECT_EQ(rangeRolloffFactor(5.0f, 10.0f), 0.0f);
    // Inverse distance clamped: gain = inner / (inner + rolloff (d - inner)).
    const float inner = 9.9f;
    const float rolloff = rangeRolloffFactor(30.0f, inner);
    EXPECT_NEAR(inner / (inner + rolloff * (30.0f - inner)), 0.05f, 1e-6f);
}

}  // namespace
