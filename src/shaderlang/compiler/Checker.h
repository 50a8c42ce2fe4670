#pragma once
// Type checking of a parsed program: resolves names, overloads and the
// standard library, and annotates every expression with its type. Errors are
// stage independent; what depends on the stage is checked while emitting.

#include "shaderlang/compiler/Ast.h"
#include "shaderlang/compiler/Diagnostics.h"

namespace shadercompiler {

bool checkProgram(Program& program, Diagnostics& diag);

// How far `from` is from `to` for implicit conversion: 0 exact, larger is
// worse, -1 impossible.
int conversionCost(const Type& from, const Type& to);

// Structs, arrays and vectors of this kind exist in GLSL.
bool livesInGlsl(const Type& t);

}  // namespace shadercompiler
