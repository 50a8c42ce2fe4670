#include "render/material/Material.h"

#include <algorithm>

#include "foundation/ResourceManager.h"
#include "scene/Geometry.h"

namespace {

// The live materials, for sharing equal descriptions. Not owning: each
// material leaves the list when its last use goes.
std::vector<Material*>& liveMaterials() {
    static std::vector<Material*> materials;
    return materials;
}

}  // namespace

Material::Material(const MaterialDesc& desc) : Entity(desc.name, true), m_desc(desc) {
    const float n = desc.refractiveIndex;
    if (1.0f + n != 0.0f) {
        const float r = (1.0f - n) / (1.0f + n);
        m_fresnelR0 = r * r;
    }
    m_albedo = acquire(desc.albedoMap);
    m_normal = acquire(desc.normalMap);
    m_gloss = acquire(desc.glossMap);
    m_emissive = acquire(desc.emissiveMap);
    m_environment = acquire(desc.environmentMap);
    for (const MaterialCustomTextureDesc& custom : desc.customTextures) {
        m_customTextures.push_back(acquire(custom.map));
    }
    m_parameters = desc.customParameters;
    if (!desc.customShader.empty()) {
        m_customShader = CustomShaderLibrary::get(desc.customShader);
    }
    buildLodLevels();
    liveMaterials().push_back(this);
}

Material::~Material() {
    auto& live = liveMaterials();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    ResourceManager& resources = ResourceManager::instance();
    for (TextureRef* ref : {&m_albedo, &m_normal, &m_gloss, &m_emissive, &m_environment}) {
        resources.release(ref->texture);
    }
    for (TextureRef& ref : m_customTextures) {
        resources.release(ref.texture);
    }
}

Material::TextureRef Material::acquire(const MaterialMapDesc& map) {
    TextureRef ref;
    ref.wrap = map.wrap;
    if (map.isSet()) {
        ref.texture = ResourceManager::instance().get(map.file, ResourceType::Texture);
    }
    return ref;
}

// Each level lists its textures and parameters by name; they are matched
// among the material's own custom textures (none where no name matches) and
// parameters (zero where none matches).
void Material::buildLodLevels() {
    m_levels.clear();
    if (!m_customShader) {
        return;
    }
    for (const CustomShader::LodLevel& level : m_customShader->getLodLevels()) {
        LodLevelData data;
        for (const std::string& name : level.textureNames) {
            Resource* texture = nullptr;
            for (size_t i = 0; i < m_desc.customTextures.size(); ++i) {
                if (m_desc.customTextures[i].name == name) {
                    texture = m_customTextures[i].texture;
                    break;
                }
            }
            data.textures.push_back(texture);
        }
        for (const CustomShader::Parameter& parameter : level.parameters) {
            std::array<float, 4> value{0, 0, 0, 0};
            for (const MaterialCustomParameterDesc& own : m_parameters) {
                if (own.name == parameter.name) {
                    value = own.value;
                    break;
                }
            }
            data.parameterValues.push_back(value);
        }
        m_levels.push_back(std::move(data));
    }
}

int32_t Material::getLodLevel(float distance) const {
    return m_customShader ? m_customShader->getLodLevel(distance) : -1;
}

bool Material::setCustomParameter(const std::string& parameterName,
                                  const std::array<float, 4>& value) {
    bool found = false;
    for (MaterialCustomParameterDesc& own : m_parameters) {
        if (own.name == parameterName) {
            own.value = value;
            found = true;
        }
    }
    if (!found || !m_customShader) {
        return found;
    }
    const auto& levels = m_customShader->getLodLevels();
    for (size_t l = 0; l < levels.size() && l < m_levels.size(); ++l) {
        for (size_t p = 0; p < levels[l].parameters.size(); ++p) {
            if (levels[l].parameters[p].name == parameterName) {
                m_levels[l].parameterValues[p] = value;
            }
        }
    }
    return true;
}

namespace MaterialLibrary {

// The name is not part of the look: differently named elements with the
// same values share one material.
RefPtr<Material> get(const MaterialDesc& desc) {
    MaterialDesc key = desc;
    for (Material* material : liveMaterials()) {
        key.name = material->getDesc().name;
        if (material->getDesc() == key) {
            return RefPtr<Material>(material);
        }
    }
    return RefPtr<Material>(new Material(desc));
}

size_t count() {
    return liveMaterials().size();
}

}  // namespace MaterialLibrary
