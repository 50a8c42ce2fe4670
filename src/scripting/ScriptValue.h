#pragma once
// ScriptValue: the tagged value that carries every argument and result between
// scripts and native functions. A native call works on an array of 13 slots:
// 0 to 9 hold the arguments, 10 to 12 the results.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ScriptType {
constexpr uint32_t None = 0;  // as a declared argument type: "any"
constexpr uint32_t Int = 1;
constexpr uint32_t Bool = 2;
constexpr uint32_t Float = 3;
constexpr uint32_t String = 4;
constexpr uint32_t Reference = 6;

// "any", "int", "bool", "float", "string", "reference"; "?" for other codes.
const char* name(uint32_t type);
}  // namespace ScriptType

namespace ScriptSlots {
constexpr int MaxArgs = 10;
constexpr int MaxResults = 3;
constexpr int Count = MaxArgs + MaxResults;
constexpr int FirstResult = MaxArgs;
}  // namespace ScriptSlots

struct ScriptValue {
    // Read according to `type`. A string points to interpreter text that is
    // valid only until the native function returns; a reference points to a
    // heap integer holding a registry reference (see IScriptSystem).
    union {
        int32_t intValue;
        bool boolValue;
        float floatValue;
        const char* stringValue;
        int* referenceValue;
        uint64_t rawPayload = 0;
    };
    uint32_t type = ScriptType::None;
    // With a string: its length in bytes when it may hold zero bytes (a
    // response body); 0 when it ends at its first zero byte. Read only for
    // strings: every way a slot becomes a string sets it.
    uint32_t stringLength = 0;

    void clear() {
        rawPayload = 0;
        type = ScriptType::None;
        stringLength = 0;
    }
    void setInt(int32_t value) {
        rawPayload = 0;
        intValue = value;
        type = ScriptType::Int;
    }
    void setBool(bool value) {
        rawPayload = 0;
        boolValue = value;
        type = ScriptType::Bool;
    }
    void setFloat(float value) {
        rawPayload = 0;
        floatValue = value;
        type = ScriptType::Float;
    }
    // The text must outlive the push back to the script (static text, or
    // text owned by the called object).
    void setString(const char* value) {
        rawPayload = 0;
        stringValue = value;
        type = ScriptType::String;
        stringLength = 0;
    }
    // Text of `length` bytes that may hold zero bytes (at most 4 GiB - 1;
    // more is cut there).
    void setString(const char* value, size_t length) {
        setString(length == 0 ? "" : value);
        stringLength = static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX));
    }

    bool isReference() const { return type == ScriptType::Reference; }
    // A flag argument: only a boolean true counts (a number or text of the
    // wrong type is false).
    bool isTrue() const { return type == ScriptType::Bool && boolValue; }
    // A native function that keeps a table reference beyond the call takes
    // it with this (and later hands it to IScriptSystem::releaseReference);
    // references left in argument slots are released after the call.
    int* takeReference() {
        if (type != ScriptType::Reference) {
            return nullptr;
        }
        int* reference = referenceValue;
        clear();
        return reference;
    }
};

// Result slot `index` (0 to 2) of a 13-slot array.
inline ScriptValue& scriptResult(ScriptValue* values, int index = 0) {
    return values[ScriptSlots::FirstResult + index];
}

// Clears every slot of a 13-slot array (codes and payloads).
inline void clearScriptValues(ScriptValue* values) {
    for (int i = 0; i < ScriptSlots::Count; ++i) {
        values[i].clear();
    }
}
