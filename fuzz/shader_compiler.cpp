// The shader compiler over the input as a preprocessed source, for the
// vertex and the fragment entry point.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shaderlang/compiler/ShaderCompiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    shadercompiler::compile(source, "main_vp", shadercompiler::Stage::Vertex);
    shadercompiler::compile(source, "main_fp", shadercompiler::Stage::Fragment);
    return 0;
}
