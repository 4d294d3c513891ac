#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "streams/test_scheduler.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Scheduler;
using es::Signal;
using es::Subject;
using es::Subscriber;
using rt::Id;
using rt::Ref;

long num(const Id& v) {
    return v ? static_cast<long>(rt::cast<ns::Number>(v)->longLongValue()) : -1;
}

using testkit::record;

// A signal that sends 1, 2, 3 and completes, counting its subscriptions.
Ref<Signal> counted(std::atomic<int>& subscriptions) {
    return Signal::createSignal([&subscriptions](const Ref<Subscriber>& s) {
        ++subscriptions;
        for (int i = 1; i <= 3; ++i)
            s->sendNext(ns::num(i));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
}

TEST(DeliverOnMainThread, InlineOnlyOnTheMainThreadWithNothingQueued) {
    auto subject = Subject::subject();
    bool allOnMain = true;
    auto log = record(subject->deliverOnMainThread()->doNext(
        [&](const Id&) { allOnMain = allOnMain && ns::Thread::isMainThread(); }));
    subject->sendNext(ns::num(1));
    EXPECT_EQ(log.text(), "1"); // before sendNext returned

    std::thread([&] { subject->sendNext(ns::num(2)); }).join();
    EXPECT_EQ(log.text(), "1");    // from another thread: always through the main queue
    subject->sendNext(ns::num(3)); // on the main thread, but queued behind 2
    EXPECT_EQ(log.text(), "1");
    testkit::drainMainQueue();
    EXPECT_EQ(log.text(), "1 2 3");
    EXPECT_TRUE(allOnMain);
    subject->sendNext(ns::num(4)); // the queue is empty again: inline
    EXPECT_EQ(log.text(), "1 2 3 4");
    log.dispose();
}

TEST(DeliverOnMainThread, ValuesSentFromInsideAQueuedDeliveryFollowIt) {
    auto subject = Subject::subject();
    std::string seenInside = "?";
    testkit::Recorder log = record(subject->deliverOnMainThread()->doNext([&](const Id& v) {
        if (num(v) != 3) return;
        subject->sendNext(ns::num(1));
        subject->sendNext(ns::num(2));
        seenInside = log.text(); // 3 itself is recorded once this returns
    }));
    std::thread([&] { subject->sendNext(ns::num(3)); }).join();
    testkit::drainMainQueue();
    EXPECT_EQ(seenInside, ""); // not delivered nested inside the queued delivery
    EXPECT_EQ(log.text(), "3 1 2");
    log.dispose();
}

TEST(DeliverOnMainThread, EachProducerThreadKeepsItsOrder) {
    constexpr int kProducers = 4, kPerProducer = 500;
    auto subject = Subject::subject();
    std::vector<long> last(kProducers, -1);
    int received = 0;
    bool inOrder = true, allOnMain = true;
    auto d = subject->deliverOnMainThread()->subscribeNext([&](const Id& v) {
        long p = num(v) / 100000, i = num(v) % 100000;
        inOrder = inOrder && i == last[p] + 1;
        allOnMain = allOnMain && ns::Thread::isMainThread();
        last[p] = i;
        ++received;
    });
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                subject->sendNext(ns::num(p * 100000 + i));
        });
    for (auto& t : producers)
        t.join();
    EXPECT_EQ(received, 0);
    testkit::drainMainQueue();
    EXPECT_EQ(received, kProducers * kPerProducer);
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(allOnMain);
    d->dispose();
}

TEST(DeliverOn, EventsRunOnTheSchedulerAndAreDroppedAfterDisposal) {
    auto scheduler = rt::make<es::TestScheduler>();
    auto subject = Subject::subject();
    auto log = record(subject->deliverOn(scheduler));
    subject->sendNext(ns::num(1));
    subject->sendNext(ns::num(2));
    EXPECT_EQ(log.text(), "");
    scheduler->step();
    EXPECT_EQ(log.text(), "1");
    log.dispose();
    EXPECT_EQ(scheduler->scheduledActionCount(), 1u); // not cancelled...
    scheduler->stepAll();
    EXPECT_EQ(log.text(), "1"); // ...but dropped
}

