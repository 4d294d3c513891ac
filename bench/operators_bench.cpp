// The cost of the combining and scheduling operators: merging, zipping, flattening, switching,
// combining latest values, and moving events to a background scheduler or to the main thread. Run on the
// main thread, so subscription work runs inline as it does in the application.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/run_loop.h"
#include "platform/runtime/number.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace {

using es::Signal;
using es::Subject;
using es::Subscriber;
using rt::Id;
using rt::Ref;

std::vector<Ref<Subject>> subjects(int count) {
    std::vector<Ref<Subject>> all;
    for (int i = 0; i < count; ++i)
        all.push_back(Subject::subject());
    return all;
}

std::vector<Ref<Signal>> asSignals(const std::vector<Ref<Subject>>& all) {
    return std::vector<Ref<Signal>>(all.begin(), all.end());
}

void MergeOf8Subjects(benchmark::State& state) {
    auto sources = subjects(8);
    std::int64_t received = 0;
    auto d = Signal::merge(asSignals(sources))->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1);
    std::size_t i = 0;
    for (auto _ : state)
        sources[i++ & 7]->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(MergeOf8Subjects);

// Per event: the subjects send in turn; a tuple goes out once both have sent.
void ZipOf2Subjects(benchmark::State& state) {
    auto sources = subjects(2);
    std::int64_t received = 0;
    auto d = Signal::zip(asSignals(sources))->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1);
    std::size_t i = 0;
    for (auto _ : state)
        sources[i++ & 1]->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received * 2);
}
BENCHMARK(ZipOf2Subjects);

