#pragma once
// Reading a geometry value back out of an ns::Value. ns::Value::with(rect) boxes one; unboxing
// checks the encoding, since a point and a size have the same bytes and the same length.

#include <optional>

#include "platform/runtime/value.h"

namespace cg {

// The struct `object` holds when it is an ns::Value boxed with T's encoding; nullopt otherwise
// (nil, another class, or a value of another type).
template <class T>
std::optional<T> unboxed(const rt::Object* object) {
    auto* value = dynamic_cast<const ns::Value*>(object);
    if (!value || value->objCType() != rt::Encoding<T>::text()) return std::nullopt;
    T out{};
    if (!value->getValue(&out, sizeof out)) return std::nullopt;
    return out;
}

template <class T>
std::optional<T> unboxed(const rt::Id& object) {
    return unboxed<T>(object.get());
}

} // namespace cg
