// Cost of compiling one shader stage, which the engine pays once per new
// shader key: a generated 40 KB program of the kind custom shaders add to the
// shared sources (a uniform interface with light arrays, many helper
// functions with loops, swizzles, mul and texture lookups), and the shared
// sources themselves in a four-light variant, preprocessed once beforehand.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/File.h"
#include "shaderlang/compiler/ShaderCompiler.h"
#include "shaderlang/preprocessor/Preprocessor.h"

using shaderinterface::Stage;

namespace {

std::string generatedProgram(size_t bytes) {
    std::string text = R"(
struct Lights {
    uniform float4 positions[4];
    uniform float4 colours[4];
    uniform float4x4 mvps[4];
};
struct Maps { sampler2D base : TEXUNIT0; sampler2D normals : TEXUNIT1; samplerCUBE env; };
struct VOut {
    float4 pos : POSITION;
    float4 uv : TEXCOORD0;
    float3 worldPos : TEXCOORD1;
    float3 normal : TEXCOORD2;
};
struct FIn { VOut vs; Maps maps; Lights lights; uniform float4 tint; uniform float4x4 view; };
)";
    std::vector<std::string> names;
    for (int i = 0; text.size() < bytes; ++i) {
        std::string n = "term" + std::to_string(i);
        names.push_back(n);
        text += "float4 " + n + "(FIn In, float3 N, inout float3 acc)\n{\n";
        text +=
            "    float4 c = tex2D(In.maps.base, In.vs.uv.xy * " + std::to_string(i + 1) + ".0);\n";
        text += "    float3 bump = tex2D(In.maps.normals, In.vs.uv.zw).xyz * 2 - 1;\n";
        text += "    for (int l = 0; l < 4; l++) {\n";
        text += "        float3 d = In.lights.positions[l].xyz - In.vs.worldPos;\n";
        text += "        float att = saturate(1 - length(d) * In.lights.positions[l].w);\n";
        text += "        float3 L = normalize(d);\n";
        text += "        float4 proj = mul(In.lights.mvps[l], float4(In.vs.worldPos, 1));\n";
        text += "        acc += In.lights.colours[l].rgb * saturate(dot(N + bump, L)) * att;\n";
        text += "        acc.xy += frac(proj.xy / proj.w) * 0.01;\n";
        text += "    }\n";
        text += "    float3 r = reflect(-normalize(In.vs.worldPos), N);\n";
        text += "    c.rgb = lerp(c.rgb, texCUBE(In.maps.env, r).rgb, 0.25) * In.tint.xyz;\n";
        text += "    float fog = " + std::to_string(i % 2 ? 1 : 0) +
                " ? exp(-length(mul(In.view, float4(In.vs.worldPos, 1)).xyz)) : 1;\n";
        text += "    return c * fog + acc.xxxx * 0.5;\n}\n";
    }
    text += "float4 main_fp(FIn In) : COLOR\n{\n    float3 N = normalize(In.vs.normal);\n";
    text += "    float3 acc = 0;\n    float4 sum = 0;\n";
    for (const auto& n : names)
        text += "    sum += " + n + "(In, N, acc);\n";
    text += "    return sum;\n}\n";
    return text;
}

void BM_Compile40KBFragmentProgram(benchmark::State& state) {
    const std::string text = generatedProgram(40 * 1024);
    for (auto _ : state) {
        auto r = shadercompiler::compile(text, "main_fp", Stage::Fragment);
        if (!r.success) {
            state.SkipWithError(r.listing.c_str());
            break;
        }
        benchmark::DoNotOptimize(r.glsl.data());
    }
    state.counters["source_bytes"] = static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Compile40KBFragmentProgram)->Unit(benchmark::kMillisecond);

// The shared sources with two directional, one point and one spot light,
// normal and gloss maps, a depth shadow map and fog.
std::string sharedVariant() {
    std::string source;
    for (const char* f : {"shared.cg", "functions_vs.cg", "functions_fs.cg", "shaderbuilder.cg"}) {
        std::string part;
        if (!FileSystem::readWholeFile(std::string(ENGINE_SOURCE_DIR) + "/data/shared/shader/" + f,
                                       part))
            return {};
        source += part;
    }
    PreprocessorOptions options;
    options.fileName = "shared/shader/tempFile.cg";
    options.defines = {{"ALBEDOMAP_INPUT_TEXCOORD", "0"},
                       {"NORMALMAP_INPUT_TEXCOORD", "0"},
                       {"GLOSSMAP_INPUT_TEXCOORD", "0"},
                       {"ALBEDOMAP_TEXCOORD", "0"},
                       {"NORMALMAP_TEXCOORD", "0"},
                       {"GLOSSMAP_TEXCOORD", "0"},
                       {"NUM_TEXCOORDS", "1"},
                       {"curUnit", "0"},
                       {"IncrementCurUnit", "#defeval curUnit #eval curUnit+1"},
                       {"TEXUNITN_(number)", "TEXUNIT#1"},
                       {"TEXUNITN", "TEXUNITN_(curUnit) IncrementCurUnit"},
                       {"NUM_DIRECTIONAL_LIGHTS", "2"},
                       {"NUM_POINT_LIGHTS", "1"},
                       {"NUM_SPOT_LIGHTS", "1"},
                       {"PERPIXEL", ""},
                       {"AMBIENT", ""},
                       {"DIFFUSE", ""},
                       {"SPECULAR", ""},
                       {"NORMAL_MAP", ""},
                       {"GLOSS_MAP", ""},
                       {"DEPTH_SHADOW_MAP", ""},
                       {"NUM_BONES", "2"},
                       {"FOG_MODE", "1"},
                       {"VOLUME_FOG_MODE", "0"}};
    std::string out;
    return preprocessText(source, options, out) ? out : std::string();
}

void compileShared(benchmark::State& state, const char* entry, Stage stage) {
    static const std::string text = [] {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>("", 0));
        return sharedVariant();
    }();
    if (text.empty()) {
        state.SkipWithError("the shared shader sources could not be preprocessed");
        return;
    }
    for (auto _ : state) {
        auto r = shadercompiler::compile(text, entry, stage);
        if (!r.success) {
            state.SkipWithError(r.listing.c_str());
            break;
        }
        benchmark::DoNotOptimize(r.glsl.data());
    }
    state.counters["source_bytes"] = static_cast<double>(text.size());
}
void BM_CompileSharedSourcesVertex(benchmark::State& state) {
    compileShared(state, "main_vp", Stage::Vertex);
}
void BM_CompileSharedSourcesFragment(benchmark::State& state) {
    compileShared(state, "main_fp", Stage::Fragment);
}
BENCHMARK(BM_CompileSharedSourcesVertex)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompileSharedSourcesFragment)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
