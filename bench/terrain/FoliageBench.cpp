// Density maps and foliage cells on the render device:
//
// - BM_PaintParallelogram2048: painting a 64 x 64 parallelogram (rotated
//   by 30 degrees) into a 2048 x 2048 map with 4 channels, set and clear
//   in turn;
// - BM_BuildFoliageCell: building one foliage cell at the scene file's
//   defaults (cell size 64 on unitsPerPixel 1.6: 102.4 units, 2 blocks per
//   unit: 205 x 205 blocks, every one planted), vertices uploaded;
// - BM_CellUpdateMoving: the per-frame cell update with the camera moving
//   at 20 units/s in 60 Hz frames; the counter "worstFrameMs" is the most
//   one frame took (its cell builds included).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "PngMaker.h"
#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "terrain/DensityMap.h"
#include "terrain/FoliageTransformGroup.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

constexpr uint32_t kGrid = 1025;

std::string g_folder;
IRenderDevice* g_device = nullptr;

void writeFile(const std::string& name, const std::string& contents) {
    std::ofstream(g_folder + name, std::ios::binary) << contents;
}

void writeData() {
    std::string heights;
    heights.reserve(size_t(kGrid) * kGrid * 2);
    for (uint32_t row = 0; row < kGrid; ++row) {
        for (uint32_t col = 0; col < kGrid; ++col) {
            const auto v = uint16_t(30000 + 8000 * std::sin(col * 0.02) * std::cos(row * 0.017));
            heights += static_cast<char>(v >> 8);
            heights += static_cast<char>(v & 0xFF);
        }
    }
    writeFile("heights.png", testpng::makePng(kGrid, kGrid, 16, 0, heights));
    writeFile("density.png", testpng::makePng(1024, 1024, 8, 0, std::string(1024 * 1024, '\1')));
}

struct FoliageScene {
    FoliageScene() {
        TerrainParams params;
        params.heightMapPath = "heights.png";
        terrain = std::make_unique<TerrainTransformGroup>("land", params,
                                                          std::vector<TerrainLayerParams>{});
        MaterialDesc desc;
        desc.name = "grass";
        material = new Material(desc);
        material->addRef();
        FoliageParams foliageParams;
        foliageParams.densityMapPath = "density.png";
        foliageParams.material = material;
        foliage = new FoliageTransformGroup("grass", foliageParams, *terrain);
        terrain->addChild(foliage);
    }
    ~FoliageScene() {
        terrain.reset();
        material->release();
    }
    std::unique_ptr<TerrainTransformGroup> terrain;
    Material* material = nullptr;
    FoliageTransformGroup* foliage = nullptr;  // a child of the terrain
};

void BM_PaintParallelogram2048(benchmark::State& state) {
    DensityMap map;
    map.create(2048, 4);
    const float c = 64.0f * std::cos(0.5236f);
    const float s = 64.0f * std::sin(0.5236f);
    bool value = true;
    DensityMap::Rect touched;
    int64_t painted = 0;
    for (auto _ : state) {
        painted += map.paintParallelogram(1000.0f, 900.0f, c, s, -s, c, -1, value, touched);
        value = !value;
    }
    benchmark::DoNotOptimize(painted);
    state.counters["pixels"] = double(touched.width) * touched.height;
}
BENCHMARK(BM_PaintParallelogram2048)->Unit(benchmark::kMicrosecond);

void BM_BuildFoliageCell(benchmark::State& state) {
    FoliageScene scene;
    // Over the centre of cell (0, 0).
    const float centre = scene.foliage->getCellSize() * 0.5f;
    scene.foliage->updateLocal({centre, 0.0f, centre}, 0.0f);
    for (auto _ : state) {
        scene.foliage->markCellsForRebuild(0, 0, 0, 0, true);
        scene.foliage->updateLocal({centre, 0.0f, centre}, 0.0f);
        if (scene.foliage->getBuiltCellsLastUpdate() != 1) {
            state.SkipWithError("the cell was not rebuilt");
            break;
        }
    }
    state.counters["blocksPerSide"] = scene.foliage->getBlocksPerSide();
}
BENCHMARK(BM_BuildFoliageCell)->Unit(benchmark::kMillisecond);

void BM_CellUpdateMoving(benchmark::State& state) {
    FoliageScene scene;
    constexpr float kFrameMs = 1000.0f / 60.0f;
    constexpr float kStep = 20.0f * kFrameMs / 1000.0f;
    float x = -400.0f;
    double worst = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        scene.foliage->updateLocal({x, 0.0f, 30.0f}, kFrameMs);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        worst = std::max(worst, ms);
        x += kStep;
        if (x > 400.0f) {
            x = -400.0f;
        }
    }
    state.counters["worstFrameMs"] = worst;
}
BENCHMARK(BM_CellUpdateMoving)->Unit(benchmark::kMicrosecond)->Iterations(2400);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    std::unique_ptr<IRenderDevice> device = createRenderDevice();
    RenderWindowSettings settings;
    settings.width = 320;
    settings.height = 240;
    settings.fullScreen = false;
    settings.verticalSync = false;
    settings.caption = "foliage bench";
    if (!device->init(false) || device->createRenderWindow(settings) == nullptr) {
        std::fprintf(stderr, "foliage bench: no device or window\n");
        return 1;
    }
    g_device = device.get();
    TextureSettings::setRenderDevice(g_device);
    g_folder = (std::filesystem::temp_directory_path() / "foliage-bench/").string();
    std::filesystem::create_directories(g_folder);
    writeData();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(g_folder, 10));
    ResourceManager::instance().registerLoader(
        std::make_unique<GenericResourceLoader<Texture, ResourceType::Texture>>());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ResourceManager::instance().shutdown();
    FileSystem::clearFileLoaders();
    std::filesystem::remove_all(g_folder);
    return 0;
}
