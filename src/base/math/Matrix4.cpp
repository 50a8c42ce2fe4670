#include "base/math/Matrix4.h"

#include <cmath>
#include <cstring>

Matrix4 Matrix4::fromArray(const float* values) {
    Matrix4 r;
    std::memcpy(r.m, values, sizeof(r.m));
    return r;
}

Matrix4 Matrix4::translation(const Vector3& t) {
    Matrix4 r;
    r.setTranslation(t);
    return r;
}

Matrix4 Matrix4::scaling(const Vector3& s) {
    Matrix4 r;
    r.m[0] = s.x;
    r.m[5] = s.y;
    r.m[10] = s.z;
    return r;
}

Matrix4 Matrix4::orthographic(float left, float right, float bottom, float top, float nearZ,
                              float farZ) {
    Matrix4 r;
    r.m[0] = 2.0f / (right - left);
    r.m[5] = 2.0f / (top - bottom);
    r.m[10] = -2.0f / (farZ - nearZ);
    r.m[12] = -(right + left) / (right - left);
    r.m[13] = -(top + bottom) / (top - bottom);
    r.m[14] = -(farZ + nearZ) / (farZ - nearZ);
    return r;
}

Matrix4 Matrix4::rotationX(float angle) {
    Matrix4 r;
    float c = std::cos(angle), s = std::sin(angle);
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    return r;
}

Matrix4 Matrix4::rotationY(float angle) {
    Matrix4 r;
    float c = std::cos(angle), s = std::sin(angle);
    r.m[0] = c;
    r.m[2] = -s;
    r.m[8] = s;
    r.m[10] = c;
    return r;
}

Matrix4 Matrix4::rotationZ(float angle) {
    Matrix4 r;
    float c = std::cos(angle), s = std::sin(angle);
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

Matrix4 Matrix4::operator*(const Matrix4& o) const {
    Matrix4 r;
    for (int col = 0; col < 4; ++col) {
        const float* b = o.m + 4 * col;
        for (int row = 0; row < 4; ++row) {
            r.m[4 * col + row] =
                m[row] * b[0] + m[4 + row] * b[1] + m[8 + row] * b[2] + m[12 + row] * b[3];
        }
    }
    return r;
}

bool Matrix4::operator==(const Matrix4& o) const {
    for (int i = 0; i < 16; ++i) {
        if (m[i] != o.m[i]) {
            return false;
        }
    }
    return true;
}

Vector3 Matrix4::transformPoint(const Vector3& p) const {
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
            m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

Vector3 Matrix4::transformVector(const Vector3& v) const {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

float Matrix4::maxColumnLength() const {
    float best = 0.0f;
    for (int i = 0; i < 3; ++i) {
        float len = length(getColumn(i));
        if (len > best) {
            best = len;
        }
    }
    return best;
}

Matrix4 Matrix4::transposed() const {
    Matrix4 r;
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            r.m[4 * row + col] = m[4 * col + row];
        }
    }
    return r;
}

bool invertMatrix4(const double a[16], double out[16]) {
    double inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
             a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
             a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
             a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
              a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
             a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
             a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
             a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
              a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
             a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
              a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
              a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
             a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
    double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (det == 0.0 || !std::isfinite(det)) {
        return false;
    }
    double s = 1.0 / det;
    for (int i = 0; i < 16; ++i) {
        out[i] = inv[i] * s;
    }
    return true;
}

bool Matrix4::invert(Matrix4& out) const {
    double a[16];
    double inv[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = m[i];
    }
    if (!invertMatrix4(a, inv)) {
        return false;
    }
    for (int i = 0; i < 16; ++i) {
        out.m[i] = static_cast<float>(inv[i]);
    }
    return true;
}

Matrix4 Matrix4::inverse() const {
    Matrix4 r;
    invert(r);
    return r;
}

Matrix4 composeTransform(const Vector3& translation, const Vector3& rotation,
                         const Vector3& scale) {
    // Rz x Ry x Rx written out, then the columns scaled.
    float cx = std::cos(rotation.x), sx = std::sin(rotation.x);
    float cy = std::cos(rotation.y), sy = std::sin(rotation.y);
    float cz = std::cos(rotation.z), sz = std::sin(rotation.z);
    Matrix4 r;
    r.m[0] = cz * cy * scale.x;
    r.m[1] = sz * cy * scale.x;
    r.m[2] = -sy * scale.x;
    r.m[3] = 0.0f;
    r.m[4] = (cz * sy * sx - sz * cx) * scale.y;
    r.m[5] = (sz * sy * sx + cz * cx) * scale.y;
    r.m[6] = cy * sx * scale.y;
    r.m[7] = 0.0f;
    r.m[8] = (cz * sy * cx + sz * sx) * scale.z;
    r.m[9] = (sz * sy * cx - cz * sx) * scale.z;
    r.m[10] = cy * cx * scale.z;
    r.m[11] = 0.0f;
    r.setTranslation(translation);
    r.m[15] = 1.0f;
    return r;
}

Vector3 rotationFromMatrix(const Matrix4& matrix) {
    const float* e = matrix.m;
    float a = -e[2];
    float k2 = 1.0f - a * a;
    // A scaled matrix can give k2 < 0; it takes the gimbal branch rather than
    // producing NaN angles from the square root.
    if (k2 > 0.000001f) {
        float k = std::sqrt(k2);
        return {std::atan2(e[6] / k, e[10] / k), std::atan2(a, k), std::atan2(e[1] / k, e[0] / k)};
    }
    return {std::atan2(-e[9], e[5]), std::atan2(a, 0.0f), 0.0f};
}

Vector3 scaleFromMatrix(const Matrix4& matrix) {
    Vector3 s;
    for (int i = 0; i < 3; ++i) {
        float len = length(matrix.getColumn(i));
        s[i] = (len > 0.99999f && len < 1.00001f) ? 1.0f : len;
    }
    return s;
}
