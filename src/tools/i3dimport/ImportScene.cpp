#include "ImportScene.h"

#include <algorithm>
#include <cmath>

namespace i3dimport {

Matrix4 keyMatrix(const ImportKey& key) {
    const auto& q = key.rotation;
    float x = q[0], y = q[1], z = q[2], w = q[3];
    float n = std::sqrt(x * x + y * y + z * z + w * w);
    if (n > 0.0f) {
        x /= n;
        y /= n;
        z /= n;
        w /= n;
    } else {
        w = 1.0f;
    }
    Matrix4 m;
    m.setColumn(0, Vector3(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)) *
                       key.scale.x);
    m.setColumn(1, Vector3(2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)) *
                       key.scale.y);
    m.setColumn(2, Vector3(2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)) *
                       key.scale.z);
    m.setTranslation(key.translation);
    return m;
}

bool decomposeMatrix(const Matrix4& matrix, ImportKey& key) {
    key.translation = matrix.getTranslation();
    Vector3 c[3] = {matrix.getColumn(0), matrix.getColumn(1), matrix.getColumn(2)};
    Vector3 s(length(c[0]), length(c[1]), length(c[2]));
    for (int i = 0; i < 3; ++i) {
        // Rounding noise of a rotation is no scale.
        if (std::fabs(s[i] - 1.0f) < 1e-5f) {
            s[i] = 1.0f;
        }
    }
    if (dot(cross(c[0], c[1]), c[2]) < 0.0f) {
        s.x = -s.x;  // a mirror: one negative scale keeps the rotation proper
    }
    bool exact = s.x != 0.0f && s.y != 0.0f && s.z != 0.0f;
    for (int i = 0; i < 3; ++i) {
        c[i] = s[i] != 0.0f ? c[i] * (1.0f / s[i]) : Vector3(i == 0, i == 1, i == 2);
    }
    const float kShear = 1e-3f;
    exact = exact && std::fabs(dot(c[0], c[1])) < kShear && std::fabs(dot(c[0], c[2])) < kShear &&
            std::fabs(dot(c[1], c[2])) < kShear;
    // Rotation matrix to quaternion, on the largest diagonal term.
    float m00 = c[0].x, m10 = c[0].y, m20 = c[0].z;
    float m01 = c[1].x, m11 = c[1].y, m21 = c[1].z;
    float m02 = c[2].x, m12 = c[2].y, m22 = c[2].z;
    float trace = m00 + m11 + m22;
    float x, y, z, w;
    if (trace > 0.0f) {
        float t = std::sqrt(trace + 1.0f) * 2.0f;
        w = 0.25f * t;
        x = (m21 - m12) / t;
        y = (m02 - m20) / t;
        z = (m10 - m01) / t;
    } else if (m00 > m11 && m00 > m22) {
        float t = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
        w = (m21 - m12) / t;
        x = 0.25f * t;
        y = (m01 + m10) / t;
        z = (m02 + m20) / t;
    } else if (m11 > m22) {
        float t = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
        w = (m02 - m20) / t;
        x = (m01 + m10) / t;
        y = 0.25f * t;
        z = (m12 + m21) / t;
    } else {
        float t = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
        w = (m10 - m01) / t;
        x = (m02 + m20) / t;
        y = (m12 + m21) / t;
        z = 0.25f * t;
    }
    key.rotation = {x, y, z, w};
    key.scale = s;
    return exact;
}

Matrix4 worldMatrix(const ImportScene& scene, uint32_t node) {
    Matrix4 world = scene.nodes[node].local;
    for (int32_t parent = scene.nodes[node].parent; parent >= 0;
         parent = scene.nodes[parent].parent) {
        world = scene.nodes[parent].local * world;
    }
    return world;
}

