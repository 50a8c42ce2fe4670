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
    api.setSection("Foundation");
    api.addGlobalFunctions({
        {"httpGet", "s", "s", httpGetFunction, "url: http://host[:port]/path", "body",
         "Fetches the URL with an HTTP GET and returns the response body, valid until the next "
         "call. Returns nil when the request fails (the reason is logged) or the body is empty."},
        {"loadXMLFile", "ss", "i", loadXMLFile, "path; name: entity name", "file",
         "Loads an XML configuration file into a new XMLConfigFile entity and returns its id. "
         "The id comes back also when the file cannot be read (logged); its reads then give "
         "nil."},
    });
    api.addEntityClass("Entity", nullptr, nullptr,
                       {
                           {"delete", "", "", deleteEntity, "", "",
                            "Deletes the entity. A shared object (a sample, a texture) is not "
                            "deleted and a warning is logged."},
                           {"getClassName", "", "s", getClassName, "", "className",
                            "Returns the name of the entity's class, such as \"TransformGroup\"."},
                       });
    api.describeClass("Entity", {"entity", "Every engine object a script can address by id."});
    api.addEntityClass(
        "Properties", "Entity", nullptr,
        {
            {"getXMLInt", "s", "i", getXMLInt, "path: dotted path such as \"game.width\"", "value",
             "Reads the text at the path as a decimal integer; nil when the path has no "
             "text."},
            {"getXMLFloat", "s", "f", getXMLFloat, "path: dotted path", "value: as written",
             "Reads the text at the path as a number; nil when the path has no text."},
            {"getXMLBool", "s", "b", getXMLBool, "path: dotted path", "value",
             "Reads the text at the path as a flag: true when it is \"true\" in any case, false "
             "otherwise; nil when the path has no text."},
            {"getXMLString", "s", "s", getXMLString, "path: dotted path", "value",
             "Returns the text at the path; nil when the path has no text."},
            {"setXMLInt", "si", "", setXMLInt, "path: dotted path; value", "",
             "Stores the integer as decimal text at the path, creating the elements it needs."},
            {"setXMLFloat", "sf", "", setXMLFloat, "path: dotted path; value: as stored", "",
             "Stores the number as text at the path, creating the elements it needs."},
            {"setXMLBool", "sb", "", setXMLBool, "path: dotted path; value", "",
             "Stores \"true\" or \"false\" at the path, creating the elements it needs."},
            {"setXMLString", "ss", "", setXMLString, "path: dotted path; value", "",
             "Stores the text at the path, creating the elements it needs."},
        });
    api.describeClass("Properties", {"properties",
                                     "Key and value settings addressed by dotted paths such as "
                                     "\"game.graphic.display.width\" or \"root.item(1)#name\"."});
    api.addEntityClass("XMLConfigFile", "Properties", nullptr,
                       {
                           {"saveXMLFile", "", "", saveXMLFile, "", "",
                            "Writes the settings back to the file they were loaded from; a "
                            "file that did not load is not written."},
                       });
    api.describeClass("XMLConfigFile",
                      {"file", "Settings loaded from an XML file with loadXMLFile."});
}
