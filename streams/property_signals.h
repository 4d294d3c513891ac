#pragma once
// Property signals: a key path of an object as a signal of its values. Each subscription is its
// own observation (es::observeKeyPath); values arrive on the thread that changed the property,
// the initial one on the subscribing thread, during subscribe. A subscription ends with completed
// when the receiver or the observer begins to deallocate; the signals never fail. The receiver
// and the observer are held weakly.

#include <string_view>

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace ns {
enum class KeyValueObservingOptions : unsigned;
}

namespace es {

// The current value, then the new value of the whole key path on every change (nil included).
// A subscription made once the receiver is gone completes at once, without a value. A nil
// receiver gives the empty signal.
rt::Ref<Signal> valuesForKeyPath(const rt::Id& receiver, std::string_view keyPath, const rt::Id& observer);
// Tuples (value, change dictionary) with the options of the observation; the initial value's
// change is {kind 1, new: the value or ns::Null}. Nil entries are TupleNil.
rt::Ref<Signal> valuesAndChangesForKeyPath(const rt::Id& receiver, std::string_view keyPath,
                                           ns::KeyValueObservingOptions options, const rt::Id& observer);

// The older forms, for callers written against them. The change dictionaries of one key path of
// the object, registered with es::addObserverForKeyPath; completed when the object or the
// observer begins to deallocate.
rt::Ref<Signal> signalWithChangesFor(const rt::Id& object, std::string_view keyPath,
                                     ns::KeyValueObservingOptions options, const rt::Id& observer);
// The object's value for the key path on each change; the second form starts with the current one.
rt::Ref<Signal> signalFor(const rt::Id& object, std::string_view keyPath, const rt::Id& observer);
rt::Ref<Signal> signalWithStartingValueFor(const rt::Id& object, std::string_view keyPath, const rt::Id& observer);
inline rt::Ref<Signal> signalForKeyPath(const rt::Id& receiver, std::string_view keyPath, const rt::Id& observer) {
    return signalFor(receiver, keyPath, observer);
}
inline rt::Ref<Signal> signalWithStartingValueForKeyPath(const rt::Id& receiver, std::string_view keyPath,
                                                         const rt::Id& observer) {
    return signalWithStartingValueFor(receiver, keyPath, observer);
}

// Binds the signal to the receiver's key path (Signal::setKeyPathOnObject with the receiver);
// returns the binding's disposable.
rt::Ref<Disposable> deriveProperty(const rt::Id& receiver, std::string_view keyPath, const rt::Ref<Signal>& signal);

} // namespace es
