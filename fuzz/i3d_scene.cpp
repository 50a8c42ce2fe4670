// i3d scene files: the loader reads the fuzzer's bytes from memory and builds
// its subtree with the section handlers the game installs (materials,
// terrain, particle systems and precipitation, audio sources, animation,
// physics), so every
// section is parsed and built as in the game; the tree is walked and released
// again. The files a scene refers to get the input's bytes as well, except a
// few fixed ones the seeds name (a heightmap, a texture, a sound, a custom
// shader), so terrains, sounds and materials are really built.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "HostTextureLoader.h"
#include "animation/AnimationSceneHandler.h"
#include "audio/AudioSceneHandler.h"
#include "audio/NullAudioDevice.h"
#include "audio/SampleChunk.h"
#include "effects/EffectsSceneHandler.h"
#include "foundation/ResourceManager.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "render/material/MaterialSceneHandler.h"
#include "scene/Node.h"
#include "scene/SceneRenderContext.h"
#include "scene/i3d/I3DLoader.h"
#include "terrain/TerrainSceneHandler.h"

namespace {

// Visits every node once; bounded by the loader's depth limit.
size_t countNodes(const Node& node) {
    size_t count = 1;
    for (size_t i = 0; i < node.getNumChildren(); ++i) {
        count += countNodes(*node.getChildAt(i));
    }
    return count;
}

std::string waveFile() {
    // 0.1 s of a 16-bit mono square wave at 8 kHz.
    std::string data;
    for (int i = 0; i < 800; ++i) {
        const int16_t value = (i / 20) % 2 == 0 ? 8000 : -8000;
        data += static_cast<char>(value & 0xFF);
        data += static_cast<char>((value >> 8) & 0xFF);
    }
    auto u32 = [](uint32_t v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    };
    std::string fmt = std::string("\x01\x00\x01\x00", 4) + u32(8000) + u32(16000) +
                      std::string("\x02\x00\x10\x00", 4);
    return "RIFF" + u32(static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size())) + "WAVEfmt " +
           u32(static_cast<uint32_t>(fmt.size())) + fmt + "data" +
           u32(static_cast<uint32_t>(data.size())) + data;
}

// The files the seeds name besides the scene itself.
const fuzz::FixedFiles& fixedFiles() {
    static const fuzz::FixedFiles files{
        {"fuzz/height.tga", fuzz::makeTga(33, 33, 1,
                                          [](uint32_t column, uint32_t row, int) {
                                              return static_cast<uint8_t>(column * 5 + row * 3);
                                          })},
        {"fuzz/weights.tga", fuzz::makeTga(33, 33, 1,
                                           [](uint32_t column, uint32_t, int) {
                                               return static_cast<uint8_t>(column < 16 ? 255 : 0);
                                           })},
        {"fuzz/detail.tga", fuzz::makeTga(2, 2, 3,
                                          [](uint32_t column, uint32_t row, int channel) {
                                              return static_cast<uint8_t>(60 * channel +
                                                                          30 * column + row);
                                          })},
        {"fuzz/tone.wav", waveFile()},
        {"fuzz/shader.xml", R"(<CustomShader><LodLevel startDistance="0">
<Textures><Texture name="dirt"/></Textures>
<Parameters><Parameter name="tint" target="In.custom.tint"/></Parameters>
<CodeInjections><CodeInjection position="FS_ALBEDO">albedo *= In.custom.tint;</CodeInjection>
</CodeInjections></LodLevel></CustomShader>)"},
    };
    return files;
}

// What the game sets up once before any scene loads: the silent sound
// device, the resource loaders (textures without a device), the physics world
// (from a fixed settings file) and its handler.
bool setUpOnce() {
    SoundDevice::set(std::make_unique<NullAudioDevice>());
    ResourceManager::instance().registerLoader(std::make_unique<testsupport::HostTextureLoader>());
    registerSoundResourceLoaders();
    static const char kPhysicsXml[] =
        "<physics><gravity>0 -9.81 0</gravity><simulation><timestep>0.016666668</timestep>"
        "<maxiter>4</maxiter></simulation></physics>";
    {
        fuzz::ScopedMemoryFiles files("", reinterpret_cast<const uint8_t*>(kPhysicsXml),
                                      sizeof(kPhysicsXml) - 1);
        PhysicsManager::get().init();
    }
    ScenegraphPhysicsContext::get();
    installPhysicsSceneHandlers(true);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = setUpOnce();
    (void)ready;
    static SceneRenderContext renderContext;
    MaterialSceneHandler materials;
    TerrainSceneHandler terrain;
    AudioSceneHandler audio;
    AnimationSceneHandler animation;
    EffectsSceneHandler effects;
    materials.install();
    terrain.install();
    audio.install();
    animation.install();
    effects.install(EffectsEnvironment{nullptr, &renderContext});
    {
        fuzz::ScopedMemoryFiles files("fuzz/", data, size, &fixedFiles());
        I3DLoadResult result;
        if (loadI3DText("fuzz/scene.i3d", reinterpret_cast<const char*>(data), size, result) &&
            result.root != nullptr) {
            volatile size_t nodes = countNodes(*result.root);
            (void)nodes;
        }
    }
    // The prototypes the effects handler keeps go with the input.
    effects.uninstall();
    animation.uninstall();
    audio.uninstall();
    terrain.uninstall();
    materials.uninstall();
    return 0;
}
