#pragma once
// cf dictionaries: one class for every immutable dictionary, the empty one included. Keys and
// values are objects (strings, numbers, ns collections), retained by the dictionary.
//
// A dictionary reads as an ns::Dictionary: bridgedDictionary hands out the one it holds, without
// copying, so a dictionary posted as a notification's user info needs no conversion.

#include <cstddef>
#include <string_view>

#include "platform/corefoundation/allocator.h"
#include "platform/foundation/dictionary.h"

namespace cf {

struct Dictionary;
using DictionaryRef = const Dictionary*;
// A property list: a dictionary (the only kind made here).
using PropertyListRef = TypeRef;

// The mutability options of a deep copy: only immutable copies are made here.
inline constexpr OptionFlags PropertyListImmutable = 0;

TypeID dictionaryGetTypeID();

// values[i] for keys[i]; a later equal key replaces the value. Null keys or values are skipped.
// Null when the allocator fails.
DictionaryRef dictionaryCreate(AllocatorRef allocator, const rt::Id* keys, const rt::Id* values, std::size_t count);
std::size_t dictionaryGetCount(DictionaryRef dictionary);
// Nil when absent.
rt::Id dictionaryGetValue(DictionaryRef dictionary, const rt::Id& key);
// The value of the string key with this text.
rt::Id dictionaryGetValue(DictionaryRef dictionary, std::string_view key);

// The dictionary's contents as an ns::Dictionary: the same object for the dictionary's life.
const rt::Ref<ns::Dictionary>& bridgedDictionary(DictionaryRef dictionary);

// A new dictionary made through `allocator` whose nested dictionaries and arrays are copies too
// (strings, numbers, data and dates are immutable and shared). Null for anything but a
// dictionary, for an option other than PropertyListImmutable, or when the allocator fails.
PropertyListRef propertyListCreateDeepCopy(AllocatorRef allocator, PropertyListRef propertyList,
                                           OptionFlags mutabilityOption);

} // namespace cf
