#pragma once
// Blocks typed at the edges. The library's blocks take and return rt::Id; the caller's lambdas
// may instead take an rt::Ref<T> of any object class, or a scalar (bool, an integer type, a
// floating-point type) unboxed from ns::Number, and may return a scalar, which is boxed. The
// trampoline turns such a lambda into the library's block, and calls a block of N parameters (1
// to 15) with the N values of a tuple (how the reduce operators spread a tuple over a block).
//
// A missing value (nil) arrives as nil, or as zero for a scalar. A value of the wrong class is a
// fault of the caller's: it asserts in debug builds, and in release builds it is logged and the
// parameter gets nil (or zero).

#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "platform/runtime/number.h"
#include "platform/runtime/object.h"

namespace es {

class Tuple;

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
template <class R, class... A>
struct BlockTraits<R(A...)> : Signature<R, A...> {};

template <class T>
struct RefPointee {};
template <class T>
struct RefPointee<rt::Ref<T>> {
    using type = T;
};

// Reports a value of the wrong class for a typed parameter: an assertion in debug builds, a log
// line in release builds.
void wrongArgumentClass(const rt::Class* expected, const char* expectedName, const rt::Object& value);

template <class T>
void reportWrongClass(const rt::Object& value) {
    if constexpr (requires { T::staticClass(); }) wrongArgumentClass(&T::staticClass(), nullptr, value);
    else wrongArgumentClass(nullptr, typeid(T).name(), value);
}

template <class P>
inline constexpr bool isScalar = std::is_arithmetic_v<P>;

// The value as a number: its class compared first (the common case, no cast), nil for nil, and
// reported (then nil) when it is not a number.
inline const ns::Number* numberArgument(const rt::Id& value) {
    if (!value) return nullptr;
    static const rt::Class& numberClass = ns::Number::staticClass();
    if (&value->actualClass() == &numberClass) return static_cast<const ns::Number*>(value.get());
    auto* number = dynamic_cast<const ns::Number*>(value.get());
    if (!number) reportWrongClass<ns::Number>(*value);
    return number;
}

template <class P>
P unboxed(const ns::Number* number) {
    if (!number) return P{};
    if constexpr (std::is_same_v<P, bool>) return number->boolValue();
    else if constexpr (std::is_floating_point_v<P>) return static_cast<P>(number->doubleValue());
    else if constexpr (std::is_signed_v<P>) return static_cast<P>(number->longLongValue());
    else return static_cast<P>(number->unsignedLongLongValue());
}

// A value as the parameter type P: rt::Id as it is, rt::Ref<T> checked, a scalar unboxed.
template <class P>
P argumentAs(const rt::Id& value) {
    if constexpr (std::is_same_v<P, rt::Id>) {
        return value;
    } else if constexpr (isScalar<P>) {
        return unboxed<P>(numberArgument(value));
    } else {
        using T = typename RefPointee<P>::type;
        P typed = rt::cast<T>(value);
        if (!typed && value) reportWrongClass<T>(*value);
        return typed;
    }
}

// A block's result as a value: objects as they are, scalars boxed.
template <class R>
rt::Id resultAsId(R&& result) {
    using T = std::remove_cvref_t<R>;
    if constexpr (isScalar<T>) return ns::Number::of(result);
    else return rt::Id(std::forward<R>(result));
}

// Calls a one-parameter block with the value as its parameter type. A block that takes an rt::Id
// (or anything an rt::Id converts to, or `auto`) gets the value as it is.
template <class F>
decltype(auto) callWithValue(F& block, const rt::Id& value) {
    if constexpr (std::is_invocable_v<F&, const rt::Id&>) {
        return block(value);
    } else {
        using Traits = BlockTraits<std::remove_cvref_t<F>>;
        static_assert(Traits::arity == 1, "a block of one parameter");
        return block(argumentAs<std::tuple_element_t<0, typename Traits::Args>>(value));
    }
}

template <class F>
bool isNilBlock(const F& block) {
    if constexpr (std::is_pointer_v<F> || requires { block.target_type(); }) return !block;
    else return false;
}

// Calls a map block with the value. The result is either the value itself, unchanged (no new
// reference is made), or one made in `made`: a scalar-to-scalar block whose result the number it
// was given already says hands that number back, so a block that leaves the value as it is boxes
// nothing.
template <class F>
const rt::Id& mapValue(F& block, const rt::Id& value, rt::Id& made) {
    if constexpr (!std::is_invocable_v<F&, const rt::Id&>) {
        using Traits = BlockTraits<std::remove_cvref_t<F>>;
        using P = std::tuple_element_t<0, typename Traits::Args>;
        using R = std::remove_cvref_t<typename Traits::Result>;
        if constexpr (isScalar<P> && isScalar<R>) {
            const ns::Number* number = numberArgument(value);
            R result = block(unboxed<P>(number));
            if (number && number->isNumberOf(result)) return value;
            made = ns::Number::of(result);
            return made;
        }
    }
    made = resultAsId(callWithValue(block, value));
    return made;
}

// A map block that may hand back the value it was given (see mapValue).
using ValueMapBlock = std::function<const rt::Id&(const rt::Id& value, rt::Id& made)>;

// The caller's block as the library's: map (value to value), predicate (value to bool) and next
// (value to nothing). nullptr and empty std::functions give an empty block.
template <class F>
std::function<rt::Id(const rt::Id&)> mapBlock(F block) {
    if constexpr (std::is_null_pointer_v<F>) {
        return nullptr;
    } else {
        if (isNilBlock(block)) return nullptr;
        return [block = std::move(block)](const rt::Id& value) mutable -> rt::Id {
            rt::Id made;
            return mapValue(block, value, made);
        };
    }
}

template <class F>
ValueMapBlock valueMapBlock(F block) {
    if constexpr (std::is_null_pointer_v<F>) {
        return nullptr;
    } else {
        if (isNilBlock(block)) return nullptr;
        return [block = std::move(block)](const rt::Id& value, rt::Id& made) mutable -> const rt::Id& {
            return mapValue(block, value, made);
        };
    }
}

template <class F>
std::function<bool(const rt::Id&)> predicateBlock(F block) {
    if constexpr (std::is_null_pointer_v<F>) {
        return nullptr;
    } else if constexpr (std::is_invocable_r_v<bool, F&, const rt::Id&> &&
                         std::is_constructible_v<std::function<bool(const rt::Id&)>, F>) {
        return std::function<bool(const rt::Id&)>(std::move(block));
    } else {
        if (isNilBlock(block)) return nullptr;
        return [block = std::move(block)](const rt::Id& value) mutable -> bool {
            return callWithValue(block, value);
        };
    }
}

template <class F>
std::function<void(const rt::Id&)> nextBlock(F block) {
    if constexpr (std::is_null_pointer_v<F>) {
        return nullptr;
    } else if constexpr (std::is_invocable_v<F&, const rt::Id&> &&
                         std::is_constructible_v<std::function<void(const rt::Id&)>, F>) {
        return std::function<void(const rt::Id&)>(std::move(block));
    } else {
        if (isNilBlock(block)) return nullptr;
        return [block = std::move(block)](const rt::Id& value) mutable { callWithValue(block, value); };
    }
}

// Reports a tuple the trampoline cannot spread (0 or more than 15 values, or not a tuple): an
// assertion in debug builds, a log line in release builds.
void unsupportedArguments(const char* what, std::size_t count);

// The tuple's size and values, for the trampoline (tuple.h is not needed to use it).
std::size_t tupleCount(const Tuple& tuple);
rt::Id tupleValue(const Tuple& tuple, std::size_t index);
const Tuple* asTuple(const rt::Object* value);

} // namespace detail

