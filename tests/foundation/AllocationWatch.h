#pragma once
// The largest single C++ allocation (operator new) this test program made
// since the last reset, for tests that a claimed size is not allocated
// before the data is there. Under AddressSanitizer, which brings allocation
// functions of its own, nothing is watched and the largest is -1.

#include <cstddef>

void resetLargestAllocation();
long long largestAllocation();
