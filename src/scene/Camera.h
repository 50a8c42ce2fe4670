#pragma once
// A perspective camera looking along its local -z axis with +y up.

#include "scene/TransformGroup.h"

class Camera : public TransformGroup {
public:
    // Field of view in degrees (vertical opening angle).
    Camera(const std::string& name, float fieldOfView, float nearClip, float farClip);

    const char* getClassName() const override { return "Camera"; }
    std::unique_ptr<TransformGroup> createCopy() const override;

    float getFieldOfView() const { return m_fieldOfView; }
    float getNearClip() const { return m_nearClip; }
    float getFarClip() const { return m_farClip; }
    void setFieldOfView(float degrees) { m_fieldOfView = degrees; }
    void setClipRange(float nearClip, float farClip) {
        m_nearClip = nearClip;
        m_farClip = farClip;
    }
    int32_t getReserved() const { return m_reserved; }

    // Perspective projection for a viewport of width x height.
    Matrix4 getProjectionMatrix(float width, float height) const;
    // The inverse of the world matrix.
    Matrix4 getViewMatrix();

    // Pulls the camera towards `target` (pull and stiffness shape the pull)
    // and then moves it by `offset` along its own z axis; the orientation
    // stays.
    void aimCamera(const Vector3& target, float offset, float pull, float stiffness);

private:
    float m_fieldOfView;
    float m_nearClip;
    float m_farClip;
    int32_t m_reserved = 0;
};
