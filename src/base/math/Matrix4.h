#pragma once
// 4x4 float matrix in column-major order (elements 0 to 3 are the first
// column, 12 to 14 the translation), applied to column vectors.

#include "base/math/Vector3.h"

struct Matrix4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    static Matrix4 identity() { return Matrix4{}; }
    static Matrix4 fromArray(const float* values);
    static Matrix4 translation(const Vector3& t);
    static Matrix4 scaling(const Vector3& s);
    // Right-handed rotations about one axis, angle in radians.
    static Matrix4 rotationX(float angle);
    static Matrix4 rotationY(float angle);
    static Matrix4 rotationZ(float angle);
    // The parallel projection of the box to the unit cube (the glOrtho
    // matrix).
    static Matrix4 orthographic(float left, float right, float bottom, float top, float nearZ,
                                float farZ);

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    const float* data() const { return m; }

    Matrix4 operator*(const Matrix4& o) const;
    bool operator==(const Matrix4& o) const;

    Vector3 transformPoint(const Vector3& p) const;
    // Applies only the rotation and scale part.
    Vector3 transformVector(const Vector3& v) const;

    Vector3 getTranslation() const { return {m[12], m[13], m[14]}; }
    void setTranslation(const Vector3& t) {
        m[12] = t.x;
        m[13] = t.y;
        m[14] = t.z;
    }
    // Columns 0 to 2 without their fourth element.
    Vector3 getColumn(int i) const { return {m[4 * i], m[4 * i + 1], m[4 * i + 2]}; }
    void setColumn(int i, const Vector3& v) {
        m[4 * i] = v.x;
        m[4 * i + 1] = v.y;
        m[4 * i + 2] = v.z;
    }
    // The largest length of the three rotation and scale columns: how much the
    // matrix can stretch a radius.
    float maxColumnLength() const;

    Matrix4 transposed() const;
    // General inverse, computed in double precision. A singular matrix yields
    // false and leaves `out` untouched.
    bool invert(Matrix4& out) const;
    // The inverse, or identity when the matrix is singular.
    Matrix4 inverse() const;
};

// General inverse of a column-major matrix in double precision; false for a
// singular matrix.
bool invertMatrix4(const double in[16], double out[16]);

// Local transform T x Rz x Ry x Rx x S: a point is scaled, rotated about X,
// then Y, then Z, then translated.
Matrix4 composeTransform(const Vector3& translation, const Vector3& rotation, const Vector3& scale);

// Euler angles (rx, ry, rz) of the rotation part, the inverse of the rotation
// order of composeTransform. The columns are used as they are, so the result
// is only exact for unscaled matrices; near ry = +-pi/2 (gimbal lock) rz is 0.
Vector3 rotationFromMatrix(const Matrix4& matrix);

// Lengths of the three columns; a length within 0.00001 of 1 becomes exactly 1.
Vector3 scaleFromMatrix(const Matrix4& matrix);
