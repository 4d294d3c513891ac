#pragma once
// Key-value observation for the stream library: observation of a key path of any depth as a
// disposable, the older block registration, and the key-path utilities.

#include <functional>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "streams/disposable.h"
#include "streams/kvo_trampoline.h"

namespace ns {
class Array;
class String;
} // namespace ns

namespace es {

// `value` is the value of the whole key path (nil allowed). `causedByDealloc` is true when a weak
// property of the path was cleared because its object began to deallocate. `affectedOnlyLastComponent`
// is true when the change was of the path's last key (an intermediate object did not change).
using KeyPathBlock = std::function<void(const rt::Id& value, const rt::Ref<ns::Dictionary>& change,
                                        bool causedByDealloc, bool affectedOnlyLastComponent)>;

// Observes `keyPath` of `receiver` until the returned disposable is disposed or the receiver or
// the observer (held weakly, may be nil) begins to deallocate. Each level of the path is observed
// on its own object; when an intermediate object is replaced, the levels below move to the new
// one and the block gets the new value of the whole path. With the initial option the block is
// called once at once, with prior also before each change (with the old value). A weak first key
// is watched: when its object deallocates the block gets nil, a change {kind 1, new ns::Null}
// and `causedByDealloc` (not when that object is the observer itself). Changes arrive on the thread
// that made them. A key path with an empty key ("", "a..b", "a.") or a missing block is logged and
// observes nothing.
rt::Ref<Disposable> observeKeyPath(const rt::Id& receiver, std::string_view keyPath,
                                   ns::KeyValueObservingOptions options, const rt::Id& observer, KeyPathBlock block);

// The older registration: a trampoline for `keyPath` of `receiver` (nil receiver: nil).
rt::Ref<KVOTrampoline> addObserverForKeyPath(const rt::Id& receiver, const rt::Id& observer, std::string_view keyPath,
                                             ns::KeyValueObservingOptions options, KVOTrampoline::Block block);

// "a.b.c": the components (nil for nil or the empty string), the path without its last component
// ("a.b") and without its first ("b.c"); both nil when there is no ".".
rt::Ref<ns::Array> keyPathComponents(const rt::Ref<ns::String>& keyPath);
rt::Ref<ns::String> keyPathByDeletingLastKeyPathComponent(const rt::Ref<ns::String>& keyPath);
rt::Ref<ns::String> keyPathByDeletingFirstKeyPathComponent(const rt::Ref<ns::String>& keyPath);

// The same over text; the views point into `keyPath`. Empty text has no components.
std::vector<std::string_view> keyPathComponents(std::string_view keyPath);
// Whether the text is one or more non-empty keys separated by ".".
bool isValidKeyPath(std::string_view keyPath);

} // namespace es
