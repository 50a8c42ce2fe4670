#pragma once
// The scene description between a model reader and the i3d writer: plain
// data, no reader types. Nodes, meshes, materials, cameras and lights refer
// to each other by index; names are as the source gave them (the writer
// makes them unique and safe for the file).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/math/Matrix4.h"
#include "base/math/Vector3.h"

namespace i3dimport {

// One image a material map uses: a file beside the source (sourcePath) or an
// image file embedded in the source (data, with its extension).
struct ImportTexture {
    std::string sourcePath;
    std::vector<uint8_t> data;
    std::string extension;
    std::string nameHint;
    bool wrap = true;
};

struct ImportMaterial {
    std::string name;
    std::array<float, 4> diffuse{0.8f, 0.8f, 0.8f, 1.0f};  // alpha is the opacity
    std::array<float, 3> specular{0.0f, 0.0f, 0.0f};
    std::array<float, 3> emissive{0.0f, 0.0f, 0.0f};
    float cosPower = 20.0f;
    float bumpDepth = 1.0f;
    // The source blends with the base colour's alpha (its texture's alpha
    // included) even where the colour itself is opaque.
    bool blend = false;
    // Texture alpha below this is cut out, above it drawn opaque (0: no test).
    float alphaTest = 0.0f;
    // Multiplies the emissive map (1 without one).
    float emissiveCoeff = 1.0f;
    // The base and emissive colours scale their maps (glTF, OBJ); in other
    // formats a map takes the place of its colour.
    bool colourScalesMaps = false;
    std::optional<ImportTexture> baseColorMap;
    std::optional<ImportTexture> normalMap;
    std::optional<ImportTexture> glossMap;
    std::optional<ImportTexture> emissiveMap;
};

struct ImportTriangle {
    std::array<uint32_t, 3> vertices{0, 0, 0};
    uint32_t material = 0;  // index into the mesh's material list
};

// One influence of a bone (an index into the mesh's bone list) on a vertex.
struct ImportInfluence {
    uint32_t bone = 0;
    float weight = 0.0f;
};

struct ImportMesh {
    std::string name;
    std::vector<Vector3> positions;
    // Per vertex; each list is empty or as long as the positions.
    std::vector<Vector3> normals;
    std::vector<std::array<float, 2>> texCoords[2];
    std::vector<std::array<float, 3>> colors;
    std::vector<ImportTriangle> triangles;
    // The scene's material indices this mesh draws with: the shader list.
    std::vector<uint32_t> materials;
    // Skin: the bind nodes (scene node indices) and per vertex its
    // influences, at most 4 once limitSkinInfluences ran.
    std::vector<uint32_t> bones;
    std::vector<std::vector<ImportInfluence>> influences;
};

struct ImportCamera {
    float fovDegrees = 60.0f;  // vertical
    float nearClip = 0.1f;
    float farClip = 1000.0f;
};

struct ImportLight {
    enum Type { Directional, Point, Spot, Ambient };
    Type type = Point;
    Vector3 diffuse{1.0f, 1.0f, 1.0f};
    Vector3 specular{1.0f, 1.0f, 1.0f};
    float range = 1.0f;
    int32_t decayRate = 2;
    float coneAngleDegrees = 60.0f;  // full opening angle
    float dropOff = 4.0f;            // 0 .. 5
};

// A custom property of a node, kept as a user attribute.
struct ImportAttribute {
    enum Type { Boolean, Integer, Float, String };
    std::string name;
    Type type = String;
    std::string value;  // as written: "true"/"false", decimal, float or text
};

struct ImportNode {
    std::string name;
    int32_t parent = -1;
    std::vector<uint32_t> children;
    Matrix4 local;
    int32_t mesh = -1;  // at most one of mesh, camera and light
    int32_t camera = -1;
    int32_t light = -1;
    // Rigid body attributes (written on transform groups and shapes).
    enum class Body { None, Static, Dynamic };
    Body body = Body::None;
    std::optional<int32_t> collisionMask;
    std::vector<ImportAttribute> attributes;
};

// One key of a node: translation, rotation and scale, all three given.
struct ImportKey {
    float timeMs = 0.0f;
    Vector3 translation;
    std::array<float, 4> rotation{0, 0, 0, 1};  // quaternion x, y, z, w
    Vector3 scale{1.0f, 1.0f, 1.0f};
};

struct ImportTrack {
    uint32_t node = 0;
    std::vector<ImportKey> keys;
};

struct ImportClip {
    std::string name;
    float durationMs = 0.0f;
    std::vector<ImportTrack> tracks;
};

struct ImportScene {
    std::vector<ImportNode> nodes;  // node 0 is the root, its parent -1
    std::vector<ImportMesh> meshes;
    std::vector<ImportMaterial> materials;
    std::vector<ImportCamera> cameras;
    std::vector<ImportLight> lights;
    std::vector<ImportClip> clips;
    // What the source holds that an i3d file cannot, one line each.
    std::vector<std::string> warnings;
};

// A key as a scene file holds it: Euler angles in radians, in the order the
// scene loader composes them.
struct EulerKey {
    float timeMs = 0.0f;
    Vector3 translation;
    Vector3 rotation;
    Vector3 scale{1.0f, 1.0f, 1.0f};
};

// The keys of one track for the engine, which blends each Euler angle on its
// own (the shorter way round) and translation and scale linearly. Between
// two keys the source turns along the short arc from one quaternion to the
// next at an even rate. Each key's angles are the set (of the two a rotation
// has, and any at gimbal lock) that continues from the key before, and a
// key is added in the middle of two wherever per-angle blending would leave
// the source's path by more than `toleranceDegrees` (down to keys 1 ms
// apart).
std::vector<EulerKey> eulerTrack(const std::vector<ImportKey>& keys, float toleranceDegrees = 1.0f);
// The short-arc spherical blend of two rotation quaternions (x, y, z, w).
std::array<float, 4> slerp(const std::array<float, 4>& a, const std::array<float, 4>& b, float t);
// The angle in degrees between two rotations given as matrices (their upper
// 3 x 3 parts, unscaled).
float rotationDifferenceDegrees(const Matrix4& a, const Matrix4& b);

// The local matrix of a key.
Matrix4 keyMatrix(const ImportKey& key);
// A matrix as translation, rotation quaternion and scale; false (with the
// closest key) when it has shear or a mirror that the three cannot hold.
bool decomposeMatrix(const Matrix4& matrix, ImportKey& key);
// World matrix of a node.
Matrix4 worldMatrix(const ImportScene& scene, uint32_t node);

// Keeps the 4 strongest influences per vertex and scales them to sum 1;
// vertices that had more are counted in one warning.
void limitSkinInfluences(ImportScene& scene);

}  // namespace i3dimport
