#pragma once
// The material of a terrain patch and the shader code behind it.
//
// Terrain surfaces are drawn with generated custom shader code: for L
// selected detail layers (0..4), with or without the LOD colour map, one
// custom shader made by TerrainShaderCode and registered with the custom
// shader registry, so the shader builder injects it like any custom shader.
// A patch has three variants by camera distance: near (detail layers only),
// blend (detail layers fading into the LOD colour map) and far (the LOD
// colour map only). Each variant is one TerrainMaterial; the patch's shape
// holds all three and the patch says which one draws.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/material/CustomShader.h"
#include "render/material/Material.h"

class Resource;

struct TerrainMaterialDesc : public MaterialDesc {
    static constexpr int kMaxLayers = 4;

    // Not owned: the materials made from the description take their own
    // references.
    std::array<Resource*, kMaxLayers> layerTextures{};
    std::array<float, kMaxLayers> layerRepeats{64.0f, 64.0f, 64.0f, 64.0f};
    std::array<float, kMaxLayers> layerPlanes{};
    Resource* weightsTexture = nullptr;
    Resource* lodColorTexture = nullptr;
    // Custom shader indices of the near, blend and far variants (0: none).
    int32_t nearCode = 0;
    int32_t blendCode = 0;
    int32_t farCode = 0;
    float lodBlendStart = 100.0f;
    float lodBlendEnd = 220.0f;
    float worldSize = 512.0f;
};

class TerrainMaterial : public Material {
public:
    enum Variant { Near = 0, Blend = 1, Far = 2 };

    // The material of one variant of the description.
    TerrainMaterial(const TerrainMaterialDesc& desc, int variant);
    ~TerrainMaterial() override;

    const char* getClassName() const override { return "TerrainMaterial"; }

    // The variant for a camera distance, with r the radius of the patch:
    // near while the whole patch is closer than lodBlendStart, far once it
    // is entirely beyond lodBlendEnd, blend in between.
    static int variantForDistance(float distance, float radius, float lodBlendStart,
                                  float lodBlendEnd);
    int getVariant() const { return m_variant; }
    // The custom shader index of a variant.
    int32_t getCustomCodeIndex(int variant) const;
    const TerrainMaterialDesc& getTerrainDesc() const { return m_terrainDesc; }
    float getHalfWorldSize() const { return m_halfWorldSize; }
    float getInverseWorldSize() const { return m_inverseWorldSize; }

    // Names of the custom textures and parameters the terrain shader code
    // reads.
    static std::string layerMapName(int layer);
    static const char* const kWeightsMapName;
    static const char* const kLodMapName;
    static const char* const kLayerRepeatName;
    static const char* const kLayerPlanesName;
    static const char* const kLodBlendInfoName;

private:
    TerrainMaterialDesc m_terrainDesc;
    int m_variant;
    float m_halfWorldSize;
    float m_inverseWorldSize;
};

namespace TerrainShaderCode {

// The custom shader index of the terrain code for `layerCount` layers (0..4,
// clamped), with or without the LOD colour map; (0, without) is 0. Made and
// registered on first use and kept for the rest of the run; the vertex
// lighting switch is read then. 0 when the registry is full (logged).
int32_t getIndex(int layerCount, bool withLodMap);

// The code injections of one combination, in the order the builder applies
// them.
std::vector<CustomShader::CodeInjection> makeInjections(int layerCount, bool withLodMap,
                                                        bool vertexLighting);

}  // namespace TerrainShaderCode
