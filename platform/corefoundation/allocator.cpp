#include "platform/corefoundation/allocator.h"

#include <cstdlib>
#include <utility>

#include "platform/corefoundation/object_internal.h"

namespace cf {

struct Allocator {
    detail::Object base;
    AllocatorContext context;
};

namespace {

void finalizeAllocator(void* object) {
    const AllocatorContext& context = static_cast<Allocator*>(object)->context;
    if (context.release) context.release(context.info);
}

const detail::RuntimeClass allocatorClass{"CFAllocator", 2, finalizeAllocator};

void* systemAllocate(std::size_t size, OptionFlags, void*) {
    return std::malloc(size);
}
void* systemReallocate(void* block, std::size_t size, OptionFlags, void*) {
    return std::realloc(block, size);
}
void systemDeallocate(void* block, void*) {
    std::free(block);
}

// The thread's default; released when the thread ends.
struct DefaultAllocator {
    AllocatorRef allocator = nullptr;
    ~DefaultAllocator() { release(allocator); }
};
thread_local DefaultAllocator threadDefault;

AllocatorRef resolved(AllocatorRef allocator) {
    return allocator ? allocator : allocatorGetDefault();
}

} // namespace

AllocatorRef allocatorSystemDefault() {
    static const Allocator system{
        {{&allocatorClass, allocatorClass.typeID}, {1}, false, true},
        {nullptr, nullptr, nullptr, systemAllocate, systemReallocate, systemDeallocate}};
    return &system;
}

TypeID allocatorGetTypeID() {
    return allocatorClass.typeID;
}

AllocatorRef allocatorGetDefault() {
    return threadDefault.allocator ? threadDefault.allocator : allocatorSystemDefault();
}

void allocatorSetDefault(AllocatorRef allocator) {
    retain(allocator);
    release(std::exchange(threadDefault.allocator, allocator));
}

AllocatorRef allocatorCreate(AllocatorRef allocator, const AllocatorContext& context) {
    if (!context.allocate) return nullptr;
    auto* made = detail::createInstance<Allocator>(allocator, allocatorClass);
    if (!made) return nullptr;
    made->context = context;
    if (context.retain) made->context.info = const_cast<void*>(context.retain(context.info));
    return made;
}

AllocatorContext allocatorGetContext(AllocatorRef allocator) {
    return resolved(allocator)->context;
}

void* allocatorAllocate(AllocatorRef allocator, std::size_t size, OptionFlags hint) {
    if (size == 0) return nullptr;
    const AllocatorContext& context = resolved(allocator)->context;
    return context.allocate(size, hint, context.info);
}

void* allocatorReallocate(AllocatorRef allocator, void* block, std::size_t newSize, OptionFlags hint) {
    if (!block) return allocatorAllocate(allocator, newSize, hint);
    if (newSize == 0) {
        allocatorDeallocate(allocator, block);
        return nullptr;
    }
    const AllocatorContext& context = resolved(allocator)->context;
    return context.reallocate ? context.reallocate(block, newSize, hint, context.info) : nullptr;
}

void allocatorDeallocate(AllocatorRef allocator, void* block) {
    if (!block) return;
    const AllocatorContext& context = resolved(allocator)->context;
    if (context.deallocate) context.deallocate(block, context.info);
}

} // namespace cf
