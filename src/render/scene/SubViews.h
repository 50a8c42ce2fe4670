#pragma once
// The views the scene renderer draws besides its camera's: light cameras for
// shadow maps (perspective for spot lights, orthographic for directional
// lights, one per cube face for point lights), the camera mirrored at a
// reflecting plane with its near plane moved onto that plane, and the
// orthographic view down onto a shape for its depth-blend map.

#include "base/math/Matrix4.h"

// What a renderer needs to draw one view.
struct SubView {
    Matrix4 view;
    Matrix4 projection;
    // The matrix the walks cull against (view-projection; for a mirrored
    // view the one without the moved near plane).
    Matrix4 cullViewProjection;
    Vector3 position;
    // Written to the shaders' camera position w (1 / range for the distance
    // maps of point lights; 1 otherwise).
    float positionW = 1.0f;
    int width = 0;
    int height = 0;
    // The view is mirrored: front faces turn clockwise.
    bool mirrored = false;
};

// A render-texture size asked for by a file: 0 or negative gives the
// default, larger than the device takes is clamped to the device maximum
// (the default is clamped too).
int renderTextureSize(int requested, int defaultSize, int deviceMaximum);

// Maps clip space (-1..1) to texture space (0..1) in x, y and z.
Matrix4 clipToTextureMatrix();

// A perspective projection (the gluPerspective matrix) with the vertical
// opening in degrees.
Matrix4 perspectiveMatrix(float fieldOfViewDegrees, float aspect, float nearZ, float farZ);

// The view matrix of an eye at `eye` looking along `forward` (normalised
// inside) with `up` as a hint, for a right-handed view looking down -z.
Matrix4 lookAlong(const Vector3& eye, const Vector3& forward, const Vector3& up);

// A spot light looking along its -z axis: perspective over its cone (plus a
// margin so the cone's edge stays inside), from a near distance that scales
// with the range out to the range.
SubView spotLightView(const Matrix4& lightWorld, float coneAngleDegrees, float range, int size);

// A directional light: an orthographic box around `focus` (the main camera's
// position), half as wide as `shadowFarDistance` times 1.5 (the distance up to
// which shapes receive its shadow), reaching `extrusion` back towards the
// light so casters behind the focus still throw their shadows. The box is
// moved in whole texels so the shadow edges stay still while the camera
// moves.
SubView directionalLightView(const Matrix4& lightWorld, const Vector3& focus,
                             float shadowFarDistance, float extrusion, int size);

// Face 0..5 (+x, -x, +y, -y, +z, -z) of a point light's distance cube map:
// a 90° view from the light, with positionW = 1 / range.
SubView pointLightFaceView(const Vector3& position, int face, float range, int size);

// The reflection at the plane through `point` with normal `normal`
// (normalised inside).
Matrix4 mirrorMatrix(const Vector3& point, const Vector3& normal);

// Replaces the near plane of `projection` by `clipPlane` (a, b, c, d in view
// space, keeping a·x + b·y + c·z + d >= 0); the plane must have the eye on
// its negative side.
Matrix4 obliqueNearPlane(const Matrix4& projection, const float clipPlane[4]);

// The camera (view, projection) mirrored at the plane through `point` with
// normal `normal`, drawing only what lies on the camera's side of the plane.
// False when the camera is on the plane (nothing to mirror).
bool mirroredView(const Matrix4& view, const Matrix4& projection, const Vector3& cameraPosition,
                  const Vector3& point, const Vector3& normal, SubView& out);

// The depth-blend view of a shape: orthographic, 10 units from the shape's
// position along its Y axis looking back along it, a square from -h to h
// with h = radius / sqrt(2), near 1, far 1000. False for a radius that is
// not above 0 (the projection would be singular).
bool depthBlendView(const Matrix4& shapeWorld, float boundsRadius, int size, SubView& out);

// Distance of the depth-blend camera from the shape.
constexpr float kDepthBlendCameraDistance = 10.0f;
