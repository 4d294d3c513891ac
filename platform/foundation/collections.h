#pragma once
// One-expression collection literals:
//   ns::arr(1, "two", ns::str("three"), someObject)
//   ns::dict({{"name", "Ada"}, {"age", 36}, {someKey, someValue}})
// Each element is an rt::Ref of anything (or an object pointer), a C++ scalar (boxed with
// ns::num) or text (ns::str).

#include <initializer_list>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

namespace ns {

struct Boxed;
template <class T>
concept Boxable = !std::is_same_v<std::remove_cvref_t<T>, Boxed>;

// A literal element boxed as an object.
struct Boxed {
    template <Boxable T> Boxed(T&& v) : id(box(std::forward<T>(v))) {}

    rt::Id id;

private:
    template <class T> static rt::Id box(T&& v) {
        using U = std::remove_cvref_t<T>;
        if constexpr (std::is_convertible_v<T, rt::Id>)
            return rt::Id(std::forward<T>(v));
        else if constexpr (std::is_convertible_v<T, std::string_view>)
            return str(std::string_view(v));
        else {
            static_assert(std::is_arithmetic_v<U> || std::is_enum_v<U>,
                          "collection literals take rt::Refs, object pointers, scalars and text");
            return num(v);
        }
    }
};

template <class... A> rt::Ref<Array> arr(A&&... elements) {
    return Array::make({Boxed(std::forward<A>(elements)).id...});
}

struct BoxedPair {
    Boxed key;
    Boxed value;
};

inline rt::Ref<Dictionary> dict(std::initializer_list<BoxedPair> pairs) {
    std::vector<rt::Id> keys, values;
    keys.reserve(pairs.size());
    values.reserve(pairs.size());
    for (auto& p : pairs) {
        keys.push_back(p.key.id);
        values.push_back(p.value.id);
    }
    return Dictionary::withObjectsForKeys(values, keys);
}

} // namespace ns
