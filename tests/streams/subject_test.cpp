#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/runtime/number.h"
#include "streams/multicast_connection.h"
#include "streams/subject.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::BehaviorSubject;
using es::BlockSubscriber;
using es::Disposable;
using es::MulticastConnection;
using es::ReplaySubject;
using es::Signal;
using es::Subject;
using rt::Id;
using rt::Ref;

using testkit::record;
using testkit::Recorder;

std::size_t subscriberCount(Subject& subject) {
    std::size_t n = 0;
    subject.enumerateSubscribersUsingBlock([&](const Ref<es::Subscriber>&) { ++n; });
    return n;
}

// Spins (bounded, real time) until the flag reaches the value.
void spinUntilAtLeast(const std::atomic<int>& flag, int value) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (flag.load() < value && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

TEST(Subject, DeliversToCurrentSubscribersOnly) {
    auto subject = Subject::subject();
    auto early = record(subject);
    subject->sendNext(ns::num(1));
    auto late = record(subject);
    subject->sendNext(nullptr);
    subject->sendCompleted();
    EXPECT_EQ(early.text(), "1 nil C");
    EXPECT_EQ(late.text(), "nil C");
    EXPECT_EQ(subscriberCount(*subject), 0u); // the terminated subscribers left

    auto afterEnd = record(subject); // the completion is not remembered
    subject->sendNext(ns::num(2));
    EXPECT_EQ(afterEnd.text(), "2");
}

TEST(Subject, SubscriptionDisposedByTheCallerLeavesTheListAndReleasesItsSubscriber) {
    auto subject = Subject::subject();
    auto subscriber = BlockSubscriber::subscriberWithNextErrorCompleted(nullptr, nullptr, nullptr);
    rt::Weak<BlockSubscriber> weak(subscriber);
    auto d = subject->subscribe(subscriber);
    subscriber = nullptr;
    EXPECT_EQ(subscriberCount(*subject), 1u);
    EXPECT_TRUE(weak.lock());
    d->dispose();
    EXPECT_EQ(subscriberCount(*subject), 0u);
    EXPECT_FALSE(weak.lock());
}

TEST(Subject, SubscriptionEndedByTheSubscriberTerminatingLeavesTheListAndReleasesIt) {
    auto subject = Subject::subject();
    auto subscriber = BlockSubscriber::subscriberWithNextErrorCompleted(nullptr, nullptr, nullptr);
    rt::Weak<BlockSubscriber> weak(subscriber);
    auto d = subject->subscribe(subscriber);
    d = nullptr;
    subscriber->sendCompleted();
    subscriber = nullptr;
    EXPECT_EQ(subscriberCount(*subject), 0u);
    EXPECT_FALSE(weak.lock());
}

TEST(Subject, SubscriptionEndedByAnOperatorDownstreamLeavesTheList) {
    auto subject = Subject::subject();
    auto log = record(subject->take(1)); // take(1) ends its subscription to the subject
    subject->sendNext(ns::num(1));
    EXPECT_EQ(log.text(), "1 C");
    EXPECT_EQ(subscriberCount(*subject), 0u);
}

TEST(Subject, SubscriberThatHadAlreadyTerminatedIsNotKept) {
    auto subject = Subject::subject();
    auto subscriber = BlockSubscriber::subscriberWithNextErrorCompleted(nullptr, nullptr, nullptr);
    subscriber->sendCompleted();
    EXPECT_TRUE(subject->subscribe(subscriber)->isDisposed());
    EXPECT_EQ(subscriberCount(*subject), 0u);
}

// Who gets what while subscribers join and leave during a delivery. "0", "a" and "b" subscribe in
// that order; "a" acts when 1 (or the completion) reaches it; then 2, the completion and 4 are
// sent. An event goes to the subscribers of the moment it was sent that are still subscribed when
// their turn comes.
struct Crowd {
    Ref<Subject> subject = Subject::subject();
    std::map<std::string, Recorder> recorders;
    void join(const std::string& name) { recorders.emplace(name, record(subject)); }
    void leave(const std::string& name) { recorders.at(name).dispose(); }
    std::string texts() const {
        std::string all;
        for (const auto& [name, r] : recorders) all += (all.empty() ? "" : " | ") + name + ":" + r.text();
        return all;
    }
};

struct DuringDelivery {
    const char* name;
    bool onCompletion;
    std::function<void(Crowd&)> act;
    std::string expected;
};

std::string joiners(int count, const std::string& text) {
    std::string all;
    for (int i = 0; i < count; ++i) all += " | c" + std::to_string(100 + i) + ":" + text;
    return all;
}

class SubjectDuringDelivery : public ::testing::TestWithParam<DuringDelivery> {};

TEST_P(SubjectDuringDelivery, SendsEachEventToTheSubscribersOfItsMoment) {
    const DuringDelivery& row = GetParam();
    Crowd crowd;
    crowd.join("0");
    bool acted = false;
    auto once = [&] {
        if (!std::exchange(acted, true)) row.act(crowd);
    };
    Ref<Signal> actor = row.onCompletion ? crowd.subject->doCompleted(once)
                                         : crowd.subject->doNext([&](const Id&) { once(); });
    crowd.recorders.emplace("a", record(actor));
    crowd.join("b");
    crowd.subject->sendNext(ns::num(1));
    crowd.subject->sendNext(ns::num(2));
    crowd.subject->sendCompleted();
    crowd.subject->sendNext(ns::num(4));
    EXPECT_EQ(crowd.texts(), row.expected);
    for (auto& [name, r] : crowd.recorders) r.dispose();
}

INSTANTIATE_TEST_SUITE_P(
    Subject, SubjectDuringDelivery,
    ::testing::Values(
        DuringDelivery{"LaterSubscriberLeaves", false, [](Crowd& c) { c.leave("b"); }, "0:1 2 C | a:1 2 C | b:"},
        DuringDelivery{"EarlierSubscriberLeaves", false, [](Crowd& c) { c.leave("0"); },
                       "0:1 | a:1 2 C | b:1 2 C"},
        DuringDelivery{"OneJoins", false, [](Crowd& c) { c.join("c"); }, "0:1 2 C | a:1 2 C | b:1 2 C | c:2 C"},
        DuringDelivery{"ManyJoin", false,
                       [](Crowd& c) {
                           for (int i = 0; i < 64; ++i) c.join("c" + std::to_string(100 + i));
                       },
                       "0:1 2 C | a:1 2 C | b:1 2 C" + joiners(64, "2 C")},
        DuringDelivery{"OneLeavesAnotherJoins", false,
                       [](Crowd& c) {
                           c.leave("b");
                           c.join("c");
                       },
                       "0:1 2 C | a:1 2 C | b: | c:2 C"},
        DuringDelivery{"ItSendsAgain", false,
                       [](Crowd& c) {
                           c.join("c");
                           c.subject->sendNext(ns::num(3));
                       },
                       "0:1 3 2 C | a:3 1 2 C | b:3 1 2 C | c:3 2 C"},
        DuringDelivery{"OneJoinsDuringTheCompletion", true, [](Crowd& c) { c.join("c"); },
                       "0:1 2 C | a:1 2 C | b:1 2 C | c:4"},
        DuringDelivery{"OneLeavesDuringTheCompletion", true, [](Crowd& c) { c.leave("b"); },
                       "0:1 2 C | a:1 2 C | b:1 2"}),
    [](const ::testing::TestParamInfo<DuringDelivery>& info) { return std::string(info.param.name); });

TEST(Subject, ASubscriberMayLetGoOfTheSubjectWhileItSends) {
    for (bool completing : {false, true}) {
        auto subject = Subject::subject();
        auto first = subject->subscribeNextCompleted([&](const Id&) { subject = nullptr; }, [&] { subject = nullptr; });
        auto second = record(subject);
        Subject* raw = subject.get();
        if (completing) raw->sendCompleted(); // the last reference goes inside
        else raw->sendNext(ns::num(1));
        EXPECT_FALSE(subject);
        EXPECT_EQ(second.text(), completing ? "C" : "1"); // the others still get the event
    }
}

TEST(Subject, TerminationEndsTheSubjectsOwnSubscriptions) {
    int disposals = 0;
    Ref<es::Subscriber> failing;
    auto first = Signal::createSignal([&](const Ref<es::Subscriber>& s) {
        failing = s;
        return Ref<rt::Disposable>(Disposable::withBlock([&] { ++disposals; }));
    });
    auto second = Signal::createSignal([&](const Ref<es::Subscriber>&) {
        return Ref<rt::Disposable>(Disposable::withBlock([&] { ++disposals; }));
    });
    auto subject = Subject::subject();
    auto log = record(subject);
    first->subscribe(subject);
    second->subscribe(subject);
    EXPECT_EQ(disposals, 0);
    failing->sendNext(ns::num(1));
    failing->sendError(ns::Error::make("test", 7));
    EXPECT_EQ(log.text(), "1 E7");
    EXPECT_EQ(disposals, 2);
    EXPECT_TRUE(subject->disposable()->isDisposed());
    failing = nullptr;
}

// 1, nil and 3 sent before a subscriber joins, 4 and the completion after it; then another joins.
void expectReplay(std::uint64_t capacity, const std::string& replayed, const std::string& tail) {
    auto subject = ReplaySubject::replaySubjectWithCapacity(capacity);
    subject->sendNext(ns::num(1));
    subject->sendNext(nullptr);
    subject->sendNext(ns::num(3));
    auto live = record(subject);
    EXPECT_EQ(live.text(), replayed); // on the main thread the replay is inline
    subject->sendNext(ns::num(4));
    subject->sendCompleted();
    EXPECT_EQ(live.text(), replayed + (replayed.empty() ? "" : " ") + "4 C");
    auto completed = record(subject);
    EXPECT_EQ(completed.text(), tail);
}

TEST(ReplaySubject, WithNoCapacityReplaysOnlyTheTermination) {
    expectReplay(0, "", "C");
}

TEST(ReplaySubject, ReplaysUpToItsCapacityThenTheTermination) {
    expectReplay(2, "nil 3", "3 4 C");
}

TEST(ReplaySubject, UnlimitedReplaysEveryValueThenTheTermination) {
    expectReplay(ReplaySubject::kUnlimitedCapacity, "1 nil 3", "1 nil 3 4 C");
}

TEST(ReplaySubject, ReplaysTheValuesThenTheError) {
    auto failed = ReplaySubject::make();
    failed->sendNext(ns::num(1));
    failed->sendError(ns::Error::make("test", 9));
    auto log = record(failed);
    EXPECT_EQ(log.text(), "1 E9");
}

TEST(ReplaySubject, JoinWhileAnotherThreadSendsGetsEachValueOnceInOrder) {
    constexpr int kCount = 10000;
    for (int round = 0; round < 4; ++round) {
        auto subject = ReplaySubject::make();
        std::atomic<int> sent{0};
        std::vector<long long> received; // written by one sender at a time (the subscriber's lock)
        std::atomic<bool> completed{false};
        std::thread sender([&] {
            for (int i = 0; i < kCount; ++i) {
                subject->sendNext(ns::num(i));
                sent.store(i + 1);
            }
            subject->sendCompleted();
        });
        spinUntilAtLeast(sent, kCount / 8 * (round + 1));
        subject->subscribeNextCompleted(
            [&](const Id& v) { received.push_back(rt::cast<ns::Number>(v)->longLongValue()); },
            [&] { completed = true; });
        sender.join();
        ASSERT_TRUE(completed);
        ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount));
        for (int i = 0; i < kCount; ++i) ASSERT_EQ(received[i], i);
    }
}

