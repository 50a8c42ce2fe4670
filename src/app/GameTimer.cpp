#include "app/GameTimer.h"

#include <cmath>

#include "base/platform/Platform.h"

uint32_t g_frameCounter = 0;

void Stopwatch::start() {
    if (!m_running) {
        m_running = true;
        m_startMs = platform::getTimeMs();
    }
}

void Stopwatch::stop() {
    if (m_running) {
        m_elapsedMs = static_cast<float>(platform::getTimeMs() - m_startMs);
        m_running = false;
    }
}

GameTimer& GameTimer::get() {
    static GameTimer instance;
    return instance;
}

void GameTimer::advance(float measuredMs) {
    dt = measuredMs > 0.0f ? measuredMs : 0.0f;
    if (dt > maxFrameTime) {
        dt = maxFrameTime;
    }
    totalTime += dt;
}

int frameLimiterWaitMs(float limitFps, float elapsedMs) {
    if (limitFps <= 0.0f) {
        return 0;
    }
    return static_cast<int>(std::trunc(1000.0f / limitFps - elapsedMs));
}
