// Whole frames of a 1280 × 720 test scene with and without each of the
// renderer's extra views: a floor with 25 tori lit by a sun, a spot and a
// point light, all three throwing shadows, a mirror, a refractive pane and a
// depth-blended water surface.
//
// BM_FeatureFrame/0: no shadows (quality 0), plain materials;
// /1: shadows (quality 1); /2: + the planar mirror; /3: + the refractive
// pane; /4: + the depth-blended water; /5: everything.
// Counters: draw calls per frame (all views together) and the views drawn.
// Each frame swaps (and so waits on the frame fence) once.
//
// Run headless: SDL_VIDEODRIVER=offscreen (Mesa llvmpipe through EGL).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "render/material/Material.h"
#include "render/overlay/Screenshot.h"
#include "render/scene/SceneRenderer.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr float kDegrees = static_cast<float>(std::numbers::pi) / 180.0f;

IRenderDevice* g_device = nullptr;
IRenderWindow* g_window = nullptr;
std::unique_ptr<ShaderLibrary> g_library;

RefPtr<Geometry> surfaceGeometry(float half) {
    return RefPtr<Geometry>(
        new IndexedFaceSetGeometry("surface", makeFloorMesh(half), VertexAttribute::Normal));
}

struct FeatureScene {
    enum Feature { kShadows = 1, kMirror = 2, kRefraction = 4, kDepthBlend = 8 };

    explicit FeatureScene(int features) {
        root = createRootNode(context);
        context.environment.ambientColor = {0.2f, 0.2f, 0.2f};
        camera = new Camera("camera", 60.0f, 0.5f, 200.0f);
        camera->setTranslation({0, 8, 14});
        camera->setRotation({-30.0f * kDegrees, 0, 0});
        root->addChild(camera);
        context.setActiveCamera(camera);

        MaterialDesc plain;
        plain.ambientColor = {0.8f, 0.8f, 0.8f};
        paint = MaterialLibrary::get(plain);
        addShape(floorGeometry.get(), paint.get(), {0, 0, 0})
            ->addShapeFlags(Shape::kReceivesShadows);
        for (int i = 0; i < 25; ++i) {
            Shape* torus = addShape(torusGeometry.get(), paint.get(),
                                    {float(i % 5) * 3.0f - 6.0f, 1.0f, float(i / 5) * 3.0f - 6.0f});
            torus->addShapeFlags(Shape::kCastsShadows | Shape::kReceivesShadows);
        }
        addLight(LightSource::Directional, {0, 10, 0}, {-60.0f, 30.0f, 0});
        addLight(LightSource::Spot, {-5, 8, 5}, {-60.0f, -30.0f, 0});
        addLight(LightSource::Point, {4, 4, 2}, {0, 0, 0});

        MaterialDesc mirrorDesc = plain;
        mirrorDesc.reflectionMap = (features & kMirror) != 0;
        mirrorDesc.refractiveIndex = 0.0f;
        mirror = MaterialLibrary::get(mirrorDesc);
        addShape(mirrorGeometry.get(), mirror.get(), {6, 0.05f, 6});

        MaterialDesc paneDesc = plain;
        paneDesc.refractionMap = (features & kRefraction) != 0;
        pane = MaterialLibrary::get(paneDesc);
        Shape* paneShape = addShape(mirrorGeometry.get(), pane.get(), {0, 2, 4});
        paneShape->setRotation({90.0f * kDegrees, 0, 0});

        MaterialDesc waterDesc;
        waterDesc.ambientColor = {0.1f, 0.3f, 0.6f};
        waterDesc.alphaBlending = true;
        waterDesc.opacity = 0.8f;
        waterDesc.depthBlendMap = (features & kDepthBlend) != 0;
        water = MaterialLibrary::get(waterDesc);
        addShape(mirrorGeometry.get(), water.get(), {-6, 0.3f, 6});
    }

