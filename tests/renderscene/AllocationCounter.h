#pragma once
// The number of C++ allocations (operator new) this test program has made;
// -1 where they are not counted (under AddressSanitizer).

long allocationCount();
