// A sound file reloaded while the game runs: the sample plays the new sound
// from its next play on, and a file that does not decode keeps the old one.

#include "AudioFixture.h"
#include "audio/Sample.h"

namespace {

class SampleReload : public AudioFixture {};

TEST_F(SampleReload, NextPlayTakesTheReloadedSound) {
    writeTone("beep.wav", 440, 0.1);
    Sample sample("beep");
    ASSERT_TRUE(sample.load("beep.wav", true));
    auto* chunk = dynamic_cast<SampleChunk*>(ResourceManager::instance().find("beep.wav"));
    ASSERT_NE(chunk, nullptr);
    EXPECT_NEAR(sample.getDuration(), 100.0f, 1.0f);

    writeTone("beep.wav", 440, 0.3);
    ASSERT_TRUE(chunk->reloadFromFile());
    // Until the next play the sample keeps the sound it has.
    EXPECT_NEAR(sample.getDuration(), 100.0f, 1.0f);
    sample.setVolume(0.5f);
    sample.play(1, 0.5f, 0.0f);
    EXPECT_NEAR(sample.getDuration(), 300.0f, 1.0f);
    EXPECT_TRUE(sample.getSource()->isPlaying());
    EXPECT_FLOAT_EQ(sample.getSource()->getGain(), 0.5f);
    sample.stop();

    testsupport::writeFile(m_files / "beep.wav", "not a sound");
    EXPECT_FALSE(chunk->reloadFromFile());
    sample.play(1, 1.0f, 0.0f);
    EXPECT_NEAR(sample.getDuration(), 300.0f, 1.0f);
    sample.stop();
}

}  // namespace
