#include "scripting/LuaScriptSystem.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <lua.hpp>

#include "foundation/Entity.h"
#include "foundation/Log.h"

namespace {

constexpr size_t kMaxFunctionName = 512;
// Each script run or call nested in another takes native stack, and LuaJIT
// does not bound that depth itself; Lua 5.1 stops at about twice this.
constexpr int kMaxNesting = 100;
constexpr const char* kNestedTooDeeply = "scripts nested too deeply";

// Runs a compiled chunk (the argument) with its global assignments staged:
// reads see the staged values first, then the real globals; the staged
// values reach the globals only when the chunk ran to its end. Afterwards
// the chunk's environment passes every read and write straight through, and
// the functions it defined at its top level (and in tables it assigned) get
// the real globals as their environment.
constexpr const char kStagedRun[] = R"(
local G, chunk = _G, ...
local staged, committed = {}, false
local env = setmetatable({}, {
    __index = function(_, k)
        if not committed then
            local v = staged[k]
            if v ~= nil then return v end
        end
        return G[k]
    end,
    __newindex = function(_, k, v)
        if committed then G[k] = v else staged[k] = v end
    end,
})
setfenv(chunk, env)
local ok, message = pcall(chunk)
if not ok then return false, message end
committed = true
local function rehome(f)
    if type(f) == "function" and getfenv(f) == env then setfenv(f, G) end
end
for k, v in pairs(staged) do
    G[k] = v
    rehome(v)
    if type(v) == "table" then
        for _, member in pairs(v) do rehome(member) end
    end
end
return true
)";

