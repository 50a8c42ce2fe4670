#include "audio/SoundDecoding.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "audio/ISoundDevice.h"
#include "audio/VorbisFileWrap.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Reads exactly `count` bytes at `position`.
bool readAt(File& file, int64_t position, void* destination, int64_t count) {
    if (position < 0 || position > INT_MAX || count < 0 || count > INT_MAX) {
        return false;
    }
    if (file.seek(static_cast<int>(position)) < 0) {
        return false;
    }
    return file.read(destination, static_cast<int>(count)) == count;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool refuse(const std::string& fileName, const std::string& why) {
    Log::get() << "Error: Sound file " << fileName << " refused: " << why << "\n";
    return false;
}

}  // namespace

bool decodeWave(File& file, const std::string& fileName, DecodedSound& sound) {
    const int64_t fileSize = file.getSize();
    uint8_t header[12];
    if (fileSize < 12 || !readAt(file, 0, header, 12) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        return refuse(fileName, "no RIFF WAVE header");
    }
    bool haveFormat = false;
    uint16_t formatTag = 0;
    int channels = 0;
    int64_t rate = 0;
    int bits = 0;
    int64_t dataStart = -1;
    int64_t dataSize = 0;
    // Chunk positions in 64 bits: a chunk size near 4 GiB cannot wrap the
    // walk back into the file.
    for (int64_t position = 12; position + 8 <= fileSize;) {
        uint8_t chunk[8];
        if (!readAt(file, position, chunk, 8)) {
            break;
        }
        const int64_t size = readU32(chunk + 4);
        const int64_t body = position + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                return refuse(fileName, "\"fmt \" chunk shorter than 16 bytes");
            }
            uint8_t fmt[40] = {};
            const int64_t wanted = std::min<int64_t>(size, 40);
            if (body + wanted > fileSize || !readAt(file, body, fmt, wanted)) {
                return refuse(fileName, "\"fmt \" chunk runs past the end of the file");
            }
            formatTag = readU16(fmt);
            channels = readU16(fmt + 2);
            rate = readU32(fmt + 4);
            bits = readU16(fmt + 14);
            // The extensible format names the real format in the first two
            // bytes of its sub-format identifier.
            if (formatTag == kFormatExtensible && wanted >= 26) {
                formatTag = readU16(fmt + 24);
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (body + size > fileSize) {
                return refuse(fileName, "\"data\" chunk of " + std::to_string(size) +
                                            " bytes runs past the end of the file");
            }
            dataStart = body;
            dataSize = size;
        }
        position = body + size + (size & 1);
    }
    if (!haveFormat || dataStart < 0) {
        return refuse(fileName, "\"fmt \" or \"data\" chunk missing");
    }
    if (formatTag != kFormatPcm) {
        return refuse(fileName, "format " + std::to_string(formatTag) + " is not PCM");
    }
    const int format = SoundFormat::fromLayout(channels, bits);
    if (format < 0) {
        return refuse(fileName, std::to_string(channels) + " channels of " + std::to_string(bits) +
                                    " bits are not supported");
    }
    if (rate <= 0 || rate > kMaxSampleRate) {
        return refuse(fileName, "sample rate " + std::to_string(rate) + " is not supported");
    }
    if (dataSize > kMaxDecodedSoundBytes) {
        return refuse(fileName,
                      "\"data\" chunk of " + std::to_string(dataSize) + " bytes is too large");
    }
    // Whole sample frames only.
    dataSize -= dataSize % SoundFormat::bytesPerFrame(format);
    sound.data.resize(static_cast<size_t>(dataSize));
    if (dataSize > 0 && !readAt(file, dataStart, sound.data.data(), dataSize)) {
        sound.data.clear();
        return refuse(fileName, "\"data\" chunk cannot be read");
    }
    sound.format = format;
    sound.frequency = static_cast<int>(rate);
    sound.channels = channels;
    return true;
}

bool decodeOggVorbis(const std::string& fileName, DecodedSound& sound) {
    VorbisFileWrap decoder;
    if (!decoder.open(fileName)) {
        reportNoOggVorbisStream(fileName);
        return false;
    }
    const int channels = decoder.getChannels();
    const int64_t rate = decoder.getRate();
    if (channels != 1 && channels != 2) {
        return refuse(fileName, std::to_string(channels) + " channels are not supported");
    }
    if (rate <= 0 || rate > kMaxSampleRate) {
        return refuse(fileName, "sample rate " + std::to_string(rate) + " is not supported");
    }
    sound.format = SoundFormat::fromLayout(channels, 16);
    sound.frequency = static_cast<int>(rate);
    sound.channels = channels;
    sound.data.clear();
    constexpr int64_t kStep = 64 * 1024;
    for (;;) {
        const size_t used = sound.data.size();
        if (static_cast<int64_t>(used) >= kMaxDecodedSoundBytes) {
            sound.data.clear();
            return refuse(fileName, "decodes to more than " +
                                        std::to_string(kMaxDecodedSoundBytes) + " bytes");
        }
        sound.data.resize(used + kStep);
        const int64_t got = decoder.read(sound.data.data() + used, kStep);
        sound.data.resize(used + static_cast<size_t>(std::max<int64_t>(got, 0)));
        if (got <= 0) {
            break;
        }
    }
    sound.data.resize(sound.data.size() - sound.data.size() % (2 * channels));
    return true;
}

void reportNoOggVorbisStream(const std::string& fileName) {
    if (FileSystem::openFile(fileName, FileMode::Read)) {
        refuse(fileName, "no Ogg Vorbis stream (Ogg files of other codecs are not decoded)");
    }
}

bool isOggVorbisName(const std::string& fileName) {
    const std::string name = lowerCase(fileName);
    return name.find(".ogg") != std::string::npos || name.find(".oga") != std::string::npos;
}

bool isWaveName(const std::string& fileName) {
    return lowerCase(fileName).find(".wav") != std::string::npos;
}

bool decodeSoundFile(const std::string& fileName, DecodedSound& sound) {
    if (isOggVorbisName(fileName)) {
        return decodeOggVorbis(fileName, sound);
    }
    if (isWaveName(fileName)) {
        std::unique_ptr<File> file = FileSystem::openFile(fileName, FileMode::Read);
        return file && decodeWave(*file, fileName, sound);
    }
    return refuse(fileName, std::string("the name is of no sound type the engine decodes; it "
                                        "decodes ") +
                                kAcceptedSoundNames);
}

void mixDownToMono(DecodedSound& sound) {
    std::vector<uint8_t>& data = sound.data;
    if (sound.format == SoundFormat::Stereo8) {
        const size_t frames = data.size() / 2;
        for (size_t i = 0; i < frames; ++i) {
            data[i] = static_cast<uint8_t>((data[2 * i] + data[2 * i + 1]) / 2);
        }
        data.resize(frames);
        sound.format = SoundFormat::Mono8;
    } else if (sound.format == SoundFormat::Stereo16) {
        const size_t frames = data.size() / 4;
        for (size_t i = 0; i < frames; ++i) {
            auto left = static_cast<int16_t>(readU16(&data[4 * i]));
            auto right = static_cast<int16_t>(readU16(&data[4 * i + 2]));
            auto mixed = static_cast<uint16_t>(static_cast<int16_t>((left + right) / 2));
            data[2 * i] = static_cast<uint8_t>(mixed & 0xFF);
            data[2 * i + 1] = static_cast<uint8_t>(mixed >> 8);
        }
        data.resize(frames * 2);
        sound.format = SoundFormat::Mono16;
    } else {
        return;
    }
    sound.channels = 1;
}
