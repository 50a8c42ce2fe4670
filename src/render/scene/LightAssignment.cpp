#include "render/scene/LightAssignment.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>

#include "render/shader/ShaderKey.h"
#include "scene/BoundingSphere.h"
#include "scene/LightSource.h"

void LightList::clear() {
    m_entries.clear();
    m_shadowEntries.clear();
    m_reaches.clear();
}

void LightList::add(LightSource& light, const Matrix4& world, float distance,
                    bool castsShadowMaps) {
    auto* entry = static_cast<LightListEntry*>(light.getLightRecord());
    if (entry == nullptr) {
        auto created = std::make_unique<LightListEntry>();
        entry = created.get();
        light.setLightRecord(std::move(created));
    }
    entry->light = &light;
    entry->world = world;
    const BoundingSphere& bounds = light.getWorldBounds(1);
    entry->reachCenter = bounds.getCenter();
    entry->reach = bounds.getRadius();
    entry->distance = distance;
    entry->sortKey = distance - light.getReach();
    entry->flags = 0;
    m_entries.push_back(entry);
    if (castsShadowMaps) {
        m_shadowEntries.push_back(entry);
    }
}

namespace {

// Cells per axis of the light grid at most.
constexpr int kMaxGridCells = 16;
// Boxes covering more cells than this test every light instead.
constexpr int kMaxBoxCells = 64;
// Lights reaching farther than this are not put into grid cells.
constexpr float kGridReachLimit = 1.0e6f;

bool isFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

float axis(const Vector3& v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

// Sorts the group's lights by type (stable, at most four) together with
// their traits and sets its configuration word.
void finishGroup(LightGroup& group, const LightList::Reach* traits[], bool shadowRequested,
                 float shadowQuality) {
    for (int i = 1; i < group.count; ++i) {
        const LightListEntry* entry = group.lights[i];
        const LightList::Reach* trait = traits[i];
        int j = i;
        for (; j > 0 && trait->type < traits[j - 1]->type; --j) {
            group.lights[j] = group.lights[j - 1];
            traits[j] = traits[j - 1];
        }
        group.lights[j] = entry;
        traits[j] = trait;
    }
    ShaderKey key;
    int counts[3] = {0, 0, 0};
    int specularOnly[3] = {0, 0, 0};
    bool shadow = false;
    for (int i = 0; i < group.count; ++i) {
        const int type = traits[i]->type;
        if (type < LightSource::Directional || type > LightSource::Spot) {
            continue;
        }
        ++counts[type];
        if (!traits[i]->emitsDiffuse) {
            ++specularOnly[type];
        }
        shadow = shadow || traits[i]->castsShadowMap;
    }
    for (int type = 0; type < 3; ++type) {
        if (counts[type] != 0) {
            key.setLightCount(static_cast<ShaderLightKind>(type), false, counts[type]);
        }
        if (specularOnly[type] != 0) {
            key.setLightCount(static_cast<ShaderLightKind>(type), true, specularOnly[type]);
        }
    }
    group.shadow = shadowRequested && shadow && shadowQuality != 0.0f;
    if (group.shadow) {
        key.words[3] |= ShaderKey::kDepthShadowMap;
    }
    group.configWord = key.words[3];
}

bool sameReach(const LightList::Reach& a, const LightList::Reach& b) {
    return a.center == b.center && a.radius == b.radius && a.shadowEnd == b.shadowEnd &&
           a.type == b.type && a.usable == b.usable && a.emitsDiffuse == b.emitsDiffuse &&
           a.castsShadowMap == b.castsShadowMap;
}

}  // namespace

void LightList::sort() {
    // Insertion sort: stable, allocation free, and light lists are short.
    for (size_t i = 1; i < m_entries.size(); ++i) {
        LightListEntry* entry = m_entries[i];
        size_t j = i;
        for (; j > 0 && entry->sortKey < m_entries[j - 1]->sortKey; --j) {
            m_entries[j] = m_entries[j - 1];
        }
        m_entries[j] = entry;
    }
    m_reaches.resize(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const LightListEntry& entry = *m_entries[i];
        const LightSource& light = *entry.light;
        Reach& reach = m_reaches[i];
        reach.center = entry.reachCenter;
        reach.radius = entry.reach;
        reach.type = static_cast<int8_t>(light.getType());
        // Ambient lights light through the scene's ambient colour only.
        reach.usable = light.getType() != LightSource::Ambient &&
                       (entry.flags & LightListEntry::kSkipped) == 0;
        reach.emitsDiffuse = (light.getLightFlags() & LightSource::kEmitsDiffuse) != 0;
        reach.castsShadowMap = (light.getLightFlags() & LightSource::kCastsShadowMap) != 0;
        reach.shadowEnd = light.getType() == LightSource::Directional
                              ? 1.5f * light.getSettings().shadowFarDistance
                              : std::numeric_limits<float>::infinity();
    }
    m_directionalShadows = false;
    for (const Reach& reach : m_reaches) {
        m_directionalShadows = m_directionalShadows || (reach.usable && reach.castsShadowMap &&
                                                        reach.type == LightSource::Directional);
    }
    if (m_version != 0 && m_entries == m_sortedEntries &&
        std::equal(m_reaches.begin(), m_reaches.end(), m_sortedReaches.begin(),
                   m_sortedReaches.end(), sameReach)) {
        // The grid still holds these lights.
        return;
    }
    // Lights that only moved change the groups of the shapes they reach
    // before or after; the others keep theirs.
    m_previousVersion = m_version;
    m_movedValid = m_version != 0 && m_entries == m_sortedEntries &&
                   m_reaches.size() == m_sortedReaches.size();
    m_movedCount = 0;
    for (size_t i = 0; i < m_reaches.size() && m_movedValid; ++i) {
        const Reach& before = m_sortedReaches[i];
        const Reach& after = m_reaches[i];
        if (sameReach(before, after)) {
            continue;
        }
        const bool onlyPlace = before.type == after.type && before.usable == after.usable &&
                               before.emitsDiffuse == after.emitsDiffuse &&
                               before.castsShadowMap == after.castsShadowMap &&
                               before.shadowEnd == after.shadowEnd;
        if (!onlyPlace || m_movedCount == kMaxMoved) {
            m_movedValid = false;
            break;
        }
        m_movedBefore[m_movedCount] = before;
        m_movedAfter[m_movedCount] = after;
        ++m_movedCount;
    }
    m_sortedEntries = m_entries;
    m_sortedReaches = m_reaches;
    buildGrid();
    static std::atomic<uint32_t> s_versions{0};
    do {
        m_version = ++s_versions;
    } while (m_version == 0);
}

void LightList::buildGrid() {
    const size_t n = m_reaches.size();
    m_words = (n + 63) / 64;
    m_dims[0] = m_dims[1] = m_dims[2] = 0;
    if (m_words > kMaxMaskWords) {
        return;
    }
    m_everywhere.assign(m_words, 0);
    auto setBit = [](uint64_t* mask, size_t i) { mask[i / 64] |= uint64_t(1) << (i % 64); };
    auto bounded = [](const Reach& r) {
        return isFinite(r.center) && std::isfinite(r.radius) && r.radius < kGridReachLimit;
    };
    const float inf = std::numeric_limits<float>::infinity();
    Vector3 lo{inf, inf, inf};
    Vector3 hi{-inf, -inf, -inf};
    float diameters = 0.0f;
    int boundedCount = 0;
    for (size_t i = 0; i < n; ++i) {
        const Reach& r = m_reaches[i];
        if (!r.usable) {
            continue;
        }
        if (!bounded(r)) {
            setBit(m_everywhere.data(), i);
            continue;
        }
        const float radius = std::max(r.radius, 0.0f);
        lo = {std::min(lo.x, r.center.x - radius), std::min(lo.y, r.center.y - radius),
              std::min(lo.z, r.center.z - radius)};
        hi = {std::max(hi.x, r.center.x + radius), std::max(hi.y, r.center.y + radius),
              std::max(hi.z, r.center.z + radius)};
        diameters += 2.0f * radius;
        ++boundedCount;
    }
    if (boundedCount == 0) {
        return;
    }
    // Cells a quarter of an average influence sphere's diameter, so that a
    // cell meets few lights, and at most kMaxGridCells along the longest
    // side.
    const Vector3 extent = hi - lo;
    const float longest = std::max({extent.x, extent.y, extent.z});
    float cell = std::max(0.25f * diameters / float(boundedCount), longest / float(kMaxGridCells));
    if (!(cell > 0.0f)) {
        cell = 1.0f;
    }
    m_gridOrigin = lo;
    m_gridEnd = hi;
    m_cellsPerUnit = 1.0f / cell;
    size_t cells = 1;
    for (int a = 0; a < 3; ++a) {
        const float count = axis(extent, a) * m_cellsPerUnit;
        m_dims[a] = count >= float(kMaxGridCells) ? kMaxGridCells : int(count) + 1;
        cells *= size_t(m_dims[a]);
    }
    m_cellMasks.assign(cells * m_words, 0);
    for (size_t i = 0; i < n; ++i) {
        const Reach& r = m_reaches[i];
        if (!r.usable || !bounded(r)) {
            continue;
        }
        const float radius = std::max(r.radius, 0.0f);
        const Vector3 offset{radius, radius, radius};
        int first[3];
        int last[3];
        cellRange(r.center - offset, r.center + offset, first, last);
        const size_t covered = size_t(last[0] - first[0] + 1) * size_t(last[1] - first[1] + 1) *
                               size_t(last[2] - first[2] + 1);
        if (cells > 8 && covered * 2 > cells) {
            setBit(m_everywhere.data(), i);
            continue;
        }
        for (int z = first[2]; z <= last[2]; ++z) {
            for (int y = first[1]; y <= last[1]; ++y) {
                for (int x = first[0]; x <= last[0]; ++x) {
                    const size_t index =
                        (size_t(z) * size_t(m_dims[1]) + size_t(y)) * size_t(m_dims[0]) + size_t(x);
                    setBit(&m_cellMasks[index * m_words], i);
                }
            }
        }
    }
}

void LightList::cellRange(const Vector3& min, const Vector3& max, int first[3], int last[3]) const {
    const float lo[3] = {min.x - m_gridOrigin.x, min.y - m_gridOrigin.y, min.z - m_gridOrigin.z};
    const float hi[3] = {max.x - m_gridOrigin.x, max.y - m_gridOrigin.y, max.z - m_gridOrigin.z};
    for (int a = 0; a < 3; ++a) {
        const float top = float(m_dims[a] - 1);
        first[a] = int(std::clamp(lo[a] * m_cellsPerUnit, 0.0f, top));
        last[a] = int(std::clamp(hi[a] * m_cellsPerUnit, 0.0f, top));
    }
}

bool LightList::candidates(const Vector3& min, const Vector3& max, uint64_t* mask) const {
    if (m_words > kMaxMaskWords || !isFinite(min) || !isFinite(max)) {
        return false;
    }
    std::copy(m_everywhere.begin(), m_everywhere.end(), mask);
    if (m_dims[0] == 0) {
        return true;
    }
    if (max.x < m_gridOrigin.x || max.y < m_gridOrigin.y || max.z < m_gridOrigin.z ||
        min.x > m_gridEnd.x || min.y > m_gridEnd.y || min.z > m_gridEnd.z) {
        // The box misses every bounded light.
        return true;
    }
    int first[3];
    int last[3];
    cellRange(min, max, first, last);
    if ((last[0] - first[0] + 1) * (last[1] - first[1] + 1) * (last[2] - first[2] + 1) >
        kMaxBoxCells) {
        return false;
    }
    for (int z = first[2]; z <= last[2]; ++z) {
        for (int y = first[1]; y <= last[1]; ++y) {
            for (int x = first[0]; x <= last[0]; ++x) {
                const uint64_t* cell =
                    &m_cellMasks[((size_t(z) * size_t(m_dims[1]) + size_t(y)) * size_t(m_dims[0]) +
                                  size_t(x)) *
                                 m_words];
                for (size_t w = 0; w < m_words; ++w) {
                    mask[w] |= cell[w];
                }
            }
        }
    }
    return true;
}

namespace {

// Whether the light's influence sphere overlaps the bounds, as the
// assignment tests it.
bool lightReaches(const LightList::Reach& r, const Vector3& center, float radius) {
    const Vector3 d = r.center - center;
    const float sum = r.radius + radius;
    return r.usable && !(dot(d, d) > sum * sum);
}

}  // namespace

bool LightList::movedLightsMiss(const Vector3& center, float radius) const {
    if (!m_movedValid) {
        return false;
    }
    for (size_t i = 0; i < m_movedCount; ++i) {
        if (lightReaches(m_movedBefore[i], center, radius) ||
            lightReaches(m_movedAfter[i], center, radius)) {
            return false;
        }
    }
    return true;
}

bool sameLightGroup(const LightGroup& a, const LightGroup& b) {
    return a.count == b.count && a.configWord == b.configWord && a.shadow == b.shadow &&
           std::equal(a.lights, a.lights + a.count, b.lights);
}

bool LightGroups::operator==(const LightGroups& other) const {
    return count == other.count && std::equal(groups, groups + count, other.groups, sameLightGroup);
}

int LightGroups::numLights() const {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        n += groups[i].count;
    }
    return n;
}

