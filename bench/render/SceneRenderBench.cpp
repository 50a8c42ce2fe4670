// Scene rendering on the CPU side.
//
// BM_SceneTraversal: one frame's light walk, shape walk, light assignment and
// the build and sort of the opaque, further-light and transparent queues for
// 10 000 visible shapes (in 100 groups) and 50 point lights, without drawing;
// first argument 0 with nothing moving, 1 with one light moving every frame
// (the shapes it reaches before or after get their light groups anew);
// second argument 1 with the lists kept between frames (the default), 0
// with the tree walked and every queue built afresh each frame. BM_FlatLoop
// is its floor: the same
// 10 000 world matrices multiplied by the view-projection matrix, one struct
// each pushed into a pre-sized vector. "allocs" counts allocations per frame.
//
// BM_RendererDraw: 5 000 visible shapes drawn by the whole renderer ("allocs":
// allocations per frame);
// BM_DeviceDraw: the same draws issued straight to the render device, with
// the same shader pair, buffers and per-object uniforms. Both swap (and so
// wait on the frame fence) once per frame; the difference per shape is what
// the renderer costs above the device.
//
// BM_InstancedFrame: 10 000 shapes of 10 meshes and 3 materials under a
// directional and 4 point lights, whole frames drawn singly (/0) and
// instanced (/1); "main pass draws" counts the opaque pass's draw calls.
//
// Run headless: SDL_VIDEODRIVER=offscreen (Mesa llvmpipe through EGL).

#include <benchmark/benchmark.h>

#include "AllocationCounter.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "render/material/Material.h"
#include "render/scene/RenderPasses.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/Shader.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

constexpr int kWindowSize = 256;

IRenderDevice* g_device = nullptr;
IRenderWindow* g_window = nullptr;
std::unique_ptr<ShaderLibrary> g_library;

RefPtr<Geometry> quadGeometry() {
    return RefPtr<Geometry>(
        new IndexedFaceSetGeometry("quad", makeQuadMesh(0.4f), VertexAttribute::Normal));
}

// A grid of `count` quads in groups of 100 facing a camera that sees them
// all, with `lights` point lights spread over the grid.
struct BenchScene {
    BenchScene(int count, int numLights) {
        root = createRootNode(context);
        camera = new Camera("camera", 60.0f, 0.5f, 1000.0f);
        root->addChild(camera);
        int columns = 1;
        while (columns * columns < count) {
            ++columns;
        }
        const float extent = static_cast<float>(columns);
        camera->setTranslation({extent * 0.5f, extent * 0.5f, extent * 1.0f});
        context.setActiveCamera(camera);
        MaterialDesc plain;
        plain.ambientColor = {0.8f, 0.8f, 0.8f};
        paint = MaterialLibrary::get(plain);
        TransformGroup* group = nullptr;
        for (int i = 0; i < count; ++i) {
            if (i % 100 == 0) {
                group = new TransformGroup("group");
                root->addChild(group);
            }
            auto* shape = new Shape("quad");
            shape->setGeometry(geometry.get());
            shape->addMaterial(paint.get());
            shape->setTranslation({float(i % columns) + 0.5f, float(i / columns) + 0.5f, 0});
            group->addChild(shape);
        }
        for (int i = 0; i < numLights; ++i) {
            LightSource::Settings settings;
            settings.type = LightSource::Point;
            settings.range = extent / 6.0f;
            settings.diffuseColor = {0.2f, 0.2f, 0.2f};
            auto* light = new LightSource("lamp", settings);
            light->setTranslation({float((i * 37) % columns), float((i * 53) % columns), 1.0f});
            root->addChild(light);
            lights.push_back(light);
        }
    }

    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
    std::vector<LightSource*> lights;
    RefPtr<Geometry> geometry = quadGeometry();
    RefPtr<Material> paint;
};

