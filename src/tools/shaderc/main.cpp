// shaderc: checks a shader file of the engine's Cg dialect the way the game
// builds it. The file is run through the engine's shader preprocessor with
// the given defines, one stage is compiled, and the GLSL text and the
// register reflection are printed; on failure the error listing is printed
// and the exit status is 1.

#include "foundation/File.h"
#include "foundation/Log.h"
#include "shaderlang/compiler/ShaderCompiler.h"
#include "shaderlang/preprocessor/Preprocessor.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

void usage() {
    std::cerr << "usage: shaderc [options] file.cg\n"
                 "  -vs | -fs          stage (default -vs)\n"
                 "  -entry NAME        entry point (default main_vp / main_fp)\n"
                 "  -DNAME[=VALUE]     define a macro before the file is read\n"
                 "  -E                 print the preprocessed text and stop\n"
                 "  -P                 the file is already preprocessed\n"
                 "  -q                 print only the reflection\n";
}

const char* paramTypeName(shaderinterface::ParamType t) {
    static const char* const kNames[] = {
        "float",    "float2",   "float3",   "float4",   "int",      "int2",     "int3",
        "int4",     "bool",     "bool2",    "bool3",    "bool4",    "float2x2", "float2x3",
        "float2x4", "float3x2", "float3x3", "float3x4", "float4x2", "float4x3", "float4x4"};
    return kNames[static_cast<int>(t)];
}

const char* samplerKindName(shaderinterface::SamplerKind k) {
    switch (k) {
        case shaderinterface::SamplerKind::Sampler2D:
            return "sampler2D";
        case shaderinterface::SamplerKind::SamplerCube:
            return "samplerCUBE";
        case shaderinterface::SamplerKind::Sampler2DShadow:
            return "sampler2DShadow";
        case shaderinterface::SamplerKind::Sampler1D:
            return "sampler1D";
        case shaderinterface::SamplerKind::Sampler2DArray:
            return "sampler2DARRAY";
        case shaderinterface::SamplerKind::SamplerRect:
            return "samplerRECT";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    shaderinterface::Stage stage = shaderinterface::Stage::Vertex;
    std::string entry, file;
    bool preprocessOnly = false, preprocessed = false, quiet = false;
    std::vector<std::pair<std::string, std::string>> defines;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-vs") {
            stage = shaderinterface::Stage::Vertex;
        } else if (a == "-fs") {
            stage = shaderinterface::Stage::Fragment;
        } else if (a == "-entry" && i + 1 < argc) {
            entry = argv[++i];
        } else if (a.rfind("-D", 0) == 0 && a.size() > 2) {
            std::string d = a.substr(2);
            size_t eq = d.find('=');
            if (eq == std::string::npos)
                defines.emplace_back(d, "");
            else
                defines.emplace_back(d.substr(0, eq), d.substr(eq + 1));
        } else if (a == "-E") {
            preprocessOnly = true;
        } else if (a == "-P") {
            preprocessed = true;
        } else if (a == "-q") {
            quiet = true;
        } else if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] != '-' && file.empty()) {
            file = a;
        } else {
            usage();
            return 2;
        }
    }
    if (file.empty()) {
        usage();
        return 2;
    }
    if (entry.empty())
        entry = stage == shaderinterface::Stage::Vertex ? "main_vp" : "main_fp";

    // Relative names (the file and its includes) are found from the current folder.
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>("", 0));
    std::string source;
    if (!FileSystem::readWholeFile(file, source)) {
        std::cerr << "shaderc: cannot read '" << file << "'\n";
        return 2;
    }
    std::string text;
    if (preprocessed) {
        text = source;
    } else {
        PreprocessorOptions options;
        options.fileName = file;
        options.defines = defines;
        // Markers for every place that drops lines, so that messages name
        // the line where the text was written.
        options.insertLineMarkers = true;
        // The preprocessor reports through the log: its messages (a missing
        // include's name, the line of a bad directive) go to standard error.
        StderrLogSink stderrSink;
        Log::get().addSink(&stderrSink);
        bool ok = preprocessText(source, options, text);
        Log::get().removeSink(&stderrSink);
        if (!ok) {
            std::cerr << "shaderc: preprocessing '" << file << "' failed\n";
            return 1;
        }
    }
    if (preprocessOnly) {
        std::cout << text;
        return 0;
    }
    shadercompiler::CompileOptions copts;
    copts.fileName = file;
    shadercompiler::CompileResult r = shadercompiler::compile(text, entry, stage, copts);
    if (!r.success) {
        std::cerr << r.listing;
        return 1;
    }
    std::cerr << r.listing;  // warnings
    if (!quiet)
        std::cout << r.glsl;
    std::cout << "// registers: " << r.reflection.numRegisters << "\n";
    for (const auto& p : r.reflection.parameters) {
        std::cout << "// parameter " << p.name << " " << paramTypeName(p.type) << " register "
                  << p.registerIndex << " count " << p.registerCount;
        if (!p.initialValue.empty()) {
            std::cout << " initial";
            for (float v : p.initialValue)
                std::cout << " " << v;
        }
        std::cout << "\n";
    }
    for (const auto& s : r.reflection.samplers) {
        std::cout << "// sampler " << s.name << " " << samplerKindName(s.kind) << " unit "
                  << s.textureUnit << " (" << s.glslName << ")\n";
    }
    return 0;
}
