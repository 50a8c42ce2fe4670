// Sound files: the same bytes decoded whole as a wave file and as Ogg Vorbis,
// and streamed chunk by chunk the way music plays, all from memory.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "audio/AudioOGGLoader.h"
#include "audio/NullAudioDevice.h"
#include "audio/SoundDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    DecodedSound sound;
    if (decodeSoundFile("fuzz/sound.wav", sound)) {
        mixDownToMono(sound);
    }
    sound = DecodedSound();
    if (decodeSoundFile("fuzz/sound.ogg", sound)) {
        mixDownToMono(sound);
    }

    static NullAudioDevice device;
    AudioOGGLoader stream("fuzz/music.ogg", &device);
    const int64_t chunk = stream.getChunkSize();
    if (stream.getBuffer() != nullptr && chunk > 0) {
        std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
        // A stream that keeps delivering data stops at the cap of whole-file
        // decoding, like a player would give up on it.
        int64_t total = 0;
        for (int64_t got = 1; got > 0 && total < kMaxDecodedSoundBytes; total += got) {
            got = stream.read(chunk, buffer.data());
        }
        stream.rewind();
        stream.read(chunk, buffer.data());
    }
    return 0;
}
