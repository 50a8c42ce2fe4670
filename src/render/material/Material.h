#pragma once
// Material: the shared object made from one distinct MaterialDesc. It holds
// its textures and custom shader, the values derived from the description
// and, per custom-shader LOD level, the textures and parameter values that
// level uses. Drawing with it (binding units, uploading uniforms) belongs
// to the renderer, which reads what is kept here.

#include <array>
#include <string>
#include <vector>

#include "render/material/CustomShader.h"
#include "scene/MaterialDesc.h"
#include "scene/ShapeMaterial.h"

class Resource;

class Material : public ShapeMaterial, public Entity {
public:
    // A texture reference with its repeat mode.
    struct TextureRef {
        Resource* texture = nullptr;  // one reference held; none when absent
        bool wrap = true;
    };
    struct LodLevelData {
        std::vector<Resource*> textures;  // not owned: entries of the custom textures
        std::vector<std::array<float, 4>> parameterValues;
    };

    explicit Material(const MaterialDesc& desc);
    ~Material() override;

    const char* getClassName() const override { return "Material"; }

    const MaterialDesc& getDesc() const { return m_desc; }

    // Fresnel reflectance at normal incidence ((1 - n) / (1 + n))^2, 0 when
    // 1 + n is 0.
    float getFresnelR0() const { return m_fresnelR0; }
    float getNormalMapScale() const { return 2.0f * m_desc.bumpDepth; }
    float getNormalMapBias() const { return -m_desc.bumpDepth; }

    const TextureRef& getAlbedoMap() const { return m_albedo; }
    const TextureRef& getNormalMap() const { return m_normal; }
    const TextureRef& getGlossMap() const { return m_gloss; }
    const TextureRef& getEmissiveMap() const { return m_emissive; }
    const TextureRef& getEnvironmentMap() const { return m_environment; }
    const std::vector<TextureRef>& getCustomTextures() const { return m_customTextures; }

    // The VertexAttribute bits the material's shaders read (see MaterialDesc).
    uint32_t getVertexAttributes() const { return m_desc.getVertexAttributes(); }

    CustomShader* getCustomShader() const { return m_customShader.get(); }
    const std::vector<LodLevelData>& getLodLevelData() const { return m_levels; }
    // The custom shader's level for the distance, -1 without one.
    int32_t getLodLevel(float distance) const;

    // Current values of the custom parameters (as described, then as set).
    const std::vector<MaterialCustomParameterDesc>& getCustomParameters() const {
        return m_parameters;
    }
    // Sets the named custom parameter and its value in every LOD level that
    // lists it; false when the material has no parameter of that name.
    bool setCustomParameter(const std::string& parameterName,
                            const std::array<float, 4>& value) override;

private:
    TextureRef acquire(const MaterialMapDesc& map);
    void buildLodLevels();

    MaterialDesc m_desc;
    float m_fresnelR0 = 0.0f;
    TextureRef m_albedo;
    TextureRef m_normal;
    TextureRef m_gloss;
    TextureRef m_emissive;
    TextureRef m_environment;
    std::vector<TextureRef> m_customTextures;
    std::vector<MaterialCustomParameterDesc> m_parameters;
    RefPtr<CustomShader> m_customShader;
    std::vector<LodLevelData> m_levels;
};

namespace MaterialLibrary {
// The live material whose description equals `desc` (names aside), else a new one; the
// returned pointer holds one more use.
RefPtr<Material> get(const MaterialDesc& desc);
// Materials alive now.
size_t count();
}  // namespace MaterialLibrary
