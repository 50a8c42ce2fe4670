// Density maps: foliage on a fixed 65 x 65 terrain whose density map is the
// fuzzer's bytes (1 to 8 channels, from the input's length), with every cell
// built around a camera over the centre, then painted and read back by the
// density operations the scripts use.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "render/material/Material.h"
#include "terrain/FoliageTransformGroup.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

const fuzz::FixedFiles& fixedFiles() {
    static const fuzz::FixedFiles files{
        {"fuzz/height.tga", fuzz::makeTga(65, 65, 1, [](uint32_t column, uint32_t row, int) {
             return static_cast<uint8_t>(column + row);
         })}};
    return files;
}

Material& material() {
    static Material* shared = [] {
        MaterialDesc desc;
        desc.name = "grass";
        auto* made = new Material(desc);
        made->addRef();
        return made;
    }();
    return *shared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size, &fixedFiles());
    TerrainParams terrainParams;
    terrainParams.heightMapPath = "fuzz/height.tga";
    terrainParams.unitsPerPixel = 1.0f;
    terrainParams.lodTextureSize = 32;
    TerrainTransformGroup terrain("land", terrainParams, std::vector<TerrainLayerParams>{});
    FoliageParams params;
    params.densityMapPath = "fuzz/density.img";
    params.numDensityMapChannels = static_cast<int32_t>(size % 8) + 1;
    params.material = &material();
    params.cellSize = 16.0f;
    params.blocksPerUnit = 1.0f;
    params.viewDistance = 200.0f;
    params.growthNumStates = 2;
    FoliageTransformGroup foliage("grass", params, terrain);
    if (foliage.isValid()) {
        foliage.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
        foliage.setDensityParallelogram(-10.0f, -12.0f, 20.0f, 3.0f, -2.0f, 15.0f, 0, 1.0f);
        volatile int64_t set =
            foliage.getDensityParallelogram(-40.0f, -40.0f, 80.0f, 0.0f, 0.0f, 80.0f, 0);
        (void)set;
    }
    return 0;
}