TEST(BehaviorSubject, SendsTheCurrentValueFirstThenLaterValues) {
    auto subject = BehaviorSubject::behaviorSubjectWithDefaultValue(ns::num(1));
    auto first = record(subject);
    EXPECT_EQ(first.text(), "1"); // delivered before subscribe returned
    subject->sendNext(ns::num(2));
    auto second = record(subject);
    subject->sendNext(nullptr);
    EXPECT_EQ(first.text(), "1 2 nil");
    EXPECT_EQ(second.text(), "2 nil");
}

TEST(BehaviorSubject, WithoutADefaultValueSendsNilFirst) {
    auto nilDefault = record(BehaviorSubject::subject());
    EXPECT_EQ(nilDefault.text(), "nil");
}

TEST(BehaviorSubject, ConcurrentSenderNeverRepeatsOrReordersAValue) {
    constexpr int kCount = 4000;
    constexpr int kJoins = 40;
    for (int round = 0; round < 25; ++round) {
        auto subject = BehaviorSubject::behaviorSubjectWithDefaultValue(ns::num(0));
        std::atomic<int> sent{0};
        std::vector<std::vector<long long>> received(kJoins);
        std::vector<Ref<Disposable>> subscriptions;
        std::thread sender([&] {
            for (int i = 1; i <= kCount; ++i) {
                subject->sendNext(ns::num(i));
                sent.store(i);
            }
        });
        // Subscribers join one after another while the values go out.
        for (int j = 0; j < kJoins; ++j) {
            spinUntilAtLeast(sent, j * kCount / (2 * kJoins));
            subscriptions.push_back(subject->subscribeNext(
                [&, j](const Id& v) { received[j].push_back(rt::cast<ns::Number>(v)->longLongValue()); }));
        }
        sender.join();
        for (int j = 0; j < kJoins; ++j) {
            const auto& values = received[j];
            ASSERT_FALSE(values.empty()) << j;
            EXPECT_EQ(values.back(), kCount) << j;
            for (std::size_t i = 1; i < values.size(); ++i)
                ASSERT_EQ(values[i], values[i - 1] + 1) << j << " " << i;
        }
        for (const auto& d : subscriptions) d->dispose();
    }
}

