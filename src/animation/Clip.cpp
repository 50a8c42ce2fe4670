#include "animation/Clip.h"

#include <cmath>

// Not registered: a clip belongs to its character set's source, so scripts must
// not reach (or delete) it by id.
Clip::Clip(const std::string& name, float durationMs)
    : Entity(name, false), m_duration(durationMs) {
    addKind(EntityKind::Clip);
}

float Clip::clipTime(float t, bool loop) const {
    if (!(m_duration > 0.0f) || !std::isfinite(m_duration) || !std::isfinite(t)) {
        return 0.0f;
    }
    if (loop) {
        if (t > m_duration || t < 0.0f) {
            float wrapped = std::fmod(t, m_duration);
            if (wrapped < 0.0f) {
                wrapped += m_duration;
            }
            return wrapped;
        }
        return t;
    }
    return t > m_duration ? m_duration : t;
}
