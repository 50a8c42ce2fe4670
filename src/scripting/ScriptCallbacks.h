#pragma once
// Callback objects that remember the name of a script function (and an
// optional target table) and call it later through the script system:
// delete listeners and timers. Every listener has a process-wide id that
// scripts use to remove it again.

#include <cstdint>
#include <string>

#include "foundation/Entity.h"
#include "physics/IPhysicsReports.h"
#include "scripting/ScriptValue.h"

class ScriptApi;

class ScriptingActionListener : public ActionListener {
public:
    // Copies the name; takes the target reference (may be null), released
    // when the listener is destroyed. Enters the listener map.
    ScriptingActionListener(const char* functionName, int* target);
    ~ScriptingActionListener() override;
    ScriptingActionListener(const ScriptingActionListener&) = delete;
    ScriptingActionListener& operator=(const ScriptingActionListener&) = delete;

    // Calls the function with no arguments and no results.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;
    // Calls the function with the argument slots of `values` and puts the
    // results from slot 10 on; false when it is missing or failed.
    bool callScript(ScriptValue* values, int numArgs, int numResults);

    int32_t getListenerId() const { return m_listenerId; }
    const std::string& getFunctionName() const { return m_functionName; }

    // The live listener with the id, or none.
    static ScriptingActionListener* find(int32_t listenerId);
    // Number of live listeners (timers included).
    static size_t count();

protected:
    // Deletes the listener now, or, while its function is running, as soon
    // as the call returns (a callback may remove its own listener).
    void dispose();
    bool isDisposePending() const { return m_disposePending; }

private:
    std::string m_functionName;
    int m_runningCalls = 0;
    bool m_disposePending = false;
    int* m_target;
    int32_t m_listenerId;
};

// A delete listener: told once when its entity is destroyed, after which it
// deletes itself (it can never fire again, and its entity is gone).
class ScriptingDeleteListener : public ScriptingActionListener {
public:
    // Appends itself to the entity's delete listener list.
    ScriptingDeleteListener(Entity& entity, const char* functionName, int* target);
    ~ScriptingDeleteListener() override;

    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    // Takes the listener off its entity and deletes it.
    void remove();
    Entity* getEntity() const { return m_entity; }

private:
    Entity* m_entity;
};

// A timer owned by the timer scheduler: scheduled at creation, told when
// due; it schedules itself again while its function returns true and
// deletes itself otherwise.
class ScriptingTimerActionListener : public ScriptingActionListener {
public:
    ScriptingTimerActionListener(float interval, const char* functionName, int* target);
    ~ScriptingTimerActionListener() override;

    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    float getInterval() const { return m_interval; }
    // The interval of the following periods; a pending due time stays.
    void setInterval(float interval) { m_interval = interval; }
    // Takes the timer off the schedule and deletes it.
    void remove();

private:
    float m_interval;
};

// Reports the hits of a ray cast to a script function: (node id or 0, hit
// point x, y, z, distance) with one result, whose truth (anything but nil
// and false) lets the query go on. Lives for one query.
class ScriptingRaycastReport : public IRaycastReport {
public:
    // Copies the name; takes the target reference (may be null), released
    // with the report.
    ScriptingRaycastReport(const char* functionName, int* target);
    ~ScriptingRaycastReport() override;
    ScriptingRaycastReport(const ScriptingRaycastReport&) = delete;
    ScriptingRaycastReport& operator=(const ScriptingRaycastReport&) = delete;

    bool hit(Entity* node, const Vector3& point, float distance) override;

private:
    std::string m_functionName;
    int* m_target;
};

// Reports the objects of an overlap query to a script function: (node id or
// 0), no results. Refers to the caller's name, which outlives the query.
class ScriptingPhysicsEntityReport : public IPhysicsEntityReport {
public:
    explicit ScriptingPhysicsEntityReport(const std::string& functionName)
        : m_functionName(functionName) {}

    void object(Entity* node) override;

private:
    const std::string& m_functionName;
};

// "addTimer", "removeTimer", "setTimerTime", and the entity functions
// "addDeleteListener" and "removeDeleteListener" of the class "Entity".
void addScriptCallbackFunctions(ScriptApi& api);

// Deletes every timer and delete listener (shutdown, tests).
void deleteAllScriptCallbacks();
