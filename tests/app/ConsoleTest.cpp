#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Console.h"

namespace {

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() : console(dir / ".shell_history") {
        console.registerCommand(
            ConsoleCommand::flag("show_fps", "Show frames per second", &showFps, false));
        console.registerCommand(ConsoleCommand::flag("exit", "Quits application", &exitFlag, true));
        console.registerCommand(ConsoleCommand::number(
            "framerateLimitFPS", "Frames per second limit attribute", &limit, 1.0f, 1000.0f));
        console.registerCommand(ConsoleCommand::integer(
            "subdsMaxLevel", "Subdivision surfaces maximal level", &maxLevel, 1));
        console.registerCommand(
            ConsoleCommand::vector("ambient", "Global ambient color (deprecated)", ambient));
        console.registerCommand(ConsoleCommand::bitFlag("bits", "A bit", &bits, 4, true));
        console.registerCommand(ConsoleCommand::function(
            "listEntities", "Print detailed entity list", [](const std::vector<std::string>& t) {
                return "entities " + std::to_string(t.size()) + "\n";
            }));
        console.registerCommand(ConsoleCommand::function(
            "listResources", "Print detailed resource list",
            [](const std::vector<std::string>&) { return std::string("resources"); }));
    }

    // Types a line and returns the lines it added.
    std::vector<std::string> run(const std::string& line) {
        size_t before = console.getLines().size();
        console.setInputLine(line);
        console.keyInput(ConsoleKey::Return, 13);
        if (console.getLines().size() < before) {  // "clear" removed lines
            return console.getLines();
        }
        return std::vector<std::string>(console.getLines().begin() + static_cast<long>(before),
                                        console.getLines().end());
    }

    testsupport::TempDir dir;
    Console console;
    bool showFps = false;
    bool exitFlag = false;
    float limit = 60.0f;
    int maxLevel = 3;
    float ambient[3] = {0.1f, 0.2f, 0.3f};
    int bits = 1;
};

TEST_F(ConsoleTest, CommandKindsAndAnswers) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(run("show_fps"), (Lines{"# show_fps", "show_fps = false"}));
    EXPECT_FALSE(showFps);  // no toggle flag: unchanged
    EXPECT_EQ(run("show_fps 1"), (Lines{"# show_fps 1", "show_fps = true"}));
    EXPECT_TRUE(showFps);
    EXPECT_EQ(run("show_fps TRUE")[1], "show_fps = true");
    EXPECT_EQ(run("show_fps yes")[1], "show_fps = false");

    EXPECT_EQ(run("exit false")[1], "exit = false");
    EXPECT_FALSE(exitFlag);
    EXPECT_EQ(run("exit")[1], "exit = true");  // toggles
    EXPECT_TRUE(exitFlag);

    EXPECT_EQ(run("framerateLimitFPS 0"),
              (Lines{"# framerateLimitFPS 0", "Out of range. ]1,1000[", "framerateLimitFPS = 0"}));
    EXPECT_FLOAT_EQ(limit, 60.0f);
    EXPECT_EQ(run("framerateLimitFPS 30.5")[1], "framerateLimitFPS = 30.5");
    EXPECT_FLOAT_EQ(limit, 30.5f);
    EXPECT_EQ(run("framerateLimitFPS")[1], "framerateLimitFPS = 30.5");

    EXPECT_EQ(run("subdsMaxLevel 7")[1], "Out of range. ]1,5[");
    EXPECT_EQ(maxLevel, 3);
    EXPECT_EQ(run("subdsMaxLevel 5")[1], "subdsMaxLevel = 5");
    EXPECT_EQ(maxLevel, 5);

    EXPECT_EQ(run("ambient 1 2")[1], "ambient = {0.1, 0.2, 0.3}");  // too few: unchanged
    EXPECT_EQ(run("ambient 1 0.5 2")[1], "ambient = {1, 0.5, 2}");

    EXPECT_EQ(run("bits")[1], "bits = true");  // toggled bit 4 on
    EXPECT_EQ(bits, 5);
    EXPECT_EQ(run("bits 0")[1], "bits = false");
    EXPECT_EQ(bits, 1);

    // An answer ending in a line end leaves an empty last line.
    EXPECT_EQ(run("listEntities a b"), (Lines{"# listEntities a b", "entities 3", ""}));
}

