// User macros: positional and named arguments, argument lists, the quote
// character, comments and strings, and the counter macros the shader
// builder relies on.

#include <gtest/gtest.h>

#include "PreprocessorTestUtil.h"

namespace {

struct TextCase {
    const char* name;
    const char* input;
    const char* output;
};

class MacroTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(MacroTextTest, Expands) {
    const TextCase& c = GetParam();
    Processed r = preprocess(c.input);
    EXPECT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Macros, MacroTextTest,
    ::testing::Values(
        TextCase{"Plain", "#define A 1\nA+A", "1+1"},
        TextCase{"AfterLeadingEmptyLine", "\n#define A 1\nA+A", "\n1+1"},
        TextCase{"ValueTrimmed", "#define A   one two  \n[A]", "[one two]"},
        TextCase{"Empty", "#define A\n[A]", "[]"},
        TextCase{"Chain", "#define A B\n#define B 2\nA", "2"},
        TextCase{"Redefined", "#define A 1\n#define A 2\nA", "2"},
        TextCase{"Undefined", "#define A 1\n#undef A\nA", "A"},
        TextCase{"WholeIdentifiersOnly", "#define A 1\nAB A_ xA A", "AB A_ xA 1"},
        TextCase{"Positional", "#define P(a, b) <#2|#1>\nP(x,y)", "<y|x>"},
        TextCase{"PositionalMissing", "#define P(a, b) <#1|#2>\nP(x)", "<x|>"},
        TextCase{"Named", "#define MAX(a, b) ((a) > (b) ? (a) : (b))\nMAX(x,y)",
                 "((x) > (y) ? (x) : (y))"},
        TextCase{"NamedIsWholeWord", "#define F(n) n nn n_\nF(7)", "7 nn n_"},
        TextCase{"NoParameters", "#define N() nothing\nN()", "nothing"},
        TextCase{"ParametersWithoutCall", "#define F(x) [x]\nF;", "[];"},
        TextCase{"ListOnMacroWithoutParameters", "#define G g\nG(1)", "g"},
        TextCase{"NestedParentheses", "#define F(a, b) [#1][#2]\nF((1, 2), f(3, (4)))",
                 "[(1, 2)][ f(3, (4))]"},
        TextCase{"ArgumentsExpandFirst", "#define ONE 1\n#define F(a) [a]\nF(ONE)", "[1]"},
        TextCase{"CallInsideBody", "#define SQ(x) (x*x)\n#define F(y) SQ(y)+1\nF(3)", "(3*3)+1"},
        TextCase{"QuoteInArgument", "#define F(a, b) [#1][#2]\nF(x\\,y, z\\))", "[x,y][ z)]"},
        TextCase{"QuoteInText", "a\\(b\\\\c\\d", "a(b\\c\\d"},
        TextCase{"LineContinuation", "#define A 1 + \\\n2\nA", "1 + 2"},
        TextCase{"LineContinuationInText", "ab\\\ncd", "abcd"},
        TextCase{"DoubleQuotedString", "#define A 1\n\"A (A)\" A", "\"A (A)\" 1"},
        TextCase{"SingleQuotedString", "#define A 1\n'A\\'A' A", "'A\\'A' 1"},
        TextCase{"BlockCommentDropped", "#define A 1\nx/* A */A", "x1"},
        TextCase{"LineCommentDropped", "#define A 1\nA // A\nA", "1 \n1"},
        TextCase{"DefineInBlockComment", "/*\n#define A 1\n*/A", "A"},
        TextCase{"CommentInDirective", "#define A 1 /* two */ // three\nA", "1"},
        TextCase{"UnknownDirectiveKept", "#pragma A\n#define A 1\nA", "#pragma A\n1"},
        TextCase{"HashInsideLine", "x #define A 1\nA", "x #define A 1\nA"},
        TextCase{"DirectiveWithBlanks", "  #  define A 1\nA", "1"},
        TextCase{"ArgumentReferenceOutsideBody", "#1 #x", "#1 #x"},
        TextCase{"DirectiveInBodyActsWhenExpanded", "#define SET #define V 3\nV SET\nV", "V \n3"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST(Macros, TextureUnitCounterCountsEachUse) {
    Processed r = preprocess(
        "#define curUnit 0\n"
        "#define IncrementCurUnit #defeval curUnit #eval curUnit+1\n"
        "#define TEXUNITN_(number) TEXUNIT#1\n"
        "#define TEXUNITN TEXUNITN_(curUnit) IncrementCurUnit\n"
        "a : TEXUNITN;\nb : TEXUNITN;\nc : TEXUNITN;\n");
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "a : TEXUNIT0 ;\nb : TEXUNIT1 ;\nc : TEXUNIT2 ;\n");
}

TEST(Macros, TexCoordCountersStepByTheirArgument) {
    Processed r = preprocess(
        "#define NUM_TEXCOORDS 0\n"
        "#define NUM_DIRECTIONAL_LIGHTS 3\n"
        "#define INCREMENT_NUM_TEXCOORDS(step) #defeval NUM_TEXCOORDS #eval NUM_TEXCOORDS+step\n"
        "#define NEXT_TEXCOORD NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(1)\n"
        "#define NEXT_I_TEXCOORD(step) NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(step)\n"
        "#defeval LAYER0 NEXT_TEXCOORD\n"
        "#defeval LIGHTING NEXT_I_TEXCOORD(NUM_DIRECTIONAL_LIGHTS)\n"
        "#defeval LAYER1 NEXT_TEXCOORD\n"
        "[LAYER0][LIGHTING][LAYER1][NUM_TEXCOORDS]");
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "[0][1][4][5]");
}

TEST(Macros, DefinesFromOptionsComeFirst) {
    PreprocessorOptions options;
    options.defines = {{"NUM_BONES", "40"}, {"MAX(a, b)", "((a) > (b) ? (a) : (b))"}};
    Processed r = preprocess("NUM_BONES MAX(1,2)", options);
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "40 ((1) > (2) ? (1) : (2))");
}

TEST(Macros, OneHundredArgumentsAreTheMost) {
    auto call = [](int count) {
        std::string text = "#define F(x) #1\nF(a";
        for (int i = 1; i < count; ++i)
            text += ",a";
        return text + ")";
    };
    Processed hundred = preprocess(call(100));
    EXPECT_TRUE(hundred.ok) << hundred.log;
    EXPECT_EQ(hundred.output, "a");
    Processed more = preprocess(call(101));
    EXPECT_FALSE(more.ok);
    EXPECT_EQ(more.log, "defaultFilename(2) : error: too many macro parameters\n");
}

TEST(Macros, SelfReferenceStopsAtTheExpansionDepth) {
    struct {
        const char* input;
        const char* message;
    } cases[] = {
        {"#define A A\nA", "macro expansion nested too deeply in A"},
        {"#define A B\n#define B A\nA", "macro expansion nested too deeply"},
        {"#define F(x) F(x)\nF(1)", "macro expansion nested too deeply"},
        {"#define F(x) x\nF(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(A))))))))))))))))))))", nullptr},
        {"#define C #defeval C C\nC", "macro expansion nested too deeply"},
    };
    for (const auto& c : cases) {
        Processed r = preprocess(c.input);
        if (!c.message) {
            EXPECT_TRUE(r.ok) << r.log;
            EXPECT_EQ(r.output, "A");
            continue;
        }
        EXPECT_FALSE(r.ok) << c.input;
        EXPECT_NE(r.log.find(c.message), std::string::npos) << r.log;
        EXPECT_EQ(r.log.find('\n'), r.log.size() - 1) << "one message only: " << r.log;
    }
}

TEST(Macros, GrowingExpansionsStopWithAnError) {
    // Each level doubles the text: 2^40 characters unless something stops it.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + " M" +
                std::to_string(i + 1) + "\n";
    text += "M0";
    Processed r = preprocess(text);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.log.find(": error: "), std::string::npos);
    EXPECT_LT(r.output.size(), size_t(200) << 20);
}

