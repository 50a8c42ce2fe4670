#include "render/scene/InstanceBuffer.h"

#include <algorithm>

#include "base/device/IRenderDevice.h"
#include "foundation/Log.h"

namespace {

constexpr uint32_t kMinimumSize = 64 * 1024;
// Beyond this a request is refused: 16 million instances of three rows.
constexpr uint32_t kMaximumSize = 1u << 30;

}  // namespace

InstanceBuffer::~InstanceBuffer() = default;

void* InstanceBuffer::map(uint32_t bytes, uint32_t& offset) {
    if (bytes == 0 || bytes > kMaximumSize) {
        return nullptr;
    }
    LockMode mode = LOCK_NO_OVERWRITE;
    if (bytes > m_size) {
        uint32_t size = std::max(kMinimumSize, m_size);
        while (size < bytes) {
            size *= 2;
        }
        m_buffer.reset();
        m_buffer =
            m_device.createVertexBuffer(size, nullptr, BU_DYNAMIC | BU_WRITE_ONLY | BU_DISCARDABLE);
        m_size = m_buffer ? size : 0;
        m_used = 0;
        mode = LOCK_DISCARD;
        if (!m_buffer) {
            Log::get() << "Error: no instance buffer of " << size << " bytes\n";
            return nullptr;
        }
    } else if (bytes > m_size - m_used) {
        // Orphaned: draws still reading the old storage keep it.
        m_used = 0;
        mode = LOCK_DISCARD;
    }
    void* pointer = m_buffer->lock(m_used, bytes, mode);
    if (pointer == nullptr) {
        return nullptr;
    }
    offset = m_used;
    m_used = std::min(m_size, m_used + ((bytes + 15u) & ~15u));
    return pointer;
}

void InstanceBuffer::unmap() {
    if (m_buffer && m_buffer->isLocked()) {
        m_buffer->unlock();
    }
}
