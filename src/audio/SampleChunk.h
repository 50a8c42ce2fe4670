#pragma once
// Sound resources: a whole ".wav" or ".ogg" file decoded into one device
// buffer when the resource is activated. SampleChunk keeps the channels for
// unplaced playback; SampleChunkSpat mixes stereo down to mono for spatial
// playback.

#include "audio/ISoundDevice.h"
#include "foundation/Resource.h"

class SampleChunk : public Resource {
public:
    explicit SampleChunk(const std::string& name)
        : SampleChunk(name, ResourceType::SampleChunk, false) {}

    const char* getClassName() const override { return "SampleChunk"; }

    bool load() override;
    // Decodes the file and makes the buffer on the current sound device.
    bool activate() override;
    // Lets go of the buffer; sources still playing it keep it alive.
    void deactivate() override;
    void unload() override;
    // Decodes the changed file into a new buffer, which samples take at
    // their next play; a file that does not decode keeps the current one.
    bool reloadFromFile() override;

    bool isSpatial() const { return m_spatial; }
    IAudioBuffer* getBuffer() const { return m_buffer.get(); }

protected:
    SampleChunk(const std::string& name, int type, bool spatial)
        : Resource(name, type), m_spatial(spatial) {}

private:
    // The file decoded into a buffer on the current sound device; none
    // (logged by the decoder) when it cannot be.
    RefPtr<IAudioBuffer> decodeBuffer() const;

    bool m_spatial;
    RefPtr<IAudioBuffer> m_buffer;
};

class SampleChunkSpat : public SampleChunk {
public:
    explicit SampleChunkSpat(const std::string& name)
        : SampleChunk(name, ResourceType::SampleChunkSpat, true) {}
    const char* getClassName() const override { return "SampleChunkSpat"; }
};

// Registers the loaders of both resource types with the resource manager.
void registerSoundResourceLoaders();
