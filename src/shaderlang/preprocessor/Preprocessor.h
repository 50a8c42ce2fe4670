#pragma once
// The engine's text preprocessor for shader sources: a general macro
// processor driven by a syntax description (how user macros are called, how
// directives are written, which comments and strings exist). It knows the
// directives define, undef, ifdef, ifndef, if, elif, else, endif, include and
// the two meta-macros defeval (define with the value expanded now) and eval
// (integer arithmetic on the text), which let a macro count while the text is
// being expanded. The output is one flat text without directives and comments.
//
// Typical use:
//   std::string out;
//   PreprocessorOptions options;          // the engine's syntaxes and comments
//   options.fileName = "shared/shader/tempFile.cg";
//   options.defines = {{"NUM_BONES", "40"}};
//   bool ok = preprocessText(source, options, out);
//   PreprocessorSourceLocation where = locatePreprocessedLine(out, 120, options.fileName);

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class File;
class Preprocessor;

// Special codes inside syntax and comment sequences (one byte each). A code
// with the top bit set (code | Negate) matches one character the plain code
// does not match.
namespace PreprocessorCode {
constexpr char Blanks = 1;              // one or more blanks (space or tab)
constexpr char OptionalBlanks = 2;      // zero or more blanks
constexpr char Whitespace = 3;          // one or more blanks or newlines
constexpr char OptionalWhitespace = 4;  // zero or more blanks or newlines
constexpr char Letter = 5;              // a letter
constexpr char LetterOrWhitespace = 6;  // a letter, blank or newline
constexpr char Digit = 7;               // a decimal digit
constexpr char CharSet1 = 8;            // a character of the first configurable set
constexpr char Tab = 9;                 // a tab
constexpr char Newline = 10;            // a newline
constexpr char CharSet2 = 11;           // a character of the second set
constexpr char CharSet3 = 12;           // a character of the third set
constexpr char Negate = static_cast<char>(0x80);
}  // namespace PreprocessorCode

// How macros (user syntax) or directives (directive syntax) are written.
// Sequences may contain PreprocessorCode values. A character entry of 0 means
// "none".
struct PreprocessorSyntax {
    std::string macroStart;
    std::string macroEnd;
    std::string argStart;
    std::string argSeparator;
    std::string argEnd;
    char argReference = '#';
    char quote = 0;
    char nestOpen = '(';
    char nestClose = ')';

    // NAME or NAME(a, b): identifiers called directly, "(" "," ")",
    // "#1" references, backslash quote.
    static PreprocessorSyntax engineUserSyntax();
    // "#" first on a line (blanks around it allowed), arguments separated by
    // blanks up to the end of the line.
    static PreprocessorSyntax engineDirectiveSyntax();
};

// One kind of comment or string. `modes` holds one behaviour letter for user
// text, directive text and text being expanded: 'c' comment (dropped), 's'
// string (copied with delimiters, nothing inside expanded), 'q' (contents
// copied without delimiters), 'C'/'S'/'Q' the same with macros inside
// expanded, 'i'/'I' not recognised in that mode.
struct PreprocessorCommentSpec {
    std::string start;
    std::string end;
    char escape = 0;   // skips the character after it
    char warning = 0;  // meeting it inside ends the item with a warning
    std::string modes = "ccc";
};

// Receives the output in chunks.
class IPreprocessorSink {
public:
    virtual ~IPreprocessorSink() = default;
    virtual void write(const char* text, size_t length) = 0;
};

struct PreprocessorOptions {
    // When set, the input is read from it (non-owning).
    File* inputStream = nullptr;
    // Name of the input, used in messages and to resolve relative includes.
    std::string fileName = "defaultFilename";
    // In-memory input, used when no stream is set.
    const char* inputText = nullptr;
    size_t inputLength = 0;

    // Receives all output text when set (appended to).
    std::string* outputString = nullptr;
    // Receives each output chunk when set.
    IPreprocessorSink* outputSink = nullptr;

    PreprocessorSyntax userSyntax = PreprocessorSyntax::engineUserSyntax();
    PreprocessorSyntax directiveSyntax = PreprocessorSyntax::engineDirectiveSyntax();
    // In order of addition; tried newest first. Defaults to the engine's
    // five: block comment, line continuation, double-quoted string,
    // single-quoted string, line comment.
    std::vector<PreprocessorCommentSpec> commentSpecs = engineCommentSpecs();
    // The sets behind CharSet1..3: plain characters, ranges "a-z" and the
    // codes Blanks, OptionalBlanks, Letter, Digit, Tab, Newline.
    std::string charSets[3];