    Shape* addShape(Geometry* geometry, Material* material, const Vector3& at) {
        auto* shape = new Shape("shape");
        shape->setGeometry(geometry);
        shape->addMaterial(material);
        shape->setTranslation(at);
        root->addChild(shape);
        return shape;
    }

    void addLight(int type, const Vector3& at, const Vector3& rotationDegrees) {
        LightSource::Settings settings;
        settings.type = type;
        settings.range = 30.0f;
        settings.diffuseColor = {0.5f, 0.5f, 0.5f};
        settings.castsShadowMap = true;
        settings.shadowFarDistance = 20.0f;
        auto* light = new LightSource("light", settings);
        light->setTranslation(at);
        light->setRotation(rotationDegrees * kDegrees);
        root->addChild(light);
    }

    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
    RefPtr<Geometry> floorGeometry = surfaceGeometry(10.0f);
    RefPtr<Geometry> mirrorGeometry = surfaceGeometry(2.0f);
    RefPtr<Geometry> torusGeometry{new IndexedFaceSetGeometry(
        "torus", makeTorusMesh(24, 12, 0.8f, 0.3f), VertexAttribute::Normal)};
    RefPtr<Material> paint;
    RefPtr<Material> mirror;
    RefPtr<Material> pane;
    RefPtr<Material> water;
};

void BM_FeatureFrame(benchmark::State& state) {
    static const int kFeatures[] = {0,
                                    FeatureScene::kShadows,
                                    FeatureScene::kShadows | FeatureScene::kMirror,
                                    FeatureScene::kShadows | FeatureScene::kRefraction,
                                    FeatureScene::kShadows | FeatureScene::kDepthBlend,
                                    FeatureScene::kShadows | FeatureScene::kMirror |
                                        FeatureScene::kRefraction | FeatureScene::kDepthBlend};
    const int features = kFeatures[state.range(0)];
    FeatureScene scene(features);
    SceneRenderer renderer(*g_device, *g_library);
    renderer.setShadowQuality((features & FeatureScene::kShadows) ? 1.0f : 0.0f);
    // The first frame builds the shaders and the depth-blend map.
    renderer.render(scene.context, kWidth, kHeight, 16.0f);
    g_window->swapBuffers();
    for (auto _ : state) {
        g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
        renderer.render(scene.context, kWidth, kHeight, 16.0f);
        g_window->swapBuffers();
    }
    const SceneRenderer::FrameCounts& counts = renderer.getLastFrameCounts();
    state.counters["draw calls"] = scene.context.statistics.drawCalls;
    state.counters["shadow views"] = counts.shadowMapViews;
    state.counters["reflection views"] = counts.reflectionViews;
    state.counters["refraction copies"] = counts.refractionCopies;
}
BENCHMARK(BM_FeatureFrame)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::unique_ptr<IRenderDevice> device = createRenderDevice();
    RenderWindowSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.fullScreen = false;
    settings.verticalSync = false;
    if (!device->init(false) || (g_window = device->createRenderWindow(settings)) == nullptr) {
        std::fprintf(stderr, "shadow render bench: no GL window\n");
        return 1;
    }
    g_device = device.get();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    char folder[] = "/tmp/shadow-render-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    g_library = std::make_unique<ShaderLibrary>(*g_device, std::string(folder) + "/");
    if (!g_library->loadSharedSources()) {
        std::fprintf(stderr, "shadow render bench: no shader sources\n");
        return 1;
    }
    if (const char* shot = std::getenv("SHADOW_BENCH_SCREENSHOT")) {
        FeatureScene scene(15);
        SceneRenderer renderer(*g_device, *g_library);
        renderer.setShadowQuality(1.0f);
        for (int i = 0; i < 2; ++i) {
            g_device->clear(CLEAR_COLOUR | CLEAR_DEPTH, nullptr, 1.0f, 0);
            renderer.render(scene.context, kWidth, kHeight, 16.0f);
        }
        saveScreenshot(*g_device, shot);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_library.reset();
    return 0;
}
