#include "render/shader/Shader.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace shaderuniforms {
const char* const kPerFrameNames[kNumPerFrame] = {"In.viewMatrix",
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
                                                  "In.mat.reflectionRefractionCoeffScale"};
const char* const kPerObjectNames[kNumPerObject] = {
    "In.modelMatrix", "In.modelViewMatrix", "In.modelViewProjMatrix", "In.modelCameraPosition",
    "In.lights.ambientColor"};
const char* const kSamplerNames[kNumSamplers] = {
    "In.samplers.baseMap",       "In.samplers.normalMap",     "In.samplers.glossMap",
    "In.samplers.emissiveMap",   "In.samplers.reflectionMap", "In.samplers.refractionMap",
    "In.samplers.depthBlendMap", "In.samplers.depthShadowMap"};
}  // namespace shaderuniforms

namespace {

enum class Quantity { Position, Direction, ConeParams, Matrix, DiffuseColor, SpecularColor };

struct LightName {
    const char* array;  // the member of In.lights
    int kind;           // ShaderLightKind, or -1 for the slot-indexed colours
    Quantity quantity;
};

const LightName kLightNames[] = {
    {"dirLightDirections", 0, Quantity::Direction},
    {"dirLightMvps", 0, Quantity::Matrix},
    {"dirLightPositions", 0, Quantity::Position},
    {"pointLightPositions", 1, Quantity::Position},
    {"pointLightMvps", 1, Quantity::Matrix},
    {"spotLightPositions", 2, Quantity::Position},
    {"spotLightDirections", 2, Quantity::Direction},
    {"spotLightConeParams", 2, Quantity::ConeParams},
    {"spotLightMvps", 2, Quantity::Matrix},
    {"projectivePointLightPositions", 3, Quantity::Position},
    {"projectivePointLightMvps", 3, Quantity::Matrix},
    {"projectiveSpotLightPositions", 4, Quantity::Position},
    {"projectiveSpotLightMvps", 4, Quantity::Matrix},
    {"diffuseColors", -1, Quantity::DiffuseColor},
    {"specularColors", -1, Quantity::SpecularColor},
};

constexpr const char kLightsPrefix[] = "In.lights.";

}  // namespace

Shader::Shader(const ShaderKey& key, shaderinterface::Stage stage,
               std::unique_ptr<IShaderObject> object)
    : m_key(key), m_stage(stage), m_object(std::move(object)) {
    for (int& r : m_perFrame)
        r = -1;
    for (int& r : m_perObject)
        r = -1;
}

Shader::LightSlot* Shader::slotFor(ShaderLightKind kind, int index) {
    for (int i = 0; i < m_numLightSlots; ++i) {
        if (m_lightSlots[i].kind == kind && m_lightSlots[i].index == index) {
            return &m_lightSlots[i];
        }
    }
    if (m_numLightSlots == kMaxLightSlots) {
        return nullptr;
    }
    LightSlot& slot = m_lightSlots[m_numLightSlots++];
    slot = LightSlot();
    slot.kind = kind;
    slot.index = index;
    return &slot;
}

void Shader::replaceWith(Shader&& built) {
    m_stage = built.m_stage;
    m_object = std::move(built.m_object);
    std::copy(std::begin(built.m_perFrame), std::end(built.m_perFrame), std::begin(m_perFrame));
    std::copy(std::begin(built.m_perObject), std::end(built.m_perObject), std::begin(m_perObject));
    std::copy(std::begin(built.m_lightSlots), std::end(built.m_lightSlots),
              std::begin(m_lightSlots));
    m_numLightSlots = built.m_numLightSlots;
    m_shadowDepthBias = built.m_shadowDepthBias;
    m_blendMatrices = built.m_blendMatrices;
    std::copy(std::begin(built.m_samplerUsed), std::end(built.m_samplerUsed),
              std::begin(m_samplerUsed));
    m_customTextureUsed = std::move(built.m_customTextureUsed);
    m_customParameters = std::move(built.m_customParameters);
}

