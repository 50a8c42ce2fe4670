#pragma once
// The one bounding volume of the scene graph: a sphere with an empty flag.
// An empty sphere is ignored by set, merge and the overlap tests.

#include <cstddef>

#include "base/math/Matrix4.h"

class BoundingVolume {
public:
    virtual ~BoundingVolume() = default;
};

class BoundingSphere : public BoundingVolume {
public:
    BoundingSphere() = default;
    BoundingSphere(const Vector3& center, float radius) : m_center(center), m_radius(radius) {}

    // Copies centre and radius unless `other` is empty.
    void set(const BoundingSphere& other);
    // Centre (0, 0, 0), radius 0; the empty flag is left as it is.
    void reset();
    // Grows to enclose `other` transformed by `matrix`.
    void merge(const BoundingSphere& other, const Matrix4& matrix);
    bool intersects(const BoundingSphere& other) const;
    // Six planes (a, b, c, d) with ax + by + cz + d the signed distance; the
    // sphere is outside when it lies entirely behind one of them.
    bool intersectsFrustum(const float planes[6][4]) const;
    // `direction` must be of unit length.
    bool hitByRay(const Vector3& origin, const Vector3& direction) const;
    // The near intersection distance (negative when the origin lies inside).
    bool rayDistance(const Vector3& origin, const Vector3& direction, float& distance) const;
    bool containsPoint(const Vector3& point) const;
    void transform(const Matrix4& matrix);

    const Vector3& getCenter() const { return m_center; }
    float getRadius() const { return m_radius; }
    void setCenter(const Vector3& center) { m_center = center; }
    void setRadius(float radius) { m_radius = radius; }
    bool isEmpty() const { return m_empty; }
    void setEmpty(bool empty) { m_empty = empty; }

    // The smallest sphere enclosing `count` points read as three floats each,
    // `stride` floats apart. No points give an empty sphere.
    void setFromPoints(const float* xyz, size_t count, size_t stride = 3);

private:
    Vector3 m_center;
    float m_radius = 0.0f;
    bool m_empty = false;
};
