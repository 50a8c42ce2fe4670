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
    api.addGlobalFunctions({
        {"httpGet", "s", "s", httpGetFunction},
        {"httpGetAsync", "ssa", "i", httpGetAsyncFunction},
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
