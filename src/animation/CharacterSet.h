#pragma once
// A character set animates a list of bound transform groups with the clips
// of its (shared) source. Four tracks play clips at their own time, speed
// and weight; every frame the enabled tracks are evaluated and added over
// the rest pose of each transform.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "animation/Clip.h"
#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "foundation/StatsText.h"
#include "scene/NodeAnimation.h"

class Node;

class CharacterSet : public NodeAnimation, public Entity, public StatsTextSource {
public:
    static constexpr int kNumTracks = 4;

    // The clips, shared by a set and its clones.
    class CharacterSetSource : public RefCounted {
    public:
        Clip& addClip(std::unique_ptr<Clip> clip) { return *clips.emplace_back(std::move(clip)); }
        std::vector<std::unique_ptr<Clip>> clips;
    };

    struct Track {
        int32_t clip = -1;  // none
        bool enabled = false;
        float time = 0.0f;  // ms
        float speedScale = 1.0f;
        float blendWeight = 1.0f;
        bool loop = false;
    };

    // A new source is made when none is given.
    explicit CharacterSet(const std::string& name, CharacterSetSource* source = nullptr);
    ~CharacterSet() override;

    const char* getClassName() const override { return "CharacterSet"; }

    CharacterSetSource& getSource() { return *m_source; }
    size_t getNumClips() const { return m_source->clips.size(); }
    // None for an index out of range.
    const Clip* getClip(int32_t index) const;
    // -1 when no clip has the name.
    int32_t getClipIndex(const std::string& name) const;

    // Binds the transform groups in order. Everything is checked first:
    // every element must be a transform group and every clip must have a
    // track per element; on failure (logged) nothing changes. Then the old
    // list is dropped, each group's current pose becomes its rest pose and
    // the group takes this set as its animation.
    bool bind(const std::vector<Node*>& nodes);
    bool isBound() const { return m_isBound; }
    // A slot is none once its group was destroyed or took another set.
    const std::vector<TransformGroup*>& getBoundTransforms() const { return m_transforms; }

    // Track operations. An index out of range is logged and changes
    // nothing (false); a time, speed or weight that is no finite number is
    // refused the same way.
    bool isValidTrack(int32_t track) const { return track >= 0 && track < kNumTracks; }
    const Track& getTrack(int32_t track) const { return m_tracks[static_cast<size_t>(track)]; }
    bool assignClip(int32_t track, int32_t clip);
    bool clearClip(int32_t track);
    bool setEnabled(int32_t track, bool enabled);
    bool setTime(int32_t track, float timeMs);
    bool setSpeedScale(int32_t track, float scale);
    bool setBlendWeight(int32_t track, float weight);
    bool setLoop(int32_t track, bool loop);
    // Logs (as `caller`) when the index is out of range.
    bool checkTrack(int32_t track, const char* caller) const;
    bool checkClip(int32_t clip, const char* caller) const;

    // Advances the enabled tracks to `nowMs` (the game time) and writes the
    // blended pose into the bound groups. Nothing happens while unbound.
    void update(double nowMs);
    // The clip of track 0, -1 when none.
    int32_t getActiveClip() const { return m_tracks[0].clip; }
    // Track 0 plays the next clip, wrapping around.
    void nextClip();

    std::string getStatsText() const override;

    Entity& getAnimationEntity() override { return *this; }
    void releaseNode(RawTransformGroup& node) override;
    NodeAnimation* cloneFor(const CloneMap& map) override;

    // Every character set alive, in creation order.
    static const std::vector<CharacterSet*>& all();
    static void updateAll(double nowMs);
    static void nextClipAll();

private:
    struct RestPose {
        Vector3 translation;
        Vector3 rotation;
        Vector3 scale{1.0f, 1.0f, 1.0f};
        bool visibility = true;
    };

    bool checkNumber(float value, const char* caller) const;

    RefPtr<CharacterSetSource> m_source;
    std::vector<TransformGroup*> m_transforms;
    // Per bound group: its rest pose and the attributes written last update
    // (those go back to rest once no track moves them any more).
    std::vector<RestPose> m_restPoses;
    std::vector<uint32_t> m_written;
    bool m_isBound = false;
    std::array<Track, kNumTracks> m_tracks{};
    double m_lastUpdate = 0.0;
    bool m_updatedOnce = false;
};
