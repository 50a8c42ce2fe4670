// oggencode: turns a 16-bit PCM wave file into an Ogg Vorbis file, for the
// scripts that make the sample game's music and sounds.
//
//     oggencode INPUT.wav OUTPUT.ogg [QUALITY]
//
// QUALITY runs from -0.1 to 1.0 (default 0.4). The wave file is read with
// the engine's own decoder, so what it refuses here it would refuse in game.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "OggVorbisEncoder.h"
#include "audio/ISoundDevice.h"
#include "audio/SoundDecoding.h"
#include "foundation/File.h"
#include "foundation/Log.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: oggencode INPUT.wav OUTPUT.ogg [QUALITY]\n");
        return 2;
    }
    const float quality = argc == 4 ? std::strtof(argv[3], nullptr) : 0.4f;
    if (!(quality >= -0.1f && quality <= 1.0f)) {
        std::fprintf(stderr, "oggencode: quality %s is outside -0.1 to 1.0\n", argv[3]);
        return 2;
    }
    StderrLogSink sink;
    Log::get().addSink(&sink);
    NativeFile input(argv[1], FileMode::Read);
    DecodedSound sound;
    if (!input.isOpen()) {
        std::fprintf(stderr, "oggencode: cannot open %s\n", argv[1]);
        return 1;
    }
    if (!decodeWave(input, argv[1], sound)) {
        return 1;
    }
    if (sound.format != SoundFormat::Mono16 && sound.format != SoundFormat::Stereo16) {
        std::fprintf(stderr, "oggencode: %s is not 16-bit PCM\n", argv[1]);
        return 1;
    }
    const size_t frames = sound.data.size() / (2 * static_cast<size_t>(sound.channels));
    const std::string ogg = encodeOggVorbis(reinterpret_cast<const int16_t*>(sound.data.data()),
                                            frames, sound.channels, sound.frequency, quality);
    if (ogg.empty()) {
        std::fprintf(stderr, "oggencode: the encoder refused %d channels at %d Hz\n",
                     sound.channels, sound.frequency);
        return 1;
    }
    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    output.write(ogg.data(), static_cast<std::streamsize>(ogg.size()));
    if (!output) {
        std::fprintf(stderr, "oggencode: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
