#include "physics/sdk/PhysicsDebugUserAllocator.h"

#include <cstdlib>
#include <cstring>

namespace {

struct alignas(16) BlockHeader {
    size_t size;
};
static_assert(sizeof(BlockHeader) == PhysicsDebugUserAllocator::kHeaderSize);

BlockHeader* headerOf(void* memory) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(memory) - sizeof(BlockHeader));
}

}  // namespace

void PhysicsDebugUserAllocator::addBytes(uint64_t size) {
    uint64_t now = m_bytesInUse.fetch_add(size) + size;
    uint64_t max = m_maxBytesInUse.load();
    while (now > max && !m_maxBytesInUse.compare_exchange_weak(max, now)) {
    }
}

void* PhysicsDebugUserAllocator::allocate(size_t size) {
    if (size > SIZE_MAX - sizeof(BlockHeader)) {
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) {
        return nullptr;
    }
    header->size = size;
    addBytes(size);
    ++m_totalAllocations;
    ++m_liveAllocations;
    return header + 1;
}

void* PhysicsDebugUserAllocator::reallocate(void* memory, size_t size) {
    if (memory == nullptr) {
        return allocate(size);
    }
    if (size > SIZE_MAX - sizeof(BlockHeader)) {
        return nullptr;
    }
    BlockHeader* old = headerOf(memory);
    size_t oldSize = old->size;
    auto* header = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
    if (header == nullptr) {
        return nullptr;
    }
    header->size = size;
    if (size >= oldSize) {
        addBytes(size - oldSize);
    } else {
        m_bytesInUse -= oldSize - size;
    }
    return header + 1;
}

void PhysicsDebugUserAllocator::release(void* memory) {
    if (memory == nullptr) {
        return;
    }
    BlockHeader* header = headerOf(memory);
    m_bytesInUse -= header->size;
    --m_liveAllocations;
    std::free(header);
}
