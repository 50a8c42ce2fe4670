#include "audio/OpenALSoundDevice.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <vector>

#include "foundation/Log.h"

namespace {

class OpenALSoundDevice;

// Gains come from scripts: negative or not a number is silence.
float nonNegativeGain(float gain) {
    return gain > 0.0f ? gain : 0.0f;
}

ALenum alFormat(int code) {
    switch (code) {
        case SoundFormat::Mono8:
            return AL_FORMAT_MONO8;
        case SoundFormat::Stereo8:
            return AL_FORMAT_STEREO8;
        case SoundFormat::Mono16:
            return AL_FORMAT_MONO16;
        case SoundFormat::Stereo16:
            return AL_FORMAT_STEREO16;
        default:
            return AL_NONE;
    }
}

// Logs `prefix` + error name + `suffix` when the last call failed; true when
// it did.
bool logALError(const char* prefix, const char* suffix = "\n") {
    ALenum error = alGetError();
    if (error == AL_NO_ERROR) {
        return false;
    }
    Log::get() << prefix << openALErrorName(error) << suffix;
    return true;
}

// Logs a fixed text when the last call failed.
bool alFailed(const char* message) {
    if (alGetError() == AL_NO_ERROR) {
        return false;
    }
    Log::get() << message;
    return true;
}

class OpenALAudioBaseBuffer : public IAudioBuffer {
public:
    OpenALAudioBaseBuffer(OpenALSoundDevice* device, const AudioBufferDesc& desc, bool streamed);
    ~OpenALAudioBaseBuffer() override;

    int getFormat() const override { return m_alFormat; }
    int getFrequency() const override { return m_frequency; }
    float getDurationMs() const override {
        if (m_streamed || m_bytesPerFrame <= 0 || m_frequency <= 0) {
            return 0.0f;
        }
        double frames = static_cast<double>(m_size / m_bytesPerFrame);
        return static_cast<float>(frames / m_frequency * 1000.0);
    }
    bool isStreamed() const override { return m_streamed; }

    ALuint getName() const { return m_name; }
    IStreamedData* getReader() const { return m_reader; }
    int getBytesPerFrame() const { return m_bytesPerFrame; }
    // The device goes: the OpenAL buffer is deleted now.
    void detach();

private:
    friend class OpenALSoundDevice;
    OpenALSoundDevice* m_device;
    bool m_streamed;
    ALenum m_alFormat;
    ALuint m_name = 0;
    int m_frequency;
    int m_bytesPerFrame;
    int64_t m_size = 0;
    IStreamedData* m_reader = nullptr;
};

class OpenALAudioBaseSource : public IAudioSource {
public:
    OpenALAudioBaseSource(OpenALSoundDevice* device, IAudioBuffer* buffer, bool spatial)
        : m_device(device), m_buffer(buffer), m_spatial(spatial) {}

