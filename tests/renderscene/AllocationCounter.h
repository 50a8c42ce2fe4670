#pragma once
// The number of C++ allocations (operator new) this test program has made.

long allocationCount();