// Script numbers to int: nearest, halves to the even neighbour (the default
// floating-point rounding mode), saturated to the int range; NaN gives 0.
int32_t toInt32(lua_Number number) {
    if (std::isnan(number)) {
        return 0;
    }
    double rounded = std::nearbyint(static_cast<double>(number));
    if (rounded >= 2147483647.0) {
        return INT32_MAX;
    }
    if (rounded <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(rounded);
}

void logErrorValue(lua_State* state, int index) {
    const char* message = lua_tostring(state, index);
    if (message != nullptr) {
        Log::get() << message;
    } else {
        Log::get() << "(error object is a " << luaL_typename(state, index) << " value)";
    }
}

// The 13 slots of one native call and the table references argument
// conversion made for it.
struct CallFrame {
    // Cleared slot by slot: a block clear of the array compiles to a string
    // instruction whose start-up cost rivals the rest of a bound call.
    CallFrame() {
#pragma GCC unroll 13
        for (int i = 0; i < ScriptSlots::Count; ++i) {
            values[i].rawPayload = 0;
            values[i].type = ScriptType::None;
        }
    }

    union {
        ScriptValue values[ScriptSlots::Count];
    };
    int* created[ScriptSlots::MaxArgs];
    uint32_t createdMask = 0;  // slots with an entry in `created`

    // Converts `available` values from `first` on; with a method, only as
    // many as it declares, and into its declared types.
    void convert(lua_State* state, int first, int available, const Method* method) {
        int count = available < 0 ? 0 : available;
        if (method != nullptr) {
            const uint32_t numArgs = std::min<uint32_t>(method->numArgs, ScriptSlots::MaxArgs);
            count = std::min(count, static_cast<int>(numArgs));
            // Declared strings never carry a null text, also when left out.
            for (uint32_t i = 0; i < numArgs; ++i) {
                const uint32_t declared = method->argTypes[i];
                if (declared == ScriptType::String) {
                    values[i].stringValue = "";
                    values[i].stringLength = 0;
                }
                if (static_cast<int>(i) < count) {
                    values[i].type = declared;
                }
            }
        } else {
            count = std::min(count, ScriptSlots::MaxArgs);
        }
        for (int i = 0; i < count; ++i) {
            ScriptValue& slot = values[i];
            const int index = first + i;
            const bool declaredString = method != nullptr && slot.type == ScriptType::String;
            switch (lua_type(state, index)) {
                case LUA_TBOOLEAN:
                    if (!declaredString) {
                        slot.setBool(lua_toboolean(state, index) != 0);
                    }
                    break;
                case LUA_TNUMBER:
                    if (slot.type == ScriptType::Int) {
                        slot.setInt(toInt32(lua_tonumber(state, index)));
                    } else if (declaredString) {
                        // The interpreter's own number-to-text coercion.
                        slot.setString(lua_tostring(state, index));
                    } else {
                        slot.setFloat(static_cast<float>(lua_tonumber(state, index)));
                    }
                    break;
                case LUA_TSTRING:
                    slot.setString(lua_tostring(state, index));
                    break;
                case LUA_TTABLE:
                    if (!declaredString) {
                        lua_pushvalue(state, index);
                        int* reference = new int(luaL_ref(state, LUA_REGISTRYINDEX));
                        slot.rawPayload = 0;
                        slot.referenceValue = reference;
                        slot.type = ScriptType::Reference;
                        created[i] = reference;
                        createdMask |= 1u << i;
                    }
                    break;
                default:
                    break;
            }
        }
    }

    // Releases the references that the native function did not take.
    void releaseUntaken(lua_State* state) {
        for (int i = 0; createdMask != 0; ++i, createdMask >>= 1) {
            if ((createdMask & 1u) != 0 && values[i].type == ScriptType::Reference &&
                values[i].referenceValue == created[i]) {
                luaL_unref(state, LUA_REGISTRYINDEX, *created[i]);
                delete created[i];
            }
        }
    }
};

void pushResult(lua_State* state, const ScriptValue& value) {
    switch (value.type) {
        case ScriptType::Int:
            lua_pushnumber(state, static_cast<lua_Number>(value.intValue));
            break;
        case ScriptType::Bool:
            lua_pushboolean(state, value.boolValue ? 1 : 0);
            break;
        case ScriptType::Float:
            lua_pushnumber(state, static_cast<lua_Number>(value.floatValue));
            break;
        case ScriptType::String:
            if (value.stringValue != nullptr && value.stringLength != 0) {
                lua_pushlstring(state, value.stringValue, value.stringLength);
            } else if (value.stringValue != nullptr) {
                lua_pushstring(state, value.stringValue);
            } else {
                lua_pushnil(state);
            }
            break;
        default:
            lua_pushnil(state);
            break;
    }
}

// Native code must not unwind through the interpreter: a failure becomes a
// log line and the script goes on.
template <typename F>
bool runNative(const char* name, F&& call) {
    try {
        call();
        return true;
    } catch (const std::exception& e) {
        Log::get() << "Error: script function " << name << " failed: " << e.what() << "\n";
    } catch (...) {
        Log::get() << "Error: script function " << name << " failed\n";
    }
    return false;
}

// Converts every argument from `first` on without declared types (numbers
// arrive as floats) and makes an object with the class's factory; null when
// the class is unknown (logged) or the factory makes nothing.
Entity* createFromArguments(lua_State* state, int first, const char* className) {
    CallFrame frame;
    frame.convert(state, first, lua_gettop(state) - first + 1, nullptr);
    const Class* cls = ClassRegistry::find(className);
    Entity* object = nullptr;
    if (cls == nullptr) {
        Log::get() << "Can't create new class, unknown Class Name: " << className << "\n";
    } else if (ScriptFactory factory = cls->getFactory()) {
        runNative(cls->getName(), [&] { object = factory(frame.values); });
    }
    frame.releaseUntaken(state);
    return object;
}

void logUnknownClass(const char* className, const char* methodName) {
    Log::get() << "Lua: Unknown class Name: " << className << " method name: " << methodName
               << "\n";
}

LuaScriptSystem::Entry& entryOf(lua_State* state) {
    return *static_cast<LuaScriptSystem::Entry*>(lua_touserdata(state, lua_upvalueindex(1)));
}

int globalEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->callGlobal(state, entry);
}

int entityEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->callEntity(state, entry);
}

int createEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->newEntityObject(state, entry.target.c_str());
}

int objectNewEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->newScriptObject(state, entry.target.c_str());
}

int objectMethodEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->callObjectMethod(state, entry.target.c_str());
}

int objectCollectEntry(lua_State* state) {
    LuaScriptSystem::Entry& entry = entryOf(state);
    return entry.system->collectScriptObject(state, entry.deleter);
}

lua_CFunction entryFunction(ScriptEntryKind kind) {
    switch (kind) {
        case ScriptEntryKind::GlobalFunction:
            return globalEntry;
        case ScriptEntryKind::EntityFunction:
            return entityEntry;
        case ScriptEntryKind::CreateFunction:
            return createEntry;
        case ScriptEntryKind::ObjectNew:
            return objectNewEntry;
        case ScriptEntryKind::ObjectMethod:
            return objectMethodEntry;
        case ScriptEntryKind::ObjectCollect:
            return objectCollectEntry;
    }
    return globalEntry;
}

// Field lookup with metamethods (inherited methods through __index), run
// protected by callFunction because a metamethod may raise an error.
int getFieldWorker(lua_State* state) {
    lua_gettable(state, 1);
    return 1;
}

int panicHandler(lua_State* state) {
    Log::get() << "Error: unprotected error in the script interpreter: ";
    logErrorValue(state, -1);
    Log::get() << "\n";
    return 0;
}

// The pointer held by an object handle at the index, or null for anything
// that is not one.
Entity** handleSlot(lua_State* state, int index) {
    if (lua_type(state, index) != LUA_TUSERDATA || lua_objlen(state, index) < sizeof(Entity*)) {
        return nullptr;
    }
    return static_cast<Entity**>(lua_touserdata(state, index));
}

}  // namespace

