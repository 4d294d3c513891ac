#include "platform/runtime/object_arena.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define FT_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define FT_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define FT_POISON(p, n) ((void)(p), (void)(n))
#define FT_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace rt {

namespace detail {

namespace {

// Blocks are aligned to their size, so an object's block is its address with the low bits cleared.
constexpr std::size_t kBlockSize = std::size_t{64} << 10;
constexpr std::size_t kLargestPlaced = kBlockSize / 8;
// Added to a block's count while an arena places objects in it, so that objects freed meanwhile
// never bring it to zero.
constexpr std::uint32_t kOpen = 1u << 31;
// Freed blocks kept for the next arena, up to this many (16 MB): a large document's tree is made
// again from blocks already mapped and touched.
constexpr std::size_t kReservedBlocks = 256;
#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer each object's room starts with its size, so that the room can be poisoned
// again when the object is freed.
constexpr std::size_t kSizeHeader = kArenaAlignment;
#else
constexpr std::size_t kSizeHeader = 0;
#endif

} // namespace

struct alignas(64) ArenaBlock {
    // Objects placed and not yet freed, plus kOpen while the block is being placed in.
    std::atomic<std::uint32_t> live{kOpen};
    ArenaBlock* nextReserved = nullptr;

    char* begin() noexcept { return reinterpret_cast<char*>(this) + sizeof(ArenaBlock); }
    char* end() noexcept { return reinterpret_cast<char*>(this) + kBlockSize; }
};

namespace {

class Reserve {
public:
    ArenaBlock* take() {
        {
            std::lock_guard g(lock_);
            if (ArenaBlock* b = top_) {
                top_ = b->nextReserved;
                --count_;
                b->live.store(kOpen, std::memory_order_relaxed);
                return b;
            }
        }
        void* memory = ::operator new(kBlockSize, std::align_val_t{kBlockSize});
        auto* b = ::new (memory) ArenaBlock;
        FT_POISON(b->begin(), static_cast<std::size_t>(b->end() - b->begin()));
        return b;
    }

    void give(ArenaBlock* b) noexcept {
        {
            std::lock_guard g(lock_);
            if (count_ < kReservedBlocks) {
                b->nextReserved = top_;
                top_ = b;
                ++count_;
                return;
            }
        }
        FT_UNPOISON(b, kBlockSize);
        b->~ArenaBlock();
        ::operator delete(b, std::align_val_t{kBlockSize});
    }

private:
    std::mutex lock_;
    ArenaBlock* top_ = nullptr;
    std::size_t count_ = 0;
};

Reserve& reserve() {
    static Reserve* r = new Reserve; // blocks may be freed by threads that end after static teardown
    return *r;
}

ArenaBlock* blockOf(const void* storage) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(storage) & ~(std::uintptr_t{kBlockSize} - 1);
    return reinterpret_cast<ArenaBlock*>(address);
}

void drop(ArenaBlock* b, std::uint32_t count) noexcept {
    if (b->live.fetch_sub(count, std::memory_order_acq_rel) == count) reserve().give(b);
}

} // namespace

void* placeInArena(std::size_t size) { return openArena->place(size); }

namespace {

// Objects freed on this thread and not yet taken off their block's count: a tree is torn down in
// about the order it was made, so runs of frees fall in one block and cost one atomic step.
thread_local ArenaBlock* tFreedIn = nullptr;
thread_local std::uint32_t tFreed = 0;

void poisonRoom(const void* storage) noexcept {
    if constexpr (kSizeHeader > 0) {
        const char* room = static_cast<const char*>(storage) - kSizeHeader;
        std::size_t size;
        std::memcpy(&size, room, sizeof size);
        FT_POISON(room, size);
    }
}

} // namespace

void leaveArena(const void* storage) noexcept {
    poisonRoom(storage);
    drop(blockOf(storage), 1);
}

void freeInArena(const void* storage) noexcept {
    poisonRoom(storage);
    ArenaBlock* b = blockOf(storage);
    if (b != tFreedIn) {
        settleArenaFrees();
        tFreedIn = b;
    }
    ++tFreed;
}

void settleArenaFrees() noexcept {
    if (tFreedIn) drop(std::exchange(tFreedIn, nullptr), std::exchange(tFreed, 0));
}

namespace {
// Storage starts with a word that says where it came from.
constexpr std::size_t kStorageHeader = kArenaAlignment;
enum class StorageFrom : std::uint64_t { Heap, Arena };
} // namespace

void* allocateStorage(std::size_t size) {
    char* room = nullptr;
    StorageFrom from = StorageFrom::Arena;
    if (openArena) room = static_cast<char*>(openArena->place(kStorageHeader + size));
    if (!room) {
        room = static_cast<char*>(::operator new(kStorageHeader + size));
        from = StorageFrom::Heap;
    }
    std::memcpy(room, &from, sizeof from);
    return room + kStorageHeader;
}

void freeStorage(void* storage) noexcept {
    if (!storage) return;
    char* room = static_cast<char*>(storage) - kStorageHeader;
    StorageFrom from;
    std::memcpy(&from, room, sizeof from);
    if (from == StorageFrom::Heap)
        ::operator delete(room);
    else if (inTeardown())
        freeInArena(room);
    else
        leaveArena(room);
}

} // namespace detail

ObjectArena::ObjectArena() noexcept : outer_(std::exchange(detail::openArena, this)) {}

ObjectArena::~ObjectArena() {
    retire();
    detail::openArena = outer_;
}

void* ObjectArena::place(std::size_t size) {
    if (size > detail::kLargestPlaced) return nullptr;
    size = detail::kSizeHeader + ((size + detail::kArenaAlignment - 1) & ~(detail::kArenaAlignment - 1));
    if (static_cast<std::size_t>(end_ - next_) < size) {
        retire();
        block_ = detail::reserve().take();
        next_ = block_->begin();
        end_ = block_->end();
    }
    char* room = next_;
    next_ += size;
    ++placed_;
    FT_UNPOISON(room, size);
    if constexpr (detail::kSizeHeader > 0) std::memcpy(room, &size, sizeof size);
    return room + detail::kSizeHeader;
}

void ObjectArena::retire() noexcept {
    if (!block_) return;
    // The block's count becomes the objects still alive in it.
    detail::drop(std::exchange(block_, nullptr), detail::kOpen - std::exchange(placed_, 0));
    next_ = end_ = nullptr;
}

} // namespace rt
