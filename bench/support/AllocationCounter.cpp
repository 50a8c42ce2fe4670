#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_allocations{0};
}  // namespace

size_t benchsupport::allocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}

void benchsupport::reportAllocations(benchmark::State& state, size_t before) {
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocationCount() - before),
                                                  benchmark::Counter::kAvgIterations);
}

// The counting replacement of the global allocation functions pairs malloc
// with free; GCC cannot see that the two belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
