#include "audio/AudioOGGLoader.h"

#include "audio/SoundDecoding.h"
#include "foundation/Log.h"

int64_t StreamedOggVorbis::read(int64_t count, uint8_t* destination) {
    return m_loader.read(count, destination);
}

int64_t StreamedOggVorbis::getChunkSize() const {
    return m_loader.getChunkSize();
}

void StreamedOggVorbis::rewind() {
    m_loader.rewind();
}

int64_t AudioOGGLoader::chunkSizeFor(int channels, int64_t rate) {
    if (channels == 1) {
        return (rate / 2) & ~int64_t{1};
    }
    if (channels == 2) {
        return rate & ~int64_t{3};
    }
    return 0;
}

AudioOGGLoader::AudioOGGLoader(const std::string& fileName, ISoundDevice* device) {
    if (device == nullptr) {
        return;
    }
    if (!m_decoder.open(fileName)) {
        reportNoOggVorbisStream(fileName);
        return;
    }
    const int channels = m_decoder.getChannels();
    const int64_t rate = m_decoder.getRate();
    if ((channels != 1 && channels != 2) || rate <= 0 || rate > kMaxSampleRate) {
        Log::get() << "Error: Sound file " << fileName << " refused: " << channels
                   << " channels at " << std::to_string(rate) << " Hz are not supported\n";
        return;
    }
    m_chunkSize = chunkSizeFor(channels, rate);
    m_reader = std::make_unique<StreamedOggVorbis>(*this);
    AudioBufferDesc desc;
    desc.format = channels == 1 ? SoundFormat::Mono16 : SoundFormat::Stereo16;
    desc.channels = channels;
    desc.frequency = static_cast<int>(rate);
    desc.reader = m_reader.get();
    m_buffer = device->createBuffer(desc);
}

AudioOGGLoader::~AudioOGGLoader() {
    // The buffer refers to the reader, the reader to the decoder.
    m_buffer.reset();
    m_reader.reset();
}
