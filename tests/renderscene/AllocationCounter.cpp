// Replaces the global allocation functions of this test program with ones
// that count, so a test can tell whether a frame allocates per shape. Under
// AddressSanitizer, which brings allocation functions of its own, nothing is
// replaced and nothing counted.

#include "AllocationCounter.h"

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

long allocationCount() {
    return -1;
}

#else

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

long allocationCount() {
    return g_allocations.load();
}

void* operator new(std::size_t size) {
    ++g_allocations;
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
