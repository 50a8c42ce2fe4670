#pragma once
// One built stage of a generated program: its key, the device shader object
// and where the uniforms the engine fills live in its registers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/device/IGpuResources.h"
#include "foundation/Entity.h"
#include "render/shader/ShaderKey.h"
#include "shaderlang/compiler/ShaderInterface.h"

namespace shaderuniforms {
// Per-frame uniforms, ids 0..19, then per-object uniforms, ids 20..24.
constexpr int kNumPerFrame = 20;
constexpr int kNumPerObject = 5;
extern const char* const kPerFrameNames[kNumPerFrame];
extern const char* const kPerObjectNames[kNumPerObject];
enum PerFrame {
    ViewMatrix,
    InvViewMatrix,
    ProjMatrix,
    ViewProjMatrix,
    CameraPosition,
    Time,
    Time01,
    TimeCos01,
    TimeSin01,
    TimeTan01,
    ViewportWidth,
    ViewportHeight,
    VolumeFogParams,
    VolumeFogColor,
    FogParams,
    FogColor,
    DepthBlendMapRenderingInfo,
    MatCosPowerEmissive,
    MatDepthBiasOpacity,
    MatReflectionRefraction,
};
enum PerObject {
    ModelMatrix,
    ModelViewMatrix,
    ModelViewProjMatrix,
    ModelCameraPosition,
    AmbientColor
};
// The standard samplers, in the order their texture units are assigned.
constexpr int kNumSamplers = 8;
extern const char* const kSamplerNames[kNumSamplers];
enum Sampler {
    BaseMap,
    NormalMap,
    GlossMap,
    EmissiveMap,
    ReflectionMap,
    RefractionMap,
    DepthBlendMap,
    DepthShadowMap
};
constexpr const char* kCustomSamplerPrefix = "In.samplers.";
}  // namespace shaderuniforms

class Shader : public RefCounted {
public:
    static constexpr int kMaxLightSlots = 4;
    static constexpr uint16_t kNoRegister = 0xFFFF;

    // The registers of one light's quantities; -1 where the stage does not
    // read that quantity.
    struct LightSlot {
        ShaderLightKind kind = ShaderLightKind::Directional;
        int index = 0;
        int position = -1;
        int direction = -1;
        int coneParams = -1;
        int matrix = -1;
        int diffuseColor = -1;
        int specularColor = -1;
    };

    Shader(const ShaderKey& key, shaderinterface::Stage stage,
           std::unique_ptr<IShaderObject> object);

    // Takes over a stage rebuilt for the same key (hot reload): its device
    // object and bindings replace this one's, so that every holder of this
    // shader draws with the new program.
    void replaceWith(Shader&& built);

    // Matches the reflection's names against the engine's uniform tables.
    // The key's light counts map colour slots to light kinds.
    void bindParameters(const shaderinterface::Reflection& reflection,
                        const std::vector<std::string>* customTextureNames);

    // Finds the registers of a custom shader level's parameter targets, so
    // that drawing sets them without looking names up.
    void bindCustomParameters(const shaderinterface::Reflection& reflection,
                              const std::vector<std::string>& targets);
    // -1 when the stage does not declare the i-th target.
    int getCustomParameterRegister(size_t i) const {
        return i < m_customParameters.size() ? m_customParameters[i] : -1;
    }

    const ShaderKey& getKey() const { return m_key; }
    shaderinterface::Stage getStage() const { return m_stage; }
    IShaderObject* getObject() const { return m_object.get(); }
    // -1 when the stage does not declare it.
    int getPerFrameRegister(int id) const { return m_perFrame[id]; }
    int getPerObjectRegister(int id) const { return m_perObject[id]; }
    int getNumLightSlots() const { return m_numLightSlots; }
    const LightSlot& getLightSlot(int slot) const { return m_lightSlots[slot]; }
    uint16_t getShadowDepthBiasRegister() const { return m_shadowDepthBias; }
    // The first register of the skinning palette ("In.blendMatrices"), three
    // per bone; -1 when the stage does not declare it.
    int getBlendMatricesRegister() const { return m_blendMatrices; }
    bool usesSampler(int sampler) const { return m_samplerUsed[sampler]; }
    // Whether the stage samples the i-th of the custom texture names it
    // was built with.
    bool usesCustomTexture(size_t i) const {
        return i < m_customTextureUsed.size() && m_customTextureUsed[i];
    }

private:
    LightSlot* slotFor(ShaderLightKind kind, int index);

    ShaderKey m_key;
    shaderinterface::Stage m_stage;
    std::unique_ptr<IShaderObject> m_object;
    int m_perFrame[shaderuniforms::kNumPerFrame];
    int m_perObject[shaderuniforms::kNumPerObject];
    LightSlot m_lightSlots[kMaxLightSlots];
    int m_numLightSlots = 0;
    uint16_t m_shadowDepthBias = kNoRegister;
    int m_blendMatrices = -1;
    bool m_samplerUsed[shaderuniforms::kNumSamplers] = {};
    std::vector<bool> m_customTextureUsed;
    std::vector<int> m_customParameters;
};
