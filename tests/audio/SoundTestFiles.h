#pragma once
// Sound fixtures made by the tests themselves (wave files, Ogg Vorbis files
// encoded with libvorbisenc) and what the tests need to hear the result:
// OpenAL Soft's wave-file backend, and the tone frequency and level of a
// stretch of the mix.

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

// 16-bit PCM samples of a sine tone, interleaved when stereo (the same
// tone on both channels).
std::vector<int16_t> tone(double frequency, double seconds, int rate, int channels,
                          double amplitude = 12000.0);

// A RIFF wave file. `fmtSize` 16 writes the plain "fmt " chunk, 40 the
// extensible one; `formatTag` is written as given (the extensible chunk
// carries it in its sub-format).
std::string waveBytes(const std::vector<uint8_t>& data, int channels, int rate, int bits,
                      int fmtSize = 16, int formatTag = 1);
std::string waveBytes(const std::vector<int16_t>& samples, int channels, int rate);

// Ogg Vorbis of the samples (quality 0.4); empty when the encoder refuses.
std::string oggBytes(const std::vector<int16_t>& samples, int channels, int rate);

// Makes OpenAL Soft write its mix to `wavePath` (16-bit) for every device
// opened later in this process; call before the first OpenAL call.
void useWaveBackend(const std::string& configPath, const std::string& wavePath);
// The config text for a program started by a test.
std::string waveBackendConfig(const std::string& wavePath);

// The mix written by the wave backend: one channel (0 left, 1 right) of the
// 16-bit output.
struct Mix {
    int rate = 0;
    std::vector<int16_t> samples;
    // Seconds to sample index, clamped.
    size_t at(double seconds) const;
};
bool readMix(const std::string& wavePath, Mix& mix, int channel = 0);

// Frequency in Hz from the upward zero crossings (with a small hysteresis)
// between two times; root mean square level there.
double frequency(const Mix& mix, double from, double to);
double level(const Mix& mix, double from, double to);
// The first time (seconds) the level over 10 ms windows passes `threshold`;
// negative when it never does.
double firstSound(const Mix& mix, double threshold = 500.0);

// The mix as a sequence of phases: silence (tone 0) or one of `tones` (within
// 3 %), in 50 ms windows. Leading silence, stretches of another sound and
// phases shorter than two windows (transitions) are left out.
struct Phase {
    double tone = 0.0;
    double from = 0.0;
    double to = 0.0;
};
std::vector<Phase> phases(const Mix& mix, const std::vector<double>& tones);
// The tones of the phases, in order.
std::vector<double> toneSequence(const std::vector<Phase>& phases);

}  // namespace soundtest
