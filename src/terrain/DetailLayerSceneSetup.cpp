#include "terrain/DetailLayerSceneSetup.h"

#include "foundation/Log.h"
#include "render/material/Material.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

template <typename T, typename V>
void take(T& target, const V& value) {
    if (value.set) {
        target = value.value;
    }
}

// Detail layers draw with the renderer's materials, the only kind a scene
// file's "Materials" section makes in the engine.
Material* renderMaterial(const I3DDensityDesc& density) {
    return dynamic_cast<Material*>(density.material);
}

bool complete(const I3DDensityDesc& density, const std::string& name) {
    if (density.densityMap.empty() || renderMaterial(density) == nullptr) {
        Log::get() << "Error: terrain layer '" << name
                   << "' needs a densityMap and a material, it is skipped\n";
        return false;
    }
    return true;
}

}  // namespace

TerrainDetailParams detailParamsFromScene(const I3DDensityDesc& desc) {
    TerrainDetailParams params;
    params.densityMapPath = desc.densityMap;
    params.material = renderMaterial(desc);
    take(params.numDensityMapChannels, desc.numDensityMapChannels);
    params.densityMapShaderName = desc.densityMapShaderName;
    take(params.cellSize, desc.cellSize);
    take(params.viewDistance, desc.viewDistance);
    take(params.terrainOffset, desc.terrainOffset);
    params.objectMask = desc.objectMask;
    return params;
}

FoliageParams foliageParamsFromScene(const I3DFoliageLayerDesc& desc) {
    FoliageParams params;
    static_cast<TerrainDetailParams&>(params) = detailParamsFromScene(desc.density);
    take(params.atlasSize, desc.atlasSize);
    take(params.plantThreshold, desc.plantThreshold);
    if (desc.numBlocksPerUnit.set) {
        params.blocksPerUnit = float(desc.numBlocksPerUnit.value);
    }
    take(params.width, desc.width);
    take(params.height, desc.height);
    take(params.heightVariance, desc.heightVariance);
    take(params.positionVariance, desc.horizontalPositionVariance);
    take(params.growthNumStates, desc.growthNumStates);
    take(params.growthStateTime, desc.growthStateTime);
    return params;
}

void addDetailLayersFromScene(const I3DTerrainDesc& desc, TerrainTransformGroup& terrain) {
    if (!terrain.getTerrain().hasHeights()) {
        return;
    }
    for (const I3DFoliageLayerDesc& layer : desc.foliageLayers) {
        if (complete(layer.density, layer.name)) {
            terrain.addChild(
                new FoliageTransformGroup(layer.name, foliageParamsFromScene(layer), terrain));
        }
    }
    for (const I3DDetailLayerDesc& layer : desc.detailLayers) {
        if (complete(layer.density, layer.name)) {
            terrain.addChild(new TerrainDetailTransformGroup(
                layer.name, detailParamsFromScene(layer.density), terrain));
        }
    }
}
