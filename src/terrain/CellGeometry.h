#pragma once
// The geometry of the cells of a detail or foliage group. Every cell keeps
// its vertices on the host (what it built last) and in its own device
// buffer; the index buffer and vertex declaration are shared by all cells of
// a group and made on the first draw. Without a render device the cells
// only keep their host vertices.

#include <cstdint>
#include <memory>
#include <vector>

#include "base/device/RenderTypes.h"
#include "scene/Geometry.h"

class IIndexBuffer;
class IRenderDevice;
class IVertexBuffer;
class IVertexDeclaration;

// What the cells of one group share.
class SharedCellBuffers {
public:
    SharedCellBuffers(const VertexDeclarationDesc& desc, PrimitiveType type);
    ~SharedCellBuffers();
    SharedCellBuffers(const SharedCellBuffers&) = delete;
    SharedCellBuffers& operator=(const SharedCellBuffers&) = delete;

    // The indices; 32-bit on the device when `vertexCount` (the largest
    // vertex count of a cell) does not fit 16 bits.
    void setIndices(std::vector<uint32_t> indices, uint64_t vertexCount);
    const std::vector<uint32_t>& getIndices() const { return m_indices; }
    bool isWide() const { return m_wide; }
    PrimitiveType getPrimitiveType() const { return m_type; }
    // Makes the device objects once; false when they cannot be made.
    bool prepare(IRenderDevice& device);
    IIndexBuffer* getIndexBuffer() const { return m_indexBuffer.get(); }
    IVertexDeclaration* getDeclaration() const { return m_declaration.get(); }

private:
    VertexDeclarationDesc m_desc;
    PrimitiveType m_type;
    std::vector<uint32_t> m_indices;
    bool m_wide = false;
    bool m_failed = false;
    std::unique_ptr<IIndexBuffer> m_indexBuffer;
    std::unique_ptr<IVertexDeclaration> m_declaration;
};

class CellGeometry : public VertexBufferGeometry {
public:
    // `vertexAttributes`: the VertexAttribute bits the cell's vertices carry
    // besides the position.
    CellGeometry(const std::string& name, SharedCellBuffers& shared, uint32_t vertexAttributes);
    ~CellGeometry() override;

    // Draws `indexCount` indices of the shared buffer over the cell's
    // vertices.
    void draw(SceneRenderContext& context, size_t subMesh) override;

    uint32_t getIndexCount() const { return m_indexCount; }
    void setIndexCount(uint32_t count) { m_indexCount = count; }
    // Copies the vertices to the device buffer (when a device exists).
    void upload(const void* vertices, uint32_t bytes);
    // Forgets the vertices: index count 0, the device buffer dropped.
    void clear();
    void setBounds(const BoundingSphere& bounds) { boundsStorage() = bounds; }
    bool hasDeviceBuffer() const { return m_vertexBuffer != nullptr; }

private:
    SharedCellBuffers* m_shared;
    uint32_t m_indexCount = 0;
    std::unique_ptr<IVertexBuffer> m_vertexBuffer;
};
