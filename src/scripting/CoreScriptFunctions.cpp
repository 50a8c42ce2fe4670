#include "scripting/CoreScriptFunctions.h"

#include <string>

#include "foundation/Log.h"
#include "scripting/Script.h"
#include "scripting/ScriptApi.h"

namespace {

void bitAnd(Entity*, ScriptValue* values) {
    values[ScriptSlots::FirstResult].setInt(values[0].intValue & values[1].intValue);
}

// Up to six values without separators; nil and tables are skipped.
void print(Entity*, ScriptValue* values) {
    std::string text;
    for (int i = 0; i < 6; ++i) {
        const ScriptValue& value = values[i];
        switch (value.type) {
            case ScriptType::Bool:
                text += value.boolValue ? "true" : "false";
                break;
            case ScriptType::Float:
                text += formatLogFloat(value.floatValue);
                break;
            case ScriptType::String:
                text += value.stringValue;
                break;
            default:
                break;
        }
    }
    text += "\n";
    Log::get() << text;
}

void source(Entity*, ScriptValue* values) {
    sourceScript(values[0].stringValue);
}

}  // namespace

void addCoreScriptFunctions(ScriptApi& api) {
    api.setSection("Core");
    api.addGlobalFunctions({
        {"bitAND", "ii", "i", bitAnd, "a, b", "result",
         "Returns the bitwise AND of two integers, for testing flag bits."},
        {"print", "aaaaaa", "", print, "value1?, value2?, value3?, value4?, value5?, value6?", "",
         "Writes up to six values to the log on one line without separators: booleans as "
         "true or false, numbers in the log's number format, strings as they are; nil and "
         "tables are left out."},
        {"source", "s", "", source, "path: script file, relative to the game folder", "",
         "Loads and runs another script file once; a file already loaded is not run again, a "
         "missing file or a script error is logged."},
    });
}
