#include "platform/runtime/object.h"

#include <cxxabi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/runtime/class.h"
#include "platform/runtime/object_arena.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/spin_lock.h"

namespace rt {

namespace {

// rc_ while the object is being torn down: retains and releases made by dealloc hooks move the
// low bits but can never bring it back to zero, and tryRetain refuses it.
constexpr std::uint32_t kDeallocating = 1u << 31;
// Added to the count of an immortal object.
constexpr std::uint32_t kImmortal = 1u << 30;
// Deallocations nested deeper than this on one thread are queued and run by the outermost one,
// so releasing a long chain of objects needs constant stack.
constexpr int kMaxDeallocDepth = 64;

// Live objects are counted per thread, so making and destroying an object costs no shared atomic:
// each thread adds and subtracts on its own counter (an object may die on another thread than the
// one that made it; only the sum means anything). A finished thread's count moves to `retired`,
// which also takes what the thread's last destructors count after that.
struct LiveCounters {
    std::mutex lock;
    std::vector<const std::atomic<std::int64_t>*> threads;
    std::atomic<std::int64_t> retired{0};
};

LiveCounters& liveCounters() {
    static LiveCounters* c = new LiveCounters; // used by threads that end after static teardown
    return *c;
}

// Trivially destructible, so they stay usable while the thread's other thread_locals are torn down.
thread_local std::atomic<std::int64_t>* tCount = nullptr;
thread_local bool tCountRetired = false;

// Registers the thread's counter; at thread exit, folds it into `retired`.
struct ThreadCountOwner {
    std::atomic<std::int64_t> n{0};
    ThreadCountOwner() {
        LiveCounters& c = liveCounters();
        std::lock_guard g(c.lock);
        c.threads.push_back(&n);
        tCount = &n;
    }
    ~ThreadCountOwner() {
        LiveCounters& c = liveCounters();
        std::lock_guard g(c.lock);
        c.retired.fetch_add(n.load(std::memory_order_relaxed), std::memory_order_relaxed);
        std::erase(c.threads, &n);
        tCount = nullptr;
        tCountRetired = true;
    }
};

[[gnu::noinline]] void countLiveFirst(std::int64_t d) noexcept {
    if (tCountRetired) {
        liveCounters().retired.fetch_add(d, std::memory_order_relaxed);
        return;
    }
    thread_local ThreadCountOwner owner; // sets tCount
    tCount->store(tCount->load(std::memory_order_relaxed) + d, std::memory_order_relaxed);
}

inline void countLive(std::int64_t d) noexcept {
    // Only this thread writes its counter: a plain load and store, no read-modify-write.
    if (tCount) [[likely]]
        tCount->store(tCount->load(std::memory_order_relaxed) + d, std::memory_order_relaxed);
    else
        countLiveFirst(d);
}
thread_local int tPermanentDepth = 0;
// Deallocations running on this thread, nested.
thread_local int tDeallocDepth = 0;
// The side table of the object whose destructor just finished on this thread, which may have been
// made during that very teardown: handed from ~Object to the code that frees it.
thread_local SideTable* tSideOfDestroyed = nullptr;

} // namespace

// Outside the anonymous namespace, as the side table that holds it is.
struct Association {
    AssociationKey key;
    Object* value;
    AssociationPolicy policy;
};

struct SideTable {
    // One reference for the object, one per weak reference.
    std::atomic<std::uint32_t> refs{1};
    SpinLock weakLock;
    const Object* target;
    std::recursive_mutex sync;
    SpinLock lock; // guards the associations and the dealloc slot
    std::vector<Association> associations;
    Disposable* deallocSlot = nullptr; // retained

    explicit SideTable(const Object* t) : target(t) {}

