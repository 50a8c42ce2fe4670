#include "animation/CharacterSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/Log.h"
#include "scene/TransformGroup.h"

namespace {

std::vector<CharacterSet*>& registry() {
    static std::vector<CharacterSet*> sets;
    return sets;
}

// Names joined by ", " with a line break and a blank after every sixth.
void appendList(std::string& text, const std::vector<std::string>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += (i % 6 == 0) ? ",\n " : ", ";
        }
        text += items[i];
    }
}

}  // namespace

CharacterSet::CharacterSet(const std::string& name, CharacterSetSource* source)
    : Entity(name, true), m_source(source != nullptr ? source : new CharacterSetSource()) {
    addKind(EntityKind::CharacterSet);
    registry().push_back(this);
}

CharacterSet::~CharacterSet() {
    std::vector<CharacterSet*>& sets = registry();
    sets.erase(std::remove(sets.begin(), sets.end(), this), sets.end());
}

const std::vector<CharacterSet*>& CharacterSet::all() {
    return registry();
}

void CharacterSet::updateAll(double nowMs) {
    // By index: a listener of a moved node may end a set on the way.
    std::vector<CharacterSet*>& sets = registry();
    for (size_t i = 0; i < sets.size(); ++i) {
        sets[i]->update(nowMs);
    }
}

void CharacterSet::nextClipAll() {
    for (CharacterSet* set : registry()) {
        set->nextClip();
    }
}

const Clip* CharacterSet::getClip(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_source->clips.size()) {
        return nullptr;
    }
    return m_source->clips[static_cast<size_t>(index)].get();
}

