#pragma once
// Model files for the importer's tests, written by the tests themselves: a
// small glTF writer (JSON with one binary buffer beside it), the scenes the
// tests share and a tiny PNG image.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class GltfWriter {
public:
    // An accessor over floats; `type` is "SCALAR", "VEC2", "VEC3", "VEC4" or
    // "MAT4". Returns its index.
    int floats(const std::vector<float>& values, const char* type);
    // Triangle indices (unsigned short) and joint indices (VEC4 of bytes).
    int indices(const std::vector<uint16_t>& values);
    int joints(const std::vector<uint8_t>& values);
    // Normalized signed shorts (mesh quantization).
    int shorts(const std::vector<int16_t>& values, const char* type);
    // Raw bytes (an embedded image); returns the buffer view's index.
    int bytes(const std::string& data);

    // Writes `folder + name + ".gltf"` and its ".bin"; `members` are the
    // further top-level JSON members ("nodes", "meshes", ...), without the
    // braces, "asset", "buffers", "bufferViews" and "accessors".
    void write(const std::string& folder, const std::string& name,
               const std::string& members) const;

private:
    int add(const void* data, size_t bytes, size_t count, int componentType, const char* type,
            const std::string& bounds);

    std::vector<uint8_t> m_buffer;
    std::vector<std::string> m_views;
    std::vector<std::string> m_accessors;
};

// A unit cube around the origin as position, normal, texture coordinate and
// index accessors: the mesh attributes text for a glTF primitive.
std::string addGltfCube(GltfWriter& gltf);

// A 2 x 2 red PNG image.
std::string redPng();

// "base" (translation 1 2 3, 90 degrees about Y) holding "cube" (translation
// 0 1 0, 30 degrees about X, scale 2) that draws a cube with the material
// "paint", whose base colour texture is "paint.png" beside the file (also
// written); the camera "eye" at (1, 3, 10) looking down -Z (vertical field
// of view 0.8 radians, clip planes 0.5 and 50) and the directional light
// "sun" (colour 1 1 0.5) turned 45 degrees down about X. Writes
// `folder + name + ".gltf"`.
void writeTexturedHierarchy(const std::string& folder, const std::string& name);

// A strip of two quads skinned to "root" and its child "tip" (one unit up),
// the upper vertices weighted to "tip", with the clip "bend" turning "tip"
// 90 degrees about Z in one second. Writes `folder + name + ".gltf"`.
void writeSkinnedTwoBones(const std::string& folder, const std::string& name);

// Three coloured things, the colours given by their materials alone: "box",
// a red (1, 0, 0) unit cube at (-1, 0, 0); "glass", a unit cube at
// (-0.4, 0, 1), in front of the box's right half as seen from +Z, whose base
// colour (0.2, 0.2, 1) is half transparent ("BLEND", alpha 0.5) and which
// glows green (0, 0.6, 0); and "strip", two green (0, 1, 0) quads one unit
// wide from y = -1 to 1 at x = 1.5, skinned to the bones "root" and its
// child "tip". Writes `folder + name + ".gltf"`.
void writeColouredModels(const std::string& folder, const std::string& name);

// A whole glTF file's JSON in a binary glTF container (.glb) of one JSON
// chunk; its buffers keep their file names.
std::string glbContainer(const std::string& json);

}  // namespace testsupport