    // Macros defined before the input is read, as by "#define NAME value";
    // NAME may carry a parameter list: {"MAX(a, b)", "((a) > (b) ? (a) : (b))"}.
    std::vector<std::pair<std::string, std::string>> defines;

    // A marker line ("//include NAME(1):1" and "//include PARENT(LINE):2")
    // is written where an include file starts and ends.
    bool insertIncludeMarkers = true;
    // With include markers on: a marker naming the current file and line
    // ("//include NAME(LINE):2") is also written wherever the output has
    // fallen out of step with the input lines (after directive lines, skipped
    // blocks and comments that span lines), so that locatePreprocessedLine
    // finds the exact line of every output line. A comment spanning lines
    // that ends inside a line then leaves a line break in the output.
    bool insertLineMarkers = false;
    // Blanks before a terminator are not part of the preceding text. When
    // false, every directive line leaves an empty line in the output, which
    // keeps output lines in step with input lines.
    bool trimBeforeTerminators = true;
    // Print warnings (errors are always printed).
    bool warnings = false;
    // Copy the text of pure comments to the output.
    bool keepComments = false;

    static std::vector<PreprocessorCommentSpec> engineCommentSpecs();
};

// A directive: the entries of the directive table.
class PreprocessorMetaMacro {
public:
    virtual ~PreprocessorMetaMacro() = default;
    // `argument` is the directive's argument text with comments removed.
    virtual void execute(Preprocessor& preprocessor, std::string_view name,
                         std::string_view argument) = 0;
    virtual const char* getName() const = 0;
    // 0, 1 or 2.
    virtual int getNumArguments() const = 0;
    // Conditional directives act inside inactive blocks, the others do not.
    virtual bool isConditional() const { return false; }
};

class Preprocessor {
public:
    enum Mode { UserMode = 0, DirectiveMode = 1, ExpandMode = 2 };

    // Copies the syntaxes and specifications and registers the directives.
    explicit Preprocessor(const PreprocessorOptions& options);
    ~Preprocessor();
    Preprocessor(const Preprocessor&) = delete;
    Preprocessor& operator=(const Preprocessor&) = delete;

    // Processes the whole input into the output. On failure the text
    // "Preprocession failed, check log" is appended to the output and false
    // is returned. One run per object.
    bool run();
    bool hasFailed() const { return m_failed; }

    // Preprocesses a piece of text with the current macros into a new string.
    std::string expandText(std::string_view text, Mode mode);

    bool isDefined(std::string_view name) const;
    // The stored (unexpanded) value of a macro, or nullptr.
    const std::string* getMacroValue(std::string_view name) const;

    // --- Operations the directives use --------------------------------------
    // Logs "file(line) : error: message" and fails the run.
    void error(std::string_view message);
    // Logs "file(line) : warning: message" when warnings are on.
    void warning(std::string_view message);
    // Parses "NAME value" / "NAME(p1, p2) value" and defines the macro, the
    // value expanded first when `evaluate` is set (defeval).
    void defineFromArgument(std::string_view argument, bool evaluate);
    void undefine(std::string_view name);
    // Expands the expression text (with defined(NAME) available) and
    // evaluates it; failures log the arithmetic error and give 0.
    int32_t evaluate(std::string_view expression);
    // Conditional stack.
    bool isParentActive() const;
    bool isActive() const;
    void pushConditional(bool condition);
    void elseConditional();
    // Returns true when the level still waits for a branch (state 1).
    bool isWaitingForBranch() const;
    void takeBranch(bool condition);
    bool popConditional();
    int getConditionalDepth() const { return static_cast<int>(m_conditions.size()); }
    void includeFile(std::string_view name);
    void writeOutput(std::string_view text);

    // Limits that keep any input finite.
    static constexpr int kMaxConditionalDepth = 49;
    // Nested macro expansions (each macro body and each argument expansion
    // takes one level).
    static constexpr int kMaxExpansionDepth = 128;
    static constexpr int kMaxIncludeDepth = 32;
    static constexpr int kMaxMacroArguments = 100;
    // Characters scanned and produced in one run, all expansions together.
    static constexpr size_t kMaxWork = size_t(64) << 20;

