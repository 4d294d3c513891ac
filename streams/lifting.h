#pragma once
// Lifting: calling an object's method whenever argument signals send, as a signal of its results.
//
//   auto titles = es::liftSelector(label.get(), rt::Sel("setText:"), {nameSignal});
//
// The method is first called once every argument signal has sent, then again whenever any of them
// sends, on the thread that sent; each result is boxed (invocation_arguments.h), the unit for a
// method returning nothing. The lifted signal starts at once, whether or not anyone subscribes,
// and gives each subscriber the latest result and the later ones. The receiver is held weakly:
// the lifting ends when it begins to deallocate, and no call is made once it has.
//
// A selector the receiver has no signature for, or a number of arguments other than the method
// takes, is the caller's fault: it is logged and the result is the empty signal.

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"
#include "streams/signal.h"

namespace ns {
class Array;
}

namespace es {

// Each value of `arguments` must be a tuple of the method's arguments.
rt::Ref<Signal> liftSelectorWithSignalOfArguments(rt::Object* object, rt::Sel selector,
                                                  const rt::Ref<Signal>& arguments);
// One signal per argument, combined with combineLatest.
rt::Ref<Signal> liftSelector(rt::Object* object, rt::Sel selector, const std::vector<rt::Ref<Signal>>& signals);
rt::Ref<Signal> liftSelector(rt::Object* object, rt::Sel selector, std::initializer_list<rt::Ref<Signal>> signals);

// The older forms take values: a signal is used as it is, any other value (nil and TupleNil
// included) stands for a signal that sends just that value.
rt::Ref<Signal> liftSelectorWithObjects(rt::Object* object, rt::Sel selector, std::initializer_list<rt::Id> objects);
rt::Ref<Signal> liftSelectorWithObjectsFromArray(rt::Object* object, rt::Sel selector,
                                                 const rt::Ref<ns::Array>& objects);

namespace detail {
std::vector<rt::Ref<Signal>> signalsOfValues(const std::vector<rt::Id>& values);
std::vector<rt::Id> arrayValues(const rt::Ref<ns::Array>& array);
// The combined values through the block, ended by the object's deallocation, started at once.
rt::Ref<Signal> liftedBlock(rt::Object* object, const std::vector<rt::Ref<Signal>>& signals,
                            std::function<rt::Id(const rt::Id&)> block);
} // namespace detail

// The block (1 to 15 parameters, typed as reduceEach's) over the latest value of each argument.
template <class F>
rt::Ref<Signal> liftBlockWithArgumentsFromArray(rt::Object* object, F block, const rt::Ref<ns::Array>& arguments) {
    return detail::liftedBlock(object, detail::signalsOfValues(detail::arrayValues(arguments)),
                               reduceBlock(std::move(block)));
}
template <class F>
rt::Ref<Signal> liftBlockWithArguments(rt::Object* object, F block, std::initializer_list<rt::Id> arguments) {
    return detail::liftedBlock(object, detail::signalsOfValues(arguments), reduceBlock(std::move(block)));
}

} // namespace es
