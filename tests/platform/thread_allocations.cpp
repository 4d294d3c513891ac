// The replaced global operator new behind platform_tests::ThreadAllocations, kept out of line so
// that the compiler does not pair the `malloc` it would see with a `delete`.

#include <algorithm>
#include <cstdlib>
#include <new>

#include "tests/platform/support.h"

namespace {
thread_local bool countingAllocations = false;
thread_local long allocationCount = 0;
thread_local std::size_t largestAllocation = 0;
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
[[gnu::noinline]] void* operator new(std::size_t size) {
    if (countingAllocations) {
        ++allocationCount;
        largestAllocation = std::max(largestAllocation, size);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace platform_tests {

ThreadAllocations::ThreadAllocations() {
    countingAllocations = true;
    allocationCount = 0;
    largestAllocation = 0;
}
ThreadAllocations::~ThreadAllocations() { countingAllocations = false; }
long ThreadAllocations::count() const { return allocationCount; }
std::size_t ThreadAllocations::largest() const { return largestAllocation; }

} // namespace platform_tests
