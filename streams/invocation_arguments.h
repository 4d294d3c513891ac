#pragma once
// An invocation's arguments and result as objects, boxed and unboxed by each slot's type encoding
// (a leading "r", const, makes no difference). Interception turns a call into a tuple with
// argumentsTuple; lifting fills an invocation from a tuple with setArgumentsTuple and boxes the
// result with returnValue. Indexes count as the invocation's do: the first argument after the
// receiver and the selector is 2.
//
//   encoding            stored from an object                 read as an object
//   "@"                 the object itself                     the object
//   "@?" (a block)      the block itself                      an argument: a copy; the result: as is
//   "c" "i" ... "d" "B" the number's value (nil: zero)        an ns::Number of the slot's type
//   "*"                 a copy of the string's text, kept     an ns::String of the text (a null
//                       by the invocation (nil: null)         pointer: nil)
//   "v" (result only)   -                                     es::Unit::defaultUnit()
//   anything else       an ns::Value of exactly the slot's    an ns::Value of the slot's bytes and
//   (structs, "#", ":", size (nil: zero bytes)                encoding
//    pointers)
//
// A value that does not fit its slot (an ns::Value of another size, a non-number for a number, an
// index past the arguments) is the caller's fault: it asserts in debug builds; in release builds
// it is logged and the slot is left at its zero value.

#include <cstddef>

#include "platform/runtime/object.h"

namespace rt {
class Invocation;
}

namespace es {

class Tuple;

void setArgumentAtIndex(rt::Invocation& invocation, const rt::Id& value, std::size_t index);
// Nil for an index past the arguments.
rt::Id argumentAtIndex(const rt::Invocation& invocation, std::size_t index);

// Every argument after the receiver and the selector, boxed; nil as es::TupleNil. A method
// without arguments gives an empty tuple.
rt::Ref<Tuple> argumentsTuple(const rt::Invocation& invocation);
// Stores the tuple's entries into the arguments from index 2 on (TupleNil as nil). A nil tuple
// stores nothing; a tuple longer than the arguments is refused past their end.
void setArgumentsTuple(rt::Invocation& invocation, const rt::Ref<Tuple>& tuple);

rt::Id returnValue(const rt::Invocation& invocation);

} // namespace es
