#include <gtest/gtest.h>

#include "app/Startup.h"

namespace {

TEST(StartupOptions, FindOption) {
    const std::vector<std::string> args{"game", "-script", "main.lua", "-name", "-base", "-key"};
    EXPECT_EQ(findOption(args, "-script"), "main.lua");
    // Values are taken as they stand, even when they look like an option.
    EXPECT_EQ(findOption(args, "-name"), "-base");
    // The first match wins, so "-base" is the value of "-name", and "-base"
    // itself is then read from the same element.
    EXPECT_EQ(findOption(args, "-base"), "-key");
    // An option in the last position has no value.
    EXPECT_EQ(findOption(args, "-key"), std::nullopt);
    EXPECT_EQ(findOption(args, "-Script"), std::nullopt);  // case-sensitive
    EXPECT_EQ(findOption({"game", "-name", ""}, "-name"), "");
}

TEST(StartupOptions, ArchiveKeyFromDigest) {
    // MD5("") = d41d8cd98f00b204e9800998ecf8427e: bytes above "z" become
    // 122 - i, bytes below "0" become 48 + i, the rest stay.
    EXPECT_EQ(deriveArchiveKey(""), "z1xwv5t7rq:onmBk");
    std::string key = deriveArchiveKey("some key text");
    EXPECT_EQ(key, deriveArchiveKey("some key text"));
    ASSERT_EQ(key.size(), 16u);
    for (char c : key) {
        EXPECT_GE(c, '0');
        EXPECT_LE(c, 'z');
    }
    EXPECT_NE(key, deriveArchiveKey("some key text2"));
}

}  // namespace
