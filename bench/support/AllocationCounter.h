#pragma once
// Counts heap allocations, so that a benchmark can report how many its
// per-frame work made ("allocs" per iteration, which must stay 0). Replaces
// the global allocation functions: include it in exactly one file of a
// benchmark program.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace benchsupport {
inline std::atomic<size_t> g_allocations{0};

inline void reportAllocations(benchmark::State& state, size_t before) {
    state.counters["allocs"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}
}  // namespace benchsupport

// The replacement pairs malloc with free; GCC cannot see that the two belong
// together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    benchsupport::g_allocations.fetch_add(1, std::memory_order_relaxed);
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
