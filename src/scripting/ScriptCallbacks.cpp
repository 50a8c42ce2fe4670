#include "scripting/ScriptCallbacks.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "foundation/TimerScheduler.h"
#include "scripting/IScriptSystem.h"
#include "scripting/ScriptApi.h"

namespace {

int32_t g_nextListenerId = 1;

std::unordered_map<int32_t, ScriptingActionListener*>& listenerMap() {
    static auto* map = new std::unordered_map<int32_t, ScriptingActionListener*>();
    return *map;
}

void releaseTarget(int* target) {
    if (target == nullptr) {
        return;
    }
    if (IScriptSystem* system = ScriptSystem::get()) {
        system->releaseReference(target);
    } else {
        delete target;  // the interpreter and its registry are gone
    }
}

// A NaN interval would give a due time that compares with nothing and, at
// the front of the schedule, hold back every timer behind it: it counts as 0.
float usableInterval(float interval) {
    return std::isnan(interval) ? 0.0f : interval;
}

int32_t idOf(const Entity* node) {
    return node != nullptr ? node->getId() : 0;
}

}  // namespace

ScriptingActionListener::ScriptingActionListener(const char* functionName, int* target)
    : m_functionName(functionName != nullptr ? functionName : ""),
      m_target(target),
      m_listenerId(g_nextListenerId++) {
    listenerMap()[m_listenerId] = this;
}

ScriptingActionListener::~ScriptingActionListener() {
    listenerMap().erase(m_listenerId);
    releaseTarget(m_target);
}

void ScriptingActionListener::actionPerformed(void*, int, int32_t, int32_t) {
    callScript(nullptr, 0, 0);
}

bool ScriptingActionListener::callScript(ScriptValue* values, int numArgs, int numResults) {
    IScriptSystem* system = ScriptSystem::get();
    if (system == nullptr) {
        return false;
    }
    ScriptValue local[ScriptSlots::Count];
    if (values == nullptr) {
        values = local;
    }
    ++m_runningCalls;
    const bool ok =
        system->callFunction(m_functionName.c_str(), values, numArgs, numResults, m_target);
    --m_runningCalls;
    return ok;
}

void ScriptingActionListener::dispose() {
    if (m_runningCalls > 0) {
        m_disposePending = true;
        return;
    }
    delete this;
}

ScriptingActionListener* ScriptingActionListener::find(int32_t listenerId) {
    auto it = listenerMap().find(listenerId);
    if (it == listenerMap().end() || it->second->m_disposePending) {
        return nullptr;
    }
    return it->second;
}

size_t ScriptingActionListener::count() {
    return listenerMap().size();
}

ScriptingDeleteListener::ScriptingDeleteListener(Entity& entity, const char* functionName,
                                                 int* target)
    : ScriptingActionListener(functionName, target), m_entity(&entity) {
    entity.addDeleteListener(this);
}

ScriptingDeleteListener::~ScriptingDeleteListener() {
    if (m_entity != nullptr) {
        m_entity->removeDeleteListener(this);
    }
}

void ScriptingDeleteListener::actionPerformed(void*, int eventKind, int32_t, int32_t) {
    if (eventKind != entityDestroyedEventKind() || m_entity == nullptr) {
        return;
    }
    // The entity is being destroyed: leave its list now, so that nothing
    // told later reaches this listener through it.
    m_entity->removeDeleteListener(this);
    m_entity = nullptr;
    callScript(nullptr, 0, 0);
    delete this;
}

void ScriptingDeleteListener::remove() {
    if (m_entity != nullptr) {
        m_entity->removeDeleteListener(this);
        m_entity = nullptr;
    }
    dispose();
}

ScriptingTimerActionListener::ScriptingTimerActionListener(float interval, const char* functionName,
                                                           int* target)
    : ScriptingActionListener(functionName, target), m_interval(usableInterval(interval)) {
    TimerScheduler::get().scheduleIn(this, m_interval);
}

ScriptingTimerActionListener::~ScriptingTimerActionListener() {
    TimerScheduler::get().unschedule(this);
}

void ScriptingTimerActionListener::actionPerformed(void*, int, int32_t, int32_t) {
    ScriptValue values[ScriptSlots::Count];
    const bool ok = callScript(values, 0, 1);
    const ScriptValue& result = values[ScriptSlots::FirstResult];
    if (!isDisposePending() && ok && result.type == ScriptType::Bool && result.boolValue) {
        TimerScheduler::get().scheduleIn(this, m_interval);
        return;
    }
    delete this;
}

void ScriptingTimerActionListener::remove() {
    // Also drops an entry already collected for the advance in progress.
    TimerScheduler::get().unschedule(this);
    dispose();
}

