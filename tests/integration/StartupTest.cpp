#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::writeFile;

TEST(Startup, FewerThanThreeArgumentsShowUsageAndExitZero) {
    GameRunner game;
    auto result = game.run({"-script"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("Usage:\n-script startup script (mandatory)\n-name application "
                                 "name\n-base base file relocation path\n-key file archive key\n"),
              std::string::npos)
        << result.output;
    // The usage box comes before anything is copied.
    EXPECT_FALSE(fileExists(game.userFolder() + "game.xml"));
}

TEST(Startup, MissingScriptOptionExitsOneAfterLoadingTheConfiguration) {
    GameRunner game;
    auto result = game.run({"-name", "NoScript"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(
        result.output.find("Missing mandatory command line option:\n-script startup script\n"),
        std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("NoScript"), std::string::npos);  // the box title
    EXPECT_TRUE(fileExists(game.userFolder("NoScript") + "game.xml"));
}

TEST(Startup, FirstStartCopiesTheTemplateAndLaterStartsKeepTheUserCopy) {
    GameRunner game;
    auto first = game.run({"-script", "quit.lua"});
    EXPECT_FALSE(first.timedOut);
    std::string userCopy = game.userFolder() + "game.xml";
    ASSERT_TRUE(fileExists(userCopy)) << first.output;
    EXPECT_EQ(readFile(userCopy), GameRunner::defaultGameXml());

    writeFile(userCopy, "<game><mine/></game>\n");
    game.writeProgramFile("game.xml", "<game><template-changed/></game>\n");
    game.run({"-script", "quit.lua"});
    EXPECT_EQ(readFile(userCopy), "<game><mine/></game>\n");
}

TEST(Startup, NameOptionChoosesThePerUserFolderEvenWhenEmpty) {
    GameRunner game;
    game.run({"-script", "quit.lua", "-name", "MyGame"});
    EXPECT_TRUE(fileExists(game.userFolder("MyGame") + "game.xml"));
    // "-name" followed by an empty text is taken as it stands.
    game.run({"-script", "quit.lua", "-name", ""});
    EXPECT_TRUE(fileExists(game.userDataFolder() + "/game.xml"));
}

struct FailureCase {
    const char* what;
    bool userCopyIsFolder;
    const char* userCopyText;  // null: none written
    bool withTemplate;
    bool missingParent;
    const char* expected;
};

TEST(Startup, ConfigurationFailuresShowTheirMessageAndExitOne) {
    const FailureCase cases[] = {
        {"user copy is a folder", true, nullptr, true, false, "Can't copy xml config file: "},
        {"malformed user copy", false, "<game><broken></game>", true, false,
         "Can't load xml config file: "},
        {"missing template", false, nullptr, false, false, "Can't copy xml config file: "},
        {"data folder cannot be made", false, nullptr, true, true, "Can't copy xml config file: "},
    };
    for (const auto& c : cases) {
        GameRunner game(c.withTemplate ? GameRunner::defaultGameXml() : "");
        std::map<std::string, std::string> env;
        if (c.missingParent) {
            // A plain file where a parent folder should be.
            testsupport::makeDirs(game.userDataFolder());
            writeFile(game.userDataFolder() + "plain", "");
            env["XDG_DATA_HOME"] = game.userDataFolder() + "plain/data";
        }
        if (c.userCopyIsFolder) {
            testsupport::makeDirs(game.userFolder() + "game.xml");
        }
        if (c.userCopyText != nullptr) {
            testsupport::makeDirs(game.userFolder());
            writeFile(game.userFolder() + "game.xml", c.userCopyText);
        }
        auto result = game.run({"-script", "quit.lua"}, env);
        EXPECT_EQ(result.exitCode, 1) << c.what << "\n" << result.output;
        EXPECT_NE(result.output.find(c.expected), std::string::npos) << c.what << "\n"
                                                                     << result.output;
    }
}

TEST(Startup, MissingDataFolderOfAFreshAccountIsCreated) {
    GameRunner game;
    std::map<std::string, std::string> env;
    const std::string dataFolder = game.userDataFolder() + "fresh/.local/share";
    env["XDG_DATA_HOME"] = dataFolder;
    auto result = game.run({"-script", "quit.lua"}, env);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(fileExists(dataFolder + "/VORLAN Engine 0.3.9/game.xml")) << result.output;
}

TEST(Startup, CopyErrorNamesBothPaths) {
    GameRunner game;
    testsupport::makeDirs(game.userFolder() + "game.xml");
    auto result = game.run({"-script", "quit.lua"});
    EXPECT_NE(result.output.find("Can't copy xml config file: " + game.programFolder() +
                                 "game.xml to " + game.userFolder() + "game.xml"),
              std::string::npos)
        << result.output;
}

TEST(Startup, LongOptionValuesAreTakenWhole) {
    GameRunner game;
    std::string longName(3000, 'n');
    auto result = game.run({"-script", std::string(5000, 's'), "-name", longName, "-key",
                            std::string(10000, 'k'), "-base", std::string(4000, 'b')});
    EXPECT_FALSE(result.timedOut);
    EXPECT_GE(result.exitCode, 0) << "crashed:\n" << result.output;
}

}  // namespace
