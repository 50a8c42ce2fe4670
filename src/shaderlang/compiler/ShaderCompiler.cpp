#include "shaderlang/compiler/ShaderCompiler.h"

#include "shaderlang/compiler/Checker.h"
#include "shaderlang/compiler/GlslEmitter.h"
#include "shaderlang/compiler/Parser.h"

namespace shadercompiler {

CompileResult compile(std::string_view source, std::string_view entryPoint, Stage stage,
                      const CompileOptions& options) {
    CompileResult result;
    Program program;
    program.files.push_back(options.fileName);
    Diagnostics diag(program.files);
    if (parseProgram(source, program, diag) && checkProgram(program, diag)) {
        const FuncDecl* entry = nullptr;
        int count = 0;
        for (const auto& f : program.funcs) {
            if (f->name == entryPoint && f->body) {
                entry = f.get();
                ++count;
            }
        }
        if (!entry) {
            diag.error({0, 1}, "entry point '" + std::string(entryPoint) + "' not found");
        } else if (count > 1) {
            diag.error(entry->loc, "entry point '" + std::string(entryPoint) + "' is overloaded");
        } else {
            std::string glsl;
            if (emitGlsl(program, *entry, stage, diag, glsl, result.reflection)) {
                result.glsl = std::move(glsl);
                result.success = true;
            }
        }
    }
    result.listing = diag.listing();
    if (!result.success) {
        result.glsl.clear();
        result.reflection = Reflection{};
        result.reflection.stage = stage;
    }
    return result;
}

}  // namespace shadercompiler