    bool isPlaying() override {
        if (m_name == 0) {
            return false;
        }
        ALint state = AL_STOPPED;
        alGetSourcei(m_name, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }
    void setGain(float gain) override {
        if (m_name != 0) {
            alSourcef(m_name, AL_GAIN, nonNegativeGain(gain));
        }
    }
    float getGain() override {
        ALfloat gain = 0.0f;
        if (m_name != 0) {
            alGetSourcef(m_name, AL_GAIN, &gain);
        }
        return gain;
    }
    void setPosition(const Vector3& position) override {
        if (m_name != 0 && m_spatial) {
            m_position = position;
            alSource3f(m_name, AL_POSITION, position.x, position.y, position.z);
        }
    }
    Vector3 getPosition() const override { return m_position; }
    void setVelocity(const Vector3& velocity) override {
        if (m_name != 0 && m_spatial) {
            m_velocity = velocity;
            alSource3f(m_name, AL_VELOCITY, velocity.x, velocity.y, velocity.z);
        }
    }
    Vector3 getVelocity() const override { return m_velocity; }
    void setDirection(const Vector3& direction) override {
        if (m_name != 0 && m_spatial) {
            m_direction = direction;
            alSource3f(m_name, AL_DIRECTION, direction.x, direction.y, direction.z);
        }
    }
    Vector3 getDirection() const override { return m_direction; }
    void setRange(float range) override {
        m_range = range > 0.0f ? range : 0.0f;
        applyRange();
    }
    float getRange() const override { return m_range; }
    void setInnerRange(float innerRange) override {
        m_innerRange = innerRange > 0.0f ? innerRange : 0.0f;
        applyRange();
    }
    float getInnerRange() const override { return m_innerRange; }
    void setPitch(float pitch) override {
        if (m_name != 0) {
            alSourcef(m_name, AL_PITCH, std::clamp(pitch, 0.5f, 2.0f));
        }
    }
    float getPitch() override {
        ALfloat pitch = 1.0f;
        if (m_name != 0) {
            alGetSourcef(m_name, AL_PITCH, &pitch);
        }
        return pitch;
    }
    IAudioBuffer* getBuffer() const override { return m_buffer.get(); }

    // The device goes: the OpenAL objects are deleted now and every later
    // call does nothing.
    virtual void detach() = 0;

protected:
    friend class OpenALSoundDevice;

    void applyRange() {
        if (m_name == 0 || !m_spatial) {
            return;
        }
        alSourcef(m_name, AL_REFERENCE_DISTANCE, m_innerRange);
        alSourcef(m_name, AL_MAX_DISTANCE, m_range);
        alSourcef(m_name, AL_ROLLOFF_FACTOR, rangeRolloffFactor(m_range, m_innerRange));
    }

    OpenALSoundDevice* m_device;
    RefPtr<IAudioBuffer> m_buffer;
    bool m_spatial;
    ALuint m_name = 0;
    Vector3 m_position;
    Vector3 m_velocity;
    Vector3 m_direction;
    float m_range = 10.0f;
    float m_innerRange = 1.0f;
};

class OpenALAudioStaticSource : public OpenALAudioBaseSource {
public:
    OpenALAudioStaticSource(OpenALSoundDevice* device, OpenALAudioBaseBuffer* buffer, bool spatial);
    ~OpenALAudioStaticSource() override;

    void play(float gain, int loop, float offsetSeconds) override;
    void playPlaced(const Vector3& position, const Vector3& velocity, const Vector3& direction,
                    float gain, float pitch, int loop) override;
    void pause() override {
        if (m_name != 0) {
            alSourcePause(m_name);
        }
    }
    void stop() override {
        if (m_name != 0) {
            alSourceStop(m_name);
        }
    }
    void resume() override {
        if (m_name == 0) {
            return;
        }
        ALint state = AL_STOPPED;
        alGetSourcei(m_name, AL_SOURCE_STATE, &state);
        if (state == AL_PAUSED) {
            alSourcePlay(m_name);
        }
    }
    void detach() override;
};

class OpenALAudioStreamedSource : public OpenALAudioBaseSource {
public:
    OpenALAudioStreamedSource(OpenALSoundDevice* device, OpenALAudioBaseBuffer* buffer,
                              bool spatial);
    ~OpenALAudioStreamedSource() override;

    void play(float gain, int loop, float offsetSeconds) override;
    void playPlaced(const Vector3&, const Vector3&, const Vector3&, float gain, float,
                    int loop) override {
        play(gain, loop, 0.0f);
    }
    void pause() override;
    void stop() override;
    void resume() override;
    void detach() override;

    // Refills what OpenAL has played; restarts a stream that ran dry
    // between two updates; ends the stream when nothing is left to queue.
    void update();

private:
    enum class State { Stopped, Playing, Paused };

    // Reads the next chunk into `buffer` and queues it; false when the
    // stream had nothing more to give.
    bool refill(ALuint buffer);
    void unqueueAll();
    ALint queuedBuffers() const;

    IStreamedData* m_reader = nullptr;
    std::vector<uint8_t> m_chunk;
    ALuint m_buffers[2] = {0, 0};
    bool m_failed = false;
    int m_frequency = 0;
    ALenum m_alFormat = AL_NONE;
    int m_loopsRemaining = 0;
    State m_state = State::Stopped;
};

class OpenALSoundDevice : public ISoundDevice {
public:
    explicit OpenALSoundDevice(int deviceKind);
    ~OpenALSoundDevice() override;

    int getKind() const override { return kOpenAL; }
    RefPtr<IAudioBuffer> createBuffer(const AudioBufferDesc& desc) override;
    std::unique_ptr<IAudioSource> createSource(const AudioSourceDesc& desc) override;

