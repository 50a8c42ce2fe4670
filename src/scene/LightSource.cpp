#include "scene/LightSource.h"

#include <algorithm>
#include <cmath>
#include <numbers>

LightSource::LightSource(const std::string& name, const Settings& settings)
    : TransformGroup(name), m_settings(settings) {
    addKind(EntityKind::LightSource);
    m_settings.dropOff = std::clamp(m_settings.dropOff, 0.0f, 5.0f);
    if (m_settings.decayRate == 0) {
        m_settings.decayRate = 1;
    }
    float h = m_settings.coneAngle * static_cast<float>(std::numbers::pi) / 360.0f;
    m_cosOuterCone = std::cos(h);
    m_cosInnerCone = std::cos(h - h / 5.0f * m_settings.dropOff);
    m_lightFlags = m_settings.castsShadowMap ? (kDefaultFlags | kCastsShadowMap) : kDefaultFlags;
}

std::unique_ptr<TransformGroup> LightSource::createCopy() const {
    auto copy = std::make_unique<LightSource>(getName(), m_settings);
    copy->m_lightFlags = m_lightFlags;
    return copy;
}

float LightSource::getReach() const {
    if (m_settings.type == Directional) {
        return kUnboundedReach;
    }
    // A negative range reaches nothing rather than shrinking the spheres it
    // is merged with.
    return std::max(m_settings.range, 0.0f);
}

void LightSource::setRange(float range) {
    m_settings.range = range;
    invalidateBounds();
}

const BoundingSphere& LightSource::getLocalBounds(int kind) {
    if (kind != 1 || !isLocalBoundsDirty(kind)) {
        return RawTransformGroup::getLocalBounds(kind);
    }
    BoundingSphere& bounds = localBoundsStorage(kind);
    bounds.reset();
    bounds.merge(BoundingSphere(getLocalMatrix().getTranslation(), getReach()),
                 Matrix4::identity());
    mergeChildBounds(kind, bounds);
    clearLocalBoundsDirty(kind);
    return bounds;
}
