#pragma once
// The sound device interfaces: the device makes buffers (a whole sound in
// memory, or the description of a stream) and sources (something that plays
// a buffer, placed in the world or relative to the listener), keeps the
// listener and refills streamed sources when the engine asks it to.

#include <cstdint>
#include <memory>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"

// Format codes of a buffer description.
namespace SoundFormat {
constexpr int Mono8 = 0;
constexpr int Stereo8 = 1;
constexpr int Mono16 = 2;
constexpr int Stereo16 = 3;
// 1, 2, 2, 4 for the codes above; 0 for any other code.
int bytesPerFrame(int code);
// The code for a channel count and sample width, or -1 when there is none.
int fromLayout(int channels, int bitsPerSample);
}  // namespace SoundFormat

// The highest sample rate accepted from a sound file; anything above it is
// refused where it enters, so that no chunk or buffer size grows with it.
constexpr int kMaxSampleRate = 384000;

// Delivers a stream's audio a chunk at a time.
class IStreamedData {
public:
    virtual ~IStreamedData() = default;
    // Fills up to `count` bytes; the bytes delivered, fewer at the end of the
    // stream and 0 after it.
    virtual int64_t read(int64_t count, uint8_t* destination) = 0;
    virtual int64_t getChunkSize() const = 0;
    virtual void rewind() = 0;
};

struct AudioBufferDesc {
    int format = SoundFormat::Mono16;
    int frequency = 0;  // Hz
    int channels = 0;
    const uint8_t* data = nullptr;  // copied by the device
    int64_t size = 0;               // bytes
    // With a reader the buffer describes a stream and carries no data; the
    // reader must outlive the buffer.
    IStreamedData* reader = nullptr;
};

// Shared by the resource that made it and every source playing it, so that
// a buffer never goes while a source still plays it.
class IAudioBuffer : public RefCounted {
public:
    virtual int getFormat() const = 0;
    virtual int getFrequency() const = 0;
    // Length of the sound; 0 for streams, the silent device and a buffer
    // without a frequency.
    virtual float getDurationMs() const = 0;
    virtual bool isStreamed() const = 0;
};

struct AudioSourceDesc {
    IAudioBuffer* buffer = nullptr;
    // Placed in the world and attenuated by distance; otherwise relative to
    // the listener without attenuation.
    bool spatial = false;
};

class IAudioSource {
public:
    virtual ~IAudioSource() = default;
    // Static sources loop when `loop` is not 0 and start `offsetSeconds`
    // into the sound; streamed sources play their stream `loop` extra times.
    virtual void play(float gain, int loop, float offsetSeconds) = 0;
    virtual void playPlaced(const Vector3& position, const Vector3& velocity,
                            const Vector3& direction, float gain, float pitch, int loop) = 0;
    virtual bool isPlaying() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void resume() = 0;
    virtual void setGain(float gain) = 0;
    virtual float getGain() = 0;
    // Position, velocity and direction matter for spatial sources only.
    virtual void setPosition(const Vector3& position) = 0;
    virtual Vector3 getPosition() const = 0;
    virtual void setVelocity(const Vector3& velocity) = 0;
    virtual Vector3 getVelocity() const = 0;
    virtual void setDirection(const Vector3& direction) = 0;
    virtual Vector3 getDirection() const = 0;
    // The gain falls from 1 at the inner range to 0.05 at the range.
    virtual void setRange(float range) = 0;
    virtual float getRange() const = 0;
    virtual void setInnerRange(float innerRange) = 0;
    virtual float getInnerRange() const = 0;
    // Clamped to [0.5, 2.0].
    virtual void setPitch(float pitch) = 0;
    virtual float getPitch() = 0;
    virtual IAudioBuffer* getBuffer() const = 0;
};

class ISoundDevice {
public:
    // Kinds of device.
    static constexpr int kOpenAL = 1;
    static constexpr int kNull = 3;

    virtual ~ISoundDevice() = default;
    virtual int getKind() const = 0;

    // None when the description cannot be played (logged).
    virtual RefPtr<IAudioBuffer> createBuffer(const AudioBufferDesc& desc) = 0;
    // None without a buffer.
    virtual std::unique_ptr<IAudioSource> createSource(const AudioSourceDesc& desc) = 0;

    virtual void setListenerPosition(const Vector3& position) = 0;
    virtual void setListenerVelocity(const Vector3& velocity) = 0;
    virtual void setListenerOrientation(const Vector3& at, const Vector3& up) = 0;
    virtual void setListenerGain(float gain) = 0;
    virtual float getListenerGain() = 0;
    virtual void setDopplerFactor(float factor) = 0;
    virtual float getDopplerFactor() = 0;
    virtual void setDopplerVelocity(float velocity) = 0;
    virtual float getDopplerVelocity() = 0;

    virtual const char* getVendor() = 0;
    virtual const char* getRenderer() = 0;
    virtual void getVersion(int& major, int& minor) = 0;
    virtual bool isFailed() const = 0;

    virtual void stopAll() = 0;
    // Refills the streamed sources; called every 100 ms of game time.
    virtual void updateStreams() = 0;
};

// The process-wide sound device.
namespace SoundDevice {
// None before start-up made one and after shutdown.
ISoundDevice* get();
// Replaces (and destroys) the current device.
void set(std::unique_ptr<ISoundDevice> device);
}  // namespace SoundDevice
