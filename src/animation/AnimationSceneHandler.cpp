#include "animation/AnimationSceneHandler.h"

#include <algorithm>
#include <memory>

#include "animation/CharacterSet.h"
#include "foundation/Log.h"
#include "scene/TransformGroup.h"

namespace {

Keyframe toKeyframe(const I3DKeyframeDesc& desc) {
    Keyframe key;
    key.time = desc.time;
    key.attributes = desc.attributes & KeyframeAttribute::All;
    // Every channel eases unless the file asks for a straight line.
    constexpr uint32_t kChannels = (1u << KeyframeChannel::Count) - 1;
    key.easeIn = ~desc.linearIn & kChannels;
    key.easeOut = ~desc.linearOut & kChannels;
    key.translation = desc.translation;
    key.rotation = desc.rotation;
    key.scale = desc.scale;
    key.visibility = desc.visibility;
    return key;
}

}  // namespace

CharacterSet* createCharacterSet(const I3DCharacterSetDesc& desc) {
    // The bound list: every animated node once, in the order met. Tracks
    // pair with it by node, so clips that list their nodes in another order
    // or leave one out still animate the right groups.
    std::vector<TransformGroup*> nodes;
    for (const I3DClipDesc& clip : desc.clips) {
        for (const I3DKeyframeTrackDesc& track : clip.tracks) {
            if (track.node != nullptr &&
                std::find(nodes.begin(), nodes.end(), track.node) == nodes.end()) {
                nodes.push_back(track.node);
            }
        }
    }
    if (nodes.empty()) {
        Log::get() << "Warning: CharacterSet " << desc.name << " animates no transform group\n";
        return nullptr;
    }

    auto set = std::make_unique<CharacterSet>(desc.name);
    for (const I3DClipDesc& clipDesc : desc.clips) {
        Clip& clip =
            set->getSource().addClip(std::make_unique<Clip>(clipDesc.name, clipDesc.duration));
        for (TransformGroup* node : nodes) {
            KeyframeTrack& track = clip.addTrack();
            auto found =
                std::find_if(clipDesc.tracks.begin(), clipDesc.tracks.end(),
                             [node](const I3DKeyframeTrackDesc& t) { return t.node == node; });
            if (found != clipDesc.tracks.end()) {
                for (const I3DKeyframeDesc& key : found->keyframes) {
                    track.addKeyframe(toKeyframe(key));
                }
            }
            track.finish();
        }
    }
    std::vector<Node*> bindList(nodes.begin(), nodes.end());
    if (!set->bind(bindList)) {
        return nullptr;
    }
    // The bound nodes hold it now.
    return set.release();
}

void AnimationSceneHandler::addCharacterSet(const I3DCharacterSetDesc& desc) {
    createCharacterSet(desc);
}

void AnimationSceneHandler::install() {
    I3DSectionHandlers::get().animation = this;
}

void AnimationSceneHandler::uninstall() {
    if (I3DSectionHandlers::get().animation == this) {
        I3DSectionHandlers::get().animation = nullptr;
    }
}
