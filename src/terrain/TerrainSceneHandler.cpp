#include "terrain/TerrainSceneHandler.h"

#include "terrain/DetailLayerSceneSetup.h"

TerrainParams terrainParamsFromScene(const I3DTerrainDesc& desc) {
    TerrainParams params;
    params.heightMapName = desc.heightMap;
    params.heightMapPath = desc.heightMap;
    params.globalLayerMapName = desc.globalLayerMap;
    params.globalLayerMapPath = desc.globalLayerMap;
    auto take = [](auto& target, const auto& value) {
        if (value.set) {
            target = value.value;
        }
    };
    take(params.globalLayerWeight, desc.globalLayerWeight);
    take(params.patchSize, desc.patchSize);
    take(params.maxLODDistance, desc.maxLODDistance);
    take(params.heightScale, desc.heightScale);
    take(params.unitsPerPixel, desc.unitsPerPixel);
    take(params.lodBlendStart, desc.lodBlendStart);
    take(params.lodBlendEnd, desc.lodBlendEnd);
    take(params.lodTextureSize, desc.lodTextureSize);
    return params;
}

std::vector<TerrainLayerParams> terrainLayersFromScene(const I3DTerrainDesc& desc) {
    std::vector<TerrainLayerParams> layers;
    for (const I3DTerrainLayerDesc& layerDesc : desc.layers) {
        TerrainLayerParams& layer = layers.emplace_back();
        layer.detailMap = layerDesc.detailMap;
        layer.unitSize = layerDesc.unitSize.set ? layerDesc.unitSize.value : 0.0f;
        layer.weightMapName = layerDesc.weightMap;
        layer.weightMapPath = layerDesc.weightMap;
        layer.plane = layerDesc.plane.set ? layerDesc.plane.value[0] : 0.0f;
        layer.hasDistanceColor = layerDesc.distanceColor.set;
        for (int c = 0; c < 3; ++c) {
            layer.distanceColor[size_t(c)] = layerDesc.distanceColor.value[size_t(c)];
        }
    }
    return layers;
}

std::unique_ptr<TransformGroup> TerrainSceneHandler::createTerrain(const I3DTerrainDesc& desc) {
    auto terrain = std::make_unique<TerrainTransformGroup>(desc.name, terrainParamsFromScene(desc),
                                                           terrainLayersFromScene(desc));
    addDetailLayersFromScene(desc, *terrain);
    return terrain;
}

void TerrainSceneHandler::install() {
    I3DSectionHandlers::get().terrain = this;
}

void TerrainSceneHandler::uninstall() {
    if (I3DSectionHandlers::get().terrain == this) {
        I3DSectionHandlers::get().terrain = nullptr;
    }
}