void Shader::bindParameters(const shaderinterface::Reflection& reflection,
                            const std::vector<std::string>* customTextureNames) {
    using namespace shaderuniforms;
    const size_t prefixLength = std::strlen(kLightsPrefix);
    for (const auto& parameter : reflection.parameters) {
        const std::string& name = parameter.name;
        const int reg = parameter.registerIndex;
        bool matched = false;
        for (int i = 0; i < kNumPerFrame && !matched; ++i) {
            if (name == kPerFrameNames[i]) {
                m_perFrame[i] = reg;
                matched = true;
            }
        }
        if (name == "In.blendMatrices[0]") {
            m_blendMatrices = reg;
            continue;
        }
        for (int i = 0; i < kNumPerObject && !matched; ++i) {
            if (name == kPerObjectNames[i]) {
                m_perObject[i] = reg;
                matched = true;
            }
        }
        if (matched || name.compare(0, prefixLength, kLightsPrefix) != 0) {
            continue;
        }
        if (name == "In.lights.shadowDepthBias") {
            m_shadowDepthBias = static_cast<uint16_t>(reg);
            continue;
        }
        // "In.lights.<array>[<i>]" with i in 0..3.
        size_t open = name.find('[', prefixLength);
        if (open == std::string::npos || open + 3 != name.size() || name[open + 2] != ']' ||
            name[open + 1] < '0' || name[open + 1] > '3') {
            continue;
        }
        const int index = name[open + 1] - '0';
        const std::string array = name.substr(prefixLength, open - prefixLength);
        for (const LightName& entry : kLightNames) {
            if (array != entry.array) {
                continue;
            }
            int kind = entry.kind;
            int lightIndex = index;
            if (kind < 0) {
                // Colours are indexed by slot: directional lights first, then
                // point, spot and the projective kinds.
                kind = -1;
                for (int k = 0, first = 0; k < kNumShaderLightKinds; ++k) {
                    int count = m_key.getLightCount(static_cast<ShaderLightKind>(k), false);
                    if (index < first + count) {
                        kind = k;
                        lightIndex = index - first;
                        break;
                    }
                    first += count;
                }
                if (kind < 0) {
                    break;
                }
            }
            LightSlot* slot = slotFor(static_cast<ShaderLightKind>(kind), lightIndex);
            if (slot == nullptr) {
                break;
            }
            switch (entry.quantity) {
                case Quantity::Position:
                    slot->position = reg;
                    break;
                case Quantity::Direction:
                    slot->direction = reg;
                    break;
                case Quantity::ConeParams:
                    slot->coneParams = reg;
                    break;
                case Quantity::Matrix:
                    slot->matrix = reg;
                    break;
                case Quantity::DiffuseColor:
                    slot->diffuseColor = reg;
                    break;
                case Quantity::SpecularColor:
                    slot->specularColor = reg;
                    break;
            }
            break;
        }
    }
    if (customTextureNames) {
        m_customTextureUsed.assign(customTextureNames->size(), false);
    }
    const size_t customPrefixLength = std::strlen(kCustomSamplerPrefix);
    for (const auto& sampler : reflection.samplers) {
        bool matched = false;
        for (int i = 0; i < kNumSamplers; ++i) {
            if (sampler.name == kSamplerNames[i]) {
                m_samplerUsed[i] = true;
                matched = true;
            }
        }
        if (matched || !customTextureNames ||
            sampler.name.compare(0, customPrefixLength, kCustomSamplerPrefix) != 0) {
            continue;
        }
        for (size_t i = 0; i < customTextureNames->size(); ++i) {
            if (sampler.name.compare(customPrefixLength, std::string::npos,
                                     (*customTextureNames)[i]) == 0) {
                m_customTextureUsed[i] = true;
            }
        }
    }
}

void Shader::bindCustomParameters(const shaderinterface::Reflection& reflection,
                                  const std::vector<std::string>& targets) {
    m_customParameters.assign(targets.size(), -1);
    for (size_t i = 0; i < targets.size(); ++i) {
        for (const auto& parameter : reflection.parameters) {
            if (parameter.name == targets[i]) {
                m_customParameters[i] = parameter.registerIndex;
                break;
            }
        }
    }
}
