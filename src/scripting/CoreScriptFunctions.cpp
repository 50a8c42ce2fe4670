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
    api.addGlobalFunctions({
        {"bitAND", "ii", "i", bitAnd},
        {"print", "aaaaaa", "", print},
        {"source", "s", "", source},
    });
}
