#include "terrain/TerrainMaterial.h"

#include <algorithm>

#include "foundation/Resource.h"
#include "terrain/TerrainSettings.h"

const char* const TerrainMaterial::kWeightsMapName = "weightsMap";
const char* const TerrainMaterial::kLodMapName = "lodMap";
const char* const TerrainMaterial::kLayerRepeatName = "terrainLayerRepeat";
const char* const TerrainMaterial::kLayerPlanesName = "terrainLayerPlanes";
const char* const TerrainMaterial::kLodBlendInfoName = "terrainLodBlendInfosWorldOffsetInvScale";

namespace {

int32_t codeFor(const TerrainMaterialDesc& desc, int variant) {
    switch (variant) {
        case TerrainMaterial::Near:
            return desc.nearCode;
        case TerrainMaterial::Blend:
            return desc.blendCode;
        default:
            return desc.farCode;
    }
}

// The plain material description of one variant: the variant's custom
// shader, and as custom textures and parameters what its code reads.
MaterialDesc variantDesc(const TerrainMaterialDesc& desc, int variant) {
    MaterialDesc result = static_cast<const MaterialDesc&>(desc);
    result.customTextures.clear();
    result.customParameters.clear();
    const int32_t code = codeFor(desc, variant);
    CustomShader* shader = CustomShaderRegistry::getShader(code);
    result.customShader = shader != nullptr ? shader->getFileName() : std::string();
    auto addTexture = [&result](const std::string& name, Resource* texture) {
        if (texture != nullptr) {
            result.addCustomTexture(name, MaterialMapDesc{texture->getName(), true});
        }
    };
    if (variant != TerrainMaterial::Far) {
        for (int k = 0; k < TerrainMaterialDesc::kMaxLayers; ++k) {
            addTexture(TerrainMaterial::layerMapName(k), desc.layerTextures[size_t(k)]);
        }
        addTexture(TerrainMaterial::kWeightsMapName, desc.weightsTexture);
        result.addCustomParameter(TerrainMaterial::kLayerRepeatName,
                                  {desc.layerRepeats[0], desc.layerRepeats[1], desc.layerRepeats[2],
                                   desc.layerRepeats[3]});
        result.addCustomParameter(
            TerrainMaterial::kLayerPlanesName,
            {desc.layerPlanes[0], desc.layerPlanes[1], desc.layerPlanes[2], desc.layerPlanes[3]});
    }
    if (variant != TerrainMaterial::Near || desc.nearCode == desc.farCode) {
        addTexture(TerrainMaterial::kLodMapName, desc.lodColorTexture);
    }
    const float inverseSize = desc.worldSize > 0.0f ? 1.0f / desc.worldSize : 0.0f;
    result.addCustomParameter(
        TerrainMaterial::kLodBlendInfoName,
        {desc.lodBlendStart, desc.lodBlendEnd, desc.worldSize * 0.5f, inverseSize});
    return result;
}

}  // namespace

TerrainMaterial::TerrainMaterial(const TerrainMaterialDesc& desc, int variant)
    : Material(variantDesc(desc, variant)),
      m_terrainDesc(desc),
      m_variant(std::clamp(variant, 0, 2)),
      m_halfWorldSize(desc.worldSize * 0.5f),
      m_inverseWorldSize(desc.worldSize > 0.0f ? 1.0f / desc.worldSize : 0.0f) {}

TerrainMaterial::~TerrainMaterial() = default;

int TerrainMaterial::variantForDistance(float distance, float radius, float lodBlendStart,
                                        float lodBlendEnd) {
    if (lodBlendStart - radius > distance) {
        return Near;
    }
    if (lodBlendEnd + radius < distance) {
        return Far;
    }
    return Blend;
}

int32_t TerrainMaterial::getCustomCodeIndex(int variant) const {
    return codeFor(m_terrainDesc, variant);
}

std::string TerrainMaterial::layerMapName(int layer) {
    return "layer" + std::to_string(layer) + "Map";
}

