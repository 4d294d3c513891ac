#pragma once
// Key-value observation of single keys: the observer registry, the change announcements and the
// change dictionaries.
//
// An observer registers for one key of one object and hears of its changes through
// rt::Object::observeValueForKeyPath, synchronously on the thread that made the change and outside
// every lock of the registry. The observer is held weakly: one that has begun to deallocate is not
// called again. Once removeObserverForKeyPath returns, that registration is not called again: a
// call in progress on another thread is waited for (so do not remove an observer while holding a
// lock its callback takes); one on the removing thread itself runs to its end.
//
// A setter announces its key with rt::KeyChange (platform/runtime/observation.h); a key that a
// class announces by hand (automaticallyNotifiesObserversForKey answers false) is announced with
// willChange... and the matching didChange... on the same thread, the first before the change and
// the second after it. Pairs may nest; each didChange finishes the innermost open change of its
// object and key. Observation never changes an object's class.

#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/index_set.h"
#include "platform/runtime/object.h"

namespace ns {

enum class KeyValueObservingOptions : unsigned {
    None = 0,
    New = 1,     // the change carries the new value
    Old = 2,     // the change carries the old value
    Initial = 4, // one notification with the current value while the observer is being added
    Prior = 8,   // one notification before each change as well as after it
};
constexpr KeyValueObservingOptions operator|(KeyValueObservingOptions a, KeyValueObservingOptions b) {
    return static_cast<KeyValueObservingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool operator&(KeyValueObservingOptions a, KeyValueObservingOptions b) {
    return (static_cast<unsigned>(a) & static_cast<unsigned>(b)) != 0;
}

// The kind of a change: a value set, or objects of a to-many key inserted, removed or replaced at
// indexes.
enum class KeyValueChange : unsigned { Setting = 1, Insertion = 2, Removal = 3, Replacement = 4 };

// The entries of a change dictionary. "kind" is the KeyValueChange as a number. For a setting,
// "new" and "old" are the values (ns::Null for nil); for the other kinds they are arrays of the
// objects at "indexes" (an ns::IndexSet) after and before the change: an insertion has no "old", a
// removal no "new". "notificationIsPrior" is true in the notification sent before a change, which
// carries no "new".
inline constexpr const char* KeyValueChangeKindKey = "kind";
inline constexpr const char* KeyValueChangeNewKey = "new";
inline constexpr const char* KeyValueChangeOldKey = "old";
inline constexpr const char* KeyValueChangeIndexesKey = "indexes";
inline constexpr const char* KeyValueChangeNotificationIsPriorKey = "notificationIsPrior";

// Registers `observer` for changes of `key` on `object`; the same observer may register more than
// once (each registration is told separately). `context` comes back with every notification. A key
// path ("a.b") is refused with a log line: only single keys are observed here. Nil arguments do
// nothing.
void addObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key,
                           KeyValueObservingOptions options, void* context = nullptr);
// Removes the most recent registration of `observer` for `key` on `object` (with this context, in
// the first form). One that does not exist is reported by a log line.
void removeObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key,
                              void* context);
void removeObserverForKeyPath(const rt::Id& object, const rt::Id& observer, std::string_view key);

// Announcements by hand, for keys that do not notify automatically.
void willChangeValueForKey(const rt::Id& object, std::string_view key);
void didChangeValueForKey(const rt::Id& object, std::string_view key);
// For to-many keys whose value is an ns::Array: `kind` is Insertion, Removal or Replacement.
void willChangeValuesAtIndexesForKey(const rt::Id& object, KeyValueChange kind,
                                     const rt::Ref<IndexSet>& indexes, std::string_view key);
void didChangeValuesAtIndexesForKey(const rt::Id& object, KeyValueChange kind,
                                    const rt::Ref<IndexSet>& indexes, std::string_view key);

} // namespace ns
