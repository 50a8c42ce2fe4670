#pragma once
// Method: one script-callable function with the declared type of each argument
// and result. Bindings are written one line each:
//
//     {"setTranslation", "fff", "", setTranslation},
//     {"getTranslation", "", "fff", getTranslation},
//
// The type strings use one letter per value: i int, b bool, f float,
// s string, a any. They are checked while compiling: an unknown letter, more
// than 10 arguments or more than 3 results do not compile.
//
// Three more texts document the function for the script reference:
//
//     {"setTranslation", "fff", "", setTranslation,
//      "x, y, z: world units, relative to the parent", "",
//      "Moves the node to the position in its parent's space."},
//
// The argument and result lists name each value in order. Groups are
// separated by ";", names in a group by ","; a group may end with ": note"
// (the unit, range or meaning, for every name in the group). A name ending
// in "?" may be left out; "table name" narrows a value declared "a" to a
// Lua type. The last text is what the function does, in one sentence or
// two, including what it returns or logs when it fails.

#include <cstdint>

#include "scripting/ScriptValue.h"

class Entity;

// Called with the object (none for global functions, the entity for entity
// functions, the held object for object-class methods) and the 13 slots.
using ScriptNativeFunction = void (*)(Entity* object, ScriptValue* values);

namespace ScriptTypeLetters {
// The type code of a letter, or -1 when the letter names none.
constexpr int code(char letter) {
    switch (letter) {
        case 'a':
            return static_cast<int>(ScriptType::None);
        case 'i':
            return static_cast<int>(ScriptType::Int);
        case 'b':
            return static_cast<int>(ScriptType::Bool);
        case 'f':
            return static_cast<int>(ScriptType::Float);
        case 's':
            return static_cast<int>(ScriptType::String);
        default:
            return -1;
    }
}
// The letter of a type code ('?' for codes no letter names).
char letter(uint32_t type);
}  // namespace ScriptTypeLetters

// A list of at most Max type codes written as letters.
template <uint32_t Max>
struct ScriptTypeList {
    uint32_t codes[Max] = {};
    uint32_t count = 0;

    constexpr ScriptTypeList() = default;
    // Implicit on purpose: bindings write the list as a string literal.
    consteval ScriptTypeList(const char* letters) {  // NOLINT
        for (const char* p = letters; *p != '\0'; ++p) {
            if (count == Max) {
                tooManyTypes();
            }
            int code = ScriptTypeLetters::code(*p);
            if (code < 0) {
                unknownTypeLetter();
            }
            codes[count++] = static_cast<uint32_t>(code);
        }
    }

private:
    // Not constexpr: reaching one of these makes the declaration fail to
    // compile, and the compiler names the function in its message.
    static void tooManyTypes() {}
    static void unknownTypeLetter() {}
};

using ScriptArgTypes = ScriptTypeList<ScriptSlots::MaxArgs>;
using ScriptResultTypes = ScriptTypeList<ScriptSlots::MaxResults>;

class Method {
public:
    Method() = default;
    Method(const char* scriptName, ScriptArgTypes args, ScriptResultTypes results,
           ScriptNativeFunction native, const char* argDoc = "", const char* resultDoc = "",
           const char* summaryDoc = "");
    Method(const Method&) = default;
    Method& operator=(const Method&) = default;
    virtual ~Method() = default;

    // The declared types as letters ("fff"), for listings and references.
    void describeArgs(char (&letters)[ScriptSlots::MaxArgs + 1]) const;
    void describeResults(char (&letters)[ScriptSlots::MaxResults + 1]) const;

    uint32_t argTypes[ScriptSlots::MaxArgs] = {};
    // Descriptive: the native function sets the result codes itself.
    uint32_t resultTypes[ScriptSlots::MaxResults] = {};
    uint32_t numArgs = 0;
    uint32_t numResults = 0;
    const char* name = "";  // static text
    // Reference texts (static text, see above); empty when undocumented.
    const char* argNames = "";
    const char* resultNames = "";
    const char* summary = "";
    ScriptNativeFunction function = nullptr;
};
