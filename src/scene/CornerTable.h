#pragma once
// The connectivity of a triangle mesh as a corner table: corner c belongs to
// triangle c / 3, names a vertex and knows the corner across the edge
// opposite it. One table per subdivision level, with per-vertex positions
// and per-corner normals, texture coordinates and colours.

#include <cstdint>
#include <vector>

#include "base/math/Vector3.h"

struct MeshData;

class CornerTable {
public:
    static constexpr int32_t kNone = -1;
    // Swinging around one vertex stops after this many triangles.
    static constexpr uint32_t kMaxValence = 1024;

    static uint32_t next(uint32_t c) { return 3 * (c / 3) + (c + 1) % 3; }
    static uint32_t prev(uint32_t c) { return next(next(c)); }

    // Level 0: the mesh's triangles; positions and parent positions are the
    // mesh's vertex positions. False (nothing built) when a corner names a
    // vertex the mesh lacks.
    bool buildFromMesh(const MeshData& mesh);

    // Pairs every edge shared by exactly two triangles; the corners of other
    // edges (open or shared by three and more) keep kNone. Returns the
    // number of corners left without an opposite corner.
    size_t computeOpposites();

    size_t getCornerCount() const { return vertexOfCorner.size(); }
    size_t getTriangleCount() const { return vertexOfCorner.size() / 3; }
    Vector3 position(uint32_t vertex) const {
        const float* p = &positions[size_t(vertex) * 4];
        return {p[0], p[1], p[2]};
    }
    Vector3 parentPosition(uint32_t vertex) const {
        const float* p = &parentPositions[size_t(vertex) * 4];
        return {p[0], p[1], p[2]};
    }
    Vector3 cornerPosition(uint32_t c) const { return position(vertexOfCorner[c]); }
    // The corner of the same vertex in the next triangle around it, or
    // kNone at an edge without a partner.
    int32_t swing(uint32_t c) const {
        const int32_t across = opposite[next(c)];
        return across == kNone ? kNone : static_cast<int32_t>(next(static_cast<uint32_t>(across)));
    }

    void addVertex(const Vector3& position, const Vector3& parent);

    uint32_t vertexCount = 0;
    std::vector<float> parentPositions;  // 4 per vertex, the fourth unused
    std::vector<float> positions;        // 4 per vertex, the fourth unused
    std::vector<int32_t> opposite;       // per corner
    std::vector<uint32_t> vertexOfCorner;
    std::vector<float> normals;    // 3 per corner
    std::vector<float> texCoords;  // 2 per corner
    std::vector<float> colors;     // 3 per corner
};
