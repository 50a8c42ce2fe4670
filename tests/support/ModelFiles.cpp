#include "ModelFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "TestSupport.h"

namespace testsupport {

namespace {

int componentsOf(const char* type) {
    const std::string t = type;
    return t == "SCALAR" ? 1 : t == "VEC2" ? 2 : t == "VEC3" ? 3 : t == "VEC4" ? 4 : 16;
}

std::string list(const std::vector<float>& values) {
    std::string text;
    for (float v : values) {
        text += (text.empty() ? "" : ",") + std::to_string(v);
    }
    return text;
}

}  // namespace

int GltfWriter::add(const void* data, size_t bytes, size_t count, int componentType,
                    const char* type, const std::string& bounds) {
    while (m_buffer.size() % 4 != 0) {
        m_buffer.push_back(0);
    }
    const size_t offset = m_buffer.size();
    const auto* begin = static_cast<const uint8_t*>(data);
    m_buffer.insert(m_buffer.end(), begin, begin + bytes);
    m_views.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                      ",\"byteLength\":" + std::to_string(bytes) + "}");
    m_accessors.push_back("{\"bufferView\":" + std::to_string(m_views.size() - 1) +
                          ",\"componentType\":" + std::to_string(componentType) + ",\"count\":" +
                          std::to_string(count) + ",\"type\":\"" + type + "\"" + bounds + "}");
    return static_cast<int>(m_accessors.size() - 1);
}

int GltfWriter::floats(const std::vector<float>& values, const char* type) {
    const size_t n = static_cast<size_t>(componentsOf(type));
    std::vector<float> low(n, 1e30f), high(n, -1e30f);
    for (size_t i = 0; i < values.size(); ++i) {
        low[i % n] = std::min(low[i % n], values[i]);
        high[i % n] = std::max(high[i % n], values[i]);
    }
    return add(values.data(), values.size() * sizeof(float), values.size() / n, 5126, type,
               ",\"min\":[" + list(low) + "],\"max\":[" + list(high) + "]");
}

int GltfWriter::indices(const std::vector<uint16_t>& values) {
    return add(values.data(), values.size() * 2, values.size(), 5123, "SCALAR", "");
}

int GltfWriter::joints(const std::vector<uint8_t>& values) {
    return add(values.data(), values.size(), values.size() / 4, 5121, "VEC4", "");
}

int GltfWriter::shorts(const std::vector<int16_t>& values, const char* type) {
    const size_t n = static_cast<size_t>(componentsOf(type));
    std::vector<float> low(n, 1.0f), high(n, -1.0f);
    for (size_t i = 0; i < values.size(); ++i) {
        const float v = std::max(values[i] / 32767.0f, -1.0f);
        low[i % n] = std::min(low[i % n], v);
        high[i % n] = std::max(high[i % n], v);
    }
    return add(values.data(), values.size() * 2, values.size() / n, 5122, type,
               ",\"normalized\":true,\"min\":[" + list(low) + "],\"max\":[" + list(high) + "]");
}

int GltfWriter::bytes(const std::string& data) {
    add(data.data(), data.size(), data.size(), 5121, "SCALAR", "");
    return static_cast<int>(m_views.size() - 1);
}

void GltfWriter::write(const std::string& folder, const std::string& name,
                       const std::string& members) const {
    std::string views, accessors;
    for (const std::string& v : m_views) {
        views += (views.empty() ? "" : ",") + v;
    }
    for (const std::string& a : m_accessors) {
        accessors += (accessors.empty() ? "" : ",") + a;
    }
    writeFile(folder + name + ".bin", std::string(m_buffer.begin(), m_buffer.end()));
    writeFile(folder + name + ".gltf",
              "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"uri\":\"" + name +
                  ".bin\",\"byteLength\":" + std::to_string(m_buffer.size()) +
                  "}],\"bufferViews\":[" + views + "],\"accessors\":[" + accessors + "]," +
                  members + "}");
}

