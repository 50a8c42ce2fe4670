#pragma once
// The engine's own random numbers: a linear congruential generator with one
// object per user (particles, precipitation, foliage), so that each user
// draws a reproducible sequence from its seed and nothing touches the C
// runtime's rand, which Lua's math.random uses.

#include <cstdint>

class RandomGenerator {
public:
    static constexpr int32_t kMax = 32767;

    explicit RandomGenerator(uint32_t seed = 1) : m_state(seed) {}

    void seed(uint32_t seed) { m_state = seed; }

    // 0 to kMax.
    int32_t next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int32_t>((m_state >> 16) & 32767u);
    }
    // 0 to 1, both included.
    float unit() { return static_cast<float>(next()) * (1.0f / static_cast<float>(kMax)); }
    // -1 to 1, both included.
    float signedUnit() { return unit() * 2.0f - 1.0f; }

private:
    uint32_t m_state;
};
