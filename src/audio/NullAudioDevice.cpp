#include "audio/NullAudioDevice.h"

#include "foundation/Log.h"

namespace {

class NullAudioBuffer : public IAudioBuffer {
public:
    NullAudioBuffer(int format, int frequency, bool streamed)
        : m_format(format), m_frequency(frequency), m_streamed(streamed) {}
    int getFormat() const override { return m_format; }
    int getFrequency() const override { return m_frequency; }
    float getDurationMs() const override { return 0.0f; }
    bool isStreamed() const override { return m_streamed; }

private:
    int m_format;
    int m_frequency;
    bool m_streamed;
};

class NullAudioSource : public IAudioSource {
public:
    explicit NullAudioSource(IAudioBuffer* buffer) : m_buffer(buffer) {}
    void play(float, int, float) override {}
    void playPlaced(const Vector3&, const Vector3&, const Vector3&, float, float, int) override {}
    bool isPlaying() override { return false; }
    void pause() override {}
    void stop() override {}
    void resume() override {}
    void setGain(float) override {}
    float getGain() override { return 0.0f; }
    void setPosition(const Vector3&) override {}
    Vector3 getPosition() const override { return {}; }
    void setVelocity(const Vector3&) override {}
    Vector3 getVelocity() const override { return {}; }
    void setDirection(const Vector3&) override {}
    Vector3 getDirection() const override { return {}; }
    void setRange(float) override {}
    float getRange() const override { return 0.0f; }
    void setInnerRange(float) override {}
    float getInnerRange() const override { return 0.0f; }
    void setPitch(float) override {}
    float getPitch() override { return 1.0f; }
    IAudioBuffer* getBuffer() const override { return m_buffer.get(); }

private:
    RefPtr<IAudioBuffer> m_buffer;
};

}  // namespace

NullAudioDevice::NullAudioDevice() {
    Log::get() << "Sound\n"
               << "  Driver: NULL\n";
}

RefPtr<IAudioBuffer> NullAudioDevice::createBuffer(const AudioBufferDesc& desc) {
    return RefPtr<IAudioBuffer>(
        new NullAudioBuffer(desc.format, desc.frequency, desc.reader != nullptr));
}

std::unique_ptr<IAudioSource> NullAudioDevice::createSource(const AudioSourceDesc& desc) {
    if (desc.buffer == nullptr) {
        return nullptr;
    }
    return std::make_unique<NullAudioSource>(desc.buffer);
}
