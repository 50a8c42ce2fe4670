#include "terrain/TerrainPatchShape.h"

#include "base/device/Texture.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainMaterial.h"

TerrainPatchShape::TerrainPatchShape(const std::string& name, GeoMipMappingTerrainPatch& patch)
    : Shape(name), m_patch(&patch) {
    addKind(EntityKind::TerrainPatchShape);
    // The ground shows the shadows of what stands on it.
    addShapeFlags(kReceivesShadows);
    setGeometry(&patch);
    patch.setListener(this);
    rebuildMaterials();
}

TerrainPatchShape::~TerrainPatchShape() {
    m_patch->setListener(nullptr);
}

void TerrainPatchShape::patchLayersChanged() {
    rebuildMaterials();
}

void TerrainPatchShape::patchGeometryChanged() {
    invalidateBounds();
}

void TerrainPatchShape::rebuildMaterials() {
    const GeoMipMappingTerrain* terrain = m_patch->getTerrain();
    if (terrain == nullptr) {
        return;
    }
    TerrainMaterialDesc desc;
    desc.name = getName() + "_material";
    const auto& layers = terrain->getLayers();
    const auto& selected = m_patch->getSelectedLayers();
    int layerCount = 0;
    for (int k = 0; k < TerrainMaterialDesc::kMaxLayers; ++k) {
        if (selected[size_t(k)] < 0) {
            continue;
        }
        const TerrainDetailLayer& layer = layers[size_t(selected[size_t(k)])];
        desc.layerTextures[size_t(k)] = layer.detailTexture;
        desc.layerRepeats[size_t(k)] = layer.repeat;
        desc.layerPlanes[size_t(k)] = layer.plane;
        ++layerCount;
    }
    desc.weightsTexture = m_patch->getWeightsTexture();
    desc.lodColorTexture = terrain->getLodColorTexture();
    // Without detail layers the LOD colour map colours the whole terrain.
    desc.nearCode = TerrainShaderCode::getIndex(layerCount, layerCount == 0);
    desc.blendCode = TerrainShaderCode::getIndex(layerCount, true);
    desc.farCode = TerrainShaderCode::getIndex(0, true);
    desc.lodBlendStart = terrain->getLodBlendStart();
    desc.lodBlendEnd = terrain->getLodBlendEnd();
    desc.worldSize = terrain->getWorldSize();

    clearMaterials();
    for (int variant = TerrainMaterial::Near; variant <= TerrainMaterial::Far; ++variant) {
        addMaterial(new TerrainMaterial(desc, variant));
    }
}
