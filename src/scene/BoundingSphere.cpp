#include "scene/BoundingSphere.h"

#include <cmath>
#include <vector>

void BoundingSphere::set(const BoundingSphere& other) {
    if (other.m_empty) {
        return;
    }
    m_center = other.m_center;
    m_radius = other.m_radius;
}

void BoundingSphere::reset() {
    m_center = Vector3{};
    m_radius = 0.0f;
}

void BoundingSphere::merge(const BoundingSphere& other, const Matrix4& matrix) {
    if (other.m_empty) {
        return;
    }
    Vector3 otherCenter = matrix.transformPoint(other.m_center);
    float otherRadius = other.m_radius * matrix.maxColumnLength();
    if (m_radius == 0.0f) {
        m_center = otherCenter;
        m_radius = otherRadius;
        return;
    }
    Vector3 delta = m_center - otherCenter;
    float d2 = dot(delta, delta);
    float dr = m_radius - otherRadius;
    if (d2 > dr * dr) {
        float d = std::sqrt(d2);
        float fraction = (d + m_radius - otherRadius) / (2.0f * d);
        m_radius = (d + m_radius + otherRadius) * 0.5f;
        m_center = otherCenter + delta * fraction;
    } else if (m_radius < otherRadius) {
        m_center = otherCenter;
        m_radius = otherRadius;
    }
}

bool BoundingSphere::intersects(const BoundingSphere& other) const {
    if (m_empty || other.m_empty) {
        return false;
    }
    Vector3 delta = m_center - other.m_center;
    float sum = m_radius + other.m_radius;
    return dot(delta, delta) <= sum * sum;
}

bool BoundingSphere::intersectsFrustum(const float planes[6][4]) const {
    for (int i = 0; i < 6; ++i) {
        const float* p = planes[i];
        float distance = p[0] * m_center.x + p[1] * m_center.y + p[2] * m_center.z + p[3];
        if (distance <= -m_radius) {
            return false;
        }
    }
    return true;
}

bool BoundingSphere::hitByRay(const Vector3& origin, const Vector3& direction) const {
    Vector3 om = origin - m_center;
    float b = dot(direction, om);
    float q = b * b - (dot(om, om) - m_radius * m_radius);
    return q >= 0.0f;
}

bool BoundingSphere::rayDistance(const Vector3& origin, const Vector3& direction,
                                 float& distance) const {
    Vector3 om = origin - m_center;
    float b = dot(direction, om);
    float q = b * b - (dot(om, om) - m_radius * m_radius);
    if (q < 0.0f) {
        return false;
    }
    distance = -b - std::sqrt(q);
    return true;
}

bool BoundingSphere::containsPoint(const Vector3& point) const {
    Vector3 delta = point - m_center;
    return dot(delta, delta) <= m_radius * m_radius;
}

void BoundingSphere::transform(const Matrix4& matrix) {
    m_center = matrix.transformPoint(m_center);
    m_radius *= matrix.maxColumnLength();
}

namespace {

// Smallest enclosing ball of a point set (Gaertner), pivoting move-to-front
// form, in double precision. The points form an intrusive linked list of
// indices so that moving a support point to the front allocates nothing.
class SmallestEnclosingBall {
public:
    SmallestEnclosingBall(const float* xyz, size_t count, size_t stride)
        : m_xyz(xyz), m_stride(stride), m_next(count + 1), m_prev(count + 1) {
        // Index `count` is the sentinel that closes the ring.
        m_end = count;
        for (size_t i = 0; i <= count; ++i) {
            m_next[i] = (i + 1) % (count + 1);
            m_prev[i] = (i + count) % (count + 1);
        }
        resetBasis();
        m_supportEnd = first();
        pivot(m_end);
    }

    const double* center() const { return m_currentCenter; }
    double squaredRadius() const { return m_currentSquaredRadius; }

private:
    static constexpr int kDim = 3;
    static constexpr double kRejectFactor = 1e-32;

    size_t first() const { return m_next[m_end]; }

    void point(size_t index, double out[kDim]) const {
        const float* p = m_xyz + index * m_stride;
        for (int j = 0; j < kDim; ++j) {
            out[j] = p[j];
        }
    }

    double excess(size_t index) const {
        double p[kDim];
        point(index, p);
        double e = -m_currentSquaredRadius;
        for (int j = 0; j < kDim; ++j) {
            double d = p[j] - m_currentCenter[j];
            e += d * d;
        }
        return e;
    }

    void moveToFront(size_t index) {
        if (m_supportEnd == index) {
            m_supportEnd = m_next[index];
        }
        if (first() == index) {
            return;
        }
        m_next[m_prev[index]] = m_next[index];
        m_prev[m_next[index]] = m_prev[index];
        size_t head = first();
        m_next[m_end] = index;
        m_prev[index] = m_end;
        m_next[index] = head;
        m_prev[head] = index;
    }

