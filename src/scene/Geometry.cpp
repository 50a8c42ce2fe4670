#include "scene/Geometry.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "scene/SceneRenderContext.h"

Geometry::Geometry(const std::string& name, bool registered) : Entity(name, registered) {
    addKind(EntityKind::Geometry);
}

Geometry::~Geometry() = default;

void Geometry::registerShape(Shape* shape) {
    if (std::find(m_shapes.begin(), m_shapes.end(), shape) == m_shapes.end()) {
        m_shapes.push_back(shape);
    }
}

void Geometry::unregisterShape(Shape* shape) {
    auto it = std::find(m_shapes.begin(), m_shapes.end(), shape);
    if (it != m_shapes.end()) {
        m_shapes.erase(it);
    }
}

uint32_t vertexStrideFor(uint32_t attributes) {
    uint32_t stride = 3;
    if (attributes & VertexAttribute::Normal) {
        stride += 3;
    }
    if (attributes & VertexAttribute::TexCoords0) {
        stride += 2;
    }
    if (attributes & VertexAttribute::TexCoords1) {
        stride += 2;
    }
    if (attributes & VertexAttribute::Color) {
        stride += 4;
    }
    if (attributes & VertexAttribute::Skin) {
        stride += 8;
    }
    return stride;
}

namespace {

uint32_t indicesPerPrimitive(MeshPrimitive type) {
    switch (type) {
        case MeshPrimitive::Points:
            return 1;
        case MeshPrimitive::Lines:
            return 2;
        case MeshPrimitive::Triangles:
            return 3;
    }
    return 3;
}

}  // namespace

void VertexBufferGeometry::draw(SceneRenderContext& context, size_t subMesh) {
    if (subMesh >= m_subMeshes.size() || context.subMeshDrawer == nullptr) {
        return;
    }
    SubMesh& mesh = *m_subMeshes[subMesh];
    if (!mesh.deviceData) {
        mesh.deviceData = context.subMeshDrawer->createDeviceData(mesh);
    }
    context.subMeshDrawer->drawSubMesh(mesh, mesh.deviceData.get());
    context.statistics.drawCalls += 1;
    context.statistics.primitives += mesh.indexCount / indicesPerPrimitive(mesh.primitive);
    context.statistics.indices += mesh.indexCount;
}

void VertexBufferGeometry::drawInstances(SceneRenderContext& context, size_t subMesh,
                                         uint32_t instances) {
    if (subMesh >= m_subMeshes.size() || context.subMeshDrawer == nullptr || instances == 0) {
        return;
    }
    SubMesh& mesh = *m_subMeshes[subMesh];
    if (!mesh.deviceData) {
        mesh.deviceData = context.subMeshDrawer->createDeviceData(mesh);
    }
    context.subMeshDrawer->drawSubMeshInstances(mesh, mesh.deviceData.get(), instances);
    context.statistics.drawCalls += instances;
    context.statistics.primitives +=
        instances * (mesh.indexCount / indicesPerPrimitive(mesh.primitive));
    context.statistics.indices += instances * mesh.indexCount;
    context.statistics.instancedDrawCalls += 1;
    context.statistics.instances += instances;
}

RenderAttachment* VertexBufferGeometry::getSubMeshData(size_t subMesh) {
    return subMesh < m_subMeshes.size() ? m_subMeshes[subMesh]->deviceData.get() : nullptr;
}

