// audio_bench: the CPU cost of one audio update of a scene with 200 audio
// sources (on the silent device and on OpenAL Soft's null backend), and the
// decode time of one stream refill (a quarter of a second of Ogg Vorbis).

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "SoundTestFiles.h"
#include "TestSupport.h"
#include "audio/AudioOGGLoader.h"
#include "audio/AudioSource.h"
#include "audio/NullAudioDevice.h"
#include "audio/OpenALSoundDevice.h"
#include "audio/SampleChunk.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

constexpr int kRate = 44100;

struct Fixture {
    testsupport::TempDir dir;
    Fixture() {
        testsupport::writeFile(dir / "alsoft.conf", "[general]\ndrivers = null\n");
        setenv("ALSOFT_CONF", (dir / "alsoft.conf").c_str(), 1);
        testsupport::writeFile(
            dir / "tone.wav",
            soundtest::waveBytes(soundtest::tone(440.0, 1.0, kRate, 1), 1, kRate));
        testsupport::writeFile(
            dir / "music.ogg",
            soundtest::oggBytes(soundtest::tone(440.0, 20.0, kRate, 2), 2, kRate));
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 0));
        registerSoundResourceLoaders();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// 200 sources on a 20 x 10 grid, 8 units apart, in 10 groups; the camera
// walks along the grid so that sources enter and leave the audible set.
// Range 10 hears a handful at a time, range 400 all of them.
void AudioSourceUpdate(benchmark::State& state) {
    fixture();
    const bool openAL = state.range(0) != 0;
    const auto range = static_cast<float>(state.range(1));
    SoundDevice::set(openAL ? createOpenALSoundDevice(OpenALDeviceKind::GenericSoftware)
                            : std::make_unique<NullAudioDevice>());
    if (SoundDevice::get()->isFailed()) {
        state.SkipWithError("no OpenAL device");
        return;
    }
    {
        TransformGroup root("root");
        for (int g = 0; g < 10; ++g) {
            auto* group = new TransformGroup("row");
            group->setTranslation({0.0f, 0.0f, g * 8.0f});
            root.addChild(group);
            for (int i = 0; i < 20; ++i) {
                auto* source = new AudioSource("s", "tone.wav", range, 1.0f, 1.0f, 0);
                source->setTranslation({i * 8.0f, 0.0f, 0.0f});
                group->addChild(source);
            }
        }
        AudioSourceUpdater updater;
        float x = 0.0f;
        size_t audible = 0;
        for (auto _ : state) {
            x = x > 160.0f ? 0.0f : x + 1.5f;
            const Vector3 camera{x, 0.0f, 36.0f};
            SoundDevice::get()->setListenerPosition(camera);
            updater.update(root, camera, 16.0f);
            audible += updater.getNumAudible();
        }
        state.counters["audible"] =
            static_cast<double>(audible) / static_cast<double>(state.iterations());
    }
    SoundDevice::set(nullptr);
}
BENCHMARK(AudioSourceUpdate)
    ->ArgsProduct({{0, 1}, {10, 400}})
    ->ArgNames({"openal", "range"})
    ->Unit(benchmark::kMicrosecond);

// What one refill decodes: a quarter of a second of 44.1 kHz stereo.
void StreamRefillDecode(benchmark::State& state) {
    fixture();
    SoundDevice::set(std::make_unique<NullAudioDevice>());
    {
        AudioOGGLoader loader("music.ogg", SoundDevice::get());
        std::vector<uint8_t> chunk(static_cast<size_t>(loader.getChunkSize()));
        for (auto _ : state) {
            if (loader.read(static_cast<int64_t>(chunk.size()), chunk.data()) <
                static_cast<int64_t>(chunk.size())) {
                loader.rewind();
            }
            benchmark::DoNotOptimize(chunk.data());
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk.size()));
    }
    SoundDevice::set(nullptr);
}
BENCHMARK(StreamRefillDecode)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
