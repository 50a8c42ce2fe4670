#include "render/scene/LightAssignment.h"

#include <algorithm>
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
        Reach& reach = m_reaches[i];
        reach.center = entry.reachCenter;
        reach.radius = entry.reach;
        // Ambient lights light through the scene's ambient colour only.
        reach.usable = entry.light->getType() != LightSource::Ambient &&
                       (entry.flags & LightListEntry::kSkipped) == 0;
    }
    ++m_version;
}

int LightGroups::numLights() const {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        n += groups[i].count;
    }
    return n;
}

void finishLightGroup(LightGroup& group, bool shadowRequested, float shadowQuality) {
    // Insertion sort by type: stable, and a group holds four lights at most.
    for (int i = 1; i < group.count; ++i) {
        const LightListEntry* entry = group.lights[i];
        int j = i;
        for (; j > 0 && entry->light->getType() < group.lights[j - 1]->light->getType(); --j) {
            group.lights[j] = group.lights[j - 1];
        }
        group.lights[j] = entry;
    }
    ShaderKey key;
    int counts[3] = {0, 0, 0};
    int specularOnly[3] = {0, 0, 0};
    bool shadow = false;
    for (int i = 0; i < group.count; ++i) {
        const LightSource& light = *group.lights[i]->light;
        const int type = light.getType();
        if (type < LightSource::Directional || type > LightSource::Spot) {
            continue;
        }
        ++counts[type];
        if ((light.getLightFlags() & LightSource::kEmitsDiffuse) == 0) {
            ++specularOnly[type];
        }
        shadow = shadow || (light.getLightFlags() & LightSource::kCastsShadowMap) != 0;
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
    int taken = 0;
    const std::vector<LightList::Reach>& reaches = list.getReaches();
    const std::vector<LightListEntry*>& entries = list.getEntries();
    // Entries added since the last sort have no reach yet and wait for it.
    const size_t count = std::min(reaches.size(), entries.size());
    for (size_t i = 0; i < count && taken < LightGroup::kMaxLights; ++i) {
        const LightList::Reach& r = reaches[i];
        // The influence sphere must overlap the shape's bounds.
        const Vector3 d = r.center - center;
        const float sum = r.radius + radius;
        if (!r.usable || dot(d, d) > sum * sum) {
            continue;
        }
        const LightListEntry* entry = entries[i];
        LightSource& light = *entry->light;
        ++taken;
        const bool castsShadow = shadows && (light.getLightFlags() & LightSource::kCastsShadowMap);
        const bool shadowEnds = light.getType() == LightSource::Directional &&
                                nearest > 1.5f * light.getSettings().shadowFarDistance;
        if (castsShadow && input.receivesShadows && !shadowEnds) {
            LightGroup& group = out.groups[out.count++];
            group = LightGroup();
            group.lights[0] = entry;
            group.count = 1;
            finishLightGroup(group, true, input.shadowQuality);
        } else {
            plain.lights[plain.count++] = entry;
        }
    }
    if (plain.count > 0) {
        finishLightGroup(plain, false, input.shadowQuality);
        out.groups[out.count++] = plain;
    }
}