// What BM_SceneTraversal measures per frame: the walks, the light
// assignment and the three queues built and sorted; the number of entries.
size_t traversalFrame(SceneRenderer& renderer, BenchScene& scene) {
    if (!renderer.beginFrame(scene.context, kWindowSize, kWindowSize, 16.0f)) {
        return 0;
    }
    size_t entries = renderer.buildSortedQueue(RenderPassTable::kOpaque);
    entries += renderer.buildSortedQueue(RenderPassTable::kFurtherLights);
    entries += renderer.buildSortedQueue(RenderPassTable::kTransparent);
    renderer.endFrame();
    return entries;
}

// The first frame, apart so that an instruction profile can leave it out
// (valgrind --tool=callgrind --toggle-collect='*BM_SceneTraversal*'
// --toggle-collect='*setUpFrame*').
__attribute__((noinline)) size_t setUpFrame(SceneRenderer& renderer, BenchScene& scene) {
    return traversalFrame(renderer, scene);
}

void BM_SceneTraversal(benchmark::State& state) {
    BenchScene scene(10000, 50);
    SceneRenderer renderer(*g_device, *g_library);
    renderer.setKeptLists(state.range(1) != 0);
    const bool moving = state.range(0) != 0;
    LightSource* moved = scene.lights.front();
    const Vector3 home = moved->getTranslation();
    // Two frames first: render data, shaders and queue buffers are made
    // once, and the buffers for what a moving light changes have grown.
    int frameNumber = 0;
    auto moveLight = [&]() {
        if (moving) {
            moved->setTranslation(home + Vector3{0.0f, float(++frameNumber % 2), 0.0f});
        }
    };
    size_t entries = setUpFrame(renderer, scene);
    moveLight();
    entries = setUpFrame(renderer, scene);
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        moveLight();
        entries = traversalFrame(renderer, scene);
        if (entries == 0) {
            state.SkipWithError("nothing to draw");
            break;
        }
        benchmark::DoNotOptimize(entries);
    }
    benchsupport::reportAllocations(state, before);
    state.counters["shapes"] = scene.context.statistics.objects;
    state.counters["lights/shape"] =
        double(scene.context.statistics.lights) / std::max(1u, scene.context.statistics.objects);
    state.counters["queue entries"] = double(entries);
}
BENCHMARK(BM_SceneTraversal)
    ->ArgNames({"moving", "kept"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Unit(benchmark::kMicrosecond);

void BM_FlatLoop(benchmark::State& state) {
    BenchScene scene(10000, 0);
    std::vector<Matrix4> worlds;
    for (Node* group : scene.root->getChildren()) {
        for (Node* shape : group->getChildren()) {
            worlds.push_back(static_cast<Shape*>(shape)->getWorldMatrix());
        }
    }
    const Matrix4 viewProjection =
        scene.camera->getProjectionMatrix(kWindowSize, kWindowSize) * scene.camera->getViewMatrix();
    struct Item {
        Matrix4 modelViewProjection;
        const Matrix4* world;
    };
    std::vector<Item> items;
    items.reserve(worlds.size());
    for (auto _ : state) {
        items.clear();
        for (const Matrix4& world : worlds) {
            items.push_back({viewProjection * world, &world});
        }
        benchmark::DoNotOptimize(items.data());
        benchmark::ClobberMemory();
    }
    state.counters["shapes"] = double(worlds.size());
}
BENCHMARK(BM_FlatLoop)->Unit(benchmark::kMicrosecond);

void BM_RendererDraw(benchmark::State& state) {
    BenchScene scene(5000, 0);
    SceneRenderer renderer(*g_device, *g_library);
    renderer.render(scene.context, kWindowSize, kWindowSize, 16.0f);
    g_window->swapBuffers();
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        renderer.render(scene.context, kWindowSize, kWindowSize, 16.0f);
        g_window->swapBuffers();
    }
    benchsupport::reportAllocations(state, before);
    state.counters["draws"] = scene.context.statistics.drawCalls;
    state.counters["per shape"] = benchmark::Counter(
        5000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RendererDraw)->Unit(benchmark::kMicrosecond);

// 10 000 boxes of 10 sizes in 3 materials on a 100 × 100 grid, under a
// directional light and 4 point lights that each reach one quarter of the
// grid, so that a shape has one of 5 light sets.
struct InstancedScene {
    InstancedScene() {
        root = createRootNode(context);
        camera = new Camera("camera", 60.0f, 0.5f, 1000.0f);
        root->addChild(camera);
        constexpr int kColumns = 100;
        const float extent = static_cast<float>(kColumns);
        camera->setTranslation({extent * 0.5f, extent * 0.5f, extent});
        context.setActiveCamera(camera);
        for (int i = 0; i < 10; ++i) {
            const float half = 0.2f + 0.02f * float(i);
            meshes.emplace_back(new IndexedFaceSetGeometry(
                "box", makeBoxMesh({half, half, half * 0.5f}), VertexAttribute::Normal));
        }
        for (int i = 0; i < 3; ++i) {
            MaterialDesc desc;
            desc.ambientColor = {0.3f + 0.2f * float(i), 0.5f, 0.8f - 0.2f * float(i)};
            desc.diffuseColor = {0.8f, 0.8f, 0.8f, 1.0f};
            desc.specularColor = {0.2f, 0.2f, 0.2f};
            materials.push_back(MaterialLibrary::get(desc));
        }
        TransformGroup* group = nullptr;
        for (int i = 0; i < 10000; ++i) {
            if (i % 100 == 0) {
                group = new TransformGroup("group");
                root->addChild(group);
            }
            auto* shape = new Shape("box");
            // Mesh and material vary independently, so all 30 pairs appear
            // under every light set.
            shape->setGeometry(meshes[size_t(i % 10)].get());
            shape->addMaterial(materials[size_t((i / 10) % 3)].get());
            shape->setTranslation({float(i % kColumns) + 0.5f, float(i / kColumns) + 0.5f, 0});
            shape->setRotation({0, 0, float(i % 7) * 0.2f});
            group->addChild(shape);
        }
        LightSource::Settings sun;
        sun.type = LightSource::Directional;
        sun.diffuseColor = {0.6f, 0.6f, 0.6f};
        auto* sunLight = new LightSource("sun", sun);
        sunLight->setRotation({-0.5f, 0.3f, 0});
        root->addChild(sunLight);
        for (int i = 0; i < 4; ++i) {
            LightSource::Settings settings;
            settings.type = LightSource::Point;
            settings.range = extent / 5.0f;
            settings.diffuseColor = {0.5f, 0.4f, 0.3f};
            auto* light = new LightSource("lamp", settings);
            light->setTranslation({extent * (0.25f + 0.5f * float(i % 2)),
                                   extent * (0.25f + 0.5f * float(i / 2)), 2});
            root->addChild(light);
        }
    }

    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
    std::vector<RefPtr<Geometry>> meshes;
    std::vector<RefPtr<Material>> materials;
};

// BM_InstancedFrame/0 draws every shape singly, /1 with instancing; the time
// is the renderer's whole frame on the CPU, from the walks to the last draw
// call (the swap that lets the GPU finish is outside the timing). The ratio
// of the two in one run is what instancing saves.
void BM_InstancedFrame(benchmark::State& state) {
    InstancedScene scene;
    scene.context.environment.instancing = state.range(0) != 0;
    SceneRenderer renderer(*g_device, *g_library);
    for (int i = 0; i < 2; ++i) {
        renderer.render(scene.context, kWindowSize, kWindowSize, 16.0f);
        g_window->swapBuffers();
    }
    const size_t before = benchsupport::allocationCount();
    for (auto _ : state) {
        renderer.render(scene.context, kWindowSize, kWindowSize, 16.0f);
        state.PauseTiming();
        g_window->swapBuffers();
        state.ResumeTiming();
    }
    benchsupport::reportAllocations(state, before);
    const RenderStatistics& s = scene.context.statistics;
    state.counters["shapes"] = s.objects;
    state.counters["main pass draws"] =
        renderer.getLastFrameCounts().draws[RenderPassTable::kOpaque];
    state.counters["draw calls"] = s.drawCalls - s.instances + s.instancedDrawCalls;
    state.counters["instanced"] = s.instancedDrawCalls;
}
BENCHMARK(BM_InstancedFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Rows of a column-major matrix into consecutive registers.
void setRows(IShaderObject* object, int reg, const Matrix4& m, int rows) {
    for (int r = 0; reg >= 0 && r < rows; ++r) {
        const float v[4] = {m[r], m[4 + r], m[8 + r], m[12 + r]};
        object->setLocalParameter(reg + r, v);
    }
}

void BM_DeviceDraw(benchmark::State& state) {
    BenchScene scene(5000, 0);
    // One renderer frame builds the shaders and the device buffers.
    SceneRenderer renderer(*g_device, *g_library);
    renderer.render(scene.context, kWindowSize, kWindowSize, 16.0f);
    std::vector<Shape*> shapes;
    for (Node* group : scene.root->getChildren()) {
        for (Node* shape : group->getChildren()) {
            if (shape->hasKind(EntityKind::Shape)) {
                shapes.push_back(static_cast<Shape*>(shape));
            }
        }
    }
    ShaderKey key;
    key.words[0] = ShaderKey::kAmbient | ShaderKey::kDiffuse;
    Shader* vertex = nullptr;
    Shader* fragment = nullptr;
    if (!g_library->getShaders(key, nullptr, vertex, fragment)) {
        state.SkipWithError("no shaders");
        return;
    }
    const Matrix4 view = scene.camera->getViewMatrix();
    const Matrix4 projection = scene.camera->getProjectionMatrix(kWindowSize, kWindowSize);
    namespace su = shaderuniforms;
    const int mvp = vertex->getPerObjectRegister(su::ModelViewProjMatrix);
    const int model = vertex->getPerObjectRegister(su::ModelMatrix);
    const int ambient = fragment->getPerObjectRegister(su::AmbientColor);
    const float ambientColour[4] = {0.16f, 0.16f, 0.16f, 1.0f};
    auto* geometry = static_cast<VertexBufferGeometry*>(scene.geometry.get());
    for (auto _ : state) {
        g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        g_device->bindVertexShader(vertex->getObject());
        g_device->bindFragmentShader(fragment->getObject());
        for (Shape* shape : shapes) {
            const Matrix4& world = shape->getWorldMatrix();
            setRows(vertex->getObject(), mvp, projection * (view * world), 4);
            setRows(vertex->getObject(), model, world, 3);
            if (ambient >= 0) {
                fragment->getObject()->setLocalParameter(ambient, ambientColour);
            }
            g_device->setModelMatrix(world.data());
            geometry->draw(scene.context, 0);
        }
        g_window->swapBuffers();
    }
    state.counters["per shape"] = benchmark::Counter(
        5000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeviceDraw)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::unique_ptr<IRenderDevice> device = createRenderDevice();
    RenderWindowSettings settings;
    settings.width = kWindowSize;
    settings.height = kWindowSize;
    settings.fullScreen = false;
    settings.verticalSync = false;
    if (!device->init(false) || (g_window = device->createRenderWindow(settings)) == nullptr) {
        std::fprintf(stderr, "scene render bench: no GL window\n");
        return 1;
    }
    g_device = device.get();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    char folder[] = "/tmp/scene-render-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    g_library = std::make_unique<ShaderLibrary>(*g_device, std::string(folder) + "/");
    if (!g_library->loadSharedSources()) {
        std::fprintf(stderr, "scene render bench: no shader sources\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_library.reset();
    return 0;
}