// A source whose subscriptions and disposals are counted, and whose subscriber the test drives.
struct CountingSource {
    std::atomic<int> subscriptions{0};
    std::atomic<int> disposals{0};
    Ref<es::Subscriber> subscriber;
    Ref<Signal> signal = Signal::createSignal([this](const Ref<es::Subscriber>& s) {
        ++subscriptions;
        subscriber = s;
        return Ref<rt::Disposable>(Disposable::withBlock([this] { ++disposals; }));
    });
};

TEST(MulticastConnection, ConnectSubscribesOnceAndReturnsTheSameDisposable) {
    CountingSource source;
    auto connection = MulticastConnection::make(source.signal, Subject::subject());
    auto log = record(connection->signal());
    EXPECT_EQ(source.subscriptions, 0);
    auto first = connection->connect();
    EXPECT_EQ(first, connection->connect());
    EXPECT_EQ(first, connection->serialDisposable());
    EXPECT_EQ(source.subscriptions, 1);
    source.subscriber->sendNext(ns::num(1));
    EXPECT_EQ(log.text(), "1");

    first->dispose();
    EXPECT_EQ(source.disposals, 1);
    EXPECT_EQ(connection->connect(), first); // ended for good
    EXPECT_EQ(source.subscriptions, 1);
    source.subscriber->sendNext(ns::num(2));
    EXPECT_EQ(log.text(), "1");
}

