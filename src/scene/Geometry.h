#pragma once
// What shapes draw: Geometry (shared by reference counting), the mesh
// description it is built from, and the vertex-buffer geometries with one
// sub-mesh per material run. Device buffers are made by the renderer on the
// first draw of each sub-mesh, through the context's sub-mesh drawer.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "scene/BoundingSphere.h"
#include "scene/RenderAttachment.h"

class SceneRenderContext;
class Shape;

// Per-corner attributes of a mesh triangle, and the vertex attributes a
// sub-mesh's vertex data holds beside the position.
namespace VertexAttribute {
constexpr uint32_t Normal = 0x1;
constexpr uint32_t TexCoords0 = 0x2;
constexpr uint32_t TexCoords1 = 0x4;
constexpr uint32_t Color = 0x8;
// Four weights and four bone indices.
constexpr uint32_t Skin = 0x10;
}  // namespace VertexAttribute

struct MeshCorner {
    uint32_t position = 0;
    float texCoords0[2] = {0, 0};
    float texCoords1[2] = {0, 0};
    float color[3] = {1, 1, 1};
    float normal[3] = {0, 0, 0};
};

struct MeshTriangle {
    MeshCorner corners[3];
    // VertexAttribute bits of the values the corners carry.
    uint32_t attributes = 0;
    int32_t material = 0;
};

struct MeshData {
    std::vector<MeshTriangle> triangles;
    std::vector<Vector3> positions;
    std::vector<std::array<float, 4>> skinWeights;
    // Indices into the shape's bone list.
    std::vector<std::array<int32_t, 4>> boneIndices;
    std::string materialNames;
};

// A closed box around the origin: 8 corners, 12 outward-wound triangles (for
// placeholder geometry and collision shapes).
std::unique_ptr<MeshData> makeBoxMesh(const Vector3& halfExtents);
// A closed torus around the y axis: `rings` x `sides` quads of two
// consistently wound triangles each, with normals (test and benchmark surfaces).
std::unique_ptr<MeshData> makeTorusMesh(uint32_t rings, uint32_t sides, float radius,
                                        float tubeRadius);
// A square from −half to half in x and y at z = 0, two triangles facing +z
// with their normals.
std::unique_ptr<MeshData> makeQuadMesh(float half);
// The same square in the xz plane, facing +y (a floor, mirror or water
// surface: such surfaces lie in their shape's xz plane).
std::unique_ptr<MeshData> makeFloorMesh(float half);

// RefCounted is the first base so that the last release deletes through a
// pointer to the start of the object.
class Geometry : public RefCounted, public Entity {
public:
    // Geometry kind flags: shapes are entered in the shape list when the
    // geometry is set on them (0x40) or when the scene loader copies a shape
    // (0x80).
    static constexpr uint32_t kListsShapesOnSet = 0x40;
    static constexpr uint32_t kListsShapesOnCopy = 0x80;
    // Content flags.
    static constexpr uint32_t kHasVertexColors = 0x2;
    static constexpr uint32_t kHasSkin = 0x4;

    // Registered geometries can be addressed by id (particle systems and
    // precipitation take script calls).
    explicit Geometry(const std::string& name, bool registered = false);
    ~Geometry() override;

    virtual void draw(SceneRenderContext& context, size_t subMesh) = 0;
    // The device data of a sub-mesh, or none.
    virtual RenderAttachment* getSubMeshData(size_t /*subMesh*/) { return nullptr; }

    uint32_t getKindFlags() const { return m_kindFlags; }
    void setKindFlags(uint32_t flags) { m_kindFlags = flags; }
    uint32_t getContentFlags() const { return m_contentFlags; }
    const BoundingSphere& getBounds() const { return m_bounds; }
    const MeshData* getMeshData() const { return m_mesh.get(); }

    const std::vector<Shape*>& getShapes() const { return m_shapes; }
    void registerShape(Shape* shape);
    void unregisterShape(Shape* shape);

protected:
    void setContentFlags(uint32_t flags) { m_contentFlags = flags; }
    BoundingSphere& boundsStorage() { return m_bounds; }
    void setMeshData(std::unique_ptr<MeshData> mesh) { m_mesh = std::move(mesh); }

private:
    uint32_t m_kindFlags = 0;
    std::vector<Shape*> m_shapes;
    uint32_t m_contentFlags = 0;
    BoundingSphere m_bounds;
    std::unique_ptr<MeshData> m_mesh;
};

enum class MeshPrimitive { Points, Lines, Triangles };

// One indexed draw: host copies of the vertex and index data and the device
// data made from them on first draw.
struct SubMesh {
    MeshPrimitive primitive = MeshPrimitive::Triangles;
    uint32_t indexCount = 0;
    // VertexAttribute bits; the vertex layout is the position (3 floats),
    // then normal (3), texture coordinates 0 (2) and 1 (2), colour (4:
    // r, g, b, 1), skin weights (4) and bone indices (4, as floats), each
    // only when its bit is set.
    uint32_t vertexAttributes = 0;
    uint32_t vertexStride = 3;  // floats per vertex
    std::vector<float> vertices;
    std::vector<uint32_t> indices;
    int32_t materialIndex = 0;
    std::unique_ptr<RenderAttachment> deviceData;
};

// Floats per vertex for a set of VertexAttribute bits.
uint32_t vertexStrideFor(uint32_t attributes);

// Makes the device data of sub-meshes and draws them; implemented by the
// renderer.
class ISubMeshDrawer {
public:
    virtual ~ISubMeshDrawer() = default;
    virtual std::unique_ptr<RenderAttachment> createDeviceData(const SubMesh& subMesh) = 0;
    virtual void drawSubMesh(const SubMesh& subMesh, RenderAttachment* deviceData) = 0;
    // Draws the sub-mesh `instances` times in one call, each copy placed by
    // the per-instance data the drawer set up before; drawers without
    // instancing draw nothing.
    virtual void drawSubMeshInstances(const SubMesh& subMesh, RenderAttachment* deviceData,
                                      uint32_t instances) {
        (void)subMesh;
        (void)deviceData;
        (void)instances;
    }
};

class VertexBufferGeometry : public Geometry {
public:
    using Geometry::Geometry;

    // An index beyond the sub-mesh count is ignored. Without a drawer in the
    // context nothing is drawn or counted.
    void draw(SceneRenderContext& context, size_t subMesh) override;
    // The sub-mesh drawn `instances` times with one instanced draw call of
    // the context's drawer; the statistics count every instance.
    void drawInstances(SceneRenderContext& context, size_t subMesh, uint32_t instances);
    RenderAttachment* getSubMeshData(size_t subMesh) override;

    size_t getNumSubMeshes() const { return m_subMeshes.size(); }
    const SubMesh& getSubMesh(size_t index) const { return *m_subMeshes[index]; }

protected:
    void addSubMesh(std::unique_ptr<SubMesh> subMesh) { m_subMeshes.push_back(std::move(subMesh)); }

private:
    std::vector<std::unique_ptr<SubMesh>> m_subMeshes;
};

class IndexedFaceSetGeometry : public VertexBufferGeometry {
public:
    // `vertexAttributes` selects the vertex data to generate (from the
    // materials); colours and skin data are added whenever the mesh has them.
    IndexedFaceSetGeometry(const std::string& name, std::unique_ptr<MeshData> mesh,
                           uint32_t vertexAttributes);

private:
    void buildRun(const MeshData& mesh, size_t begin, size_t end, uint32_t attributes);
};