TEST_F(ConsoleTest, BuiltInWordsUnknownCommandsAndEmptyLines) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(run("nothing here"), (Lines{"# nothing here", "nothing here: command not found"}));
    EXPECT_EQ(run("man show_fps"), (Lines{"# man show_fps", "Show frames per second"}));
    EXPECT_EQ(run("help nope"), (Lines{"# help nope", "Command nope not found."}));
    auto all = run("help");
    EXPECT_EQ(all[1], "ambient");  // name order
    EXPECT_EQ(all[2], "Global ambient color (deprecated)");

    size_t historyBefore = console.getHistory().size();
    EXPECT_EQ(run(""), (Lines{"# "}));
    EXPECT_EQ(console.getHistory().size(), historyBefore);

    run("clear");
    EXPECT_TRUE(console.getLines().empty());
}

TEST_F(ConsoleTest, TabCompletionCycles) {
    console.setInputLine("li");
    console.keyInput(ConsoleKey::Tab, 9);
    EXPECT_EQ(console.getInputLine(), "listEntities ");
    console.keyInput(ConsoleKey::Tab, 9);
    EXPECT_EQ(console.getInputLine(), "listResources ");
    console.keyInput(ConsoleKey::Tab, 9);
    EXPECT_EQ(console.getInputLine(), "listEntities ");
    // Typing ends the completion; the next Tab completes what stands.
    console.keyInput('x', 'x');
    console.keyInput(ConsoleKey::Tab, 9);
    EXPECT_EQ(console.getInputLine(), "listEntities x");
    // "clear" is no command: not completed.
    console.setInputLine("cl");
    console.keyInput(ConsoleKey::Tab, 9);
    EXPECT_EQ(console.getInputLine(), "cl");
}

TEST_F(ConsoleTest, HistoryBrowsingAndPersistence) {
    run("show_fps");
    run("exit false");
    console.setInputLine("typed");
    console.keyInput(ConsoleKey::Up, 0);
    EXPECT_EQ(console.getInputLine(), "exit false");
    console.keyInput(ConsoleKey::Up, 0);
    EXPECT_EQ(console.getInputLine(), "show_fps");
    console.keyInput(ConsoleKey::Up, 0);  // no older entry
    EXPECT_EQ(console.getInputLine(), "show_fps");
    console.keyInput(ConsoleKey::Down, 0);
    EXPECT_EQ(console.getInputLine(), "exit false");
    console.keyInput(ConsoleKey::Down, 0);
    EXPECT_EQ(console.getInputLine(), "typed");

    Console again(dir / ".shell_history");
    EXPECT_EQ(again.getHistory(), (std::vector<std::string>{"show_fps", "exit false"}));
}

TEST_F(ConsoleTest, LogPiecesAndDisplayWindow) {
    console.write("a");
    console.write("b\nc");
    console.write("\n");
    EXPECT_EQ(console.getLines(), (std::vector<std::string>{"ab", "c"}));

    run("clear");
    for (int i = 1; i <= 30; ++i) {
        console.write(("line " + std::to_string(i) + "\n").c_str());
    }
    console.toggle();
    std::string text = console.updateDisplayText(0.0f);
    EXPECT_EQ(text.find("line 7\n"), std::string::npos);
    EXPECT_EQ(text.rfind("line 8\n", 0), 0u);
    EXPECT_NE(text.find("line 30\n# "), std::string::npos);

    console.keyInput(ConsoleKey::PageUp, 0);
    text = console.updateDisplayText(0.0f);
    EXPECT_EQ(text.rfind("line 7\n", 0), 0u);
    EXPECT_EQ(text.find("# "), std::string::npos);  // no input line while scrolled
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 24);
}

TEST_F(ConsoleTest, SlideAndToggleDuringAnimation) {
    console.toggle();
    EXPECT_TRUE(console.isAnimating());
    console.updateDisplayText(375.0f);
    EXPECT_FLOAT_EQ(console.getSlidePosition(), 0.5f);
    console.toggle();  // hide mid-slide: continues from 0.5 toward 0
    console.updateDisplayText(187.5f);
    EXPECT_FLOAT_EQ(console.getSlidePosition(), 0.25f);
    console.updateDisplayText(1000.0f);
    EXPECT_FALSE(console.isAnimating());
    EXPECT_EQ(console.updateDisplayText(16.0f), "");
}

}  // namespace
