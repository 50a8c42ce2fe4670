#pragma once
// Frame timing: the game timer scripts and subsystems read, stopwatches over
// the monotonic clock, and the arithmetic of the frame limiter and the
// smoothed FPS display.

#include <cstdint>

class Stopwatch {
public:
    void start();
    void stop();
    bool isRunning() const { return m_running; }
    // Milliseconds between the last start and stop; unchanged by a stop of a
    // stopwatch that is not running.
    float getElapsedMs() const { return m_elapsedMs; }

private:
    double m_startMs = 0.0;
    bool m_running = false;
    float m_elapsedMs = 0.0f;
};

struct GameTimer {
    static GameTimer& get();

    static constexpr float kMaxFrameTime = 1000.0f / 15.0f;  // 66.666664 ms

    double totalTime = 0.0;  // ms since the first frame
    float dt = 0.0f;         // ms of the current frame
    float maxFrameTime = kMaxFrameTime;

    // Takes the measured frame time: a negative time (a clock that went
    // backwards) counts as 0, a long one as at most the maximum frame time.
    void advance(float measuredMs);

    Stopwatch stopwatch;
};

// Whole milliseconds the limiter sleeps after a frame that took `elapsedMs`;
// 0 or less means no sleep.
int frameLimiterWaitMs(float limitFps, float elapsedMs);

// The smoothed frame time and frames per second of the FPS display.
struct FpsCounter {
    float frameTime = 16.0f;
    float framesPerSecond = 64.0f;
    void addFrame(float elapsedMs) {
        frameTime = 0.1f * elapsedMs + 0.9f * frameTime;
        framesPerSecond = frameTime > 0.0f ? 1000.0f / frameTime : framesPerSecond;
    }
};

// Frames completed since start-up.
extern uint32_t g_frameCounter;
