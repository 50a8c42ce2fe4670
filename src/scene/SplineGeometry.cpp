#include "scene/SplineGeometry.h"

#include <algorithm>
#include <cmath>

#include "scene/Shape.h"

SplineGeometry::SplineGeometry(const std::string& name, std::vector<Vector3> controlPoints,
                               bool closed)
    : VertexBufferGeometry(name), m_closed(closed), m_points(std::move(controlPoints)) {
    addKind(EntityKind::SplineGeometry);
    const size_t n = m_points.size();
    m_cumulative.assign(n + 1, 0.0f);
    for (size_t i = 1; i <= n; ++i) {
        float segmentLength = 0.0f;
        Vector3 previous = segmentPoint(i - 1, 0.0f);
        for (int step = 1; step <= 8; ++step) {
            Vector3 next = segmentPoint(i - 1, static_cast<float>(step) * 0.125f);
            segmentLength += length(next - previous);
            previous = next;
        }
        m_cumulative[i] = m_cumulative[i - 1] + segmentLength;
    }
    if (n > 0) {
        m_length = m_closed ? m_cumulative[n] : m_cumulative[n - 1];
    }
    // The curve lies inside the hull of its control points.
    boundsStorage().setFromPoints(n > 0 ? &m_points[0].x : nullptr, n,
                                  sizeof(Vector3) / sizeof(float));
}

const Vector3& SplineGeometry::controlPoint(long index) const {
    const long n = static_cast<long>(m_points.size());
    if (m_closed) {
        index %= n;
        if (index < 0) {
            index += n;
        }
    } else {
        index = std::clamp(index, 0L, n - 1);
    }
    return m_points[static_cast<size_t>(index)];
}

Vector3 SplineGeometry::segmentPoint(size_t segment, float u) const {
    if (m_points.empty()) {
        return Vector3{};
    }
    float u2 = u * u;
    float u3 = u2 * u;
    float w0 = (1.0f - u) * (1.0f - u) * (1.0f - u) / 6.0f;
    float w1 = (3.0f * u3 - 6.0f * u2 + 4.0f) / 6.0f;
    float w2 = (-3.0f * u3 + 3.0f * u2 + 3.0f * u + 1.0f) / 6.0f;
    float w3 = u3 / 6.0f;
    long first = static_cast<long>(segment) - 1;
    return controlPoint(first) * w0 + controlPoint(first + 1) * w1 + controlPoint(first + 2) * w2 +
           controlPoint(first + 3) * w3;
}

Vector3 SplineGeometry::evaluate(float t) const {
    const size_t n = m_points.size();
    if (n == 0) {
        return Vector3{};
    }
    t = std::clamp(t, 0.0f, 1.0f);
    float s = m_length * t;
    size_t lo = 0;
    size_t hi = n;
    if (n >= 2) {
        while (hi - lo > 1) {
            size_t mid = (lo + hi) / 2;
            if (m_cumulative[mid] > s) {
                hi = mid;
            } else {
                lo = mid;
            }
        }
    } else {
        hi = 1;
    }
    float span = m_cumulative[hi] - m_cumulative[lo];
    // A segment of zero length (repeated control points) has no inside.
    float u = span > 0.0f ? (s - m_cumulative[lo]) / span : 0.0f;
    return segmentPoint(lo, u);
}

float wrapSplineParameter(float t) {
    if (!std::isfinite(t)) {
        return 0.0f;
    }
    // Whole turns at once: the same result as stepping by one until the value
    // lies in [0, 1], without a loop that large values would never leave.
    if (t > 1.0f) {
        t -= std::ceil(t - 1.0f);
    } else if (t < 0.0f) {
        t += std::ceil(-t);
    }
    return std::clamp(t, 0.0f, 1.0f);
}

SplineGeometry* getShapeSpline(Shape& shape) {
    Geometry* geometry = shape.getGeometry();
    if (!geometry || !geometry->hasKind(EntityKind::SplineGeometry)) {
        return nullptr;
    }
    return static_cast<SplineGeometry*>(geometry);
}

bool getSplineWorldPosition(Shape& shape, float t, Vector3& position) {
    SplineGeometry* spline = getShapeSpline(shape);
    if (!spline) {
        return false;
    }
    position = shape.getWorldMatrix().transformPoint(spline->evaluate(wrapSplineParameter(t)));
    return true;
}

bool getSplineWorldOrientation(Shape& shape, float t, const Vector3& up, Vector3& rotation) {
    SplineGeometry* spline = getShapeSpline(shape);
    if (!spline) {
        return false;
    }
    const float step = 0.0005f;
    float t0 = wrapSplineParameter(t);
    float t1 = t0 + step;
    if (t1 > 1.0f) {
        // At the very end the forward difference would be zero; look back.
        t1 = t0;
        t0 -= step;
    }
    const Matrix4& world = shape.getWorldMatrix();
    Vector3 a = world.transformPoint(spline->evaluate(t0));
    Vector3 b = world.transformPoint(spline->evaluate(t1));
    Vector3 z = normalize(b - a);
    Vector3 x = normalize(cross(up, z));
    Vector3 y = cross(z, x);
    Matrix4 frame;
    frame.setColumn(0, x);
    frame.setColumn(1, y);
    frame.setColumn(2, z);
    rotation = rotationFromMatrix(frame);
    return true;
}
