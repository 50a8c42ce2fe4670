// A 1025 x 1025 terrain (16-bit heightmap, two detail layers with 1024 x
// 1024 weight maps, patchSize 17: 64 x 64 patches) on the render device:
//
// - BM_BuildTerrain1025: reading the files and building the node: heights,
//   layers and weights, the LOD colour map, every patch's vertices with
//   their normals, weights texture and vertex buffer, the patch shapes and
//   materials, then the strips of the first view (index buffers);
// - BM_LodUpdate1025: the per-frame level choice with the camera moving;
// - BM_Frame1280x720: one frame of the scene renderer at 1280 x 720 with
//   the camera flying over the terrain (waits for the GPU, here Mesa's
//   llvmpipe when no display exists), for patch sizes 17, 33 and 65;
//   BM_EmptyFrame1280x720 is the same frame without the terrain;
// - BM_FoliageFrameMoving: frames of the scene renderer at 1280 x 720 over
//   the terrain with a foliage layer at the scene file's defaults (cell
//   size 64, 2 blocks per unit: 128 x 128 plants per cell, every block
//   planted), the camera moving at 20 units/s in 60 Hz steps 8 units above
//   the ground; the counter "worstCellWorkMs" is the most the foliage's render
//   event took in one frame (its cell builds), "worstFrameMs" the longest
//   frame.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "PngMaker.h"
#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "render/material/Material.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "terrain/FoliageTransformGroup.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr uint32_t kGrid = 1025;

std::string g_folder;
IRenderDevice* g_device = nullptr;
IRenderWindow* g_window = nullptr;

void writeFile(const std::string& name, const std::string& contents) {
    std::ofstream(g_folder + name, std::ios::binary) << contents;
}

// Rolling hills in 16 bits.
uint16_t hill(uint32_t col, uint32_t row) {
    const double v = 0.5 + 0.25 * std::sin(col * 0.013) * std::cos(row * 0.011) +
                     0.2 * std::sin((col + row) * 0.003);
    return static_cast<uint16_t>(std::clamp(v, 0.0, 1.0) * 65535.0);
}

void writeData() {
    std::string heights;
    heights.reserve(size_t(kGrid) * kGrid * 2);
    for (uint32_t row = 0; row < kGrid; ++row) {
        for (uint32_t col = 0; col < kGrid; ++col) {
            const uint16_t v = hill(col, row);
            heights += static_cast<char>(v >> 8);
            heights += static_cast<char>(v & 0xFF);
        }
    }
    writeFile("heights.png", testpng::makePng(kGrid, kGrid, 16, 0, heights));
    std::string grass;
    std::string rock;
    for (int i = 0; i < 64 * 64; ++i) {
        grass += std::string{char(40 + i % 30), char(120 + i % 50), char(30)};
        rock += std::string{char(110 + i % 40), char(100 + i % 40), char(90 + i % 40)};
    }
    writeFile("grass.png", testpng::makePng(64, 64, 8, 2, grass));
    writeFile("rock.png", testpng::makePng(64, 64, 8, 2, rock));
    std::string low;
    std::string high;
    for (uint32_t row = 0; row < 1024; ++row) {
        for (uint32_t col = 0; col < 1024; ++col) {
            const uint8_t h = static_cast<uint8_t>(hill(col, row) >> 8);
            low += static_cast<char>(255 - h);
            high += static_cast<char>(h);
        }
    }
    writeFile("low.png", testpng::makePng(1024, 1024, 8, 0, low));
    writeFile("high.png", testpng::makePng(1024, 1024, 8, 0, high));
    writeFile("density.png", testpng::makePng(1024, 1024, 8, 0, std::string(1024 * 1024, '\1')));
}

std::unique_ptr<TerrainTransformGroup> buildTerrain(int32_t patchSize = 17) {
    TerrainParams params;
    params.patchSize = patchSize;
    params.heightMapPath = "heights.png";
    params.heightScale = 200.0f;
    params.unitsPerPixel = 1.0f;
    std::vector<TerrainLayerParams> layers(2);
    const char* detail[2] = {"grass.png", "rock.png"};
    const char* weights[2] = {"low.png", "high.png"};
    for (int i = 0; i < 2; ++i) {
        layers[size_t(i)].detailMap = detail[i];
        layers[size_t(i)].unitSize = 8.0f;
        layers[size_t(i)].weightMapName = weights[i];
        layers[size_t(i)].weightMapPath = weights[i];
    }
    return std::make_unique<TerrainTransformGroup>("land", params, layers);
}

