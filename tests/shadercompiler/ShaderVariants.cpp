#include "ShaderVariants.h"

#include "TestSupport.h"
#include "shaderlang/preprocessor/Preprocessor.h"
#include "terrain/TerrainMaterial.h"

#include <gtest/gtest.h>

namespace shadertest {

std::string readSharedShader(const std::string& name) {
    return testsupport::readFile(std::string(ENGINE_SOURCE_DIR) + "/data/shared/shader/" + name);
}

std::string glslangValidator() {
    for (const char* p : {"/usr/bin/glslangValidator", "/usr/local/bin/glslangValidator"}) {
        if (testsupport::fileExists(p))
            return p;
    }
    return {};
}

GlslCheck validateGlsl(const std::string& vertex, const std::string& fragment) {
    GlslCheck check;
    testsupport::TempDir dir;
    std::vector<std::string> argv = {glslangValidator()};
    if (!vertex.empty() && !fragment.empty())
        argv.push_back("-l");
    if (!vertex.empty()) {
        testsupport::writeFile(dir / "shader.vert", vertex);
        argv.push_back(dir / "shader.vert");
    }
    if (!fragment.empty()) {
        testsupport::writeFile(dir / "shader.frag", fragment);
        argv.push_back(dir / "shader.frag");
    }
    auto run = testsupport::runProgram(argv, dir.path(), {});
    check.output = run.output;
    check.ok = run.exitCode == 0 && run.output.find("WARNING") == std::string::npos;
    return check;
}

// The terrain's own injections, so the corpus compiles exactly what terrain
// materials ask the shader builder for.
std::vector<std::pair<std::string, std::string>> terrainInjections(int layers, bool lodMap,
                                                                   bool vertexLighting) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& injection : TerrainShaderCode::makeInjections(layers, lodMap, vertexLighting))
        out.emplace_back(injection.position, injection.code);
    return out;
}

const std::vector<Variant>& corpusVariants() {
    static const std::vector<Variant> kVariants = [] {
        std::vector<Variant> v;
        v.push_back({"unlit", 0, 0, 0, {}, 0, 0, {}});
        v.push_back(
            {"albedo_one_directional", 1, 0, 0, {"AMBIENT", "DIFFUSE", "ALBEDO_MAP"}, 0, 0, {}});
        v.push_back(
            {"four_lights_normal_shadow_fog",
             2,
             1,
             1,
             {"AMBIENT", "DIFFUSE", "SPECULAR", "NORMAL_MAP", "GLOSS_MAP", "DEPTH_SHADOW_MAP"},
             1,
             0,
             {}});
        v.push_back(
            {"skinned", 0, 1, 0, {"AMBIENT", "DIFFUSE", "ALBEDO_MAP", "SKINNING"}, 2, 0, {}});
        v.push_back({"parallax_emissive_cube_tested",
                     1,
                     0,
                     1,
                     {"DIFFUSE", "SPECULAR", "ALPHA_TESTED", "ALBEDO_MAP", "NORMAL_MAP",
                      "PARALLAX_MAP", "EMISSIVE_MAP", "REFLECTION_MAP_CUBE", "VERTEX_COLOR"},
                     3,
                     0,
                     {}});
        v.push_back({"reflection_refraction_blended",
                     0,
                     3,
                     0,
                     {"DIFFUSE", "ALPHA_BLENDED", "ALBEDO_MAP", "REFLECTION_MAP_2D",
                      "REFRACTION_MAP", "DEPTH_SHADOW_MAP", "USE_COLOR_SHADOW_MAPS"},
                     0,
                     1,
                     {}});
        v.push_back({"depth_vis", 0, 0, 0, {"DEPTH_VIS"}, 0, 0, {}});
        v.push_back({"terrain_four_layers_lod",
                     1,
                     0,
                     0,
                     {"AMBIENT", "DIFFUSE"},
                     1,
                     0,
                     terrainInjections(4, true, false)});
        v.push_back(
            {"terrain_two_layers", 2, 0, 0, {"DIFFUSE"}, 0, 0, terrainInjections(2, false, false)});
        v.push_back(
            {"terrain_lod_only", 1, 0, 0, {"DIFFUSE"}, 0, 0, terrainInjections(0, true, false)});
        v.push_back({"terrain_vertex_lighting",
                     2,
                     0,
                     0,
                     {"AMBIENT", "DIFFUSE"},
                     0,
                     0,
                     terrainInjections(3, true, true)});
        return v;
    }();
    return kVariants;
}

