#pragma once
// Encodes 16-bit PCM into an Ogg Vorbis file in memory (variable bit rate).

#include <cstddef>
#include <cstdint>
#include <string>

// `samples` holds `frames` frames of `channels` interleaved samples; quality
// runs from -0.1 to 1.0. Empty when the encoder refuses the settings.
std::string encodeOggVorbis(const int16_t* samples, size_t frames, int channels, int rate,
                            float quality);
