#pragma once
// Key-value coding over the property registry: values are boxed on the way out (bool, integers and
// floating point as ns::Number, structs as ns::Value) and unboxed on the way in.

#include <string_view>

#include "platform/runtime/object.h"
#include "platform/runtime/type_encoding.h"

namespace ns {

// nil-safe forms of the Object members: a nil receiver gives nil and ignores a set.
rt::Id valueForKey(const rt::Id& obj, std::string_view key);
void setValueForKey(const rt::Id& obj, const rt::Id& value, std::string_view key);
// "a.b.c": each component is read from the value of the previous one.
rt::Id valueForKeyPath(const rt::Id& obj, std::string_view keyPath);
void setValueForKeyPath(const rt::Id& obj, const rt::Id& value, std::string_view keyPath);

// A slot as an object: nil for Void, the object itself, ns::Number or ns::Value. `encoding` picks
// the number's kind (a property of encoding "i" boxes as an int) and a struct's type.
rt::Id box(const rt::Slot& slot, std::string_view encoding);
// An object into a slot of the given kind. False when the object cannot be read as that kind
// (nil, or something that is not a number for a scalar).
bool unbox(const rt::Id& value, rt::ValueKind kind, rt::Slot& out);

} // namespace ns
