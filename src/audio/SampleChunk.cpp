#include "audio/SampleChunk.h"

#include "audio/SoundDecoding.h"
#include "foundation/ResourceManager.h"

bool SampleChunk::load() {
    setLoaded(true);
    return true;
}

bool SampleChunk::activate() {
    m_buffer = decodeBuffer();
    setActive(m_buffer.get() != nullptr);
    return isActive();
}

RefPtr<IAudioBuffer> SampleChunk::decodeBuffer() const {
    ISoundDevice* device = SoundDevice::get();
    if (device == nullptr) {
        return RefPtr<IAudioBuffer>();
    }
    DecodedSound sound;
    if (!decodeSoundFile(getName(), sound)) {
        return RefPtr<IAudioBuffer>();
    }
    if (m_spatial) {
        mixDownToMono(sound);
    }
    AudioBufferDesc desc;
    desc.format = sound.format;
    desc.frequency = sound.frequency;
    desc.channels = sound.channels;
    desc.data = sound.data.data();
    desc.size = static_cast<int64_t>(sound.data.size());
    return device->createBuffer(desc);
}

bool SampleChunk::reloadFromFile() {
    RefPtr<IAudioBuffer> buffer = decodeBuffer();
    if (!buffer) {
        return false;
    }
    // Sources still playing the old buffer keep it alive.
    m_buffer = std::move(buffer);
    setActive(true);
    return true;
}

void SampleChunk::deactivate() {
    m_buffer.reset();
    setActive(false);
}

void SampleChunk::unload() {
    setLoaded(false);
}

void registerSoundResourceLoaders() {
    ResourceManager& manager = ResourceManager::instance();
    manager.registerLoader(
        std::make_unique<GenericResourceLoader<SampleChunk, ResourceType::SampleChunk>>());
    manager.registerLoader(
        std::make_unique<GenericResourceLoader<SampleChunkSpat, ResourceType::SampleChunkSpat>>());
}
