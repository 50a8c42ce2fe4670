#include "render/shader/ShaderKey.h"

namespace {

int lightShift(ShaderLightKind kind, bool specularOnly) {
    return 29 - 3 * (static_cast<int>(kind) + (specularOnly ? kNumShaderLightKinds : 0));
}

const char* const kLightDefineNames[kNumShaderLightKinds] = {
    "NUM_DIRECTIONAL_LIGHTS", "NUM_POINT_LIGHTS", "NUM_SPOT_LIGHTS", "NUM_PROJECTIVE_POINT_LIGHTS",
    "NUM_PROJECTIVE_SPOT_LIGHTS"};

}  // namespace

void ShaderKey::setCustom(uint32_t index, uint32_t lodLevel) {
    words[0] &= ~((0x7Fu << kCustomIndexShift) | (0xFu << kCustomLodShift));
    words[0] |= ((index & 0x7Fu) << kCustomIndexShift) | ((lodLevel & 0xFu) << kCustomLodShift);
}

void ShaderKey::setFogModes(uint32_t fogMode, uint32_t volumeFogMode) {
    words[2] &= ~((3u << kFogModeShift) | (3u << kVolumeFogModeShift));
    words[2] |= ((fogMode & 3u) << kFogModeShift) | ((volumeFogMode & 3u) << kVolumeFogModeShift);
}

int ShaderKey::getLightCount(ShaderLightKind kind, bool specularOnly) const {
    return static_cast<int>((words[3] >> lightShift(kind, specularOnly)) & 7u);
}

void ShaderKey::setLightCount(ShaderLightKind kind, bool specularOnly, int count) {
    int shift = lightShift(kind, specularOnly);
    words[3] &= ~(7u << shift);
    words[3] |= (static_cast<uint32_t>(count) & 7u) << shift;
}

std::string buildShaderDefineText(const ShaderKey& key, const ShaderDeviceCaps& caps) {
    std::string text;
    text.reserve(1024);
    auto line = [&text](const char* name) {
        text += "#define ";
        text += name;
        text += '\n';
    };
    auto valueLine = [&text](const char* name, long value) {
        text += "#define ";
        text += name;
        text += ' ';
        text += std::to_string(value);
        text += '\n';
    };
    const uint32_t w0 = key.words[0];
    const uint32_t w2 = key.words[2];
    valueLine("VERTEXSHADER_VERSION", caps.vertexVersion);
    valueLine("FRAGMENTSHADER_VERSION", caps.fragmentVersion);
    if (caps.vendor == "ATI") {
        line("VENDOR_ATI");
    } else if (caps.vendor == "NVIDIA") {
        line("VENDOR_NVIDIA");
    } else {
        line("VENDOR_UNKNOWN");
    }
    for (int kind = 0; kind < kNumShaderLightKinds; ++kind) {
        std::string name = kLightDefineNames[kind];
        valueLine(name.c_str(), key.getLightCount(static_cast<ShaderLightKind>(kind), false));
        valueLine((name + "_SPECULAR_ONLY").c_str(),
                  key.getLightCount(static_cast<ShaderLightKind>(kind), true));
    }
    line("PERPIXEL");
    if (w0 & ShaderKey::kAmbient)
        line("AMBIENT");
    if (w0 & ShaderKey::kDiffuse)
        line("DIFFUSE");
    if (w0 & ShaderKey::kSpecular)
        line("SPECULAR");
    // Blending wins over testing, a 2D reflection over a cube one: the
    // shared sources handle one of each.
    if (w0 & ShaderKey::kAlphaBlended) {
        line("ALPHA_BLENDED");
    } else if (w0 & ShaderKey::kAlphaTested) {
        line("ALPHA_TESTED");
    }
    if (w0 & ShaderKey::kAlbedoMap)
        line("ALBEDO_MAP");
    if (w0 & ShaderKey::kNormalMap)
        line("NORMAL_MAP");
    if (w0 & ShaderKey::kParallaxMap)
        line("PARALLAX_MAP");
    if (w0 & ShaderKey::kGlossMap)
        line("GLOSS_MAP");
    if (key.words[3] & ShaderKey::kDepthShadowMap)
        line("DEPTH_SHADOW_MAP");
    if (w0 & ShaderKey::kEmissiveMap)
        line("EMISSIVE_MAP");
    if (w0 & ShaderKey::kReflectionMap2D) {
        line("REFLECTION_MAP_2D");
    } else if (w0 & ShaderKey::kReflectionMapCube) {
        line("REFLECTION_MAP_CUBE");
    }
    if (w0 & ShaderKey::kRefractionMap)
        line("REFRACTION_MAP");
    if (w0 & ShaderKey::kDepthBlendMap)
        line("DEPTH_BLEND_MAP");
    if (w2 & ShaderKey::kLightMap)
        line("LIGHT_MAP");
    if (w2 & ShaderKey::kVertexColor)
        line("VERTEX_COLOR");
    if (caps.useColorShadowMaps)
        line("USE_COLOR_SHADOW_MAPS");
    if (w0 & ShaderKey::kDepthVis) {
        line("DEPTH_VIS");
        if (w0 & ShaderKey::kProjDepthVis)
            line("PROJ_DEPTH_VIS");
    }
    if (w2 & ShaderKey::kSkinning) {
        line("SKINNING");
        line("NUM_BONES 40");
    } else {
        line("NUM_BONES 2");
    }
    valueLine("FOG_MODE", (w0 & ShaderKey::kFog) ? key.getFogMode() : 0);
    valueLine("VOLUME_FOG_MODE", (w0 & ShaderKey::kVolumeFog) ? key.getVolumeFogMode() : 0);
    if (w2 & ShaderKey::kDepthBlendMapRendering)
        line("DEPTH_BLEND_MAP_RENDERING");
    if (w2 & ShaderKey::kInstancing)
        line("INSTANCING");
    return text;
}
