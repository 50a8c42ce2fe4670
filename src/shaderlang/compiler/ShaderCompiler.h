#pragma once
// Compiler for the engine's Cg shader dialect. It takes one preprocessed
// source text (which may hold both stages), compiles the function reached
// from one entry point and returns GLSL 3.30 core text together with the
// register reflection the render device and the shader cache need.
//
// Every uniform of a stage lives in one vec4 register array (see
// ShaderInterface.h). A Cg matrix floatRxC takes R consecutive registers, one
// row each; mul(M, v) treats v as a column vector.

#include "shaderlang/compiler/ShaderInterface.h"

#include <string>
#include <string_view>

namespace shadercompiler {

using shaderinterface::Reflection;
using shaderinterface::Stage;

// The version of the GLSL text and reflection this compiler produces. Raise
// it whenever either changes: the shader cache names carry it, so programs
// of an older compiler are never served.
constexpr int kOutputFormatVersion = 2;

struct CompileOptions {
    // Name reported for lines before the first include marker.
    std::string fileName = "shader";
};

struct CompileResult {
    bool success = false;
    std::string glsl;     // GLSL 3.30 core text, empty on failure
    std::string listing;  // "file(line) : error: message" lines; warnings too
    Reflection reflection;
};

// Compiles the function `entryPoint` ("main_vp", "main_fp") of `source` for
// `stage`. Only what the entry point reaches is emitted. Never throws.
CompileResult compile(std::string_view source, std::string_view entryPoint, Stage stage,
                      const CompileOptions& options = {});

}  // namespace shadercompiler