IndexedFaceSetGeometry::IndexedFaceSetGeometry(const std::string& name,
                                               std::unique_ptr<MeshData> mesh,
                                               uint32_t vertexAttributes)
    : VertexBufferGeometry(name) {
    if (!mesh) {
        mesh = std::make_unique<MeshData>();
    }
    uint32_t content = 0;
    for (const MeshTriangle& triangle : mesh->triangles) {
        if (triangle.attributes & VertexAttribute::Color) {
            content |= kHasVertexColors;
            break;
        }
    }
    if (!mesh->skinWeights.empty() && !mesh->boneIndices.empty()) {
        content |= kHasSkin;
    }
    uint32_t attributes = vertexAttributes & ~VertexAttribute::Skin;
    if (content & kHasVertexColors) {
        attributes |= VertexAttribute::Color;
    }
    if (content & kHasSkin) {
        attributes |= VertexAttribute::Skin;
    }

    if (mesh->triangles.empty()) {
        Log::get() << "Error: Mesh with zero triangles\n";
    } else {
        size_t begin = 0;
        const size_t count = mesh->triangles.size();
        for (size_t i = 1; i <= count; ++i) {
            if (i == count || mesh->triangles[i].material != mesh->triangles[begin].material) {
                buildRun(*mesh, begin, i, attributes);
                begin = i;
            }
        }
    }

    const std::vector<Vector3>& positions = mesh->positions;
    boundsStorage().setFromPoints(positions.empty() ? nullptr : &positions[0].x, positions.size(),
                                  sizeof(Vector3) / sizeof(float));
    setContentFlags(content);
    setMeshData(std::move(mesh));
}

void IndexedFaceSetGeometry::buildRun(const MeshData& mesh, size_t begin, size_t end,
                                      uint32_t attributes) {
    // A corner that names a position outside the list makes the run unusable.
    for (size_t t = begin; t < end; ++t) {
        for (const MeshCorner& corner : mesh.triangles[t].corners) {
            if (corner.position >= mesh.positions.size()) {
                Log::get() << "Error: Internal mesh error\n";
                return;
            }
        }
    }
    auto subMesh = std::make_unique<SubMesh>();
    subMesh->primitive = MeshPrimitive::Triangles;
    subMesh->vertexAttributes = attributes;
    subMesh->vertexStride = vertexStrideFor(attributes);
    subMesh->materialIndex = mesh.triangles[begin].material;
    const size_t cornerCount = (end - begin) * 3;
    subMesh->vertices.reserve(cornerCount * subMesh->vertexStride);
    subMesh->indices.reserve(cornerCount);

    std::vector<float>& v = subMesh->vertices;
    for (size_t t = begin; t < end; ++t) {
        const MeshTriangle& triangle = mesh.triangles[t];
        for (const MeshCorner& corner : triangle.corners) {
            const Vector3& p = mesh.positions[corner.position];
            v.insert(v.end(), {p.x, p.y, p.z});
            if (attributes & VertexAttribute::Normal) {
                v.insert(v.end(), corner.normal, corner.normal + 3);
            }
            if (attributes & VertexAttribute::TexCoords0) {
                v.insert(v.end(), corner.texCoords0, corner.texCoords0 + 2);
            }
            if (attributes & VertexAttribute::TexCoords1) {
                v.insert(v.end(), corner.texCoords1, corner.texCoords1 + 2);
            }
            if (attributes & VertexAttribute::Color) {
                if (triangle.attributes & VertexAttribute::Color) {
                    v.insert(v.end(), {corner.color[0], corner.color[1], corner.color[2], 1.0f});
                } else {
                    v.insert(v.end(), {1.0f, 1.0f, 1.0f, 1.0f});
                }
            }
            if (attributes & VertexAttribute::Skin) {
                // Vertices beyond the skin lists get no weights.
                std::array<float, 4> weights{};
                std::array<int32_t, 4> bones{};
                if (corner.position < mesh.skinWeights.size()) {
                    weights = mesh.skinWeights[corner.position];
                }
                if (corner.position < mesh.boneIndices.size()) {
                    bones = mesh.boneIndices[corner.position];
                }
                v.insert(v.end(), weights.begin(), weights.end());
                for (int32_t bone : bones) {
                    v.push_back(static_cast<float>(bone));
                }
            }
            subMesh->indices.push_back(static_cast<uint32_t>(subMesh->indices.size()));
        }
    }
    subMesh->indexCount = static_cast<uint32_t>(subMesh->indices.size());
    addSubMesh(std::move(subMesh));
}

