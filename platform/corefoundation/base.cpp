#include "platform/corefoundation/base.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/corefoundation/object_internal.h"

namespace cf {

namespace detail {

void* createInstance(AllocatorRef allocator, std::size_t size, const RuntimeClass& kind) {
    if (!allocator) allocator = allocatorGetDefault();
    const bool prefixed = allocator != allocatorSystemDefault();
    void* block = prefixed ? allocatorAllocate(allocator, kAllocatorPrefixSize + size) : std::malloc(size);
    if (!block) return nullptr;
    auto* bytes = static_cast<unsigned char*>(block);
    if (prefixed) {
        std::memcpy(bytes, &allocator, sizeof allocator);
        bytes += kAllocatorPrefixSize;
        retain(allocator);
    }
    std::memset(bytes, 0, size);
    auto* object = new (bytes) Object{{&kind, kind.typeID}, {1}, prefixed, false};
    return object;
}

} // namespace detail

TypeID getTypeID(TypeRef object) {
    return object ? detail::object(object)->header.typeID : 0;
}

TypeRef retain(TypeRef object) {
    if (object && !detail::object(object)->immortal)
        const_cast<detail::Object*>(detail::object(object))->retainCount.fetch_add(1, std::memory_order_relaxed);
    return object;
}

bool tryRetain(TypeRef object) {
    if (!object) return false;
    auto* o = const_cast<detail::Object*>(detail::object(object));
    if (o->immortal) return true;
    long count = o->retainCount.load(std::memory_order_acquire);
    while (count > 0)
        if (o->retainCount.compare_exchange_weak(count, count + 1, std::memory_order_acquire)) return true;
    return false;
}

void release(TypeRef object) {
    if (!object) return;
    auto* o = const_cast<detail::Object*>(detail::object(object));
    if (o->immortal || o->retainCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    const auto* kind = static_cast<const detail::RuntimeClass*>(o->header.isa);
    if (kind->finalize) kind->finalize(o);
    if (!o->prefixed) {
        std::free(o);
        return;
    }
    auto* block = reinterpret_cast<unsigned char*>(o) - kAllocatorPrefixSize;
    AllocatorRef allocator;
    std::memcpy(&allocator, block, sizeof allocator);
    allocatorDeallocate(allocator, block);
    release(allocator);
}

long getRetainCount(TypeRef object) {
    if (!object) return 0;
    return detail::object(object)->immortal ? -1 : detail::object(object)->retainCount.load();
}

} // namespace cf