std::string addGltfCube(GltfWriter& gltf) {
    std::vector<float> positions, normals, uvs;
    std::vector<uint16_t> indices;
    const float axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const auto& n : axes) {
        // u lies in the face and v = n x u, so that u x v = n: the corners
        // run counter-clockwise seen from outside.
        float u[3] = {0, 0, 0};
        if (std::fabs(n[1]) < 0.5f) {
            u[0] = -n[2];
            u[2] = n[0];
        } else {
            u[0] = 1;
        }
        float v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2],
                      n[0] * u[1] - n[1] * u[0]};
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        uint16_t first = static_cast<uint16_t>(positions.size() / 3);
        for (const auto& c : corners) {
            for (int i = 0; i < 3; ++i) {
                positions.push_back(0.5f * (n[i] + c[0] * u[i] + c[1] * v[i]));
                normals.push_back(n[i]);
            }
            uvs.push_back(0.5f * (c[0] + 1));
            uvs.push_back(0.5f * (c[1] + 1));
        }
        for (int i : {0, 1, 2, 0, 2, 3}) {
            indices.push_back(static_cast<uint16_t>(first + i));
        }
    }
    int p = gltf.floats(positions, "VEC3");
    int n = gltf.floats(normals, "VEC3");
    int t = gltf.floats(uvs, "VEC2");
    int i = gltf.indices(indices);
    return "\"attributes\":{\"POSITION\":" + std::to_string(p) +
           ",\"NORMAL\":" + std::to_string(n) + ",\"TEXCOORD_0\":" + std::to_string(t) +
           "},\"indices\":" + std::to_string(i);
}

