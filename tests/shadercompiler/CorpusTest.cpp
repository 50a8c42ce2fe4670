// The shared shader sources, in the variants the engine generates, compile
// for both stages, pass a real GLSL compiler and linker, and reflect the
// uniform names the engine sets.

#include "ShaderVariants.h"
#include "TestSupport.h"
#include "shaderlang/compiler/ShaderCompiler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace shadertest;
using shaderinterface::Reflection;
using shaderinterface::SamplerKind;
using shaderinterface::Stage;

namespace {

// Every name the engine's parameter binding knows.
bool knownParameter(const std::string& name) {
    static const std::set<std::string> kPlain = {"In.viewMatrix",
                                                 "In.invViewMatrix",
                                                 "In.projMatrix",
                                                 "In.viewProjMatrix",
                                                 "In.cameraPosition",
                                                 "In.time",
                                                 "In.time_0_1",
                                                 "In.time_cos_0_1",
                                                 "In.time_sin_0_1",
                                                 "In.time_tan_0_1",
                                                 "In.viewportWidth",
                                                 "In.viewportHeight",
                                                 "In.volumeFogStartOrDensityAndEndAndYPlane",
                                                 "In.volumeFogColor",
                                                 "In.fogStartOrDensityAndEnd",
                                                 "In.fogColor",
                                                 "In.depthBlendMapRenderingInfo",
                                                 "In.mat.cosPower_EmissiveCoeff_ScaleBias",
                                                 "In.mat.depthBias_Opacity",
                                                 "In.mat.reflectionRefractionCoeffScale",
                                                 "In.modelMatrix",
                                                 "In.modelViewMatrix",
                                                 "In.modelViewProjMatrix",
                                                 "In.modelCameraPosition",
                                                 "In.lights.ambientColor",
                                                 "In.lights.shadowDepthBias",
                                                 "In.terrainLayerRepeat",
                                                 "In.terrainLayerPlanes",
                                                 "In.terrainLodBlendInfosWorldOffsetInvScale"};
    if (kPlain.count(name))
        return true;
    static const char* const kArrays[] = {
        "In.lights.dirLightDirections",  "In.lights.dirLightMvps",
        "In.lights.dirLightPositions",   "In.lights.pointLightPositions",
        "In.lights.pointLightMvps",      "In.lights.spotLightPositions",
        "In.lights.spotLightDirections", "In.lights.spotLightConeParams",
        "In.lights.spotLightMvps",       "In.lights.diffuseColors",
        "In.lights.specularColors"};
    for (const char* a : kArrays) {
        for (int i = 0; i < 4; ++i) {
            if (name == std::string(a) + "[" + std::to_string(i) + "]")
                return true;
        }
    }
    for (int i = 0; i < 40; ++i) {
        if (name == "In.blendMatrices[" + std::to_string(i) + "]")
            return true;
    }
    return false;
}

const shaderinterface::ParameterInfo* findParam(const Reflection& r, const std::string& name) {
    for (const auto& p : r.parameters) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}
const shaderinterface::SamplerInfo* findSampler(const Reflection& r, const std::string& name) {
    for (const auto& s : r.samplers) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

void checkReflection(const Reflection& r, const std::string& what) {
    int next = 0;
    for (const auto& p : r.parameters) {
        EXPECT_TRUE(knownParameter(p.name)) << what << ": unexpected parameter " << p.name;
        EXPECT_EQ(p.registerIndex, next) << what << ": " << p.name << " not packed in order";
        next = p.registerIndex + p.registerCount;
    }
    EXPECT_EQ(r.numRegisters, next) << what;
    EXPECT_LE(r.numRegisters, 256) << what << ": more registers than GL 3.3 guarantees";
    std::set<int> units;
    for (const auto& s : r.samplers) {
        EXPECT_EQ(s.name.rfind("In.samplers.", 0), 0u) << what << ": " << s.name;
        EXPECT_TRUE(units.insert(s.textureUnit).second) << what << ": unit used twice";
    }
}

class CorpusTest : public ::testing::TestWithParam<Variant> {};

TEST_P(CorpusTest, CompilesValidatesAndLinks) {
    const Variant& v = GetParam();
    std::string text = buildVariantText(v);
    ASSERT_FALSE(text.empty());
    auto vs = shadercompiler::compile(text, "main_vp", Stage::Vertex);
    auto fs = shadercompiler::compile(text, "main_fp", Stage::Fragment);
    ASSERT_TRUE(vs.success) << vs.listing;
    ASSERT_TRUE(fs.success) << fs.listing;
    EXPECT_EQ(vs.listing, "");
    EXPECT_EQ(fs.listing, "");
    checkReflection(vs.reflection, v.name + " vertex");
    checkReflection(fs.reflection, v.name + " fragment");
    EXPECT_NE(findParam(vs.reflection, "In.modelViewProjMatrix"), nullptr);
    EXPECT_EQ(findParam(vs.reflection, "In.modelViewProjMatrix")->registerCount, 4);

    if (glslangValidator().empty()) {
        GTEST_SKIP() << "glslangValidator is not installed (Debian package glslang-tools)";
    }
    GlslCheck check = validateGlsl(vs.glsl, fs.glsl);
    EXPECT_TRUE(check.ok) << check.output << "\n" << vs.glsl << "\n" << fs.glsl;
}

INSTANTIATE_TEST_SUITE_P(SharedSources, CorpusTest, ::testing::ValuesIn(corpusVariants()),
                         [](const auto& info) { return info.param.name; });

Variant variantNamed(const std::string& name) {
    for (const auto& v : corpusVariants()) {
        if (v.name == name)
            return v;
    }
    return {};
}

TEST(CorpusReflection, FourLightsUseTheirSlotsAndTheShadowSamplerComesLast) {
    std::string text = buildVariantText(variantNamed("four_lights_normal_shadow_fog"));
    auto fs = shadercompiler::compile(text, "main_fp", Stage::Fragment);
    ASSERT_TRUE(fs.success) << fs.listing;
    for (const char* n :
         {"In.lights.diffuseColors[0]", "In.lights.diffuseColors[3]", "In.lights.specularColors[2]",
          "In.lights.spotLightConeParams[0]", "In.lights.pointLightPositions[0]",
          "In.lights.shadowDepthBias", "In.mat.cosPower_EmissiveCoeff_ScaleBias"}) {
        EXPECT_NE(findParam(fs.reflection, n), nullptr) << n;
    }
    // Only the lights that exist take registers.
    EXPECT_EQ(findParam(fs.reflection, "In.lights.pointLightPositions[1]"), nullptr);
    ASSERT_EQ(fs.reflection.samplers.size(), 3u);
    EXPECT_EQ(findSampler(fs.reflection, "In.samplers.normalMap")->textureUnit, 0);
    EXPECT_EQ(findSampler(fs.reflection, "In.samplers.glossMap")->textureUnit, 1);
    const auto* shadow = findSampler(fs.reflection, "In.samplers.depthShadowMap");
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->textureUnit, 2);
    EXPECT_EQ(shadow->kind, SamplerKind::Sampler2DShadow);

    auto vs = shadercompiler::compile(text, "main_vp", Stage::Vertex);
    ASSERT_TRUE(vs.success) << vs.listing;
    const auto* mvp = findParam(vs.reflection, "In.lights.dirLightMvps[0]");
    ASSERT_NE(mvp, nullptr);
    EXPECT_EQ(mvp->type, shaderinterface::ParamType::Float4x4);
    EXPECT_EQ(findParam(vs.reflection, "In.modelMatrix")->type,
              shaderinterface::ParamType::Float3x4);
    EXPECT_EQ(findParam(vs.reflection, "In.modelMatrix")->registerCount, 3);
}

TEST(CorpusReflection, SkinningPaletteTakesThreeRegistersPerBone) {
    auto vs = shadercompiler::compile(buildVariantText(variantNamed("skinned")), "main_vp",
                                      Stage::Vertex);
    ASSERT_TRUE(vs.success) << vs.listing;
    const auto* first = findParam(vs.reflection, "In.blendMatrices[0]");
    const auto* last = findParam(vs.reflection, "In.blendMatrices[39]");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->registerIndex - first->registerIndex, 39 * 3);
    EXPECT_EQ(last->registerCount, 3);
}

