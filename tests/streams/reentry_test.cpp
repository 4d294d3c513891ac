// Delivery under re-entry and from several threads: counts that hold whatever the senders do,
// events that keep their order, and subscriber blocks that never die under a lock.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/runtime/number.h"
#include "streams/subject.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Signal;
using es::Subject;
using es::Subscriber;
using rt::Id;
using rt::Ref;

// Runs `body(i)` on `count` plain threads (no current scheduler) released together, and joins.
template <class F>
void onPlainThreads(int count, F body) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (!go.load()) std::this_thread::yield();
            body(i);
        });
    }
    while (ready.load() < count) std::this_thread::yield();
    go = true;
    for (auto& t : threads) t.join();
}

TEST(TakeUnderReentry, ASubscriberSendingIntoTheSourceGetsOneValue) {
    auto source = Subject::subject();
    std::vector<long> seen;
    bool completed = false;
    source->take(1)->subscribeNextCompleted(
        [&](const Id& v) {
            seen.push_back(rt::cast<ns::Number>(v)->longValue());
            for (long i = 11; i <= 15; ++i) source->sendNext(ns::num(i));
        },
        [&] { completed = true; });
    source->sendNext(ns::num(1L));
    EXPECT_EQ(seen, std::vector<long>{1});
    EXPECT_TRUE(completed);
}

TEST(TakeUnderReentry, TakeTwoCountsReentrantValuesToo) {
    auto source = Subject::subject();
    std::string text;
    source->take(2)->subscribeNextCompleted(
        [&](const Id& v) {
            text += testkit::show(v) + " ";
            if (rt::cast<ns::Number>(v)->longValue() == 1) {
                source->sendNext(ns::num(2));
                source->sendNext(ns::num(3));
            }
        },
        [&] { text += "C"; });
    source->sendNext(ns::num(1));
    source->sendNext(ns::num(4));
    EXPECT_EQ(text, "1 2 C");
}

TEST(TakeUnderThreads, PlainThreadsSendingAtOnceGetOneValue) {
    for (int round = 0; round < 20; ++round) {
        auto source = Subject::subject();
        auto recorder = testkit::record(source->take(1));
        onPlainThreads(8, [&](int i) {
            for (int k = 0; k < 50; ++k) source->sendNext(ns::num(i * 100 + k));
        });
        ASSERT_TRUE(testkit::waitForWorkersIdle());
        ASSERT_TRUE(recorder.hasCompleted()) << recorder.text();
        ASSERT_EQ(recorder.values().size(), 1u) << "round " << round << ": " << recorder.text();
    }
}

TEST(BindStopFlag, NoReceiverValueIsBoundAfterTheStop) {
    auto source = Subject::subject();
    int calls = 0;
    auto bound = source->bind([&] {
        return es::Stream::BindBlock([&](const Id& v, bool& stop) -> Ref<es::Stream> {
            ++calls;
            stop = true;
            return Signal::returnValue(v);
        });
    });
    auto recorder = testkit::record(bound);
    // The first delivery sends more into the source before the bind has finished stopping.
    auto reentry = bound->subscribeNext([&](const Id&) { source->sendNext(ns::num(2)); });
    calls = 0;
    source->sendNext(ns::num(1));
    EXPECT_EQ(calls, 2); // once per subscription, never for the value sent from inside
    EXPECT_EQ(recorder.text(), "1 C");
}

TEST(OrderFromPlainThreads, AValueBeforeAnErrorIsDeliveredFirst) {
    for (int round = 0; round < 20; ++round) {
        Ref<Subscriber> captured;
        auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
            captured = s;
            return nullptr;
        });
        auto recorder = testkit::record(source->map([](const Id& v) { return v; }));
        ASSERT_TRUE(captured);
        std::thread([&] {
            captured->sendNext(ns::num(1));
            captured->sendError(ns::Error::make("Test", 7));
        }).join();
        ASSERT_TRUE(testkit::waitForWorkersIdle());
        EXPECT_EQ(recorder.text(), "1 E7") << "round " << round;
        captured = nullptr;
    }
}

TEST(OrderFromPlainThreads, FlattenMapOfConstantSignalsKeepsOrder) {
    Ref<Subscriber> captured;
    auto source = Signal::createSignal([&](const Ref<Subscriber>& s) {
        captured = s;
        return nullptr;
    });
    auto recorder = testkit::record(source->flattenMap([](const Id& v) { return Signal::returnValue(v); }));
    std::thread([&] {
        captured->sendNext(ns::num(1));
        captured->sendNext(ns::num(2));
        captured->sendCompleted();
    }).join();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(recorder.text(), "1 2 C");
    captured = nullptr;
}

