#include <gtest/gtest.h>

#include <cmath>

#include "foundation/TextUtil.h"

namespace {

struct FloatCase {
    const char* text;
    float value;
    int consumed;  // characters read
};

TEST(TextUtil, ReadFloatCases) {
    const FloatCase cases[] = {
        {"  -2.5e2", -250.0f, 8}, {"1E3", 1.0f, 1}, {"+4", 0.0f, 0},    {".5", 0.5f, 2},
        {"12abc", 12.0f, 2},      {"", 0.0f, 0},    {"3.25", 3.25f, 4}, {"1e-2", 0.01f, 4},
        {"7e+1", 70.0f, 4},       {"-0", 0.0f, 2},  {"abc", 0.0f, 0},   {"  42 7", 42.0f, 4},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        float v = readFloat(c.text, &end);
        EXPECT_FLOAT_EQ(v, c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
}

TEST(TextUtil, ReadFloatHugeExponentDoesNotHang) {
    EXPECT_TRUE(std::isinf(readFloat("1e999999999")));
    EXPECT_FLOAT_EQ(readFloat("1e-999999999"), 0.0f);
}

TEST(TextUtil, ValueConventions) {
    EXPECT_TRUE(readFlag("TRUE"));
    EXPECT_TRUE(readFlag("true"));
    EXPECT_FALSE(readFlag("yes"));
    EXPECT_FALSE(readFlag(nullptr));
    EXPECT_EQ(readInt("  -12x", 5), -12);
    EXPECT_EQ(readInt("abc", 5), 0);
    EXPECT_EQ(readInt(nullptr, 5), 5);
    EXPECT_EQ(formatFloatValue(1.5f), "1.500000");
}

TEST(TextUtil, TrimAndSplit) {
    EXPECT_EQ(trimText(" \r\n a b \n"), "a b");
    EXPECT_EQ(trimText(" \r\n"), "");
    EXPECT_EQ(splitText(",", "a,,b", false), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitText(", ", " a , b", false), (std::vector<std::string>{" a ", "b"}));
    EXPECT_EQ(splitText(",", " a , b ", true), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(splitText(";", "abc", false), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(splitText(",", "a,", false), (std::vector<std::string>{"a", ""}));
}

TEST(TextUtil, ReadFloatList) {
    EXPECT_EQ(readFloatList("1 2 3"), (std::vector<float>{1, 2, 3}));
    // Two spaces repeat the following value.
    EXPECT_EQ(readFloatList("1  2 3"), (std::vector<float>{1, 2, 2, 3}));
    EXPECT_TRUE(readFloatList("").empty());
    EXPECT_EQ(readFloatList("4 "), (std::vector<float>{4, 0}));

    float out[2] = {-1, -1};
    EXPECT_EQ(readFloatList("1 2 3", out, 2), 2);
    EXPECT_FLOAT_EQ(out[1], 2.0f);
    EXPECT_EQ(readFloatList("5", out, 2), 1);
    EXPECT_FLOAT_EQ(out[0], 5.0f);
}

TEST(TextUtil, ReadIntList) {
    int out[4] = {};
    EXPECT_EQ(readIntList("1 22 333 4444 5", out), 4);
    EXPECT_EQ(out[3], 4444);
    EXPECT_EQ(readIntList("7 -1", out), 1);
    EXPECT_EQ(readIntList("", out), 0);
    EXPECT_EQ(readIntList(nullptr, out), 0);
}

}  // namespace
