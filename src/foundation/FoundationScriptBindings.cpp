#include "foundation/FoundationScriptBindings.h"

#include <memory>
#include <string>

#include "foundation/HttpClient.h"
#include "foundation/HttpRequests.h"
#include "foundation/Log.h"
#include "foundation/Properties.h"
#include "foundation/TextUtil.h"
#include "foundation/XMLConfigFile.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"

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
// the request yields nothing. The script gets every byte, zero bytes too.
void httpGetFunction(Entity*, ScriptValue* values) {
    static std::string lastBody;
    lastBody = httpGet(values[0].stringValue);
    if (!lastBody.empty()) {
        scriptResult(values).setString(lastBody.data(), lastBody.size());
    }
}

// Hands a finished request to the script function named at the start:
// (body, nil, request id), or (nil, reason, request id). The name and the
// target live in a script callback object, which goes with the receiver.
class ScriptHttpReceiver : public IHttpResultReceiver {
public:
    explicit ScriptHttpReceiver(ScriptingActionListener& callback)
        : m_listenerId(callback.getListenerId()) {}
    ~ScriptHttpReceiver() override {
        // Gone already when the script callbacks were cleared first.
        delete ScriptingActionListener::find(m_listenerId);
    }
    ScriptHttpReceiver(const ScriptHttpReceiver&) = delete;
    ScriptHttpReceiver& operator=(const ScriptHttpReceiver&) = delete;

    void received(uint32_t requestId, const HttpResult& result) override {
        ScriptingActionListener* callback = ScriptingActionListener::find(m_listenerId);
        if (callback == nullptr) {
            return;
        }
        ScriptValue values[ScriptSlots::Count];
        if (result.ok) {
            values[0].setString(result.body.data(), result.body.size());
        } else {
            values[1].setString(result.error.c_str());
        }
        values[2].setInt(static_cast<int32_t>(requestId));
        callback->callScript(values, 3, 0);
    }

private:
    int32_t m_listenerId;
};

// Starts the request and returns its id; nil when it is refused (logged),
// and the function is then never called.
void httpGetAsyncFunction(Entity*, ScriptValue* values) {
    auto* callback = new ScriptingActionListener(values[1].stringValue, values[2].takeReference());
    uint32_t id = HttpRequests::get().start(values[0].stringValue,
                                            std::make_unique<ScriptHttpReceiver>(*callback));
    if (id != 0) {
        scriptResult(values).setInt(static_cast<int32_t>(id));
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
         "Fetches the URL with an HTTP GET, holding the frame until it completes, and returns "
         "the response body (every byte). Returns nil when the request fails (the reason is "
         "logged) or the body is empty."},
        {"httpGetAsync", "ssa", "i", httpGetAsyncFunction,
         "url: http://host[:port]/path; callbackName; table target?", "request: id",
         "Starts an HTTP GET on a worker thread and returns at once with the request's id; the "
         "callback gets the body (every byte) or nil and the reason at the start of a later "
         "frame. Returns nil when the request is refused (logged): a malformed URL or 16 "
         "requests already running."},
        {"loadXMLFile", "ss", "i", loadXMLFile, "path; name: entity name", "file",
         "Loads an XML configuration file into a new XMLConfigFile entity and returns its id. "
         "The id comes back also when the file cannot be read (logged); its reads then give "
         "nil."},
    });
    api.addCallbacks({
        {"httpCallback",
         "string body?: every byte, nil on failure; string reason?: why it failed; integer "
         "request: the id httpGetAsync returned",
         "",
         "Called at the start of a frame once a request of httpGetAsync has finished; with a "
         "target table it is called as the target's method. Requests still pending at shutdown "
         "are cancelled and never call back."},
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
