// Property signals: a key path of an object as a signal of its values.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "streams/property_signals.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/streams/observable_model.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using Options = ns::KeyValueObservingOptions;
using rt::Id;
using rt::Ref;
using testkit::record;
using testmodel::Node;

TEST(PropertySignals, SendTheCurrentValueThenOneValuePerChangeNilIncluded) {
    auto node = Node::make();
    node->setName(ns::str("a"));
    auto values = record(es::valuesForKeyPath(node, "name", nullptr));
    node->setName(ns::str("b"));
    node->setName(nullptr);
    node->setName(ns::str("c"));
    EXPECT_EQ(values.text(), "a b nil c");
    values.dispose();
    node->setName(ns::str("d"));
    EXPECT_EQ(values.text(), "a b nil c");
}

TEST(PropertySignals, AReplacedIntermediateSendsTheNewValueOfThePath) {
    auto root = Node::path(1);
    auto values = record(es::valuesForKeyPath(root, "a.b.c", nullptr));
    root->a()->b()->setC(2);
    auto other = Node::make();
    other->setB(Node::make(7));
    root->setA(other);
    EXPECT_EQ(values.text(), "1 2 7");
    values.dispose();
}

TEST(PropertySignals, CompleteWhenTheObserverOrTheReceiverDeallocates) {
    auto receiver = Node::make(1);
    auto observer = Node::make();
    auto observed = record(es::valuesForKeyPath(receiver, "c", observer));
    auto unobserved = record(es::valuesForKeyPath(receiver, "c", nullptr));
    observer = nullptr; // the receiver lives on
    receiver->setC(2);
    EXPECT_EQ(observed.text(), "1 C");
    EXPECT_EQ(unobserved.text(), "1 2");
    receiver = nullptr; // with no observer, only the receiver's end ends it
    EXPECT_EQ(unobserved.text(), "1 2 C");
}

TEST(PropertySignals, AReceiverAlreadyGoneCompletesWithoutAValue) {
    auto receiver = Node::make(1);
    auto signal = es::valuesForKeyPath(receiver, "c", nullptr);
    receiver = nullptr;
    EXPECT_EQ(record(signal).text(), "C");
    EXPECT_EQ(record(es::valuesForKeyPath(nullptr, "c", nullptr)).text(), "C");
}

TEST(PropertySignals, EachSubscriptionIsItsOwnObservation) {
    auto node = Node::make(1);
    auto signal = es::valuesForKeyPath(node, "c", nullptr);
    auto first = record(signal);
    node->setC(2);
    auto second = record(signal);
    first.dispose();
    node->setC(3);
    EXPECT_EQ(first.text(), "1 2");
    EXPECT_EQ(second.text(), "2 3");
    second.dispose();
}

TEST(PropertySignals, ValuesAndChangesCarryTheChangeAndStartOnlyWithTheInitialOption) {
    auto node = Node::make(1);
    auto withoutInitial = record(es::valuesAndChangesForKeyPath(node, "c", Options::New | Options::Old, nullptr));
    auto withInitial = record(es::valuesAndChangesForKeyPath(node, "c", Options::Initial, nullptr));
    EXPECT_EQ(withoutInitial.text(), "");
    node->setC(2);
    ASSERT_EQ(withoutInitial.values().size(), 1u);
    auto tuple = rt::cast<es::Tuple>(withoutInitial.values()[0]);
    ASSERT_TRUE(tuple);
    EXPECT_EQ(testkit::show(tuple->first()), "2");
    auto change = rt::cast<ns::Dictionary>(tuple->second());
    ASSERT_TRUE(change);
    EXPECT_EQ(testkit::show(change->objectForKey(ns::KeyValueChangeOldKey)), "1");
    EXPECT_EQ(testkit::show(change->objectForKey(ns::KeyValueChangeNewKey)), "2");
    ASSERT_EQ(withInitial.values().size(), 2u);
    auto initialChange = rt::cast<ns::Dictionary>(rt::cast<es::Tuple>(withInitial.values()[0])->second());
    EXPECT_EQ(testkit::show(initialChange->objectForKey(ns::KeyValueChangeNewKey)), "1");
    withoutInitial.dispose();
    withInitial.dispose();
}

