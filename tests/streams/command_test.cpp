// Commands: enabled and executing, executions and their replay, errors, the enabled input, the
// concurrency flag, the active list's announcements, and execute from several threads.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/index_set.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/command.h"
#include "streams/property_signals.h"
#include "streams/subject.h"
#include "streams/tuple.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"
#include "tests/testkit/virtual_time.h"

namespace {

using es::Command;
using es::Signal;
using rt::Id;
using rt::Ref;
using testkit::drainMainQueue;
using testkit::record;

// Each test ends with the main loop settled: a command's end reaches its subscribers there.
using Commands = testkit::VirtualTimeTest;

// A signal whose subscribers the test holds, to send to them when it likes.
struct Pending {
    std::vector<Ref<es::Subscriber>> subscribers;
    Ref<Signal> signal() {
        return Signal::createSignal([this](const Ref<es::Subscriber>& s) { subscribers.push_back(s); });
    }
};

TEST_F(Commands, EnabledAtOnceThenDisabledWhileAnExecutionRuns) {
    Pending pending;
    std::vector<std::string> inputs;
    auto command = Command::withSignalBlock([&](const Id& input) {
        inputs.push_back(testkit::show(input));
        return pending.signal();
    });
    auto enabled = record(command->enabled());
    auto executing = record(command->executing());
    EXPECT_EQ(enabled.text(), "1"); // synchronously
    EXPECT_EQ(executing.text(), "0");

    auto first = record(command->execute(ns::str("go")));
    EXPECT_EQ(inputs, std::vector<std::string>{"go"}); // the block ran at once, on this thread
    EXPECT_TRUE(pending.subscribers.empty());         // the execution subscribes on a later turn
    EXPECT_EQ(command->activeExecutionSignals()->count(), 1u);

    drainMainQueue();
    ASSERT_EQ(pending.subscribers.size(), 1u);
    EXPECT_EQ(enabled.text(), "1 0");
    EXPECT_EQ(executing.text(), "0 1");

    // Disabled: fails at once, the block is not called, nothing is recorded.
    auto second = record(command->execute(ns::str("again")), {.errorDomains = true});
    EXPECT_EQ(second.text(), "E:ESCommandErrorDomain/1+info");
    EXPECT_EQ(second.error()->userInfo()->objectForKey(Command::kUnderlyingCommandErrorKey), Id(command));
    EXPECT_NE(second.error()->userInfo()->objectForKey(ns::LocalizedDescriptionKey), nullptr);
    EXPECT_EQ(inputs.size(), 1u);
    EXPECT_EQ(command->activeExecutionSignals()->count(), 1u);

    pending.subscribers[0]->sendNext(ns::num(7));
    pending.subscribers[0]->sendCompleted();
    drainMainQueue();
    EXPECT_EQ(first.text(), "7 C");
    EXPECT_EQ(enabled.text(), "1 0 1"); // equal values never repeated
    EXPECT_EQ(executing.text(), "0 1 0");
    EXPECT_EQ(command->activeExecutionSignals()->count(), 0u);
}

TEST_F(Commands, ConcurrentExecutionsRunSideBySideAndArriveInStartOrder) {
    Pending pending;
    auto command = Command::withSignalBlock([&](const Id&) { return pending.signal(); });
    auto concurrency = record(es::valuesForKeyPath(command, "allowsConcurrentExecution", nullptr));
    command->setAllowsConcurrentExecution(true);
    EXPECT_TRUE(command->allowsConcurrentExecution());
    EXPECT_EQ(concurrency.text(), "0 1"); // announced by hand

    auto enabled = record(command->enabled());
    auto executing = record(command->executing());
    auto executions = record(command->executionSignals()->flatten());
    auto changes = record(es::valuesAndChangesForKeyPath(command, "activeExecutionSignals",
                                                         ns::KeyValueObservingOptions::New, nullptr)
                              ->reduceEach([](const Id&, const Ref<ns::Dictionary>& change) -> Id {
                                  auto indexes = rt::cast<ns::IndexSet>(change->objectForKey("indexes"));
                                  return ns::str(testkit::show(change->objectForKey("kind")) + "@" +
                                                 std::to_string(indexes ? indexes->firstIndex() : 99));
                              }));

    command->execute(nullptr);
    command->execute(nullptr);
    drainMainQueue();
    ASSERT_EQ(pending.subscribers.size(), 2u);
    EXPECT_EQ(enabled.text(), "1");
    EXPECT_EQ(executing.text(), "0 1");
    EXPECT_EQ(changes.text(), "2@0 2@1"); // insertions at the end

    pending.subscribers[1]->sendNext(ns::str("b")); // the second sends first
    pending.subscribers[0]->sendNext(ns::str("a"));
    pending.subscribers[0]->sendCompleted();
    drainMainQueue();
    EXPECT_EQ(changes.text(), "2@0 2@1 3@0");
    EXPECT_EQ(executing.text(), "0 1"); // still one running
    pending.subscribers[1]->sendCompleted();
    drainMainQueue();
    EXPECT_EQ(changes.text(), "2@0 2@1 3@0 3@0");
    EXPECT_EQ(executing.text(), "0 1 0");
    EXPECT_EQ(executions.text(), "b a");

    // Turning the flag off while nothing runs leaves it enabled; with one running, it disables.
    command->setAllowsConcurrentExecution(false);
    command->execute(nullptr);
    drainMainQueue();
    EXPECT_EQ(enabled.text(), "1 0");
    command->setAllowsConcurrentExecution(true);
    drainMainQueue();
    EXPECT_EQ(enabled.text(), "1 0 1");
    pending.subscribers[2]->sendCompleted();
    drainMainQueue();
}

TEST_F(Commands, AFailingExecutionReportsOnErrorsOnceAndItsInnerSignalCompletes) {
    auto command = Command::withSignalBlock([](const Id& input) {
        if (input) return Signal::error(ns::Error::make("Test", 5));
        return Signal::returnValue(ns::num(1));
    });
    auto errors = record(command->errors(), {.errorDomains = true});
    // Each inner signal followed by "done" once it completes: an error would fail the whole.
    auto inner = record(command->executionSignals()
                            ->map([](const Ref<Signal>& s) -> Id {
                                return s->then([] { return Signal::returnValue(ns::str("done")); });
                            })
                            ->flatten(),
                        {.errorDomains = true});
    auto executing = record(command->executing());

    auto failed = record(command->execute(ns::num(1)), {.errorDomains = true});
    drainMainQueue();
    EXPECT_EQ(failed.text(), "E:Test/5");
    ASSERT_EQ(errors.values().size(), 1u);
    EXPECT_EQ(rt::cast<ns::Error>(errors.values()[0])->code(), 5);
    EXPECT_FALSE(errors.hasEnded());
    EXPECT_EQ(inner.text(), "done"); // the inner signal completed instead of failing
    EXPECT_EQ(executing.text(), "0 1 0");

    // A late subscriber to a finished execution still gets every event; success adds no error.
    auto succeeded = command->execute(nullptr);
    drainMainQueue();
    EXPECT_EQ(record(succeeded).text(), "1 C");
    EXPECT_EQ(errors.values().size(), 1u);
}

TEST_F(Commands, FollowsItsEnabledInputUntilItDeallocates) {
    auto input = es::Subject::subject();
    std::atomic<bool> inputDisposed{false};
    auto tracked = Signal::createSignal([&](const Ref<es::Subscriber>& s) -> Ref<es::Disposable> {
        auto inner = input->subscribe(s);
        return es::Disposable::withBlock([inner, &inputDisposed] {
            inner->dispose();
            inputDisposed = true;
        });
    });
    int calls = 0;
    auto command = Command::withEnabledSignalBlock(tracked, [&](const Id&) {
        ++calls;
        return Signal::empty();
    });
    auto enabled = record(command->enabled());
    EXPECT_EQ(enabled.text(), "1"); // nothing sent yet: enabled

    input->sendNext(ns::num(false));
    drainMainQueue();
    EXPECT_EQ(enabled.text(), "1 0");
    EXPECT_EQ(record(command->execute(nullptr)).text(), "E1");
    EXPECT_EQ(calls, 0);

    input->sendNext(ns::num(true));
    drainMainQueue();
    EXPECT_EQ(enabled.text(), "1 0 1");
    EXPECT_EQ(record(command->execute(nullptr)).text(), "");
    drainMainQueue();
    EXPECT_EQ(calls, 1);

    EXPECT_FALSE(inputDisposed);
    command = nullptr;
    EXPECT_TRUE(inputDisposed);
    drainMainQueue();
    EXPECT_TRUE(enabled.hasCompleted());
}

TEST_F(Commands, ANilSignalFromTheBlockExecutesTheEmptySignalAndIsLogged) {
    ns::CapturedLog log;
    auto command = Command::withSignalBlock([](const Id&) { return Ref<Signal>(); });
    auto execution = record(command->execute(nullptr));
    drainMainQueue();
    EXPECT_EQ(execution.text(), "C");
    EXPECT_TRUE(log.contains("the signal block returned nil"));
    EXPECT_EQ(command->activeExecutionSignals()->count(), 0u);
    EXPECT_EQ(record(command->enabled()).text(), "1");
}

TEST_F(Commands, ExecuteCommandRunsTheCommandForEachValueOfTheSignal) {
    std::vector<std::string> inputs;
    auto command = Command::withSignalBlock([&](const Id& input) {
        inputs.push_back(testkit::show(input));
        return Signal::empty();
    });
    auto values = es::Subject::subject();
    auto d = values->executeCommand(command);
    values->sendNext(ns::str("a"));
    drainMainQueue();
    values->sendNext(ns::str("b"));
    d->dispose();
    values->sendNext(ns::str("c"));
    drainMainQueue();
    EXPECT_EQ(inputs, (std::vector<std::string>{"a", "b"}));
}

TEST_F(Commands, ExecuteFromSeveralThreadsRunsEachBlockOnItsCallerAndEndsIdle) {
    constexpr int kThreads = 4, kEach = 25;
    auto command = Command::withSignalBlock([](const Id& input) { return Signal::returnValue(input); });
    command->setAllowsConcurrentExecution(true);
    auto executions = record(command->executionSignals()->flatten());
    auto executing = record(command->executing());

    std::mutex m;
    std::set<std::thread::id> blockThreads;
    auto recordingBlock = Command::withSignalBlock([&](const Id& input) {
        std::lock_guard g(m);
        blockThreads.insert(std::this_thread::get_id());
        return Signal::returnValue(input);
    });
    recordingBlock->setAllowsConcurrentExecution(true);

    testkit::Latch done(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                command->execute(ns::num(t * 100 + i));
                recordingBlock->execute(nullptr);
            }
            done.countDown();
        });
    ASSERT_TRUE(done.wait());
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(blockThreads.size(), static_cast<std::size_t>(kThreads));

    for (int pass = 0; pass < 4; ++pass) { // worker hops, then the main-thread subscriptions
        testkit::waitForWorkersIdle();
        drainMainQueue();
    }
    EXPECT_EQ(executions.values().size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(command->activeExecutionSignals()->count(), 0u);
    EXPECT_EQ(recordingBlock->activeExecutionSignals()->count(), 0u);
    EXPECT_EQ(executing.text().back(), '0');
}

} // namespace
