#pragma once
// The counting allocator of "physics.memory_stats": every block the physics
// library takes carries a header with its full size, so that the bytes in
// use, their maximum and the allocation counts can be shown on the physics
// statistics page. The header is 16 bytes, so blocks keep the 16-byte
// alignment of the system allocator.

#include <atomic>
#include <cstddef>
#include <cstdint>

class PhysicsDebugUserAllocator {
public:
    static constexpr size_t kHeaderSize = 16;

    // None when the system has no memory (or the size overflows).
    void* allocate(size_t size);
    // Keeps the contents up to the smaller size; none leaves the old block
    // as it was.
    void* reallocate(void* memory, size_t size);
    void release(void* memory);

    uint64_t getBytesInUse() const { return m_bytesInUse.load(); }
    uint64_t getMaxBytesInUse() const { return m_maxBytesInUse.load(); }
    uint64_t getTotalAllocations() const { return m_totalAllocations.load(); }
    uint64_t getLiveAllocations() const { return m_liveAllocations.load(); }

private:
    void addBytes(uint64_t size);

    // The library allocates on the simulation thread as well.
    std::atomic<uint64_t> m_bytesInUse{0};
    std::atomic<uint64_t> m_maxBytesInUse{0};
    std::atomic<uint64_t> m_totalAllocations{0};
    std::atomic<uint64_t> m_liveAllocations{0};
};
