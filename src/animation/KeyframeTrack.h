#pragma once
// Keyframes of one animated transform and their evaluation at a time.

#include <array>
#include <cstdint>
#include <vector>

#include "base/math/Vector3.h"

namespace KeyframeAttribute {
constexpr uint32_t Translation = 0x1;
constexpr uint32_t Rotation = 0x2;
constexpr uint32_t Scale = 0x4;
constexpr uint32_t Visibility = 0x8;
constexpr uint32_t All = 0xF;
}  // namespace KeyframeAttribute

// Interpolated channels, in the order of the ease bits and the weights.
namespace KeyframeChannel {
constexpr int Translation = 0;
constexpr int Rotation = 1;
constexpr int Scale = 2;
constexpr int Count = 3;
}  // namespace KeyframeChannel

struct Keyframe {
    float time = 0.0f;  // ms
    // KeyframeAttribute bits of the values this keyframe sets.
    uint32_t attributes = 0;
    // Per channel bit (1 << KeyframeChannel): the smooth curve instead of a
    // straight line when this keyframe is the next one (in) or the previous
    // one (out).
    uint32_t easeIn = 0;
    uint32_t easeOut = 0;
    Vector3 translation;
    Vector3 rotation;  // Euler angles, radians
    Vector3 scale{1.0f, 1.0f, 1.0f};
    bool visibility = true;
};

// Where a time falls within a track: the keyframes on either side and, per
// channel, the weight of the previous one.
struct KeyframeSample {
    const Keyframe* previous = nullptr;
    const Keyframe* next = nullptr;
    std::array<float, KeyframeChannel::Count> weights{1.0f, 1.0f, 1.0f};

    // previous + (next - previous) x (1 - weight).
    Vector3 translation() const;
    Vector3 scale() const;
    // Each angle along the shorter way round.
    Vector3 rotation() const;
};

class KeyframeTrack {
public:
    static constexpr int kLookupBuckets = 64;

    // Appends the keyframe; refuses (with a log line) a time that is not
    // after the last one and a keyframe that sets other attributes than the
    // first one.
    bool addKeyframe(const Keyframe& keyframe);
    // Builds the lookup table once all keyframes are in.
    void finish();

    bool isEmpty() const { return m_keyframes.empty(); }
    size_t size() const { return m_keyframes.size(); }
    const Keyframe& getKeyframe(size_t index) const { return m_keyframes[index]; }
    // The attribute bits of the first keyframe, 0 while empty.
    uint32_t getAttributes() const { return m_attributes; }
    float getSpan() const { return m_span; }

    // False for an empty track; otherwise fills `sample` for time `x` (ms).
    bool evaluate(float x, KeyframeSample& sample) const;

private:
    std::vector<Keyframe> m_keyframes;
    uint32_t m_attributes = 0;
    float m_span = 0.0f;
    // Per bucket j: the first keyframe after first time + span x j / 64.
    std::array<uint32_t, kLookupBuckets> m_lookup{};
};
