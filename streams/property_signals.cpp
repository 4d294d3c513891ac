#include "streams/property_signals.h"

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/kvc.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/key_value_observing.h"
#include "streams/operator_support.h"
#include "streams/scheduler.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The lock a property signal shares between its subscriptions' set-up and its deallocation
// trigger: a deallocation waits while another thread is setting up an observation.
class PropertySubscribingLock {
public:
    PropertySubscribingLock() : name_(std::string(kReverseDomainPrefix) + "NSObjectESPropertySubscribing") {}
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    const std::string& name() const noexcept { return name_; }

private:
    std::recursive_mutex mutex_;
    const std::string name_;
};

} // namespace

rt::Ref<Signal> valuesAndChangesForKeyPath(const rt::Id& receiver, std::string_view keyPath,
                                           ns::KeyValueObservingOptions options, const rt::Id& observer) {
    if (!receiver) return Signal::empty();
    auto lock = std::make_shared<PropertySubscribingLock>();
    // Completes as soon as either begins to deallocate; the lock step holds that deallocation
    // back while a subscription is being set up on another thread.
    rt::Ref<Signal> trigger =
        Signal::zip({willDeallocSignal(receiver.get()), observer ? willDeallocSignal(observer.get()) : Signal::never()})
            ->doCompleted([lock] { std::lock_guard g(*lock); });

    rt::Weak<rt::Object> weakReceiver(receiver), weakObserver(observer);
    auto observations = Signal::createSignal([lock, weakReceiver, weakObserver, keyPath = std::string(keyPath),
                                              options](const rt::Ref<Subscriber>& subscriber) -> rt::Ref<Disposable> {
        std::lock_guard g(*lock);
        rt::Id observer = weakObserver.lock();
        rt::Id receiver = weakReceiver.lock();
        if (!receiver) {
            subscriber->sendCompleted();
            return nullptr;
        }
        return observeKeyPath(receiver, keyPath, options, observer,
                              [subscriber](const rt::Id& value, const rt::Ref<ns::Dictionary>& change, bool, bool) {
                                  subscriber->sendNext(Tuple::withObjects({value, change}));
                              });
    });
    rt::Ref<Signal> result = observations->takeUntil(trigger);
    if (debugNamesEnabled())
        result->setNameWithFormat("%@ -es_valueAndChangesForKeyPath: %@ options: %lu observer: %@", description(receiver),
                                  std::string(keyPath), static_cast<unsigned long>(options), description(observer));
    return result;
}

rt::Ref<Signal> valuesForKeyPath(const rt::Id& receiver, std::string_view keyPath, const rt::Id& observer) {
    if (!receiver) return Signal::empty();
    rt::Ref<Signal> result = valuesAndChangesForKeyPath(receiver, keyPath, ns::KeyValueObservingOptions::Initial, observer)
                                 ->map([](const rt::Ref<Tuple>& valueAndChange) { return valueAndChange->first(); });
    if (debugNamesEnabled()) result->setNameWithFormat("ESObserve(%@, %@)", description(receiver), std::string(keyPath));
    return result;
}

rt::Ref<Signal> signalWithChangesFor(const rt::Id& object, std::string_view keyPath,
                                     ns::KeyValueObservingOptions options, const rt::Id& observer) {
    if (!object) return Signal::empty();
    rt::Weak<rt::Object> weakObject(object), weakObserver(observer);
    const bool hasObserver = static_cast<bool>(observer);
    auto signal = Signal::createSignal([weakObject, weakObserver, hasObserver, keyPath = std::string(keyPath),
                                        options](const rt::Ref<Subscriber>& subscriber) -> rt::Ref<Disposable> {
        rt::Id object = weakObject.lock();
        rt::Id observer = weakObserver.lock();
        if (!object || (hasObserver && !observer)) {
            subscriber->sendCompleted();
            return nullptr;
        }
        rt::Ref<KVOTrampoline> trampoline = addObserverForKeyPath(
            object, observer, keyPath, options,
            [subscriber](const rt::Id&, const rt::Id&, const rt::Ref<ns::Dictionary>& change) { subscriber->sendNext(change); });
        // Either one's deallocation ends the registration and completes the subscriber.
        auto ended = Disposable::withBlock([trampoline, subscriber] {
            trampoline->dispose();
            subscriber->sendCompleted();
        });
        if (observer) addDeallocDisposable(observer.get(), ended);
        addDeallocDisposable(object.get(), ended);
        return Disposable::withBlock([trampoline, ended, weakObject, weakObserver] {
            removeDeallocDisposable(weakObserver.lock().get(), ended.get());
            removeDeallocDisposable(weakObject.lock().get(), ended.get());
            trampoline->dispose();
        });
    });
    if (debugNamesEnabled()) signal->setNameWithFormat("ESAble(%@, %@)", description(object), std::string(keyPath));
    return signal;
}

namespace {
// The object's value for the key path at each change.
rt::Ref<Signal> valuesOnChange(const rt::Id& object, std::string_view keyPath, ns::KeyValueObservingOptions options,
                               const rt::Id& observer) {
    rt::Weak<rt::Object> weakObject(object);
    return signalWithChangesFor(object, keyPath, options, observer)
        ->map([weakObject, keyPath = std::string(keyPath)](const rt::Id&) {
            return ns::valueForKeyPath(weakObject.lock(), keyPath);
        });
}
} // namespace

rt::Ref<Signal> signalFor(const rt::Id& object, std::string_view keyPath, const rt::Id& observer) {
    return valuesOnChange(object, keyPath, ns::KeyValueObservingOptions::None, observer);
}

rt::Ref<Signal> signalWithStartingValueFor(const rt::Id& object, std::string_view keyPath, const rt::Id& observer) {
    return valuesOnChange(object, keyPath, ns::KeyValueObservingOptions::Initial, observer);
}

rt::Ref<Disposable> deriveProperty(const rt::Id& receiver, std::string_view keyPath, const rt::Ref<Signal>& signal) {
    return signalArgument(signal)->setKeyPathOnObject(keyPath, receiver);
}

} // namespace es