// Camera path: a circle of radius 300 around the centre, 120 units above
// the ground.
Vector3 cameraAt(int step, const TerrainTransformGroup& node) {
    const float angle = float(step) * 0.01f;
    const float x = 300.0f * std::cos(angle);
    const float z = 300.0f * std::sin(angle);
    return {x, node.getTerrain().getHeightAtLocalPosition(x, z) + 120.0f, z};
}

void BM_BuildTerrain1025(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<TerrainTransformGroup> node = buildTerrain();
        GeoMipMappingTerrain& terrain = node->getTerrain();
        terrain.updateLevels(cameraAt(0, *node));
        for (uint32_t row = 0; row < terrain.getPatchesPerSide(); ++row) {
            for (uint32_t col = 0; col < terrain.getPatchesPerSide(); ++col) {
                terrain.getStrip(terrain.getPatch(col, row)->getStripKey(), *g_device);
            }
        }
        if (!node->isBuilt()) {
            state.SkipWithError("terrain not built");
            break;
        }
        state.counters["patches"] = double(terrain.getNumPatches());
        state.counters["strips"] = double(terrain.getNumCachedStrips());
        node.reset();
    }
}
BENCHMARK(BM_BuildTerrain1025)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LodUpdate1025(benchmark::State& state) {
    std::unique_ptr<TerrainTransformGroup> node = buildTerrain();
    GeoMipMappingTerrain& terrain = node->getTerrain();
    int step = 0;
    for (auto _ : state) {
        terrain.updateLevels(cameraAt(++step, *node));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(terrain.getNumPatches()));
}
BENCHMARK(BM_LodUpdate1025)->Unit(benchmark::kMicrosecond);

// The scene renderer and a scene lit by a sun with the terrain under its
// root.
struct TerrainScene {
    explicit TerrainScene(int32_t patchSize)
        : library(*g_device, g_folder + "shader_cache/"), renderer(*g_device, library) {
        root = createRootNode(context);
        camera = createDefaultCamera(*root, context);
        LightSource::Settings sun;
        sun.type = LightSource::Directional;
        auto* light = new LightSource("sun", sun);
        light->setRotation({-1.0f, 0.3f, 0.0f});
        root->addChild(light);
        node = buildTerrain(patchSize).release();
        root->addChild(node);
    }
    ShaderLibrary library;
    SceneRenderer renderer;
    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
    TerrainTransformGroup* node = nullptr;  // a child of the root
};

void BM_Frame1280x720(benchmark::State& state) {
    TerrainScene scene(int32_t(state.range(0)));
    SceneRenderer& renderer = scene.renderer;
    SceneRenderContext& context = scene.context;
    Camera* camera = scene.camera;
    TerrainTransformGroup* node = scene.node;
    std::vector<uint8_t> pixel(size_t(g_window->getPixelBufferSize()));
    int step = 0;
    auto frame = [&] {
        const Vector3 position = cameraAt(++step, *node);
        camera->setTranslation(position);
        // Looking towards the centre and a little down.
        camera->setRotation({-0.45f, std::atan2(position.x, position.z), 0.0f});
        g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        renderer.render(context, kWidth, kHeight, 1000.0f / 60.0f);
        // Reading the frame back waits until the GPU has drawn it.
        g_window->readPixels(pixel.data());
    };
    frame();  // builds the shaders
    for (auto _ : state) {
        frame();
    }
    context.statistics = RenderStatistics();
    frame();
    // TERRAIN_BENCH_SCREENSHOT=folder/ keeps the last frame of each size.
    if (const char* folder = std::getenv("TERRAIN_BENCH_SCREENSHOT")) {
        ImageUtil::saveImage(
            std::string(folder) + "terrain-" + std::to_string(state.range(0)) + ".png", kWidth,
            kHeight, 3, IF_RGB, pixel.data());
    }
    state.counters["shapes"] = double(renderer.getLastFrameCounts().shapes);
    state.counters["drawCalls"] = double(context.statistics.drawCalls);
    state.counters["triangles"] = double(context.statistics.primitives);
}
// The argument is the patch size.
BENCHMARK(BM_Frame1280x720)->Unit(benchmark::kMillisecond)->MinTime(3.0)->Arg(17)->Arg(33)->Arg(65);

