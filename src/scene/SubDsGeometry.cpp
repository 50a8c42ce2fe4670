#include "scene/SubDsGeometry.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"
#include "scene/SubdivisionScheme.h"

namespace {

// Per level, how many steps of the blend refill the vertices.
constexpr int kBlendSteps[SubDsGeometry::kMaxLevel + 1] = {2, 5, 3, 1, 1};

constexpr uint32_t kLevelAttributes =
    VertexAttribute::Normal | VertexAttribute::TexCoords0 | VertexAttribute::Color;

void averageInto(std::vector<float>& out, const std::vector<float>& in, uint32_t a, uint32_t b,
                 size_t width) {
    for (size_t i = 0; i < width; ++i) {
        out.push_back(0.5f * (in[a * width + i] + in[b * width + i]));
    }
}

void copyInto(std::vector<float>& out, const std::vector<float>& in, uint32_t a, size_t width) {
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(a * width),
               in.begin() + static_cast<std::ptrdiff_t>((a + 1) * width));
}

}  // namespace

SubDsGeometry::SubDsGeometry(const std::string& name, std::unique_ptr<MeshData> mesh,
                             uint32_t vertexAttributes)
    : IndexedFaceSetGeometry(name, std::move(mesh), vertexAttributes) {
    // The level follows the nearest shape, so every shape using the
    // geometry is listed.
    setKindFlags(getKindFlags() | kListsShapesOnSet);
    if (getNumSubMeshes() > 0) {
        m_levelAttributes = getSubMesh(0).vertexAttributes & kLevelAttributes;
    }
    m_levels[0] = std::make_unique<CornerTable>();
    const MeshData* data = getMeshData();
    if (data == nullptr || data->triangles.empty() || !m_levels[0]->buildFromMesh(*data)) {
        m_levels[0] = std::make_unique<CornerTable>();
        return;
    }
    const size_t unpaired = m_levels[0]->computeOpposites();
    m_closed = unpaired == 0;
    if (!m_closed) {
        Log::get() << "Warning: Subdivision surface " << name << " is not closed ("
                   << static_cast<uint32_t>(unpaired)
                   << " triangle edges are not shared by exactly two triangles); its control "
                      "mesh is drawn\n";
        return;
    }
    if (getContentFlags() & kHasSkin) {
        Log::get() << "Warning: Subdivision surface " << name
                   << " is skinned; its control mesh is drawn\n";
        return;
    }
    uint64_t corners = m_levels[0]->getCornerCount();
    while (m_levelLimit < kMaxLevel && corners * 4 <= kMaxCorners) {
        corners *= 4;
        ++m_levelLimit;
    }
    if (m_levelLimit < kMaxLevel) {
        Log::get() << "Warning: Subdivision surface " << name << " is refined to level "
                   << static_cast<int32_t>(m_levelLimit) << " at most ("
                   << static_cast<uint32_t>(m_levels[0]->getTriangleCount()) << " triangles)\n";
    }
}

SubDsGeometry::~SubDsGeometry() = default;

bool SubDsGeometry::cameraDistance(SceneRenderContext& context, const Geometry& geometry,
                                   float& distance) {
    Camera* camera = context.getActiveCamera();
    if (camera == nullptr || geometry.getShapes().empty()) {
        return false;
    }
    const Vector3 eye = camera->getWorldMatrix().getTranslation();
    bool found = false;
    for (Shape* shape : geometry.getShapes()) {
        const float d = length(shape->getWorldMatrix().getTranslation() - eye);
        if (!found || d < distance) {
            distance = d;
            found = true;
        }
    }
    return found;
}

void SubDsGeometry::draw(SceneRenderContext& context, size_t subMesh) {
    float distance = 0.0f;
    if (cameraDistance(context, *this, distance)) {
        chooseLevel(distance, context.subds);
    }
    if (m_currentLevel == 0) {
        IndexedFaceSetGeometry::draw(context, subMesh);
        return;
    }
    // A refined level is one triangle list: it draws with the first
    // sub-mesh's material only.
    SubMesh* mesh = m_levelMeshes[size_t(m_currentLevel)].get();
    if (subMesh != 0 || mesh == nullptr || context.subMeshDrawer == nullptr) {
        return;
    }
    if (!mesh->deviceData) {
        mesh->deviceData = context.subMeshDrawer->createDeviceData(*mesh);
    }
    context.subMeshDrawer->drawSubMesh(*mesh, mesh->deviceData.get());
    context.statistics.drawCalls += 1;
    context.statistics.primitives += mesh->indexCount / 3;
    context.statistics.indices += mesh->indexCount;
}

