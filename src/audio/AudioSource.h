#pragma once
// AudioSource: a scene node that owns a spatial sample and plays it while
// the camera is inside the node's range sphere. AudioSourceUpdater: the
// audio step of the frame, which every 100 ms of frame time gathers the
// audible sources, starts those that became audible, keeps their position
// and velocity current and stops those that are no longer audible.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene/TransformGroup.h"

class Sample;

class AudioSource : public TransformGroup, private ActionListener {
public:
    // The bound kind that holds the range sphere.
    static constexpr int kRangeBoundKind = 2;

    // Loads a new spatial sample "Sample_" + name from the file. A file that
    // does not load still makes the node; it never sounds.
    AudioSource(const std::string& name, const std::string& file, float range, float innerRange,
                float volume, int loopCount);
    // Deletes the sample, then the node.
    ~AudioSource() override;

    const char* getClassName() const override { return "AudioSource"; }
    std::unique_ptr<TransformGroup> createCopy() const override;
    const BoundingSphere& getLocalBounds(int kind) override;

    // None when there is none (also after a script deleted it).
    Sample* getSample() const { return m_sample.get(); }
    float getRange() const { return m_range; }
    float getInnerRange() const { return m_innerRange; }
    float getVolume() const { return m_volume; }
    int getLoopCount() const { return m_loopCount; }
    bool isPlaying() const { return m_playing; }
    void setRange(float range);

    // One audio update while the camera is inside the range: position and
    // velocity from the world matrix, playback started when it is not.
    void updateAudible(float frameTimeMs);
    // Leaving the audible set stops the sample.
    void stopAudible();

    bool audibleMark = false;

private:
    AudioSource(const std::string& name, std::unique_ptr<Sample> sample, float range,
                float innerRange, float volume, int loopCount);
    void setUp(float range, float innerRange, float volume, int loopCount);
    // The sample was deleted by a script: the node lets go of it.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    float m_volume = 1.0f;
    float m_range = 10.0f;
    float m_innerRange = 1.0f;
    int m_loopCount = 0;
    bool m_playing = false;
    std::unique_ptr<Sample> m_sample;
    Vector3 m_previousPosition;
    float m_lastFrameTime = 0.0f;
};

// What a scene file says about an audio source.
struct AudioSourceDescription {
    std::string name;
    std::string file;
    float range = 10.0f;
    // Absent: a third of the range (range x 0.33).
    std::optional<float> innerRange;
    float volume = 1.0f;
    int loopCount = 0;
};

// The node for a scene file's audio source, unlinked.
std::unique_ptr<AudioSource> createAudioSource(const AudioSourceDescription& description);

class AudioSourceUpdater {
public:
    static constexpr float kIntervalMs = 100.0f;

    // Adds the frame time; every 100 ms (at most once per call) updates the
    // audio sources below `root` for a camera at `cameraPosition`.
    void advance(float frameTimeMs, TransformGroup* root, const Vector3& cameraPosition);
    // One update now.
    void update(TransformGroup& root, const Vector3& cameraPosition, float frameTimeMs);
    // Forgets the sources heard last time without touching them.
    void clear();

    size_t getNumAudible() const { return m_audibleIds.size(); }

private:
    void gather(RawTransformGroup& node, const Vector3& cameraPosition);

    float m_accumulatedMs = 0.0f;
    std::vector<AudioSource*> m_gathered;
    std::vector<int32_t> m_audibleIds;
};