ScriptingRaycastReport::ScriptingRaycastReport(const char* functionName, int* target)
    : m_functionName(functionName != nullptr ? functionName : ""), m_target(target) {}

ScriptingRaycastReport::~ScriptingRaycastReport() {
    releaseTarget(m_target);
}

bool ScriptingRaycastReport::hit(Entity* node, const Vector3& point, float distance) {
    IScriptSystem* system = ScriptSystem::get();
    if (system == nullptr) {
        return false;
    }
    ScriptValue values[ScriptSlots::Count];
    values[0].setInt(idOf(node));
    values[1].setFloat(point.x);
    values[2].setFloat(point.y);
    values[3].setFloat(point.z);
    values[4].setFloat(distance);
    if (!system->callFunction(m_functionName.c_str(), values, 5, 1, m_target)) {
        return false;
    }
    const ScriptValue& result = scriptResult(values);
    return result.type == ScriptType::Bool ? result.boolValue : result.type != ScriptType::None;
}

void ScriptingPhysicsEntityReport::object(Entity* node) {
    if (IScriptSystem* system = ScriptSystem::get()) {
        ScriptValue values[ScriptSlots::Count];
        values[0].setInt(idOf(node));
        system->callFunction(m_functionName.c_str(), values, 1, 0, nullptr);
    }
}

void deleteAllScriptCallbacks() {
    std::vector<ScriptingActionListener*> listeners;
    for (auto& [id, listener] : listenerMap()) {
        listeners.push_back(listener);
    }
    for (ScriptingActionListener* listener : listeners) {
        delete listener;
    }
}

namespace {

void addTimer(Entity*, ScriptValue* values) {
    auto* timer = new ScriptingTimerActionListener(values[0].floatValue, values[1].stringValue,
                                                   values[2].takeReference());
    values[ScriptSlots::FirstResult].setInt(timer->getListenerId());
}

ScriptingTimerActionListener* findTimer(int32_t id) {
    return dynamic_cast<ScriptingTimerActionListener*>(ScriptingActionListener::find(id));
}

void removeTimer(Entity*, ScriptValue* values) {
    if (ScriptingTimerActionListener* timer = findTimer(values[0].intValue)) {
        timer->remove();
    }
}

void setTimerTime(Entity*, ScriptValue* values) {
    if (ScriptingTimerActionListener* timer = findTimer(values[0].intValue)) {
        timer->setInterval(usableInterval(values[1].floatValue));
    }
}

void addDeleteListener(Entity* entity, ScriptValue* values) {
    auto* listener =
        new ScriptingDeleteListener(*entity, values[0].stringValue, values[1].takeReference());
    values[ScriptSlots::FirstResult].setInt(listener->getListenerId());
}

// The listener leaves the list of the entity it was added to, which is not
// necessarily the one named first.
void removeDeleteListener(Entity*, ScriptValue* values) {
    auto* listener =
        dynamic_cast<ScriptingDeleteListener*>(ScriptingActionListener::find(values[0].intValue));
    if (listener != nullptr) {
        listener->remove();
    }
}

}  // namespace

void addScriptCallbackFunctions(ScriptApi& api) {
    api.setSection("Timers and listeners");
    api.addGlobalFunctions({
        {"addTimer", "fsa", "i", addTimer, "interval: milliseconds; callbackName; table target?",
         "timer: id",
         "Calls the timer callback once the interval has passed, and again after every further "
         "interval for as long as it returns true; returns the timer's id."},
        {"removeTimer", "i", "", removeTimer, "timer", "",
         "Cancels the timer; an id that names no timer is ignored."},
        {"setTimerTime", "if", "", setTimerTime, "timer; interval: milliseconds", "",
         "Changes the interval of the timer's following periods; the one running is kept. An "
         "id that names no timer is ignored."},
    });
    api.addMethods(
        "Entity",
        {
            {"addDeleteListener", "sa", "i", addDeleteListener, "callbackName; table target?",
             "listener: id",
             "Calls the delete listener callback when the entity is destroyed and returns the "
             "listener's id."},
            {"removeDeleteListener", "i", "", removeDeleteListener, "listener", "",
             "Removes a delete listener; an id that names no listener is ignored."},
        });
    api.addCallbacks({
        {"timerCallback", "", "boolean again: true to run again after the interval",
         "Called when a timer's interval has passed; returning anything but true ends the "
         "timer. A timer whose function does not exist is deleted."},
        {"deleteListener", "", "",
         "Called once while the entity it listens to is destroyed; the entity can no longer be "
         "reached through its id."},
    });
}
