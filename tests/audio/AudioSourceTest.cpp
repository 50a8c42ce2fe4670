// Audio source nodes: the audible set follows the camera through the range
// spheres, the gain falls with distance, and the node's sample is safe from
// scripts.

#include "AudioFixture.h"
#include "audio/AudioSource.h"
#include "audio/Sample.h"

namespace {

using soundtest::frequency;
using soundtest::level;
using soundtest::Phase;
using soundtest::phases;
using soundtest::toneSequence;

class AudioSourceNode : public AudioFixture {
protected:
    // The engine's audio step for a camera at `camera`: the listener is
    // placed there and the sources are updated.
    void hearFrom(const Vector3& camera) {
        device().setListenerPosition(camera);
        m_updater.update(m_root, camera, 16.0f);
    }

    TransformGroup m_root{"root"};
    AudioSourceUpdater m_updater;
};

TEST_F(AudioSourceNode, SoundsOnlyWhileTheCameraIsInsideItsRange) {
    writeTone("tone.wav", 440.0, 0.3);
    auto* group = new TransformGroup("group");
    m_root.addChild(group);
    group->setTranslation({100.0f, 0.0f, 0.0f});
    auto* source = new AudioSource("engine", "tone.wav", 10.0f, 1.0f, 1.0f, 0);
    group->addChild(source);
    ASSERT_NE(source->getSample(), nullptr);
    EXPECT_EQ(source->getSample()->getName(), "Sample_engine");

    hearFrom({112.0f, 0.0f, 0.0f});
    EXPECT_FALSE(source->isPlaying());
    wait(300);
    hearFrom({108.0f, 0.0f, 0.0f});
    EXPECT_TRUE(source->isPlaying());
    EXPECT_EQ(m_updater.getNumAudible(), 1u);
    wait(400);
    hearFrom({112.0f, 0.0f, 0.0f});
    EXPECT_FALSE(source->isPlaying());
    EXPECT_FALSE(source->getSample()->getSource()->isPlaying());
    wait(300);
    // An invisible source is not heard even inside its range.
    source->setVisibility(false);
    hearFrom({108.0f, 0.0f, 0.0f});
    EXPECT_FALSE(source->isPlaying());
    wait(200);
    soundtest::Mix mix = finish();
    // Silent for the first 0.5 s (the device's start and the camera outside).
    EXPECT_GT(soundtest::firstSound(mix), 0.3);
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0, 0.0}));
    EXPECT_GT(heard[0].to - heard[0].from, 0.3);
    EXPECT_GT(heard[1].to - heard[1].from, 0.4);
}

TEST_F(AudioSourceNode, TheGainFallsToOneTwentiethAtTheRange) {
    writeTone("tone.wav", 440.0, 0.3);
    auto* source = new AudioSource("near", "tone.wav", 10.0f, 1.0f, 1.0f, 0);
    m_root.addChild(source);
    hearFrom({0.5f, 0.0f, 0.0f});
    wait(300);
    hearFrom({9.99f, 0.0f, 0.0f});
    wait(300);
    soundtest::Mix mix = finish();
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0}));
    const Phase& tone = heard[0];
    ASSERT_GT(tone.to - tone.from, 0.5);
    const double nearLevel = level(mix, tone.from + 0.02, tone.from + 0.15);
    const double farLevel = level(mix, tone.to - 0.15, tone.to - 0.02);
    EXPECT_GT(nearLevel, kSounding);
    EXPECT_NEAR(farLevel / nearLevel, 0.05, 0.01);
}

TEST_F(AudioSourceNode, ASourceThatPlaysOnceStartsAgainOnlyAtTheNextEntry) {
    writeTone("blip.wav", 440.0, 0.2);
    auto* source = new AudioSource("blip", "blip.wav", 10.0f, 1.0f, 1.0f, 1);
    m_root.addChild(source);
    hearFrom({});
    wait(400);
    hearFrom({});
    wait(300);
    hearFrom({20.0f, 0.0f, 0.0f});
    hearFrom({});
    wait(400);
    soundtest::Mix mix = finish();
    // Once at the entry, not again while the camera stays, once more at the
    // next entry.
    std::vector<Phase> heard = phases(mix, {440.0});
    ASSERT_EQ(toneSequence(heard), (std::vector<double>{440.0, 0.0, 440.0, 0.0}));
    EXPECT_LT(heard[0].to - heard[0].from, 0.35);
    EXPECT_GT(heard[1].to - heard[1].from, 0.4);
    EXPECT_LT(heard[2].to - heard[2].from, 0.35);
}

TEST_F(AudioSourceNode, SetUpClonesAndADeletedSampleAreHandled) {
    writeTone("tone.wav", 440.0, 0.3);
    AudioSourceDescription description;
    description.name = "scene";
    description.file = "tone.wav";
    description.range = 30.0f;
    description.volume = 0.5f;
    description.loopCount = 2;
    std::unique_ptr<AudioSource> source = createAudioSource(description);
    EXPECT_FLOAT_EQ(source->getInnerRange(), 9.9f);
    EXPECT_FLOAT_EQ(source->getSample()->getSource()->getRange(), 30.0f);
    EXPECT_FLOAT_EQ(source->getSample()->getSource()->getInnerRange(), 9.9f);
    source->setTranslation({1.0f, 2.0f, 3.0f});
    const BoundingSphere& bound = source->getWorldBounds(AudioSource::kRangeBoundKind);
    EXPECT_EQ(bound.getCenter(), (Vector3{1.0f, 2.0f, 3.0f}));
    EXPECT_FLOAT_EQ(bound.getRadius(), 30.0f);
    EXPECT_EQ(source->getWorldBounds(0).getRadius(), 0.0f);

    std::unique_ptr<TransformGroup> copy = source->createCopy();
    auto* clone = dynamic_cast<AudioSource*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->getName(), "scene");
    EXPECT_FLOAT_EQ(clone->getRange(), 30.0f);
    EXPECT_FLOAT_EQ(clone->getVolume(), 0.5f);
    EXPECT_EQ(clone->getLoopCount(), 2);
    ASSERT_NE(clone->getSample(), nullptr);
    EXPECT_NE(clone->getSample(), source->getSample());
    EXPECT_TRUE(clone->getSample()->isLoaded());

    // A script deletes the sample: the node lets go of it and stays silent.
    delete source->getSample();
    EXPECT_EQ(source->getSample(), nullptr);
    source->updateAudible(16.0f);
    EXPECT_TRUE(source->isPlaying());

    // A file that does not load still makes a node that never sounds.
    description.file = "missing.wav";
    std::unique_ptr<AudioSource> silent = createAudioSource(description);
    ASSERT_NE(silent->getSample(), nullptr);
    EXPECT_FALSE(silent->getSample()->isLoaded());
    silent->updateAudible(16.0f);
    EXPECT_TRUE(silent->isPlaying());
}

TEST_F(AudioSourceNode, DeletedSourcesLeaveTheAudibleSetSafely) {
    writeTone("tone.wav", 440.0, 0.3);
    auto* source = new AudioSource("gone", "tone.wav", 10.0f, 1.0f, 1.0f, 0);
    m_root.addChild(source);
    hearFrom({});
    EXPECT_EQ(m_updater.getNumAudible(), 1u);
    delete source;
    hearFrom({});
    EXPECT_EQ(m_updater.getNumAudible(), 0u);
}

}  // namespace