// ---- Delivery through a queue of events per subscription ----

// The numbers from..to as the recorder writes them, with `end` after them.
std::string numbers(int from, int to, const std::string& end = "") {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += (text.empty() ? "" : " ") + std::to_string(i);
    return end.empty() ? text : text + " " + end;
}

void sendNumbers(const Ref<Subject>& subject, int from, int to) {
    for (int i = from; i <= to; ++i)
        subject->sendNext(ns::num(i));
}

// Sends three new objects (any kind will do); returns weak references to them.
std::vector<rt::Weak<es::Disposable>> sendObjects(const Ref<Subject>& subject) {
    std::vector<rt::Weak<es::Disposable>> sent;
    for (int i = 0; i < 3; ++i) {
        auto object = es::Disposable::make();
        sent.emplace_back(object);
        subject->sendNext(object);
    }
    return sent;
}

// Holds a scheduler's queue until opened: its blocks wait behind the one running now.
class Gate {
public:
    explicit Gate(const Ref<Scheduler>& scheduler) {
        scheduler->schedule([this] {
            entered_.countDown();
            EXPECT_TRUE(open_.wait());
        });
        EXPECT_TRUE(entered_.wait());
    }
    void open() { open_.countDown(); }

private:
    testkit::Latch entered_, open_;
};

// Waits until the scheduler has run everything scheduled on it so far.
void settle(const Ref<Scheduler>& scheduler) {
    testkit::Latch ran;
    scheduler->schedule([&] { ran.countDown(); });
    EXPECT_TRUE(ran.wait());
}

