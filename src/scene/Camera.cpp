#include "scene/Camera.h"

#include <cmath>
#include <numbers>

Camera::Camera(const std::string& name, float fieldOfView, float nearClip, float farClip)
    : TransformGroup(name), m_fieldOfView(fieldOfView), m_nearClip(nearClip), m_farClip(farClip) {
    addKind(EntityKind::Camera);
}

std::unique_ptr<TransformGroup> Camera::createCopy() const {
    return std::make_unique<Camera>(getName(), m_fieldOfView, m_nearClip, m_farClip);
}

Matrix4 Camera::getProjectionMatrix(float width, float height) const {
    float f = 1.0f / std::tan(m_fieldOfView * static_cast<float>(std::numbers::pi) / 360.0f);
    float aspect = height != 0.0f ? width / height : 1.0f;
    Matrix4 p;
    for (float& e : p.m) {
        e = 0.0f;
    }
    p.m[0] = f / aspect;
    p.m[5] = f;
    p.m[10] = -(m_farClip + m_nearClip) / (m_farClip - m_nearClip);
    p.m[11] = -1.0f;
    p.m[14] = -2.0f * m_farClip * m_nearClip / (m_farClip - m_nearClip);
    return p;
}

Matrix4 Camera::getViewMatrix() {
    return getWorldMatrix().inverse();
}

void Camera::aimCamera(const Vector3& target, float offset, float pull, float stiffness) {
    Matrix4 world = getWorldMatrix();
    Vector3 position = world.getTranslation();
    Vector3 d = position - target;
    float m = dot(d, d);
    if (m > 0.001f) {
        float k = pull * (stiffness * m + 0.00065f / m) / m;
        position -= d * k;
    }
    position += normalize(world.getColumn(2)) * offset;
    world.setTranslation(position);

    Matrix4 local = world;
    Node* parent = getParent();
    if (parent && parent->hasKind(EntityKind::RawTransformGroup)) {
        local = static_cast<RawTransformGroup*>(parent)->getWorldMatrix().inverse() * world;
    }
    // Rotation and translation come from the new local matrix; the scale is
    // kept.
    setTranslationRotation(local.getTranslation(), rotationFromMatrix(local));
}
