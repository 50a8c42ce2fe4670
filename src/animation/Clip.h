#pragma once
// A clip: one keyframe track per bound transform of its character set, and
// a duration.

#include <string>
#include <vector>

#include "animation/KeyframeTrack.h"
#include "foundation/Entity.h"

class Clip : public Entity {
public:
    Clip(const std::string& name, float durationMs);

    const char* getClassName() const override { return "Clip"; }

    float getDuration() const { return m_duration; }
    size_t getNumTracks() const { return m_tracks.size(); }
    KeyframeTrack& getTrack(size_t index) { return m_tracks[index]; }
    const KeyframeTrack& getTrack(size_t index) const { return m_tracks[index]; }
    KeyframeTrack& addTrack() { return m_tracks.emplace_back(); }

    // The time the tracks are evaluated at for a track time `t`: wrapped
    // into the clip when looping (negative times too), else held at the
    // end. A clip without a positive duration always plays at 0.
    float clipTime(float t, bool loop) const;

private:
    float m_duration;
    std::vector<KeyframeTrack> m_tracks;
};
