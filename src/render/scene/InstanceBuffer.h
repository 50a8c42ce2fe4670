#pragma once
// The per-instance data of instanced draws: one streaming vertex buffer
// written as a ring. Each draw's data goes after the last; when the end is
// reached the buffer is orphaned and writing starts again at the front, so
// the CPU never waits for draws still reading older data. It grows (made
// anew, twice as large) only when one request does not fit at all.

#include <cstdint>
#include <memory>

class IRenderDevice;
class IVertexBuffer;

class InstanceBuffer {
public:
    explicit InstanceBuffer(IRenderDevice& device) : m_device(device) {}
    ~InstanceBuffer();

    // Maps room for `bytes` (16-byte aligned start) and tells where in the
    // buffer it starts; null when the buffer cannot be made or mapped.
    // unmap() before drawing from it.
    void* map(uint32_t bytes, uint32_t& offset);
    void unmap();

    // Null until the first map.
    IVertexBuffer* getBuffer() const { return m_buffer.get(); }
    uint32_t getSize() const { return m_size; }

private:
    IRenderDevice& m_device;
    std::unique_ptr<IVertexBuffer> m_buffer;
    uint32_t m_size = 0;
    uint32_t m_used = 0;
};
