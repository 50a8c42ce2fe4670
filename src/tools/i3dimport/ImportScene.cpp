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
