// Audio source nodes: the audible set follows the camera through the range
// spheres, the gain falls with distance, and the node's sample is safe from
// scripts.

#include "AudioFixture.h"
#include "audio/AudioSource.h"
#include "audio/Sample.h"

namespace {

using soundtest::frequency;
using soundtest::level;

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
    const double entered = now();
    hearFrom({108.0f, 0.0f, 0.0f});
    EXPECT_TRUE(source->isPlaying());
    EXPECT_EQ(m_updater.getNumAudible(), 1u);
    wait(400);
    const double left = now();
    hearFrom({112.0f, 0.0f, 0.0f});
    EXPECT_FALSE(source->isPlaying());
    EXPECT_FALSE(source->getSample()->getSource()->isPlaying());
    wait(300);
    // An invisible source is not heard even inside its range.
    source->setVisibility(false);
    hearFrom({108.0f, 0.0f, 0.0f});
    EXPECT_FALSE(source->isPlaying());
    wait(100);
    soundtest::Mix mix = finish();
    Timeline at(mix, entered);
    ASSERT_TRUE(at.valid);
    EXPECT_LT(level(mix, 0.0, at(entered - 0.05)), kSilent);
    EXPECT_NEAR(frequency(mix, at(entered + 0.05), at(left - 0.05)), 440.0, 9.0);
    EXPECT_LT(level(mix, at(left + 0.05), mix.samples.size() / double(mix.rate)), kSilent);
}

TEST_F(AudioSourceNode, TheGainFallsToOneTwentiethAtTheRange) {
    writeTone("tone.wav", 440.0, 0.3);
    auto* source = new AudioSource("near", "tone.wav", 10.0f, 1.0f, 1.0f, 0);
    m_root.addChild(source);
    const double nearby = now();
    hearFrom({0.5f, 0.0f, 0.0f});
    wait(300);
    const double far = now();
    hearFrom({9.99f, 0.0f, 0.0f});
    wait(300);
    const double end = now();
    soundtest::Mix mix = finish();
    Timeline at(mix, nearby);
    ASSERT_TRUE(at.valid);
    double nearLevel = level(mix, at(nearby + 0.05), at(far - 0.05));
    double farLevel = level(mix, at(far + 0.05), at(end - 0.05));
    EXPECT_GT(nearLevel, kSounding);
    EXPECT_NEAR(farLevel / nearLevel, 0.05, 0.01);
}

TEST_F(AudioSourceNode, ASourceThatPlaysOnceStartsAgainOnlyAtTheNextEntry) {
    writeTone("blip.wav", 440.0, 0.1);
    auto* source = new AudioSource("blip", "blip.wav", 10.0f, 1.0f, 1.0f, 1);
    m_root.addChild(source);
    const double entered = now();
    hearFrom({});
    wait(300);
    hearFrom({});
    wait(200);
    const double again = now();
    hearFrom({20.0f, 0.0f, 0.0f});
    hearFrom({});
    wait(200);
    soundtest::Mix mix = finish();
    Timeline at(mix, entered);
    ASSERT_TRUE(at.valid);
    EXPECT_LT(level(mix, at(entered + 0.15), at(again - 0.02)), kSilent);
    EXPECT_GT(level(mix, at(again + 0.01), at(again + 0.08)), kSounding);
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
