#include "render/scene/SubViews.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kDegreesToRadians = static_cast<float>(std::numbers::pi) / 180.0f;

// A view looking along `forward` may not take an up hint parallel to it.
Vector3 upHintFor(const Vector3& forward) {
    return std::fabs(forward.y) > 0.99f ? Vector3{0.0f, 0.0f, 1.0f} : Vector3{0.0f, 1.0f, 0.0f};
}

Vector3 normalizedOr(const Vector3& v, const Vector3& fallback) {
    const float len = length(v);
    return len > 0.0f ? v * (1.0f / len) : fallback;
}

void finish(SubView& view) {
    view.cullViewProjection = view.projection * view.view;
}

}  // namespace

int renderTextureSize(int requested, int defaultSize, int deviceMaximum) {
    const int size = requested > 0 ? requested : defaultSize;
    return std::max(1, std::min(size, std::max(deviceMaximum, 1)));
}

Matrix4 clipToTextureMatrix() {
    Matrix4 m;
    m.m[0] = m.m[5] = m.m[10] = 0.5f;
    m.m[12] = m.m[13] = m.m[14] = 0.5f;
    return m;
}

Matrix4 perspectiveMatrix(float fieldOfViewDegrees, float aspect, float nearZ, float farZ) {
    const float f = 1.0f / std::tan(fieldOfViewDegrees * kDegreesToRadians * 0.5f);
    Matrix4 p;
    for (float& e : p.m) {
        e = 0.0f;
    }
    p.m[0] = f / (aspect != 0.0f ? aspect : 1.0f);
    p.m[5] = f;
    p.m[10] = -(farZ + nearZ) / (farZ - nearZ);
    p.m[11] = -1.0f;
    p.m[14] = -2.0f * farZ * nearZ / (farZ - nearZ);
    return p;
}

Matrix4 lookAlong(const Vector3& eye, const Vector3& forward, const Vector3& up) {
    const Vector3 f = normalizedOr(forward, {0.0f, 0.0f, -1.0f});
    const Vector3 s = normalizedOr(cross(f, up), {1.0f, 0.0f, 0.0f});
    const Vector3 u = cross(s, f);
    Matrix4 v;
    v.m[0] = s.x;
    v.m[4] = s.y;
    v.m[8] = s.z;
    v.m[1] = u.x;
    v.m[5] = u.y;
    v.m[9] = u.z;
    v.m[2] = -f.x;
    v.m[6] = -f.y;
    v.m[10] = -f.z;
    v.m[12] = -dot(s, eye);
    v.m[13] = -dot(u, eye);
    v.m[14] = dot(f, eye);
    return v;
}

SubView spotLightView(const Matrix4& lightWorld, float coneAngleDegrees, float range, int size) {
    SubView out;
    const float reach = range > 0.0f ? range : 1.0f;
    const float opening = std::clamp(coneAngleDegrees * 1.1f, 1.0f, 170.0f);
    const Vector3 forward = normalizedOr(-lightWorld.getColumn(2), {0.0f, 0.0f, -1.0f});
    out.position = lightWorld.getTranslation();
    out.view = lookAlong(out.position, forward, upHintFor(forward));
    out.projection = perspectiveMatrix(opening, 1.0f, std::max(reach * 0.002f, 0.01f), reach);
    out.width = out.height = size;
    finish(out);
    return out;
}

SubView directionalLightView(const Matrix4& lightWorld, const Vector3& focus,
                             float shadowFarDistance, float extrusion, int size) {
    SubView out;
    const float half = std::max(shadowFarDistance, 1.0f) * 1.5f;
    const float back = std::max(extrusion, half);
    const Vector3 forward = normalizedOr(-lightWorld.getColumn(2), {0.0f, -1.0f, 0.0f});
    const Vector3 up = upHintFor(forward);
    // Snap the focus to whole texels in the light's plane.
    Matrix4 axes = lookAlong({0.0f, 0.0f, 0.0f}, forward, up);
    Vector3 local = axes.transformPoint(focus);
    const float texel = 2.0f * half / static_cast<float>(std::max(size, 1));
    local.x = std::floor(local.x / texel) * texel;
    local.y = std::floor(local.y / texel) * texel;
    const Vector3 snapped = axes.inverse().transformPoint(local);
    out.position = snapped - forward * back;
    out.view = lookAlong(out.position, forward, up);
    out.projection = Matrix4::orthographic(-half, half, -half, half, 0.0f, back + half);
    out.width = out.height = size;
    finish(out);
    return out;
}

