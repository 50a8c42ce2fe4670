#pragma once
// Builds the character sets of scene files: each "CharacterSet" element the
// scene loader reads becomes a CharacterSet bound to the nodes its
// keyframe tracks animate.

#include "scene/i3d/I3DSections.h"

class CharacterSet;

class AnimationSceneHandler : public I3DAnimationHandler {
public:
    void addCharacterSet(const I3DCharacterSetDesc& desc) override;

    // Plugs this handler into the scene loader, or takes it out again.
    void install();
    void uninstall();
};

// The set described by `desc`, bound; none (logged) when it animates no node
// or cannot be bound. The bound nodes hold the set.
CharacterSet* createCharacterSet(const I3DCharacterSetDesc& desc);
