#pragma once
// Lexer and parser of the Cg dialect. Line numbers follow the include markers
// that the shader preprocessor writes ("//include name(line):1" when a file
// starts, "...:2" when its parent resumes), so messages name the real file.

#include "base/3d/shadercompiler/Ast.h"
#include "base/3d/shadercompiler/Diagnostics.h"

#include <string_view>

namespace shadercompiler {

// Parses `source` into `program`; program.files must already hold the name of
// the outermost text at index 0. Returns false after reporting the first
// syntax error.
bool parseProgram(std::string_view source, Program& program, Diagnostics& diag);

// Parses a Cg type name ("float3", "half4x4", "sampler2D"); false when the
// word is no built-in type.
bool parseBuiltinTypeName(std::string_view word, Type& out);

}  // namespace shadercompiler
