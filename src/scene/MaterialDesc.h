#pragma once
// MaterialDesc: the plain description of a material as a scene file gives
// it. The scene file loader fills it and hands it to the materials handler
// (I3DMaterialHandler); the renderer makes one shared material per distinct
// description.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One texture map of a description: the resolved file path and whether the
// texture repeats (false: clamp in s, t and r). An empty path means no map.
struct MaterialMapDesc {
    std::string file;
    bool wrap = true;

    bool isSet() const { return !file.empty(); }
    bool operator==(const MaterialMapDesc&) const = default;
};

struct MaterialCustomTextureDesc {
    std::string name;
    MaterialMapDesc map;

    bool operator==(const MaterialCustomTextureDesc&) const = default;
};

struct MaterialCustomParameterDesc {
    std::string name;
    std::array<float, 4> value{0, 0, 0, 0};

    bool operator==(const MaterialCustomParameterDesc&) const = default;
};

struct MaterialDesc {
    // Limits of the custom textures and parameters of one material.
    static constexpr size_t kMaxCustomTextures = 6;
    static constexpr size_t kMaxCustomParameters = 10;
    // A custom texture or parameter name must be shorter than this.
    static constexpr size_t kMaxCustomNameLength = 64;

    std::string name = "Unknown";
    // Kept with the description; the renderer gives it no meaning yet.
    int32_t reserved = 1;

    std::array<float, 4> diffuseColor{1, 1, 1, 1};
    std::array<float, 3> emissiveColor{0, 0, 0};
    std::array<float, 3> ambientColor{1, 1, 1};
    std::array<float, 3> specularColor{0, 0, 0};
    float cosPower = 20.0f;
    float emissiveCoeff = 1.0f;

    MaterialMapDesc albedoMap;
    MaterialMapDesc normalMap;
    MaterialMapDesc glossMap;
    MaterialMapDesc emissiveMap;
    MaterialMapDesc environmentMap;

    bool reflectionMap = false;
    int32_t reflectionResolution = 256;
    bool reflectionCube = false;
    uint32_t reflectionObjectMask = 0xFFFFFFFFu;
    float refractiveIndex = 1.0f;
    float reflectionBumpScale = 0.5f;

    bool refractionMap = false;
    float refractionCoeff = 1.0f;
    float refractionBumpScale = 0.5f;

    bool depthBlendMap = false;
    int32_t depthBlendResolution = 512;
    std::array<float, 3> blendDistances{0.5f, 0.5f, 0.5f};

    // The file's bump depth times 0.035.
    float bumpDepth = 0.035f;
    float depthBias = 0.005f;
    float opacity = 1.0f;
    bool allowVolumeFog = false;
    bool allowFog = true;
    bool alphaBlending = false;
    // Alpha testing: pixels whose albedo alpha lies below the cutoff are
    // dropped and the rest drawn opaque, with depth writes (0: no alpha
    // test; blending wins over it).
    float alphaTestCutoff = 0.0f;

    // Resolved path of the custom shader file, empty for none.
    std::string customShader;
    std::vector<MaterialCustomTextureDesc> customTextures;
    std::vector<MaterialCustomParameterDesc> customParameters;

    bool operator==(const MaterialDesc&) const = default;

    // The VertexAttribute bits a material of this description reads from a
    // geometry: normals always, texture coordinates 0 with any texture map,
    // set 1 with an emissive (light) map.
    uint32_t getVertexAttributes() const;

    // Add a custom texture or parameter within the limits; a refused one is
    // logged ("Error: too many custom textures! ...", "Error: too long custom
    // texture name '...'! ...", and the same for parameters) and false
    // returned.
    bool addCustomTexture(const std::string& textureName, const MaterialMapDesc& map);
    bool addCustomParameter(const std::string& parameterName, const std::array<float, 4>& value);
};
