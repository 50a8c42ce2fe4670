#pragma once
// Benchmark programs that link bench_support count every heap allocation of
// the process: the global operator new is replaced. A benchmark reads the
// count before and after its timed loop to show that a frame allocates
// nothing.

#include <benchmark/benchmark.h>

#include <cstddef>

namespace benchsupport {

size_t allocationCount();

// Sets the "allocs" counter: allocations since `before` per iteration
// (which must stay 0 for per-frame work).
void reportAllocations(benchmark::State& state, size_t before);

}  // namespace benchsupport
