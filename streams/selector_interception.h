#pragma once
// Intercepting the calls of one object's method: after signalForSelector the method still runs,
// and each call then sends a tuple of its boxed arguments (invocation_arguments.h) to the signal,
// on the calling thread, after the method has returned. Subscribers see only the calls made after
// they subscribed; the signal completes when the object begins to deallocate.
//
//   auto disappearing = es::signalForSelector(screen.get(), rt::Sel("viewWillDisappear:"));
//   // screen->viewWillDisappear(true) or rt::send(screen, ...) sends (1), once either way
//
// The first interception moves the object into a runtime subclass of its class, named after it
// plus "_ESSelectorSignal" and shared by every intercepted object of that class; the object still
// reports its class (getClass), and only its actualClass changes. In that subclass an intercepted
// selector goes through the forwarding entry, and its previous implementation stays reachable
// under "es_alias_" plus the selector's name. An object of the subclass that has no signal for
// the selector behaves as it did before. Calls by name (rt::send) and direct calls of
// interceptable methods (RT_INTERCEPTABLE) both reach the signal, exactly once per call.

#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"

namespace rt {
class Protocol;
}

namespace es {

class Signal;

// The error of an interception that could not route the selector through forwarding (another
// method was added to the class meanwhile, or the encoding it had to use was refused).
inline constexpr const char* kSelectorSignalErrorDomain = "ESSelectorSignalErrorDomain";
inline constexpr long kSelectorSignalErrorMethodSwizzlingRace = 1;

// The signal of the object's calls of `selector`; the same signal on every request for the same
// object and selector. A selector the object does not implement gets the encoding "v@:" plus one
// "@" per argument (nothing returned, every argument an object); calling it then sends the
// tuple and runs nothing else, and the object answers respondsToSelector for it. Nil for a nil
// object.
rt::Ref<Signal> signalForSelector(rt::Object* object, rt::Sel selector);
// The same, taking the encoding of a selector the object does not implement from the protocol
// (its optional method, else its required one).
rt::Ref<Signal> signalForSelectorFromProtocol(rt::Object* object, rt::Sel selector, const rt::Protocol& protocol);

} // namespace es
