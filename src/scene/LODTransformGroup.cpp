#include "scene/LODTransformGroup.h"

#include <algorithm>

LODTransformGroup::LODTransformGroup(const std::string& name, const std::vector<float>& distances)
    : TransformGroup(name) {
    addKind(EntityKind::LODTransformGroup);
    if (distances.size() < 2) {
        m_distances.fill(100.0f);
        m_distances[0] = 0.0f;
        return;
    }
    size_t copied = std::min(distances.size(), kNumDistances);
    for (size_t i = 0; i < kNumDistances; ++i) {
        m_distances[i] = distances[std::min(i, copied - 1)];
    }
}

std::unique_ptr<TransformGroup> LODTransformGroup::createCopy() const {
    return std::make_unique<LODTransformGroup>(
        getName(), std::vector<float>(m_distances.begin(), m_distances.end()));
}
