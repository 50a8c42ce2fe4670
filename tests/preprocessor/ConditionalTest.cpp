// The conditional stack: if/elif/else chains, ifdef and ifndef, nests below
// an inactive level and the nesting limit.

#include <gtest/gtest.h>

#include "PreprocessorTestUtil.h"

namespace {

// The words of a text, one blank between them.
std::string words(const std::string& text) {
    std::string result;
    bool gap = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t') {
            gap = !result.empty();
            continue;
        }
        if (gap)
            result += ' ';
        gap = false;
        result += c;
    }
    return result;
}

struct ChainCase {
    const char* name;
    const char* input;
    const char* words;
};

class ConditionalChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ConditionalChainTest, KeepsTheTakenBranch) {
    const ChainCase& c = GetParam();
    Processed r = preprocess(c.input);
    EXPECT_TRUE(r.ok) << r.log;
    EXPECT_EQ(words(r.output), c.words);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, ConditionalChainTest,
    ::testing::Values(
        ChainCase{"IfTrue", "#if 1\nA\n#else\nB\n#endif\nC", "A C"},
        ChainCase{"IfFalse", "#if 0\nA\n#else\nB\n#endif\nC", "B C"},
        ChainCase{"FirstElifTaken", "#if 0\nA\n#elif 1\nB\n#elif 1\nC\n#else\nD\n#endif", "B"},
        ChainCase{"LaterElifTaken", "#if 0\nA\n#elif 0\nB\n#elif 2\nC\n#else\nD\n#endif", "C"},
        ChainCase{"ElseAfterElifs", "#if 0\nA\n#elif 0\nB\n#else\nD\n#endif", "D"},
        ChainCase{"ElifAfterTakenIf", "#if 1\nA\n#elif 1\nB\n#else\nC\n#endif", "A"},
        ChainCase{"InactiveParentIf",
                  "#if 0\n#if 1\nA\n#elif 1\nB\n#else\nC\n#endif\nD\n#else\nE\n#endif", "E"},
        ChainCase{"InactiveParentIfdef",
                  "#ifdef NOPE\n#ifndef NOPE\nA\n#else\nB\n#endif\n#endif\nF", "F"},
        ChainCase{"ActiveNest", "#if 1\n#if 0\nA\n#elif 1\nB\n#endif\n#else\nC\n#endif", "B"},
        ChainCase{"TakenBranchThenNest", "#if 0\nA\n#elif 1\n#if 1\nB\n#endif\n#else\nC\n#endif",
                  "B"},
        ChainCase{"Ifdef", "#define X\n#ifdef X\nA\n#endif\n#ifdef Y\nB\n#endif", "A"},
        ChainCase{"Ifndef", "#define X\n#ifndef X\nA\n#endif\n#ifndef Y\nB\n#endif", "B"},
        ChainCase{"DefinedInExpression", "#define X 0\n#if defined(X) && !defined(Y)\nA\n#endif",
                  "A"},
        ChainCase{"MacroInExpression", "#define LEVEL 3\n#if LEVEL > 2\nA\n#endif", "A"},
        // Nothing in a skipped block acts: no define, no counter step, no
        // include, no eval.
        ChainCase{"SkippedDirectivesDoNothing",
                  "#define N 0\n#if 0\n#define X 1\n#defeval N #eval N+1\n"
                  "#include missing.cg\n#eval 1/0\n#undef N\n#endif\nN X",
                  "0 X"}),
    [](const ::testing::TestParamInfo<ChainCase>& info) { return info.param.name; });

TEST(Conditionals, FortyNineLevelsAreTheMost) {
    auto nest = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += i % 2 ? "#ifdef NOPE\n" : "#if 1\n";
        text += "x\n";
        for (int i = 0; i < levels; ++i)
            text += "#endif\n";
        return text;
    };
    Processed deepest = preprocess(nest(49));
    EXPECT_TRUE(deepest.ok) << deepest.log;
    Processed tooDeep = preprocess(nest(50));
    EXPECT_FALSE(tooDeep.ok);
    EXPECT_EQ(tooDeep.log, "defaultFilename(50) : error: too many nested #ifs\n");
}

}  // namespace
