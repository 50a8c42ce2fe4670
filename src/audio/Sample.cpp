#include "audio/Sample.h"

#include "audio/AudioOGGLoader.h"
#include "audio/SampleChunk.h"
#include "audio/SoundDecoding.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"

Sample::Sample(const std::string& name) : Entity(name, true) {}

Sample::~Sample() {
    m_source.reset();
    if (m_resource != nullptr) {
        ResourceManager::instance().release(m_resource);
    }
}

bool Sample::load(const std::string& fileName, bool spatial) {
    if (m_loaded) {
        Log::get() << "Error: Sample file already loaded, unload before loading another file."
                   << "\n";
        return false;
    }
    const int type = spatial ? ResourceType::SampleChunkSpat : ResourceType::SampleChunk;
    Resource* resource = ResourceManager::instance().get(fileName, type, false);
    if (resource == nullptr) {
        Log::get() << "Error: Can't load sample " << fileName << ". "
                   << "\n";
        return false;
    }
    auto* chunk = static_cast<SampleChunk*>(resource);
    ISoundDevice* device = SoundDevice::get();
    AudioSourceDesc desc;
    desc.buffer = chunk->getBuffer();
    desc.spatial = spatial;
    std::unique_ptr<IAudioSource> source = device != nullptr ? device->createSource(desc) : nullptr;
    if (!source) {
        ResourceManager::instance().release(resource);
        Log::get() << "Error: Can't load sample " << fileName << ". "
                   << "\n";
        return false;
    }
    m_resource = chunk;
    m_fileName = fileName;
    m_spatial = spatial;
    m_source = std::move(source);
    m_loaded = true;
    return true;
}

void Sample::takeReloadedBuffer() {
    IAudioBuffer* buffer = m_resource->getBuffer();
    ISoundDevice* device = SoundDevice::get();
    if (buffer == nullptr || buffer == m_source->getBuffer() || device == nullptr ||
        m_source->isPlaying()) {
        return;
    }
    AudioSourceDesc desc;
    desc.buffer = buffer;
    desc.spatial = m_spatial;
    std::unique_ptr<IAudioSource> source = device->createSource(desc);
    if (!source) {
        return;
    }
    source->setGain(m_source->getGain());
    source->setPitch(m_source->getPitch());
    source->setRange(m_source->getRange());
    source->setInnerRange(m_source->getInnerRange());
    source->setPosition(m_position);
    source->setVelocity(m_velocity);
    source->setDirection(m_direction);
    m_source = std::move(source);
}

void Sample::play(int loopCount, float volume, float delayMs) {
    if (m_loaded && m_source) {
        takeReloadedBuffer();
        m_source->play(volume, loopCount == 0 ? 1 : 0, delayMs / 1000.0f);
    }
}

void Sample::stop() {
    if (m_source) {
        m_source->stop();
    }
}

void Sample::setPitch(float pitch) {
    if (m_source) {
        m_source->setPitch(pitch);
    }
}

void Sample::setVolume(float volume) {
    if (m_source) {
        m_volume = volume;
        m_source->setGain(volume);
    }
}

float Sample::getDuration() const {
    if (!m_source || m_source->getBuffer() == nullptr) {
        return 0.0f;
    }
    return m_source->getBuffer()->getDurationMs();
}

void Sample::setPosition(const Vector3& position) {
    m_position = position;
    if (m_source) {
        m_source->setPosition(position);
    }
}

void Sample::setVelocity(const Vector3& velocity) {
    m_velocity = velocity;
    if (m_source) {
        m_source->setVelocity(velocity);
    }
}

void Sample::setDirection(const Vector3& direction) {
    m_direction = direction;
    if (m_source) {
        m_source->setDirection(direction);
    }
}

std::unique_ptr<Sample> Sample::clone() const {
    auto copy = std::make_unique<Sample>(getName());
    if (!copy->load(m_fileName, m_spatial)) {
        Log::get() << "Error: Can't clone sample " << getName() << ". "
                   << "\n";
        return copy;
    }
    copy->setVolume(m_volume);
    copy->setDirection(m_direction);
    copy->setPosition(m_position);
    copy->setVelocity(m_velocity);
    return copy;
}

StreamedSample::StreamedSample(const std::string& name) : Entity(name, true) {}

StreamedSample::~StreamedSample() {
    m_source.reset();
    m_loader.reset();
}

bool StreamedSample::load(const std::string& fileName) {
    if (m_loaded) {
        Log::get() << "Error: Background music file already loaded, please unload before "
                      "loading another file.\n";
        return false;
    }
    if (!isOggVorbisName(fileName)) {
        Log::get() << "Error: Background music file " << fileName
                   << " refused: music is streamed from Ogg Vorbis files (.ogg or .oga) only; "
                   << (isWaveName(fileName) ? "a wave file plays as a sample"
                                            : std::string("sounds are ") + kAcceptedSoundNames)
                   << "\n";
        return false;
    }
    ISoundDevice* device = SoundDevice::get();
    auto loader = std::make_unique<AudioOGGLoader>(fileName, device);
    if (loader->getBuffer() == nullptr) {
        return false;
    }
    AudioSourceDesc desc;
    desc.buffer = loader->getBuffer();
    desc.spatial = false;
    std::unique_ptr<IAudioSource> source = device->createSource(desc);
    if (!source) {
        return false;
    }
    m_fileName = fileName;
    m_loader = std::move(loader);
    m_source = std::move(source);
    m_loaded = true;
    return true;
}

bool StreamedSample::play() {
    if (!m_loaded) {
        Log::get() << "Error: Can't play, no background music file loaded.\n";
        return false;
    }
    if (!m_source) {
        Log::get() << "Error: Mix_PlayMusic\n";
        return false;
    }
    m_source->play(1.0f, 1, 0.0f);
    return true;
}

bool StreamedSample::pause() {
    if (!m_loaded) {
        Log::get() << "Error: Can't pause, no background music file loaded.\n";
        return false;
    }
    if (!m_source) {
        Log::get() << "Error: Mix_PauseMusic\n";
        return false;
    }
    m_source->pause();
    return true;
}

bool StreamedSample::resume() {
    if (!m_loaded) {
        Log::get() << "Error: Can't play, no background music file loaded.\n";
        return false;
    }
    if (!m_source) {
        Log::get() << "Error: Mix_ResumeMusic\n";
        return false;
    }
    m_source->resume();
    return true;
}

void StreamedSample::stop() {
    if (!m_loaded) {
        Log::get() << "Error: Can't play, no background music file loaded.\n";
        return;
    }
    if (m_source) {
        m_source->stop();
    }
}
