#pragma once
// The in-game console: a log sink that keeps the lines, a command line with
// history and Tab completion, and console commands that call a function or
// read and write an engine variable.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Log.h"

class IConsoleCommand {
public:
    virtual ~IConsoleCommand() = default;
    virtual std::string getName() const = 0;
    virtual std::string getHelp() const = 0;
    // tokens[0] is the command's name; returns the answer text.
    virtual std::string execute(const std::vector<std::string>& tokens) = 0;
};

class ConsoleCommand : public IConsoleCommand {
public:
    enum Kind { Flag = 0, BitFlag = 1, Integer = 2, Number = 3, Vector = 4, Function = 5 };
    using Callback = std::function<std::string(const std::vector<std::string>&)>;

    static std::unique_ptr<ConsoleCommand> flag(const std::string& name, const std::string& help,
                                                bool* target, bool toggle);
    static std::unique_ptr<ConsoleCommand> bitFlag(const std::string& name, const std::string& help,
                                                   int* target, int mask, bool toggle);
    // The integer kind always has the maximum 5.
    static std::unique_ptr<ConsoleCommand> integer(const std::string& name, const std::string& help,
                                                   int* target, int minimum);
    static std::unique_ptr<ConsoleCommand> number(const std::string& name, const std::string& help,
                                                  float* target, float minimum, float maximum);
    static std::unique_ptr<ConsoleCommand> vector(const std::string& name, const std::string& help,
                                                  float* target);
    static std::unique_ptr<ConsoleCommand> function(const std::string& name,
                                                    const std::string& help, Callback callback);

    std::string getName() const override { return m_name; }
    std::string getHelp() const override { return m_help; }
    std::string execute(const std::vector<std::string>& tokens) override;

private:
    ConsoleCommand(std::string name, std::string help, Kind kind)
        : m_name(std::move(name)), m_help(std::move(help)), m_kind(kind) {}

    std::string m_name;
    std::string m_help;
    Kind m_kind;
    void* m_target = nullptr;
    bool m_toggle = false;
    int m_intMin = 0;
    int m_intMax = 5;
    float m_floatMin = 0.0f;
    float m_floatMax = 0.0f;
    int m_mask = 0;
    Callback m_callback;
};

namespace ConsoleKey {
constexpr int Backspace = 8;
constexpr int Tab = 9;
constexpr int Return = 13;
constexpr int Up = 273;
constexpr int Down = 274;
constexpr int PageUp = 280;
constexpr int PageDown = 281;
}  // namespace ConsoleKey

class Console : public ILogSink {
public:
    // `historyPath` is the history file, read here and appended to for every
    // entered line; empty for none.
    explicit Console(std::string historyPath);

    // A name that is already present keeps its first command.
    void registerCommand(std::unique_ptr<IConsoleCommand> command);
    IConsoleCommand* findCommand(const std::string& name) const;

    void write(const char* text) override;

    void toggle();
    bool isVisible() const { return m_visible; }
    bool isAnimating() const { return m_animating; }
    float getSlidePosition() const { return m_slidePosition; }

    // A key from the keyboard while the console is visible.
    void keyInput(int key, int unicode);

    // Advances the slide and the cursor by dt (ms) and returns the text to
    // show; empty while hidden and not sliding.
    std::string updateDisplayText(float dt);

    const std::vector<std::string>& getLines() const { return m_lines; }
    const std::vector<std::string>& getHistory() const { return m_history; }
    const std::string& getInputLine() const { return m_inputLine; }
    void setInputLine(const std::string& line) { m_inputLine = line; }
    const std::string& getPrompt() const { return m_prompt; }

    static constexpr float kSlideDuration = 750.0f;
    static constexpr float kCursorBlinkPeriod = 1000.0f;

private:
    void executeInputLine();
    void complete();
    void addAnswer(const std::string& text);
    void pushPendingLine();

    std::vector<std::string> m_lines;
    std::map<std::string, std::unique_ptr<IConsoleCommand>> m_commands;
    std::vector<std::string> m_history;
    int m_historyPosition = 0;
    std::string m_savedInput;
    std::string m_historyPath;
    std::string m_inputLine;
    std::string m_prompt = "# ";
    int m_scrollOffset = 0;
    int m_visibleLineCount = 23;
    bool m_visible = false;
    bool m_animating = false;
    float m_slidePosition = 0.0f;
    float m_cursorBlinkPhase = 0.0f;
    std::string m_pendingOutput;
    std::string m_completionPrefix;
    int m_completionIndex = -1;
};
