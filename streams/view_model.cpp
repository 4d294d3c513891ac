#include "streams/view_model.h"

#include <mutex>
#include <string_view>

#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "streams/operator_support.h"
#include "streams/property_signals.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(ViewModel, "ESViewModel", rt::Object,
                rt::prop("active", &ViewModel::isActive, &ViewModel::setActive, {.getter = "isActive"}))

namespace {
constexpr std::string_view kActivePropertyKey = "active";
} // namespace

void ViewModel::setActive(bool active) {
    if (active == isActive()) return;
    const rt::Id self(this);
    ns::willChangeValueForKey(self, kActivePropertyKey);
    active_.store(active, std::memory_order_relaxed);
    ns::didChangeValueForKey(self, kActivePropertyKey);
}

bool ViewModel::automaticallyNotifiesObserversForKey(std::string_view key) const {
    return key != kActivePropertyKey && Object::automaticallyNotifiesObserversForKey(key);
}

rt::Ref<Signal> ViewModel::becameSignal(bool active, const char* name) {
    rt::Weak<ViewModel> weakSelf(this);
    rt::Ref<Signal> signal = valuesForKeyPath(rt::Id(this), kActivePropertyKey, rt::Id(this))
                                 ->filter([active](bool value) { return value == active; })
                                 ->map([weakSelf](const rt::Id&) -> rt::Id { return weakSelf.lock(); });
    if (debugNamesEnabled()) signal->setNameWithFormat(name, es::description(this));
    return signal;
}

rt::Ref<Signal> ViewModel::didBecomeActiveSignal() {
    std::lock_guard g(lock_);
    if (!didBecomeActiveSignal_) didBecomeActiveSignal_ = becameSignal(true, "%@ -didBecomeActiveSignal");
    return didBecomeActiveSignal_;
}

rt::Ref<Signal> ViewModel::didBecomeInactiveSignal() {
    std::lock_guard g(lock_);
    if (!didBecomeInactiveSignal_) didBecomeInactiveSignal_ = becameSignal(false, "%@ -didBecomeInactiveSignal");
    return didBecomeInactiveSignal_;
}

rt::Ref<Signal> ViewModel::forwardSignalWhileActive(const rt::Ref<Signal>& signal) {
    rt::Ref<Signal> activity = valuesForKeyPath(rt::Id(this), kActivePropertyKey, rt::Id(this));
    rt::Ref<Signal> source = signalArgument(signal);
    // The subscription keeps the source, to subscribe to it again at each activation.
    rt::Ref<Signal> result = makeOperator(
        *source,
        [activity](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto current = SerialDisposable::make(); // the source's subscription while active
            auto observation = forward(activity, subscriber,
                                       Handlers{.next = [source, current](Downstream& out, const rt::Id& value) {
                                           rt::Ref<rt::Disposable> previous;
                                           if (detail::argumentAs<bool>(value)) {
                                               // Its values and error go on; its completion does not.
                                               previous = current->swapInDisposable(forward(
                                                   source, out.subscriber(), Handlers{.completed = [](Downstream&) {}}));
                                           } else {
                                               previous = current->swapInDisposable(nullptr);
                                           }
                                           if (previous) previous->dispose();
                                       }});
            return CompoundDisposable::withDisposables({current, observation});
        },
        "");
    if (debugNamesEnabled())
        result->setNameWithFormat("%@ -forwardSignalWhileActive: %@", es::description(this), es::description(signal));
    return result;
}

rt::Ref<Signal> ViewModel::throttleSignalWhileInactive(const rt::Ref<Signal>& signal) {
    rt::Ref<Signal> latest = signalArgument(signal)->replayLast();
    rt::Ref<Signal> result =
        valuesForKeyPath(rt::Id(this), kActivePropertyKey, rt::Id(this))
            ->takeUntil(latest->ignoreValues())
            ->combineLatestWith(latest)
            ->throttleValuesPassingTest(1, [](const rt::Id& pair) {
                // Held back only while inactive.
                auto tuple = rt::cast<Tuple>(pair);
                return !(tuple && detail::argumentAs<bool>(tuple->first()));
            })
            ->reduceEach([](const rt::Id&, const rt::Id& value) { return value; });
    if (debugNamesEnabled())
        result->setNameWithFormat("%@ -throttleSignalWhileInactive: %@", es::description(this), es::description(signal));
    return result;
}

} // namespace es
