// Error and warning messages: their wording, and the file and line they name.

#include <gtest/gtest.h>

#include "PreprocessorTestUtil.h"

namespace {

struct MessageCase {
    const char* input;
    const char* message;  // the whole log of the run
};

class ErrorTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ErrorTest, FailsWithTheMessage) {
    const MessageCase& c = GetParam();
    PreprocessorOptions options;
    options.fileName = "shader.cg";
    Processed r = preprocess(std::string("first line\n") + c.input, options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, c.message) << c.input;
    const std::string failure = "Preprocession failed, check log";
    EXPECT_EQ(r.output.substr(r.output.size() - std::min(r.output.size(), failure.size())),
              failure);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorTest,
    ::testing::Values(
        MessageCase{"#endif", "shader.cg(2) : error: #endif without #if\n"},
        MessageCase{"\n#elif 1", "shader.cg(3) : error: #elif without #if\n"},
        MessageCase{"#undef", "shader.cg(2) : error: missing argument in meta macro\n"},
        MessageCase{"#define", "shader.cg(2) : error: missing argument in meta macro\n"},
        MessageCase{"#if", "shader.cg(2) : error: missing argument in meta macro\n"},
        MessageCase{"#undef a-b", "shader.cg(2) : error: #undef requires an identififier\n"},
        MessageCase{"#ifdef (x)", "shader.cg(2) : error: #ifdef requires an identififier\n"},
        MessageCase{"#ifndef +", "shader.cg(2) : error: #ifndef requires an identififier\n"},
        MessageCase{"#define +A 1", "shader.cg(2) : error: #define requires an identifier\n"},
        MessageCase{"#defeval +A 1", "shader.cg(2) : error: #defeval requires an identifier\n"},
        MessageCase{"#define A(x)y 1",
                    "shader.cg(2) : error: #define/#defeval requires an "
                    "identifier or a single macro call\n"},
        MessageCase{"#define A(x)(y) 1",
                    "shader.cg(2) : error: #define/#defeval requires an "
                    "identifier or a single macro call\n"},
        MessageCase{"#define A(x, 1+) 1",
                    "shader.cg(2) : error: #define with named args needs identifiers as arg "
                    "names\n"},
        MessageCase{"#defeval A(x y) 1",
                    "shader.cg(2) : error: #defeval with named args needs identifiers as arg "
                    "names\n"},
        MessageCase{"#include \"\"", "shader.cg(2) : error: missing filename in #include\n"},
        MessageCase{"#include <missing.cg>",
                    "shader.cg(2) : error: Could find include file: missing.cg\n"},
        MessageCase{"#eval 12abc",
                    "shader.cg(2) : error: failed to compute arithmetic evalulation\n"},
        MessageCase{"a /* open\n\n",
                    "shader.cg(2) : error: input ended while scanning a "
                    "comment/string\n"},
        MessageCase{"\"open",
                    "shader.cg(2) : error: input ended while scanning a "
                    "comment/string\n"},
        MessageCase{"#define F(a) a\nF(1,\n(2)",
                    "shader.cg(3) : error: unfinished macro "
                    "argument\n"},
        // The first error ends the run: nothing after it is reported.
        MessageCase{"#endif\n#endif", "shader.cg(2) : error: #endif without #if\n"}));

class WarningTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(WarningTest, WarnsOnlyWhenAskedTo) {
    const MessageCase& c = GetParam();
    Processed warned = preprocess(c.input, withWarnings());
    EXPECT_TRUE(warned.ok);
    EXPECT_EQ(warned.log, c.message) << c.input;
    Processed quiet = preprocess(c.input);
    EXPECT_TRUE(quiet.ok);
    EXPECT_EQ(quiet.log, "") << c.input;
    EXPECT_EQ(quiet.output, warned.output);
}

INSTANTIATE_TEST_SUITE_P(
    Warnings, WarningTest,
    ::testing::Values(MessageCase{"#define A\n#undef A B",
                                  "test.cg(2) : warning: extra argument to #undef "
                                  "ignored\n"},
                      MessageCase{"#ifdef A B\n#endif",
                                  "test.cg(1) : warning: extra argument to #ifdef "
                                  "ignored\n"},
                      MessageCase{"#ifndef A B\n#endif",
                                  "test.cg(1) : warning: extra argument to #ifndef "
                                  "ignored\n"},
                      MessageCase{"#if 1\n#else B\n#endif",
                                  "test.cg(2) : warning: extra argument to #else "
                                  "ignored\n"},
                      MessageCase{"#if 1\n#endif B",
                                  "test.cg(2) : warning: extra argument to #endif "
                                  "ignored\n"},
                      MessageCase{"x\n'open\ny",
                                  "test.cg(2) : warning: possible comment/string termination "
                                  "problem\n"},
                      MessageCase{"#define defined(x) 1\n#if defined(Q)\n#endif",
                                  "test.cg(2) : warning: macro defined() already defined\n"}));

TEST(Messages, NameTheIncludeFileAndItsLine) {
    // (The include through the file system is covered with the include tests;
    // here a macro body reports the line of its caller.)
    PreprocessorOptions options;
    options.fileName = "outer.cg";
    Processed r = preprocess("#define BAD #endif\n\n\nx BAD\n", options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, "outer.cg(4) : error: #endif without #if\n");
}

TEST(Messages, BrokenConfigurationIsReported) {
    struct Case {
        const char* name;
        void (*configure)(PreprocessorOptions&);
        bool runs;
        const char* log;
    } cases[] = {
        {"SameStartOtherEnd",
         [](PreprocessorOptions& o) {
             o.commentSpecs.push_back({"/*", "*|", 0, 0, "ccc"});
         },
         false, "error: Comment/string already exists with a differen end\n"},
        {"SameSpecTwice",
         [](PreprocessorOptions& o) {
             o.commentSpecs.push_back({"/*", "*/", 0, 0, "ccc"});
         },
         true, ""},
        {"InvalidModeCountsAsComment",
         [](PreprocessorOptions& o) {
             o.commentSpecs.push_back({"<<", ">>", 0, 0, "zcc"});
         },
         true, "error: invalid comment/string specification\n"},
        {"RunCodeInCharSet", [](PreprocessorOptions& o) { o.charSets[0] = "a\x03"; }, false,
         "Preprocessor:: Special sequence not allowed in charset specifications\n"},
        {"NegatedCodeInCharSet", [](PreprocessorOptions& o) { o.charSets[1] = "\x87"; }, false,
         "Preprocessor:: Negated special sequences not allowed in charset specifications\n"},
    };
    for (const Case& c : cases) {
        PreprocessorOptions options;
        c.configure(options);
        Processed r = preprocess("a<<b>>c", options);
        EXPECT_EQ(r.ok, c.runs) << c.name;
        EXPECT_EQ(r.log, c.log) << c.name;
        if (c.runs) {
            EXPECT_EQ(r.output, std::string(c.name) == "SameSpecTwice" ? "a<<b>>c" : "ac")
                << c.name;
        }
    }
}

}  // namespace
