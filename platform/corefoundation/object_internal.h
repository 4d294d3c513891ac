#pragma once
// What every cf object shares, for the files that define its kinds.

#include <atomic>
#include <cstddef>

#include "platform/corefoundation/allocator.h"

namespace cf::detail {

// A kind of object: its class word points here.
struct RuntimeClass {
    const char* name;
    TypeID typeID;
    // Tears down what the object holds (not its block); null when it holds nothing.
    void (*finalize)(void* object);
};

struct Object {
    ObjectHeader header;
    std::atomic<long> retainCount;
    bool prefixed; // lives kAllocatorPrefixSize bytes into a block that starts with its allocator
    bool immortal;
};

// A new object of `size` bytes (a standard-layout struct starting with Object) with retain count
// 1, made through `allocator` (null: the thread's default), its Object part set and the rest
// zeroed; null when the allocator fails.
void* createInstance(AllocatorRef allocator, std::size_t size, const RuntimeClass& kind);

template <class T>
T* createInstance(AllocatorRef allocator, const RuntimeClass& kind) {
    static_assert(alignof(T) <= kAllocatorPrefixSize);
    return static_cast<T*>(createInstance(allocator, sizeof(T), kind));
}

inline const Object* object(TypeRef ref) { return static_cast<const Object*>(ref); }

} // namespace cf::detail
