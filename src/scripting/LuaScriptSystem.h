#pragma once
// The script system over the Lua interpreter (Lua 5.1 or LuaJIT 2.1).

#include <deque>
#include <map>
#include <memory>
#include <string>

#include "scripting/Class.h"
#include "scripting/IScriptSystem.h"

class LuaScriptSystem : public IScriptSystem {
public:
    // Null when the interpreter state cannot be made.
    static std::unique_ptr<LuaScriptSystem> create();
    ~LuaScriptSystem() override;
    LuaScriptSystem(const LuaScriptSystem&) = delete;
    LuaScriptSystem& operator=(const LuaScriptSystem&) = delete;

    int runString(const char* text) override;
    int runBuffer(const char* data, size_t length, const char* chunkName) override;
    int rerunBuffer(const char* data, size_t length, const char* chunkName) override;
    void registerFunction(const ScriptEntry& entry, const char* name) override;
    void registerMethod(const ScriptEntry& entry, Method method) override;
    void registerClass(const char* name, const char* parentName, const ScriptEntry* newEntry,
                       const ScriptEntry* gcEntry) override;
    void pushGlobal(const char* name) override;
    void popValue() override;
    void setFunctionField(const ScriptEntry& entry, const char* name) override;

    int newScriptObject(lua_State* state, const char* className) override;
    int collectScriptObject(lua_State* state, ScriptObjectDeleter deleter) override;
    int callObjectMethod(lua_State* state, const char* methodName) override;
    int callNativeFunction(lua_State* state, const char* name, bool global) override;
    int newEntityObject(lua_State* state, const char* className) override;

    bool callFunction(const char* name, ScriptValue* values, int numArgs, int numResults,
                      int* reference) override;
    void releaseReference(int* reference) override;

    lua_State* getState() const { return m_state; }

    // Pushes the object as a handle of the class (the same handle while it
    // lives); pushes nil when the class has no metatable. Returns the
    // number of values pushed that are handles (0 or 1).
    static int pushObjectHandle(lua_State* state, const char* className, Entity* object);

    // One bound entry function: what it forwards to, with the lookups it
    // may reuse from its last call.
    struct Entry {
        LuaScriptSystem* system = nullptr;
        ScriptEntryKind kind = ScriptEntryKind::GlobalFunction;
        std::string target;
        ScriptObjectDeleter deleter = nullptr;
        const Method* globalMethod = nullptr;
        // Entity functions: the class name pointer seen last, with the class
        // and method found for it, valid while the registry generation holds.
        const char* cachedClassName = nullptr;
        uint64_t cachedGeneration = 0;
        const Class* cachedClass = nullptr;
        const Method* cachedMethod = nullptr;
    };

    // Used by the entry functions.
    int callGlobal(lua_State* state, Entry& entry);
    int callEntity(lua_State* state, Entry& entry);

private:
    explicit LuaScriptSystem(lua_State* state);

    void pushEntry(const ScriptEntry& entry);
    const Method* findGlobalMethod(const char* name) const;
    // Resolves the entity named by argument 1 and its class; logs the
    // failures. False when nothing may run.
    static bool findEntityClass(lua_State* state, const char* name, Entity*& entity,
                                const char*& className);
    // Converts `available` values from `first` on, calls the method and pushes
    // its results.
    static int dispatch(lua_State* state, int first, int available, const Method& method,
                        Entity* object);

    lua_State* m_state;
    int m_getFieldWorker = 0;  // registry reference
    // Script runs and calls in progress, one inside the other (a script
    // that sources itself, a callback that calls back).
    int m_nesting = 0;
    std::map<std::string, Method, std::less<>> m_globalFunctions;
    // Stable addresses: the interpreter's closures point at them.
    std::deque<Entry> m_entries;
};