TEST(Macros, KeepCommentsCopiesComments) {
    PreprocessorOptions options;
    options.keepComments = true;
    Processed r = preprocess("a/* b */c // d\ne", options);
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "a/* b */c // d\ne");
}

struct CollectSink : IPreprocessorSink {
    void write(const char* text, size_t length) override { received.append(text, length); }
    std::string received;
};

// Runs a preprocessor object with both outputs set.
bool runInto(const std::string& text, std::string& output, CollectSink& sink) {
    PreprocessorOptions options;
    options.inputText = text.data();
    options.inputLength = text.size();
    options.outputString = &output;
    options.outputSink = &sink;
    Preprocessor preprocessor(options);
    return preprocessor.run();
}

TEST(Macros, OutputGoesToStringAndSink) {
    CollectSink sink;
    std::string output = "before:";
    EXPECT_TRUE(runInto("#define A 1\nA A\n", output, sink));
    EXPECT_EQ(output, "before:1 1\n");
    EXPECT_EQ(sink.received, "1 1\n");
}

TEST(Macros, FailureTextGoesToStringAndSink) {
    CollectSink sink;
    std::string output;
    LogCollector log;
    EXPECT_FALSE(runInto("ok\n#endif\nlost", output, sink));
    EXPECT_EQ(output, "okPreprocession failed, check log");
    EXPECT_EQ(sink.received, output);
    EXPECT_EQ(log.text(), "defaultFilename(2) : error: #endif without #if\n");
}

TEST(Macros, NoInputIsAnError) {
    std::string output;
    PreprocessorOptions options;
    options.outputString = &output;
    LogCollector log;
    Preprocessor preprocessor(options);
    EXPECT_FALSE(preprocessor.run());
    EXPECT_EQ(log.text(), "defaultFilename(1) : error: no input data set\n");
    EXPECT_EQ(output, "Preprocession failed, check log");
}

TEST(Macros, TrimOffKeepsDirectiveLines) {
    PreprocessorOptions options;
    options.trimBeforeTerminators = false;
    Processed r = preprocess("a\n#define A 1\n#if 0\nb\n#endif\nA\n", options);
    ASSERT_TRUE(r.ok) << r.log;
    // The skipped line itself is output text and goes with the block.
    EXPECT_EQ(r.output, "a\n\n\n\n1\n");
}

}  // namespace