// Destroyed with the blocks that hold it: proves they die without the subscriber's lock held,
// because another thread must deliver into that same subscriber first.
class DeliversFromAnotherThreadOnDestruction {
public:
    DeliversFromAnotherThreadOnDestruction(Ref<Subscriber>* target, bool* delivered, std::thread* other)
        : target_(target), delivered_(delivered), other_(other) {}
    DeliversFromAnotherThreadOnDestruction(const DeliversFromAnotherThreadOnDestruction&) = delete;
    ~DeliversFromAnotherThreadOnDestruction() {
        auto latch = std::make_shared<testkit::Latch>();
        Ref<Subscriber> target = *target_;
        // Joined by the test once the disposal has returned (and let go of any lock).
        *other_ = std::thread([latch, target] {
            target->sendNext(ns::num(1)); // needs the subscriber's lock
            latch->countDown();
        });
        *delivered_ = static_cast<bool>(latch->wait());
    }

private:
    Ref<Subscriber>* target_;
    bool* delivered_;
    std::thread* other_;
};

TEST(BlockSubscriber, DisposalDestroysTheBlocksOutsideItsLock) {
    Ref<Subscriber> subscriber;
    bool delivered = false;
    std::thread other;
    auto guard = std::make_shared<DeliversFromAnotherThreadOnDestruction>(&subscriber, &delivered, &other);
    auto block = es::BlockSubscriber::subscriberWithNextErrorCompleted([guard](const Id&) {}, nullptr, nullptr);
    subscriber = block;
    guard = nullptr; // the block holds the only reference now
    block->disposable()->dispose();
    other.join();
    EXPECT_TRUE(delivered);
    subscriber = nullptr;
}

} // namespace

namespace {

TEST(SubscriberSerialisation, ManyThreadsDeliverOneAtATimeAndNoneIsLost) {
    constexpr int kThreads = 8, kEach = 20000;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    long delivered = 0; // only ever touched inside the subscriber's lock
    auto subscriber = es::BlockSubscriber::subscriberWithNextErrorCompleted(
        [&](const Id&) {
            if (inside.fetch_add(1) != 0) overlapped = true;
            ++delivered;
            inside.fetch_sub(1);
        },
        nullptr, nullptr);
    Id value = ns::num(1);
    onPlainThreads(kThreads, [&](int) {
        for (int i = 0; i < kEach; ++i) subscriber->sendNext(value);
    });
    EXPECT_FALSE(overlapped.load());
    EXPECT_EQ(delivered, static_cast<long>(kThreads) * kEach);
}

TEST(SubscriberSerialisation, AThreadWaitsOutALongDeliveryOnAnother) {
    testkit::Latch entered, release;
    std::vector<int> order;
    auto subscriber = es::BlockSubscriber::subscriberWithNextErrorCompleted(
        [&](const Id& v) {
            int n = static_cast<int>(rt::cast<ns::Number>(v)->longValue());
            order.push_back(n);
            if (n == 1) {
                entered.countDown();
                EXPECT_TRUE(release.wait());
            }
        },
        nullptr, nullptr);
    std::thread first([&] { subscriber->sendNext(ns::num(1)); });
    ASSERT_TRUE(entered.wait());
    std::thread second([&] { subscriber->sendNext(ns::num(2)); }); // sleeps on the lock
    release.countDown();
    first.join();
    second.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

} // namespace

namespace {

// Subscribers joining and leaving on some threads while others send: every event reaches the
// subscribers of its moment, and every subscriber that stays to the end sees the last value.
TEST(SubjectUnderThreads, SubscribersJoinAndLeaveWhileOthersSend) {
    auto subject = Subject::subject();
    std::atomic<long> delivered{0};
    std::atomic<bool> sending{true};
    std::vector<std::thread> churners;
    for (int t = 0; t < 3; ++t) {
        churners.emplace_back([&] {
            while (sending.load()) {
                auto d = subject->subscribeNext([&](const Id&) { ++delivered; });
                std::this_thread::yield();
                d->dispose();
            }
        });
    }
    auto stayer = testkit::record(subject);
    onPlainThreads(4, [&](int) {
        for (int i = 0; i < 5000; ++i) subject->sendNext(ns::num(i));
    });
    sending = false;
    for (auto& t : churners) t.join();
    subject->sendCompleted();
    EXPECT_EQ(stayer.values().size(), 4u * 5000u);
    EXPECT_TRUE(stayer.hasCompleted());
    std::size_t left = 0;
    subject->enumerateSubscribersUsingBlock([&](const Ref<es::Subscriber>&) { ++left; });
    EXPECT_EQ(left, 0u);
}

} // namespace
