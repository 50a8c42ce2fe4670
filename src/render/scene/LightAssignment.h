#pragma once
// The light list a lit renderer collects each frame, and the light groups it
// gives every visible shape: at most four lights, where each light that
// throws a shadow on the shape gets a group of its own and the other lights
// share one group. A group's configuration word selects the lighting code of
// the shape's shaders.

#include <cstdint>
#include <vector>

#include "base/math/Matrix4.h"
#include "scene/RenderAttachment.h"

class BoundingSphere;
class LightSource;

// A light's entry in the light list: created on the light's first
// collection, kept with the light (its light record) and reused every frame.
struct LightListEntry : public RenderAttachment {
    // Entries with this flag are passed over by the light assignment.
    static constexpr uint32_t kSkipped = 0x1;

    LightSource* light = nullptr;
    Matrix4 world;
    // The light's influence sphere in world space (its bound of kind 1).
    Vector3 reachCenter;
    float reach = 0.0f;
    // Distance from the camera to the light's influence sphere centre.
    float distance = 0.0f;
    // distance − reach: the list's sort key.
    float sortKey = 0.0f;
    uint32_t flags = 0;
    // Frame whose shadow map the light last rendered (none yet: 0).
    uint32_t shadowFrame = 0;
};

class LightList {
public:
    // Empties both lists; the version stays.
    void clear();
    // Adds the light's entry (created on first use) with its distance and
    // world transform; `castsShadowMaps` also puts it in the shadow list.
    void add(LightSource& light, const Matrix4& world, float distance, bool castsShadowMaps);
    // Orders the entries by distance − reach, nearest influence first, and
    // advances the version. Equal keys keep their collection order.
    void sort();

    // What the light assignment tests, per sorted entry and packed: the
    // influence sphere, and whether the entry can light shapes at all.
    struct Reach {
        Vector3 center;
        float radius = 0.0f;
        bool usable = false;
    };

    const std::vector<LightListEntry*>& getEntries() const { return m_entries; }
    const std::vector<Reach>& getReaches() const { return m_reaches; }
    const std::vector<LightListEntry*>& getShadowEntries() const { return m_shadowEntries; }
    uint32_t getVersion() const { return m_version; }
    bool empty() const { return m_entries.empty(); }

private:
    std::vector<LightListEntry*> m_entries;
    std::vector<LightListEntry*> m_shadowEntries;
    std::vector<Reach> m_reaches;
    uint32_t m_version = 0;
};

struct LightGroup {
    static constexpr int kMaxLights = 4;
    // Sorted by light type: directional, point, spot.
    const LightListEntry* lights[kMaxLights] = {};
    int count = 0;
    // The shader key's light word: the counts per type and the shadow bit.
    uint32_t configWord = 0;
    bool shadow = false;
};

struct LightGroups {
    static constexpr int kMaxGroups = LightGroup::kMaxLights;
    LightGroup groups[kMaxGroups];
    int count = 0;
    // Lights in all groups together.
    int numLights() const;
};

struct LightAssignmentInput {
    // The shape's world bounds of kind 0.
    const BoundingSphere* bounds = nullptr;
    // The shape's camera distance.
    float distance = 0.0f;
    bool receivesShadows = false;
    // 0: no shadow maps.
    float shadowQuality = 0.0f;
};

// Gives a shape its light groups from a sorted light list: the first four
// lights (ambient lights and skipped entries aside) whose influence reaches
// the shape's bounds. A shadow-casting light gets a group of its own (with
// the shadow bit) on a shape that receives shadows while the shadow quality
// is not 0, except a directional light whose shadow ends before the shape
// (distance − radius beyond 1.5 × its shadow far distance); every other
// light joins the plain group, which follows the shadow groups.
void assignLights(const LightList& list, const LightAssignmentInput& input, LightGroups& out);

// Sorts the group's lights by type and sets its configuration word.
void finishLightGroup(LightGroup& group, bool shadowRequested, float shadowQuality);
