#include "ScriptTestFixture.h"

#include <cstring>
#include <stdexcept>

#include "scripting/Class.h"
#include "scripting/CoreScriptFunctions.h"

namespace scripttest {

int Builder::deleted = 0;

std::vector<SeenCall>& calls() {
    static std::vector<SeenCall> list;
    return list;
}

namespace {

void record(const char* function, Entity* object, ScriptValue* values) {
    SeenCall call;
    call.function = function;
    call.object = object;
    for (int i = 0; i < ScriptSlots::MaxArgs; ++i) {
        SeenValue seen;
        seen.type = values[i].type;
        seen.raw = values[i].rawPayload;
        if (values[i].type == ScriptType::String || seen.raw == 0) {
            seen.nullText = values[i].stringValue == nullptr;
            if (values[i].type == ScriptType::String && !seen.nullText) {
                seen.text = values[i].stringValue;
            }
        }
        call.args.push_back(seen);
    }
    calls().push_back(call);
}

#define RECORDING(fn)                              \
    void fn(Entity* object, ScriptValue* values) { \
        record(#fn, object, values);               \
    }

RECORDING(probe)
RECORDING(probeInt)
RECORDING(probeString)
RECORDING(touch)
RECORDING(gadgetOnly)
#undef RECORDING

// A native that keeps the table reference it got (as callback objects do).
int* g_keptReference = nullptr;
void keep(Entity*, ScriptValue* values) {
    g_keptReference = values[0].takeReference();
}

void results(Entity*, ScriptValue* values) {
    ScriptValue* out = values + ScriptSlots::FirstResult;
    out[0].setInt(values[0].intValue);
    out[1].setString("text");
    // out[2] left unset: nil
}

void typedResults(Entity*, ScriptValue* values) {
    ScriptValue* out = values + ScriptSlots::FirstResult;
    out[0].setBool(true);
    out[1].setFloat(0.25f);
    out[2].setInt(-7);
}

void throwing(Entity*, ScriptValue*) {
    throw std::runtime_error("broken part");
}

void throwingOther(Entity*, ScriptValue*) {
    throw 42;
}

void callBack(Entity*, ScriptValue* values) {
    ScriptValue call[ScriptSlots::Count];
    bool ok = ScriptSystem::get()->callFunction(values[0].stringValue, call, 0, 0, nullptr);
    values[ScriptSlots::FirstResult].setBool(ok);
}

void runChunk(Entity*, ScriptValue* values) {
    ScriptSystem::get()->runString(values[0].stringValue);
}

void setValue(Entity* object, ScriptValue* values) {
    record("setValue", object, values);
    static_cast<Widget*>(object)->value = values[0].floatValue;
}

void getValue(Entity* object, ScriptValue* values) {
    values[ScriptSlots::FirstResult].setFloat(static_cast<Widget*>(object)->value);
}

void setTranslation(Entity* object, ScriptValue* values) {
    auto* gadget = static_cast<Gadget*>(object);
    gadget->x = values[0].floatValue;
    gadget->y = values[1].floatValue;
    gadget->z = values[2].floatValue;
}

Entity* createGadget(ScriptValue* values) {
    record("createGadget", nullptr, values);
    const char* name = values[0].type == ScriptType::String ? values[0].stringValue : "";
    return new Gadget(name);
}

Entity* newBuilder(ScriptValue* values) {
    record("newBuilder", nullptr, values);
    return new Builder();
}

void builderGrow(Entity* object, ScriptValue* values) {
    record("builderGrow", object, values);
    auto* builder = static_cast<Builder*>(object);
    builder->size += values[0].intValue;
    values[ScriptSlots::FirstResult].setInt(builder->size);
}

void deleteFragile(Entity* object) {
    delete object;
    throw std::runtime_error("cleanup failed");
}

}  // namespace

int* keptReference() {
    return g_keptReference;
}

void addTestScriptApi(ScriptApi& api) {
    addCoreScriptFunctions(api);
    api.addGlobalFunctions({
        {"probe", "ifasb", "", probe},
        {"probeInt", "i", "", probeInt},
        {"probeString", "s", "", probeString},
        {"keep", "a", "", keep},
        {"results", "i", "isi", results},
        {"typedResults", "", "bfi", typedResults},
        {"throwing", "", "", throwing},
        {"throwingOther", "", "", throwingOther},
        {"callBack", "s", "b", callBack},
        {"runChunk", "s", "", runChunk},
    });
    // Children before parents on purpose: install resolves parents by name.
    api.addEntityClass("Gizmo", "Gadget", nullptr);
    api.addEntityClass("Gadget", "Widget", createGadget,
                       {
                           {"setTranslation", "fff", "", setTranslation},
                           {"gadgetOnly", "", "", gadgetOnly},
                       });
    api.addEntityClass("Widget", nullptr, nullptr,
                       {
                           {"setValue", "f", "", setValue},
                           {"getValue", "", "f", getValue},
                           {"touch", "ifs", "", touch},
                       });
    api.addCreateFunction("createGadget", "Gadget");
    api.addCreateFunction("createGizmo", "Gizmo");  // Gizmo has no factory
    api.addCreateFunction("createUnknown", "NoSuchClass");
    api.addObjectClass("Builder", newBuilder, {{"grow", "i", "i", builderGrow}});
    api.addObjectClass("FragileBuilder", newBuilder, {}, deleteFragile);
}

void ScriptTest::SetUp() {
    calls().clear();
    g_keptReference = nullptr;
    Builder::deleted = 0;
    Log::get().addSink(&sink_);
    ScriptSystem::set(LuaScriptSystem::create());
    system_ = static_cast<LuaScriptSystem*>(ScriptSystem::get());
    ASSERT_NE(system_, nullptr);
    ScriptApi api;
    addTestScriptApi(api);
    api.install(*system_);
    ASSERT_EQ(system_->runString("function readGlobal(name) return _G[name] end"), 0);
    ASSERT_EQ(log(), "");
}

void ScriptTest::TearDown() {
    if (g_keptReference != nullptr) {
        system_->releaseReference(g_keptReference);
    }
    ScriptSystem::set(nullptr);
    ClassRegistry::clear();
    Log::get().removeSink(&sink_);
}

void ScriptTest::run(const std::string& chunk) {
    ASSERT_EQ(system_->runBuffer(chunk.data(), chunk.size(), "test"), 0) << log();
}

double number(LuaScriptSystem& system, const std::string& global) {
    ScriptValue values[ScriptSlots::Count];
    values[0].setString(global.c_str());
    EXPECT_TRUE(system.callFunction("readGlobal", values, 1, 1, nullptr));
    EXPECT_EQ(values[ScriptSlots::FirstResult].type, ScriptType::Float) << global;
    return values[ScriptSlots::FirstResult].floatValue;
}

double ScriptTest::number(const std::string& global) {
    return scripttest::number(*system_, global);
}

}  // namespace scripttest
