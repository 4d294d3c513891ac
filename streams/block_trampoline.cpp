#include "streams/block_trampoline.h"

#include <type_traits>
#include <utility>

#include "platform/runtime/block.h"

namespace es {

namespace {

// The I-th parameter of an N-parameter block: the same type each time.
template <class Parameter, std::size_t>
using Each = Parameter;

// Calls the block when it takes exactly these parameters.
template <class Parameter, std::size_t... I>
bool callIfTaking(const rt::Block& block, const Tuple& arguments, rt::Id& result, std::index_sequence<I...>) {
    const auto* function = block.function<rt::Id(Each<Parameter, I>...)>();
    if (!function || !*function) return false;
    result = (*function)(detail::tupleValue(arguments, I)...);
    return true;
}

template <std::size_t... N>
bool callWithCount(const rt::Block& block, const Tuple& arguments, std::size_t count, rt::Id& result,
                   std::index_sequence<N...>) {
    return ((count == N + 1 &&
             (callIfTaking<const rt::Id&>(block, arguments, result, std::make_index_sequence<N + 1>()) ||
              callIfTaking<rt::Id>(block, arguments, result, std::make_index_sequence<N + 1>()))) ||
            ...);
}

} // namespace

rt::Id invokeBlockObjectWithArguments(const rt::Object* block, const Tuple& arguments) {
    std::size_t count = detail::tupleCount(arguments);
    const auto* typed = dynamic_cast<const rt::Block*>(block);
    rt::Id result;
    if (!typed || !callWithCount(*typed, arguments, count, result, std::make_index_sequence<kMaxBlockArguments>())) {
        detail::unsupportedArguments(typed ? "a block that does not take this many objects" : "no block", count);
        return {};
    }
    return result;
}

} // namespace es
