#pragma once
// Builds the audio sources of scene files: the "AudioSource" elements the
// scene loader reads become `AudioSource` nodes.

#include <memory>

#include "scene/i3d/I3DSections.h"

class AudioSceneHandler : public I3DAudioHandler {
public:
    std::unique_ptr<TransformGroup> createAudioSource(const I3DAudioSourceDesc& desc) override;

    // Plugs this handler into the scene loader, or takes it out again.
    void install();
    void uninstall();
};
