// Cost of the binding layer against bare lua_CFunctions doing the same work,
// in the same interpreter: a script calling a global function with three
// floats, a script calling an entity function (id and three floats), and the
// engine calling a script function with two arguments.

#include <benchmark/benchmark.h>

#include <lua.hpp>

#include "foundation/Entity.h"
#include "scripting/LuaScriptSystem.h"
#include "scripting/ScriptApi.h"

namespace {

constexpr int kCallsPerRun = 1000;

float g_sum = 0.0f;

class BenchNode : public Entity {
public:
    BenchNode() : Entity("benchNode", true) {}
    const char* getClassName() const override { return "BenchNode"; }
    float x = 0, y = 0, z = 0;
};

void addThree(Entity*, ScriptValue* values) {
    g_sum += values[0].floatValue + values[1].floatValue + values[2].floatValue;
}

void setTranslation(Entity* object, ScriptValue* values) {
    auto* node = static_cast<BenchNode*>(object);
    node->x = values[0].floatValue;
    node->y = values[1].floatValue;
    node->z = values[2].floatValue;
}

int bareAddThree(lua_State* state) {
    g_sum += static_cast<float>(lua_tonumber(state, 1)) +
             static_cast<float>(lua_tonumber(state, 2)) +
             static_cast<float>(lua_tonumber(state, 3));
    return 0;
}

int bareSetTranslation(lua_State* state) {
    Entity* entity = EntityRegistry::find(static_cast<int32_t>(lua_tointeger(state, 1)));
    if (entity == nullptr) {
        return 0;
    }
    auto* node = static_cast<BenchNode*>(entity);
    node->x = static_cast<float>(lua_tonumber(state, 2));
    node->y = static_cast<float>(lua_tonumber(state, 3));
    node->z = static_cast<float>(lua_tonumber(state, 4));
    return 0;
}

// A script system with the bound and the bare functions side by side, and
// script loops that call each of them.
struct Fixture {
    std::unique_ptr<LuaScriptSystem> system = LuaScriptSystem::create();
    BenchNode node;

    Fixture() {
        ScriptApi api;
        api.addGlobalFunctions({{"addThree", "fff", "", addThree}});
        api.addEntityClass("BenchBase", nullptr, nullptr,
                           {{"setTranslation", "fff", "", setTranslation}});
        api.addEntityClass("BenchNode", "BenchBase", nullptr);
        api.install(*system);
        lua_State* state = system->getState();
        lua_register(state, "bareAddThree", bareAddThree);
        lua_register(state, "bareSetTranslation", bareSetTranslation);
        const std::string id = std::to_string(node.getId());
        system->runString(
            ("function loopGlobal(n) for i = 1, n do addThree(i, 2.5, 3.5) end end\n"
             "function loopBareGlobal(n) for i = 1, n do bareAddThree(i, 2.5, 3.5) end end\n"
             "function loopEntity(n) for i = 1, n do setTranslation(" +
             id +
             ", i, 2, 3) end end\n"
             "function loopBareEntity(n) for i = 1, n do bareSetTranslation(" +
             id +
             ", i, 2, 3) end end\n"
             "function handler(a, b) return a + b end\n")
                .c_str());
    }

    void loop(const char* function) {
        ScriptValue values[ScriptSlots::Count];
        values[0].setInt(kCallsPerRun);
        system->callFunction(function, values, 1, 0, nullptr);
    }
};

void runLoop(benchmark::State& state, const char* function) {
    Fixture fixture;
    for (auto _ : state) {
        fixture.loop(function);
    }
    benchmark::DoNotOptimize(g_sum);
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}

void BM_ScriptCallsBoundGlobal(benchmark::State& state) {
    runLoop(state, "loopGlobal");
}
void BM_ScriptCallsBareGlobal(benchmark::State& state) {
    runLoop(state, "loopBareGlobal");
}
void BM_ScriptCallsBoundEntityFunction(benchmark::State& state) {
    runLoop(state, "loopEntity");
}
void BM_ScriptCallsBareEntityFunction(benchmark::State& state) {
    runLoop(state, "loopBareEntity");
}

void BM_EngineCallFunction(benchmark::State& state) {
    Fixture fixture;
    ScriptValue values[ScriptSlots::Count];
    float total = 0;
    for (auto _ : state) {
        values[0].setFloat(1.5f);
        values[1].setInt(2);
        fixture.system->callFunction("handler", values, 2, 1, nullptr);
        total += values[ScriptSlots::FirstResult].floatValue;
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations());
}

// The same call written directly against the interpreter.
void BM_EngineCallBare(benchmark::State& state) {
    Fixture fixture;
    lua_State* lua = fixture.system->getState();
    float total = 0;
    for (auto _ : state) {
        lua_getglobal(lua, "handler");
        lua_pushnumber(lua, 1.5);
        lua_pushnumber(lua, 2);
        if (lua_pcall(lua, 2, 1, 0) == 0) {
            total += static_cast<float>(lua_tonumber(lua, -1));
        }
        lua_pop(lua, 1);
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ScriptCallsBoundGlobal);
BENCHMARK(BM_ScriptCallsBareGlobal);
BENCHMARK(BM_ScriptCallsBoundEntityFunction);
BENCHMARK(BM_ScriptCallsBareEntityFunction);
BENCHMARK(BM_EngineCallFunction);
BENCHMARK(BM_EngineCallBare);

}  // namespace

BENCHMARK_MAIN();