// What every frame above costs besides the terrain: clearing and reading
// the frame back.
void BM_EmptyFrame1280x720(benchmark::State& state) {
    std::vector<uint8_t> pixel(size_t(g_window->getPixelBufferSize()));
    for (auto _ : state) {
        g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        g_window->readPixels(pixel.data());
    }
}
BENCHMARK(BM_EmptyFrame1280x720)->Unit(benchmark::kMillisecond);

void BM_FoliageFrameMoving(benchmark::State& state) {
    TerrainScene scene(17);
    SceneRenderer& renderer = scene.renderer;
    SceneRenderContext& context = scene.context;
    Camera* camera = scene.camera;
    TerrainTransformGroup* node = scene.node;
    LocalGeometryTransformGroup::setSceneRenderContext(&context);
    context.environment.ambientColor = {0.6f, 0.6f, 0.6f};
    MaterialDesc desc;
    desc.name = "grass";
    desc.albedoMap.file = "grass.png";
    RefPtr<Material> material(new Material(desc));
    FoliageParams params;
    params.densityMapPath = "density.png";
    params.material = material.get();
    auto* foliage = new FoliageTransformGroup("grass", params, *node);
    node->addChild(foliage);
    std::vector<uint8_t> pixel(size_t(g_window->getPixelBufferSize()));
    constexpr float kStep = 20.0f / 60.0f;
    float x = -100.0f;
    double worstWork = 0.0;
    double worstFrame = 0.0;
    uint64_t built = 0;
    auto frame = [&] {
        const auto start = std::chrono::steady_clock::now();
        x += kStep;
        const float y = node->getTerrain().getHeightAtLocalPosition(x, 20.0f) + 8.0f;
        // Along +x, looking ahead and down.
        camera->setTranslationRotation({x, y, 20.0f}, {-0.35f, -1.5707963f, 0.0f});
        g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        renderer.render(context, kWidth, kHeight, 1000.0f / 60.0f);
        g_window->readPixels(pixel.data());
        built += context.statistics.foliageCellsUploaded;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    frame();  // builds the shaders
    for (auto _ : state) {
        worstFrame = std::max(worstFrame, frame());
        worstWork = std::max(worstWork, foliage->getLastFrameWorkMs());
    }
    if (const char* folder = std::getenv("TERRAIN_BENCH_SCREENSHOT")) {
        ImageUtil::saveImage(std::string(folder) + "foliage.png", kWidth, kHeight, 3, IF_RGB,
                             pixel.data());
    }
    state.counters["worstCellWorkMs"] = worstWork;
    state.counters["worstFrameMs"] = worstFrame;
    state.counters["cellsBuilt"] = double(built);
    state.counters["triangles"] = double(context.statistics.primitives);
    scene.root.reset();
    LocalGeometryTransformGroup::setSceneRenderContext(nullptr);
}
// 600 frames: 200 units, three cell rows entering the view.
BENCHMARK(BM_FoliageFrameMoving)->Unit(benchmark::kMillisecond)->Iterations(600);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    std::unique_ptr<IRenderDevice> device = createRenderDevice();
    RenderWindowSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fullScreen = false;
    settings.verticalSync = false;
    settings.caption = "terrain bench";
    if (!device->init(false) || (g_window = device->createRenderWindow(settings)) == nullptr) {
        std::fprintf(stderr, "terrain bench: no device or window\n");
        return 1;
    }
    g_device = device.get();
    TextureSettings::setRenderDevice(g_device);
    g_folder = (std::filesystem::temp_directory_path() / "terrain-bench/").string();
    std::filesystem::create_directories(g_folder);
    writeData();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(g_folder, 10));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 5));
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
