#pragma once
// The script system: runs script text, binds the names scripts call, and is
// the engine's one way into script functions (callFunction).

#include <cstdint>
#include <memory>

#include "scripting/Method.h"

// The interpreter state, handed to the entry workers below; only the backend
// looks inside.
struct lua_State;

// Deletes an object held by a script object handle.
using ScriptObjectDeleter = void (*)(Entity* object);

// The kind of small entry function a script name is bound to, and what it
// forwards to.
enum class ScriptEntryKind : uint8_t {
    GlobalFunction,  // callNativeFunction(state, target, global)
    EntityFunction,  // callNativeFunction(state, target, not global)
    CreateFunction,  // newEntityObject(state, target class)
    ObjectNew,       // newScriptObject(state, target class)
    ObjectMethod,    // callObjectMethod(state, target method)
    ObjectCollect,   // collectScriptObject(state, deleter)
};

struct ScriptEntry {
    ScriptEntryKind kind = ScriptEntryKind::GlobalFunction;
    const char* target = "";  // script name, class name or method name
    ScriptObjectDeleter deleter = nullptr;

    static ScriptEntry global(const char* name) { return {ScriptEntryKind::GlobalFunction, name}; }
    static ScriptEntry entity(const char* name) { return {ScriptEntryKind::EntityFunction, name}; }
    static ScriptEntry create(const char* className) {
        return {ScriptEntryKind::CreateFunction, className};
    }
    static ScriptEntry objectNew(const char* className) {
        return {ScriptEntryKind::ObjectNew, className};
    }
    static ScriptEntry objectMethod(const char* methodName) {
        return {ScriptEntryKind::ObjectMethod, methodName};
    }
    static ScriptEntry objectCollect(ScriptObjectDeleter deleter) {
        return {ScriptEntryKind::ObjectCollect, "", deleter};
    }
};

// The delete function of object classes: through the virtual destructor.
void deleteScriptObject(Entity* object);

class IScriptSystem {
public:
    virtual ~IScriptSystem() = default;

    // runBuffer with the text as its own chunk name.
    virtual int runString(const char* text) = 0;
    // Compiles and runs a chunk; errors go to "_ALERT" when scripts define
    // it, else to the log. 0 on success, else the interpreter's status.
    virtual int runBuffer(const char* data, size_t length, const char* chunkName) = 0;
    // Runs a changed chunk again (hot reload): the globals it assigns take
    // effect only when the whole chunk compiled and ran, so a broken file
    // leaves the previous definitions in place. Errors go to the log. 0 on
    // success. Systems without staging run the chunk as runBuffer does.
    virtual int rerunBuffer(const char* data, size_t length, const char* chunkName) {
        return runBuffer(data, length, chunkName);
    }
    // Sets the global `name` to the entry.
    virtual void registerFunction(const ScriptEntry& entry, const char* name) = 0;
    // Sets the global method.name to the entry and keeps the method in the
    // global function map.
    virtual void registerMethod(const ScriptEntry& entry, Method method) = 0;
    // Makes the methods table (global `name`) and metatable of an object
    // class; parent, "new" and "__gc" entries are optional.
    virtual void registerClass(const char* name, const char* parentName,
                               const ScriptEntry* newEntry, const ScriptEntry* gcEntry) = 0;
    // Pushes the global of that name (read without metamethods).
    virtual void pushGlobal(const char* name) = 0;
    virtual void popValue() = 0;
    // Stores the entry under `name` in the table on top of the stack.
    virtual void setFunctionField(const ScriptEntry& entry, const char* name) = 0;

    // The workers behind the entry functions; each returns the number of
    // values left for the script.
    virtual int newScriptObject(lua_State* state, const char* className) = 0;
    virtual int collectScriptObject(lua_State* state, ScriptObjectDeleter deleter) = 0;
    virtual int callObjectMethod(lua_State* state, const char* methodName) = 0;
    virtual int callNativeFunction(lua_State* state, const char* name, bool global) = 0;
    virtual int newEntityObject(lua_State* state, const char* className) = 0;

    // Calls a script function: a global name, "Table.function" (called with
    // the table as first argument), or a function field of the referenced
    // table (called with that table first). Arguments come from slots 0 on,
    // results go to slots 10 on. False when the function is missing (not
    // logged) or failed (logged).
    virtual bool callFunction(const char* name, ScriptValue* values, int numArgs, int numResults,
                              int* reference) = 0;
    // Frees a reference made by argument conversion; nothing for null.
    virtual void releaseReference(int* reference) = 0;
};

// The process-wide script system, made during engine start-up.
namespace ScriptSystem {
IScriptSystem* get();
// Deletes the current system, then installs the given one (or none).
void set(std::unique_ptr<IScriptSystem> system);
}  // namespace ScriptSystem
