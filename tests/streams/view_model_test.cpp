// The view-model base (activity, the became-signals, forwarding and throttling by activity) and
// the block value transformer.

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/foundation/string_services.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/property_signals.h"
#include "streams/subject.h"
#include "streams/value_transformer.h"
#include "streams/view_model.h"
#include "tests/testkit/streams/recorder.h"
#include "tests/testkit/virtual_time.h"

namespace {

using es::Signal;
using es::ViewModel;
using rt::Id;
using rt::Ref;
using testkit::record;

// The view model's values as "vm" (and "nil" once it is gone).
Ref<Signal> named(const Ref<Signal>& signal, const ViewModel* vm) {
    return signal->map([vm](const Id& v) -> Id { return ns::str(!v ? "nil" : v.get() == vm ? "vm" : "other"); });
}

TEST(ViewModel, BecameSignalsFollowTheActivityAndSettingTheSameValueSendsNothing) {
    auto vm = rt::make<ViewModel>();
    EXPECT_FALSE(vm->isActive());
    EXPECT_EQ(vm->didBecomeActiveSignal(), vm->didBecomeActiveSignal()); // made once
    auto active = record(named(vm->didBecomeActiveSignal(), vm.get()));
    auto inactive = record(named(vm->didBecomeInactiveSignal(), vm.get()));
    auto changes = record(es::valuesAndChangesForKeyPath(vm, "active", ns::KeyValueObservingOptions::New, nullptr));
    EXPECT_EQ(active.text(), "");
    EXPECT_EQ(inactive.text(), "vm"); // at once for a new view model

    vm->setActive(true);
    vm->setActive(true);
    ns::setValueForKey(vm, ns::num(true), "active"); // by key, unchanged: nothing either
    EXPECT_EQ(active.text(), "vm");
    EXPECT_EQ(changes.values().size(), 1u);
    EXPECT_EQ(record(named(vm->didBecomeActiveSignal(), vm.get())).text(), "vm"); // at once while active

    ns::setValueForKey(vm, ns::num(false), "active");
    vm->setActive(true);
    EXPECT_EQ(active.text(), "vm vm");
    EXPECT_EQ(inactive.text(), "vm vm");
    EXPECT_EQ(changes.values().size(), 3u);

    vm = nullptr;
    EXPECT_TRUE(active.hasCompleted());
    EXPECT_TRUE(inactive.hasCompleted());
    EXPECT_TRUE(changes.hasCompleted());
}

TEST(ViewModel, ForwardSignalWhileActiveSubscribesAfreshOnEachActivation) {
    auto vm = rt::make<ViewModel>();
    auto subject = es::Subject::subject();
    int subscriptions = 0;
    auto counted = Signal::defer([&] {
        ++subscriptions;
        return Ref<Signal>(subject);
    });
    auto forwarded = record(vm->forwardSignalWhileActive(counted));
    subject->sendNext(ns::num(0)); // inactive: not subscribed
    vm->setActive(true);
    subject->sendNext(ns::num(1));
    vm->setActive(false);
    subject->sendNext(ns::num(2)); // lost
    vm->setActive(true);
    subject->sendNext(ns::num(3));
    vm->setActive(false);
    vm->setActive(true);
    EXPECT_EQ(subscriptions, 3);
    EXPECT_EQ(forwarded.text(), "1 3");
    subject->sendError(ns::Error::make("Test", 5)); // an error goes on
    EXPECT_EQ(forwarded.text(), "1 3 E5");
}

TEST(ViewModel, ForwardSignalWhileActiveIgnoresTheSignalsCompletionAndEndsWithTheViewModel) {
    auto vm = rt::make<ViewModel>();
    vm->setActive(true);
    auto forwarded = record(vm->forwardSignalWhileActive(Signal::returnValue(ns::num(7))));
    vm->setActive(false);
    vm->setActive(true);
    EXPECT_EQ(forwarded.text(), "7 7");
    vm = nullptr;
    EXPECT_EQ(forwarded.text(), "7 7 C");
}

class ViewModelTime : public testkit::VirtualTimeTest {};

TEST_F(ViewModelTime, ThrottleSignalWhileInactiveSendsTheLastOfABurstOneSecondLater) {
    auto vm = rt::make<ViewModel>();
    auto subject = es::Subject::subject();
    auto throttled = record(vm->throttleSignalWhileInactive(subject), {.clock = &clock()});
    subject->sendNext(ns::num(1));
    runUntil(0.2);
    subject->sendNext(ns::num(2));
    runUntil(0.4);
    subject->sendNext(ns::num(3));
    runUntil(1.3);
    EXPECT_EQ(throttled.text(), "");
    runUntil(1.5);
    EXPECT_EQ(throttled.text(), "3@1.40");

    vm->setActive(true); // the latest value at once
    subject->sendNext(ns::num(4));
    runUntil(1.6);
    subject->sendNext(ns::num(5));
    EXPECT_EQ(throttled.text(), "3@1.40 3@1.50 4@1.50 5@1.60");
    subject->sendCompleted();
    runUntil(5);
    EXPECT_EQ(throttled.text(), "3@1.40 3@1.50 4@1.50 5@1.60 C@1.60");
}

// ---- Value transformers ---------------------------------------------------------------------

TEST(ValueTransformer, AnUpperCasingBlockTransformsOneWayOnly) {
    auto upper = es::ValueTransformer::transformerWithBlock([](const Id& value) -> Id {
        auto text = rt::cast<ns::String>(value);
        return text ? Id(ns::uppercaseString(*text)) : nullptr;
    });
    EXPECT_EQ(testkit::show(upper->transformedValue(ns::str("abc"))), "ABC");
    EXPECT_FALSE(upper->allowsReverseTransformation());
    ns::CapturedLog log;
    EXPECT_FALSE(upper->reverseTransformedValue(ns::str("ABC")));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(upper->getClass().name(), "ESValueTransformer");
    EXPECT_EQ(upper->getClass().superclass()->name(), "NSValueTransformer");
    EXPECT_FALSE(es::ValueTransformer::transformerWithBlock(nullptr)->transformedValue(ns::str("x")));
}

} // namespace
