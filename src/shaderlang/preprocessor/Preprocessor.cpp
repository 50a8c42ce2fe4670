#include "shaderlang/preprocessor/Preprocessor.h"

#include <algorithm>
#include <cstring>

#include "foundation/File.h"
#include "foundation/Log.h"
#include "shaderlang/preprocessor/PreprocessorExpression.h"
#include "shaderlang/preprocessor/PreprocessorMetaMacro.h"

namespace {

constexpr std::string_view kFailureText = "Preprocession failed, check log";

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}
bool isLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isIdentifierChar(unsigned char c) {
    return isLetter(c) || isDigit(c) || c == '_';
}

const char* identifierEnd(const char* p, const char* end) {
    while (p < end && isIdentifierChar(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// A terminator that is a single newline is matched but left in the input:
// the newline then still ends the line it belongs to (and can start the
// next directive).
bool isNewlineTerminator(const std::string& sequence) {
    return sequence == "\n";
}

bool isValidModeLetter(char c) {
    return std::strchr("csqCSQiI", c) != nullptr && c != 0;
}

}  // namespace

struct Preprocessor::Macro {
    std::string name;
    std::string value;
    std::vector<std::string> parameterNames;
};

struct Preprocessor::Context {
    const char* begin = nullptr;
    const char* end = nullptr;
    const char* pos = nullptr;
    // A newline is deemed to stand just before this position (the start of
    // every text, so that a directive on its first line is recognised).
    const char* virtualLineStart = nullptr;
    // The file this text belongs to: messages name it and its current line.
    Context* fileContext = nullptr;
    const std::string* fileName = nullptr;
    // Expanded argument values and the macro whose body this is.
    const std::vector<std::string>* args = nullptr;
    const Macro* macro = nullptr;
    Mode mode = UserMode;
    // Set while a directive on the first line acts whose newline is dropped
    // afterwards: text it writes is followed by the next line directly.
    bool newlineFollowsDirective = false;
    // Line number at `lineCountedTo`, advanced as the text is read.
    const char* lineCountedTo = nullptr;
    int lineNumber = 1;

    int lineAt(const char* p) {
        if (!lineCountedTo || p < lineCountedTo) {
            lineCountedTo = begin;
            lineNumber = 1;
        }
        lineNumber += static_cast<int>(std::count(lineCountedTo, p, '\n'));
        lineCountedTo = p;
        return lineNumber;
    }

    void setText(std::string_view text) {
        begin = text.data();
        end = begin + text.size();
        pos = begin;
        virtualLineStart = begin;
    }
};

struct Preprocessor::CompiledSpec {
    std::string start;
    std::string end;
    char escape = 0;
    char warning = 0;
    char modes[3] = {'c', 'c', 'c'};
    bool firstChars[256] = {};
    bool startsWithNewline = false;
};

// --- Engine configuration ------------------------------------------------------

PreprocessorSyntax PreprocessorSyntax::engineUserSyntax() {
    PreprocessorSyntax syntax;
    syntax.argStart = "(";
    syntax.argSeparator = ",";
    syntax.argEnd = ")";
    syntax.argReference = '#';
    syntax.quote = '\\';
    return syntax;
}

PreprocessorSyntax PreprocessorSyntax::engineDirectiveSyntax() {
    PreprocessorSyntax syntax;
    syntax.macroStart = {'\n', PreprocessorCode::OptionalBlanks, '#',
                         PreprocessorCode::OptionalBlanks};
    syntax.macroEnd = "\n";
    syntax.argStart = {PreprocessorCode::Blanks};
    syntax.argSeparator = {PreprocessorCode::Blanks};
    syntax.argEnd = "\n";
    syntax.argReference = '#';
    syntax.quote = 0;
    return syntax;
}

std::vector<PreprocessorCommentSpec> PreprocessorOptions::engineCommentSpecs() {
    return {
        {"/*", "*/", 0, 0, "ccc"},     {"\\\n", "", 0, 0, "ccc"}, {"\"", "\"", 0, 0, "sss"},
        {"'", "'", '\\', '\n', "sss"}, {"//", "\n", 0, 0, "ccc"},
    };
}

// --- Construction ---------------------------------------------------------------

Preprocessor::Preprocessor(const PreprocessorOptions& options) : m_options(options) {
    for (int i = 0; i < 3; ++i)
        compileCharSet(i, m_options.charSets[i]);
    for (const PreprocessorCommentSpec& spec : m_options.commentSpecs)
        addCommentSpec(spec);

    // The marker comment: the newest pure comment that runs to the end of a
    // line, else the newest pure comment with an end of its own.
    for (const CompiledSpec& spec : m_specs)
        if (spec.modes[UserMode] == 'c' && isNewlineTerminator(spec.end)) {
            m_markerSpec = &spec;
            break;
        }
    if (!m_markerSpec)
        for (const CompiledSpec& spec : m_specs)
            if (spec.modes[UserMode] == 'c' && !spec.end.empty()) {
                m_markerSpec = &spec;
                break;
            }

    std::unique_ptr<PreprocessorMetaMacro> directives[] = {
        std::make_unique<PreprocessorMetaMacroDefine>(),
        std::make_unique<PreprocessorMetaMacroUndef>(),
        std::make_unique<PreprocessorMetaMacroIfdef>(),
        std::make_unique<PreprocessorMetaMacroIfndef>(),
        std::make_unique<PreprocessorMetaMacroEndif>(),
        std::make_unique<PreprocessorMetaMacroElse>(),
        std::make_unique<PreprocessorMetaMacroInclude>(),
        std::make_unique<PreprocessorMetaMacroDefeval>(),
        std::make_unique<PreprocessorMetaMacroEval>(),
        std::make_unique<PreprocessorMetaMacroIf>(),
        std::make_unique<PreprocessorMetaMacroElif>(),
    };
    for (auto& directive : directives) {
        std::string name = directive->getName();
        m_directives.emplace(std::move(name), std::move(directive));
    }

    // Characters where something other than plain copying may begin.
    const PreprocessorSyntax& user = m_options.userSyntax;
    for (int c = 0; c < 256; ++c)
        if (isIdentifierChar(static_cast<unsigned char>(c)))
            m_interesting[c] = true;
    for (char c : {user.quote, user.argReference})
        if (c != 0)
            m_interesting[static_cast<unsigned char>(c)] = true;
    addFirstChars(user.macroStart, m_interesting);
    addFirstChars(m_options.directiveSyntax.macroStart, m_directiveFirst);
    for (int c = 0; c < 256; ++c)
        m_interesting[c] = m_interesting[c] || m_directiveFirst[c];
    for (const CompiledSpec& spec : m_specs)
        for (int c = 0; c < 256; ++c)
            m_interesting[c] = m_interesting[c] || spec.firstChars[c];
    if (m_options.insertLineMarkers)
        m_interesting[static_cast<unsigned char>('\n')] = true;  // line starts are checked
}

Preprocessor::~Preprocessor() = default;

void Preprocessor::addCommentSpec(const PreprocessorCommentSpec& spec) {
    for (const CompiledSpec& existing : m_specs) {
        if (existing.start != spec.start)
            continue;
        if (existing.end != spec.end) {
            Log::get() << "error: Comment/string already exists with a differen end\n";
            m_configFailed = true;
        }
        return;
    }
    CompiledSpec compiled;
    compiled.start = spec.start;
    compiled.end = spec.end;
    compiled.escape = spec.escape;
    compiled.warning = spec.warning;
    for (size_t i = 0; i < 3; ++i) {
        char letter = i < spec.modes.size() ? spec.modes[i] : 0;
        if (!isValidModeLetter(letter)) {
            Log::get() << "error: "
                       << "invalid comment/string specification\n";
            letter = 'c';
        }
        compiled.modes[i] = letter;
    }
    addFirstChars(compiled.start, compiled.firstChars);
    compiled.startsWithNewline = !compiled.start.empty() && compiled.start[0] == '\n';
    m_specs.insert(m_specs.begin(), std::move(compiled));
}

void Preprocessor::compileCharSet(int index, const std::string& spec) {
    bool* set = m_charSets[index];
    for (size_t i = 0; i < spec.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(spec[i]);
        if (c & 0x80) {
            Log::get() << "Preprocessor:: Negated special sequences not allowed in charset "
                          "specifications\n";
            m_configFailed = true;
            continue;
        }
        switch (c) {
            case PreprocessorCode::Whitespace:
            case PreprocessorCode::OptionalWhitespace:
            case PreprocessorCode::LetterOrWhitespace:
            case PreprocessorCode::CharSet1:
            case PreprocessorCode::CharSet2:
            case PreprocessorCode::CharSet3:
                Log::get()
                    << "Preprocessor:: Special sequence not allowed in charset specifications\n";
                m_configFailed = true;
                continue;
            case PreprocessorCode::Blanks:
            case PreprocessorCode::OptionalBlanks:
                set[static_cast<unsigned char>(' ')] = set[static_cast<unsigned char>('\t')] = true;
                continue;
            case PreprocessorCode::Letter:
                for (int l = 0; l < 256; ++l)
                    set[l] = set[l] || isLetter(static_cast<unsigned char>(l));
                continue;
            case PreprocessorCode::Digit:
                for (int d = '0'; d <= '9'; ++d)
                    set[d] = true;
                continue;
            default:
                break;
        }
        if (i + 2 < spec.size() && spec[i + 1] == '-') {
            unsigned char last = static_cast<unsigned char>(spec[i + 2]);
            for (int r = c; r <= last; ++r)
                set[r] = true;
            i += 2;
        } else {
            set[c] = true;
        }
    }
}

bool Preprocessor::codeMatches(unsigned char code, unsigned char c) const {
    switch (code) {
        case PreprocessorCode::Blanks:
        case PreprocessorCode::OptionalBlanks:
            return isBlank(c);
        case PreprocessorCode::Whitespace:
        case PreprocessorCode::OptionalWhitespace:
            return isBlank(c) || c == '\n';
        case PreprocessorCode::Letter:
            return isLetter(c);
        case PreprocessorCode::LetterOrWhitespace:
            return isLetter(c) || isBlank(c) || c == '\n';
        case PreprocessorCode::Digit:
            return isDigit(c);
        case PreprocessorCode::CharSet1:
            return m_charSets[0][c];
        case PreprocessorCode::CharSet2:
            return m_charSets[1][c];
        case PreprocessorCode::CharSet3:
            return m_charSets[2][c];
        default:
            return code == c;  // tab, newline and plain characters
    }
}

namespace {
bool isNegatedCode(unsigned char code) {
    return (code & 0x80) && (code & 0x7F) >= 1 && (code & 0x7F) <= 12;
}
bool isOptionalRun(unsigned char code) {
    return code == PreprocessorCode::OptionalBlanks || code == PreprocessorCode::OptionalWhitespace;
}
bool isRun(unsigned char code) {
    return code >= PreprocessorCode::Blanks && code <= PreprocessorCode::OptionalWhitespace;
}
}  // namespace

void Preprocessor::addFirstChars(const std::string& sequence, bool* table) const {
    for (char element : sequence) {
        unsigned char code = static_cast<unsigned char>(element);
        for (int c = 0; c < 256; ++c) {
            bool matches = isNegatedCode(code)
                               ? !codeMatches(code & 0x7F, static_cast<unsigned char>(c))
                               : codeMatches(code, static_cast<unsigned char>(c));
            if (matches)
                table[c] = true;
        }
        if (!isOptionalRun(code))
            return;
    }
    // A sequence that can match nothing at all may begin anywhere.
    if (!sequence.empty())
        for (int c = 0; c < 256; ++c)
            table[c] = true;
}

size_t Preprocessor::match(const std::string& sequence, const char* p, const char* end,
                           bool virtualNewline) const {
    const char* q = p;
    for (size_t i = 0; i < sequence.size(); ++i) {
        unsigned char code = static_cast<unsigned char>(sequence[i]);
        if (i == 0 && virtualNewline && code == '\n')
            continue;
        if (isNegatedCode(code)) {
            if (q >= end || codeMatches(code & 0x7F, static_cast<unsigned char>(*q)))
                return std::string::npos;
            ++q;
        } else if (isRun(code)) {
            const char* runStart = q;
            while (q < end && codeMatches(code, static_cast<unsigned char>(*q)))
                ++q;
            if (!isOptionalRun(code) && q == runStart)
                return std::string::npos;
        } else {
            if (q >= end || !codeMatches(code, static_cast<unsigned char>(*q)))
                return std::string::npos;
            ++q;
        }
    }
    return static_cast<size_t>(q - p);
}

// --- Messages --------------------------------------------------------------------

const Preprocessor::Context* Preprocessor::currentFileContext() const {
    return m_current ? m_current->fileContext : nullptr;
}

int Preprocessor::currentLine(const Context* fileContext) const {
    if (!fileContext)
        return 1;
    return 1 + static_cast<int>(std::count(fileContext->begin, fileContext->pos, '\n'));
}

void Preprocessor::message(std::string_view kind, std::string_view text) {
    const Context* file = currentFileContext();
    const std::string& name = file && file->fileName ? *file->fileName : m_options.fileName;
    Log::get() << name << "(" << static_cast<int32_t>(currentLine(file))
               << ") : " << std::string(kind) << ": " << std::string(text) << "\n";
}

void Preprocessor::error(std::string_view text) {
    if (m_failed)
        return;  // the first error ends the run
    message("error", text);
    m_failed = true;
}

void Preprocessor::warning(std::string_view text) {
    if (m_options.warnings)
        message("warning", text);
}

bool Preprocessor::addWork(size_t amount) {
    m_work += amount;
    if (m_work <= kMaxWork)
        return true;
    error("macro expansion produces too much text");
    return false;
}

// --- Running -----------------------------------------------------------------------

bool Preprocessor::run() {
    std::string result;
    std::string streamText;
    if (m_ran) {
        error("a preprocessor object serves one run");
    } else if (m_configFailed) {
        m_failed = true;
    }
    m_ran = true;

    std::string_view input;
    bool haveInput = false;
    if (m_options.inputStream) {
        std::vector<char> buffer(100);
        for (;;) {
            int count = m_options.inputStream->read(buffer.data(), static_cast<int>(buffer.size()));
            if (count <= 0)
                break;
            streamText.append(buffer.data(), static_cast<size_t>(count));
            if (static_cast<size_t>(count) == buffer.size() && buffer.size() < (size_t(1) << 20))
                buffer.resize(buffer.size() * 2);
        }
        input = streamText;
        haveInput = true;
    } else if (m_options.inputText) {
        input = std::string_view(m_options.inputText, m_options.inputLength);
        haveInput = true;
    }

    Context top;
    top.setText(input);
    top.fileContext = &top;
    top.fileName = &m_options.fileName;
    if (!haveInput)
        error("no input data set");

    if (!m_failed) {
        m_current = &top;
        for (const auto& define : m_options.defines) {
            defineFromArgument(define.first + " " + define.second, false);
            if (m_failed)
                break;
        }
        m_syncOutput = &result;
        m_syncFile = m_options.fileName;
        if (!m_failed)
            processContext(top, result);
        if (!m_failed && !m_conditions.empty())
            warning("missing #endif at end of input");
        m_current = nullptr;
    }
    if (m_failed)
        result += kFailureText;

    if (m_options.outputString)
        m_options.outputString->append(result);
    if (m_options.outputSink) {
        constexpr size_t kChunk = 64 * 1024;
        for (size_t offset = 0; offset < result.size(); offset += kChunk)
            m_options.outputSink->write(result.data() + offset,
                                        std::min(kChunk, result.size() - offset));
    }
    m_macros.clear();
    return !m_failed;
}

void Preprocessor::processContext(Context& ctx, std::string& out) {
    // Messages name this text's file; directives write into this output.
    struct Current {
        Preprocessor& self;
        Context* savedContext;
        std::string* savedOutput;
        ~Current() {
            self.m_current = savedContext;
            self.m_output = savedOutput;
        }
    } current{*this, m_current, m_output};
    m_current = &ctx;
    m_output = &out;
    processLoop(ctx, out);
}

void Preprocessor::processLoop(Context& ctx, std::string& out) {
    const PreprocessorSyntax& user = m_options.userSyntax;
    while (!m_failed && ctx.pos < ctx.end) {
        const char* p = ctx.pos;
        unsigned char c = static_cast<unsigned char>(*p);
        bool active = isActive();
        if (m_options.insertLineMarkers && active && p != ctx.begin && p[-1] == '\n')
            syncLine(ctx, out);
        if (!m_interesting[c] && p != ctx.virtualLineStart) {
            const char* q = p + 1;
            while (q < ctx.end && !m_interesting[static_cast<unsigned char>(*q)])
                ++q;
            if (!addWork(static_cast<size_t>(q - p)))
                return;
            if (active)
                out.append(p, static_cast<size_t>(q - p));
            ctx.pos = q;
            continue;
        }
        if (!addWork(1))
            return;
        size_t outBefore = out.size();
        if (tryCommentSpec(ctx, out)) {
            // A dropped comment that spans lines: the text after it goes on
            // a line of its own, under a marker naming its line.
            if (m_options.insertLineMarkers && active && out.size() == outBefore &&
                std::find(p, ctx.pos, '\n') != ctx.pos && ctx.pos < ctx.end && *ctx.pos != '\n' &&
                &out == m_syncOutput && ctx.fileContext == &ctx) {
                if (!out.empty() && out.back() != '\n')
                    out += '\n';
                syncLine(ctx, out);
            }
            continue;
        }
        if (tryDirective(ctx, out))
            continue;

        if (isIdentifierChar(c)) {
            const char* q = identifierEnd(p, ctx.end);
            std::string_view name(p, static_cast<size_t>(q - p));
            if (!addWork(name.size()))
                return;
            ctx.pos = q;
            if (!active)
                continue;
            if (ctx.macro && ctx.args) {
                const std::vector<std::string>& names = ctx.macro->parameterNames;
                auto it = std::find(names.begin(), names.end(), name);
                if (it != names.end()) {
                    size_t index = static_cast<size_t>(it - names.begin());
                    if (index < ctx.args->size()) {
                        if (!addWork((*ctx.args)[index].size()))
                            return;
                        out += (*ctx.args)[index];
                    }
                    continue;
                }
            }
            if (user.macroStart.empty() && tryMacroCall(ctx, name, out))
                continue;
            out.append(name);
            continue;
        }
        if (!user.macroStart.empty()) {
            size_t startLength = match(user.macroStart, p, ctx.end, p == ctx.virtualLineStart);
            if (startLength != std::string::npos && startLength > 0 && p + startLength < ctx.end &&
                isIdentifierChar(static_cast<unsigned char>(p[startLength]))) {
                const char* q = identifierEnd(p + startLength, ctx.end);
                std::string_view name(p + startLength, static_cast<size_t>(q - p - startLength));
                ctx.pos = q;
                if (!active)
                    continue;
                if (tryMacroCall(ctx, name, out))
                    continue;
                out.append(p, static_cast<size_t>(q - p));
                continue;
            }
        }
        if (ctx.args && user.argReference != 0 &&
            c == static_cast<unsigned char>(user.argReference) && p + 1 < ctx.end && p[1] >= '1' &&
            p[1] <= '9') {
            size_t index = static_cast<size_t>(p[1] - '1');
            ctx.pos = p + 2;
            if (active && index < ctx.args->size()) {
                if (!addWork((*ctx.args)[index].size()))
                    return;
                out += (*ctx.args)[index];
            }
            continue;
        }
        if (user.quote != 0 && c == static_cast<unsigned char>(user.quote) && p + 1 < ctx.end &&
            !isIdentifierChar(static_cast<unsigned char>(p[1]))) {
            if (active)
                out += p[1];
            ctx.pos = p + 2;
            continue;
        }
        if (active)
            out += static_cast<char>(c);
        ctx.pos = p + 1;
    }
}

const Preprocessor::CompiledSpec* Preprocessor::findSpec(const char* p, const char* end,
                                                         bool virtualNewline, Mode mode,
                                                         size_t& startLength) const {
    unsigned char c = static_cast<unsigned char>(*p);
    for (const CompiledSpec& spec : m_specs) {
        char letter = spec.modes[mode];
        if (letter == 'i' || letter == 'I')
            continue;
        if (!spec.firstChars[c] && !(virtualNewline && spec.startsWithNewline))
            continue;
        size_t length = match(spec.start, p, end, virtualNewline);
        if (length == std::string::npos || length == 0)
            continue;
        startLength = length;
        return &spec;
    }
    return nullptr;
}

bool Preprocessor::scanItem(const CompiledSpec& spec, const char* inner, const char* end,
                            const char*& innerEnd, const char*& next) {
    const char* q = inner;
    if (spec.end.empty()) {
        innerEnd = next = q;
        return true;
    }
    bool newlineEnd = isNewlineTerminator(spec.end);
    for (;;) {
        if (q >= end) {
            if (newlineEnd) {  // a line comment may end the text
                innerEnd = next = end;
                return true;
            }
            error("input ended while scanning a comment/string");
            return false;
        }
        if (spec.escape != 0 && *q == spec.escape) {
            q = std::min(q + 2, end);
            continue;
        }
        if (newlineEnd) {
            if (*q == '\n') {
                innerEnd = next = q;
                return true;
            }
        } else {
            size_t length = match(spec.end, q, end, false);
            if (length != std::string::npos && length > 0) {
                innerEnd = q;
                next = q + length;
                return true;
            }
        }
        if (spec.warning != 0 && *q == spec.warning) {
            warning("possible comment/string termination problem");
            innerEnd = next = q;
            return true;
        }
        ++q;
    }
}

bool Preprocessor::tryCommentSpec(Context& ctx, std::string& out) {
    const char* p = ctx.pos;
    size_t startLength = 0;
    const CompiledSpec* spec =
        findSpec(p, ctx.end, p == ctx.virtualLineStart, ctx.mode, startLength);
    if (!spec)
        return false;
    const char* innerEnd = nullptr;
    const char* next = nullptr;
    if (!scanItem(*spec, p + startLength, ctx.end, innerEnd, next)) {
        ctx.pos = ctx.end;
        return true;
    }
    ctx.pos = next;
    if (!isActive())
        return true;
    if (!addWork(static_cast<size_t>(next - p)))
        return true;

    char letter = spec->modes[ctx.mode];
    std::string_view startText(p, startLength);
    std::string_view inner(p + startLength, static_cast<size_t>(innerEnd - p - startLength));
    std::string_view endText(innerEnd, static_cast<size_t>(next - innerEnd));
    std::string expanded;
    if (letter == 'C' || letter == 'S' || letter == 'Q') {
        expanded = expandIn(inner, ctx.mode, &ctx);
        inner = expanded;
    }
    switch (letter) {
        case 'c':
        case 'C':
            if (m_options.keepComments) {
                out.append(startText);
                out.append(inner);
                out.append(endText);
            }
            break;
        case 's':
        case 'S':
            out.append(startText);
            out.append(inner);
            out.append(endText);
            break;
        default:  // 'q', 'Q'
            out.append(inner);
            break;
    }
    return true;
}

bool Preprocessor::tryDirective(Context& ctx, std::string& out) {
    const char* p = ctx.pos;
    bool virtualNewline = p == ctx.virtualLineStart;
    if (!m_directiveFirst[static_cast<unsigned char>(*p)] && !virtualNewline)
        return false;
    const PreprocessorSyntax& syntax = m_options.directiveSyntax;
    size_t startLength = match(syntax.macroStart, p, ctx.end, virtualNewline);
    if (startLength == std::string::npos && virtualNewline && p < ctx.end && *p == '\n') {
        // A text that starts with an empty line: the line break at the start
        // is a real one, and a directive may follow it.
        virtualNewline = false;
        startLength = match(syntax.macroStart, p, ctx.end, false);
    }
    if (startLength == std::string::npos)
        return false;
    const char* nameBegin = p + startLength;
    const char* nameEnd = identifierEnd(nameBegin, ctx.end);
    if (nameEnd == nameBegin)
        return false;
    auto found =
        m_directives.find(std::string_view(nameBegin, static_cast<size_t>(nameEnd - nameBegin)));
    if (found == m_directives.end())
        return false;
    PreprocessorMetaMacro& directive = *found->second;
    bool consumedNewline = !virtualNewline && *p == '\n';

    // The argument text runs to the end of the line; comments inside are
    // dropped, strings kept, line continuations join the next line.
    const char* q = nameEnd;
    size_t argStartLength = match(syntax.argStart, q, ctx.end, false);
    if (argStartLength != std::string::npos)
        q += argStartLength;
    std::string argument;
    while (q < ctx.end) {
        size_t endLength = match(syntax.argEnd, q, ctx.end, false);
        if (endLength != std::string::npos && endLength > 0) {
            if (!isNewlineTerminator(syntax.argEnd))
                q += endLength;
            break;
        }
        size_t specStart = 0;
        const CompiledSpec* spec = findSpec(q, ctx.end, false, DirectiveMode, specStart);
        if (spec) {
            const char* innerEnd = nullptr;
            const char* next = nullptr;
            ctx.pos = q;
            if (!scanItem(*spec, q + specStart, ctx.end, innerEnd, next)) {
                ctx.pos = ctx.end;
                return true;
            }
            char letter = spec->modes[DirectiveMode];
            if (letter == 's' || letter == 'S')
                argument.append(q, static_cast<size_t>(next - q));
            else if (letter == 'q' || letter == 'Q')
                argument.append(q + specStart, static_cast<size_t>(innerEnd - q - specStart));
            q = next;
            continue;
        }
        argument += *q++;
    }
    if (!addWork(static_cast<size_t>(q - p)))
        return true;
    if (!syntax.macroEnd.empty() && !isNewlineTerminator(syntax.macroEnd)) {
        size_t endLength = match(syntax.macroEnd, q, ctx.end, false);
        if (endLength != std::string::npos)
            q += endLength;
    }
    ctx.pos = q;
    // A directive on the first line of a text leaves no empty line either:
    // its newline goes with it once the directive has acted (messages and
    // include markers still name the directive's own line), and the next
    // line is then first in its turn.
    bool dropNewline =
        virtualNewline && m_options.trimBeforeTerminators && q < ctx.end && *q == '\n';
    ctx.newlineFollowsDirective = dropNewline;
    struct DropNewline {
        Context& ctx;
        bool drop;
        ~DropNewline() {
            ctx.newlineFollowsDirective = false;
            if (drop && ctx.pos < ctx.end && *ctx.pos == '\n') {
                ++ctx.pos;
                ctx.virtualLineStart = ctx.pos;
            }
        }
    } dropAfterwards{ctx, dropNewline};

    // Without trimming, the directive's line stays as an empty line.
    bool keepLine = consumedNewline && !m_options.trimBeforeTerminators;
    bool active = isActive();
    if (keepLine && active)
        out += '\n';
    if (!directive.isConditional() && !active)
        return true;

    std::string_view argumentText = trimBlanks(argument);
    if (directive.getNumArguments() > 0 && argumentText.empty()) {
        error("missing argument in meta macro");
        return true;
    }
    directive.execute(*this, std::string_view(nameBegin, static_cast<size_t>(nameEnd - nameBegin)),
                      argumentText);
    if (keepLine && !active && isActive())
        out += '\n';
    return true;
}

bool Preprocessor::collectArguments(const char*& p, const char* end,
                                    std::vector<std::string>& args) {
    const PreprocessorSyntax& user = m_options.userSyntax;
    std::string current;
    int depth = 0;
    const char* q = p;
    auto finishArgument = [&]() {
        if (m_options.trimBeforeTerminators)
            while (!current.empty() && isBlank(static_cast<unsigned char>(current.back())))
                current.pop_back();
        args.push_back(std::move(current));
        current.clear();
    };
    for (;;) {
        if (q >= end) {
            error("unfinished macro argument");
            return false;
        }
        if (depth == 0) {
            size_t length = match(user.argEnd, q, end, false);
            if (length != std::string::npos && length > 0) {
                finishArgument();
                q += length;
                break;
            }
            length = match(user.argSeparator, q, end, false);
            if (length != std::string::npos && length > 0) {
                finishArgument();
                if (args.size() >= static_cast<size_t>(kMaxMacroArguments)) {
                    error("too many macro parameters");
                    return false;
                }
                q += length;
                continue;
            }
        }
        size_t specStart = 0;
        if (const CompiledSpec* spec = findSpec(q, end, false, UserMode, specStart)) {
            const char* innerEnd = nullptr;
            const char* next = nullptr;
            if (!scanItem(*spec, q + specStart, end, innerEnd, next))
                return false;
            current.append(q, static_cast<size_t>(next - q));
            q = next;
            continue;
        }
        char c = *q;
        if (user.quote != 0 && c == user.quote && q + 1 < end) {
            current.append(q, 2);
            q += 2;
            continue;
        }
        if (c == user.nestOpen)
            ++depth;
        else if (c == user.nestClose && depth > 0)
            --depth;
        current += c;
        ++q;
    }
    if (!addWork(static_cast<size_t>(q - p)))
        return false;
    p = q;
    return true;
}

bool Preprocessor::tryMacroCall(Context& ctx, std::string_view name, std::string& out) {
    const PreprocessorSyntax& user = m_options.userSyntax;
    auto found = m_macros.find(name);
    bool builtinDefined = found == m_macros.end() && m_definedActive > 0 && name == "defined";
    if (found == m_macros.end() && !builtinDefined)
        return false;

    const char* q = ctx.pos;
    std::vector<std::string> rawArgs;
    size_t argStart = match(user.argStart, q, ctx.end, false);
    if (argStart != std::string::npos && argStart > 0) {
        q += argStart;
        if (!collectArguments(q, ctx.end, rawArgs)) {
            ctx.pos = ctx.end;
            return true;
        }
    } else if (builtinDefined) {
        return false;  // "defined" without a list is plain text
    }
    if (!user.macroEnd.empty()) {
        size_t endLength = match(user.macroEnd, q, ctx.end, false);
        if (endLength == std::string::npos) {
            error("unfinished macro");
            ctx.pos = ctx.end;
            return true;
        }
        q += endLength;
    }
    ctx.pos = q;

    if (builtinDefined) {
        bool defined = rawArgs.size() == 1 && isDefined(trimBlanks(rawArgs[0]));
        out += defined ? '1' : '0';
        return true;
    }
    std::shared_ptr<const Macro> macro = found->second;  // survives a redefinition inside
    expandMacro(ctx, macro, rawArgs, out);
    return true;
}

void Preprocessor::expandMacro(Context& caller, const std::shared_ptr<const Macro>& macro,
                               const std::vector<std::string>& rawArgs, std::string& out) {
    if (m_depth >= kMaxExpansionDepth) {
        error("macro expansion nested too deeply in " + macro->name);
        return;
    }
    ++m_depth;
    std::vector<std::string> args;
    args.reserve(rawArgs.size());
    for (const std::string& raw : rawArgs) {
        args.push_back(expandIn(raw, ExpandMode, &caller));
        if (m_failed)
            break;
    }
    if (!m_failed) {
        Context body;
        body.setText(macro->value);
        body.fileContext = caller.fileContext;
        body.fileName = caller.fileName;
        body.args = &args;
        body.macro = macro.get();
        body.mode = UserMode;
        processContext(body, out);
    }
    --m_depth;
}

std::string Preprocessor::expandIn(std::string_view text, Mode mode, const Context* scope) {
    std::string result;
    if (m_depth >= kMaxExpansionDepth) {
        error("macro expansion nested too deeply");
        return result;
    }
    ++m_depth;
    Context ctx;
    ctx.setText(text);
    ctx.mode = mode;
    if (scope) {
        ctx.fileContext = scope->fileContext;
        ctx.fileName = scope->fileName;
        ctx.args = scope->args;
        ctx.macro = scope->macro;
    }
    processContext(ctx, result);
    --m_depth;
    return result;
}

std::string Preprocessor::expandText(std::string_view text, Mode mode) {
    return expandIn(text, mode, m_current);
}

// --- Macros ----------------------------------------------------------------------------

bool Preprocessor::isDefined(std::string_view name) const {
    return m_macros.find(name) != m_macros.end();
}

const std::string* Preprocessor::getMacroValue(std::string_view name) const {
    auto found = m_macros.find(name);
    return found == m_macros.end() ? nullptr : &found->second->value;
}

void Preprocessor::defineFromArgument(std::string_view argument, bool evaluate) {
    const char* directive = evaluate ? "#defeval" : "#define";
    std::string_view first;
    std::string_view rest;
    splitPreprocessorArgument(argument, first, rest);

    size_t nameLength = 0;
    while (nameLength < first.size() &&
           isIdentifierChar(static_cast<unsigned char>(first[nameLength])))
        ++nameLength;
    if (nameLength == 0) {
        error(std::string(directive) + " requires an identifier");
        return;
    }
    auto macro = std::make_shared<Macro>();
    macro->name = std::string(first.substr(0, nameLength));
    std::string_view list = first.substr(nameLength);
    if (!list.empty()) {
        const PreprocessorSyntax& user = m_options.userSyntax;
        size_t open = match(user.argStart, list.data(), list.data() + list.size(), false);
        bool single = false;
        if (open != std::string::npos && open > 0 && list.back() == user.nestClose) {
            // One list: its closing parenthesis is the last character.
            int depth = 0;
            single = true;
            for (size_t i = open; i + 1 < list.size(); ++i) {
                if (list[i] == user.nestOpen)
                    ++depth;
                else if (list[i] == user.nestClose && --depth < 0)
                    single = false;
            }
        }
        if (!single) {
            error("#define/#defeval requires an identifier or a single macro call");
            return;
        }
        std::string_view inner = list.substr(open, list.size() - open - 1);
        std::vector<std::string> names;
        size_t from = 0;
        for (;;) {
            size_t comma = inner.find(',', from);
            std::string_view piece = trimBlanks(inner.substr(
                from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
            names.emplace_back(piece);
            if (comma == std::string_view::npos)
                break;
            from = comma + 1;
        }
        if (names.size() == 1 && names[0].empty())
            names.clear();  // NAME()
        for (const std::string& name : names)
            if (!isPreprocessorIdentifier(name)) {
                error(std::string(directive) + " with named args needs identifiers as arg names");
                return;
            }
        macro->parameterNames = std::move(names);
    }
    macro->value = evaluate ? expandText(rest, ExpandMode) : std::string(rest);
    if (m_failed)
        return;
    if (evaluate)
        macro->value = std::string(trimBlanks(macro->value));
    std::string key = macro->name;
    m_macros[std::move(key)] = std::move(macro);
}

void Preprocessor::undefine(std::string_view name) {
    auto found = m_macros.find(name);
    if (found != m_macros.end())
        m_macros.erase(found);
}

int32_t Preprocessor::evaluate(std::string_view expression) {
    if (isDefined("defined"))
        warning("macro defined() already defined");
    // The expression is expanded on its own, whatever the state of the
    // block it stands in (an elif is evaluated while its level is still
    // inactive).
    std::vector<uint8_t> conditions;
    conditions.swap(m_conditions);
    ++m_definedActive;
    std::string expanded = expandText(expression, ExpandMode);
    --m_definedActive;
    conditions.swap(m_conditions);
    if (m_failed)
        return 0;
    int32_t value = 0;
    if (!evaluatePreprocessorExpression(expanded, value)) {
        error("failed to compute arithmetic evalulation");
        return 0;
    }
    return value;
}

// --- Conditionals -----------------------------------------------------------------------

namespace {
constexpr uint8_t kActive = 0;
constexpr uint8_t kWaiting = 1;
constexpr uint8_t kDone = 2;
}  // namespace

bool Preprocessor::isActive() const {
    return m_conditions.empty() || m_conditions.back() == kActive;
}

bool Preprocessor::isParentActive() const {
    return m_conditions.size() < 2 || m_conditions[m_conditions.size() - 2] == kActive;
}

void Preprocessor::pushConditional(bool condition) {
    // Below an inactive level the whole nest stays inactive.
    if (!isActive())
        m_conditions.push_back(kDone);
    else
        m_conditions.push_back(condition ? kActive : kWaiting);
}

bool Preprocessor::isWaitingForBranch() const {
    return !m_conditions.empty() && m_conditions.back() == kWaiting;
}

void Preprocessor::takeBranch(bool condition) {
    if (m_conditions.empty())
        return;
    uint8_t& state = m_conditions.back();
    if (state == kWaiting) {
        if (condition)
            state = kActive;
    } else {
        state = kDone;
    }
}

void Preprocessor::elseConditional() {
    if (m_conditions.empty() || !isParentActive())
        return;
    uint8_t& state = m_conditions.back();
    if (state == kActive)
        state = kWaiting;
    else if (state == kWaiting)
        state = kActive;
}

bool Preprocessor::popConditional() {
    if (m_conditions.empty())
        return false;
    m_conditions.pop_back();
    return true;
}

// --- Include files and output -------------------------------------------------------------

void Preprocessor::writeOutput(std::string_view text) {
    if (m_output)
        m_output->append(text);
}

void Preprocessor::writeIncludeMarker(std::string& out, const std::string& name, int line,
                                      char kind) {
    if (!m_options.insertIncludeMarkers || !m_markerSpec)
        return;
    if (!out.empty() && out.back() != '\n')
        out += '\n';  // a marker is a line of its own
    out += m_markerSpec->start;
    out += "include ";
    out += name;
    out += '(';
    out += std::to_string(line);
    out += "):";
    out += kind;
    out += m_markerSpec->end;
    if (out.back() != '\n')
        out += '\n';
    if (&out == m_syncOutput) {
        m_syncFile = name;
        m_syncLine = line;
        m_syncOffset = out.size();
    }
}

void Preprocessor::syncLine(Context& ctx, std::string& out) {
    if (!m_options.insertIncludeMarkers || !m_markerSpec || &out != m_syncOutput ||
        ctx.fileContext != &ctx || !ctx.fileName)
        return;
    m_syncLine += static_cast<int>(
        std::count(out.begin() + static_cast<std::ptrdiff_t>(std::min(m_syncOffset, out.size())),
                   out.end(), '\n'));
    m_syncOffset = out.size();
    if (!out.empty() && out.back() != '\n')
        return;  // the output line has begun: checked at the next one
    int line = ctx.lineAt(ctx.pos);
    if (line == m_syncLine && *ctx.fileName == m_syncFile)
        return;
    if (m_syncMarkerEnd <= out.size() &&
        out.find_first_not_of('\n', m_syncMarkerEnd) == std::string::npos)
        out.resize(m_syncMarkerBegin);  // only empty lines followed the last marker
    m_syncMarkerBegin = out.size();
    writeIncludeMarker(out, *ctx.fileName, line, '2');
    m_syncMarkerEnd = out.size();
}

void Preprocessor::includeFile(std::string_view name) {
    if (!m_current || !m_output)
        return;
    Context* parent = m_current->fileContext;
    const std::string& parentName =
        parent && parent->fileName ? *parent->fileName : m_options.fileName;
    std::string path(name);
    if (!FileSystem::isAbsolutePath(path)) {
        size_t slash = parentName.rfind('/');
        if (slash != std::string::npos)
            path = parentName.substr(0, slash + 1) + path;
    }
    if (m_includeDepth >= kMaxIncludeDepth) {
        error("#include nested too deeply: " + path);
        return;
    }
    std::string text;
    if (!FileSystem::readWholeFile(path, text)) {
        error("Could find include file: " + std::string(name));
        return;
    }
    std::string& out = *m_output;
    // The included text starts on a line of its own, marker or not, so that
    // it never runs into the text before the directive.
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    writeIncludeMarker(out, path, 1, '1');
    Context file;
    file.setText(text);
    file.fileContext = &file;
    file.fileName = &path;
    ++m_includeDepth;
    processContext(file, out);
    --m_includeDepth;
    if (m_failed)
        return;
    // The parent goes on with the rest of the directive's line, or with the
    // next line when a first-line directive's newline is dropped.
    int parentLine = currentLine(parent);
    if (m_current == parent && parent->newlineFollowsDirective)
        ++parentLine;
    writeIncludeMarker(out, parentName, parentLine, '2');
}

// --- Convenience ---------------------------------------------------------------------------

bool preprocessText(std::string_view text, const PreprocessorOptions& options,
                    std::string& output) {
    PreprocessorOptions runOptions = options;
    runOptions.inputStream = nullptr;
    runOptions.inputText = text.data() ? text.data() : "";
    runOptions.inputLength = text.size();
    runOptions.outputString = &output;
    Preprocessor preprocessor(runOptions);
    return preprocessor.run();
}

bool preprocessFile(const std::string& path, const PreprocessorOptions& options,
                    std::string& output) {
    std::string text;
    if (!FileSystem::readWholeFile(path, text)) {
        Log::get() << path << "(1) : error: cannot open input file\n";
        output += kFailureText;
        return false;
    }
    PreprocessorOptions runOptions = options;
    runOptions.fileName = path;
    return preprocessText(text, runOptions, output);
}