inline constexpr std::size_t kMaxBlockArguments = 15;

template <class F>
rt::Id invokeBlockWithArguments(F& block, const Tuple& arguments) {
    using Traits = detail::BlockTraits<std::decay_t<F>>;
    static_assert(Traits::arity >= 1 && Traits::arity <= kMaxBlockArguments, "a block of 1 to 15 parameters");
    std::size_t count = detail::tupleCount(arguments);
    if (count == 0 || count > kMaxBlockArguments) {
        detail::unsupportedArguments("a tuple of that many values", count);
        return {};
    }
    auto call = [&]<std::size_t... I>(std::index_sequence<I...>) -> rt::Id {
        using Args = typename Traits::Args;
        if constexpr (std::is_void_v<typename Traits::Result>) {
            block(detail::argumentAs<std::tuple_element_t<I, Args>>(detail::tupleValue(arguments, I))...);
            return {};
        } else {
            return detail::resultAsId(
                block(detail::argumentAs<std::tuple_element_t<I, Args>>(detail::tupleValue(arguments, I))...));
        }
    };
    return call(std::make_index_sequence<Traits::arity>());
}

// Calls a block carried as a value (an rt::Block of std::function<rt::Id(const rt::Id&, ...)>, or
// of one taking rt::Id parameters) with the tuple's values, nil for es::TupleNil. A block that is
// not one of those, or takes another number of objects than the tuple has (1 to 15), is reported
// as unsupportedArguments is, and gives nil.
rt::Id invokeBlockObjectWithArguments(const rt::Object* block, const Tuple& arguments);

// The block as one taking the whole tuple.
template <class F>
std::function<rt::Id(const rt::Id&)> reduceBlock(F block) {
    return [block = std::move(block)](const rt::Id& value) mutable -> rt::Id {
        const Tuple* tuple = detail::asTuple(value.get());
        if (!tuple) {
            detail::unsupportedArguments("a value that is not a tuple", 0);
            return {};
        }
        return invokeBlockWithArguments(block, *tuple);
    };
}

} // namespace es
