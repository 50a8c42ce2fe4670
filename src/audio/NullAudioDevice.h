#pragma once
// The silent device: accepts every call and plays nothing, so that scripts
// work the same with audio switched off or without a sound card.

#include "audio/ISoundDevice.h"

class NullAudioDevice : public ISoundDevice {
public:
    // Logs the device's start-up lines.
    NullAudioDevice();

    int getKind() const override { return kNull; }
    RefPtr<IAudioBuffer> createBuffer(const AudioBufferDesc& desc) override;
    std::unique_ptr<IAudioSource> createSource(const AudioSourceDesc& desc) override;

    void setListenerPosition(const Vector3&) override {}
    void setListenerVelocity(const Vector3&) override {}
    void setListenerOrientation(const Vector3&, const Vector3&) override {}
    void setListenerGain(float) override {}
    float getListenerGain() override { return 0.0f; }
    void setDopplerFactor(float) override {}
    float getDopplerFactor() override { return 0.0f; }
    void setDopplerVelocity(float) override {}
    float getDopplerVelocity() override { return 0.0f; }

    const char* getVendor() override { return "VORLAN"; }
    const char* getRenderer() override { return "NullAudioDevice"; }
    void getVersion(int& major, int& minor) override {
        major = 0;
        minor = 0;
    }
    bool isFailed() const override { return false; }
    void stopAll() override {}
    void updateStreams() override {}
};