    // The ball of the points before `stop` with the pushed points on its
    // boundary; support points are moved to the front.
    void moveToFrontBall(size_t stop) {
        m_supportEnd = first();
        if (m_size == kDim + 1) {
            return;
        }
        for (size_t k = first(); k != stop;) {
            size_t j = k;
            k = m_next[k];
            if (excess(j) > 0.0) {
                if (push(j)) {
                    moveToFrontBall(j);
                    pop();
                    moveToFront(j);
                }
            }
        }
    }

    void pivot(size_t stop) {
        if (first() == m_end) {
            return;
        }
        size_t t = m_next[first()];
        moveToFrontBall(t);
        double maxExcess = 0.0;
        double oldSquaredRadius = -1.0;
        do {
            size_t pivotIndex = m_end;
            maxExcess = 0.0;
            for (size_t k = t; k != stop; k = m_next[k]) {
                double e = excess(k);
                if (e > maxExcess) {
                    maxExcess = e;
                    pivotIndex = k;
                }
            }
            if (maxExcess > 0.0) {
                t = m_supportEnd;
                if (t == pivotIndex) {
                    t = m_next[t];
                }
                oldSquaredRadius = m_currentSquaredRadius;
                if (push(pivotIndex)) {
                    moveToFrontBall(m_supportEnd);
                    pop();
                }
                moveToFront(pivotIndex);
            }
        } while (maxExcess > 0.0 && m_currentSquaredRadius > oldSquaredRadius);
    }

    void resetBasis() {
        m_size = 0;
        for (int j = 0; j < kDim; ++j) {
            m_centers[0][j] = 0.0;
        }
        m_currentCenter = m_centers[0];
        m_currentSquaredRadius = -1.0;
    }

    bool push(size_t index) {
        double p[kDim];
        point(index, p);
        int m = m_size;
        if (m == 0) {
            for (int j = 0; j < kDim; ++j) {
                m_q0[j] = p[j];
                m_centers[0][j] = p[j];
            }
            m_squaredRadii[0] = 0.0;
        } else {
            for (int j = 0; j < kDim; ++j) {
                m_v[m][j] = p[j] - m_q0[j];
            }
            for (int i = 1; i < m; ++i) {
                double a = 0.0;
                for (int j = 0; j < kDim; ++j) {
                    a += m_v[i][j] * m_v[m][j];
                }
                m_a[m][i] = a * 2.0 / m_z[i];
            }
            for (int i = 1; i < m; ++i) {
                for (int j = 0; j < kDim; ++j) {
                    m_v[m][j] -= m_a[m][i] * m_v[i][j];
                }
            }
            double z = 0.0;
            for (int j = 0; j < kDim; ++j) {
                z += m_v[m][j] * m_v[m][j];
            }
            z *= 2.0;
            // A point (almost) affinely dependent on the support set would
            // make the system singular: reject it. The first term itself
            // is only rejected when it is zero (a repeated point).
            double reference = m == 1 ? 0.0 : m_z[1] * kRejectFactor;
            if (z <= reference) {
                return false;
            }
            m_z[m] = z;
            double e = -m_squaredRadii[m - 1];
            for (int j = 0; j < kDim; ++j) {
                double d = p[j] - m_centers[m - 1][j];
                e += d * d;
            }
            double f = e / z;
            for (int j = 0; j < kDim; ++j) {
                m_centers[m][j] = m_centers[m - 1][j] + f * m_v[m][j];
            }
            m_squaredRadii[m] = m_squaredRadii[m - 1] + e * f / 2.0;
        }
        m_currentCenter = m_centers[m];
        m_currentSquaredRadius = m_squaredRadii[m];
        m_size = m + 1;
        return true;
    }

    void pop() { --m_size; }

    const float* m_xyz;
    size_t m_stride;
    std::vector<size_t> m_next;
    std::vector<size_t> m_prev;
    size_t m_end = 0;
    size_t m_supportEnd = 0;

    int m_size = 0;
    double m_q0[kDim] = {};
    double m_z[kDim + 1] = {};
    double m_v[kDim + 1][kDim] = {};
    double m_a[kDim + 1][kDim] = {};
    double m_centers[kDim + 1][kDim] = {};
    double m_squaredRadii[kDim + 1] = {};
    double* m_currentCenter = nullptr;
    double m_currentSquaredRadius = -1.0;
};

}  // namespace

void BoundingSphere::setFromPoints(const float* xyz, size_t count, size_t stride) {
    if (count == 0 || xyz == nullptr) {
        reset();
        m_empty = true;
        return;
    }
    SmallestEnclosingBall ball(xyz, count, stride);
    const double* c = ball.center();
    m_center =
        Vector3(static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]));
    m_radius =
        static_cast<float>(std::sqrt(ball.squaredRadius() > 0.0 ? ball.squaredRadius() : 0.0));
    m_empty = false;
}
