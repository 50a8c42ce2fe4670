// Terrain weight maps and the global layer map: a fixed 33 x 33 terrain
// whose two detail layers and global layer map all read the fuzzer's bytes,
// so the size and format checks, the weight normalisation, the per-patch
// layer selection and the LOD colour map run over them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "HostTextureLoader.h"
#include "foundation/ResourceManager.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

const fuzz::FixedFiles& fixedFiles() {
    static const fuzz::FixedFiles files = [] {
        ResourceManager::instance().registerLoader(
            std::make_unique<testsupport::HostTextureLoader>());
        return fuzz::FixedFiles{
            {"fuzz/height.tga", fuzz::makeTga(33, 33, 1,
                                              [](uint32_t column, uint32_t row, int) {
                                                  return static_cast<uint8_t>(column * 3 + row);
                                              })},
            {"fuzz/detail.tga", fuzz::makeTga(2, 2, 3,
                                              [](uint32_t column, uint32_t row, int channel) {
                                                  return static_cast<uint8_t>(40 * channel +
                                                                              20 * column + row);
                                              })},
        };
    }();
    return files;
}

TerrainLayerParams layer(float unitSize) {
    TerrainLayerParams params;
    params.detailMap = "fuzz/detail.tga";
    params.unitSize = unitSize;
    params.weightMapName = "weights";
    params.weightMapPath = "fuzz/weights.img";
    return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size, &fixedFiles());
    TerrainParams params;
    params.heightMapName = "height";
    params.heightMapPath = "fuzz/height.tga";
    params.globalLayerMapName = "global";
    params.globalLayerMapPath = "fuzz/global.img";
    params.patchSize = 17;
    params.lodTextureSize = 32;
    TerrainLayerParams second = layer(4.0f);
    second.hasDistanceColor = true;
    second.distanceColor = {0.5f, 0.25f, 1.0f};
    TerrainTransformGroup terrain("land", params, {layer(8.0f), second});
    if (terrain.isBuilt()) {
        const std::vector<uint8_t>& colors = terrain.getTerrain().getLodColorPixels();
        volatile uint8_t sum = colors.empty() ? 0 : colors.front() ^ colors.back();
        (void)sum;
    }
    return 0;
}
