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
// Decodes a whole Ogg Vorbis file; false when it cannot be opened, is no Ogg
// Vorbis stream (nothing logged) or is refused (logged).
bool decodeOggVorbis(const std::string& fileName, DecodedSound& sound);
// Decodes by name: ".ogg" anywhere in the name means Ogg Vorbis, otherwise
// ".wav" anywhere a wave file; any other name decodes nothing.
bool decodeSoundFile(const std::string& fileName, DecodedSound& sound);

// Stereo to mono: 8-bit samples are averaged as unsigned values, 16-bit
// samples summed and halved toward zero. Mono data stays as it is.
void mixDownToMono(DecodedSound& sound);