TEST(CorpusReflection, TerrainSamplersFollowTheLayersAndUniformsAreNamedInTheInputStruct) {
    std::string text = buildVariantText(variantNamed("terrain_four_layers_lod"));
    auto fs = shadercompiler::compile(text, "main_fp", Stage::Fragment);
    ASSERT_TRUE(fs.success) << fs.listing;
    const char* const kOrder[] = {"In.samplers.layer0Map",  "In.samplers.layer1Map",
                                  "In.samplers.layer2Map",  "In.samplers.layer3Map",
                                  "In.samplers.weightsMap", "In.samplers.lodMap"};
    for (int i = 0; i < 6; ++i) {
        const auto* s = findSampler(fs.reflection, kOrder[i]);
        ASSERT_NE(s, nullptr) << kOrder[i];
        EXPECT_EQ(s->textureUnit, i) << kOrder[i];
    }
    auto vs = shadercompiler::compile(text, "main_vp", Stage::Vertex);
    ASSERT_TRUE(vs.success) << vs.listing;
    EXPECT_NE(findParam(vs.reflection, "In.terrainLayerRepeat"), nullptr);
    EXPECT_NE(findParam(vs.reflection, "In.terrainLodBlendInfosWorldOffsetInvScale"), nullptr);
    // Six texture coordinate sets (albedo, four layers, weights) need three varyings.
    EXPECT_NE(vs.glsl.find("out vec4 v_TEXCOORD2;"), std::string::npos);
    EXPECT_EQ(vs.glsl.find("v_TEXCOORD3"), std::string::npos);
}

}  // namespace
