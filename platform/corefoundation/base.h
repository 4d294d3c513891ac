#pragma once
// Core Foundation objects (namespace cf): reference-counted C objects, each made through an
// allocator (allocator.h).
//
// Every object starts with an ObjectHeader: a class word, then a type id. An object made through
// an allocator other than the system one lives 8 bytes into its block, whose first 8 bytes hold
// that allocator; the object retains it, and its last release, on whichever thread, finalizes the
// object and returns the block through the same allocator. Objects made through the system
// allocator start their block.

#include <cstddef>
#include <cstdint>

namespace cf {

using TypeID = unsigned long;
using OptionFlags = unsigned long;

// What code reading raw memory may rely on: the first two words of every object.
struct ObjectHeader {
    const void* isa;  // the object's class: one per concrete kind
    TypeID typeID;
};
static_assert(sizeof(ObjectHeader) == 16);

// Any object.
using TypeRef = const void*;

// Where an object made through a non-system allocator starts in its block.
inline constexpr std::size_t kAllocatorPrefixSize = 8;

TypeID getTypeID(TypeRef object);
// Returns `object` (null stays null).
TypeRef retain(TypeRef object);
// The last release finalizes the object and frees its block. Null is ignored.
void release(TypeRef object);
// Retains an object whose last release has not begun and answers true; answers false, and leaves
// it alone, for one being torn down. For code that finds objects in memory it walks.
bool tryRetain(TypeRef object);
long getRetainCount(TypeRef object);

} // namespace cf