std::string redPng() {
    const uint8_t bytes[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
        0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
        0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
        0xcf, 0xc0, 0x00, 0x44, 0x0c, 0x10, 0x0a, 0x00, 0x1f, 0xee, 0x03, 0xfd, 0x8b, 0x5f, 0x14,
        0xd4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

void writeTexturedHierarchy(const std::string& folder, const std::string& name) {
    GltfWriter gltf;
    const std::string cube = addGltfCube(gltf);
    writeFile(folder + "paint.png", redPng());
    gltf.write(folder, name,
               R"("scene":0,"scenes":[{"nodes":[0,2,3]}],
"extensionsUsed":["KHR_lights_punctual"],
"nodes":[{"name":"base","translation":[1,2,3],"rotation":[0,0.70710678,0,0.70710678],"children":[1]},
 {"name":"cube","mesh":0,"translation":[0,1,0],"rotation":[0.25881905,0,0,0.96592583],"scale":[2,2,2]},
 {"name":"eye","camera":0,"translation":[1,3,10]},
 {"name":"sun","rotation":[-0.38268343,0,0,0.92387953],"extensions":{"KHR_lights_punctual":{"light":0}}}],
"cameras":[{"type":"perspective","perspective":{"yfov":0.8,"aspectRatio":1.5,"znear":0.5,"zfar":50}}],
"extensions":{"KHR_lights_punctual":{"lights":[{"name":"sun","type":"directional","color":[1,1,0.5]}]}},
"meshes":[{"name":"cubeMesh","primitives":[{)" +
                   cube + R"(,"material":0}]}],
"materials":[{"name":"paint","pbrMetallicRoughness":{"baseColorTexture":{"index":0},"metallicFactor":0}}],
"textures":[{"source":0}],"images":[{"uri":"paint.png"}])");
}

void writeSkinnedTwoBones(const std::string& folder, const std::string& name) {
    GltfWriter gltf;
    // Vertices at heights 0, 1 and 2 on x = -0.5 and 0.5.
    std::vector<float> positions;
    std::vector<uint8_t> joints;
    std::vector<float> weights;
    for (int row = 0; row < 3; ++row) {
        for (float x : {-0.5f, 0.5f}) {
            positions.insert(positions.end(), {x, static_cast<float>(row), 0.0f});
            joints.insert(joints.end(), {0, 1, 0, 0});
            // Row 0 follows the root, row 2 the tip, row 1 both halves.
            float tip = row * 0.5f;
            weights.insert(weights.end(), {1.0f - tip, tip, 0.0f, 0.0f});
        }
    }
    int p = gltf.floats(positions, "VEC3");
    int j = gltf.joints(joints);
    int w = gltf.floats(weights, "VEC4");
    int i = gltf.indices({0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4});
    // Inverse bind matrices: root at the origin, tip one unit up.
    int ibm = gltf.floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,  //
                           1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1},
                          "MAT4");
    int times = gltf.floats({0.0f, 1.0f}, "SCALAR");
    int turns = gltf.floats({0, 0, 0, 1, 0, 0, 0.70710678f, 0.70710678f}, "VEC4");
    auto s = [](int v) { return std::to_string(v); };
    gltf.write(folder, name,
               R"("scene":0,"scenes":[{"nodes":[0]}],
"nodes":[{"name":"rig","children":[1,2]},{"name":"skin","mesh":0,"skin":0},
 {"name":"root","children":[3]},{"name":"tip","translation":[0,1,0]}],
"meshes":[{"name":"strip","primitives":[{"attributes":{"POSITION":)" +
                   s(p) + R"(,"JOINTS_0":)" + s(j) + R"(,"WEIGHTS_0":)" + s(w) + R"(},"indices":)" +
                   s(i) + R"(}]}],
"skins":[{"joints":[2,3],"inverseBindMatrices":)" +
                   s(ibm) + R"(}],
"animations":[{"name":"bend","channels":[{"sampler":0,"target":{"node":3,"path":"rotation"}}],
 "samplers":[{"input":)" +
                   s(times) + R"(,"output":)" + s(turns) + R"(,"interpolation":"LINEAR"}]}])");
}

void writeColouredModels(const std::string& folder, const std::string& name) {
    GltfWriter gltf;
    const std::string cube = addGltfCube(gltf);
    // The strip: rows at y = -1, 0 and 1, the lower row following "root",
    // the upper one "tip", the middle both halves; normals face +Z.
    std::vector<float> positions, normals, weights;
    std::vector<uint8_t> joints;
    for (int row = 0; row < 3; ++row) {
        for (float x : {-0.5f, 0.5f}) {
            positions.insert(positions.end(), {x, static_cast<float>(row - 1), 0.0f});
            normals.insert(normals.end(), {0.0f, 0.0f, 1.0f});
            joints.insert(joints.end(), {0, 1, 0, 0});
            const float tip = row * 0.5f;
            weights.insert(weights.end(), {1.0f - tip, tip, 0.0f, 0.0f});
        }
    }
    auto s = [](int v) { return std::to_string(v); };
    const int p = gltf.floats(positions, "VEC3");
    const int n = gltf.floats(normals, "VEC3");
    const int j = gltf.joints(joints);
    const int w = gltf.floats(weights, "VEC4");
    const int i = gltf.indices({0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4});
    // Bones at the strip's foot (0, -1) and middle (0, 0) in its frame.
    const int ibm = gltf.floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1,  //
                                 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                                "MAT4");
    gltf.write(folder, name,
               R"("scene":0,"scenes":[{"nodes":[0,1,2]}],
"nodes":[{"name":"box","mesh":0,"translation":[-1,0,0]},
 {"name":"glass","mesh":1,"translation":[-0.4,0,1]},
 {"name":"rig","translation":[1.5,0,0],"children":[3,4]},
 {"name":"strip","mesh":2,"skin":0},
 {"name":"root","translation":[0,-1,0],"children":[5]},{"name":"tip","translation":[0,1,0]}],
"meshes":[{"name":"boxMesh","primitives":[{)" +
                   cube + R"(,"material":0}]},{"name":"glassMesh","primitives":[{)" + cube +
                   R"(,"material":1}]},
 {"name":"stripMesh","primitives":[{"attributes":{"POSITION":)" +
                   s(p) + R"(,"NORMAL":)" + s(n) + R"(,"JOINTS_0":)" + s(j) + R"(,"WEIGHTS_0":)" +
                   s(w) + R"(},"indices":)" + s(i) + R"(,"material":2}]}],
"skins":[{"joints":[4,5],"inverseBindMatrices":)" +
                   s(ibm) + R"(}],
"materials":[
 {"name":"red","pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1],"metallicFactor":0}},
 {"name":"glass","pbrMetallicRoughness":{"baseColorFactor":[0.2,0.2,1,0.5],"metallicFactor":0},
  "emissiveFactor":[0,0.6,0],"alphaMode":"BLEND"},
 {"name":"green","pbrMetallicRoughness":{"baseColorFactor":[0,1,0,1],"metallicFactor":0}}])");
}

std::string glbContainer(const std::string& json) {
    std::string chunk = json;
    while (chunk.size() % 4 != 0) {
        chunk += ' ';
    }
    auto u32 = [](uint32_t v) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
        return bytes;
    };
    return "glTF" + u32(2) + u32(static_cast<uint32_t>(12 + 8 + chunk.size())) +
           u32(static_cast<uint32_t>(chunk.size())) + "JSON" + chunk;
}

}  // namespace testsupport
