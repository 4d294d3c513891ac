#pragma once
// Calls a block of N object parameters (1 to 15) with the N values of a tuple: how the reduce
// operators spread a tuple over the parameters of the caller's block. A parameter may be rt::Id
// or any rt::Ref<T>; a missing value arrives as nil, and so does a value that is not a T, which is
// a fault of the caller's: it asserts in debug builds and is logged in release builds.

#include <cstddef>
#include <functional>
#include <tuple>
#include <typeinfo>
#include <type_traits>
#include <utility>

#include "platform/runtime/object.h"
#include "streams/tuple.h"

namespace es {

namespace detail {

template <class R, class... A>
struct Signature {
    using Result = R;
    using Args = std::tuple<std::remove_cvref_t<A>...>;
    static constexpr std::size_t arity = sizeof...(A);
};
template <class F>
struct BlockTraits : BlockTraits<decltype(&F::operator())> {};
template <class C, class R, class... A>
struct BlockTraits<R (C::*)(A...) const> : Signature<R, A...> {};
template <class C, class R, class... A>
struct BlockTraits<R (C::*)(A...)> : Signature<R, A...> {};
template <class R, class... A>
struct BlockTraits<R (*)(A...)> : Signature<R, A...> {};

// Reports a value of the wrong class for a typed parameter: an assertion in debug builds, a log
// line in release builds (where the parameter then gets nil).
void wrongArgumentClass(const rt::Class* expected, const char* expectedName, const rt::Object& value);

template <class T>
void reportWrongClass(const rt::Object& value) {
    if constexpr (requires { T::staticClass(); }) wrongArgumentClass(&T::staticClass(), nullptr, value);
    else wrongArgumentClass(nullptr, typeid(T).name(), value);
}

template <class P>
P argumentAs(const rt::Id& value) {
    if constexpr (std::is_same_v<P, rt::Id>) {
        return value;
    } else {
        using T = typename rt::IsRef<P>::Pointee;
        P typed = rt::cast<T>(value);
        if (!typed && value) reportWrongClass<T>(*value);
        return typed;
    }
}

// Reports a tuple the trampoline cannot spread (0 or more than 15 values, or not a tuple): an
// assertion in debug builds, a log line in release builds.
void unsupportedArguments(const char* what, std::size_t count);

} // namespace detail

inline constexpr std::size_t kMaxBlockArguments = 15;

template <class F>
rt::Id invokeBlockWithArguments(F& block, const Tuple& arguments) {
    using Traits = detail::BlockTraits<std::decay_t<F>>;
    static_assert(Traits::arity >= 1 && Traits::arity <= kMaxBlockArguments, "a block of 1 to 15 parameters");
    std::size_t count = arguments.count();
    if (count == 0 || count > kMaxBlockArguments) {
        detail::unsupportedArguments("a tuple of that many values", count);
        return {};
    }
    auto call = [&]<std::size_t... I>(std::index_sequence<I...>) -> rt::Id {
        using Args = typename Traits::Args;
        if constexpr (std::is_void_v<typename Traits::Result>) {
            block(detail::argumentAs<std::tuple_element_t<I, Args>>(arguments.objectAtIndex(I))...);
            return {};
        } else {
            return rt::Id(block(detail::argumentAs<std::tuple_element_t<I, Args>>(arguments.objectAtIndex(I))...));
        }
    };
    return call(std::make_index_sequence<Traits::arity>());
}

// The block as one taking the whole tuple.
template <class F>
std::function<rt::Id(const rt::Id&)> reduceBlock(F block) {
    return [block = std::move(block)](const rt::Id& value) mutable -> rt::Id {
        auto* tuple = rt::cast<const Tuple>(value.get());
        if (!tuple) {
            detail::unsupportedArguments("a value that is not a tuple", 0);
            return {};
        }
        return invokeBlockWithArguments(block, *tuple);
    };
}

} // namespace es
