#include "foundation/TimerScheduler.h"

#include <algorithm>

TimerScheduler& TimerScheduler::get() {
    static TimerScheduler* instance = new TimerScheduler();
    return *instance;
}

int TimerScheduler::timerExpiredEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

void TimerScheduler::schedule(ActionListener* timer, double dueTime) {
    if (m_entries.empty() || dueTime >= m_entries.back().dueTime) {
        m_entries.push_back({dueTime, timer});
        return;
    }
    auto later = std::find_if(m_entries.begin(), m_entries.end(),
                              [dueTime](const Entry& e) { return e.dueTime > dueTime; });
    m_entries.insert(later, {dueTime, timer});
}

void TimerScheduler::unschedule(ActionListener* timer) {
    std::erase_if(m_entries, [timer](const Entry& e) { return e.timer == timer; });
    std::replace(m_collected.begin(), m_collected.end(), timer,
                 static_cast<ActionListener*>(nullptr));
}

bool TimerScheduler::isScheduled(const ActionListener* timer) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [timer](const Entry& e) { return e.timer == timer; });
}

void TimerScheduler::advance(double frameTimeMs) {
    m_currentTime += frameTimeMs;
    // An advance from inside a timer callback only moves the clock; the due
    // timers fire at the next outer advance.
    if (m_advancing) {
        return;
    }
    size_t due = 0;
    while (due < m_entries.size() && m_entries[due].dueTime <= m_currentTime) {
        ++due;
    }
    if (due == 0) {
        return;
    }
    m_advancing = true;
    m_collected.clear();
    for (size_t i = 0; i < due; ++i) {
        m_collected.push_back(m_entries[i].timer);
    }
    m_entries.erase(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(due));
    const int kind = timerExpiredEventKind();
    for (size_t i = 0; i < m_collected.size(); ++i) {
        if (ActionListener* timer = m_collected[i]) {
            m_collected[i] = nullptr;
            timer->actionPerformed(nullptr, kind, 0, 0);
        }
    }
    m_collected.clear();
    m_advancing = false;
}

void TimerScheduler::reset() {
    m_entries.clear();
    m_collected.clear();
    m_currentTime = 0.0;
}
