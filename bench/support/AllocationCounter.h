#pragma once
// Benchmark programs that link bench_support count every heap allocation of
// the process: the global operator new is replaced. A benchmark reads the
// count before and after its timed loop to show that a frame allocates
// nothing.

#include <cstddef>

namespace benchsupport {

size_t allocationCount();

}  // namespace benchsupport
