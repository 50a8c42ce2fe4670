#include "MaterialColours.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace i3dimport {

namespace {

uint8_t toByte(float value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// Length, type, data and the CRC over type and data.
void appendChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    appendU32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    appendU32(out, static_cast<uint32_t>(crc));
}

// The file name of a colour texture: its four bytes in hex.
std::string colourName(const char* prefix, const std::array<float, 4>& rgba) {
    char name[32];
    std::snprintf(name, sizeof(name), "%s_%02x%02x%02x%02x", prefix, toByte(rgba[0]),
                  toByte(rgba[1]), toByte(rgba[2]), toByte(rgba[3]));
    return name;
}

ImportTexture colourTexture(const char* prefix, const std::array<float, 4>& rgba) {
    ImportTexture texture;
    texture.data = solidColourPng(rgba);
    texture.extension = "png";
    texture.nameHint = colourName(prefix, rgba);
    return texture;
}

bool isWhite(const std::array<float, 4>& c) {
    return toByte(c[0]) == 255 && toByte(c[1]) == 255 && toByte(c[2]) == 255;
}

bool isBlack(const std::array<float, 3>& c) {
    return toByte(c[0]) == 0 && toByte(c[1]) == 0 && toByte(c[2]) == 0;
}

// Multiplies the vertex colours of the triangles drawn with `material` by
// `tint`; a mesh without colours gets white ones first. Each vertex is
// tinted once (the reader gives every material its own vertices).
void tintVertices(ImportScene& scene, uint32_t material, const std::array<float, 4>& tint) {
    for (ImportMesh& mesh : scene.meshes) {
        std::vector<bool> tinted;
        for (const ImportTriangle& triangle : mesh.triangles) {
            if (triangle.material >= mesh.materials.size() ||
                mesh.materials[triangle.material] != material) {
                continue;
            }
            if (mesh.colors.size() != mesh.positions.size()) {
                mesh.colors.assign(mesh.positions.size(), {1.0f, 1.0f, 1.0f});
            }
            tinted.resize(mesh.positions.size(), false);
            for (uint32_t v : triangle.vertices) {
                if (v >= mesh.colors.size() || tinted[v]) {
                    continue;
                }
                tinted[v] = true;
                for (int i = 0; i < 3; ++i) {
                    mesh.colors[v][i] *= std::clamp(tint[i], 0.0f, 1.0f);
                }
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> solidColourPng(const std::array<float, 4>& rgba) {
    constexpr uint32_t kSize = 4;
    // Each row: filter byte 0, then the pixels.
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < kSize; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < kSize; ++x) {
            for (float component : rgba) {
                raw.push_back(toByte(component));
            }
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    packed.resize(packedSize);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    appendU32(header, kSize);
    appendU32(header, kSize);
    // 8 bits per channel, colour type 6 (RGBA), deflate, no filter choice,
    // not interlaced.
    header.insert(header.end(), {8, 6, 0, 0, 0});
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

void carryMaterialColours(ImportScene& scene) {
    std::vector<bool> used(scene.materials.size(), false);
    for (const ImportMesh& mesh : scene.meshes) {
        for (uint32_t material : mesh.materials) {
            if (material < used.size()) {
                used[material] = true;
            }
        }
    }
    for (uint32_t index = 0; index < scene.materials.size(); ++index) {
        ImportMaterial& m = scene.materials[index];
        if (!used[index]) {
            continue;
        }
        std::array<float, 4> base = m.diffuse;
        for (float& component : base) {
            component = std::isfinite(component) ? std::clamp(component, 0.0f, 1.0f) : 1.0f;
        }
        m.diffuse = base;
        if (!m.baseColorMap) {
            if (!isWhite(base) || toByte(base[3]) < 255) {
                m.baseColorMap = colourTexture("colour", base);
            }
        } else {
            if (m.colourScalesMaps && !isWhite(base)) {
                tintVertices(scene, index, base);
            }
            if (toByte(base[3]) < 255) {
                scene.warnings.push_back("material " + m.name +
                                         ": the opacity of a textured base colour cannot be "
                                         "held; the texture's alpha is used");
            }
        }
        std::array<float, 3> emissive = m.emissive;
        for (float& component : emissive) {
            component = std::isfinite(component) ? std::clamp(component, 0.0f, 1.0f) : 0.0f;
        }
        if (isBlack(emissive)) {
            continue;
        }
        if (!m.emissiveMap) {
            m.emissiveMap =
                colourTexture("emissive", {emissive[0], emissive[1], emissive[2], 1.0f});
            continue;
        }
        if (!m.colourScalesMaps) {
            continue;
        }
        // A map with a colour: the map's colours, scaled by the brightest
        // component.
        const float strongest = std::max({emissive[0], emissive[1], emissive[2]});
        m.emissiveCoeff = strongest;
        if (toByte(emissive[0]) != toByte(emissive[1]) ||
            toByte(emissive[1]) != toByte(emissive[2])) {
            scene.warnings.push_back("material " + m.name +
                                     ": the colour of an emissive map cannot be held; the map "
                                     "is scaled by its brightest component");
        }
    }
}

}  // namespace i3dimport
