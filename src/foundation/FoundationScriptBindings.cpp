#include "foundation/FoundationScriptBindings.h"

#include <string>

#include "foundation/HttpClient.h"
#include "foundation/Log.h"
#include "foundation/Properties.h"
#include "foundation/TextUtil.h"
#include "foundation/XMLConfigFile.h"
#include "scripting/ScriptApi.h"

namespace {

void deleteEntity(Entity* entity, ScriptValue*) {
    // Shared objects die with their last reference, never on a script's word.
    if (dynamic_cast<RefCounted*>(entity) != nullptr) {
        Log::get() << "Warning: delete, " << entity->getName()
                   << " is a shared object and is not deleted\n";
        return;
    }
    entity->leaveRegistry();
    delete entity;
}

void getClassName(Entity* entity, ScriptValue* values) {
    scriptResult(values).setString(entity->getClassName());
}

Properties& properties(Entity* entity) {
    return *static_cast<Properties*>(entity);
}

void getXMLInt(Entity* entity, ScriptValue* values) {
    if (const char* text = properties(entity).getString(values[0].stringValue)) {
        scriptResult(values).setInt(readInt(text, 0));
    }
}

void getXMLFloat(Entity* entity, ScriptValue* values) {
    if (const char* text = properties(entity).getString(values[0].stringValue)) {
        scriptResult(values).setFloat(readFloat(text));
    }
}

void getXMLBool(Entity* entity, ScriptValue* values) {
    if (const char* text = properties(entity).getString(values[0].stringValue)) {
        scriptResult(values).setBool(readFlag(text));
    }
}

void getXMLString(Entity* entity, ScriptValue* values) {
    // The text lives in the document until the next change.
    if (const char* text = properties(entity).getString(values[0].stringValue)) {
        scriptResult(values).setString(text);
    }
}

void setXMLInt(Entity* entity, ScriptValue* values) {
    properties(entity).setString(values[0].stringValue, formatIntValue(values[1].intValue).c_str());
}

void setXMLFloat(Entity* entity, ScriptValue* values) {
    properties(entity).setFloat(values[0].stringValue, values[1].floatValue);
}

void setXMLBool(Entity* entity, ScriptValue* values) {
    properties(entity).setString(values[0].stringValue, values[1].isTrue() ? "true" : "false");
}

void setXMLString(Entity* entity, ScriptValue* values) {
    properties(entity).setString(values[0].stringValue, values[1].stringValue);
}

void saveXMLFile(Entity* entity, ScriptValue*) {
    static_cast<XMLConfigFile*>(entity)->save();
}

// The body stays valid until the next call, which replaces it; nil when
// the request yields nothing.
void httpGetFunction(Entity*, ScriptValue* values) {
    static std::string lastBody;
    lastBody = httpGet(values[0].stringValue);
    if (!lastBody.empty()) {
        scriptResult(values).setString(lastBody.c_str());
    }
}

// Returns the id also when the file did not load: its reads then give nil.
void loadXMLFile(Entity*, ScriptValue* values) {
    auto* file = new XMLConfigFile(values[0].stringValue, values[1].stringValue, true);
    scriptResult(values).setInt(file->getId());
}

}  // namespace

void addFoundationScriptApi(ScriptApi& api) {
    api.addGlobalFunctions({
        {"httpGet", "s", "s", httpGetFunction},
        {"loadXMLFile", "ss", "i", loadXMLFile},
    });
    api.addEntityClass("Entity", nullptr, nullptr,
                       {
                           {"delete", "", "", deleteEntity},
                           {"getClassName", "", "s", getClassName},
                       });
    api.addEntityClass("Properties", "Entity", nullptr,
                       {
                           {"getXMLInt", "s", "i", getXMLInt},
                           {"getXMLFloat", "s", "f", getXMLFloat},
                           {"getXMLBool", "s", "b", getXMLBool},
                           {"getXMLString", "s", "s", getXMLString},
                           {"setXMLInt", "si", "", setXMLInt},
                           {"setXMLFloat", "sf", "", setXMLFloat},
                           {"setXMLBool", "sb", "", setXMLBool},
                           {"setXMLString", "ss", "", setXMLString},
                       });
    api.addEntityClass("XMLConfigFile", "Properties", nullptr,
                       {
                           {"saveXMLFile", "", "", saveXMLFile},
                       });
}
