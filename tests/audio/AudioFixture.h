#pragma once
// A sound device on OpenAL Soft's wave-file backend for one test, with a
// folder of sound files made by the test and the mix read back once the
// device is closed.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CapturingLogSink.h"
#include "SoundTestFiles.h"
#include "TestSupport.h"
#include "audio/ISoundDevice.h"
#include "audio/OpenALSoundDevice.h"
#include "audio/SampleChunk.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"

class AudioFixture : public ::testing::Test {
protected:
    static constexpr int kRate = 44100;

    static const testsupport::TempDir& outputDir() {
        static testsupport::TempDir dir;
        return dir;
    }
    static std::string mixPath() { return outputDir() / "mix.wav"; }

    static void SetUpTestSuite() {
        soundtest::useWaveBackend(outputDir() / "alsoft.conf", mixPath());
    }

    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_files.path(), 0));
        registerSoundResourceLoaders();
        SoundDevice::set(createOpenALSoundDevice(OpenALDeviceKind::GenericSoftware));
        ASSERT_FALSE(device().isFailed()) << m_log.text();
        // The backend writes from its first mix on: a mix that begins with
        // silence shows where the first sound starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    void TearDown() override {
        SoundDevice::set(nullptr);
        FileSystem::clearFileLoaders();
    }

    ISoundDevice& device() { return *SoundDevice::get(); }

    void writeTone(const std::string& name, double frequency, double seconds, int channels = 1) {
        testsupport::writeFile(
            m_files / name,
            soundtest::waveBytes(soundtest::tone(frequency, seconds, kRate, channels), channels,
                                 kRate));
    }
    void writeOgg(const std::string& name, double frequency, double seconds) {
        testsupport::writeFile(
            m_files / name,
            soundtest::oggBytes(soundtest::tone(frequency, seconds, kRate, 1), 1, kRate));
    }

    // Waits while the device mixes, refilling streams every 20 ms as the
    // engine does every 100.
    void wait(int ms) {
        for (int t = 0; t < ms; t += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            device().updateStreams();
        }
    }

    // Closes the device; the wave file is complete only then.
    soundtest::Mix finish() {
        SoundDevice::set(nullptr);
        soundtest::Mix mix;
        EXPECT_TRUE(soundtest::readMix(mixPath(), mix));
        return mix;
    }

    testsupport::TempDir m_files;
    testsupport::ScopedLogCapture m_log;
};

// Level of a stretch that counts as sound, and as silence.
constexpr double kSounding = 1000.0;
constexpr double kSilent = 30.0;
