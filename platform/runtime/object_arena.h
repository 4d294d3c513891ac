#pragma once
// rt::ObjectArena: while one is open on a thread, the objects that thread makes with rt::make are
// placed side by side in shared blocks rather than allocated one by one. Placing an object is a
// pointer bump and freeing it a count in its block; objects made together sit together, so a tree
// made in one go is walked and torn down through memory that is mostly in the cache. Everything
// else is as for any object: reference counts, weak references, destruction on the last release,
// on any thread.
//
// A block goes back when the last object placed in it is freed, so an object kept long keeps its
// whole block (64 KB): the arena is for many objects that live and die together, such as a
// document read into objects. Objects made inside a PermanentScope and objects larger than an
// eighth of a block are allocated alone. Under AddressSanitizer the room of a freed object is
// poisoned until its block is used again.

#include <cstddef>
#include <cstdint>

#include "platform/runtime/object.h"

namespace rt {

namespace detail {
struct ArenaBlock;
// The teardown of an object placed in an arena gives its room back through this. Rooms freed in
// a row are counted off their block together, by settleArenaFrees, which the outermost
// deallocation on the thread calls when it is done.
void freeInArena(const void* storage) noexcept;
void settleArenaFrees() noexcept;
// True while an object is being torn down on this thread.
bool inTeardown() noexcept;
// Storage for ArenaAllocator: `size` bytes, 16-aligned, from the open arena or from the heap.
void* allocateStorage(std::size_t size);
void freeStorage(void* storage) noexcept;
} // namespace detail

// The allocator for what objects own besides themselves (a collection's buffer): while an arena is
// open on the thread, storage is placed in it beside the objects; otherwise it comes from the
// heap. Every allocation notes where it came from, so any instance frees any storage.
template <class T>
struct ArenaAllocator {
    static_assert(alignof(T) <= detail::kArenaAlignment);
    using value_type = T;

    ArenaAllocator() noexcept = default;
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(detail::allocateStorage(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { detail::freeStorage(p); }

    template <class U>
    bool operator==(const ArenaAllocator<U>&) const noexcept {
        return true;
    }
};

class ObjectArena {
public:
    ObjectArena() noexcept;
    ~ObjectArena();
    ObjectArena(const ObjectArena&) = delete;
    ObjectArena& operator=(const ObjectArena&) = delete;

private:
    friend void* detail::placeInArena(std::size_t size);
    friend void* detail::allocateStorage(std::size_t size);

    void* place(std::size_t size);
    // Stops placing in the current block; it goes back once its objects are all freed.
    void retire() noexcept;

    ObjectArena* outer_;
    detail::ArenaBlock* block_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
    std::uint32_t placed_ = 0; // objects placed in block_
};

} // namespace rt
