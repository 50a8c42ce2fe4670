#pragma once
// The process-wide timer scheduler: timers are ActionListeners scheduled at a
// due time; advancing by the frame time tells every due timer, in due-time
// order (equal due times in scheduling order).

#include <vector>

#include "foundation/Entity.h"

class TimerScheduler {
public:
    static TimerScheduler& get();

    // The kind of event a due timer receives (no source, values 0 and 0).
    static int timerExpiredEventKind();

    double getCurrentTime() const { return m_currentTime; }

    // Schedules the timer at the due time `dueTime` (milliseconds on the
    // scheduler's clock). A timer may be scheduled while it is being told.
    void schedule(ActionListener* timer, double dueTime);
    void scheduleIn(ActionListener* timer, double interval) {
        schedule(timer, m_currentTime + interval);
    }

    // Removes every entry of the timer, including one already collected for
    // the advance in progress, so a timer deleted from inside another timer's
    // callback is never told.
    void unschedule(ActionListener* timer);

    bool isScheduled(const ActionListener* timer) const;
    size_t getNumScheduled() const { return m_entries.size(); }

    // Adds the frame time, then tells every timer whose due time is not later
    // than the current time.
    void advance(double frameTimeMs);

    // Forgets all entries and resets the clock (tests, shutdown).
    void reset();

private:
    struct Entry {
        double dueTime;
        ActionListener* timer;
    };
    double m_currentTime = 0.0;
    std::vector<Entry> m_entries;
    std::vector<ActionListener*> m_collected;  // the due timers of the advance in progress
    bool m_advancing = false;
};
