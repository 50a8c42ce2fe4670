#pragma once
// The shader key: four 32-bit words that say which generated program pair a
// drawable needs, and the "#define" text each key puts in front of the
// shared shader sources.
//
// Word 0 (the material's word): feature bits, the custom shader LOD level
// and the custom shader index. Word 1: a further material word, part of the
// identity only. Word 2: shape flags, fog modes and depth blend rendering.
// Word 3: the light configuration.

#include <cstdint>
#include <functional>
#include <string>

enum class ShaderLightKind : int {
    Directional = 0,
    Point = 1,
    Spot = 2,
    ProjectivePoint = 3,
    ProjectiveSpot = 4,
};
constexpr int kNumShaderLightKinds = 5;

struct ShaderKey {
    // Word 0.
    static constexpr uint32_t kAlphaBlended = 1u << 0;
    static constexpr uint32_t kAlphaTested = 1u << 1;
    static constexpr uint32_t kAlbedoMap = 1u << 2;
    static constexpr uint32_t kNormalMap = 1u << 3;
    static constexpr uint32_t kParallaxMap = 1u << 4;
    static constexpr uint32_t kGlossMap = 1u << 5;
    static constexpr uint32_t kEmissiveMap = 1u << 6;
    static constexpr uint32_t kReflectionMap2D = 1u << 7;
    static constexpr uint32_t kReflectionMapCube = 1u << 8;
    static constexpr uint32_t kRefractionMap = 1u << 9;
    static constexpr uint32_t kDepthBlendMap = 1u << 10;
    static constexpr uint32_t kVolumeFog = 1u << 11;
    static constexpr uint32_t kFog = 1u << 12;
    static constexpr uint32_t kAmbient = 1u << 13;
    static constexpr uint32_t kDiffuse = 1u << 14;
    static constexpr uint32_t kSpecular = 1u << 15;
    static constexpr uint32_t kDepthVis = 1u << 16;
    static constexpr uint32_t kProjDepthVis = 1u << 17;
    static constexpr int kCustomLodShift = 18;    // 4 bits
    static constexpr int kCustomIndexShift = 22;  // 7 bits

    // Word 2.
    static constexpr uint32_t kLightMap = 1u << 0;
    static constexpr uint32_t kSkinning = 1u << 1;
    static constexpr uint32_t kVertexColor = 1u << 2;
    static constexpr int kFogModeShift = 5;        // 2 bits
    static constexpr int kVolumeFogModeShift = 7;  // 2 bits
    static constexpr uint32_t kDepthBlendMapRendering = 1u << 9;
    // The model matrix comes from per-instance vertex attributes, so one
    // draw call shows many shapes.
    static constexpr uint32_t kInstancing = 1u << 10;

    // Word 3: from the top, 3 bits per light kind, then 3 bits per kind of
    // specular-only lights, then the depth shadow map bit.
    static constexpr uint32_t kDepthShadowMap = 1u << 1;

    uint32_t words[4] = {0, 0, 0, 0};

    uint32_t getCustomLodLevel() const { return (words[0] >> kCustomLodShift) & 0xFu; }
    uint32_t getCustomIndex() const { return (words[0] >> kCustomIndexShift) & 0x7Fu; }
    // Out-of-range values are masked to the field width.
    void setCustom(uint32_t index, uint32_t lodLevel);
    uint32_t getFogMode() const { return (words[2] >> kFogModeShift) & 3u; }
    uint32_t getVolumeFogMode() const { return (words[2] >> kVolumeFogModeShift) & 3u; }
    void setFogModes(uint32_t fogMode, uint32_t volumeFogMode);

    // Light counts 0..7 (masked).
    int getLightCount(ShaderLightKind kind, bool specularOnly) const;
    void setLightCount(ShaderLightKind kind, bool specularOnly, int count);

    bool has(int word, uint32_t bit) const { return (words[word] & bit) != 0; }

    bool operator==(const ShaderKey& other) const {
        return words[0] == other.words[0] && words[1] == other.words[1] &&
               words[2] == other.words[2] && words[3] == other.words[3];
    }
    bool operator!=(const ShaderKey& other) const { return !(*this == other); }
};

struct ShaderKeyHash {
    size_t operator()(const ShaderKey& key) const {
        uint64_t a = (uint64_t(key.words[0]) << 32) | key.words[1];
        uint64_t b = (uint64_t(key.words[2]) << 32) | key.words[3];
        return std::hash<uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};

// What the define text takes from the device.
struct ShaderDeviceCaps {
    int vertexVersion = 3;
    int fragmentVersion = 3;
    int vertexMaxLocalParameters = 256;
    int fragmentMaxLocalParameters = 256;
    // "ATI", "NVIDIA" or anything else.
    std::string vendor;
    // Shadow maps as colour textures instead of depth textures.
    bool useColorShadowMaps = false;
};

// The feature define lines of a key, each ending with a line break.
std::string buildShaderDefineText(const ShaderKey& key, const ShaderDeviceCaps& caps);