TEST(PropertySignals, TheOlderFormsSendChangesOrValuesAndEndWithTheObjects) {
    auto object = Node::make(1);
    auto observer = Node::make();
    auto changes = record(es::signalWithChangesFor(object, "c", Options::New, observer));
    auto values = record(es::signalForKeyPath(object, "c", observer));
    auto starting = record(es::signalWithStartingValueForKeyPath(object, "c", nullptr));
    object->setC(2);
    ASSERT_EQ(changes.values().size(), 1u);
    auto change = rt::cast<ns::Dictionary>(changes.values()[0]);
    ASSERT_TRUE(change);
    EXPECT_EQ(testkit::show(change->objectForKey(ns::KeyValueChangeNewKey)), "2");
    EXPECT_EQ(values.text(), "2");
    EXPECT_EQ(starting.text(), "1 2");
    observer = nullptr;
    EXPECT_TRUE(changes.hasCompleted());
    EXPECT_EQ(values.text(), "2 C");
    object->setC(3);
    object = nullptr;
    EXPECT_EQ(starting.text(), "1 2 3 C");
}

TEST(PropertySignals, ADerivedPropertyTakesTheSignalsValues) {
    auto node = Node::make();
    auto names = es::Subject::subject();
    es::deriveProperty(node, "name", names);
    names->sendNext(ns::str("x"));
    EXPECT_EQ(testkit::show(node->name()), "x");
    // Bound to itself through a property signal: each value of "c" also becomes the name.
    es::deriveProperty(node, "name", es::valuesForKeyPath(node, "c", nullptr)->map([](long c) { return ns::str(std::to_string(c)); }));
    EXPECT_EQ(testkit::show(node->name()), "0");
    node->setC(3);
    EXPECT_EQ(testkit::show(node->name()), "3");
}

TEST(PropertySignals, CarryTheirDebugNames) {
    testkit::DebugNames on(true);
    auto node = Node::make();
    const std::string described = "<ESTestNode: " + ns::format("%p", static_cast<const void*>(node.get())) + ">";
    EXPECT_EQ(es::valuesForKeyPath(node, "a.c", nullptr)->name(), "ESObserve(" + described + ", a.c)");
    EXPECT_EQ(es::valuesAndChangesForKeyPath(node, "c", Options::Initial, nullptr)->name(),
              described + " -es_valueAndChangesForKeyPath: c options: 4 observer: (null)");
    EXPECT_EQ(es::signalWithChangesFor(node, "c", Options::New, node)->name(), "ESAble(" + described + ", c)");
}

// One thread lets the receiver go while another subscribes (inline, on a scheduler of its own):
// the subscription either completes at once or observes until the deallocation completes it.
TEST(PropertySignals, TheReceiverDeallocatingWhileAnotherThreadSubscribesDoesNotCrash) {
    auto scheduler = es::Scheduler::scheduler();
    for (int round = 0; round < 100; ++round) {
        auto receiver = Node::make(round);
        auto signal = es::valuesForKeyPath(receiver, "c", nullptr);
        testkit::Latch ready(2), subscribed;
        std::optional<testkit::Recorder> recorder;
        scheduler->schedule([&] {
            ready.countDown();
            ready.wait();
            recorder.emplace(record(signal));
            subscribed.countDown();
        });
        std::thread releaser([&] {
            ready.countDown();
            ready.wait();
            receiver = nullptr;
        });
        releaser.join();
        ASSERT_TRUE(subscribed.wait());
        ASSERT_TRUE(recorder->waitForEnd());
        EXPECT_TRUE(recorder->text() == "C" || recorder->text() == std::to_string(round) + " C") << recorder->text();
    }
    EXPECT_TRUE(testkit::waitForWorkersIdle());
}

} // namespace
