// Cost of preprocessing one generated shader text of the size the shader
// builder produces: about 50 KB with 40 feature defines, the texture unit and
// texture coordinate counters used 20 times, conditional blocks and three
// include files read through the virtual file system.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "foundation/File.h"
#include "shaderlang/preprocessor/Preprocessor.h"

namespace {

// Shader-like lines: declarations, arithmetic and comments.
std::string shaderBody(const std::string& prefix, size_t bytes) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i) {
        std::string n = std::to_string(i);
        text += "// " + prefix + " block " + n + ": light and fog terms\n";
        text += "float4 " + prefix + "Color" + n +
                " = tex2D(baseMap, In.texCoord0.xy) * "
                "lightColor" +
                std::to_string(i % 4) + ";\n";
        text += "#if defined(FEATURE" + std::to_string(i % 40) + ") && NUM_LIGHTS > 1\n";
        text += "    " + prefix + "Color" + n +
                ".rgb += specular * pow(saturate(dot(N, H)), "
                "shininess); /* highlight */\n";
        text += "#else\n    " + prefix + "Color" + n + ".rgb *= 0.5;\n#endif\n";
    }
    return text;
}

struct Source {
    std::filesystem::path folder;
    std::string text;
    size_t includedBytes = 0;
};

const Source& source() {
    static Source s = [] {
        Source result;
        result.folder = std::filesystem::temp_directory_path() / "engine_preprocessor_bench";
        std::filesystem::create_directories(result.folder / "shaders");
        for (const char* name : {"lighting", "fog", "shadow"}) {
            std::ofstream file(result.folder / "shaders" / (std::string(name) + ".cg"));
            std::string body = shaderBody(name, 5000);
            result.includedBytes += body.size();
            file << body;
        }
        std::string& t = result.text;
        t += "\n";
        for (int i = 0; i < 40; ++i)
            t += "#define FEATURE" + std::to_string(i) + (i % 3 ? " 1\n" : "\n");
        t += "#define NUM_LIGHTS 4\n#define NUM_TEXCOORDS 0\n";
        t += "#define curUnit 0\n"
             "#define IncrementCurUnit #defeval curUnit #eval curUnit+1\n"
             "#define TEXUNITN_(number) TEXUNIT#1\n"
             "#define TEXUNITN TEXUNITN_(curUnit) IncrementCurUnit\n"
             "#define INCREMENT_NUM_TEXCOORDS(step) #defeval NUM_TEXCOORDS #eval "
             "NUM_TEXCOORDS+step\n"
             "#define NEXT_TEXCOORD NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(1)\n"
             "#define NEXT_I_TEXCOORD(step) NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(step)\n";
        for (int i = 0; i < 10; ++i)
            t += "sampler2D map" + std::to_string(i) + " : TEXUNITN;\n";
        for (int i = 0; i < 10; ++i)
            t += "#defeval LAYER" + std::to_string(i) + "_TEXCOORD NEXT_TEXCOORD\n";
        t += "#include lighting.cg\n#include fog.cg\n#include shadow.cg\n";
        t += shaderBody("main", 50000 - t.size() - 15000);
        return result;
    }();
    return s;
}

void BM_PreprocessShader(benchmark::State& state) {
    const Source& s = source();
    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(s.folder.string() + "/", 0));
    PreprocessorOptions options;
    options.fileName = "shaders/main.cg";
    size_t outputSize = 0;
    {
        // The counters and the includes must have done their work.
        std::string output;
        if (!preprocessText(s.text, options, output) ||
            output.find("map9 : TEXUNIT9 ;") == std::string::npos ||
            output.find("//include shaders/shadow.cg(1):1") == std::string::npos)
            state.SkipWithError("unexpected output");
    }
    for (auto _ : state) {
        std::string output;
        bool ok = preprocessText(s.text, options, output);
        if (!ok)
            state.SkipWithError("preprocessing failed");
        outputSize = output.size();
        benchmark::DoNotOptimize(output.data());
    }
    state.counters["inputBytes"] = static_cast<double>(s.text.size() + s.includedBytes);
    state.counters["outputBytes"] = static_cast<double>(outputSize);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.text.size()));
    FileSystem::clearFileLoaders();
}
BENCHMARK(BM_PreprocessShader)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
