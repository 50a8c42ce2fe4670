#include "shaderlang/preprocessor/PreprocessorMetaMacro.h"

#include <string>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The single identifier argument of ifdef, ifndef and undef; warns about
// anything after it. Empty after an error.
std::string_view identifierArgument(Preprocessor& preprocessor, std::string_view argument,
                                    const char* directive) {
    std::string_view name;
    std::string_view rest;
    splitPreprocessorArgument(argument, name, rest);
    if (!isPreprocessorIdentifier(name)) {
        preprocessor.error(std::string("#") + directive + " requires an identififier");
        return {};
    }
    if (!rest.empty())
        preprocessor.warning(std::string("extra argument to #") + directive + " ignored");
    return name;
}

void warnExtra(Preprocessor& preprocessor, std::string_view argument, const char* directive) {
    if (!trimBlanks(argument).empty())
        preprocessor.warning(std::string("extra argument to #") + directive + " ignored");
}

bool roomForLevel(Preprocessor& preprocessor) {
    if (preprocessor.getConditionalDepth() >= Preprocessor::kMaxConditionalDepth) {
        preprocessor.error("too many nested #ifs");
        return false;
    }
    return true;
}

void pushDefinedTest(Preprocessor& preprocessor, std::string_view argument, const char* directive,
                     bool wanted) {
    if (!roomForLevel(preprocessor))
        return;
    std::string_view name = identifierArgument(preprocessor, argument, directive);
    if (name.empty())
        return;
    preprocessor.pushConditional(preprocessor.isDefined(name) == wanted);
}

}  // namespace

void splitPreprocessorArgument(std::string_view argument, std::string_view& first,
                               std::string_view& rest) {
    argument = trimBlanks(argument);
    int depth = 0;
    bool quoted = false;
    size_t i = 0;
    for (; i < argument.size(); ++i) {
        char c = argument[i];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0 && isBlank(c))
            break;
    }
    first = argument.substr(0, i);
    rest = trimBlanks(argument.substr(i));
}

bool isPreprocessorIdentifier(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!isIdentifierChar(c))
            return false;
    return true;
}

void PreprocessorMetaMacroDefine::execute(Preprocessor& preprocessor, std::string_view,
                                          std::string_view argument) {
    preprocessor.defineFromArgument(argument, false);
}

void PreprocessorMetaMacroDefeval::execute(Preprocessor& preprocessor, std::string_view,
                                           std::string_view argument) {
    preprocessor.defineFromArgument(argument, true);
}

void PreprocessorMetaMacroUndef::execute(Preprocessor& preprocessor, std::string_view,
                                         std::string_view argument) {
    std::string_view name = identifierArgument(preprocessor, argument, "undef");
    if (!name.empty())
        preprocessor.undefine(name);
}

void PreprocessorMetaMacroIfdef::execute(Preprocessor& preprocessor, std::string_view,
                                         std::string_view argument) {
    pushDefinedTest(preprocessor, argument, "ifdef", true);
}

void PreprocessorMetaMacroIfndef::execute(Preprocessor& preprocessor, std::string_view,
                                          std::string_view argument) {
    pushDefinedTest(preprocessor, argument, "ifndef", false);
}

void PreprocessorMetaMacroIf::execute(Preprocessor& preprocessor, std::string_view,
                                      std::string_view argument) {
    if (!roomForLevel(preprocessor))
        return;
    // Inside an inactive block the expression is not evaluated at all, so
    // its macros (counters included) have no effect.
    bool condition = preprocessor.isActive() && preprocessor.evaluate(argument) >= 1;
    preprocessor.pushConditional(condition);
}

void PreprocessorMetaMacroElif::execute(Preprocessor& preprocessor, std::string_view,
                                        std::string_view argument) {
    if (preprocessor.getConditionalDepth() == 0) {
        preprocessor.error("#elif without #if");
        return;
    }
    if (!preprocessor.isParentActive())
        return;
    if (preprocessor.isWaitingForBranch())
        preprocessor.takeBranch(preprocessor.evaluate(argument) >= 1);
    else
        preprocessor.takeBranch(false);
}

void PreprocessorMetaMacroElse::execute(Preprocessor& preprocessor, std::string_view,
                                        std::string_view argument) {
    if (preprocessor.getConditionalDepth() == 0) {
        preprocessor.error("#else without #if");
        return;
    }
    warnExtra(preprocessor, argument, "else");
    preprocessor.elseConditional();
}

void PreprocessorMetaMacroEndif::execute(Preprocessor& preprocessor, std::string_view,
                                         std::string_view argument) {
    if (!preprocessor.popConditional()) {
        preprocessor.error("#endif without #if");
        return;
    }
    warnExtra(preprocessor, argument, "endif");
}

void PreprocessorMetaMacroInclude::execute(Preprocessor& preprocessor, std::string_view,
                                           std::string_view argument) {
    std::string_view name;
    std::string_view rest;
    splitPreprocessorArgument(argument, name, rest);
    if (name.size() >= 2 && ((name.front() == '"' && name.back() == '"') ||
                             (name.front() == '<' && name.back() == '>')))
        name = name.substr(1, name.size() - 2);
    if (name.empty()) {
        preprocessor.error("missing filename in #include");
        return;
    }
    if (!rest.empty())
        preprocessor.warning("extra argument to #include ignored");
    preprocessor.includeFile(name);
}

void PreprocessorMetaMacroEval::execute(Preprocessor& preprocessor, std::string_view,
                                        std::string_view argument) {
    int32_t value = preprocessor.evaluate(argument);
    if (!preprocessor.hasFailed())
        preprocessor.writeOutput(std::to_string(value));
}
