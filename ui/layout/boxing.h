#pragma once
// Boxing plain values for the second term of a relation, by their type encoding.
//
// boxedValueForObjCType reads exactly one value of the encoded type from the argument after it:
// "@" an object (rt::Object*, given back as it is), "{CGPoint=dd}", "{CGSize=dd}" and
// "{UIEdgeInsets=dddd}" an ns::Value of that type, and "d" "f" "i" "q" "s" "c" "B" "C" "I" "Q" "S"
// an ns::Number of that kind (a number of another type is converted, integers narrowed as a cast
// narrows them). Any other encoding, no argument or one of another shape gives nil. The argument
// travels in an rt::Slot, not through a C variadic list, so structs are read as the standard
// allows. boxed(value) takes the encoding from the value's C++ type.

#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/type_encoding.h"

namespace lc {

// The boxing of the one value `value` holds (none: ValueKind::Void).
rt::Id boxedSlot(const char* type, const rt::Slot& value);

// A value into the slot; an object pointer as an object.
template <class V>
void putIntoBoxingSlot(rt::Slot& slot, const V& value) {
    if constexpr (std::is_pointer_v<V> && std::is_convertible_v<V, rt::Object*>) rt::toSlot(slot, rt::Id(value));
    else rt::toSlot(slot, value);
}

template <class... T>
    requires(sizeof...(T) <= 1)
rt::Id boxedValueForObjCType(const char* type, const T&... value) {
    rt::Slot slot;
    (putIntoBoxingSlot(slot, value), ...);
    return boxedSlot(type, slot);
}

template <class T>
rt::Id boxed(const T& value) {
    if constexpr (rt::IsRef<T>::value) return boxedValueForObjCType("@", value);
    else return boxedValueForObjCType(rt::Encoding<T>::text().c_str(), value);
}

} // namespace lc
