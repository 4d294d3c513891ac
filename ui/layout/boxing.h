#pragma once
// Boxing plain values for the second term of a relation, by their type encoding.
//
// boxedValueForObjCType reads exactly one value of the encoded type from its variadic argument:
// "@" an object (rt::Object*, given back as it is), "{CGPoint=dd}", "{CGSize=dd}" and
// "{UIEdgeInsets=dddd}" an ns::Value of that type, and "d" "f" "i" "q" "s" "c" "B" "C" "I" "Q" "S"
// an ns::Number of that kind (values promoted by the call are narrowed back). Any other encoding
// gives nil. boxed(value) takes the encoding from the value's C++ type.

#include "platform/graphics/edge_insets.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/type_encoding.h"

namespace lc {

rt::Id boxedValueForObjCType(const char* type, ...);

template <class T>
rt::Id boxed(const T& value) {
    if constexpr (rt::IsRef<T>::value) return boxedValueForObjCType("@", static_cast<rt::Object*>(value.get()));
    else return boxedValueForObjCType(rt::Encoding<T>::text().c_str(), value);
}

} // namespace lc