TEST(DeliverOn, ProducersOnSeveralThreadsEachKeepTheirOrderAndDeliveriesNeverOverlap) {
    constexpr int kProducers = 4, kPerProducer = 2000;
    // Its blocks could run side by side: the queue of events still sends one at a time.
    Ref<Scheduler> scheduler = es::QueueScheduler::withNameQueue("deliver-on.concurrent", dispatch::Queue::global());
    auto subject = Subject::subject();
    std::vector<long> last(kProducers, -1);
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false}, inOrder{true}, onScheduler{true};
    testkit::Latch all(kProducers * kPerProducer);
    auto d = subject->deliverOn(scheduler)->subscribeNext([&](const Id& v) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        long p = num(v) / 100000, i = num(v) % 100000;
        if (i != last[p] + 1) inOrder = false;
        last[p] = i;
        if (Scheduler::currentScheduler() != scheduler) onScheduler = false;
        inside.fetch_sub(1);
        all.countDown();
    });
    {
        std::vector<std::jthread> producers; // each sends its burst at once; joined at the brace
        for (int p = 0; p < kProducers; ++p)
            producers.emplace_back([&, p] { sendNumbers(subject, p * 100000, p * 100000 + kPerProducer - 1); });
    }
    ASSERT_TRUE(all.wait());
    EXPECT_FALSE(overlapped.load());
    EXPECT_TRUE(inOrder.load());
    EXPECT_TRUE(onScheduler.load());
    d->dispose();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(DeliverOn, AnErrorOrACompletionAfterQueuedValuesArrivesAfterThem) {
    auto scheduler = Scheduler::scheduler();
    auto failing = Subject::subject(), completing = Subject::subject();
    auto failed = record(failing->deliverOn(scheduler));
    auto completed = record(completing->deliverOn(scheduler));
    Gate gate(scheduler);
    sendNumbers(failing, 1, 150); // more than one block sends
    sendNumbers(completing, 1, 150);
    failing->sendError(ns::Error::make("Test", 7));
    completing->sendCompleted();
    EXPECT_EQ(failed.text(), "");
    gate.open();
    EXPECT_TRUE(failed.waitFor(numbers(1, 150, "E7")));
    EXPECT_TRUE(completed.waitFor(numbers(1, 150, "C")));
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(DeliverOn, ALongQueueLetsOtherWorkOnTheSchedulerInBetween) {
    auto scheduler = Scheduler::scheduler();
    auto subject = Subject::subject();
    std::atomic<int> received{0};
    testkit::Latch all(1000);
    auto d = subject->deliverOn(scheduler)->subscribeNext([&](const Id&) {
        ++received;
        all.countDown();
    });
    std::atomic<int> seenByOther{-1};
    Gate gate(scheduler);
    sendNumbers(subject, 1, 1000);
    scheduler->schedule([&] { seenByOther = received.load(); }); // queued after the first drain
    gate.open();
    ASSERT_TRUE(all.wait());
    settle(scheduler);
    EXPECT_GT(seenByOther, 0);
    EXPECT_LT(seenByOther, 1000);
    d->dispose();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(DeliverOn, DisposalStopsQueuedEventsAndReleasesThemAtOnce) {
    auto scheduler = Scheduler::scheduler();
    auto subject = Subject::subject();
    auto log = record(subject->deliverOn(scheduler));
    Gate gate(scheduler);
    auto sent = sendObjects(subject);
    subject->sendCompleted();
    log.dispose();
    for (const auto& weak : sent)
        EXPECT_FALSE(weak.lock()); // before the scheduler got to them
    gate.open();
    settle(scheduler);
    EXPECT_EQ(log.text(), "");
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(DeliverOn, ValuesSentFromInsideADeliveryFollowIt) {
    auto scheduler = Scheduler::scheduler();
    auto subject = Subject::subject();
    std::string seenInside = "?";
    testkit::Recorder log = record(subject->deliverOn(scheduler)->doNext([&](const Id& v) {
        if (num(v) != 3) return;
        subject->sendNext(ns::num(1));
        subject->sendNext(ns::num(2));
        seenInside = log.text();
    }));
    subject->sendNext(ns::num(3));
    EXPECT_TRUE(log.waitFor("3 1 2"));
    settle(scheduler);
    EXPECT_EQ(seenInside, ""); // not delivered nested inside the delivery
    log.dispose();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(DeliverOn, WithoutASchedulerEachEventIsSentAtOnceNestedInADeliveryThatSentIt) {
    auto subject = Subject::subject();
    std::string seenInside = "?";
    testkit::Recorder log = record(subject->deliverOn(nullptr)->doNext([&](const Id& v) {
        if (num(v) != 3) return;
        subject->sendNext(ns::num(1));
        seenInside = log.text();
    }));
    subject->sendNext(ns::num(3));
    EXPECT_EQ(seenInside, "1");
    EXPECT_EQ(log.text(), "1 3");
    subject->sendError(ns::Error::make("Test", 7));
    EXPECT_EQ(log.text(), "1 3 E7");
}

TEST(DeliverOnMainThread, AnErrorAfterQueuedValuesArrivesAfterThem) {
    auto subject = Subject::subject();
    auto log = record(subject->deliverOnMainThread());
    std::thread([&] {
        sendNumbers(subject, 1, 150);
        subject->sendError(ns::Error::make("Test", 7));
    }).join();
    EXPECT_EQ(log.text(), "");
    testkit::drainMainQueue();
    EXPECT_EQ(log.text(), numbers(1, 150, "E7"));
}

TEST(DeliverOnMainThread, ALongQueueLetsOtherMainQueueWorkInBetween) {
    auto subject = Subject::subject();
    int received = 0, seenByOther = -1;
    auto d = subject->deliverOnMainThread()->subscribeNext([&](const Id&) { ++received; });
    std::thread([&] {
        sendNumbers(subject, 1, 1000);
        dispatch::async(dispatch::Queue::main(), [&] { seenByOther = received; });
    }).join();
    testkit::drainMainQueue();
    EXPECT_EQ(received, 1000);
    EXPECT_GT(seenByOther, 0);
    EXPECT_LT(seenByOther, 1000);
    d->dispose();
}

TEST(DeliverOnMainThread, DisposalStopsQueuedEventsAndReleasesThemAtOnce) {
    auto subject = Subject::subject();
    auto log = record(subject->deliverOnMainThread());
    std::vector<rt::Weak<es::Disposable>> sent;
    std::thread([&] { sent = sendObjects(subject); }).join();
    log.dispose();
    for (const auto& weak : sent)
        EXPECT_FALSE(weak.lock()); // before the main queue got to them
    testkit::drainMainQueue();
    EXPECT_EQ(log.text(), "");
    subject->sendNext(ns::num(1)); // nothing more, not even at once
    EXPECT_EQ(log.text(), "");
}

TEST(SubscribeOn, SubscribesOnTheScheduler) {
    auto background = Scheduler::scheduler();
    std::atomic<int> subscriptions{0};
    std::atomic<bool> onScheduler{false};
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        ++subscriptions;
        onScheduler = Scheduler::currentScheduler() == background && !ns::Thread::isMainThread();
        s->sendNext(ns::num(7));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    auto log = record(source->subscribeOn(background));
    EXPECT_TRUE(log.waitFor("7 C"));
    EXPECT_TRUE(onScheduler);
    EXPECT_EQ(subscriptions.load(), 1);
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

TEST(SubscribeOn, DisposalBeforeTheSchedulerRunsItCancelsTheSubscription) {
    std::atomic<int> subscriptions{0};
    auto test = rt::make<es::TestScheduler>();
    auto cancelled = counted(subscriptions)->subscribeOn(test)->subscribeNext([](const Id&) {});
    cancelled->dispose();
    test->stepAll();
    EXPECT_EQ(subscriptions.load(), 0);
}

TEST(Multicasting, ReplaySubscribesAtOnceAndReplaysEverythingToEverySubscriber) {
    std::atomic<int> subscriptions{0};
    auto replayed = counted(subscriptions)->replay();
    EXPECT_EQ(subscriptions.load(), 1); // at the call, with no subscriber
    auto a = record(replayed);
    auto b = record(replayed);
    EXPECT_EQ(a.text(), "1 2 3 C");
    EXPECT_EQ(b.text(), "1 2 3 C");
    EXPECT_EQ(subscriptions.load(), 1);
}

TEST(Multicasting, ReplayLastReplaysTheLastValue) {
    std::atomic<int> subscriptions{0};
    auto last = record(counted(subscriptions)->replayLast());
    EXPECT_EQ(last.text(), "3 C");
}

TEST(Multicasting, ReplayLazilySubscribesAtTheFirstSubscriptionOnly) {
    std::atomic<int> subscriptions{0};
    auto lazy = counted(subscriptions)->replayLazily();
    EXPECT_EQ(subscriptions.load(), 0);
    auto first = record(lazy);
    auto second = record(lazy);
    EXPECT_EQ(subscriptions.load(), 1);
    EXPECT_EQ(first.text(), "1 2 3 C");
    EXPECT_EQ(second.text(), "1 2 3 C");
}

TEST(Multicasting, PublishSubscribesOnConnect) {
    std::atomic<int> subscriptions{0};
    auto connection = counted(subscriptions)->publish();
    auto published = record(connection->signal());
    EXPECT_EQ(subscriptions.load(), 0);
    EXPECT_EQ(published.text(), "");
    connection->connect();
    EXPECT_EQ(subscriptions.load(), 1);
    EXPECT_EQ(published.text(), "1 2 3 C");
}

TEST(Multicasting, LetSharesOneSubscriptionPerSubscriber) {
    std::atomic<int> subscriptions{0};
    auto shared = counted(subscriptions)->let([](const Ref<Signal>& s) {
        return Signal::merge({s, s->map([](const Id& v) { return Id(ns::num(num(v) * 10)); })});
    });
    auto first = record(shared);
    EXPECT_EQ(first.text(), "1 10 2 20 3 30 C");
    EXPECT_EQ(subscriptions.load(), 1);
    auto second = record(shared);
    EXPECT_EQ(subscriptions.load(), 2);
}

} // namespace