int32_t CharacterSet::getClipIndex(const std::string& name) const {
    for (size_t i = 0; i < m_source->clips.size(); ++i) {
        if (m_source->clips[i]->getName() == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool CharacterSet::bind(const std::vector<Node*>& nodes) {
    for (Node* node : nodes) {
        if (node == nullptr || !node->hasKind(EntityKind::TransformGroup)) {
            Log::get() << "CharacterSet binding failed: "
                       << (node != nullptr ? node->getName() : std::string("(none)")) << "\n";
            return false;
        }
    }
    for (const std::unique_ptr<Clip>& clip : m_source->clips) {
        if (clip->getNumTracks() < nodes.size()) {
            Log::get() << "CharacterSet clip failure. All clips must contain the same number of "
                          "transformations.\n";
            return false;
        }
    }
    // Groups dropped from the list keep their reference until they are
    // rebound or destroyed, so rebinding never destroys this set.
    m_transforms.clear();
    m_restPoses.clear();
    m_written.assign(nodes.size(), 0);
    for (Node* node : nodes) {
        auto* group = static_cast<TransformGroup*>(node);
        m_transforms.push_back(group);
        RestPose& rest = m_restPoses.emplace_back();
        rest.translation = group->getTranslation();
        rest.rotation = group->getRotation();
        rest.scale = group->getScale();
        rest.visibility = group->getVisibility();
    }
    // Taking the set can make a group release a set that shares nodes with
    // this list; that one forgets them, not this one.
    for (TransformGroup* group : m_transforms) {
        group->setAnimation(this);
    }
    m_isBound = true;
    return true;
}

void CharacterSet::releaseNode(RawTransformGroup& node) {
    for (TransformGroup*& group : m_transforms) {
        if (group == &node) {
            group = nullptr;
        }
    }
}

NodeAnimation* CharacterSet::cloneFor(const CloneMap& map) {
    std::vector<Node*> mapped;
    mapped.reserve(m_transforms.size());
    bool complete = m_isBound;
    for (TransformGroup* group : m_transforms) {
        auto found = group != nullptr ? map.find(group) : map.end();
        if (found == map.end()) {
            complete = false;
            break;
        }
        mapped.push_back(found->second);
    }
    auto copy = std::make_unique<CharacterSet>(getName(), m_source.get());
    if (!complete || !copy->bind(mapped)) {
        Log::get() << "CharacterSet cloning failed. Not all transforms have been cloned: "
                   << getName() << "\n";
        return nullptr;
    }
    // The copies were made from an animated pose; the clone rests where
    // this set rests.
    copy->m_restPoses = m_restPoses;
    copy->m_written = m_written;
    copy->m_tracks = m_tracks;
    // The bound copies hold it now.
    return copy.release();
}

bool CharacterSet::checkTrack(int32_t track, const char* caller) const {
    if (isValidTrack(track)) {
        return true;
    }
    Log::get() << "Warning: " << caller << ", " << getName() << ": track " << track
               << " does not exist (0 to " << (kNumTracks - 1) << ")\n";
    return false;
}

bool CharacterSet::checkClip(int32_t clip, const char* caller) const {
    if (getClip(clip) != nullptr) {
        return true;
    }
    Log::get() << "Warning: " << caller << ", " << getName() << ": clip " << clip
               << " does not exist (" << static_cast<uint32_t>(getNumClips()) << " clips)\n";
    return false;
}

bool CharacterSet::checkNumber(float value, const char* caller) const {
    if (std::isfinite(value)) {
        return true;
    }
    Log::get() << "Warning: " << caller << ", " << getName() << ": the value is no finite number\n";
    return false;
}

bool CharacterSet::assignClip(int32_t track, int32_t clip) {
    if (!checkTrack(track, "assignAnimTrackClip") || !checkClip(clip, "assignAnimTrackClip")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].clip = clip;
    return true;
}

bool CharacterSet::clearClip(int32_t track) {
    if (!checkTrack(track, "clearAnimTrackClip")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].clip = -1;
    return true;
}

bool CharacterSet::setEnabled(int32_t track, bool enabled) {
    if (!checkTrack(track, enabled ? "enableAnimTrack" : "disableAnimTrack")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].enabled = enabled;
    return true;
}

bool CharacterSet::setTime(int32_t track, float timeMs) {
    if (!checkTrack(track, "setAnimTrackTime") || !checkNumber(timeMs, "setAnimTrackTime")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].time = timeMs;
    return true;
}

bool CharacterSet::setSpeedScale(int32_t track, float scale) {
    if (!checkTrack(track, "setAnimTrackSpeedScale") ||
        !checkNumber(scale, "setAnimTrackSpeedScale")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].speedScale = scale;
    return true;
}

bool CharacterSet::setBlendWeight(int32_t track, float weight) {
    if (!checkTrack(track, "setAnimTrackBlendWeight") ||
        !checkNumber(weight, "setAnimTrackBlendWeight")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].blendWeight = weight;
    return true;
}

bool CharacterSet::setLoop(int32_t track, bool loop) {
    if (!checkTrack(track, "setAnimTrackLoopState")) {
        return false;
    }
    m_tracks[static_cast<size_t>(track)].loop = loop;
    return true;
}

void CharacterSet::nextClip() {
    const size_t count = getNumClips();
    if (count == 0) {
        return;
    }
    Track& track = m_tracks[0];
    track.clip = static_cast<int32_t>((static_cast<size_t>(track.clip + 1)) % count);
    track.enabled = true;
}

void CharacterSet::update(double nowMs) {
    if (!m_isBound) {
        return;
    }
    const float dt = m_updatedOnce ? static_cast<float>(nowMs - m_lastUpdate) : 0.0f;
    m_lastUpdate = nowMs;
    m_updatedOnce = true;

    // The playing tracks with their clip and clip time.
    struct Playing {
        const Clip* clip;
        float time;
        float weight;
    };
    std::array<Playing, kNumTracks> playing{};
    size_t numPlaying = 0;
    for (Track& track : m_tracks) {
        const Clip* clip = getClip(track.clip);
        if (clip == nullptr || !track.enabled) {
            continue;
        }
        track.time += dt * track.speedScale;
        playing[numPlaying++] = {clip, clip->clipTime(track.time, track.loop), track.blendWeight};
    }

    constexpr uint32_t kPose =
        KeyframeAttribute::Translation | KeyframeAttribute::Rotation | KeyframeAttribute::Scale;
    for (size_t n = 0; n < m_transforms.size(); ++n) {
        TransformGroup* group = m_transforms[n];
        if (group == nullptr) {
            continue;
        }
        const RestPose& rest = m_restPoses[n];
        Vector3 translation = rest.translation;
        Vector3 rotation = rest.rotation;
        Vector3 scale = rest.scale;
        bool visibility = rest.visibility;
        uint32_t touched = 0;
        for (size_t p = 0; p < numPlaying; ++p) {
            const Playing& play = playing[p];
            if (n >= play.clip->getNumTracks()) {
                continue;
            }
            const KeyframeTrack& keys = play.clip->getTrack(n);
            KeyframeSample sample;
            if (!keys.evaluate(play.time, sample)) {
                continue;
            }
            const uint32_t attributes = keys.getAttributes();
            if (attributes & KeyframeAttribute::Translation) {
                translation += (sample.translation() - rest.translation) * play.weight;
            }
            if (attributes & KeyframeAttribute::Rotation) {
                rotation += (sample.rotation() - rest.rotation) * play.weight;
            }
            if (attributes & KeyframeAttribute::Scale) {
                scale += (sample.scale() - rest.scale) * play.weight;
            }
            if ((attributes & KeyframeAttribute::Visibility) && play.weight > 0.5f) {
                visibility = sample.previous->visibility;
            }
            touched |= attributes;
        }
        // What was moved last update and is not moved now returns to rest.
        const uint32_t write = touched | m_written[n];
        m_written[n] = touched;
        if (write & kPose) {
            group->setTransform(
                (write & KeyframeAttribute::Translation) ? translation : group->getTranslation(),
                (write & KeyframeAttribute::Rotation) ? rotation : group->getRotation(),
                (write & KeyframeAttribute::Scale) ? scale : group->getScale());
        }
        if (write & KeyframeAttribute::Visibility) {
            group->setVisibility(visibility);
        }
    }
}

std::string CharacterSet::getStatsText() const {
    std::string text = getName();
    text += " (active" + std::to_string(getActiveClip() + 1) + "/" + std::to_string(getNumClips()) +
            ")\n Transforms: ";
    std::vector<std::string> names;
    for (TransformGroup* group : m_transforms) {
        if (group != nullptr) {
            names.push_back(group->getName());
        }
    }
    appendList(text, names);
    text += "\n Clips: ";
    names.clear();
    char duration[32];
    for (const std::unique_ptr<Clip>& clip : m_source->clips) {
        std::snprintf(duration, sizeof(duration), "%.0f", static_cast<double>(clip->getDuration()));
        names.push_back(clip->getName() + " (" + duration + " ms)");
    }
    appendList(text, names);
    text += "\n";
    return text;
}
