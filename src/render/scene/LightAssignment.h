#pragma once
// The light list a lit renderer collects each frame, and the light groups it
// gives every visible shape: at most four lights, where each light that
// throws a shadow on the shape gets a group of its own and the other lights
// share one group. A group's configuration word selects the lighting code of
// the shape's shaders.

#include <cstddef>
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
    // Orders the entries by distance − reach, nearest influence first; equal
    // keys keep their collection order. The version changes only when the
    // sorted entries or what the assignment reads of them differ from the
    // last sort's, and no two lists share a version.
    void sort();

    // What the light assignment reads, per sorted entry and packed: the
    // influence sphere, whether the entry can light shapes at all, and the
    // light's type and flags as they were at the sort.
    struct Reach {
        Vector3 center;
        float radius = 0.0f;
        // A directional light's shadow ends for shapes whose nearest point
        // lies beyond this distance (others: infinity).
        float shadowEnd = 0.0f;
        int8_t type = 0;
        bool usable = false;
        bool emitsDiffuse = false;
        bool castsShadowMap = false;
    };

    // The sorted entries that may reach into a world-space box, as bits by
    // sorted index: the lights of the grid cells the box covers and the
    // lights that reach everywhere. False when the list or the box is too
    // large for a mask; every entry must then be tested.
    static constexpr size_t kMaxMaskWords = 8;
    bool candidates(const Vector3& min, const Vector3& max, uint64_t* mask) const;
    size_t maskWords() const { return m_words; }

    const std::vector<LightListEntry*>& getEntries() const { return m_entries; }
    const std::vector<Reach>& getReaches() const { return m_reaches; }
    const std::vector<LightListEntry*>& getShadowEntries() const { return m_shadowEntries; }
    uint32_t getVersion() const { return m_version; }
    // The version before the current one, and whether a shape with the
    // given bounds gets the same light groups from both: true when the
    // sorted entries stayed the same, at most kMaxMoved of them only changed
    // their influence spheres, and none of those spheres overlaps the bounds
    // before or after.
    static constexpr size_t kMaxMoved = 4;
    uint32_t getPreviousVersion() const { return m_previousVersion; }
    bool movedLightsMiss(const Vector3& center, float radius) const;
    // Whether a usable directional light casts shadow maps, which makes the
    // shapes' camera distances part of their assignment.
    bool hasDirectionalShadows() const { return m_directionalShadows; }
    bool empty() const { return m_entries.empty(); }

private:
    // Puts the usable lights into a grid of cells over their influence
    // spheres, one bit mask per cell; lights that are unbounded, not finite
    // or cover most of the grid go to the everywhere mask instead.
    void buildGrid();
    // The cells a box covers along each axis, clamped to the grid.
    void cellRange(const Vector3& min, const Vector3& max, int first[3], int last[3]) const;

    std::vector<LightListEntry*> m_entries;
    std::vector<LightListEntry*> m_shadowEntries;
    std::vector<Reach> m_reaches;
    uint32_t m_version = 0;
    bool m_directionalShadows = false;
    // The last sort's result, to tell whether the version must change.
    std::vector<LightListEntry*> m_sortedEntries;
    std::vector<Reach> m_sortedReaches;
    // What changed from the previous version: the entries whose spheres
    // moved, before and after (valid: nothing else changed).
    uint32_t m_previousVersion = 0;
    bool m_movedValid = false;
    size_t m_movedCount = 0;
    Reach m_movedBefore[kMaxMoved];
    Reach m_movedAfter[kMaxMoved];

    size_t m_words = 0;
    // The box around the bounded lights' influence spheres.
    Vector3 m_gridOrigin;
    Vector3 m_gridEnd;
    float m_cellsPerUnit = 0.0f;
    int m_dims[3] = {0, 0, 0};
    std::vector<uint64_t> m_cellMasks;
    std::vector<uint64_t> m_everywhere;
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

// Whether two groups hold the same lights in the same order with the same
// configuration.
bool sameLightGroup(const LightGroup& a, const LightGroup& b);

struct LightGroups {
    static constexpr int kMaxGroups = LightGroup::kMaxLights;
    LightGroup groups[kMaxGroups];
    int count = 0;
    // Lights in all groups together.
    int numLights() const;
    // The same groups in the same order.
    bool operator==(const LightGroups& other) const;
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

// What a shape's light groups were made from.
struct LightAssignmentStamp {
    // 0: not assigned yet.
    uint32_t listVersion = 0;
    Vector3 center;
    float radius = 0.0f;
    bool empty = true;
    float distance = 0.0f;
    bool receivesShadows = false;
    float shadowQuality = 0.0f;
};

// Assigns the shape's light groups anew unless the stamp says they were made
// from the same list version and the same input (the camera distance counts
// only where a directional shadow may end before the shape). True when they
// were assigned anew.
bool refreshLights(const LightList& list, const LightAssignmentInput& input,
                   LightAssignmentStamp& stamp, LightGroups& out);

// Sorts the group's lights by type and sets its configuration word.
void finishLightGroup(LightGroup& group, bool shadowRequested, float shadowQuality);
