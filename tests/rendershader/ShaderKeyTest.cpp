// Shader keys: the define text each key puts in front of the shared sources.

#include <gtest/gtest.h>

#include <string>

#include "render/shader/ShaderKey.h"

namespace {

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(ShaderKeyTest, DefineTextForTableOfKeys) {
    struct Case {
        const char* what;
        void (*make)(ShaderKey&);
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"empty key",
         [](ShaderKey&) {},
         {"#define VENDOR_UNKNOWN", "#define PERPIXEL", "#define NUM_BONES 2", "#define FOG_MODE 0",
          "#define VOLUME_FOG_MODE 0", "#define NUM_DIRECTIONAL_LIGHTS 0",
          "#define NUM_PROJECTIVE_SPOT_LIGHTS_SPECULAR_ONLY 0"},
         {"#define SKINNING", "#define ALBEDO_MAP", "#define AMBIENT"}},
        {"2D and cube reflection",
         [](ShaderKey& k) {
             k.words[0] |= ShaderKey::kReflectionMap2D | ShaderKey::kReflectionMapCube;
         },
         {"#define REFLECTION_MAP_2D"},
         {"#define REFLECTION_MAP_CUBE"}},
        {"cube reflection alone",
         [](ShaderKey& k) { k.words[0] |= ShaderKey::kReflectionMapCube; },
         {"#define REFLECTION_MAP_CUBE"},
         {"#define REFLECTION_MAP_2D"}},
        {"blended and tested",
         [](ShaderKey& k) { k.words[0] |= ShaderKey::kAlphaBlended | ShaderKey::kAlphaTested; },
         {"#define ALPHA_BLENDED"},
         {"#define ALPHA_TESTED"}},
        {"tested alone",
         [](ShaderKey& k) { k.words[0] |= ShaderKey::kAlphaTested; },
         {"#define ALPHA_TESTED"},
         {"#define ALPHA_BLENDED"}},
        {"light counts",
         [](ShaderKey& k) {
             k.setLightCount(ShaderLightKind::Directional, false, 2);
             k.setLightCount(ShaderLightKind::Point, false, 7);
             k.setLightCount(ShaderLightKind::Spot, true, 3);
             k.setLightCount(ShaderLightKind::ProjectiveSpot, true, 1);
             k.words[3] |= ShaderKey::kDepthShadowMap;
         },
         {"#define NUM_DIRECTIONAL_LIGHTS 2", "#define NUM_POINT_LIGHTS 7",
          "#define NUM_SPOT_LIGHTS 0", "#define NUM_SPOT_LIGHTS_SPECULAR_ONLY 3",
          "#define NUM_PROJECTIVE_SPOT_LIGHTS_SPECULAR_ONLY 1", "#define DEPTH_SHADOW_MAP"},
         {"#define NUM_POINT_LIGHTS_SPECULAR_ONLY 7"}},
        {"skinning and vertex colour",
         [](ShaderKey& k) { k.words[2] |= ShaderKey::kSkinning | ShaderKey::kVertexColor; },
         {"#define SKINNING", "#define NUM_BONES 40", "#define VERTEX_COLOR"},
         {"#define NUM_BONES 2"}},
        {"fog modes only with their switches",
         [](ShaderKey& k) {
             k.setFogModes(2, 3);
             k.words[0] |= ShaderKey::kFog;
         },
         {"#define FOG_MODE 2", "#define VOLUME_FOG_MODE 0"},
         {"#define VOLUME_FOG_MODE 3"}},
        {"volume fog on",
         [](ShaderKey& k) {
             k.setFogModes(1, 3);
             k.words[0] |= ShaderKey::kVolumeFog;
         },
         {"#define FOG_MODE 0", "#define VOLUME_FOG_MODE 3"},
         {}},
        {"projected depth vis needs depth vis",
         [](ShaderKey& k) { k.words[0] |= ShaderKey::kProjDepthVis; },
         {},
         {"#define PROJ_DEPTH_VIS", "#define DEPTH_VIS"}},
        {"lit textured",
         [](ShaderKey& k) {
             k.words[0] |= ShaderKey::kAmbient | ShaderKey::kDiffuse | ShaderKey::kAlbedoMap;
             k.words[2] |= ShaderKey::kDepthBlendMapRendering | ShaderKey::kLightMap;
         },
         {"#define AMBIENT", "#define DIFFUSE", "#define ALBEDO_MAP",
          "#define DEPTH_BLEND_MAP_RENDERING", "#define LIGHT_MAP"},
         {"#define SPECULAR"}},
    };
    ShaderDeviceCaps caps;
    for (const Case& c : cases) {
        ShaderKey key;
        c.make(key);
        std::string text = buildShaderDefineText(key, caps);
        for (const std::string& line : c.present) {
            EXPECT_TRUE(hasLine(text, line)) << c.what << ": missing " << line << "\n" << text;
        }
        for (const std::string& line : c.absent) {
            EXPECT_FALSE(hasLine(text, line)) << c.what << ": unexpected " << line;
        }
    }
}

TEST(ShaderKeyTest, FieldsStayInTheirBits) {
    ShaderKey key;
    key.setCustom(127, 15);
    key.setCustom(200, 17);  // masked to the field widths, never spilling
    EXPECT_EQ(key.getCustomIndex(), 200u & 0x7Fu);
    EXPECT_EQ(key.getCustomLodLevel(), 1u);
    EXPECT_EQ(key.words[0] & ((1u << ShaderKey::kCustomLodShift) - 1), 0u);
    for (int kind = 0; kind < kNumShaderLightKinds; ++kind) {
        key.setLightCount(static_cast<ShaderLightKind>(kind), false, kind + 1);
        key.setLightCount(static_cast<ShaderLightKind>(kind), true, 7 - kind);
    }
    for (int kind = 0; kind < kNumShaderLightKinds; ++kind) {
        EXPECT_EQ(key.getLightCount(static_cast<ShaderLightKind>(kind), false), kind + 1);
        EXPECT_EQ(key.getLightCount(static_cast<ShaderLightKind>(kind), true), 7 - kind);
    }
    EXPECT_EQ(key.words[3] & 3u, 0u);
    ShaderDeviceCaps caps;
    caps.vendor = "NVIDIA";
    caps.vertexVersion = 2;
    std::string text = buildShaderDefineText(key, caps);
    EXPECT_EQ(text.rfind("#define VERTEXSHADER_VERSION 2\n#define FRAGMENTSHADER_VERSION 3\n"
                         "#define VENDOR_NVIDIA\n",
                         0),
              0u);
}

}  // namespace
