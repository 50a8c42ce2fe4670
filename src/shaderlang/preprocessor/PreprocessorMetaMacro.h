#pragma once
// The directives every preprocessor registers when it is constructed.

#include "shaderlang/preprocessor/Preprocessor.h"

#define ENGINE_PREPROCESSOR_DIRECTIVE(ClassName, directiveName, argumentCount, conditional) \
    class ClassName : public PreprocessorMetaMacro {                                        \
    public:                                                                                 \
        void execute(Preprocessor& preprocessor, std::string_view name,                     \
                     std::string_view argument) override;                                   \
        const char* getName() const override { return directiveName; }                      \
        int getNumArguments() const override { return argumentCount; }                      \
        bool isConditional() const override { return conditional; }                         \
    };

ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroDefine, "define", 2, false)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroUndef, "undef", 1, false)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroIfdef, "ifdef", 1, true)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroIfndef, "ifndef", 1, true)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroEndif, "endif", 0, true)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroElse, "else", 0, true)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroInclude, "include", 1, false)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroDefeval, "defeval", 2, false)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroEval, "eval", 1, false)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroIf, "if", 1, true)
ENGINE_PREPROCESSOR_DIRECTIVE(PreprocessorMetaMacroElif, "elif", 1, true)

#undef ENGINE_PREPROCESSOR_DIRECTIVE

// Splits directive arguments: the first runs to a blank outside parentheses
// and double quotes,
// `rest` is what follows with blanks trimmed.
void splitPreprocessorArgument(std::string_view argument, std::string_view& first,
                               std::string_view& rest);
// A run of ASCII letters, digits and "_" that is the whole text.
bool isPreprocessorIdentifier(std::string_view text);