    void setListenerPosition(const Vector3& p) override {
        if (usable()) {
            alListener3f(AL_POSITION, p.x, p.y, p.z);
        }
    }
    void setListenerVelocity(const Vector3& v) override {
        if (usable()) {
            alListener3f(AL_VELOCITY, v.x, v.y, v.z);
        }
    }
    void setListenerOrientation(const Vector3& at, const Vector3& up) override {
        if (usable()) {
            const ALfloat values[6] = {at.x, at.y, at.z, up.x, up.y, up.z};
            alListenerfv(AL_ORIENTATION, values);
        }
    }
    void setListenerGain(float gain) override {
        if (usable()) {
            alListenerf(AL_GAIN, nonNegativeGain(gain));
            logDeviceError();
        }
    }
    float getListenerGain() override {
        ALfloat gain = 0.0f;
        if (usable()) {
            alGetListenerf(AL_GAIN, &gain);
            logDeviceError();
        }
        return gain;
    }
    void setDopplerFactor(float factor) override {
        if (usable()) {
            alDopplerFactor(factor);
            logDeviceError();
        }
    }
    float getDopplerFactor() override {
        float value = 0.0f;
        if (usable()) {
            value = alGetFloat(AL_DOPPLER_FACTOR);
            logDeviceError();
        }
        return value;
    }
    void setDopplerVelocity(float velocity) override {
        if (usable()) {
            alDopplerVelocity(velocity);
            logDeviceError();
        }
    }
    float getDopplerVelocity() override {
        float value = 0.0f;
        if (usable()) {
            value = alGetFloat(AL_DOPPLER_VELOCITY);
            if (alGetError() != AL_NO_ERROR) {
                Log::get() << "Error: Can't get doppler velocity (OpenAL)";
            }
        }
        return value;
    }

    const char* getVendor() override { return alText(AL_VENDOR); }
    const char* getRenderer() override { return alText(AL_RENDERER); }
    void getVersion(int& major, int& minor) override {
        ALCint values[2] = {0, 0};
        if (m_device != nullptr) {
            alcGetIntegerv(m_device, ALC_MAJOR_VERSION, 1, &values[0]);
            alcGetIntegerv(m_device, ALC_MINOR_VERSION, 1, &values[1]);
        }
        major = values[0];
        minor = values[1];
    }
    bool isFailed() const override { return m_failed; }

    void stopAll() override {
        for (OpenALAudioBaseSource* source : m_sources) {
            source->stop();
        }
    }
    void updateStreams() override {
        for (OpenALAudioStreamedSource* source : m_streamedSources) {
            source->update();
        }
    }

    bool usable() const { return m_context != nullptr; }
    void forgetSource(OpenALAudioBaseSource* source) { erase(m_sources, source); }
    void forgetStreamedSource(OpenALAudioStreamedSource* source) {
        erase(m_streamedSources, source);
    }
    void forgetBuffer(OpenALAudioBaseBuffer* buffer) { erase(m_buffers, buffer); }

private:
    template <typename T>
    static void erase(std::vector<T*>& list, T* item) {
        auto it = std::find(list.begin(), list.end(), item);
        if (it != list.end()) {
            list.erase(it);
        }
    }
    const char* alText(ALenum which) {
        const ALchar* text = usable() ? alGetString(which) : nullptr;
        return text != nullptr ? text : "";
    }
    // The device's own calls report with the context error names.
    void logDeviceError() {
        ALenum error = alGetError();
        if (error != AL_NO_ERROR) {
            Log::get() << "Error: " << openALContextErrorName(error) << " (OpenAL)";
        }
    }
    bool contextFailed() {
        ALCenum error = alcGetError(m_device);
        if (error == ALC_NO_ERROR) {
            return false;
        }
        Log::get() << "Error: " << openALContextErrorName(error) << "  (OpenAL)\n";
        m_failed = true;
        return true;
    }

