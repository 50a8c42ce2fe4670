#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "TestSupport.h"
#include "base/platform/Process.h"
#include "startup/Launcher.h"

namespace {

TEST(LauncherPathTest, ConfigFileCarriesTheLaunchersBaseName) {
    const struct {
        const char* executable;
        const char* base;
        const char* xml;
    } cases[] = {
        {"/games/MyGame.exe", "MyGame", "/games/MyGame.xml"},
        {"/games/startup", "startup", "/games/startup.xml"},
        {"/opt/v1.2/startup", "startup", "/opt/v1.2/startup.xml"},
        {"/games/my.game.bin", "my.game", "/games/my.game.xml"},
        {"C:\\Games\\Foo.exe", "Foo", "C:/Games/Foo.xml"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launcher::baseName(c.executable), c.base) << c.executable;
        EXPECT_EQ(launcher::configPath(c.executable), c.xml) << c.executable;
    }
}

TEST(CommandLineTest, SplitsLikeUnquotedShellWords) {
    using Words = std::vector<std::string>;
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"game -script main.lua", {"game", "-script", "main.lua"}},
        {"  game\t\t-name  x \n", {"game", "-name", "x"}},
        {"game \"two words\" a\\ b", {"game", "\"two", "words\"", "a\\", "b"}},
        {"", {}},
        {" \t\n", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::splitCommandLine(c.line), c.words) << c.line;
    }
}

void writeScript(const std::string& path, const std::string& body) {
    testsupport::writeFile(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
}

std::string config(const std::string& commandLine) {
    return "<?xml version=\"1.0\"?>\n<startup>\n  <cmdline>" + commandLine +
           "</cmdline>\n</startup>\n";
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::copyExecutable(STARTUP_PROGRAM, program); }

    testsupport::RunResult launch(std::map<std::string, std::string> env = {},
                                  int timeoutMs = 20000) {
        env["SDL_VIDEODRIVER"] = "offscreen";
        env["DISPLAY"] = "";
        env["WAYLAND_DISPLAY"] = "";
        return testsupport::runProgram({program}, work.path(), env, timeoutMs);
    }

    testsupport::TempDir home;  // the launcher's own folder
    testsupport::TempDir work;  // the working folder it is started in
    std::string program = home / "MyGame.bin";
};

TEST_F(LauncherTest, StartsTheCommandOfItsOwnXmlInTheWorkingFolder) {
    // The program name is relative: it is found from the working folder.
    writeScript(work / "report.sh", "pwd > \"$REPORT\"\necho \"$@\" >> \"$REPORT\"\n");
    testsupport::writeFile(home / "MyGame.xml", config("./report.sh -script  main.lua"));
    testsupport::writeFile(work / "MyGame.xml", config("./report.sh wrong xml"));
    auto result = launch({{"REPORT", work / "report.txt"}});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "");
    std::string cwd = std::filesystem::canonical(work.path()).string();
    EXPECT_EQ(testsupport::readFile(work / "report.txt"), cwd + "\n-script main.lua\n");
}

TEST_F(LauncherTest, ExitCodesAndMessages) {
    const std::string missing = "MyGame\nCan't load xml file: " + home / "MyGame.xml" + "\n\n";
    const std::string failed = "MyGame\nFailed to start application\n\n";
    const struct {
        const char* name;
        const char* xml;  // null: no file
        int exitCode;
        std::string output;
    } cases[] = {
        {"no xml", nullptr, 1, missing},
        {"malformed xml", "<startup><cmdline>x</startup>", 1, missing},
        {"no cmdline", "<startup><other>x</other></startup>", 0, ""},
        {"another root", "<launcher><cmdline>/bin/true</cmdline></launcher>", 0, ""},
        {"program missing", "<startup><cmdline>/no/such/program -x</cmdline></startup>", 1, failed},
        {"program ends", "<startup><cmdline>/bin/true</cmdline></startup>", 0, ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(home / "MyGame.xml");
        if (c.xml != nullptr) {
            testsupport::writeFile(home / "MyGame.xml", c.xml);
        }
        auto result = launch();
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(result.output, c.output) << c.name;
    }
}

TEST_F(LauncherTest, LongCommandLinesAreCut) {
    writeScript(home / "args.sh", "printf '%s' \"$*\" > \"$REPORT\"\n");
    const std::string prefix = home / "args.sh ";
    for (size_t length : {size_t(2598), size_t(2599), size_t(2600), size_t(9000)}) {
        std::string commandLine = prefix + std::string(length - prefix.size() - 1, 'a') + "Z";
        ASSERT_EQ(commandLine.size(), length);
        testsupport::writeFile(home / "MyGame.xml", config(commandLine));
        std::filesystem::remove(work / "args.txt");
        auto result = launch({{"REPORT", work / "args.txt"}});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        std::string passed = commandLine.substr(prefix.size(), 2599 - prefix.size());
        EXPECT_EQ(testsupport::readFile(work / "args.txt"), passed) << length;
    }
}

TEST_F(LauncherTest, EndsAfterAboutFiveSecondsWhileTheGameRuns) {
    writeScript(home / "long.sh", "echo $$ > \"$REPORT\"\nexec sleep 60 >/dev/null 2>&1\n");
    testsupport::writeFile(home / "MyGame.xml", config(home / "long.sh"));
    auto start = std::chrono::steady_clock::now();
    auto result = launch({{"REPORT", work / "pid.txt"}});
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string pid = testsupport::readFile(work / "pid.txt");
    ASSERT_FALSE(pid.empty());
    // Still running after the launcher ended: the launcher did not stop it.
    EXPECT_EQ(kill(std::stoi(pid), 0), 0);
    kill(std::stoi(pid), SIGKILL);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 10.0);
}

TEST(ProcessTest, WaitReportsWhetherTheProcessEnded) {
    int quick = platform::startProcess("/bin/true");
    ASSERT_GT(quick, 0);
    EXPECT_TRUE(platform::waitForProcess(quick, 5000));
    int slow = platform::startProcess("sleep 5");  // found through PATH
    ASSERT_GT(slow, 0);
    EXPECT_FALSE(platform::waitForProcess(slow, 50));
    kill(slow, SIGKILL);
    EXPECT_TRUE(platform::waitForProcess(slow, 5000));
    EXPECT_EQ(platform::startProcess("/no/such/program"), -1);
    EXPECT_EQ(platform::startProcess(" "), -1);
    EXPECT_FALSE(platform::waitForProcess(-1, 10));
}

}  // namespace