void finishLightGroup(LightGroup& group, bool shadowRequested, float shadowQuality) {
    LightList::Reach traits[LightGroup::kMaxLights];
    const LightList::Reach* pointers[LightGroup::kMaxLights];
    for (int i = 0; i < group.count; ++i) {
        const LightSource& light = *group.lights[i]->light;
        traits[i].type = static_cast<int8_t>(light.getType());
        traits[i].emitsDiffuse = (light.getLightFlags() & LightSource::kEmitsDiffuse) != 0;
        traits[i].castsShadowMap = (light.getLightFlags() & LightSource::kCastsShadowMap) != 0;
        pointers[i] = &traits[i];
    }
    finishGroup(group, pointers, shadowRequested, shadowQuality);
}

void assignLights(const LightList& list, const LightAssignmentInput& input, LightGroups& out) {
    out.count = 0;
    if (list.empty() || input.bounds == nullptr || input.bounds->isEmpty()) {
        return;
    }
    const float nearest = input.distance - input.bounds->getRadius();
    const Vector3 center = input.bounds->getCenter();
    const float radius = input.bounds->getRadius();
    const bool shadows = input.shadowQuality != 0.0f;
    LightGroup plain;
    const LightList::Reach* plainTraits[LightGroup::kMaxLights];
    int taken = 0;
    const std::vector<LightList::Reach>& reaches = list.getReaches();
    const std::vector<LightListEntry*>& entries = list.getEntries();
    // Entries added since the last sort have no reach yet and wait for it.
    const size_t count = std::min(reaches.size(), entries.size());
    auto consider = [&](size_t i) __attribute__((always_inline)) {
        const LightList::Reach& r = reaches[i];
        // The influence sphere must overlap the shape's bounds.
        if (!lightReaches(r, center, radius)) {
            return;
        }
        const LightListEntry* entry = entries[i];
        ++taken;
        if (shadows && r.castsShadowMap && input.receivesShadows && !(nearest > r.shadowEnd)) {
            LightGroup& group = out.groups[out.count++];
            group = LightGroup();
            group.lights[0] = entry;
            group.count = 1;
            const LightList::Reach* traits[1] = {&r};
            finishGroup(group, traits, true, input.shadowQuality);
        } else {
            plainTraits[plain.count] = &r;
            plain.lights[plain.count++] = entry;
        }
    };
    // Only the lights of the grid cells the bounds cover can reach them;
    // their bits come in sorted order.
    uint64_t mask[LightList::kMaxMaskWords];
    const Vector3 extent{radius, radius, radius};
    if (list.candidates(center - extent, center + extent, mask)) {
        for (size_t w = 0; w < list.maskWords() && taken < LightGroup::kMaxLights; ++w) {
            for (uint64_t bits = mask[w]; bits != 0 && taken < LightGroup::kMaxLights;
                 bits &= bits - 1) {
                const size_t i = w * 64 + size_t(__builtin_ctzll(bits));
                if (i < count) {
                    consider(i);
                }
            }
        }
    } else {
        for (size_t i = 0; i < count && taken < LightGroup::kMaxLights; ++i) {
            consider(i);
        }
    }
    if (plain.count > 0) {
        finishGroup(plain, plainTraits, false, input.shadowQuality);
        out.groups[out.count++] = plain;
    }
}