    bool m_failed = false;
    ALCdevice* m_device = nullptr;
    ALCcontext* m_context = nullptr;
    std::vector<OpenALAudioStreamedSource*> m_streamedSources;
    std::vector<OpenALAudioBaseSource*> m_sources;
    std::vector<OpenALAudioBaseBuffer*> m_buffers;
    int m_deviceKind;
};

// ---- buffers ----

OpenALAudioBaseBuffer::OpenALAudioBaseBuffer(OpenALSoundDevice* device, const AudioBufferDesc& desc,
                                             bool streamed)
    : m_device(device),
      m_streamed(streamed),
      m_alFormat(alFormat(desc.format)),
      m_frequency(desc.frequency),
      m_bytesPerFrame(SoundFormat::bytesPerFrame(desc.format)) {
    if (streamed) {
        m_reader = desc.reader;
        return;
    }
    alGetError();
    alGenBuffers(1, &m_name);
    if (alFailed("Error: Creating Sound buffer (OpenAL)\n")) {
        m_name = 0;
        return;
    }
    alBufferData(m_name, m_alFormat, desc.data, static_cast<ALsizei>(desc.size), m_frequency);
    if (alFailed("Error: Creating Sound buffer (OpenAL)\n")) {
        alDeleteBuffers(1, &m_name);
        alGetError();
        m_name = 0;
        return;
    }
    m_size = desc.size;
}

OpenALAudioBaseBuffer::~OpenALAudioBaseBuffer() {
    detach();
    if (m_device != nullptr) {
        m_device->forgetBuffer(this);
    }
}

void OpenALAudioBaseBuffer::detach() {
    if (m_name != 0) {
        alGetError();
        alDeleteBuffers(1, &m_name);
        alFailed("Error: Deleting buffer (OpenAL)\n");
        m_name = 0;
    }
}

// ---- static sources ----

OpenALAudioStaticSource::OpenALAudioStaticSource(OpenALSoundDevice* device,
                                                 OpenALAudioBaseBuffer* buffer, bool spatial)
    : OpenALAudioBaseSource(device, buffer, spatial) {
    alGetError();
    alGenSources(1, &m_name);
    if (logALError("Error (alGenSources): Creating source (OpenAL): ")) {
        m_name = 0;
        return;
    }
    alSourcei(m_name, AL_BUFFER, static_cast<ALint>(buffer->getName()));
    logALError("Error (alSourcei - AL_BUFFER): Creating source (OpenAL): ");
    alSourcef(m_name, AL_PITCH, 1.0f);
    logALError("Error (alSourcef - AL_PITCH): Creating source (OpenAL): ");
    alSourcef(m_name, AL_GAIN, 1.0f);
    logALError("Error (alSourcef - AL_GAIL): Creating source (OpenAL): ");
    alSourcei(m_name, AL_SOURCE_RELATIVE, spatial ? AL_FALSE : AL_TRUE);
    logALError("Error (alSourcei - AL_SOURCE_RELATIVE): Creating source (OpenAL): ");
    alSource3f(m_name, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(m_name, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSource3f(m_name, AL_DIRECTION, 0.0f, 0.0f, 0.0f);
    alSourcei(m_name, AL_LOOPING, AL_FALSE);
    if (!spatial) {
        alSourcef(m_name, AL_ROLLOFF_FACTOR, 0.0f);
    }
    alSourcef(m_name, AL_MIN_GAIN, 0.0f);
    logALError("Error (alSourcei - AL_MIN_GAIN): Creating source (OpenAL): ");
    applyRange();
}

OpenALAudioStaticSource::~OpenALAudioStaticSource() {
    detach();
    if (m_device != nullptr) {
        m_device->forgetSource(this);
    }
}

void OpenALAudioStaticSource::detach() {
    if (m_name == 0) {
        return;
    }
    alGetError();
    alSourceStop(m_name);
    alSourcei(m_name, AL_BUFFER, 0);
    alFailed("Error: Detaching buffer from device (OpenAL)\n");
    alDeleteSources(1, &m_name);
    alFailed("Error: Deleting source (OpenAL)\n");
    m_name = 0;
}

void OpenALAudioStaticSource::play(float gain, int loop, float offsetSeconds) {
    if (m_name == 0) {
        return;
    }
    alGetError();
    alSourcef(m_name, AL_GAIN, nonNegativeGain(gain));
    alSourcei(m_name, AL_LOOPING, loop != 0 ? AL_TRUE : AL_FALSE);
    // Rewound first, so that the offset applies also to a source that has
    // played before.
    alSourceRewind(m_name);
    if (offsetSeconds > 0.0f) {
        alSourcef(m_name, AL_SEC_OFFSET, offsetSeconds);
    }
    alSourcePlay(m_name);
    logALError("Error: Playing source (OpenAL): ", " \n");
}

void OpenALAudioStaticSource::playPlaced(const Vector3& position, const Vector3& velocity,
                                         const Vector3& direction, float gain, float pitch,
                                         int loop) {
    if (m_name == 0) {
        return;
    }
    if (m_spatial) {
        setPosition(position);
        setVelocity(velocity);
        setDirection(direction);
    }
    alGetError();
    alSourcef(m_name, AL_PITCH, std::clamp(pitch, 0.5f, 2.0f));
    alSourcef(m_name, AL_GAIN, nonNegativeGain(gain));
    alSourcei(m_name, AL_LOOPING, loop != 0 ? AL_TRUE : AL_FALSE);
    alSourcePlay(m_name);
    logALError("Error: Playing source (OpenAL): ", " \n");
}

// ---- streamed sources ----

OpenALAudioStreamedSource::OpenALAudioStreamedSource(OpenALSoundDevice* device,
                                                     OpenALAudioBaseBuffer* buffer, bool spatial)
    : OpenALAudioBaseSource(device, buffer, spatial) {
    m_reader = buffer != nullptr ? buffer->getReader() : nullptr;
    if (m_reader == nullptr) {
        m_failed = true;
        Log::get() << "Error: no streamreader available ";
        return;
    }
    int64_t chunkSize = m_reader->getChunkSize();
    m_alFormat = static_cast<ALenum>(buffer->getFormat());
    m_frequency = buffer->getFrequency();
    int bytesPerFrame = buffer->getBytesPerFrame();
    // The reader's chunk size came from a file: it must hold whole frames
    // and stay below a second of the highest accepted rate.
    if (chunkSize <= 0 || bytesPerFrame <= 0 || chunkSize % bytesPerFrame != 0 ||
        chunkSize > int64_t{kMaxSampleRate} * 4 || m_frequency <= 0) {
        m_failed = true;
        Log::get() << "Error: Stream chunk size " << std::to_string(chunkSize)
                   << " is not usable\n";
        return;
    }
    m_chunk.assign(static_cast<size_t>(chunkSize), 0);
    alGetError();
    alGenBuffers(2, m_buffers);
    if (alGetError() != AL_NO_ERROR) {
        m_buffers[0] = m_buffers[1] = 0;
        m_failed = true;
        Log::get() << "Error: Creating buffer (OpenALStreamedSample::play)\n";
        return;
    }
    alGenSources(1, &m_name);
    if (alFailed("Error: Creating Source-Id (OpenALAudioStreamedSource::load)\n")) {
        m_name = 0;
        return;
    }
    // Music is heard relative to the listener, so it keeps its level however
    // the camera moves; spatial streams are placed like static sources.
    alSourcei(m_name, AL_SOURCE_RELATIVE, spatial ? AL_FALSE : AL_TRUE);
    if (!spatial) {
        alSource3f(m_name, AL_POSITION, 0.0f, 0.0f, 0.0f);
        alSourcef(m_name, AL_ROLLOFF_FACTOR, 0.0f);
    }
    applyRange();
}

OpenALAudioStreamedSource::~OpenALAudioStreamedSource() {
    detach();
    if (m_device != nullptr) {
        m_device->forgetStreamedSource(this);
        m_device->forgetSource(this);
    }
}

void OpenALAudioStreamedSource::detach() {
    if (m_name != 0) {
        alGetError();
        alSourceStop(m_name);
        unqueueAll();
        alSourcei(m_name, AL_BUFFER, 0);
        alDeleteSources(1, &m_name);
        alFailed("Error: Deleting source (OpenAL)\n");
        m_name = 0;
    }
    if (m_buffers[0] != 0) {
        alDeleteBuffers(2, m_buffers);
        alGetError();
        m_buffers[0] = m_buffers[1] = 0;
    }
    m_state = State::Stopped;
}

ALint OpenALAudioStreamedSource::queuedBuffers() const {
    ALint queued = 0;
    alGetSourcei(m_name, AL_BUFFERS_QUEUED, &queued);
    return queued;
}

void OpenALAudioStreamedSource::unqueueAll() {
    // After a stop every queued buffer counts as processed.
    ALint processed = 0;
    alGetSourcei(m_name, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(m_name, 1, &buffer);
        if (alFailed("Error: Unqueueing buffers (OpenAL)\n")) {
            break;
        }
    }
}

bool OpenALAudioStreamedSource::refill(ALuint buffer) {
    const int64_t chunkSize = static_cast<int64_t>(m_chunk.size());
    int64_t delivered = m_reader->read(chunkSize, m_chunk.data());
    delivered = std::clamp<int64_t>(delivered, 0, chunkSize);
    if (delivered == 0 && m_loopsRemaining > 0) {
        // The pass ended exactly on a chunk boundary: start the next one.
        --m_loopsRemaining;
        m_reader->rewind();
        delivered = std::clamp<int64_t>(m_reader->read(chunkSize, m_chunk.data()), 0, chunkSize);
    }
    if (delivered == 0) {
        return false;
    }
    std::fill(m_chunk.begin() + delivered, m_chunk.end(), 0);
    alBufferData(buffer, m_alFormat, m_chunk.data(), static_cast<ALsizei>(chunkSize), m_frequency);
    alSourceQueueBuffers(m_name, 1, &buffer);
    if (delivered < chunkSize && m_loopsRemaining > 0) {
        --m_loopsRemaining;
        m_reader->rewind();
    }
    return true;
}

void OpenALAudioStreamedSource::play(float gain, int loop, float) {
    if (m_name == 0 || m_failed) {
        return;
    }
    alGetError();
    alSourcef(m_name, AL_GAIN, nonNegativeGain(gain));
    m_loopsRemaining = std::max(loop, 0);
    if (isPlaying()) {
        return;
    }
    if (m_state != State::Paused) {
        // A fresh start: whatever an earlier pass left queued goes first.
        alSourceStop(m_name);
        unqueueAll();
        if (refill(m_buffers[0])) {
            refill(m_buffers[1]);
        }
        if (alFailed("Error: Creating buffer (OpenALStreamedSample::play)\n")) {
            return;
        }
    }
    alSourcePlay(m_name);
    if (alFailed("Error: Playing buffers (OpenALStreamedSample::play)\n")) {
        return;
    }
    m_state = State::Playing;
}

void OpenALAudioStreamedSource::pause() {
    if (m_name != 0 && m_state == State::Playing) {
        alSourcePause(m_name);
        m_state = State::Paused;
    }
}

void OpenALAudioStreamedSource::stop() {
    if (m_name == 0) {
        return;
    }
    alSourceStop(m_name);
    unqueueAll();
    // The next play starts from the beginning of the stream.
    m_reader->rewind();
    m_state = State::Stopped;
}

void OpenALAudioStreamedSource::resume() {
    if (m_name == 0 || m_state != State::Paused) {
        return;
    }
    alSourcePlay(m_name);
    m_state = State::Playing;
    update();
}

void OpenALAudioStreamedSource::update() {
    // Only a stream that is meant to play is refilled: a paused stream stays
    // paused and a stopped one stays stopped.
    if (m_name == 0 || m_state != State::Playing) {
        return;
    }
    alGetError();
    ALint processed = 0;
    alGetSourcei(m_name, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(m_name, 1, &buffer);
        if (alFailed("Error: Unqueueing buffers (OpenAL)\n")) {
            return;
        }
        refill(buffer);
    }
    if (queuedBuffers() == 0) {
        // Data and loops are exhausted and the last chunk has played out.
        m_state = State::Stopped;
        return;
    }
    if (!isPlaying()) {
        // The stream ran dry between two updates.
        alSourcePlay(m_name);
    }
}

// ---- device ----

OpenALSoundDevice::OpenALSoundDevice(int deviceKind) : m_deviceKind(deviceKind) {
    const char* name = nullptr;
    if (deviceKind == OpenALDeviceKind::GenericSoftware) {
        name = "Generic Software";
    } else if (deviceKind == OpenALDeviceKind::GenericHardware) {
        name = "Generic Hardware";
    }
    m_device = alcOpenDevice(name);
    if (m_device == nullptr && name != nullptr) {
        m_device = alcOpenDevice(nullptr);
        if (m_device != nullptr) {
            Log::get() << "Warning: Sound device " << name
                       << " not found, using the default device\n";
        }
    }
    if (m_device == nullptr) {
        m_failed = true;
        Log::get() << "Error: No OpenAL sound device could be opened\n";
        return;
    }
    const ALCchar* specifier = alcGetString(m_device, ALC_DEVICE_SPECIFIER);
    Log::get() << "Sound\n"
               << "  Driver: OpenAL\n"
               << "  Device: " << (specifier != nullptr ? specifier : "") << "\n";
    m_context = alcCreateContext(m_device, nullptr);
    if (contextFailed() || m_context == nullptr) {
        m_failed = true;
        m_context = nullptr;
        return;
    }
    alcMakeContextCurrent(m_context);
    if (contextFailed()) {
        return;
    }
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    if (contextFailed()) {
        return;
    }
    alGetError();
}

OpenALSoundDevice::~OpenALSoundDevice() {
    // Sources and buffers that outlive the device (script objects nobody
    // deleted) lose their OpenAL objects now; they stay silent afterwards.
    for (OpenALAudioBaseSource* source : m_sources) {
        source->detach();
        source->m_device = nullptr;
    }
    m_sources.clear();
    m_streamedSources.clear();
    for (OpenALAudioBaseBuffer* buffer : m_buffers) {
        buffer->detach();
        buffer->m_device = nullptr;
    }
    m_buffers.clear();
    if (m_context != nullptr) {
        alcMakeContextCurrent(m_context);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(m_context);
    }
    if (m_device != nullptr) {
        alcCloseDevice(m_device);
    }
}

RefPtr<IAudioBuffer> OpenALSoundDevice::createBuffer(const AudioBufferDesc& desc) {
    const int bytesPerFrame = SoundFormat::bytesPerFrame(desc.format);
    const bool streamed = desc.reader != nullptr;
    if (!usable() || bytesPerFrame == 0 || desc.frequency <= 0 || desc.frequency > kMaxSampleRate ||
        (!streamed &&
         (desc.size < 0 || desc.size % bytesPerFrame != 0 || desc.size > int64_t{0x7fffffff} ||
          (desc.size > 0 && desc.data == nullptr)))) {
        Log::get() << "Error: Creating Sound buffer (OpenAL)\n";
        return nullptr;
    }
    auto* buffer = new OpenALAudioBaseBuffer(this, desc, streamed);
    RefPtr<IAudioBuffer> result(buffer);
    if (!streamed && buffer->getName() == 0) {
        return nullptr;
    }
    m_buffers.push_back(buffer);
    return result;
}

std::unique_ptr<IAudioSource> OpenALSoundDevice::createSource(const AudioSourceDesc& desc) {
    // Only buffers of this device can be played here.
    auto* buffer = static_cast<OpenALAudioBaseBuffer*>(desc.buffer);
    if (buffer == nullptr ||
        std::find(m_buffers.begin(), m_buffers.end(), buffer) == m_buffers.end()) {
        return nullptr;
    }
    if (buffer->isStreamed()) {
        auto source = std::make_unique<OpenALAudioStreamedSource>(this, buffer, desc.spatial);
        m_streamedSources.push_back(source.get());
        m_sources.push_back(source.get());
        return source;
    }
    auto source = std::make_unique<OpenALAudioStaticSource>(this, buffer, desc.spatial);
    m_sources.push_back(source.get());
    return source;
}

}  // namespace

std::unique_ptr<ISoundDevice> createOpenALSoundDevice(int deviceKind) {
    return std::make_unique<OpenALSoundDevice>(deviceKind);
}

const char* openALContextErrorName(int error) {
    switch (error) {
        case 0:
            return "ALC_NO_ERROR";
        case 0xA001:
            return "ALC_INVALID_DEVICE";
        case 0xA002:
            return "ALC_INVALID_CONTEXT";
        case 0xA003:
            return "ALC_INVALID_ENUM";
        case 0xA004:
            return "ALC_INVALID_VALUE";
        case 0xA005:
            return "ALC_OUT_OF_MEMORY";
        default:
            return "ALC_UNKNOWN_ERROR";
    }
}

const char* openALErrorName(int error) {
    switch (error) {
        case 0:
            return "AL_NO_ERROR";
        case 0xA001:
            return "AL_INVALID_NAME";
        case 0xA002:
            return "AL_INVALID_ENUM";
        case 0xA003:
            return "AL_INVALID_VALUE";
        case 0xA004:
            return "AL_INVALID_OPERATION";
        case 0xA005:
            return "AL_OUT_OF_MEMORY";
        default:
            return "AL_UNKNOWN_ERROR";
    }
}

float rangeRolloffFactor(float range, float innerRange) {
    if (!(range > innerRange)) {
        return 0.0f;
    }
    return (innerRange / 0.05f - innerRange) / (range - innerRange);
}
