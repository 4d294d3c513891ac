#pragma once
// cf allocators: the system allocator (malloc, realloc and free), allocators made from a context of
// callbacks, and each thread's default allocator.
//
// A null allocator argument means the calling thread's default allocator.

#include <cstddef>

#include "platform/corefoundation/base.h"

namespace cf {

struct Allocator;
using AllocatorRef = const Allocator*;

// The callbacks of an allocator. `retain` and `release` (optional) keep `info` alive for as long
// as the allocator lives; the others receive it as their last argument. Without `reallocate`, a
// reallocation fails (null); without `deallocate`, blocks are never given back.
struct AllocatorContext {
    void* info = nullptr;
    const void* (*retain)(const void* info) = nullptr;
    void (*release)(const void* info) = nullptr;
    void* (*allocate)(std::size_t size, OptionFlags hint, void* info) = nullptr;
    void* (*reallocate)(void* block, std::size_t newSize, OptionFlags hint, void* info) = nullptr;
    void (*deallocate)(void* block, void* info) = nullptr;
};

// Immortal: retain and release leave it alone.
AllocatorRef allocatorSystemDefault();
TypeID allocatorGetTypeID();

// The calling thread's default (the system allocator until set).
AllocatorRef allocatorGetDefault();
// For the calling thread only; retains `allocator` (null puts the system allocator back).
void allocatorSetDefault(AllocatorRef allocator);

// A new allocator (retain count 1) using `context`'s callbacks; the object itself is made through
// `allocator`. Null when `context` has no allocate callback.
AllocatorRef allocatorCreate(AllocatorRef allocator, const AllocatorContext& context);
AllocatorContext allocatorGetContext(AllocatorRef allocator);

// Null for a size of 0 or when the allocator fails.
void* allocatorAllocate(AllocatorRef allocator, std::size_t size, OptionFlags hint = 0);
// A null block allocates; a size of 0 deallocates and returns null; a failure returns null and
// leaves the block as it was.
void* allocatorReallocate(AllocatorRef allocator, void* block, std::size_t newSize, OptionFlags hint = 0);
// Null is ignored.
void allocatorDeallocate(AllocatorRef allocator, void* block);

} // namespace cf
