#pragma once
// Lexer and parser of the Cg dialect. Line numbers follow the include markers
// that the shader preprocessor writes ("//include name(line):1" when a file
// starts, "...:2" when its parent resumes), so messages name the real file.

#include "shaderlang/compiler/Ast.h"
#include "shaderlang/compiler/Diagnostics.h"

#include <string_view>

namespace shadercompiler {

// Parses `source` into `program`; program.files must already hold the name of
// the outermost text at index 0. Returns false after reporting the first
// syntax error.
bool parseProgram(std::string_view source, Program& program, Diagnostics& diag);

// Limits that keep the compile of any text finite: array sizes, and how
// deeply statements and expressions nest (the later passes recurse over
// the tree).
constexpr int kMaxArraySize = 4096;
constexpr int kMaxNesting = 256;

// Integer constant arithmetic of array sizes, indices and loop bounds
// ("+", "-", "*", "/", "%"); false for another operator, a division by zero
// or an overflow.
bool foldIntOperation(std::string_view op, long long a, long long b, long long& out);

// Parses a Cg type name ("float3", "half4x4", "sampler2D"); false when the
// word is no built-in type.
bool parseBuiltinTypeName(std::string_view word, Type& out);

}  // namespace shadercompiler
