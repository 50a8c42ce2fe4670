#pragma once
// Whole-file decoding of sounds into PCM: RIFF wave files (PCM, 8 or 16 bit,
// one or two channels, also the extensible format) and Ogg Vorbis, and the
// mix-down of stereo to mono for spatial playback. Sound files are untrusted:
// every size is checked against the file and capped, refusals are logged.

#include <cstdint>
#include <string>
#include <vector>

class File;

struct DecodedSound {
    int format = 0;  // SoundFormat code
    int frequency = 0;
    int channels = 0;
    std::vector<uint8_t> data;
};

// The most PCM data one sound may decode to.
constexpr int64_t kMaxDecodedSoundBytes = int64_t{256} << 20;

// Reads a RIFF wave file; false (logged with the file name) when it is no
// usable PCM wave.
bool decodeWave(File& file, const std::string& fileName, DecodedSound& sound);
// Decodes a whole Ogg Vorbis file; false when it cannot be opened (nothing
// logged), is no Ogg Vorbis stream or is refused (both logged).
bool decodeOggVorbis(const std::string& fileName, DecodedSound& sound);
// The names the engine decodes, for messages.
inline constexpr const char* kAcceptedSoundNames = "Ogg Vorbis (.ogg or .oga) and PCM wave (.wav)";
// Sound types by name, in any letter case: ".ogg" or ".oga" (the usual name
// of Ogg audio) anywhere in the name means Ogg Vorbis, otherwise ".wav"
// anywhere a wave file.
bool isOggVorbisName(const std::string& fileName);
bool isWaveName(const std::string& fileName);
// Logs why a file that opens is not decoded as Ogg Vorbis: it holds no
// Vorbis stream (other Ogg codecs are not decoded). A missing file logs
// nothing; the resource manager reports it.
void reportNoOggVorbisStream(const std::string& fileName);
// Decodes by name as above; any other name decodes nothing and is logged
// with the names that are accepted.
bool decodeSoundFile(const std::string& fileName, DecodedSound& sound);

// Stereo to mono: 8-bit samples are averaged as unsigned values, 16-bit
// samples summed and halved toward zero. Mono data stays as it is.
void mixDownToMono(DecodedSound& sound);
