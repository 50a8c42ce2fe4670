// Replaces the global allocation functions of this test program with ones
// that remember the largest request (see AllocationWatch.h).

#include "AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ENGINE_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ENGINE_TEST_UNDER_ASAN 1
#endif

#ifdef ENGINE_TEST_UNDER_ASAN

void resetLargestAllocation() {}

long long largestAllocation() {
    return -1;
}

#else

namespace {
std::atomic<std::size_t> g_largest{0};
}  // namespace

void resetLargestAllocation() {
    g_largest.store(0);
}

long long largestAllocation() {
    return static_cast<long long>(g_largest.load());
}

void* operator new(std::size_t size) {
    std::size_t seen = g_largest.load(std::memory_order_relaxed);
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

#endif