TEST(MulticastConnection, RacingConnectsFromPlainThreadsSubscribeOnce) {
    CountingSource raced;
    auto racing = MulticastConnection::make(raced.signal, Subject::subject());
    std::vector<std::thread> threads;
    std::vector<Ref<Disposable>> results(8);
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] { results[t] = racing->connect(); });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(raced.subscriptions, 1);
    for (const auto& r : results) EXPECT_EQ(r, racing->serialDisposable());
    racing->serialDisposable()->dispose();
    EXPECT_EQ(raced.disposals, 1);
}

TEST(MulticastConnection, AutoconnectSharesOneSubscriptionAndNeverReconnects) {
    CountingSource source;
    auto subject = Subject::subject();
    auto shared = MulticastConnection::make(source.signal, subject)->autoconnect();
    auto a = record(shared);
    auto b = record(shared);
    EXPECT_EQ(source.subscriptions, 1);
    source.subscriber->sendNext(ns::num(1));
    EXPECT_EQ(a.text(), "1");
    EXPECT_EQ(b.text(), "1");

    a.dispose();
    EXPECT_EQ(source.disposals, 0);
    source.subscriber->sendNext(ns::num(2));
    EXPECT_EQ(a.text(), "1");
    EXPECT_EQ(b.text(), "1 2");
    b.dispose();
    EXPECT_EQ(source.disposals, 1);
    EXPECT_EQ(subscriberCount(*subject), 0u);

    auto c = record(shared);
    EXPECT_EQ(source.subscriptions, 1);
    source.subscriber->sendNext(ns::num(3));
    EXPECT_EQ(c.text(), "");
    subject->sendCompleted();
}

} // namespace
