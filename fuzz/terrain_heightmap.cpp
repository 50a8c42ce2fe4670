// Terrain heightmaps: a terrain node of a scene file whose heightmap is the
// fuzzer's bytes (any image format the engine reads), loaded, cut into
// patches and asked for heights across and beyond its grid. The file's name
// picks its reader, so an input that starts as a DDS file is named like one.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    TerrainParams params;
    params.heightMapName = "height";
    const bool dds = size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
    params.heightMapPath = dds ? "fuzz/height.dds" : "fuzz/height.img";
    params.patchSize = 33;
    params.lodTextureSize = 64;
    params.unitsPerPixel = 2.0f;
    TerrainTransformGroup terrain("land", params, std::vector<TerrainLayerParams>{});
    if (terrain.getTerrain().hasHeights()) {
        const float half = terrain.getTerrain().getWorldSize() * 0.5f;
        float sum = 0.0f;
        for (float x : {-half - 1.0f, -half, -0.3f, 0.0f, half * 0.7f, half}) {
            for (float z : {-half, 0.4f, half + 1.0f}) {
                sum += terrain.getHeightAtWorldPosition({x, 0.0f, z});
            }
        }
        volatile float heights = sum;
        (void)heights;
    }
    return 0;
}