// Each iteration: one subscription of flattenMap over 10,000 values, each mapped to an inner
// signal that sends one value and completes.
void FlattenMapOf10000OneValueInnerSignals(benchmark::State& state) {
    constexpr int kInner = 10000;
    std::vector<Ref<Signal>> inner;
    for (int i = 0; i < kInner; ++i) {
        inner.push_back(Signal::createSignal([v = ns::num(i)](const Ref<Subscriber>& s) {
            s->sendNext(v);
            s->sendCompleted();
            return Ref<rt::Disposable>();
        }));
    }
    auto outer = Signal::createSignal([](const Ref<Subscriber>& s) {
        for (int i = 0; i < kInner; ++i)
            s->sendNext(ns::num(i));
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    auto flattened = outer->flattenMap([&inner](const Id& v) -> Ref<es::Stream> {
        return inner[static_cast<std::size_t>(rt::cast<ns::Number>(v)->longValue())];
    });
    std::int64_t received = 0;
    for (auto _ : state)
        flattened->subscribeNext([&](const Id&) { ++received; });
    state.SetItemsProcessed(received);
}
BENCHMARK(FlattenMapOf10000OneValueInnerSignals)->Unit(benchmark::kMillisecond);

// Each iteration: one subscription of flatten(4) over 10,000 inner signals of two values each.
void Flatten4Over10000InnerSignals(benchmark::State& state) {
    constexpr int kInner = 10000;
    std::vector<Ref<Signal>> inner;
    for (int i = 0; i < kInner; ++i) {
        inner.push_back(Signal::createSignal([v = ns::num(i)](const Ref<Subscriber>& s) {
            s->sendNext(v);
            s->sendNext(v);
            s->sendCompleted();
            return Ref<rt::Disposable>();
        }));
    }
    auto outer = Signal::createSignal([&inner](const Ref<Subscriber>& s) {
        for (const auto& signal : inner)
            s->sendNext(signal);
        s->sendCompleted();
        return Ref<rt::Disposable>();
    });
    auto flattened = outer->flatten(4);
    std::int64_t received = 0;
    for (auto _ : state)
        flattened->subscribeNext([&](const Id&) { ++received; });
    state.SetItemsProcessed(state.iterations() * kInner);
    state.counters["values"] = benchmark::Counter(static_cast<double>(received), benchmark::Counter::kIsRate);
}
BENCHMARK(Flatten4Over10000InnerSignals)->Unit(benchmark::kMillisecond);

// Each iteration: a new inner subject replaces the previous one, then sends a value.
void SwitchToLatestNewInnerPerValue(benchmark::State& state) {
    auto outer = Subject::subject();
    std::int64_t received = 0;
    auto d = outer->switchToLatest()->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1);
    for (auto _ : state) {
        auto inner = Subject::subject();
        outer->sendNext(inner);
        inner->sendNext(value);
    }
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(SwitchToLatestNewInnerPerValue);

void CombineLatest(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    auto sources = subjects(count);
    std::int64_t received = 0;
    auto d = Signal::combineLatest(asSignals(sources))->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1);
    for (auto& s : sources)
        s->sendNext(value);
    std::size_t i = 0;
    for (auto _ : state)
        sources[i++ % sources.size()]->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(CombineLatest)->Arg(2)->Arg(16);

std::int64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Counts deliveries and lets the producer wait for a target.
struct Arrivals {
    std::mutex m;
    std::condition_variable cv;
    std::int64_t count = 0;
    void arrived() {
        std::lock_guard g(m);
        ++count;
        cv.notify_all();
    }
    void waitFor(std::int64_t target) {
        std::unique_lock g(m);
        cv.wait(g, [&] { return count >= target; });
    }
};

// Batches of 1,000 values hop to a background scheduler; each iteration waits for its batch.
void DeliverOnBackgroundThroughput(benchmark::State& state) {
    constexpr int kBatch = 1000;
    auto subject = Subject::subject();
    Arrivals arrivals;
    auto d =
        subject->deliverOn(es::Scheduler::scheduler())->subscribeNext([&](const Id&) { arrivals.arrived(); });
    Id value = ns::num(1);
    std::int64_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            subject->sendNext(value);
        sent += kBatch;
        arrivals.waitFor(sent);
    }
    d->dispose();
    state.SetItemsProcessed(sent);
}
BENCHMARK(DeliverOnBackgroundThroughput)->UseRealTime();

// Each iteration: 1,000 values through deliverOn onto a background scheduler, from the first send
// to the last delivery. The subscriber wakes the benchmark thread only at the batch's last value.
void DeliverOnBackground1000Values(benchmark::State& state) {
    constexpr int kBatch = 1000;
    auto subject = Subject::subject();
    Arrivals batches;
    std::atomic<std::int64_t> last{0}; // the count the batch under way ends at
    std::int64_t received = 0;        // deliveries come one at a time
    auto d = subject->deliverOn(es::Scheduler::scheduler())->subscribeNext([&](const Id&) {
        if (++received == last.load(std::memory_order_relaxed)) batches.arrived();
    });
    Id value = ns::num(1);
    std::int64_t sent = 0, batch = 0;
    for (auto _ : state) {
        sent += kBatch;
        last.store(sent, std::memory_order_relaxed);
        for (int i = 0; i < kBatch; ++i)
            subject->sendNext(value);
        batches.waitFor(++batch);
    }
    d->dispose();
    state.SetItemsProcessed(sent);
}
BENCHMARK(DeliverOnBackground1000Values)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One value at a time: the time from sendNext to the subscriber on the background scheduler.
void DeliverOnBackgroundLatency(benchmark::State& state) {
    auto subject = Subject::subject();
    Arrivals arrivals;
    std::vector<std::int64_t> latencies;
    latencies.reserve(1 << 20);
    auto d = subject->deliverOn(es::Scheduler::scheduler())->subscribeNext([&](const Id& v) {
        std::int64_t sentAt = rt::cast<ns::Number>(v)->longLongValue();
        if (latencies.size() < latencies.capacity()) latencies.push_back(nowNanos() - sentAt);
        arrivals.arrived();
    });
    std::int64_t sent = 0;
    for (auto _ : state) {
        subject->sendNext(ns::num(static_cast<long long>(nowNanos())));
        arrivals.waitFor(++sent);
    }
    d->dispose();
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies.empty() ? 0.0
                                 : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))] / 1000.0;
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
}
BENCHMARK(DeliverOnBackgroundLatency)->UseRealTime();

// A background producer sends batches of 1,000 values; the benchmark thread, the main thread,
// drains the main queue until the batch has arrived.
void DeliverOnMainThreadFromBackground(benchmark::State& state) {
    constexpr int kBatch = 1000;
    auto subject = Subject::subject();
    std::int64_t received = 0;
    auto d = subject->deliverOnMainThread()->subscribeNext([&](const Id&) { ++received; });

    std::mutex m;
    std::condition_variable cv;
    int batchesAsked = 0;
    bool stop = false;
    std::thread producer([&] {
        Id value = ns::num(1);
        int done = 0;
        for (;;) {
            {
                std::unique_lock g(m);
                cv.wait(g, [&] { return stop || batchesAsked > done; });
                if (stop && batchesAsked == done) return;
            }
            for (int i = 0; i < kBatch; ++i)
                subject->sendNext(value);
            ++done;
        }
    });
    std::int64_t target = 0;
    for (auto _ : state) {
        {
            std::lock_guard g(m);
            ++batchesAsked;
        }
        cv.notify_one();
        target += kBatch;
        while (received < target)
            ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr);
    }
    {
        std::lock_guard g(m);
        stop = true;
    }
    cv.notify_one();
    producer.join();
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(DeliverOnMainThreadFromBackground)->UseRealTime();

} // namespace
