#pragma once
// A uniform cubic B-spline curve through n control points, open or closed,
// evaluated by arc length.

#include <vector>

#include "scene/Geometry.h"

class SplineGeometry : public VertexBufferGeometry {
public:
    SplineGeometry(const std::string& name, std::vector<Vector3> controlPoints, bool closed);

    bool isClosed() const { return m_closed; }
    size_t getNumPoints() const { return m_points.size(); }
    const std::vector<Vector3>& getControlPoints() const { return m_points; }
    float getLength() const { return m_length; }
    // n + 1 values, the first 0.
    const std::vector<float>& getCumulativeLengths() const { return m_cumulative; }

    // Point of segment i (covering control points i - 1 to i + 2) at u.
    Vector3 segmentPoint(size_t segment, float u) const;
    // The point at arc-length fraction t (clamped to [0, 1]), in the curve's
    // local frame.
    Vector3 evaluate(float t) const;

private:
    const Vector3& controlPoint(long index) const;

    bool m_closed;
    std::vector<Vector3> m_points;
    float m_length = 0.0f;
    std::vector<float> m_cumulative;
};

class Shape;

// Brings t into [0, 1] by whole turns: 1.25 becomes 0.25, -0.5 becomes 0.5,
// 1 and 2 stay at the end (1). A value that is not finite becomes 0.
float wrapSplineParameter(float t);
// The shape's spline (none when its geometry is no spline).
SplineGeometry* getShapeSpline(Shape& shape);
// The curve point at the wrapped t in world space; false when the shape
// holds no spline.
bool getSplineWorldPosition(Shape& shape, float t, Vector3& position);
// Euler angles of the frame whose Z axis is the curve's world tangent at t,
// X = normalise(up x Z), Y = Z x X.
bool getSplineWorldOrientation(Shape& shape, float t, const Vector3& up, Vector3& rotation);
