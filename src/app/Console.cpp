#include "app/Console.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "foundation/TextUtil.h"

namespace {

bool parseFlagArgument(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "true" || lower == "1";
}

const char* boolText(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::unique_ptr<ConsoleCommand> ConsoleCommand::flag(const std::string& name,
                                                     const std::string& help, bool* target,
                                                     bool toggle) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, Flag));
    command->m_target = target;
    command->m_toggle = toggle;
    return command;
}

std::unique_ptr<ConsoleCommand> ConsoleCommand::bitFlag(const std::string& name,
                                                        const std::string& help, int* target,
                                                        int mask, bool toggle) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, BitFlag));
    command->m_target = target;
    command->m_mask = mask;
    command->m_toggle = toggle;
    return command;
}

std::unique_ptr<ConsoleCommand> ConsoleCommand::integer(const std::string& name,
                                                        const std::string& help, int* target,
                                                        int minimum) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, Integer));
    command->m_target = target;
    command->m_intMin = minimum;
    command->m_intMax = 5;
    return command;
}

std::unique_ptr<ConsoleCommand> ConsoleCommand::number(const std::string& name,
                                                       const std::string& help, float* target,
                                                       float minimum, float maximum) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, Number));
    command->m_target = target;
    command->m_floatMin = minimum;
    command->m_floatMax = maximum;
    return command;
}

std::unique_ptr<ConsoleCommand> ConsoleCommand::vector(const std::string& name,
                                                       const std::string& help, float* target) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, Vector));
    command->m_target = target;
    return command;
}

std::unique_ptr<ConsoleCommand> ConsoleCommand::function(const std::string& name,
                                                         const std::string& help,
                                                         Callback callback) {
    std::unique_ptr<ConsoleCommand> command(new ConsoleCommand(name, help, Function));
    command->m_callback = std::move(callback);
    return command;
}

std::string ConsoleCommand::execute(const std::vector<std::string>& tokens) {
    const bool hasArgument = tokens.size() >= 2;
    switch (m_kind) {
        case Flag: {
            bool* value = static_cast<bool*>(m_target);
            if (hasArgument) {
                *value = parseFlagArgument(tokens[1]);
            } else if (m_toggle) {
                *value = !*value;
            }
            return m_name + " = " + boolText(*value);
        }
        case BitFlag: {
            int* value = static_cast<int*>(m_target);
            bool set = (*value & m_mask) != 0;
            if (hasArgument) {
                set = parseFlagArgument(tokens[1]);
            } else if (m_toggle) {
                set = !set;
            }
            *value = set ? (*value | m_mask) : (*value & ~m_mask);
            return m_name + " = " + boolText(set);
        }
        case Integer: {
            int* value = static_cast<int*>(m_target);
            if (!hasArgument) {
                return m_name + " = " + std::to_string(*value);
            }
            int typed = std::atoi(tokens[1].c_str());
            std::string answer;
            if (typed < m_intMin || typed > m_intMax) {
                answer = "Out of range. ]" + std::to_string(m_intMin) + "," +
                         std::to_string(m_intMax) + "[\n";
            } else {
                *value = typed;
            }
            return answer + m_name + " = " + std::to_string(typed);
        }
        case Number: {
            float* value = static_cast<float*>(m_target);
            if (!hasArgument) {
                return m_name + " = " + formatLogFloat(*value);
            }
            float typed = static_cast<float>(std::atof(tokens[1].c_str()));
            std::string answer;
            if (typed < m_floatMin || typed > m_floatMax) {
                answer = "Out of range. ]" + formatLogFloat(m_floatMin) + "," +
                         formatLogFloat(m_floatMax) + "[\n";
            } else {
                *value = typed;
            }
            return answer + m_name + " = " + formatLogFloat(typed);
        }
        case Vector: {
            float* value = static_cast<float*>(m_target);
            if (tokens.size() >= 4) {
                for (int i = 0; i < 3; ++i) {
                    value[i] =
                        static_cast<float>(std::atof(tokens[static_cast<size_t>(i) + 1].c_str()));
                }
            }
            return m_name + " = {" + formatLogFloat(value[0]) + ", " + formatLogFloat(value[1]) +
                   ", " + formatLogFloat(value[2]) + "}";
        }
        case Function:
            return m_callback ? m_callback(tokens) : std::string();
    }
    return std::string();
}

Console::Console(std::string historyPath) : m_historyPath(std::move(historyPath)) {
    if (m_historyPath.empty()) {
        return;
    }
    std::ifstream in(m_historyPath);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() > 511) {
            line.resize(511);
        }
        m_history.push_back(line);
    }
}

void Console::registerCommand(std::unique_ptr<IConsoleCommand> command) {
    std::string name = command->getName();
    m_commands.emplace(name, std::move(command));
}

IConsoleCommand* Console::findCommand(const std::string& name) const {
    auto it = m_commands.find(name);
    return it == m_commands.end() ? nullptr : it->second.get();
}

void Console::write(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            pushPendingLine();
        } else {
            m_pendingOutput += *p;
        }
    }
}

void Console::pushPendingLine() {
    m_lines.push_back(std::move(m_pendingOutput));
    m_pendingOutput.clear();
}

void Console::addAnswer(const std::string& text) {
    size_t start = 0;
    size_t newline = text.find('\n');
    m_pendingOutput += text.substr(0, newline);
    while (newline != std::string::npos) {
        start = newline + 1;
        newline = text.find('\n', start);
        pushPendingLine();
        m_pendingOutput =
            text.substr(start, newline == std::string::npos ? newline : newline - start);
    }
}

