// The replaced global operator new behind platform_tests::ThreadAllocations, kept out of line so
// that the compiler does not pair the `malloc` it would see with a `delete`.

#include <algorithm>
#include <cstdlib>
#include <new>

#include "tests/platform/support.h"

namespace {
thread_local platform_tests::ThreadAllocations* counting = nullptr;
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
[[gnu::noinline]] void* operator new(std::size_t size) {
    if (counting) {
        ++counting->count;
        counting->largest = std::max(counting->largest, size);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

platform_tests::ThreadAllocations::ThreadAllocations() { counting = this; }
platform_tests::ThreadAllocations::~ThreadAllocations() { counting = nullptr; }
