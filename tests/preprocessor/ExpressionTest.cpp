// Integer arithmetic of #eval and #if: operator order and association, text
// comparison of words that are no numbers, literals and the failure cases.

#include <gtest/gtest.h>

#include <climits>

#include "PreprocessorTestUtil.h"
#include "shaderlang/preprocessor/PreprocessorExpression.h"

namespace {

struct EvalCase {
    const char* expression;
    const char* output;  // what "#eval expression" writes
};

class EvalTest : public ::testing::TestWithParam<EvalCase> {};

TEST_P(EvalTest, WritesTheValue) {
    const EvalCase& c = GetParam();
    Processed r = preprocess(std::string("#define FIVE 5\n#define ABC_X x\n#eval ") + c.expression);
    EXPECT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, c.output) << c.expression;
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, EvalTest,
    ::testing::Values(
        // "-" and "/" associate to the left.
        EvalCase{"2-1-1", "0"}, EvalCase{"10-2-3", "5"}, EvalCase{"100/10/5", "2"},
        EvalCase{"2+3*4", "14"}, EvalCase{"2*3+4", "10"}, EvalCase{"(2+3)*4", "20"},
        EvalCase{"17%5", "2"}, EvalCase{"-3+5", "2"}, EvalCase{"-(2+3)", "-5"},
        EvalCase{"~0", "-1"}, EvalCase{"!0", "1"}, EvalCase{"!7", "0"}, EvalCase{"6|1", "7"},
        EvalCase{"6^3", "5"}, EvalCase{"6&3", "2"}, EvalCase{"2||0", "1"}, EvalCase{"3&&0", "0"},
        EvalCase{"1 < 2 && 2 < 3", "1"},
        // Literals: octal after a leading 0, hexadecimal after 0x.
        EvalCase{"010", "8"}, EvalCase{"0x10", "16"}, EvalCase{"0XfF", "255"}, EvalCase{"0", "0"},
        EvalCase{"length(hello)", "5"}, EvalCase{"length()", "0"}, EvalCase{"length(a b)+1", "4"},
        // Macros are expanded before the arithmetic; defined() tests names.
        EvalCase{"FIVE*2", "10"}, EvalCase{"defined(FIVE)", "1"}, EvalCase{"defined(NOPE)", "0"},
        EvalCase{"defined(FIVE) && !defined(NOPE)", "1"},
        // Numbers compare as numbers, anything else as text.
        EvalCase{"10 < 9", "0"}, EvalCase{"9 < 10", "1"}, EvalCase{"ABC == ABC", "1"},
        EvalCase{"b > a", "1"}, EvalCase{"abc != abd", "1"}, EvalCase{"ABC_X == x", "1"},
        EvalCase{"x10 < x9", "1"},
        // 32-bit signed results wrap instead of overflowing.
        EvalCase{"2147483647+1", "-2147483648"}, EvalCase{"(0-2147483647-1)/(0-1)", "-2147483648"},
        EvalCase{"(0-2147483647-1)%(0-1)", "0"}));

TEST(Expression, DivisionAndModuloByZeroWarnAndGiveZero) {
    // The warnings go to the log even though the run's warnings are off.
    struct {
        const char* input;
        const char* warning;
    } cases[] = {
        {"#eval 7/0", "Warning: dividing by zero in string arithmetic evaluation\n"},
        {"#eval 7%0", "Warning: modulo with zero in string arithmetic evaluation\n"},
    };
    for (const auto& c : cases) {
        Processed r = preprocess(c.input);
        EXPECT_TRUE(r.ok) << c.input;
        EXPECT_EQ(r.output, "0") << c.input;
        EXPECT_EQ(r.log, c.warning) << c.input;
    }
}

TEST(Expression, IfTakesOnlyPositiveValuesAsTrue) {
    struct {
        const char* expression;
        bool taken;
    } cases[] = {
        {"2-1-1", false}, {"-1", false},        {"0", false},      {"1", true},
        {"5", true},      {"ABC == ABC", true}, {"10 < 9", false}, {"b > a", true},
    };
    for (const auto& c : cases) {
        Processed r = preprocess(std::string("#if ") + c.expression + "\nyes\n#endif\n");
        EXPECT_TRUE(r.ok) << r.log;
        EXPECT_EQ(r.output.find("yes") != std::string::npos, c.taken) << c.expression;
    }
}

TEST(Expression, TextThatIsNoExpressionFailsTheRun) {
    for (const char* expression : {"12abc", "08", "0x", "1+", "(1", "abc", "-"}) {
        PreprocessorOptions options;
        options.fileName = "calc.cg";
        Processed r = preprocess(std::string("x\n#eval ") + expression + "\n", options);
        EXPECT_FALSE(r.ok) << expression;
        EXPECT_EQ(r.log, "calc.cg(2) : error: failed to compute arithmetic evalulation\n")
            << expression;
        EXPECT_EQ(r.output, "xPreprocession failed, check log") << expression;
    }
}

TEST(Expression, DeepNestingFailsInsteadOfExhaustingTheStack) {
    int32_t value = 0;
    std::string nested = std::string(5000, '(') + "1" + std::string(5000, ')');
    EXPECT_FALSE(evaluatePreprocessorExpression(nested, value));
    EXPECT_FALSE(evaluatePreprocessorExpression(std::string(5000, '!') + "1", value));
    ASSERT_TRUE(
        evaluatePreprocessorExpression(std::string(50, '(') + "7" + std::string(50, ')'), value));
    EXPECT_EQ(value, 7);
}

TEST(Expression, LongOperatorChainsEvaluate) {
    std::string sum = "0";
    for (int i = 0; i < 20000; ++i)
        sum += "+1";
    int32_t value = 0;
    ASSERT_TRUE(evaluatePreprocessorExpression(sum, value));
    EXPECT_EQ(value, 20000);
}

}  // namespace
