#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "tests/testkit/main_loop.h"

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

// Events as text ("1 2 C"), from any thread.
struct Log {
    std::mutex m;
    std::condition_variable cv;
    std::string text;
    void add(const std::string& s) {
        std::lock_guard g(m);
        text += (text.empty() ? "" : " ") + s;
        cv.notify_all();
    }
    std::string get() {
        std::lock_guard g(m);
        return text;
    }
    // Bounded real-time wait for other threads.
    bool waitFor(const std::string& expected) {
        std::unique_lock g(m);
        return cv.wait_for(g, std::chrono::seconds(10), [&] { return text == expected; });
    }
};

Ref<es::Disposable> record(const Ref<Signal>& s, Log& log) {
    return s->subscribeNextErrorCompleted([&log](const Id& v) { log.add(std::to_string(num(v))); },
                                          [&log](const Ref<ns::Error>&) { log.add("E"); },
                                          [&log] { log.add("C"); });
}

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
    Log log;
    bool allOnMain = true;
    auto d = subject->deliverOnMainThread()->subscribeNext([&](const Id& v) {
        allOnMain = allOnMain && ns::Thread::isMainThread();
        log.add(std::to_string(num(v)));
    });
    subject->sendNext(ns::num(1));
    EXPECT_EQ(log.get(), "1"); // before sendNext returned

    std::thread([&] { subject->sendNext(ns::num(2)); }).join();
    EXPECT_EQ(log.get(), "1");     // from another thread: always through the main queue
    subject->sendNext(ns::num(3)); // on the main thread, but queued behind 2
    EXPECT_EQ(log.get(), "1");
    testkit::drainMainQueue();
    EXPECT_EQ(log.get(), "1 2 3");
    EXPECT_TRUE(allOnMain);
    subject->sendNext(ns::num(4)); // the queue is empty again: inline
    EXPECT_EQ(log.get(), "1 2 3 4");
    d->dispose();
}

TEST(DeliverOnMainThread, ValuesSentFromInsideAQueuedDeliveryFollowIt) {
    auto subject = Subject::subject();
    Log log;
    std::string seenInside;
    auto d = subject->deliverOnMainThread()->subscribeNext([&](const Id& v) {
        log.add(std::to_string(num(v)));
        if (num(v) != 3) return;
        subject->sendNext(ns::num(1));
        subject->sendNext(ns::num(2));
        seenInside = log.get();
    });
    std::thread([&] { subject->sendNext(ns::num(3)); }).join();
    testkit::drainMainQueue();
    EXPECT_EQ(seenInside, "3"); // not delivered nested inside the queued delivery
    EXPECT_EQ(log.get(), "3 1 2");
    d->dispose();
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
    Log log;
    auto d = record(subject->deliverOn(scheduler), log);
    subject->sendNext(ns::num(1));
    subject->sendNext(ns::num(2));
    EXPECT_EQ(log.get(), "");
    scheduler->step();
    EXPECT_EQ(log.get(), "1");
    d->dispose();
    EXPECT_EQ(scheduler->scheduledActionCount(), 1u); // not cancelled...
    scheduler->stepAll();
    EXPECT_EQ(log.get(), "1"); // ...but dropped
}

TEST(SubscribeOn, SubscribesOnTheSchedulerAndDisposalFirstCancels) {
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
    Log log;
    record(source->subscribeOn(background), log);
    EXPECT_TRUE(log.waitFor("7 C"));
    EXPECT_TRUE(onScheduler);
    ASSERT_TRUE(testkit::waitForWorkersIdle());

    auto test = rt::make<es::TestScheduler>();
    auto cancelled = source->subscribeOn(test)->subscribeNext([](const Id&) {});
    cancelled->dispose();
    test->stepAll();
    EXPECT_EQ(subscriptions.load(), 1);
}

TEST(Multicasting, ReplayFormsAndPublish) {
    std::atomic<int> subscriptions{0};
    auto replayed = counted(subscriptions)->replay();
    EXPECT_EQ(subscriptions.load(), 1); // at the call, with no subscriber
    Log a, b;
    record(replayed, a);
    record(replayed, b);
    EXPECT_EQ(a.get(), "1 2 3 C");
    EXPECT_EQ(b.get(), "1 2 3 C");
    EXPECT_EQ(subscriptions.load(), 1);

    Log last;
    record(counted(subscriptions)->replayLast(), last);
    EXPECT_EQ(last.get(), "3 C");

    subscriptions = 0;
    auto lazy = counted(subscriptions)->replayLazily();
    EXPECT_EQ(subscriptions.load(), 0);
    Log first, second;
    record(lazy, first);
    record(lazy, second);
    EXPECT_EQ(subscriptions.load(), 1);
    EXPECT_EQ(first.get(), "1 2 3 C");
    EXPECT_EQ(second.get(), "1 2 3 C");

    auto connection = counted(subscriptions)->publish();
    Log published;
    record(connection->signal(), published);
    EXPECT_EQ(subscriptions.load(), 1);
    EXPECT_EQ(published.get(), "");
    connection->connect();
    EXPECT_EQ(subscriptions.load(), 2);
    EXPECT_EQ(published.get(), "1 2 3 C");
}

TEST(Multicasting, LetSharesOneSubscriptionPerSubscriber) {
    std::atomic<int> subscriptions{0};
    auto shared = counted(subscriptions)->let([](const Ref<Signal>& s) {
        return Signal::merge({s, s->map([](const Id& v) { return Id(ns::num(num(v) * 10)); })});
    });
    Log log;
    record(shared, log);
    EXPECT_EQ(log.get(), "1 10 2 20 3 30 C");
    EXPECT_EQ(subscriptions.load(), 1);
    record(shared, log);
    EXPECT_EQ(subscriptions.load(), 2);
}

} // namespace
