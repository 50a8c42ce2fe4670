#include "audio/SampleChunk.h"

#include "audio/SoundDecoding.h"
#include "foundation/ResourceManager.h"

bool SampleChunk::load() {
    setLoaded(true);
    return true;
}

bool SampleChunk::activate() {
    ISoundDevice* device = SoundDevice::get();
    if (device == nullptr) {
        return false;
    }
    DecodedSound sound;
    if (!decodeSoundFile(getName(), sound)) {
        return false;
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
    m_buffer = device->createBuffer(desc);
    setActive(m_buffer.get() != nullptr);
    return isActive();
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