std::array<float, 4> slerp(const std::array<float, 4>& a, const std::array<float, 4>& b, float t) {
    double qa[4], qb[4];
    double na = 0.0, nb = 0.0;
    for (int i = 0; i < 4; ++i) {
        qa[i] = a[i];
        qb[i] = b[i];
        na += qa[i] * qa[i];
        nb += qb[i] * qb[i];
    }
    double cosine = 0.0;
    for (int i = 0; i < 4; ++i) {
        qa[i] /= na > 0.0 ? std::sqrt(na) : 1.0;
        qb[i] /= nb > 0.0 ? std::sqrt(nb) : 1.0;
        cosine += qa[i] * qb[i];
    }
    // q and -q are one rotation; the nearer of the two gives the short arc.
    if (cosine < 0.0) {
        cosine = -cosine;
        for (double& v : qb) {
            v = -v;
        }
    }
    double wa = 1.0 - t, wb = t;
    if (cosine < 0.9999) {
        const double angle = std::acos(std::min(cosine, 1.0));
        const double s = std::sin(angle);
        wa = std::sin((1.0 - t) * angle) / s;
        wb = std::sin(t * angle) / s;
    }
    std::array<float, 4> out;
    double n = 0.0;
    for (int i = 0; i < 4; ++i) {
        n += (wa * qa[i] + wb * qb[i]) * (wa * qa[i] + wb * qb[i]);
    }
    n = n > 0.0 ? std::sqrt(n) : 1.0;
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<float>((wa * qa[i] + wb * qb[i]) / n);
    }
    return out;
}

float rotationDifferenceDegrees(const Matrix4& a, const Matrix4& b) {
    // trace(A^T B) = 1 + 2 cos(angle)
    double trace = 0.0;
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            trace += static_cast<double>(a.m[4 * column + row]) * b.m[4 * column + row];
        }
    }
    const double cosine = std::clamp((trace - 1.0) * 0.5, -1.0, 1.0);
    return static_cast<float>(std::acos(cosine) * 57.29577951308232);
}

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;

Matrix4 rotationOf(const std::array<float, 4>& q) {
    ImportKey key;
    key.rotation = q;
    return keyMatrix(key);
}

Matrix4 rotationOf(const Vector3& euler) {
    return composeTransform({0, 0, 0}, euler, {1, 1, 1});
}

// `angle` moved by whole turns to lie within half a turn of `near`.
float continueFrom(float angle, float near) {
    return angle - kTwoPi * std::round((angle - near) / kTwoPi);
}

// The angles of `rotation` nearest to `previous`, angle by angle. A
// rotation has two sets, (x, y, z) and (x + pi, pi - y, z + pi); at gimbal
// lock (y at +-pi/2) only x - z or x + z counts, and x may stay where it
// was.
Vector3 nearestAngles(const Matrix4& rotation, const Vector3& previous) {
    const Vector3 first = rotationFromMatrix(rotation);
    std::vector<Vector3> candidates{first, {first.x + kPi, kPi - first.y, first.z + kPi}};
    if (std::fabs(std::cos(first.y)) < 0.01f) {
        const float shift = previous.x - first.x;
        candidates.push_back({previous.x, first.y, first.z + shift});
        candidates.push_back({previous.x, first.y, first.z - shift});
    }
    Vector3 best = first;
    float bestDistance = INFINITY;
    for (Vector3 c : candidates) {
        for (int i = 0; i < 3; ++i) {
            c[i] = continueFrom(c[i], previous[i]);
        }
        // A gimbal candidate that is not the same rotation is no candidate.
        if (rotationDifferenceDegrees(rotationOf(c), rotation) > 0.05f) {
            continue;
        }
        const float distance =
            std::fabs(c.x - previous.x) + std::fabs(c.y - previous.y) + std::fabs(c.z - previous.z);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = c;
        }
    }
    return best;
}

struct TrackPoint {
    ImportKey source;
    Vector3 euler;
};

ImportKey blendKeys(const ImportKey& a, const ImportKey& b, float t) {
    ImportKey key;
    key.timeMs = a.timeMs + (b.timeMs - a.timeMs) * t;
    key.translation = a.translation + (b.translation - a.translation) * t;
    key.scale = a.scale + (b.scale - a.scale) * t;
    key.rotation = slerp(a.rotation, b.rotation, t);
    return key;
}

// The engine's rotation between two keys at `t`, each angle on its own.
Vector3 engineAngles(const Vector3& a, const Vector3& b, float t) {
    Vector3 out;
    for (int i = 0; i < 3; ++i) {
        float d = b[i] - a[i];
        if (std::fabs(d) > kPi) {
            d += d > 0.0f ? -kTwoPi : kTwoPi;
        }
        out[i] = a[i] + d * t;
    }
    return out;
}