bool refreshLights(const LightList& list, const LightAssignmentInput& input,
                   LightAssignmentStamp& stamp, LightGroups& out) {
    const BoundingSphere* bounds = input.bounds;
    const bool empty = bounds == nullptr || bounds->isEmpty();
    const Vector3 center = empty ? Vector3{} : bounds->getCenter();
    const float radius = empty ? 0.0f : bounds->getRadius();
    const bool distanceCounts =
        list.hasDirectionalShadows() && input.receivesShadows && input.shadowQuality != 0.0f;
    const bool sameInput = stamp.listVersion != 0 && stamp.empty == empty &&
                           stamp.center == center && stamp.radius == radius &&
                           stamp.receivesShadows == input.receivesShadows &&
                           stamp.shadowQuality == input.shadowQuality &&
                           (!distanceCounts || stamp.distance == input.distance);
    if (sameInput && stamp.listVersion == list.getVersion()) {
        return false;
    }
    // Empty bounds get no lights from any list.
    if (sameInput && stamp.listVersion == list.getPreviousVersion() &&
        (empty || list.movedLightsMiss(center, radius))) {
        stamp.listVersion = list.getVersion();
        return false;
    }
    assignLights(list, input, out);
    stamp.listVersion = list.getVersion();
    stamp.empty = empty;
    stamp.center = center;
    stamp.radius = radius;
    stamp.distance = input.distance;
    stamp.receivesShadows = input.receivesShadows;
    stamp.shadowQuality = input.shadowQuality;
    return true;
}
