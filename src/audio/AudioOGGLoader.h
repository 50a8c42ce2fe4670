#pragma once
// A music stream: the loader keeps an Ogg Vorbis file open and owns the
// stream reader that gives the device's streamed source a quarter of a
// second of decoded audio at a time, and the streamed buffer that describes
// the stream to the device. Whoever plays the buffer must go first.

#include <cstdint>
#include <memory>
#include <string>

#include "audio/ISoundDevice.h"
#include "audio/VorbisFileWrap.h"

class AudioOGGLoader;

// The reader a streamed buffer carries; it decodes through its loader.
class StreamedOggVorbis : public IStreamedData {
public:
    explicit StreamedOggVorbis(AudioOGGLoader& loader) : m_loader(loader) {}
    int64_t read(int64_t count, uint8_t* destination) override;
    int64_t getChunkSize() const override;
    void rewind() override;

private:
    AudioOGGLoader& m_loader;
};

class AudioOGGLoader {
public:
    // Opens the stream and has the device make its streamed buffer; without
    // a device, or when the file cannot be opened, decoded or is refused
    // (logged), the loader has no buffer.
    AudioOGGLoader(const std::string& fileName, ISoundDevice* device);
    ~AudioOGGLoader();
    AudioOGGLoader(const AudioOGGLoader&) = delete;
    AudioOGGLoader& operator=(const AudioOGGLoader&) = delete;

    int64_t read(int64_t count, uint8_t* destination) { return m_decoder.read(destination, count); }
    void rewind() { m_decoder.rewind(); }
    int64_t getChunkSize() const { return m_chunkSize; }
    IAudioBuffer* getBuffer() const { return m_buffer.get(); }

    // A quarter of a second in whole sample frames of 16-bit samples: for one
    // channel rate / 2 made even, for two the rate rounded down to a
    // multiple of 4; 0 for other channel counts.
    static int64_t chunkSizeFor(int channels, int64_t rate);

private:
    VorbisFileWrap m_decoder;
    std::unique_ptr<StreamedOggVorbis> m_reader;
    RefPtr<IAudioBuffer> m_buffer;
    int64_t m_chunkSize = 0;
};