    struct Macro;
    struct Context;

private:
    struct StringHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using MacroTable =
        std::unordered_map<std::string, std::shared_ptr<const Macro>, StringHash, std::equal_to<>>;
    using DirectiveTable = std::unordered_map<std::string, std::unique_ptr<PreprocessorMetaMacro>,
                                              StringHash, std::equal_to<>>;
    struct CompiledSpec;

    void addCommentSpec(const PreprocessorCommentSpec& spec);
    void compileCharSet(int index, const std::string& spec);
    void addFirstChars(const std::string& sequence, bool* table) const;
    bool codeMatches(unsigned char code, unsigned char c) const;
    size_t match(const std::string& sequence, const char* p, const char* end,
                 bool virtualNewline) const;

    void processContext(Context& ctx, std::string& out);
    void processLoop(Context& ctx, std::string& out);
    bool tryCommentSpec(Context& ctx, std::string& out);
    bool tryDirective(Context& ctx, std::string& out);
    bool tryMacroCall(Context& ctx, std::string_view name, std::string& out);
    // Finds the comment or string kind starting at `p`, or null; `startLength` receives the
    // length of its start.
    const CompiledSpec* findSpec(const char* p, const char* end, bool virtualNewline, Mode mode,
                                 size_t& startLength) const;
    // Scans one comment/string whose start ends at `inner`; sets `innerEnd`
    // and `next`. False (with the error logged) when the text ends inside it.
    bool scanItem(const CompiledSpec& spec, const char* inner, const char* end,
                  const char*& innerEnd, const char*& next);
    bool collectArguments(const char*& p, const char* end, std::vector<std::string>& args);
    void expandMacro(Context& caller, const std::shared_ptr<const Macro>& macro,
                     const std::vector<std::string>& rawArgs, std::string& out);
    std::string expandIn(std::string_view text, Mode mode, const Context* scope);
    bool addWork(size_t amount);
    void writeIncludeMarker(std::string& out, const std::string& name, int line, char kind);
    // Writes a line marker when the next output line of the top text would
    // not be mapped to the input line `ctx` is at (insertLineMarkers).
    void syncLine(Context& ctx, std::string& out);
    int currentLine(const Context* fileContext) const;
    const Context* currentFileContext() const;
    void message(std::string_view kind, std::string_view text);

    PreprocessorOptions m_options;
    std::vector<CompiledSpec> m_specs;  // newest first
    const CompiledSpec* m_markerSpec = nullptr;
    bool m_charSets[3][256] = {};
    bool m_interesting[256] = {};
    bool m_directiveFirst[256] = {};
    MacroTable m_macros;
    DirectiveTable m_directives;
    std::vector<uint8_t> m_conditions;
    Context* m_current = nullptr;
    std::string* m_output = nullptr;
    size_t m_work = 0;
    int m_depth = 0;
    int m_includeDepth = 0;
    int m_definedActive = 0;
    bool m_failed = false;
    bool m_configFailed = false;
    bool m_ran = false;
    // Line tracking of the top output for insertLineMarkers: the file and
    // line the output line at `m_syncOffset` is mapped to, and the place of
    // the last line marker (replaced when no text followed it).
    const std::string* m_syncOutput = nullptr;
    std::string m_syncFile;
    int m_syncLine = 1;
    size_t m_syncOffset = 0;
    size_t m_syncMarkerBegin = 0;
    size_t m_syncMarkerEnd = std::string::npos;
};

// Runs the preprocessor on a text or on a file read through the virtual file
// system (the file's name is then the options' file name); the output is
// appended to `output`. False on failure (messages in the log).
bool preprocessText(std::string_view text, const PreprocessorOptions& options, std::string& output);
bool preprocessFile(const std::string& path, const PreprocessorOptions& options,
                    std::string& output);

// Where a place of the output came from, found through the include markers:
// after a marker "//include NAME(LINE):k" the next output line is line LINE
// of NAME. Text before the first marker belongs to `inputName` starting at
// line 1. Exact with insertLineMarkers, or when trimBeforeTerminators is
// false and no comment or skipped conditional block spans lines; otherwise
// the lines removed inside a file shift the count until the next marker.
struct PreprocessorSourceLocation {
    std::string file;
    int line = 0;
};
PreprocessorSourceLocation locatePreprocessedPosition(std::string_view output, size_t position,
                                                      const std::string& inputName,
                                                      std::string_view markerStart = "//");
// The same for a 1-based output line number (what compilers report).
PreprocessorSourceLocation locatePreprocessedLine(std::string_view output, int line,
                                                  const std::string& inputName,
                                                  std::string_view markerStart = "//");
