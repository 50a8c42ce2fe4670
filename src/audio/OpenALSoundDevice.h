#pragma once
// The sound device over OpenAL (OpenAL Soft on this platform).

#include <memory>

#include "audio/ISoundDevice.h"

namespace OpenALDeviceKind {
// Opens the device "Generic Software".
constexpr int GenericSoftware = 0;
constexpr int GenericHardware = 1;
// Any other value opens the default device.
}  // namespace OpenALDeviceKind

// Opens the named device of that kind, falling back to the default device
// when it does not exist. A device that could open neither reports
// isFailed() and plays nothing; the engine then uses the silent device.
std::unique_ptr<ISoundDevice> createOpenALSoundDevice(int deviceKind);

// Error names of the context (ALC_...) and of the sound calls (AL_...).
const char* openALContextErrorName(int error);
const char* openALErrorName(int error);

// The rolloff factor that makes the gain fall from 1 at the inner range to
// 0.05 at the range under the inverse-distance-clamped model; 0 (no
// attenuation) when the range is not beyond the inner range.
float rangeRolloffFactor(float range, float innerRange);
