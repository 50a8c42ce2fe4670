// Script values to native slots: declared types, rounding, missing
// arguments, references; native results back to script values.

#include <cstring>

#include "ScriptTestFixture.h"

namespace scripttest {
namespace {

using ArgumentTest = ScriptTest;

TEST_F(ArgumentTest, DeclaredIntRoundsHalfToEven) {
    struct Case {
        const char* literal;
        int32_t expected;
    };
    const Case cases[] = {
        {"2.5", 2},          {"3.5", 4},           {"2.7", 3}, {"-2.5", -2},
        {"-3.5", -4},        {"0.49", 0},          {"7", 7},   {"'12'", 0},
        {"1e12", INT32_MAX}, {"-1e12", INT32_MIN}, {"0/0", 0},
    };
    for (const Case& c : cases) {
        calls().clear();
        run(std::string("probeInt(") + c.literal + ")");
        ASSERT_EQ(calls().size(), 1u) << c.literal;
        const SeenValue& arg = calls()[0].args[0];
        if (std::string(c.literal) == "'12'") {
            // A string stays a string, even where an int is declared.
            EXPECT_EQ(arg.type, ScriptType::String);
            EXPECT_EQ(arg.text, "12");
            continue;
        }
        EXPECT_EQ(arg.type, ScriptType::Int) << c.literal;
        EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(arg.raw)), c.expected) << c.literal;
    }
}

TEST_F(ArgumentTest, ValuesTakeTheirOwnCodesWhereNoIntIsDeclared) {
    // probe is declared int, float, any, string, bool.
    run("probe(2.5, 7, 'x', 'name', false)");
    ASSERT_EQ(calls().size(), 1u);
    const auto& args = calls()[0].args;
    EXPECT_EQ(args[0].type, ScriptType::Int);
    EXPECT_EQ(args[1].type, ScriptType::Float);
    float f;
    std::memcpy(&f, &args[1].raw, sizeof(f));
    EXPECT_EQ(f, 7.0f);
    EXPECT_EQ(args[2].type, ScriptType::String);
    EXPECT_EQ(args[2].text, "x");
    EXPECT_EQ(args[3].text, "name");
    EXPECT_EQ(args[4].type, ScriptType::Bool);
    EXPECT_EQ(args[4].raw, 0u);

    calls().clear();
    run("probe(true, 1.5, true, 'n', 1)");
    const auto& again = calls()[0].args;
    // A boolean where an int is declared is a boolean; a number in an any
    // or bool slot a float.
    EXPECT_EQ(again[0].type, ScriptType::Bool);
    EXPECT_EQ(again[2].type, ScriptType::Bool);
    EXPECT_EQ(again[4].type, ScriptType::Float);
}

TEST_F(ArgumentTest, ExtraArgumentsAreNotRead) {
    run("probeInt(1, 2, 3, 4)");
    const auto& args = calls()[0].args;
    for (int i = 1; i < ScriptSlots::MaxArgs; ++i) {
        EXPECT_EQ(args[i].type, ScriptType::None) << i;
        EXPECT_EQ(args[i].raw, 0u) << i;
    }
}

TEST_F(ArgumentTest, MissingGlobalArgumentsKeepCodeNoneAndAClearedPayload) {
    run("probe(5)");
    const auto& args = calls()[0].args;
    EXPECT_EQ(args[0].type, ScriptType::Int);
    for (int i = 1; i < ScriptSlots::MaxArgs; ++i) {
        EXPECT_EQ(args[i].type, ScriptType::None) << i;
    }
    EXPECT_EQ(args[1].raw, 0u);
    EXPECT_EQ(args[4].raw, 0u);
    // A declared string never reaches native code as a null pointer.
    EXPECT_FALSE(args[3].nullText);
}

TEST_F(ArgumentTest, MissingEntityArgumentHasItsDeclaredTypeAndAZeroPayload) {
    Widget widget("w");
    // touch is declared int, float, string.
    run("touch(" + std::to_string(widget.getId()) + ", 9)");
    ASSERT_EQ(calls().size(), 1u);
    const auto& args = calls()[0].args;
    EXPECT_EQ(args[0].type, ScriptType::Int);
    EXPECT_EQ(args[0].raw, 9u);
    EXPECT_EQ(args[1].type, ScriptType::Float);
    EXPECT_EQ(args[1].raw, 0u);
    // The id counts among the values, so one slot more than given keeps its
    // declared type; the next is untouched, yet its declared string is not
    // null.
    EXPECT_EQ(args[2].type, ScriptType::None);
    EXPECT_FALSE(args[2].nullText);
    EXPECT_EQ(args[3].type, ScriptType::None);
}

TEST_F(ArgumentTest, DeclaredStringNeverCarriesAnotherPayload) {
    struct Case {
        const char* literal;
        const char* text;
    };
    // A number becomes its text; values that have none leave the empty
    // string rather than a boolean or reference where a pointer is read.
    const Case cases[] = {{"'abc'", "abc"}, {"12", "12"}, {"true", ""}, {"{}", ""}};
    for (const Case& c : cases) {
        calls().clear();
        run(std::string("probeString(") + c.literal + ")");
        const SeenValue& arg = calls()[0].args[0];
        EXPECT_EQ(arg.type, ScriptType::String) << c.literal;
        EXPECT_FALSE(arg.nullText) << c.literal;
        EXPECT_EQ(arg.text, c.text) << c.literal;
    }
}

TEST_F(ArgumentTest, TableBecomesAReferenceThatCallFunctionCanTarget) {
    run("target = {hits = 0}\n"
        "function target.hit(self, n) self.hits = self.hits + n; return self.hits end\n"
        "keep(target)");
    int* reference = keptReference();
    ASSERT_NE(reference, nullptr);
    // The name is looked up in the referenced table, which is passed first.
    ScriptValue values[ScriptSlots::Count];
    values[0].setInt(4);
    EXPECT_TRUE(system_->callFunction("hit", values, 1, 1, reference));
    EXPECT_EQ(values[ScriptSlots::FirstResult].floatValue, 4.0f);
}

TEST_F(ArgumentTest, ReferencesNobodyTookAreReleasedAfterTheCall) {
    // Weak keys show whether the registry still holds the table.
    run("weak = setmetatable({}, {__mode = 'k'})\n"
        "local dropped, kept = {}, {}\n"
        "weak[dropped] = 'dropped'; weak[kept] = 'kept'\n"
        "print(dropped); probe(1, 2, dropped)\n"
        "keep(kept)\n"
        "dropped, kept = nil, nil\n"
        "collectgarbage(); collectgarbage()\n"
        "left = {}\n"
        "for _, v in pairs(weak) do left[#left + 1] = v end\n"
        "count = #left\n"
        "first = left[1]");
    EXPECT_EQ(number("count"), 1.0);
    ASSERT_NE(keptReference(), nullptr);
    run("assert(first == 'kept')");
}

}  // namespace
}  // namespace scripttest
