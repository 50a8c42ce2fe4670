#include "animation/KeyframeTrack.h"

#include <cmath>

#include "foundation/Log.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;

Vector3 lerp(const Vector3& from, const Vector3& to, float amount) {
    return from + (to - from) * amount;
}

float smoothStep(float w) {
    return w * w * (3.0f - 2.0f * w);
}

}  // namespace

Vector3 KeyframeSample::translation() const {
    return lerp(previous->translation, next->translation,
                1.0f - weights[KeyframeChannel::Translation]);
}

Vector3 KeyframeSample::scale() const {
    return lerp(previous->scale, next->scale, 1.0f - weights[KeyframeChannel::Scale]);
}

Vector3 KeyframeSample::rotation() const {
    const float amount = 1.0f - weights[KeyframeChannel::Rotation];
    Vector3 result;
    for (int i = 0; i < 3; ++i) {
        float d = next->rotation[i] - previous->rotation[i];
        if (d > kPi) {
            d -= 2.0f * kPi;
        } else if (d < -kPi) {
            d += 2.0f * kPi;
        }
        result[i] = previous->rotation[i] + d * amount;
    }
    return result;
}

bool KeyframeTrack::addKeyframe(const Keyframe& keyframe) {
    if (!std::isfinite(keyframe.time)) {
        Log::get() << "Error: Can't add keyframe. Time is not a finite number\n";
        return false;
    }
    if (!m_keyframes.empty()) {
        const Keyframe& last = m_keyframes.back();
        if (!(keyframe.time > last.time)) {
            Log::get() << "Error: Can't add keyframe. Time is not strictly monotonic increasing\n";
            return false;
        }
        if ((keyframe.attributes & KeyframeAttribute::All) !=
            (last.attributes & KeyframeAttribute::All)) {
            Log::get() << "Error: Can't add keyframe. Keyframe controls not the same attributes.\n";
            return false;
        }
    } else {
        m_attributes = keyframe.attributes & KeyframeAttribute::All;
    }
    m_keyframes.push_back(keyframe);
    return true;
}

void KeyframeTrack::finish() {
    m_lookup.fill(0);
    if (m_keyframes.empty()) {
        m_span = 0.0f;
        return;
    }
    const float first = m_keyframes.front().time;
    m_span = m_keyframes.back().time - first;
    if (!(m_span > 0.0f)) {
        return;
    }
    uint32_t index = 0;
    const uint32_t count = static_cast<uint32_t>(m_keyframes.size());
    for (int j = 0; j < kLookupBuckets; ++j) {
        const float start = first + m_span * static_cast<float>(j) / kLookupBuckets;
        while (index + 1 < count && m_keyframes[index].time <= start) {
            ++index;
        }
        m_lookup[static_cast<size_t>(j)] = index;
    }
}

bool KeyframeTrack::evaluate(float x, KeyframeSample& sample) const {
    if (m_keyframes.empty()) {
        return false;
    }
    sample.weights = {1.0f, 1.0f, 1.0f};
    const Keyframe& first = m_keyframes.front();
    const Keyframe& last = m_keyframes.back();
    // Also catches a time that is no number.
    if (m_keyframes.size() == 1 || !(x > first.time)) {
        sample.previous = sample.next = &first;
        return true;
    }
    if (x >= last.time) {
        sample.previous = sample.next = &last;
        return true;
    }
    // first < x < last, so the span is positive and the bucket lies in
    // 0..63 but for rounding at the top end.
    int bucket = static_cast<int>((x - first.time) * kLookupBuckets / m_span);
    if (bucket > kLookupBuckets - 1) {
        bucket = kLookupBuckets - 1;
    } else if (bucket < 0) {
        bucket = 0;
    }
    size_t index = m_lookup[static_cast<size_t>(bucket)];
    if (index == 0) {
        index = 1;
    }
    while (index + 1 < m_keyframes.size() && m_keyframes[index].time < x) {
        ++index;
    }
    const Keyframe& next = m_keyframes[index];
    const Keyframe& previous = m_keyframes[index - 1];
    sample.previous = &previous;
    sample.next = &next;
    float w = 1.0f;
    if (next.time != previous.time) {
        w = (next.time - x) / (next.time - previous.time);
    }
    for (int c = 0; c < KeyframeChannel::Count; ++c) {
        const uint32_t bit = 1u << c;
        const bool ease = w > 0.5f ? (previous.easeOut & bit) != 0 : (next.easeIn & bit) != 0;
        sample.weights[static_cast<size_t>(c)] = ease ? smoothStep(w) : w;
    }
    return true;
}
