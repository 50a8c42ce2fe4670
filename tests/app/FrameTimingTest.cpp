#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/GameTimer.h"
#include "foundation/TimerScheduler.h"

namespace {

TEST(FrameTiming, LimiterWait) {
    const struct {
        float fps;
        float elapsed;
        int wait;
    } cases[] = {
        {60.0f, 5.0f, 11},   // 16.67 - 5 truncated
        {60.0f, 16.0f, 0},   // 0.67 truncated toward zero
        {60.0f, 20.0f, -3},  // over budget: no sleep
        {1000.0f, 0.2f, 0},  // never a whole millisecond to sleep
        {1000.0f, 0.0f, 1},  // an empty frame at exactly 1000 FPS
        {30.0f, 0.0f, 33},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameLimiterWaitMs(c.fps, c.elapsed), c.wait) << c.fps << " " << c.elapsed;
    }
}

TEST(FrameTiming, GameTimerClampsLongAndNegativeFrames) {
    GameTimer timer;
    timer.advance(200.0f);
    EXPECT_FLOAT_EQ(timer.dt, 66.666664f);
    EXPECT_DOUBLE_EQ(timer.totalTime, static_cast<double>(66.666664f));
    timer.advance(-5.0f);  // a clock that went backwards
    EXPECT_EQ(timer.dt, 0.0f);
    EXPECT_DOUBLE_EQ(timer.totalTime, static_cast<double>(66.666664f));
    timer.advance(10.0f);
    EXPECT_FLOAT_EQ(timer.dt, 10.0f);
}

TEST(FrameTiming, FpsStartsAt64AndConvergesByTenPercent) {
    FpsCounter fps;
    EXPECT_FLOAT_EQ(fps.framesPerSecond, 64.0f);
    fps.addFrame(26.0f);
    EXPECT_FLOAT_EQ(fps.frameTime, 17.0f);  // 0.1 * 26 + 0.9 * 16
    EXPECT_FLOAT_EQ(fps.framesPerSecond, 1000.0f / 17.0f);
    for (int i = 0; i < 200; ++i) {
        fps.addFrame(10.0f);
    }
    EXPECT_NEAR(fps.framesPerSecond, 100.0f, 0.01f);
}

TEST(FrameTiming, StopwatchStopWithoutStartKeepsElapsed) {
    Stopwatch watch;
    watch.stop();
    EXPECT_EQ(watch.getElapsedMs(), 0.0f);
    watch.start();
    watch.stop();
    float elapsed = watch.getElapsedMs();
    EXPECT_GE(elapsed, 0.0f);
    watch.stop();
    EXPECT_EQ(watch.getElapsedMs(), elapsed);
}

// A timer that records when it fires and, optionally, acts on the scheduler.
struct RecordingTimer : ActionListener {
    RecordingTimer(std::vector<std::string>* l = nullptr, std::string n = "")
        : log(l), name(std::move(n)) {}
    std::vector<std::string>* log = nullptr;
    std::string name;
    std::function<void()> onFire;
    void actionPerformed(void* source, int kind, int32_t, int32_t) override {
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(kind, TimerScheduler::timerExpiredEventKind());
        log->push_back(name);
        if (onFire) {
            onFire();
        }
    }
};

class TimerSchedulerTest : public ::testing::Test {
protected:
    void SetUp() override { TimerScheduler::get().reset(); }
    void TearDown() override { TimerScheduler::get().reset(); }
    TimerScheduler& scheduler = TimerScheduler::get();
    std::vector<std::string> fired;
};

TEST_F(TimerSchedulerTest, DueOrderEqualTimesInSchedulingOrderAndIntervalZero) {
    RecordingTimer a(&fired, "a");
    RecordingTimer b(&fired, "b");
    RecordingTimer c(&fired, "c");
    RecordingTimer zero(&fired, "zero");
    scheduler.scheduleIn(&a, 30);
    scheduler.scheduleIn(&b, 10);
    scheduler.scheduleIn(&c, 10);
    scheduler.advance(5);
    EXPECT_TRUE(fired.empty());
    scheduler.scheduleIn(&zero, 0);  // fires at the next advance
    scheduler.advance(5);
    // "zero" is due at 5, before "b" and "c" at 10.
    EXPECT_EQ(fired, (std::vector<std::string>{"zero", "b", "c"}));
    scheduler.advance(100);
    EXPECT_EQ(fired.back(), "a");
    EXPECT_EQ(scheduler.getNumScheduled(), 0u);
}

TEST_F(TimerSchedulerTest, RescheduleFromInsideAndRemoveCollectedTimer) {
    auto victim = std::make_unique<RecordingTimer>();
    victim->log = &fired;
    victim->name = "victim";
    RecordingTimer repeating(&fired, "repeat");
    repeating.onFire = [&] {
        scheduler.scheduleIn(&repeating, 10);
        // Removes and deletes a timer already collected for this advance.
        if (victim) {
            scheduler.unschedule(victim.get());
            victim.reset();
        }
    };
    scheduler.scheduleIn(&repeating, 10);
    scheduler.scheduleIn(victim.get(), 10);
    scheduler.advance(10);
    EXPECT_EQ(fired, (std::vector<std::string>{"repeat"}));
    scheduler.advance(10);
    EXPECT_EQ(fired, (std::vector<std::string>{"repeat", "repeat"}));
    EXPECT_TRUE(scheduler.isScheduled(&repeating));
}

}  // namespace