SubView pointLightFaceView(const Vector3& position, int face, float range, int size) {
    // The cube map convention: each face's s and t axes.
    static const Vector3 kForward[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                        {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    static const Vector3 kUp[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1},
                                   {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    const int f = std::clamp(face, 0, 5);
    const float reach = range > 0.0f ? range : 1.0f;
    SubView out;
    out.position = position;
    out.positionW = 1.0f / reach;
    out.view = lookAlong(position, kForward[f], kUp[f]);
    out.projection = perspectiveMatrix(90.0f, 1.0f, std::max(reach * 0.002f, 0.01f), reach);
    out.width = out.height = size;
    finish(out);
    return out;
}

Matrix4 mirrorMatrix(const Vector3& point, const Vector3& normal) {
    const Vector3 n = normalizedOr(normal, {0.0f, 1.0f, 0.0f});
    const float d = -dot(n, point);
    Matrix4 m;
    const float nn[3] = {n.x, n.y, n.z};
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            m.m[4 * c + r] = (r == c ? 1.0f : 0.0f) - 2.0f * nn[r] * nn[c];
        }
        m.m[12 + c] = -2.0f * d * nn[c];
    }
    return m;
}

Matrix4 obliqueNearPlane(const Matrix4& projection, const float clipPlane[4]) {
    // The corner of the view volume opposite the plane, in clip space, taken
    // back into view space.
    auto sign = [](float v) { return v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f); };
    const Matrix4 inverse = projection.inverse();
    const float corner[4] = {sign(clipPlane[0]), sign(clipPlane[1]), 1.0f, 1.0f};
    float q[4];
    for (int r = 0; r < 4; ++r) {
        q[r] = inverse.m[r] * corner[0] + inverse.m[4 + r] * corner[1] +
               inverse.m[8 + r] * corner[2] + inverse.m[12 + r] * corner[3];
    }
    const float dotCq =
        clipPlane[0] * q[0] + clipPlane[1] * q[1] + clipPlane[2] * q[2] + clipPlane[3] * q[3];
    if (dotCq == 0.0f) {
        return projection;
    }
    const float scale = 2.0f / dotCq;
    Matrix4 out = projection;
    // Third row becomes scaled plane minus the fourth row.
    for (int c = 0; c < 4; ++c) {
        out.m[4 * c + 2] = clipPlane[c] * scale - projection.m[4 * c + 3];
    }
    return out;
}

bool mirroredView(const Matrix4& view, const Matrix4& projection, const Vector3& cameraPosition,
                  const Vector3& point, const Vector3& normal, SubView& out) {
    Vector3 n = normalizedOr(normal, {0.0f, 1.0f, 0.0f});
    float side = dot(n, cameraPosition - point);
    if (std::fabs(side) < 1.0e-6f) {
        return false;
    }
    // The kept side is the camera's.
    if (side < 0.0f) {
        n = -n;
    }
    const Matrix4 mirror = mirrorMatrix(point, n);
    out.view = view * mirror;
    out.position = mirror.transformPoint(cameraPosition);
    out.mirrored = true;
    out.cullViewProjection = projection * out.view;
    // The plane in the mirrored view's space: (V M)^-T applied to the world
    // plane (n, -n·point).
    const Matrix4 toWorld = out.view.inverse();
    const float world[4] = {n.x, n.y, n.z, -dot(n, point)};
    float plane[4];
    for (int c = 0; c < 4; ++c) {
        // Column c of (V M)^-1 dotted with the world plane: row c of its
        // transpose.
        plane[c] = toWorld.m[4 * c] * world[0] + toWorld.m[4 * c + 1] * world[1] +
                   toWorld.m[4 * c + 2] * world[2] + toWorld.m[4 * c + 3] * world[3];
    }
    out.projection = obliqueNearPlane(projection, plane);
    return true;
}

bool depthBlendView(const Matrix4& shapeWorld, float boundsRadius, int size, SubView& out) {
    if (!(boundsRadius > 0.0f) || !std::isfinite(boundsRadius)) {
        return false;
    }
    const Vector3 up = normalizedOr(shapeWorld.getColumn(1), {0.0f, 1.0f, 0.0f});
    const Vector3 across = normalizedOr(shapeWorld.getColumn(0), {1.0f, 0.0f, 0.0f});
    out.position = shapeWorld.getTranslation() + up * kDepthBlendCameraDistance;
    // Looking back along the Y axis with the shape's -z axis as up keeps the
    // map's s axis on the shape's x axis.
    out.view = lookAlong(out.position, -up, cross(up, across));
    const float h = boundsRadius / std::numbers::sqrt2_v<float>;
    out.projection = Matrix4::orthographic(-h, h, -h, h, 1.0f, 1000.0f);
    out.width = out.height = size;
    finish(out);
    return true;
}
