#include "terrain/TerrainTransformGroup.h"

#include <cmath>

#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainPatchShape.h"

TerrainTransformGroup::TerrainTransformGroup(const std::string& name, const TerrainParams& params,
                                             const std::vector<TerrainLayerParams>& layers)
    : TransformGroup(name), m_terrain(std::make_unique<GeoMipMappingTerrain>()) {
    addKind(EntityKind::TerrainTransformGroup);
    m_terrain->setNode(this);
    if (params.heightMapPath.empty() ||
        !m_terrain->loadHeightmap(params.heightMapName, params.heightMapPath)) {
        return;
    }
    m_terrain->setParameters(params.heightScale, params.unitsPerPixel, params.lodBlendStart,
                             params.lodBlendEnd);
    for (const TerrainLayerParams& layer : layers) {
        m_terrain->addLayer(layer);
    }
    m_terrain->setGlobalLayerMap(params.globalLayerMapName, params.globalLayerMapPath);
    if (!m_terrain->build(params.patchSize, params.lodTextureSize, params.globalLayerWeight,
                          params.maxLODDistance)) {
        return;
    }
    m_built = true;
    const uint32_t patches = m_terrain->getPatchesPerSide();
    for (uint32_t row = 0; row < patches; ++row) {
        for (uint32_t column = 0; column < patches; ++column) {
            const std::string shapeName =
                name + "Patch" + std::to_string(row) + "x" + std::to_string(column);
            addChild(new TerrainPatchShape(shapeName, *m_terrain->getPatch(column, row)));
        }
    }
}

TerrainTransformGroup::~TerrainTransformGroup() = default;

float TerrainTransformGroup::getHeightAtWorldPosition(const Vector3& world) {
    Matrix4 inverse;
    if (!m_terrain->hasHeights() || !getWorldMatrix().invert(inverse)) {
        return 0.0f;
    }
    const Vector3 local = inverse.transformPoint(world);
    if (!std::isfinite(local.x) || !std::isfinite(local.z)) {
        return 0.0f;
    }
    return m_terrain->getHeightAtLocalPosition(local.x, local.z);
}

TransformGroup::HeightGrid TerrainTransformGroup::getHeightGrid() const {
    HeightGrid grid;
    if (!m_terrain->hasHeights()) {
        return grid;
    }
    grid.size = m_terrain->getSize();
    grid.samples = m_terrain->getHeights().data();
    grid.heightFactor = m_terrain->getHeightFactor();
    grid.spacing = m_terrain->getUnitsPerPixel();
    return grid;
}
