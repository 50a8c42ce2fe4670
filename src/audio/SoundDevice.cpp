#include "audio/ISoundDevice.h"

namespace {

std::unique_ptr<ISoundDevice>& current() {
    static std::unique_ptr<ISoundDevice> device;
    return device;
}

}  // namespace

int SoundFormat::bytesPerFrame(int code) {
    switch (code) {
        case Mono8:
            return 1;
        case Stereo8:
        case Mono16:
            return 2;
        case Stereo16:
            return 4;
        default:
            return 0;
    }
}

int SoundFormat::fromLayout(int channels, int bitsPerSample) {
    if ((channels != 1 && channels != 2) || (bitsPerSample != 8 && bitsPerSample != 16)) {
        return -1;
    }
    if (bitsPerSample == 8) {
        return channels == 1 ? Mono8 : Stereo8;
    }
    return channels == 1 ? Mono16 : Stereo16;
}

ISoundDevice* SoundDevice::get() {
    return current().get();
}

void SoundDevice::set(std::unique_ptr<ISoundDevice> device) {
    current().reset();
    current() = std::move(device);
}