std::unique_ptr<MeshData> makeTorusMesh(uint32_t rings, uint32_t sides, float radius,
                                        float tubeRadius) {
    auto mesh = std::make_unique<MeshData>();
    if (rings < 3 || sides < 3) {
        return mesh;
    }
    constexpr float kTwoPi = 6.28318530717958647692f;
    std::vector<Vector3> normals;
    for (uint32_t i = 0; i < rings; ++i) {
        const float u = kTwoPi * static_cast<float>(i) / static_cast<float>(rings);
        for (uint32_t j = 0; j < sides; ++j) {
            const float v = kTwoPi * static_cast<float>(j) / static_cast<float>(sides);
            const Vector3 normal{std::cos(v) * std::cos(u), std::sin(v), std::cos(v) * std::sin(u)};
            const Vector3 centre{radius * std::cos(u), 0.0f, radius * std::sin(u)};
            mesh->positions.push_back(centre + normal * tubeRadius);
            normals.push_back(normal);
        }
    }
    auto index = [&](uint32_t i, uint32_t j) { return (i % rings) * sides + (j % sides); };
    auto corner = [&](uint32_t vertex) {
        MeshCorner c;
        c.position = vertex;
        c.normal[0] = normals[vertex].x;
        c.normal[1] = normals[vertex].y;
        c.normal[2] = normals[vertex].z;
        return c;
    };
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < sides; ++j) {
            const uint32_t a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1),
                           d = index(i, j + 1);
            MeshTriangle first;
            first.attributes = VertexAttribute::Normal;
            first.corners[0] = corner(a);
            first.corners[1] = corner(d);
            first.corners[2] = corner(c);
            MeshTriangle second = first;
            second.corners[1] = corner(c);
            second.corners[2] = corner(b);
            mesh->triangles.push_back(first);
            mesh->triangles.push_back(second);
        }
    }
    return mesh;
}

std::unique_ptr<MeshData> makeQuadMesh(float half) {
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}};
    static const uint32_t kTriangles[6] = {0, 1, 2, 0, 2, 3};
    for (int t = 0; t < 6; t += 3) {
        MeshTriangle triangle;
        triangle.attributes = VertexAttribute::Normal;
        for (int c = 0; c < 3; ++c) {
            triangle.corners[c].position = kTriangles[t + c];
            triangle.corners[c].normal[2] = 1.0f;
        }
        mesh->triangles.push_back(triangle);
    }
    return mesh;
}

std::unique_ptr<MeshData> makeFloorMesh(float half) {
    // The quad turned by -90° about x: (x, y, 0) goes to (x, 0, -y), its
    // normal from +z to +y, the winding kept.
    std::unique_ptr<MeshData> mesh = makeQuadMesh(half);
    for (Vector3& p : mesh->positions) {
        p = {p.x, 0.0f, -p.y};
    }
    for (MeshTriangle& triangle : mesh->triangles) {
        for (MeshCorner& corner : triangle.corners) {
            corner.normal[1] = 1.0f;
            corner.normal[2] = 0.0f;
        }
    }
    return mesh;
}

std::unique_ptr<MeshData> makeBoxMesh(const Vector3& half) {
    auto mesh = std::make_unique<MeshData>();
    for (int i = 0; i < 8; ++i) {
        mesh->positions.push_back(
            {(i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y, (i & 4) ? half.z : -half.z});
    }
    // Corner i has x from bit 0, y from bit 1, z from bit 2.
    static const uint32_t kTriangles[36] = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                            2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    for (int t = 0; t < 36; t += 3) {
        MeshTriangle triangle;
        for (int c = 0; c < 3; ++c) {
            triangle.corners[c].position = kTriangles[t + c];
        }
        mesh->triangles.push_back(triangle);
    }
    return mesh;
}
