#include "ScriptApiFixture.h"

#include "foundation/FoundationScriptBindings.h"
#include "foundation/TimerScheduler.h"
#include "physics/PhysicsScriptBindings.h"
#include "scene/SceneScriptBindings.h"
#include "scripting/Class.h"
#include "scripting/CoreScriptFunctions.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"

namespace scriptapitest {

namespace {

ScriptApiTest* g_current = nullptr;

}  // namespace

void ScriptApiTest::SetUp() {
    g_current = this;
    Log::get().addSink(&sink_);
    TimerScheduler::get().reset();
    materials_.install();
    context_ = std::make_unique<SceneRenderContext>();
    root_ = createRootNode(*context_);
    ScriptSystem::set(LuaScriptSystem::create());
    system_ = static_cast<LuaScriptSystem*>(ScriptSystem::get());
    ASSERT_NE(system_, nullptr);
    ScriptApi api;
    addCoreScriptFunctions(api);
    addFoundationScriptApi(api);
    SceneScriptHost host;
    host.context = [] { return g_current->context_.get(); };
    host.engineRoot = []() -> const Node* { return g_current->root_.get(); };
    host.physicsSubtreeAdded = [](Node& root) {
        if (physicsSceneHandlers().subtreeReady != nullptr) {
            physicsSceneHandlers().subtreeReady(root);
        }
    };
    addSceneScriptApi(api, host);
    addPhysicsScriptApi(api);
    addScriptCallbackFunctions(api);
    api.install(*system_);
    run("function readGlobal(name) return _G[name] end\n"
        "function isNilGlobal(name) return _G[name] == nil end\n"
        "root = " +
        std::to_string(root_->getId()));
    ASSERT_EQ(log(), "");
}

void ScriptApiTest::TearDown() {
    deleteAllScriptCallbacks();
    TimerScheduler::get().reset();
    root_.reset();
    context_.reset();
    ScriptSystem::set(nullptr);
    ClassRegistry::clear();
    materials_.uninstall();
    Log::get().removeSink(&sink_);
    g_current = nullptr;
}

void ScriptApiTest::run(const std::string& chunk) {
    ASSERT_EQ(system_->runBuffer(chunk.data(), chunk.size(), "test"), 0) << log();
}

double ScriptApiTest::number(const std::string& global) {
    ScriptValue values[ScriptSlots::Count];
    values[0].setString(global.c_str());
    EXPECT_TRUE(system_->callFunction("readGlobal", values, 1, 1, nullptr));
    EXPECT_EQ(values[ScriptSlots::FirstResult].type, ScriptType::Float) << global;
    return values[ScriptSlots::FirstResult].floatValue;
}

std::string ScriptApiTest::text(const std::string& global) {
    // callFunction refuses text results; read it through print and the log.
    sink_.take();
    run("print(tostring(" + global + "))");
    std::string line = log();
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

bool ScriptApiTest::isNil(const std::string& global) {
    ScriptValue values[ScriptSlots::Count];
    values[0].setString(global.c_str());
    EXPECT_TRUE(system_->callFunction("isNilGlobal", values, 1, 1, nullptr));
    return values[ScriptSlots::FirstResult].boolValue;
}

}  // namespace scriptapitest