namespace TerrainShaderCode {

std::vector<CustomShader::CodeInjection> makeInjections(int layerCount, bool withLodMap,
                                                        bool vertexLighting) {
    const int layers = std::clamp(layerCount, 0, TerrainMaterialDesc::kMaxLayers);
    std::vector<std::string> ids;
    for (int i = 0; i < layers; ++i) {
        ids.push_back(std::to_string(i));
    }

    std::string texCoords;
    for (const std::string& i : ids) {
        texCoords += "#defeval TERRAINLAYER" + i + "_TEXCOORD NEXT_TEXCOORD\n";
    }
    if (layers > 0) {
        texCoords += "#defeval TERRAINBLENDWEIGHTS_TEXCOORD NEXT_TEXCOORD\n";
    }
    if (vertexLighting) {
        texCoords += "#defeval VERTEXLIGHTING_TEXCOORD NEXT_I_TEXCOORD(NUM_DIRECTIONAL_LIGHTS)\n";
    }

    const std::string vsInput =
        "uniform float4 terrainLayerRepeat;\n"
        "uniform float4 terrainLayerPlanes;\n"
        "uniform float4 terrainLodBlendInfosWorldOffsetInvScale;\n";

    std::string setTexCoords =
        "float3 albedoTexCoords = (float3(position.xz, "
        "In.normal.w)+In.terrainLodBlendInfosWorldOffsetInvScale.z)*In."
        "terrainLodBlendInfosWorldOffsetInvScale.w;\n"
        "setTexCoords(Out.texCoords[ALBEDOMAP_TEXCOORD/2], ALBEDOMAP_TEXCOORD, "
        "albedoTexCoords.xy);\n";
    for (const std::string& i : ids) {
        setTexCoords += "setTexCoords(Out.texCoords[TERRAINLAYER" + i +
                        "_TEXCOORD/2], TERRAINLAYER" + i +
                        "_TEXCOORD, albedoTexCoords.xy*In.terrainLayerRepeat[" + i + "]);\n";
    }
    if (layers > 0) {
        setTexCoords +=
            "float2 blendWeightTexCoord = getTexCoords(In, ALBEDOMAP_INPUT_TEXCOORD)/32767.0;\n"
            "setTexCoords(Out.texCoords[TERRAINBLENDWEIGHTS_TEXCOORD/2], "
            "TERRAINBLENDWEIGHTS_TEXCOORD, blendWeightTexCoord);\n";
    }
    if (vertexLighting) {
        setTexCoords +=
            "#if (NUM_DIRECTIONAL_LIGHTS > 0)\n"
            "for (int i=0; i < NUM_DIRECTIONAL_LIGHTS; i++) {\n"
            "    float3 lightDir = normalize(-In.lights.dirLightDirections[i].xyz);\n"
            "    float lighting = saturate(dot(lightDir, worldNormal));\n"
            "    setTexCoords(Out.texCoords[(VERTEXLIGHTING_TEXCOORD+i)/2], "
            "(VERTEXLIGHTING_TEXCOORD+i), lighting);\n"
            "}\n"
            "#endif\n";
    }

    std::string vsEnd;
    if (layers > 0 && withLodMap) {
        vsEnd =
            "Out.terrainLodMapWeight = "
            "saturate((length(viewDir)-In.terrainLodBlendInfosWorldOffsetInvScale.x)/"
            "(In.terrainLodBlendInfosWorldOffsetInvScale.y-In."
            "terrainLodBlendInfosWorldOffsetInvScale.x));";
    }

    std::string samplers;
    for (const std::string& i : ids) {
        samplers += "uniform sampler2D   layer" + i + "Map    : TEXUNITN;\n";
    }
    if (layers > 0) {
        samplers += "uniform sampler2D   weightsMap   : TEXUNITN;\n";
    }
    if (withLodMap) {
        samplers += "uniform sampler2D   lodMap       : TEXUNITN;\n";
    }

    std::string albedo;
    if (layers > 0) {
        albedo =
            "float4 terrainBlendWeights = tex2D(In.samplers.weightsMap, getTexCoords(In, "
            "globals, TERRAINBLENDWEIGHTS_TEXCOORD).xy);\n"
            "float3 layersColor = float3(0, 0, 0);\n";
        for (const std::string& i : ids) {
            albedo += "layersColor += tex2D(In.samplers.layer" + i +
                      "Map, getTexCoords(In, globals, TERRAINLAYER" + i +
                      "_TEXCOORD).xy).xyz * terrainBlendWeights[" + i + "];\n";
        }
    }
    if (withLodMap && layers > 0) {
        albedo +=
            "albedo.xyz = lerp(layersColor, tex2D(In.samplers.lodMap, getTexCoords(In, globals, "
            "ALBEDOMAP_TEXCOORD)).xyz, In.vs.terrainLodMapWeight);\n";
    } else if (withLodMap) {
        albedo +=
            "albedo.xyz = tex2D(In.samplers.lodMap, getTexCoords(In, globals, "
            "ALBEDOMAP_TEXCOORD)).xyz;\n";
    } else {
        albedo += "albedo.xyz = layersColor;\n";
    }

    std::string diffuse;
    if (vertexLighting) {
        diffuse =
            "return (lightColor.xyz*getTexCoords(In, globals, "
            "(VERTEXLIGHTING_TEXCOORD+dirLightI)).x);\n";
    }

    return {
        {"NUM_TEXCOORDS", texCoords},
        {"VS_INPUT", vsInput},
        {"VS_OUTPUT", "float terrainLodMapWeight;"},
        {"POST_SET_TEXCOORDS_VS", setTexCoords},
        {"VS_END", vsEnd},
        {"SAMPLERS", samplers},
        {"POST_ALBEDO_FS", albedo},
        {"DIFFUSE_LIGHTING_DIR_FS", diffuse},
        {"HAS_TEXTURES", "#define _HAS_TEXTURES"},
    };
}

int32_t getIndex(int layerCount, bool withLodMap) {
    const int layers = std::clamp(layerCount, 0, TerrainMaterialDesc::kMaxLayers);
    if (layers == 0 && !withLodMap) {
        return 0;
    }
    // Made once and kept for the rest of the run: never destroyed, so the
    // registry entries stay valid while the process ends.
    static auto* shaders = new std::array<CustomShader*, 10>{};
    CustomShader*& shader = (*shaders)[size_t(layers * 2 + (withLodMap ? 1 : 0))];
    if (shader == nullptr) {
        const bool vertexLighting = TerrainSettings::getVertexLighting();
        CustomShader::LodLevel level;
        for (int i = 0; i < layers; ++i) {
            level.textureNames.push_back(TerrainMaterial::layerMapName(i));
        }
        if (layers > 0) {
            level.textureNames.emplace_back(TerrainMaterial::kWeightsMapName);
            level.parameters.push_back(
                {TerrainMaterial::kLayerRepeatName, "In.terrainLayerRepeat"});
            level.parameters.push_back(
                {TerrainMaterial::kLayerPlanesName, "In.terrainLayerPlanes"});
        }
        if (withLodMap) {
            level.textureNames.emplace_back(TerrainMaterial::kLodMapName);
        }
        level.parameters.push_back(
            {TerrainMaterial::kLodBlendInfoName, "In.terrainLodBlendInfosWorldOffsetInvScale"});
        level.codeInjections = makeInjections(layers, withLodMap, vertexLighting);
        const std::string name = "<terrain code: " + std::to_string(layers) + " layers" +
                                 (withLodMap ? ", LOD map" : "") +
                                 (vertexLighting ? ", vertex lighting" : "") + ">";
        std::vector<CustomShader::LodLevel> levels;
        levels.push_back(std::move(level));
        RefPtr<CustomShader> created = CustomShaderLibrary::create(name, std::move(levels));
        created->addRef();
        shader = created.get();
    }
    return shader->getIndex();
}

}  // namespace TerrainShaderCode
