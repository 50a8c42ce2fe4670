// Generated shaders: the time from a shader key to a ready program pair,
// cold (preprocess, compile, GL link, cache file written), warm (read from
// the cache files, GL link) and the lookup of a known key; and the same for
// thirty distinct keys, as a game meets them on its first frame.
//
// Run headless: SDL_VIDEODRIVER=offscreen (Mesa llvmpipe through EGL).

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "render/shader/ShaderLibrary.h"

namespace {

IRenderDevice* g_device = nullptr;
std::unique_ptr<IVertexBuffer> g_vertices;
std::unique_ptr<IVertexDeclaration> g_declaration;
std::string g_cacheFolder;

void clearCache() {
    if (DIR* dir = opendir(g_cacheFolder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                std::remove((g_cacheFolder + name).c_str());
            }
        }
        closedir(dir);
    }
}

// Thirty keys: light counts, maps, fog and vertex colour varied.
std::vector<ShaderKey> makeKeys(int count) {
    std::vector<ShaderKey> keys;
    for (int i = 0; keys.size() < static_cast<size_t>(count); ++i) {
        ShaderKey key;
        key.words[0] = ShaderKey::kAmbient | ShaderKey::kDiffuse;
        if (i & 1)
            key.words[0] |= ShaderKey::kAlbedoMap;
        if (i & 2)
            key.words[0] |= ShaderKey::kSpecular;
        if (i & 4)
            key.words[0] |= ShaderKey::kNormalMap;
        if (i & 8) {
            key.words[0] |= ShaderKey::kFog;
            key.setFogModes(1, 0);
        }
        key.setLightCount(ShaderLightKind::Directional, false, 1 + (i >> 4) % 2);
        keys.push_back(key);
    }
    return keys;
}

// Builds (or finds) the pair and draws one triangle with it, which links
// the GL program.
void readyPair(ShaderLibrary& library, const ShaderKey& key) {
    Shader* vertex = nullptr;
    Shader* fragment = nullptr;
    if (!library.getShaders(key, nullptr, vertex, fragment)) {
        std::fprintf(stderr, "render bench: a key failed to build\n");
        std::exit(1);
    }
    g_device->bindVertexShader(vertex->getObject());
    g_device->bindFragmentShader(fragment->getObject());
    g_device->setVertexBuffer(g_vertices.get());
    g_device->setIndexBuffer(nullptr);
    g_device->bindVertexDeclaration(g_declaration.get());
    g_device->draw(3, 0, PT_TRIANGLE_LIST);
    g_device->unbindVertexDeclaration();
    g_device->flush();
}

void runKeys(benchmark::State& state, bool warm) {
    const std::vector<ShaderKey> keys = makeKeys(static_cast<int>(state.range(0)));
    clearCache();
    if (warm) {
        ShaderLibrary library(*g_device, g_cacheFolder);
        for (const ShaderKey& key : keys)
            readyPair(library, key);
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (!warm)
            clearCache();
        auto library = std::make_unique<ShaderLibrary>(*g_device, g_cacheFolder);
        library->loadSharedSources();
        state.ResumeTiming();
        for (const ShaderKey& key : keys)
            readyPair(*library, key);
        state.PauseTiming();
        library.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_KeyToProgramCold(benchmark::State& state) {
    runKeys(state, false);
}
BENCHMARK(BM_KeyToProgramCold)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_KeyToProgramWarm(benchmark::State& state) {
    runKeys(state, true);
}
BENCHMARK(BM_KeyToProgramWarm)->Arg(1)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_KnownKeyLookup(benchmark::State& state) {
    const std::vector<ShaderKey> keys = makeKeys(30);
    ShaderLibrary library(*g_device, g_cacheFolder);
    for (const ShaderKey& key : keys)
        readyPair(library, key);
    size_t i = 0;
    for (auto _ : state) {
        Shader* vertex = nullptr;
        Shader* fragment = nullptr;
        benchmark::DoNotOptimize(library.getShaders(keys[i], nullptr, vertex, fragment));
        i = (i + 1) % keys.size();
    }
}
BENCHMARK(BM_KnownKeyLookup);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    auto device = createRenderDevice();
    RenderWindowSettings settings;
    settings.width = settings.height = 64;
    settings.fullScreen = false;
    settings.verticalSync = false;
    if (!device->init(false) || !device->createRenderWindow(settings)) {
        std::fprintf(stderr, "render bench: no device or window\n");
        return 1;
    }
    g_device = device.get();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    char folder[] = "/tmp/render-bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    g_cacheFolder = std::string(folder) + "/";
    // Position, normal, texture coordinates.
    const float vertices[3 * 8] = {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0,
                                   0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1};
    g_vertices = device->createVertexBuffer(sizeof(vertices), vertices, BU_STATIC);
    VertexDeclarationDesc desc;
    desc.position.type = VET_FLOAT3;
    desc.normal.type = VET_FLOAT3;
    desc.texCoords[0].type = VET_FLOAT2;
    g_declaration = device->createVertexDeclaration(desc);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    clearCache();
    rmdir(folder);
    g_declaration.reset();
    g_vertices.reset();
    device->destroyRenderWindow();
    FileSystem::clearFileLoaders();
    return 0;
}
