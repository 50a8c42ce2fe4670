// The engine calling into scripts: global, dotted and reference targets,
// arguments by type code, results from last to first, failures.

#include "ScriptTestFixture.h"

namespace scripttest {
namespace {

using CallFunctionTest = ScriptTest;

TEST_F(CallFunctionTest, GlobalFunctionGetsTypedArgumentsAndReturnsResults) {
    run("function f(i, b, x, s, r, n)\n"
        "  seen = table.concat({type(i), tostring(i), tostring(b), tostring(x), s,\n"
        "                       type(r), type(n)}, ',')\n"
        "  return 1, true, '2.5'\n"
        "end");
    ScriptValue values[ScriptSlots::Count];
    values[0].setInt(7);
    values[1].setBool(true);
    values[2].setFloat(0.5f);
    values[3].setString("word");
    values[4].type = ScriptType::Reference;  // never pushed as a table
    ASSERT_TRUE(system_->callFunction("f", values, 6, 3, nullptr));
    run("assert(seen == 'number,7,true,0.5,word,nil,nil', seen)");

    const ScriptValue* out = values + ScriptSlots::FirstResult;
    EXPECT_EQ(out[0].type, ScriptType::Float);
    EXPECT_EQ(out[0].floatValue, 1.0f);
    EXPECT_EQ(out[1].type, ScriptType::Bool);
    EXPECT_TRUE(out[1].boolValue);
    // A string that reads as a number is a number.
    EXPECT_EQ(out[2].type, ScriptType::Float);
    EXPECT_EQ(out[2].floatValue, 2.5f);
}

TEST_F(CallFunctionTest, StringResultLogsAndYieldsNull) {
    run("function named() return 'hello', nil end");
    ScriptValue values[ScriptSlots::Count];
    ASSERT_TRUE(system_->callFunction("named", values, 0, 2, nullptr));
    EXPECT_EQ(log(), "Error running lua function: String not allowed as return value named\n");
    EXPECT_EQ(values[ScriptSlots::FirstResult].type, ScriptType::String);
    EXPECT_STREQ(values[ScriptSlots::FirstResult].stringValue, "NULL");
    EXPECT_EQ(values[ScriptSlots::FirstResult + 1].type, ScriptType::None);
}

TEST_F(CallFunctionTest, DottedNameCallsTheTableFunctionWithTheTableFirst) {
    run("Game = {count = 0}\n"
        "function Game:step(n) self.count = self.count + n; return self.count end\n"
        "Derived = setmetatable({count = 10}, {__index = Game})");
    ScriptValue values[ScriptSlots::Count];
    values[0].setInt(2);
    ASSERT_TRUE(system_->callFunction("Game.step", values, 1, 1, nullptr));
    EXPECT_EQ(values[ScriptSlots::FirstResult].floatValue, 2.0f);
    // Inherited through __index: the derived table is the one passed.
    ASSERT_TRUE(system_->callFunction("Derived.step", values, 1, 1, nullptr));
    EXPECT_EQ(values[ScriptSlots::FirstResult].floatValue, 12.0f);
    EXPECT_EQ(log(), "");
}

TEST_F(CallFunctionTest, MissingTargetsReturnFalseSilently) {
    run("notATable = 5\n"
        "T = {field = 1}\n"
        "notAFunction = {}\n"
        "tbl = {}");
    const char* names[] = {"noSuchFunction",
                           "notAFunction",
                           "noSuchTable.f",
                           "notATable.f",
                           "T.field",
                           "T.missing",
                           "T."};
    for (const char* name : names) {
        ScriptValue values[ScriptSlots::Count];
        EXPECT_FALSE(system_->callFunction(name, values, 0, 1, nullptr)) << name;
        EXPECT_EQ(values[ScriptSlots::FirstResult].type, ScriptType::None) << name;
    }
    EXPECT_EQ(log(), "");
    run("assert(select('#', 1) == 1)");  // the stack is still usable
}

TEST_F(CallFunctionTest, ReferenceTargetWithoutThatFunctionReturnsFalse) {
    run("keep({})");
    ScriptValue values[ScriptSlots::Count];
    EXPECT_FALSE(system_->callFunction("hit", values, 0, 0, keptReference()));
    EXPECT_EQ(log(), "");
}

TEST_F(CallFunctionTest, RunErrorLogsTwoLinesAndReturnsFalse) {
    run("function broken() error('it broke', 0) end\n"
        "function brokenObject() error({}) end");
    ScriptValue values[ScriptSlots::Count];
    EXPECT_FALSE(system_->callFunction("broken", values, 0, 1, nullptr));
    EXPECT_EQ(log(), "Error running lua function: broken\nit broke\n");
    EXPECT_FALSE(system_->callFunction("brokenObject", values, 0, 0, nullptr));
    EXPECT_EQ(log(), "Error running lua function: brokenObject\n(error object is a table value)\n");
    // The system keeps working.
    run("ok = 1");
    EXPECT_EQ(number("ok"), 1.0);
}

TEST_F(CallFunctionTest, ErrorInsideACallbackOfANativeFunctionIsContained) {
    run("function failing() error('inner', 0) end\n"
        "ok = callBack('failing')\n"
        "reached = 1");
    EXPECT_EQ(number("reached"), 1.0);
    run("assert(ok == false)");
    EXPECT_EQ(log(), "Error running lua function: failing\ninner\n");
}

TEST_F(CallFunctionTest, EndlessCallbackRecursionStopsWithAnError) {
    run("function again() depth = (depth or 0) + 1; return callBack('again') end\n"
        "ok = callBack('again')\n"
        "reached = 1");
    EXPECT_EQ(number("reached"), 1.0);
    EXPECT_GT(number("depth"), 10.0);
    run("assert(ok == true)");  // only the innermost call was refused
    EXPECT_EQ(log(), "Error running lua function: again\nscripts nested too deeply\n");
}

TEST_F(CallFunctionTest, OverlongNamesAndCountsAreRefused) {
    run("function " + std::string(511, 'a') + "() called = 1 end");
    ScriptValue values[ScriptSlots::Count];
    EXPECT_TRUE(system_->callFunction(std::string(511, 'a').c_str(), values, 0, 0, nullptr));
    EXPECT_EQ(log(), "");

    const std::string tooLong(512, 'a');
    EXPECT_FALSE(system_->callFunction(tooLong.c_str(), values, 0, 0, nullptr));
    EXPECT_EQ(log().rfind("Error: script function name of 512 characters or more refused: ", 0),
              0u);
    EXPECT_FALSE(system_->callFunction(std::string(5000, 'b').c_str(), values, 0, 0, nullptr));
    EXPECT_NE(log(), "");

    EXPECT_FALSE(system_->callFunction("readGlobal", values, 11, 0, nullptr));
    EXPECT_FALSE(system_->callFunction("readGlobal", values, 0, 4, nullptr));
    EXPECT_NE(log(), "");
}

}  // namespace
}  // namespace scripttest
