#include "terrain/CellGeometry.h"

#include "base/device/IGpuResources.h"
#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "scene/SceneRenderContext.h"

SharedCellBuffers::SharedCellBuffers(const VertexDeclarationDesc& desc, PrimitiveType type)
    : m_desc(desc), m_type(type) {}

SharedCellBuffers::~SharedCellBuffers() = default;

void SharedCellBuffers::setIndices(std::vector<uint32_t> indices, uint64_t vertexCount) {
    m_indices = std::move(indices);
    m_wide = vertexCount > 65536;
    m_indexBuffer.reset();
    m_failed = false;
}

bool SharedCellBuffers::prepare(IRenderDevice& device) {
    if (m_failed || m_indices.empty()) {
        return false;
    }
    if (!m_declaration) {
        m_declaration = device.createVertexDeclaration(m_desc);
    }
    if (!m_indexBuffer) {
        if (m_wide) {
            m_indexBuffer = device.createIndexBuffer(
                uint32_t(m_indices.size() * 4), m_indices.data(), BU_STATIC | BU_WRITE_ONLY, true);
        } else {
            std::vector<uint16_t> narrow(m_indices.begin(), m_indices.end());
            m_indexBuffer = device.createIndexBuffer(uint32_t(narrow.size() * 2), narrow.data(),
                                                     BU_STATIC | BU_WRITE_ONLY, false);
        }
    }
    m_failed = !m_declaration || !m_indexBuffer;
    return !m_failed;
}

CellGeometry::CellGeometry(const std::string& name, SharedCellBuffers& shared,
                           uint32_t vertexAttributes)
    : VertexBufferGeometry(name), m_shared(&shared) {
    // The renderer picks the material through the sub-mesh; the vertices
    // live in the cell's own buffer.
    auto subMesh = std::make_unique<SubMesh>();
    subMesh->vertexAttributes = vertexAttributes;
    addSubMesh(std::move(subMesh));
}

CellGeometry::~CellGeometry() = default;

void CellGeometry::upload(const void* vertices, uint32_t bytes) {
    IRenderDevice* device = TextureSettings::getRenderDevice();
    if (device == nullptr || bytes == 0) {
        return;
    }
    if (m_vertexBuffer && m_vertexBuffer->getSize() >= bytes) {
        m_vertexBuffer->write(0, bytes, vertices, true);
    } else {
        m_vertexBuffer = device->createVertexBuffer(bytes, vertices,
                                                    BU_DYNAMIC | BU_WRITE_ONLY | BU_DISCARDABLE);
    }
}

void CellGeometry::clear() {
    m_indexCount = 0;
    m_vertexBuffer.reset();
}

void CellGeometry::draw(SceneRenderContext& context, size_t subMesh) {
    IRenderDevice* device = TextureSettings::getRenderDevice();
    if (subMesh != 0 || m_indexCount == 0 || device == nullptr || !m_vertexBuffer ||
        !m_shared->prepare(*device)) {
        return;
    }
    const uint32_t count =
        std::min<uint32_t>(m_indexCount, uint32_t(m_shared->getIndices().size()));
    device->setVertexBuffer(m_vertexBuffer.get());
    device->setIndexBuffer(m_shared->getIndexBuffer());
    device->bindVertexDeclaration(m_shared->getDeclaration());
    device->draw(int(count), 0, m_shared->getPrimitiveType());
    device->unbindVertexDeclaration();
    device->setIndexBuffer(nullptr);
    context.statistics.drawCalls += 1;
    context.statistics.primitives +=
        m_shared->getPrimitiveType() == PT_TRIANGLE_STRIP ? (count > 2 ? count - 2 : 0) : count / 3;
    context.statistics.indices += count;
}
