#include "SoundTestFiles.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "OggVorbisEncoder.h"
#include "TestSupport.h"

namespace soundtest {

namespace {

void put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

uint32_t get32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8) |
           (static_cast<uint8_t>(s[at + 2]) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24);
}

uint16_t get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) |
                                 (static_cast<uint8_t>(s[at + 1]) << 8));
}

}  // namespace

std::vector<int16_t> tone(double frequency, double seconds, int rate, int channels,
                          double amplitude) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> samples;
    samples.reserve(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        auto value = static_cast<int16_t>(amplitude * std::sin(2.0 * M_PI * frequency * i / rate));
        for (int c = 0; c < channels; ++c) {
            samples.push_back(value);
        }
    }
    return samples;
}

std::string waveBytes(const std::vector<uint8_t>& data, int channels, int rate, int bits,
                      int fmtSize, int formatTag) {
    std::string fmt;
    const int blockAlign = channels * bits / 8;
    put16(fmt, fmtSize >= 40 ? 0xFFFE : formatTag);
    put16(fmt, channels);
    put32(fmt, rate);
    put32(fmt, rate * blockAlign);
    put16(fmt, blockAlign);
    put16(fmt, bits);
    if (fmtSize >= 40) {
        put16(fmt, 22);
        put16(fmt, bits);
        put32(fmt, channels == 1 ? 4 : 3);
        put16(fmt, formatTag);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    fmt.resize(fmtSize, '\0');
    std::string out = "RIFF";
    put32(out, 4 + 8 + fmtSize + 8 + static_cast<uint32_t>(data.size()));
    out += "WAVEfmt ";
    put32(out, fmtSize);
    out += fmt;
    out += "data";
    put32(out, static_cast<uint32_t>(data.size()));
    out.append(reinterpret_cast<const char*>(data.data()), data.size());
    return out;
}

std::string waveBytes(const std::vector<int16_t>& samples, int channels, int rate) {
    std::vector<uint8_t> data(samples.size() * 2);
    std::memcpy(data.data(), samples.data(), data.size());
    return waveBytes(data, channels, rate, 16);
}

std::string oggBytes(const std::vector<int16_t>& samples, int channels, int rate) {
    return encodeOggVorbis(samples.data(), samples.size() / static_cast<size_t>(channels), channels,
                           rate, 0.4f);
}

std::string waveBackendConfig(const std::string& wavePath) {
    return "[general]\ndrivers = wave\nsample-type = int16\n[wave]\nfile = " + wavePath + "\n";
}

void useWaveBackend(const std::string& configPath, const std::string& wavePath) {
    testsupport::writeFile(configPath, waveBackendConfig(wavePath));
    setenv("ALSOFT_CONF", configPath.c_str(), 1);
}

size_t Mix::at(double seconds) const {
    if (seconds <= 0.0) {
        return 0;
    }
    return std::min(samples.size(), static_cast<size_t>(seconds * rate));
}

bool readMix(const std::string& wavePath, Mix& mix, int channel) {
    if (!testsupport::fileExists(wavePath)) {
        return false;
    }
    const std::string bytes = testsupport::readFile(wavePath);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) {
        return false;
    }
    int channels = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = get32(bytes, at + 4);
        if (id == "fmt ") {
            channels = get16(bytes, at + 10);
            mix.rate = static_cast<int>(get32(bytes, at + 12));
        } else if (id == "data" && channel < channels) {
            const size_t end = std::min(bytes.size(), at + 8 + size);
            for (size_t p = at + 8; p + 2 * channels <= end; p += 2 * channels) {
                mix.samples.push_back(static_cast<int16_t>(get16(bytes, p + 2 * channel)));
            }
            return mix.rate > 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

double frequency(const Mix& mix, double from, double to) {
    const size_t begin = mix.at(from);
    const size_t end = mix.at(to);
    const int hysteresis = 200;
    bool low = false;
    size_t first = 0;
    size_t last = 0;
    int crossings = 0;
    for (size_t i = begin; i < end; ++i) {
        if (mix.samples[i] < -hysteresis) {
            low = true;
        } else if (low && mix.samples[i] > hysteresis) {
            low = false;
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) {
        return 0.0;
    }
    return (crossings - 1) * static_cast<double>(mix.rate) / static_cast<double>(last - first);
}

double level(const Mix& mix, double from, double to) {
    const size_t begin = mix.at(from);
    const size_t end = mix.at(to);
    if (end <= begin) {
        return 0.0;
    }
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) {
        sum += static_cast<double>(mix.samples[i]) * mix.samples[i];
    }
    return std::sqrt(sum / static_cast<double>(end - begin));
}

double firstSound(const Mix& mix, double threshold) {
    const double window = 0.01;
    for (double t = 0.0; mix.at(t + window) > mix.at(t); t += window) {
        if (level(mix, t, t + window) > threshold) {
            return t;
        }
    }
    return -1.0;
}

std::vector<Phase> phases(const Mix& mix, const std::vector<double>& tones) {
    const double window = 0.05;
    std::vector<Phase> runs;
    for (double t = 0.0; mix.at(t + window) > mix.at(t) + 1; t += window) {
        double label = -1.0;
        if (level(mix, t, t + window) < 100.0) {
            label = 0.0;
        } else {
            const double f = frequency(mix, t, t + window);
            for (double tone : tones) {
                if (std::fabs(f - tone) <= tone * 0.03) {
                    label = tone;
                }
            }
        }
        if (!runs.empty() && runs.back().tone == label) {
            runs.back().to = t + window;
        } else {
            runs.push_back({label, t, t + window});
        }
    }
    std::vector<Phase> result;
    for (const Phase& run : runs) {
        if (run.tone < 0.0 || run.to - run.from < 2 * window - 1e-9) {
            continue;
        }
        if (result.empty() && run.tone == 0.0) {
            continue;
        }
        if (!result.empty() && result.back().tone == run.tone) {
            result.back().to = run.to;
        } else {
            result.push_back(run);
        }
    }
    return result;
}

std::vector<double> toneSequence(const std::vector<Phase>& phases) {
    std::vector<double> tones;
    for (const Phase& phase : phases) {
        tones.push_back(phase.tone);
    }
    return tones;
}

}  // namespace soundtest