    void release() noexcept {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

namespace detail {

struct Access {
    static SideTable& side(const Object& obj) {
        SideTable* s = obj.side_.load(std::memory_order_acquire);
        if (s) return *s;
        // Made during teardown, it has no live object for weak references to reach.
        auto* fresh = new SideTable(obj.isDeallocating() ? nullptr : &obj);
        if (obj.side_.compare_exchange_strong(s, fresh, std::memory_order_acq_rel)) return *fresh;
        delete fresh;
        return *s;
    }
    static SideTable* existingSide(const Object& obj) { return obj.side_.load(std::memory_order_acquire); }
    static std::atomic<std::uint32_t>& rc(const Object& obj) { return obj.rc_; }
    static void uncount(const Object& obj) {
        auto& flag = const_cast<std::uint8_t&>(obj.uncounted_);
        if (flag) return;
        flag = 1;
        countLive(-1);
    }
    static void destroy(const Object* obj) noexcept;
    static void deallocate(const Object& obj) noexcept { obj.deallocate(); }
    static void setObserved(const Object& obj, bool observed) noexcept {
        obj.observed_.store(observed, std::memory_order_relaxed);
    }
};

void setObserved(const Object& obj, bool observed) noexcept { Access::setObserved(obj, observed); }

SideTable* weakSide(const Object& obj) noexcept {
    SideTable& s = Access::side(obj);
    s.refs.fetch_add(1, std::memory_order_relaxed);
    return &s;
}

void retainSide(SideTable* s) noexcept {
    if (s) s->refs.fetch_add(1, std::memory_order_relaxed);
}

void releaseSide(SideTable* s) noexcept {
    if (s) s->release();
}

bool inTeardown() noexcept { return tDeallocDepth > 0; }

bool lockSide(SideTable* s) noexcept {
    std::lock_guard g(s->weakLock);
    return s->target && s->target->tryRetain();
}

void Access::destroy(const Object* obj) noexcept {
    obj->rc_.store(kDeallocating | 1, std::memory_order_relaxed);
    SideTable* side = obj->side_.load(std::memory_order_acquire);
    if (side) {
        {
            std::lock_guard g(side->weakLock);
            side->target = nullptr;
        }
        // The slot stays in place while it is disposed, so a hook that asks for it now gets the
        // disposed one, and anything added to it is disposed at once.
        Disposable* slot;
        {
            std::lock_guard g(side->lock);
            slot = side->deallocSlot;
            if (slot) slot->retain();
        }
        if (slot) {
            slot->dispose();
            slot->release();
        }
    }
    if (obj->inArena_) {
        const void* storage = dynamic_cast<const void*>(obj);
        obj->~Object();
        freeInArena(storage);
    } else {
        delete obj;
    }
    side = std::exchange(tSideOfDestroyed, nullptr);
    if (!side) return;
    {
        std::lock_guard g(side->weakLock);
        side->target = nullptr;
    }
    std::vector<Association> associations;
    Disposable* slot;
    {
        std::lock_guard g(side->lock);
        associations.swap(side->associations);
        slot = std::exchange(side->deallocSlot, nullptr);
    }
    if (slot) slot->release();
    for (const Association& a : associations)
        if (a.policy != AssociationPolicy::Assign && a.value) a.value->release();
    side->release();
}

} // namespace detail

Object::Object() noexcept {
    const Class* cls = std::exchange(detail::constructing, nullptr);
    isa_.store(cls ? cls : &Object::staticClass(), std::memory_order_relaxed);
    if (tPermanentDepth > 0) uncounted_ = 1;
    else countLive(1);
}

Object::~Object() {
    if (!uncounted_) countLive(-1);
    tSideOfDestroyed = side_.load(std::memory_order_acquire);
}

// Shared instances live for the whole process: they are kept out of an open arena, whose blocks
// they would keep.
PermanentScope::PermanentScope() noexcept : suspendedArena_(std::exchange(detail::openArena, nullptr)) {
    ++tPermanentDepth;
}
PermanentScope::~PermanentScope() {
    --tPermanentDepth;
    detail::openArena = suspendedArena_;
}

namespace {

// Releases gathered during the thread's current teardown (releaseInTeardown): a small open-
// addressed table by address, with the slots in use listed so that ending a teardown costs nothing
// when nothing was gathered.
struct GatheredRelease {
    const Object* obj = nullptr;
    std::uint32_t count = 0;
};
constexpr unsigned kGatheredBits = 9, kGatheredProbes = 8;
struct Gathered {
    std::array<GatheredRelease, std::size_t{1} << kGatheredBits> slots{};
    std::array<std::uint16_t, std::size_t{1} << kGatheredBits> used{};
    std::size_t usedCount = 0;
};
thread_local Gathered tGathered;

// Makes the gathered releases; true when there were any.
bool releaseGathered() noexcept {
    if (tGathered.usedCount == 0) return false;
    while (tGathered.usedCount > 0) {
        GatheredRelease& slot = tGathered.slots[tGathered.used[--tGathered.usedCount]];
        // Taken out first: the release may tear down objects that gather releases of their own.
        const GatheredRelease g = std::exchange(slot, GatheredRelease{});
        g.obj->release(g.count);
    }
    return true;
}

} // namespace

void releaseInTeardown(const Object* obj) noexcept {
    if (!obj) return;
    if (tDeallocDepth == 0) {
        obj->release();
        return;
    }
    const std::uint32_t count = detail::Access::rc(*obj).load(std::memory_order_acquire);
    if (count == 1) {
        // The last reference, and no weak one: nothing else can reach the object to change its
        // count, so it needs no atomic step.
        if (!detail::Access::existingSide(*obj)) detail::Access::deallocate(*obj);
        else obj->release();
        return;
    }
    const auto home = static_cast<std::size_t>(
        (reinterpret_cast<std::uintptr_t>(obj) * 0x9E3779B97F4A7C15ull) >> (64 - kGatheredBits));
    const std::size_t mask = tGathered.slots.size() - 1;
    for (std::size_t probe = 0; probe < kGatheredProbes; ++probe) {
        const std::size_t i = (home + probe) & mask;
        GatheredRelease& slot = tGathered.slots[i];
        if (slot.obj == obj) {
            ++slot.count;
            return;
        }
        if (!slot.obj) {
            slot = GatheredRelease{obj, 1};
            tGathered.used[tGathered.usedCount++] = static_cast<std::uint16_t>(i);
            return;
        }
    }
    // Its neighbourhood is full of others: this one is released now.
    obj->release();
}

void Object::deallocate() const noexcept {
    thread_local std::vector<const Object*> pending;
    if (tDeallocDepth >= kMaxDeallocDepth) {
        pending.push_back(this);
        return;
    }
    ++tDeallocDepth;
    detail::Access::destroy(this);
    if (tDeallocDepth == 1) {
        // Releasing what was gathered may tear down more, which may queue and gather more.
        do {
            while (!pending.empty()) {
                const Object* next = pending.back();
                pending.pop_back();
                detail::Access::destroy(next);
            }
        } while (releaseGathered() || !pending.empty());
        detail::settleArenaFrees();
    }
    --tDeallocDepth;
}

bool Object::tryRetain() const noexcept {
    std::uint32_t n = rc_.load(std::memory_order_relaxed);
    do {
        if (n == 0 || (n & kDeallocating)) return false;
    } while (!rc_.compare_exchange_weak(n, n + 1, std::memory_order_acquire, std::memory_order_relaxed));
    return true;
}

bool Object::isDeallocating() const noexcept {
    std::uint32_t n = rc_.load(std::memory_order_relaxed);
    return n == 0 || (n & kDeallocating);
}

std::uint32_t Object::retainCount() const noexcept {
    return rc_.load(std::memory_order_relaxed) & ~(kDeallocating | kImmortal);
}

const Class& Object::getClass() const noexcept { return actualClass().reportedClass(); }

bool Object::isKindOfClass(const Class& cls) const noexcept { return getClass().isSubclassOf(cls); }

bool Object::isMemberOfClass(const Class& cls) const noexcept { return &getClass() == &cls; }

std::string Object::description() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, ": %p>", static_cast<const void*>(this));
    return "<" + std::string(getClass().name()) + buf;
}

bool Object::isEqual(const Object* other) const { return other == this; }

std::size_t Object::hash() const { return std::hash<const void*>()(this); }

Id Object::copy() const { return retained(this); }

namespace detail {
namespace {
std::string readableTypeName(const std::type_info& type) {
    int status = 0;
    char* text = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && text ? text : type.name();
    std::free(text);
    return name;
}
} // namespace

void failedDowncast(const std::type_info& actual, const std::type_info& target) noexcept {
    std::fprintf(stderr, "rt::downcast: an object of type %s is not a %s\n", readableTypeName(actual).c_str(),
                 readableTypeName(target).c_str());
    std::fflush(stderr);
    std::abort();
}
} // namespace detail

std::int64_t liveObjectCount() noexcept {
    LiveCounters& c = liveCounters();
    std::lock_guard g(c.lock);
    std::int64_t sum = c.retired.load(std::memory_order_relaxed);
    for (const auto* n : c.threads) sum += n->load(std::memory_order_relaxed);
    return sum;
}

void makeImmortal(const Object& obj) noexcept {
    auto& rc = detail::Access::rc(obj);
    if (rc.fetch_or(kImmortal, std::memory_order_relaxed) & kImmortal) return;
    detail::Access::uncount(obj);
}

bool isImmortal(const Object& obj) noexcept {
    return (detail::Access::rc(obj).load(std::memory_order_relaxed) & kImmortal) != 0;
}

void syncEnter(const Object* obj) {
    if (obj) detail::Access::side(*obj).sync.lock();
}

void syncExit(const Object* obj) {
    if (obj) detail::Access::side(*obj).sync.unlock();
}

void setAssociatedObject(const Object* obj, AssociationKey key, const Id& value, AssociationPolicy policy) {
    if (!obj) return;
    Object* stored = nullptr;
    if (value) {
        if (policy == AssociationPolicy::Copy) {
            stored = value->copy().detach();
        } else {
            stored = value.get();
            if (policy == AssociationPolicy::Retain) stored->retain();
        }
    }
    SideTable& side = detail::Access::side(*obj);
    Association old{key, nullptr, AssociationPolicy::Assign};
    {
        std::lock_guard g(side.lock);
        auto it = side.associations.begin();
        for (; it != side.associations.end() && it->key != key; ++it) {}
        if (it != side.associations.end()) {
            old = *it;
            if (stored) *it = {key, stored, policy};
            else side.associations.erase(it);
        } else if (stored) {
            side.associations.push_back({key, stored, policy});
        }
    }
    if (old.value && old.policy != AssociationPolicy::Assign) old.value->release();
}

Id getAssociatedObject(const Object* obj, AssociationKey key) {
    if (!obj) return {};
    SideTable* side = detail::Access::existingSide(*obj);
    if (!side) return {};
    std::lock_guard g(side->lock);
    for (const Association& a : side->associations)
        if (a.key == key) return Id(a.value);
    return {};
}

Ref<Disposable> deallocDisposable(const Object* obj, const std::function<Ref<Disposable>()>& make) {
    if (!obj) return {};
    SyncGuard guard(obj);
    if (Ref<Disposable> d = existingDeallocDisposable(obj)) return d;
    Ref<Disposable> d = make();
    {
        SideTable& side = detail::Access::side(*obj);
        std::lock_guard g(side.lock);
        side.deallocSlot = Ref<Disposable>(d).detach();
    }
    // Asked for during deallocation: the moment it stands for has passed.
    if (obj->isDeallocating()) d->dispose();
    return d;
}

Ref<Disposable> existingDeallocDisposable(const Object* obj) {
    if (!obj) return {};
    SideTable* side = detail::Access::existingSide(*obj);
    if (!side) return {};
    std::lock_guard g(side->lock);
    return Ref<Disposable>(side->deallocSlot);
}

} // namespace rt
