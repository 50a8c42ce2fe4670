#pragma once
// GLSL 3.30 generation for one entry point of a checked program: the entry's
// varying structs are filled from attributes / varyings named by semantic,
// uniforms are read from the stage's register array, and the reflection lists
// the registers and samplers the emitted code uses.

#include "shaderlang/compiler/Ast.h"
#include "shaderlang/compiler/Diagnostics.h"
#include "shaderlang/compiler/ShaderInterface.h"

#include <string>

namespace shadercompiler {

bool emitGlsl(const Program& program, const FuncDecl& entry, shaderinterface::Stage stage,
              Diagnostics& diag, std::string& glsl, shaderinterface::Reflection& reflection);

}  // namespace shadercompiler
