#include "audio/AudioSceneHandler.h"

#include "audio/AudioSource.h"

std::unique_ptr<TransformGroup> AudioSceneHandler::createAudioSource(
    const I3DAudioSourceDesc& desc) {
    AudioSourceDescription description;
    description.name = desc.name;
    description.file = desc.file;
    description.range = desc.range;
    description.innerRange = desc.innerRange;
    description.volume = desc.volume;
    description.loopCount = desc.loops;
    return ::createAudioSource(description);
}

void AudioSceneHandler::install() {
    I3DSectionHandlers::get().audio = this;
}

void AudioSceneHandler::uninstall() {
    if (I3DSectionHandlers::get().audio == this) {
        I3DSectionHandlers::get().audio = nullptr;
    }
}