std::unique_ptr<LuaScriptSystem> LuaScriptSystem::create() {
    lua_State* state = luaL_newstate();
    if (state == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<LuaScriptSystem>(new LuaScriptSystem(state));
}

LuaScriptSystem::LuaScriptSystem(lua_State* state) : m_state(state) {
    lua_atpanic(m_state, panicHandler);
    luaL_openlibs(m_state);
    lua_pushcfunction(m_state, getFieldWorker);
    m_getFieldWorker = luaL_ref(m_state, LUA_REGISTRYINDEX);
}

LuaScriptSystem::~LuaScriptSystem() {
    // Closing collects every handle, which deletes the objects they own;
    // the entries stay alive until then.
    lua_close(m_state);
    m_globalFunctions.clear();
}

int LuaScriptSystem::runString(const char* text) {
    return runBuffer(text, std::strlen(text), text);
}

int LuaScriptSystem::runBuffer(const char* data, size_t length, const char* chunkName) {
    lua_State* state = m_state;
    const int base = lua_gettop(state);
    int status = LUA_ERRRUN;
    if (m_nesting >= kMaxNesting) {
        lua_pushstring(state, kNestedTooDeeply);
    } else {
        status = luaL_loadbuffer(state, data, length, chunkName != nullptr ? chunkName : "");
        if (status == 0) {
            ++m_nesting;
            status = lua_pcall(state, 0, LUA_MULTRET, 0);
            --m_nesting;
        }
    }
    if (status != 0) {
        const int message = lua_gettop(state);
        lua_pushliteral(state, "_ALERT");
        lua_rawget(state, LUA_GLOBALSINDEX);
        if (lua_isfunction(state, -1)) {
            lua_pushvalue(state, message);
            if (lua_pcall(state, 1, 0, 0) != 0) {
                logErrorValue(state, -1);
                Log::get() << "\n";
            }
        } else {
            logErrorValue(state, message);
            Log::get() << "\n";
        }
    }
    // Also drops whatever the chunk returned.
    lua_settop(state, base);
    return status;
}

int LuaScriptSystem::rerunBuffer(const char* data, size_t length, const char* chunkName) {
    lua_State* state = m_state;
    const int base = lua_gettop(state);
    int status = LUA_ERRRUN;
    if (m_nesting >= kMaxNesting) {
        lua_pushstring(state, kNestedTooDeeply);
    } else if (luaL_loadbuffer(state, kStagedRun, sizeof(kStagedRun) - 1, "=hot reload") != 0) {
        // Only when the interpreter is out of memory.
    } else {
        status = luaL_loadbuffer(state, data, length, chunkName != nullptr ? chunkName : "");
        if (status == 0) {
            ++m_nesting;
            status = lua_pcall(state, 1, 2, 0);
            --m_nesting;
            if (status == 0 && !lua_toboolean(state, -2)) {
                status = LUA_ERRRUN;
            }
        }
    }
    if (status != 0) {
        Log::get() << "Error: ";
        logErrorValue(state, -1);
        Log::get() << "\n";
    }
    lua_settop(state, base);
    return status;
}

void LuaScriptSystem::pushEntry(const ScriptEntry& entry) {
    Entry& record = m_entries.emplace_back();
    record.system = this;
    record.kind = entry.kind;
    record.target = entry.target != nullptr ? entry.target : "";
    record.deleter = entry.deleter;
    lua_pushlightuserdata(m_state, &record);
    lua_pushcclosure(m_state, entryFunction(entry.kind), 1);
}

void LuaScriptSystem::registerFunction(const ScriptEntry& entry, const char* name) {
    lua_pushstring(m_state, name);
    pushEntry(entry);
    lua_rawset(m_state, LUA_GLOBALSINDEX);
}

void LuaScriptSystem::registerMethod(const ScriptEntry& entry, Method method) {
    // Assigning keeps the map node, so entries that found it stay valid.
    std::string name = method.name;
    m_globalFunctions.insert_or_assign(name, method);
    registerFunction(entry, name.c_str());
}

void LuaScriptSystem::registerClass(const char* name, const char* parentName,
                                    const ScriptEntry* newEntry, const ScriptEntry* gcEntry) {
    lua_State* state = m_state;
    lua_newtable(state);
    const int methods = lua_gettop(state);
    luaL_newmetatable(state, name);
    const int metatable = methods + 1;

    // registry[metatable] = name: the class name of a handle's metatable.
    lua_pushvalue(state, metatable);
    lua_pushstring(state, name);
    lua_rawset(state, LUA_REGISTRYINDEX);

    lua_pushstring(state, name);
    lua_pushvalue(state, methods);
    lua_rawset(state, LUA_GLOBALSINDEX);

    lua_pushliteral(state, "__metatable");
    lua_pushvalue(state, methods);
    lua_rawset(state, metatable);
    lua_pushliteral(state, "__index");
    lua_pushvalue(state, methods);
    lua_rawset(state, metatable);
    if (gcEntry != nullptr) {
        lua_pushliteral(state, "__gc");
        pushEntry(*gcEntry);
        lua_rawset(state, metatable);
    }
    if (newEntry != nullptr) {
        lua_pushliteral(state, "new");
        pushEntry(*newEntry);
        lua_rawset(state, methods);
    }

    bool parentSet = false;
    if (parentName != nullptr && parentName[0] != '\0') {
        luaL_getmetatable(state, parentName);
        parentSet = lua_istable(state, -1);
        if (!parentSet) {
            lua_pop(state, 1);
        }
    }
    if (!parentSet) {
        lua_newtable(state);
    }
    lua_setmetatable(state, methods);
    lua_settop(state, methods - 1);
}

void LuaScriptSystem::pushGlobal(const char* name) {
    lua_pushstring(m_state, name);
    lua_rawget(m_state, LUA_GLOBALSINDEX);
}

void LuaScriptSystem::popValue() {
    lua_pop(m_state, 1);
}

void LuaScriptSystem::setFunctionField(const ScriptEntry& entry, const char* name) {
    if (!lua_istable(m_state, -1)) {
        return;
    }
    lua_pushstring(m_state, name);
    pushEntry(entry);
    lua_rawset(m_state, -3);
}

int LuaScriptSystem::pushObjectHandle(lua_State* state, const char* className, Entity* object) {
    luaL_getmetatable(state, className);
    if (!lua_istable(state, -1)) {
        return 0;  // nil stays pushed
    }
    const int metatable = lua_gettop(state);
    lua_pushliteral(state, "userdata");
    lua_rawget(state, metatable);
    if (lua_isnil(state, -1)) {
        // The handle cache: object pointer -> handle, with weak values so
        // that the cache does not keep handles alive.
        lua_pop(state, 1);
        lua_newtable(state);
        lua_pushliteral(state, "__mode");
        lua_pushliteral(state, "v");
        lua_rawset(state, -3);
        lua_pushvalue(state, -1);
        lua_setmetatable(state, -2);
        lua_pushliteral(state, "userdata");
        lua_pushvalue(state, -2);
        lua_rawset(state, metatable);
    }
    const int cache = lua_gettop(state);
    lua_pushlightuserdata(state, object);
    lua_rawget(state, cache);
    if (lua_isnil(state, -1)) {
        lua_pop(state, 1);
        auto* slot = static_cast<Entity**>(lua_newuserdata(state, sizeof(Entity*)));
        *slot = object;
        lua_pushlightuserdata(state, object);
        lua_pushvalue(state, -2);
        lua_rawset(state, cache);
        lua_pushvalue(state, metatable);
        lua_setmetatable(state, -2);
    }
    lua_replace(state, metatable);
    lua_settop(state, metatable);
    return 1;
}

int LuaScriptSystem::dispatch(lua_State* state, int first, int available, const Method& method,
                              Entity* object) {
    CallFrame frame;
    frame.convert(state, first, available, &method);
    if (method.function != nullptr) {
        runNative(method.name, [&] { method.function(object, frame.values); });
    }
    frame.releaseUntaken(state);
    const int results =
        static_cast<int>(std::min<uint32_t>(method.numResults, ScriptSlots::MaxResults));
    for (int i = 0; i < results; ++i) {
        pushResult(state, frame.values[ScriptSlots::FirstResult + i]);
    }
    return results;
}

const Method* LuaScriptSystem::findGlobalMethod(const char* name) const {
    auto it = m_globalFunctions.find(std::string_view(name));
    return it == m_globalFunctions.end() ? nullptr : &it->second;
}

bool LuaScriptSystem::findEntityClass(lua_State* state, const char* name, Entity*& entity,
                                      const char*& className) {
    const int type = lua_type(state, 1);
    if (type != LUA_TNUMBER && type != LUA_TSTRING) {
        return false;
    }
    const int32_t id = toInt32(lua_tonumber(state, 1));
    entity = EntityRegistry::find(id);
    if (entity == nullptr) {
        Log::get() << "Lua: Unknown entity id: " << id << " method name: " << name << "\n";
        return false;
    }
    className = entity->getClassName();
    return true;
}

int LuaScriptSystem::callGlobal(lua_State* state, Entry& entry) {
    if (entry.globalMethod == nullptr) {
        entry.globalMethod = findGlobalMethod(entry.target.c_str());
        if (entry.globalMethod == nullptr) {
            return 0;
        }
    }
    // Entities count their id among the values: arguments start at 1 here
    // and at 2 there, and both read at most the declared number.
    return dispatch(state, 1, lua_gettop(state), *entry.globalMethod, nullptr);
}

int LuaScriptSystem::callEntity(lua_State* state, Entry& entry) {
    Entity* entity = nullptr;
    const char* className = nullptr;
    const char* name = entry.target.c_str();
    if (!findEntityClass(state, name, entity, className)) {
        return 0;
    }
    // Class names are static text, so one pointer names one class; the
    // registry generation tells when classes or methods changed.
    const uint64_t generation = ClassRegistry::generation();
    if (className != entry.cachedClassName || generation != entry.cachedGeneration) {
        entry.cachedClass = ClassRegistry::find(className);
        entry.cachedMethod =
            entry.cachedClass != nullptr ? entry.cachedClass->findMethod(name) : nullptr;
        entry.cachedClassName = className;
        entry.cachedGeneration = generation;
    }
    if (entry.cachedClass == nullptr) {
        logUnknownClass(className, name);
        return 0;
    }
    if (entry.cachedMethod == nullptr) {
        return 0;
    }
    return dispatch(state, 2, lua_gettop(state), *entry.cachedMethod, entity);
}

int LuaScriptSystem::callNativeFunction(lua_State* state, const char* name, bool global) {
    if (global) {
        const Method* method = findGlobalMethod(name);
        return method != nullptr ? dispatch(state, 1, lua_gettop(state), *method, nullptr) : 0;
    }
    Entity* entity = nullptr;
    const char* className = nullptr;
    if (!findEntityClass(state, name, entity, className)) {
        return 0;
    }
    const Class* cls = ClassRegistry::find(className);
    if (cls == nullptr) {
        logUnknownClass(className, name);
        return 0;
    }
    const Method* method = cls->findMethod(name);
    return method != nullptr ? dispatch(state, 2, lua_gettop(state), *method, entity) : 0;
}

int LuaScriptSystem::newScriptObject(lua_State* state, const char* className) {
    // Drops the class table that the colon call passes first.
    if (lua_gettop(state) > 0) {
        lua_remove(state, 1);
    }
    Entity* object = createFromArguments(state, 1, className);
    if (object == nullptr) {
        return 0;
    }
    if (pushObjectHandle(state, className, object) == 0) {
        // No handle can own it: do not lose it.
        delete object;
        return 0;
    }
    return 1;
}

int LuaScriptSystem::collectScriptObject(lua_State* state, ScriptObjectDeleter deleter) {
    Entity** slot = handleSlot(state, 1);
    if (slot == nullptr || *slot == nullptr) {
        return 0;
    }
    Entity* object = *slot;
    *slot = nullptr;
    if (deleter != nullptr) {
        runNative("__gc", [&] { deleter(object); });
    }
    return 0;
}

int LuaScriptSystem::callObjectMethod(lua_State* state, const char* methodName) {
    if (lua_getmetatable(state, 1) == 0) {
        Log::get() << "No meta table\n";
        return 0;
    }
    lua_rawget(state, LUA_REGISTRYINDEX);
    const char* className = lua_type(state, -1) == LUA_TSTRING ? lua_tostring(state, -1) : "";
    const Class* cls = ClassRegistry::find(className);
    if (cls == nullptr) {
        logUnknownClass(className, methodName);
        return 0;
    }
    lua_pop(state, 1);
    const Method* method = cls->findMethod(methodName);
    // A class table called with a colon has a metatable but holds no object.
    Entity** slot = handleSlot(state, 1);
    if (method == nullptr || slot == nullptr || *slot == nullptr) {
        return 0;
    }
    // The handle is not counted among the arguments.
    return dispatch(state, 2, lua_gettop(state) - 1, *method, *slot);
}

int LuaScriptSystem::newEntityObject(lua_State* state, const char* className) {
    Entity* entity = createFromArguments(state, 1, className);
    if (entity == nullptr) {
        return 0;
    }
    lua_pushnumber(state, static_cast<lua_Number>(entity->getId()));
    return 1;
}

bool LuaScriptSystem::callFunction(const char* name, ScriptValue* values, int numArgs,
                                   int numResults, int* reference) {
    if (name == nullptr) {
        return false;
    }
    const size_t nameLength = strnlen(name, kMaxFunctionName);
    if (nameLength >= kMaxFunctionName) {
        Log::get() << "Error: script function name of " << static_cast<uint32_t>(kMaxFunctionName)
                   << " characters or more refused: " << std::string(name, 64) << "...\n";
        return false;
    }
    if (numArgs < 0 || numArgs > ScriptSlots::MaxArgs || numResults < 0 ||
        numResults > ScriptSlots::MaxResults || (values == nullptr && numArgs + numResults > 0)) {
        Log::get() << "Error running lua function: " << name
                   << " (at most 10 arguments and 3 results)\n";
        return false;
    }
    if (m_nesting >= kMaxNesting) {
        Log::get() << "Error running lua function: " << name << "\n" << kNestedTooDeeply << "\n";
        return false;
    }
    lua_State* state = m_state;
    // The function, the table passed first, the field lookup and the
    // arguments; the interpreter does not check its stack bounds itself.
    if (lua_checkstack(state, numArgs + 4) == 0) {
        Log::get() << "Error running lua function: " << name << " (script stack full)\n";
        return false;
    }
    const int base = lua_gettop(state);
    int selfArgs = 0;
    const char* dot = static_cast<const char*>(std::memchr(name, '.', nameLength));
    if (dot != nullptr || reference != nullptr) {
        // [function, self]: the function is a field of a global table or of
        // the referenced value, called with that value first.
        const char* field = name;
        if (dot != nullptr) {
            lua_pushlstring(state, name, static_cast<size_t>(dot - name));
            lua_rawget(state, LUA_GLOBALSINDEX);
            field = dot + 1;
            if (!lua_istable(state, -1)) {
                lua_settop(state, base);
                return false;
            }
        } else {
            lua_rawgeti(state, LUA_REGISTRYINDEX, *reference);
        }
        lua_rawgeti(state, LUA_REGISTRYINDEX, m_getFieldWorker);
        lua_pushvalue(state, base + 1);
        lua_pushstring(state, field);
        if (lua_pcall(state, 2, 1, 0) != 0) {
            Log::get() << "Error running lua function: " << name << "\n";
            logErrorValue(state, -1);
            Log::get() << "\n";
            lua_settop(state, base);
            return false;
        }
        if (!lua_isfunction(state, -1)) {
            lua_settop(state, base);
            return false;
        }
        lua_insert(state, base + 1);
        selfArgs = 1;
    } else {
        lua_pushlstring(state, name, nameLength);
        lua_rawget(state, LUA_GLOBALSINDEX);
        if (!lua_isfunction(state, -1)) {
            lua_settop(state, base);
            return false;
        }
    }
    for (int i = 0; i < numArgs; ++i) {
        pushResult(state, values[i]);  // a reference arrives as nil
    }
    ++m_nesting;
    const int status = lua_pcall(state, numArgs + selfArgs, numResults, 0);
    --m_nesting;
    if (status != 0) {
        Log::get() << "Error running lua function: " << name << "\n";
        logErrorValue(state, -1);
        Log::get() << "\n";
        lua_settop(state, base);
        return false;
    }
    for (int i = numResults - 1; i >= 0; --i) {
        ScriptValue& slot = values[ScriptSlots::FirstResult + i];
        switch (lua_type(state, -1)) {
            case LUA_TBOOLEAN:
                slot.setBool(lua_toboolean(state, -1) != 0);
                break;
            case LUA_TNUMBER:
                slot.setFloat(static_cast<float>(lua_tonumber(state, -1)));
                break;
            case LUA_TSTRING:
                if (lua_isnumber(state, -1)) {
                    slot.setFloat(static_cast<float>(lua_tonumber(state, -1)));
                } else {
                    Log::get() << "Error running lua function: String not allowed as return value "
                               << name << "\n";
                    slot.setString("NULL");
                }
                break;
            default:
                break;
        }
        lua_pop(state, 1);
    }
    lua_settop(state, base);
    return true;
}

void LuaScriptSystem::releaseReference(int* reference) {
    if (reference == nullptr) {
        return;
    }
    luaL_unref(m_state, LUA_REGISTRYINDEX, *reference);
    delete reference;
}