void SubDsGeometry::chooseLevel(float distance, const SubDsSettings& settings) {
    if (m_chosen && distance == m_lastDistance && settings == m_lastSettings) {
        return;
    }
    m_chosen = true;
    m_lastDistance = distance;
    m_lastSettings = settings;

    const int maxLevel = std::clamp(settings.maxLevel, 0, kMaxLevel);
    const float active = settings.activeDistance;
    int level = 0;
    float blend = 0.0f;
    if (settings.showControlMesh) {
        level = 0;
    } else if (settings.levelOverride > 0) {
        level = std::min(settings.levelOverride, kMaxLevel);
        blend = 1.0f;
    } else if (maxLevel > 0 && distance < active && std::isfinite(active)) {
        const float inside = active - distance;
        const float step = active / static_cast<float>(maxLevel);
        const float steps = inside / step;
        level = steps < static_cast<float>(maxLevel) ? static_cast<int>(steps) : maxLevel;
        blend = std::min((inside - step * static_cast<float>(level)) / step * 2.0f, 1.0f);
        level += 1;
        // At the camera the division lands one past the top level.
        if (level > maxLevel) {
            level = maxLevel;
            blend = 1.0f;
        }
    }
    setLevel(level, blend);
}

void SubDsGeometry::setLevel(int level, float blend) {
    level = std::clamp(level, 0, m_levelLimit);
    blend = std::isfinite(blend) ? std::clamp(blend, 0.0f, 1.0f) : 1.0f;
    while (m_builtLevels <= level) {
        buildLevel(m_builtLevels);
        ++m_builtLevels;
    }
    m_currentLevel = level;
    m_blend = blend;
    if (level > 0) {
        refreshLevelMesh(level, blend);
    }
}

void SubDsGeometry::buildLevel(int k) {
    const CornerTable& in = *m_levels[size_t(k) - 1];
    auto out = std::make_unique<CornerTable>();
    std::unique_ptr<SubdivisionScheme> scheme;
    if (m_loopScheme) {
        scheme = std::make_unique<LoopScheme>();
    } else {
        scheme = std::make_unique<ButterflyScheme>();
    }
    const size_t corners = in.getCornerCount();
    const size_t newCorners = corners * 4;
    out->positions.reserve((in.vertexCount + corners / 2) * 4);
    out->parentPositions.reserve((in.vertexCount + corners / 2) * 4);

    // New vertices in the order made: first one per old vertex, then one
    // per edge, each walk over the triangles' corners in order.
    std::vector<int32_t> vertexOf(in.vertexCount, CornerTable::kNone);
    for (uint32_t c = 0; c < corners; ++c) {
        const uint32_t v = in.vertexOfCorner[c];
        if (vertexOf[v] == CornerTable::kNone) {
            vertexOf[v] = static_cast<int32_t>(out->vertexCount);
            out->addVertex(scheme->vertexPoint(in, c), in.position(v));
        }
    }
    std::vector<int32_t> edgeOf(corners, CornerTable::kNone);
    for (uint32_t c = 0; c < corners; ++c) {
        if (edgeOf[c] != CornerTable::kNone) {
            continue;
        }
        const Vector3 middle =
            (in.cornerPosition(CornerTable::next(c)) + in.cornerPosition(CornerTable::prev(c))) *
            0.5f;
        edgeOf[c] = static_cast<int32_t>(out->vertexCount);
        out->addVertex(scheme->edgePoint(in, c), middle);
        if (in.opposite[c] != CornerTable::kNone) {
            edgeOf[size_t(in.opposite[c])] = edgeOf[c];
        }
    }

    out->vertexOfCorner.reserve(newCorners);
    out->normals.reserve(newCorners * 3);
    out->texCoords.reserve(newCorners * 2);
    out->colors.reserve(newCorners * 3);
    // A new corner on an old corner copies its values; one on an edge takes
    // the mean of the edge's two old corners.
    auto addCorner = [&](uint32_t vertex, uint32_t a, uint32_t b) {
        out->vertexOfCorner.push_back(vertex);
        if (a == b) {
            copyInto(out->normals, in.normals, a, 3);
            copyInto(out->texCoords, in.texCoords, a, 2);
            copyInto(out->colors, in.colors, a, 3);
        } else {
            averageInto(out->normals, in.normals, a, b, 3);
            averageInto(out->texCoords, in.texCoords, a, b, 2);
            averageInto(out->colors, in.colors, a, b, 3);
        }
    };
    for (uint32_t t = 0; t < corners / 3; ++t) {
        const uint32_t c0 = 3 * t;
        const uint32_t c1 = c0 + 1;
        const uint32_t c2 = c0 + 2;
        // The edge vertex opposite each corner.
        const auto e0 = static_cast<uint32_t>(edgeOf[c0]);  // between c1 and c2
        const auto e1 = static_cast<uint32_t>(edgeOf[c1]);  // between c2 and c0
        const auto e2 = static_cast<uint32_t>(edgeOf[c2]);  // between c0 and c1
        const auto v0 = static_cast<uint32_t>(vertexOf[in.vertexOfCorner[c0]]);
        const auto v1 = static_cast<uint32_t>(vertexOf[in.vertexOfCorner[c1]]);
        const auto v2 = static_cast<uint32_t>(vertexOf[in.vertexOfCorner[c2]]);
        addCorner(v0, c0, c0);
        addCorner(e2, c0, c1);
        addCorner(e1, c2, c0);
        addCorner(v1, c1, c1);
        addCorner(e0, c1, c2);
        addCorner(e2, c0, c1);
        addCorner(v2, c2, c2);
        addCorner(e1, c2, c0);
        addCorner(e0, c1, c2);
        addCorner(e2, c0, c1);
        addCorner(e0, c1, c2);
        addCorner(e1, c2, c0);
    }
    out->computeOpposites();
    m_levels[size_t(k)] = std::move(out);
}

