// Syntaxes and comment/string specifications other than the engine's: the
// special codes in sequences, the character sets and the behaviour letters.

#include <gtest/gtest.h>

#include "PreprocessorTestUtil.h"

namespace {

using namespace PreprocessorCode;

TEST(Syntax, MacroStartAndListSequences) {
    PreprocessorOptions options;
    options.userSyntax.macroStart = "$";
    options.userSyntax.argStart = {OptionalBlanks, '['};
    options.userSyntax.argSeparator = {OptionalBlanks, ';', OptionalBlanks};
    options.userSyntax.argEnd = "]";
    options.userSyntax.argReference = '@';
    options.userSyntax.quote = 0;
    options.defines = {{"PAIR", "<@2,@1>"}, {"X", "x"}};
    Processed r = preprocess("$PAIR [a ; b] $X X $Y", options);
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "<b,a> x X $Y");
}

TEST(Syntax, SpecialCodesInSpecifications) {
    struct Case {
        const char* name;
        std::string start;
        std::string end;
        const char* input;
        const char* output;
    } cases[] = {
        {"Digit", {'<', Digit}, ">", "a<1 x>b<x>", "ab<x>"},
        {"Letter", {'%', Letter}, "%", "1%a%2%3%", "12%3%"},
        {"NegatedDigit", {'~', static_cast<char>(Digit | Negate)}, "~", "~x~~1~", "~1~"},
        {"Blanks", {'!', Blanks, '!'}, "!", "!  !x!y!!z", "y!!z"},
        {"OptionalBlanks", {'^', OptionalBlanks, '^'}, "^", "^^a^b^ ^c^", "b"},
        {"Whitespace", {'=', Whitespace}, "=", "=\n =a= ==", "a="},
        {"Tab", {'`', Tab}, "`", "`\tx`y` `", "y` `"},
        {"CharSet", {'@', CharSet1}, "@", "@yz@@a@", "@a@"},
        {"NegatedCharSet", {'&', static_cast<char>(CharSet1 | Negate)}, "&", "&a&&x&", "&x&"},
    };
    for (const Case& c : cases) {
        PreprocessorOptions options;
        options.charSets[0] = "x-z";
        options.commentSpecs.push_back({c.start, c.end, 0, 0, "ccc"});
        Processed r = preprocess(c.input, options);
        EXPECT_TRUE(r.ok) << c.name << ": " << r.log;
        EXPECT_EQ(r.output, c.output) << c.name;
    }
}

TEST(Syntax, BehaviourLetters) {
    struct Case {
        const char* modes;
        const char* output;
    } cases[] = {
        {"ccc", "a  b"},  {"sss", "a {V} b"}, {"qqq", "a V b"},   {"SSS", "a {1} b"},
        {"QQQ", "a 1 b"}, {"CCC", "a  b"},    {"iii", "a {1} b"},
    };
    for (const Case& c : cases) {
        PreprocessorOptions options;
        options.commentSpecs.push_back({"{", "}", 0, 0, c.modes});
        options.defines = {{"V", "1"}};
        Processed r = preprocess("a {V} b", options);
        EXPECT_TRUE(r.ok) << c.modes << ": " << r.log;
        EXPECT_EQ(r.output, c.output) << c.modes;
    }
}

TEST(Syntax, NewestSpecificationWins) {
    // A later "/" comment hides the engine's "/*" and "//".
    PreprocessorOptions options;
    options.commentSpecs.push_back({"/", "/", 0, 0, "sss"});
    Processed r = preprocess("a/*x*/b", options);
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "a/*x*/b");
}

}  // namespace
