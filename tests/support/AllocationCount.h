#pragma once

// Allocations counted on one thread, for the tests and benchmarks that hold the sound
// thread to making none. AllocationCount.cpp replaces the C allocator's entry points
// (malloc, calloc, realloc, the aligned ones; operator new goes through malloc), so every
// allocation is seen, the libraries' included: a program counts only when it links that
// file. Under the sanitizers, which own the allocator, nothing is counted.

#include <cstdint>

namespace spinlorex::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kAllocationsCounted = false;
#else
inline constexpr bool kAllocationsCounted = true;
#endif

// Counting on the calling thread starts or stops; the count is of all threads that count.
void countAllocationsOnThisThread(bool on);
int64_t allocationsCounted();

// The allocations the calling thread makes while `run` runs (0 where none are counted).
template <class Run>
int64_t allocationsIn(Run&& run) {
    const int64_t before = allocationsCounted();
    countAllocationsOnThisThread(true);
    run();
    countAllocationsOnThisThread(false);
    return allocationsCounted() - before;
}

}  // namespace spinlorex::test