void SubDsGeometry::refreshLevelMesh(int level, float blend) {
    const int step = static_cast<int>(blend * static_cast<float>(kBlendSteps[level]));
    if (level == m_lastLevel && step == m_lastBlendStep && m_levelMeshes[size_t(level)]) {
        return;
    }
    m_lastLevel = level;
    m_lastBlendStep = step;
    const CornerTable& table = *m_levels[size_t(level)];
    std::unique_ptr<SubMesh>& slot = m_levelMeshes[size_t(level)];
    const size_t corners = table.getCornerCount();
    if (!slot) {
        slot = std::make_unique<SubMesh>();
        slot->vertexAttributes = m_levelAttributes;
        slot->vertexStride = vertexStrideFor(m_levelAttributes);
        slot->indexCount = static_cast<uint32_t>(corners);
        slot->vertices.resize(corners * slot->vertexStride);
        slot->indices.resize(corners);
        for (uint32_t c = 0; c < corners; ++c) {
            slot->indices[c] = c;
        }
    }
    SubMesh& mesh = *slot;
    // One vertex per corner, in the layout of sub-mesh vertices: position,
    // normal, texture coordinates 0, colour.
    float* out = mesh.vertices.data();
    for (uint32_t c = 0; c < corners; ++c) {
        const uint32_t v = table.vertexOfCorner[c];
        const Vector3 p = table.position(v) * blend + table.parentPosition(v) * (1.0f - blend);
        *out++ = p.x;
        *out++ = p.y;
        *out++ = p.z;
        if (m_levelAttributes & VertexAttribute::Normal) {
            const float* n = &table.normals[size_t(c) * 3];
            *out++ = n[0];
            *out++ = n[1];
            *out++ = n[2];
        }
        if (m_levelAttributes & VertexAttribute::TexCoords0) {
            *out++ = table.texCoords[size_t(c) * 2];
            *out++ = table.texCoords[size_t(c) * 2 + 1];
        }
        if (m_levelAttributes & VertexAttribute::Color) {
            const float* col = &table.colors[size_t(c) * 3];
            *out++ = col[0];
            *out++ = col[1];
            *out++ = col[2];
            *out++ = 1.0f;
        }
    }
    // The device copy is made again from the new vertices at the next draw.
    mesh.deviceData.reset();
}