void Console::toggle() {
    m_visible = !m_visible;
    if (!m_animating) {
        m_animating = true;
        m_slidePosition = m_visible ? 0.0f : 1.0f;
    }
}

void Console::keyInput(int key, int unicode) {
    switch (key) {
        case ConsoleKey::Return:
            executeInputLine();
            return;
        case ConsoleKey::Tab:
            complete();
            return;
        case ConsoleKey::Backspace:
            if (!m_inputLine.empty()) {
                m_inputLine.pop_back();
            }
            m_scrollOffset = 0;
            m_completionIndex = -1;
            return;
        case ConsoleKey::Up:
            if (m_historyPosition == 0) {
                m_savedInput = m_inputLine;
            }
            if (m_historyPosition < static_cast<int>(m_history.size())) {
                ++m_historyPosition;
                m_inputLine = m_history[m_history.size() - static_cast<size_t>(m_historyPosition)];
            }
            m_scrollOffset = 0;
            m_completionIndex = -1;
            return;
        case ConsoleKey::Down:
            if (m_historyPosition > 0) {
                --m_historyPosition;
                m_inputLine =
                    m_historyPosition == 0
                        ? m_savedInput
                        : m_history[m_history.size() - static_cast<size_t>(m_historyPosition)];
            }
            m_scrollOffset = 0;
            m_completionIndex = -1;
            return;
        case ConsoleKey::PageUp:
            if (m_scrollOffset < static_cast<int>(m_lines.size()) - m_visibleLineCount) {
                ++m_scrollOffset;
            }
            return;
        case ConsoleKey::PageDown:
            if (m_scrollOffset > 0) {
                --m_scrollOffset;
            }
            return;
        default: {
            m_completionIndex = -1;
            m_scrollOffset = 0;
            int c = unicode & 0x7f;
            if (c >= 32 && c <= 126) {
                m_inputLine += static_cast<char>(c);
            }
            return;
        }
    }
}

void Console::executeInputLine() {
    m_lines.push_back(m_prompt + m_inputLine);
    if (!m_inputLine.empty()) {
        m_history.push_back(m_inputLine);
        if (!m_historyPath.empty()) {
            std::ofstream out(m_historyPath, std::ios::app);
            out << m_inputLine << "\n";
        }
        std::vector<std::string> tokens = splitText(" ", trimText(m_inputLine), true);
        const std::string& word = tokens[0];
        if (IConsoleCommand* command = findCommand(word)) {
            addAnswer(command->execute(tokens));
            pushPendingLine();
        } else if (word == "clear" || word == "cls") {
            m_lines.clear();
        } else if (word == "man" || word == "help") {
            if (tokens.size() >= 2) {
                IConsoleCommand* target = findCommand(tokens[1]);
                addAnswer(target == nullptr ? "Command " + tokens[1] + " not found."
                                            : target->getHelp());
            } else {
                std::string all;
                for (const auto& [name, command] : m_commands) {
                    all += name + "\n" + command->getHelp() + "\n\n";
                }
                addAnswer(all);
            }
            pushPendingLine();
        } else {
            m_lines.push_back(m_inputLine + ": command not found");
        }
    }
    m_inputLine.clear();
    m_scrollOffset = 0;
    m_historyPosition = 0;
    m_completionIndex = -1;
}

void Console::complete() {
    if (m_completionIndex >= 0) {
        m_inputLine = m_completionPrefix;
    }
    std::vector<const std::string*> matches;
    for (const auto& [name, command] : m_commands) {
        if (name.compare(0, m_inputLine.size(), m_inputLine) == 0) {
            matches.push_back(&name);
        }
    }
    if (matches.empty()) {
        return;
    }
    if (m_completionIndex + 1 < static_cast<int>(matches.size())) {
        ++m_completionIndex;
    } else {
        m_completionIndex = 0;
    }
    m_completionPrefix = m_inputLine;
    m_inputLine = *matches[static_cast<size_t>(m_completionIndex)] + " ";
}

std::string Console::updateDisplayText(float dt) {
    if (m_animating) {
        float step = dt / kSlideDuration;
        if (m_visible) {
            m_slidePosition += step;
            if (m_slidePosition >= 1.0f) {
                m_slidePosition = 1.0f;
                m_animating = false;
            }
        } else {
            m_slidePosition -= step;
            if (m_slidePosition <= 0.0f) {
                m_slidePosition = 0.0f;
                m_animating = false;
            }
        }
    }
    if (!m_visible && !m_animating) {
        return std::string();
    }
    std::string text;
    const int n = static_cast<int>(m_lines.size());
    const int first = std::max(n - m_scrollOffset - m_visibleLineCount, 0);
    const int count = m_visibleLineCount + (m_scrollOffset != 0 ? 1 : 0);
    for (int i = first; i < n && i < first + count; ++i) {
        text += m_lines[static_cast<size_t>(i)];
        text += "\n";
    }
    if (m_scrollOffset == 0) {
        text += m_prompt + m_inputLine;
        m_cursorBlinkPhase += std::min(dt / kCursorBlinkPeriod, 1.0f);
        if (m_cursorBlinkPhase > 0.5f) {
            text += "_";
        }
        if (m_cursorBlinkPhase > 1.0f) {
            m_cursorBlinkPhase = 0.0f;
        }
    }
    return text;
}