// Whether per-angle blending from `a` to `b` stays on the source's path.
bool followsSource(const TrackPoint& a, const TrackPoint& b, float toleranceDegrees) {
    for (int i = 0; i < 3; ++i) {
        // Half a turn either way is the same angle; which way the engine
        // blends it is left to rounding.
        if (std::fabs(b.euler[i] - a.euler[i]) > kPi - 0.01f) {
            return false;
        }
    }
    constexpr int kSamples = 8;
    for (int s = 1; s < kSamples; ++s) {
        const float t = static_cast<float>(s) / kSamples;
        const Matrix4 source = rotationOf(slerp(a.source.rotation, b.source.rotation, t));
        const Matrix4 engine = rotationOf(engineAngles(a.euler, b.euler, t));
        if (rotationDifferenceDegrees(source, engine) > toleranceDegrees) {
            return false;
        }
    }
    return true;
}

// Appends the points after `a` up to and including `b`, halving the span
// while blending the angles leaves the source's path.
void appendSpan(std::vector<TrackPoint>& points, const TrackPoint& a, TrackPoint b,
                float toleranceDegrees) {
    constexpr float kShortestSpanMs = 1.0f;
    if (b.source.timeMs - a.source.timeMs >= 2.0f * kShortestSpanMs &&
        !followsSource(a, b, toleranceDegrees)) {
        TrackPoint middle;
        middle.source = blendKeys(a.source, b.source, 0.5f);
        middle.euler = nearestAngles(rotationOf(middle.source.rotation), a.euler);
        appendSpan(points, a, middle, toleranceDegrees);
        // The first half may have ended on other angles for the middle.
        const TrackPoint reached = points.back();
        b.euler = nearestAngles(rotationOf(b.source.rotation), reached.euler);
        appendSpan(points, reached, b, toleranceDegrees);
        return;
    }
    points.push_back(b);
}

}  // namespace

std::vector<EulerKey> eulerTrack(const std::vector<ImportKey>& keys, float toleranceDegrees) {
    std::vector<TrackPoint> points;
    for (const ImportKey& key : keys) {
        TrackPoint point;
        point.source = key;
        const Matrix4 rotation = rotationOf(key.rotation);
        if (points.empty()) {
            point.euler = rotationFromMatrix(rotation);
            points.push_back(point);
            continue;
        }
        point.euler = nearestAngles(rotation, points.back().euler);
        const TrackPoint previous = points.back();
        appendSpan(points, previous, point, toleranceDegrees);
    }
    std::vector<EulerKey> out;
    out.reserve(points.size());
    for (const TrackPoint& point : points) {
        EulerKey& key = out.emplace_back();
        key.timeMs = point.source.timeMs;
        key.translation = point.source.translation;
        key.scale = point.source.scale;
        key.rotation = point.euler;
    }
    return out;
}

void limitSkinInfluences(ImportScene& scene) {
    for (ImportMesh& mesh : scene.meshes) {
        size_t limited = 0;
        for (std::vector<ImportInfluence>& list : mesh.influences) {
            // Non-finite and negative weights carry no influence.
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [](const ImportInfluence& i) {
                                          return !std::isfinite(i.weight) || i.weight <= 0.0f;
                                      }),
                       list.end());
            std::stable_sort(list.begin(), list.end(),
                             [](const ImportInfluence& a, const ImportInfluence& b) {
                                 return a.weight > b.weight;
                             });
            if (list.size() > 4) {
                list.resize(4);
                ++limited;
            }
            float sum = 0.0f;
            for (const ImportInfluence& influence : list) {
                sum += influence.weight;
            }
            if (sum > 0.0f) {
                for (ImportInfluence& influence : list) {
                    influence.weight /= sum;
                }
            }
        }
        if (limited > 0) {
            scene.warnings.push_back("mesh " + mesh.name + ": " + std::to_string(limited) +
                                     " vertices have more than 4 bone weights; the 4 strongest "
                                     "are kept and renormalised");
        }
    }
}

}  // namespace i3dimport
