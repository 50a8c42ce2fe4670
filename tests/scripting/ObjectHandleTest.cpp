// Script-owned object handles: "new", methods with a colon, identity of
// handles, deletion on collection, inheritance through methods tables.

#include <lua.hpp>

#include "ScriptTestFixture.h"
#include "scripting/Class.h"

namespace scripttest {
namespace {

using ObjectHandleTest = ScriptTest;

TEST_F(ObjectHandleTest, NewMakesAHandleWhoseMethodsReachTheObject) {
    run("b = Builder:new(1, 2)\n"
        "a = b:grow(2.5)\n"
        "c = b:grow(1)");
    EXPECT_EQ(number("a"), 2.0);  // declared int: 2.5 rounds to 2
    EXPECT_EQ(number("c"), 3.0);
    ASSERT_EQ(calls().size(), 3u);
    // The colon call's class table is dropped; no declared types.
    EXPECT_EQ(calls()[0].args[0].type, ScriptType::Float);
    EXPECT_EQ(calls()[0].args[0].raw, 0x3f800000u);  // 1.0f
    EXPECT_EQ(calls()[1].object, calls()[2].object);
}

TEST_F(ObjectHandleTest, NewWithADotLosesTheFirstArgument) {
    run("Builder.new(5, 6)");
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].args[0].raw, 0x40c00000u);  // 6.0f
    EXPECT_EQ(calls()[0].args[1].type, ScriptType::None);
}

TEST_F(ObjectHandleTest, CollectedHandleDeletesItsObjectOnce) {
    run("b = Builder:new()\n"
        "b2 = b\n"
        "b = nil; collectgarbage()");
    EXPECT_EQ(Builder::deleted, 0);  // still referenced by b2
    run("b2 = nil; collectgarbage(); collectgarbage()");
    EXPECT_EQ(Builder::deleted, 1);
    run("kept = Builder:new()");
    ScriptSystem::set(nullptr);  // closing collects the rest
    EXPECT_EQ(Builder::deleted, 2);
}

TEST_F(ObjectHandleTest, FailureWhileCollectingIsLoggedAndCollectionGoesOn) {
    run("for i = 1, 3 do FragileBuilder:new() end\n"
        "collectgarbage(); collectgarbage()\n"
        "after = 1");
    EXPECT_EQ(number("after"), 1.0);
    EXPECT_EQ(Builder::deleted, 3);
    const std::string line = "Error: script function __gc failed: cleanup failed\n";
    EXPECT_EQ(log(), line + line + line);
}

TEST_F(ObjectHandleTest, PushingTheSameObjectTwiceGivesTheSameHandle) {
    lua_State* state = system_->getState();
    Builder* first = new Builder();
    ASSERT_EQ(LuaScriptSystem::pushObjectHandle(state, "Builder", first), 1);
    ASSERT_EQ(LuaScriptSystem::pushObjectHandle(state, "Builder", first), 1);
    EXPECT_TRUE(lua_rawequal(state, -1, -2));
    lua_setglobal(state, "h1");
    lua_setglobal(state, "h2");
    run("assert(h1:grow(3) == 3 and h2:grow(1) == 4)\n"
        "h1, h2 = nil, nil\n"
        "collectgarbage(); collectgarbage()");
    EXPECT_EQ(Builder::deleted, 1);

    // A new object, even at a reused address, gets a new live handle.
    Builder* second = new Builder();
    ASSERT_EQ(LuaScriptSystem::pushObjectHandle(state, "Builder", second), 1);
    lua_setglobal(state, "h3");
    run("assert(h3:grow(2) == 2)");
    EXPECT_EQ(second->size, 2);
}

TEST_F(ObjectHandleTest, MethodCallsOnNonHandlesRunNothing) {
    struct Case {
        const char* chunk;
        const char* message;
    };
    const Case cases[] = {
        {"Builder.grow(5, 1)", "No meta table\n"},
        {"Builder.grow({}, 1)", "No meta table\n"},
        // The class table has a metatable but holds no object.
        {"Builder:grow(1)", "Lua: Unknown class Name:  method name: grow\n"},
    };
    for (const Case& c : cases) {
        run(std::string("n = select('#', ") + c.chunk + ")");
        EXPECT_EQ(number("n"), 0.0) << c.chunk;
        EXPECT_EQ(log(), c.message) << c.chunk;
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(ObjectHandleTest, HandleOfAClassMissingFromTheRegistryLogsTheClass) {
    ScriptEntry newEntry = ScriptEntry::objectNew("Ghost");
    system_->registerClass("Ghost", nullptr, &newEntry, nullptr);
    system_->pushGlobal("Ghost");
    system_->setFunctionField(ScriptEntry::objectMethod("grow"), "grow");
    system_->popValue();
    run("n = select('#', Ghost:new())");
    EXPECT_EQ(number("n"), 0.0);
    EXPECT_EQ(log(), "Can't create new class, unknown Class Name: Ghost\n");

    Builder builder;
    lua_State* state = system_->getState();
    ASSERT_EQ(LuaScriptSystem::pushObjectHandle(state, "Ghost", &builder), 1);
    lua_setglobal(state, "ghost");
    run("ghost:grow(1)");
    EXPECT_EQ(log(), "Lua: Unknown class Name: Ghost method name: grow\n");
    EXPECT_EQ(builder.size, 0);
}

TEST_F(ObjectHandleTest, MethodsAreInheritedThroughTheParentsMethodsTable) {
    // Base class with the method, derived class bound with it as parent.
    auto base = std::make_unique<Class>("BaseBuilder", nullptr, nullptr);
    base->addMethod({"grow", "i", "i", [](Entity* object, ScriptValue* values) {
                         auto* builder = static_cast<Builder*>(object);
                         builder->size += values[0].intValue;
                         values[ScriptSlots::FirstResult].setInt(builder->size);
                     }});
    Class* baseClass = base.get();
    ClassRegistry::registerClass(std::move(base));
    ClassRegistry::registerClass(std::make_unique<Class>(
        "DerivedBuilder", baseClass, [](ScriptValue*) -> Entity* { return new Builder(); }));

    ScriptEntry gc = ScriptEntry::objectCollect(deleteScriptObject);
    system_->registerClass("BaseBuilder", nullptr, nullptr, &gc);
    system_->pushGlobal("BaseBuilder");
    system_->setFunctionField(ScriptEntry::objectMethod("grow"), "grow");
    system_->popValue();
    ScriptEntry derivedNew = ScriptEntry::objectNew("DerivedBuilder");
    system_->registerClass("DerivedBuilder", "BaseBuilder", &derivedNew, &gc);

    run("d = DerivedBuilder:new()\n"
        "assert(rawget(DerivedBuilder, 'grow') == nil)\n"
        "v = d:grow(5)\n"
        "assert(getmetatable(d) == DerivedBuilder)\n"
        "d = nil; collectgarbage(); collectgarbage()");
    EXPECT_EQ(number("v"), 5.0);
    EXPECT_EQ(Builder::deleted, 1);
}

}  // namespace
}  // namespace scripttest
