#include "scene/CornerTable.h"

#include <algorithm>

#include "scene/Geometry.h"

bool CornerTable::buildFromMesh(const MeshData& mesh) {
    for (const MeshTriangle& triangle : mesh.triangles) {
        for (const MeshCorner& corner : triangle.corners) {
            if (corner.position >= mesh.positions.size()) {
                return false;
            }
        }
    }
    const size_t corners = mesh.triangles.size() * 3;
    vertexCount = static_cast<uint32_t>(mesh.positions.size());
    positions.clear();
    parentPositions.clear();
    for (const Vector3& p : mesh.positions) {
        positions.insert(positions.end(), {p.x, p.y, p.z, 1.0f});
    }
    parentPositions = positions;
    vertexOfCorner.resize(corners);
    normals.resize(corners * 3);
    texCoords.resize(corners * 2);
    colors.resize(corners * 3);
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        const MeshTriangle& triangle = mesh.triangles[t];
        for (size_t k = 0; k < 3; ++k) {
            const MeshCorner& corner = triangle.corners[k];
            const size_t c = t * 3 + k;
            vertexOfCorner[c] = corner.position;
            const bool hasNormal = (triangle.attributes & VertexAttribute::Normal) != 0;
            const bool hasUv = (triangle.attributes & VertexAttribute::TexCoords0) != 0;
            const bool hasColor = (triangle.attributes & VertexAttribute::Color) != 0;
            for (size_t i = 0; i < 3; ++i) {
                normals[c * 3 + i] = hasNormal ? corner.normal[i] : (i == 0 ? 1.0f : 0.0f);
                colors[c * 3 + i] = hasColor ? corner.color[i] : 1.0f;
            }
            texCoords[c * 2] = hasUv ? corner.texCoords0[0] : 0.0f;
            texCoords[c * 2 + 1] = hasUv ? corner.texCoords0[1] : 0.0f;
        }
    }
    return true;
}

size_t CornerTable::computeOpposites() {
    struct EdgeRecord {
        uint32_t low;
        uint32_t high;
        uint32_t corner;
    };
    const size_t corners = getCornerCount();
    std::vector<EdgeRecord> records(corners);
    for (uint32_t c = 0; c < corners; ++c) {
        const uint32_t a = vertexOfCorner[next(c)];
        const uint32_t b = vertexOfCorner[prev(c)];
        records[c] = {std::min(a, b), std::max(a, b), c};
    }
    std::stable_sort(records.begin(), records.end(), [](const EdgeRecord& x, const EdgeRecord& y) {
        return x.low != y.low ? x.low < y.low : x.high < y.high;
    });
    opposite.assign(corners, kNone);
    size_t unpaired = 0;
    for (size_t i = 0; i < corners;) {
        size_t end = i + 1;
        while (end < corners && records[end].low == records[i].low &&
               records[end].high == records[i].high) {
            ++end;
        }
        // A collapsed edge (both ends one vertex) has no partner either.
        if (end - i == 2 && records[i].low != records[i].high) {
            opposite[records[i].corner] = static_cast<int32_t>(records[i + 1].corner);
            opposite[records[i + 1].corner] = static_cast<int32_t>(records[i].corner);
        } else {
            unpaired += end - i;
        }
        i = end;
    }
    return unpaired;
}

void CornerTable::addVertex(const Vector3& position, const Vector3& parent) {
    positions.insert(positions.end(), {position.x, position.y, position.z, 1.0f});
    parentPositions.insert(parentPositions.end(), {parent.x, parent.y, parent.z, 1.0f});
    ++vertexCount;
}
