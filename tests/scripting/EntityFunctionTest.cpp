// The three access paths from scripts: global functions, entity functions
// with an id first (inherited through the class tree), create functions.

#include <lua.hpp>

#include "ScriptTestFixture.h"
#include "scripting/Class.h"

namespace scripttest {
namespace {

using EntityFunctionTest = ScriptTest;

std::string id(const Entity& entity) {
    return std::to_string(entity.getId());
}

TEST_F(EntityFunctionTest, MethodsAreFoundInTheClassAndItsAncestors) {
    Widget widget("w");
    Gadget gadget("g");
    Gizmo gizmo("z");
    run("setValue(" + id(widget) +
        ", 1.5)\n"
        "setValue(" +
        id(gadget) +
        ", 2.5)\n"
        "setValue(" +
        id(gizmo) +
        ", 3.5)\n"
        "setTranslation(" +
        id(gizmo) +
        ", 1, 2, 3)\n"
        "gadgetOnly(" +
        id(widget) +
        ")\n"
        "v = getValue(" +
        id(gizmo) + ")");
    EXPECT_EQ(widget.value, 1.5f);
    EXPECT_EQ(gadget.value, 2.5f);
    EXPECT_EQ(gizmo.value, 3.5f);
    EXPECT_EQ(gizmo.x, 1.0f);
    EXPECT_EQ(gizmo.y, 2.0f);
    EXPECT_EQ(gizmo.z, 3.0f);
    EXPECT_EQ(number("v"), 3.5);
    // The object handed over is the entity; gadgetOnly on a Widget ran
    // nothing and logged nothing.
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[2].object, &gizmo);
    EXPECT_EQ(log(), "");
}

TEST_F(EntityFunctionTest, IdMayBeANumericString) {
    Widget widget("w");
    run("setValue('" + id(widget) + "', 4)");
    EXPECT_EQ(widget.value, 4.0f);
}

TEST_F(EntityFunctionTest, FailuresLogTheirMessageAndReturnNothing) {
    Orphan orphan;
    const int32_t unknown = EntityRegistry::peekNextId() + 100;
    struct Case {
        std::string call;
        std::string message;
    };
    const Case cases[] = {
        {"setTranslation(" + std::to_string(unknown) + ", 1, 2, 3)",
         "Lua: Unknown entity id: " + std::to_string(unknown) + " method name: setTranslation\n"},
        {"setValue(" + id(orphan) + ", 1)",
         "Lua: Unknown class Name: Orphan method name: setValue\n"},
        {"setValue({}, 1)", ""},
        {"setValue(nil, 1)", ""},
        {"setValue()", ""},
    };
    for (const Case& c : cases) {
        run("n = select('#', " + c.call + ")");
        EXPECT_EQ(number("n"), 0.0) << c.call;
        EXPECT_EQ(log(), c.message) << c.call;
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(EntityFunctionTest, RegisteringAMethodLaterIsSeenByTheNextCall) {
    Gizmo gizmo("z");
    run("setValue(" + id(gizmo) + ", 1)");
    EXPECT_EQ(gizmo.value, 1.0f);
    // An override in the derived class takes over from the inherited one.
    ClassRegistry::find("Gizmo")->addMethod(
        {"setValue", "f", "", [](Entity* object, ScriptValue* values) {
             static_cast<Gizmo*>(object)->value = values[0].floatValue * 10;
         }});
    run("setValue(" + id(gizmo) + ", 2)");
    EXPECT_EQ(gizmo.value, 20.0f);
}

TEST_F(EntityFunctionTest, ResultsReachTheScriptWithUnsetSlotsAsNil) {
    run("a, b, c = results(2.6)\n"
        "assert(a == 3 and b == 'text' and c == nil, tostring(a) .. tostring(b) .. tostring(c))\n"
        "x, y, z = typedResults()\n"
        "assert(x == true and y == 0.25 and z == -7)\n"
        "n = select('#', results(1))");
    EXPECT_EQ(number("n"), 3.0);
}

TEST_F(EntityFunctionTest, CreateFunctionsMakeEntitiesThroughTheFactory) {
    run("id = createGadget('made', 3)");
    auto* gadget = dynamic_cast<Gadget*>(EntityRegistry::find(static_cast<int32_t>(number("id"))));
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(gadget->getName(), "made");
    ASSERT_EQ(calls().size(), 1u);
    // No declared types: numbers arrive as floats.
    EXPECT_EQ(calls()[0].args[1].type, ScriptType::Float);
    delete gadget;

    run("n = select('#', createGizmo('x'))");
    EXPECT_EQ(number("n"), 0.0);
    EXPECT_EQ(log(), "");
    run("n = select('#', createUnknown('x'))");
    EXPECT_EQ(number("n"), 0.0);
    EXPECT_EQ(log(), "Can't create new class, unknown Class Name: NoSuchClass\n");
}

TEST_F(EntityFunctionTest, NativeFailureIsLoggedAndTheScriptGoesOn) {
    run("throwing(); throwingOther(); after = 1");
    EXPECT_EQ(number("after"), 1.0);
    EXPECT_EQ(log(),
              "Error: script function throwing failed: broken part\n"
              "Error: script function throwingOther failed\n");
}

TEST_F(EntityFunctionTest, GlobalNameWithoutAMethodRunsNothing) {
    system_->registerFunction(ScriptEntry::global("unmapped"), "unmapped");
    run("n = select('#', unmapped(1, 2))");
    EXPECT_EQ(number("n"), 0.0);
    EXPECT_EQ(log(), "");
}

// The worker behind the entry functions, reached from a bare interpreter
// function as other bindings may do.
int forwardSetValue(lua_State* state) {
    return ScriptSystem::get()->callNativeFunction(state, "setValue", false);
}
int forwardResults(lua_State* state) {
    return ScriptSystem::get()->callNativeFunction(state, "results", true);
}

TEST_F(EntityFunctionTest, NativeFunctionWorkerServesBothPaths) {
    Gizmo gizmo("z");
    lua_State* state = system_->getState();
    lua_register(state, "forwardSetValue", forwardSetValue);
    lua_register(state, "forwardResults", forwardResults);
    const int32_t unknown = EntityRegistry::peekNextId() + 100;
    run("forwardSetValue(" + id(gizmo) +
        ", 6)\n"
        "a, b = forwardResults(3.5)\n"
        "n = select('#', forwardSetValue(" +
        std::to_string(unknown) + ", 1))");
    EXPECT_EQ(gizmo.value, 6.0f);
    run("assert(a == 4 and b == 'text')");
    EXPECT_EQ(number("n"), 0.0);
    EXPECT_EQ(log(),
              "Lua: Unknown entity id: " + std::to_string(unknown) + " method name: setValue\n");
}

}  // namespace
}  // namespace scripttest