std::string buildVariantText(const Variant& v) {
    // The engine's text starts with a line break and has empty lines in the
    // header block; they are left out here because the preprocessor then
    // skips the directive on the following line.
    std::string text =
        "#define ALBEDOMAP_INPUT_TEXCOORD 0\n#define NORMALMAP_INPUT_TEXCOORD 0\n"
        "#define GLOSSMAP_INPUT_TEXCOORD 0\n#define LIGHTMAP_INPUT_TEXCOORD 0\n"
        "#define ALBEDOMAP_TEXCOORD 0\n#define NORMALMAP_TEXCOORD 0\n"
        "#define GLOSSMAP_TEXCOORD 0\n#define LIGHTMAP_TEXCOORD 0\n#define NUM_TEXCOORDS 1\n";
    text +=
        "#define curUnit 0\n"
        "#define IncrementCurUnit #defeval curUnit #eval curUnit+1\n"
        "#define TEXUNITN_(number) TEXUNIT#1\n"
        "#define TEXUNITN TEXUNITN_(curUnit) IncrementCurUnit\n"
        "#define INCREMENT_NUM_TEXCOORDS(step) #defeval NUM_TEXCOORDS #eval NUM_TEXCOORDS+step\n"
        "#define NEXT_TEXCOORD NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(1)\n"
        "#define NEXT_I_TEXCOORD(step) NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(step)\n";
    auto def = [&](const std::string& name, int value) {
        text += "#define " + name + " " + std::to_string(value) + "\n";
    };
    def("VERTEXSHADER_VERSION", 3);
    def("FRAGMENTSHADER_VERSION", 3);
    text += "#define VENDOR_UNKNOWN\n";
    def("NUM_DIRECTIONAL_LIGHTS", v.directional);
    def("NUM_DIRECTIONAL_LIGHTS_SPECULAR_ONLY", 0);
    def("NUM_POINT_LIGHTS", v.point);
    def("NUM_POINT_LIGHTS_SPECULAR_ONLY", 0);
    def("NUM_SPOT_LIGHTS", v.spot);
    def("NUM_SPOT_LIGHTS_SPECULAR_ONLY", 0);
    def("NUM_PROJECTIVE_POINT_LIGHTS", 0);
    def("NUM_PROJECTIVE_POINT_LIGHTS_SPECULAR_ONLY", 0);
    def("NUM_PROJECTIVE_SPOT_LIGHTS", 0);
    def("NUM_PROJECTIVE_SPOT_LIGHTS_SPECULAR_ONLY", 0);
    text += "#define PERPIXEL\n";
    bool skinning = false;
    for (const auto& f : v.features) {
        text += "#define " + f + "\n";
        if (f == "SKINNING")
            skinning = true;
    }
    def("NUM_BONES", skinning ? 40 : 2);
    def("FOG_MODE", v.fogMode);
    def("VOLUME_FOG_MODE", v.volumeFogMode);
    for (const char* f : {"shared.cg", "functions_vs.cg", "functions_fs.cg", "shaderbuilder.cg"})
        text += readSharedShader(f);
    for (const auto& [hook, code] : v.injections) {
        size_t at = text.find("//customPos_" + hook);
        if (at == std::string::npos)
            at = text.find("/*customPos_" + hook);
        if (at != std::string::npos)
            text.insert(at, code + "\n");
    }
    std::string out;
    PreprocessorOptions options;
    options.fileName = "shared/shader/tempFile.cg";
    bool ok = preprocessText(text, options, out);
    EXPECT_TRUE(ok) << "preprocessing variant " << v.name << " failed";
    return ok ? out : std::string();
}

}  // namespace shadertest
