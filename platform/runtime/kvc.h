#pragma once
// Key-value coding over the property registry: values are boxed on the way out (bool, integers and
// floating point as ns::Number, structs as ns::Value) and unboxed on the way in.

#include <string_view>

#include "platform/runtime/object.h"
#include "platform/runtime/type_encoding.h"

namespace rt {
class Class;
}

namespace ns {

// nil-safe forms of the Object members: a nil receiver gives nil and ignores a set.
rt::Id valueForKey(const rt::Id& obj, std::string_view key);
void setValueForKey(const rt::Id& obj, const rt::Id& value, std::string_view key);
// "a.b.c": each component is read from the value of the previous one.
rt::Id valueForKeyPath(const rt::Id& obj, std::string_view keyPath);
void setValueForKeyPath(const rt::Id& obj, const rt::Id& value, std::string_view keyPath);

// The same with a result instead of log lines, for callers that report failures their own way.
// A read fails on an empty key path or component and on a key that the object (a registered
// key-value container aside, below) has no property for; nil part-way reads nil. A write fails
// also when the key path's owner is nil, the property is read-only, an object is of the wrong
// class (or not a block, for a block), a scalar gets something that is not a number, an integer property a number that is NaN,
// infinite, fractional or out of its range, and a scalar gets nil while its class has no "setNilValueForKey:"
// method (with one, that handler takes the nil).
bool tryValueForKeyPath(const rt::Id& obj, std::string_view keyPath, rt::Id& out);
bool trySetValueForKeyPath(const rt::Id& obj, const rt::Id& value, std::string_view keyPath);
// Classes whose objects answer every key themselves (dictionaries): the try-forms hand them any
// key. Registered at start-up.
void registerKeyValueContainer(const rt::Class& containerClass);

// A slot as an object: nil for Void, the object itself, ns::Number or ns::Value. `encoding` picks
// the number's kind (a property of encoding "i" boxes as an int) and a struct's type.
rt::Id box(const rt::Slot& slot, std::string_view encoding);
// An object into a slot of the given kind. False when the object cannot be read as that kind
// (nil, or something that is not a number for a scalar).
bool unbox(const rt::Id& value, rt::ValueKind kind, rt::Slot& out);

} // namespace ns
