// The cost of the signal core: one subscription, one chain, one event through a chain (boxed and
// typed blocks), fan-out.
// Runs on the main thread (the one that started the process), so subscription work runs inline as
// it does in the application.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/runtime/number.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace {

using es::Signal;
using rt::Id;
using rt::Ref;

Id identity(const Id& v) { return v; }
bool always(const Id&) { return true; }

void ReturnSubscribeDispose(benchmark::State& state) {
    auto signal = Signal::returnValue(ns::num(1));
    for (auto _ : state) {
        auto d = signal->subscribeNext([](const Id& v) { benchmark::DoNotOptimize(v.get()); });
        if (d) d->dispose();
    }
}
BENCHMARK(ReturnSubscribeDispose);

void FiveOperatorChainSubscribeDispose(benchmark::State& state) {
    auto chain = Signal::returnValue(ns::num(1))
                     ->map(identity)
                     ->filter(always)
                     ->map(identity)
                     ->skip(0)
                     ->take(1);
    for (auto _ : state) {
        auto d = chain->subscribeNext([](const Id& v) { benchmark::DoNotOptimize(v.get()); });
        if (d) d->dispose();
    }
}
BENCHMARK(FiveOperatorChainSubscribeDispose);

// The same chain made afresh each time, then subscribed and disposed: what a screen pays to set
// up a pipeline.
void FiveOperatorChainBuildSubscribeDispose(benchmark::State& state) {
    Id value = ns::num(1);
    for (auto _ : state) {
        auto d = Signal::returnValue(value)
                     ->map(identity)
                     ->filter(always)
                     ->map(identity)
                     ->skip(0)
                     ->take(1)
                     ->subscribeNext([](const Id& v) { benchmark::DoNotOptimize(v.get()); });
        if (d) d->dispose();
    }
}
BENCHMARK(FiveOperatorChainBuildSubscribeDispose);

// map→filter→map repeated until `operators` operators, fed by a subject.
Ref<Signal> chainOf(const Ref<Signal>& source, int operators) {
    Ref<Signal> s = source;
    for (int i = 0; i < operators; ++i) {
        if (i % 3 == 1) s = s->filter(always);
        else s = s->map(identity);
    }
    return s;
}

void EventsThroughChain(benchmark::State& state) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    auto d = chainOf(subject, static_cast<int>(state.range(0)))->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1000); // boxed once
    for (auto _ : state) subject->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(EventsThroughChain)->Arg(1)->Arg(3)->Arg(4)->Arg(16);

// map→filter→map with typed blocks that leave the value as it is, beside EventsThroughChain/3.
void EventsThroughTypedChain(benchmark::State& state) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    auto d = Ref<Signal>(subject)
                 ->map([](long n) { return n; })
                 ->filter([](long n) { return n > 0; })
                 ->map([](long n) { return n; })
                 ->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1000L);
    for (auto _ : state) subject->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(EventsThroughTypedChain);

void EventsThroughChainBoxingEach(benchmark::State& state) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    auto d = chainOf(subject, static_cast<int>(state.range(0)))->subscribeNext([&](const Id&) { ++received; });
    double x = 0.5;
    for (auto _ : state) subject->sendNext(ns::num(x += 1));
    d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(EventsThroughChainBoxingEach)->Arg(1)->Arg(3)->Arg(4)->Arg(16);

// One value through map: the block reads and boxes the number itself (boxed), or takes a long
// and returns one (typed: the trampoline unboxes and boxes).
template <class Map>
void sendThroughMap(benchmark::State& state, Map map) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    auto d = map(Ref<Signal>(subject))->subscribeNext([&](const Id&) { ++received; });
    Id value = ns::num(1000L);
    for (auto _ : state) subject->sendNext(value);
    d->dispose();
    state.SetItemsProcessed(received);
}

void MapBoxed(benchmark::State& state) {
    sendThroughMap(state, [](const Ref<Signal>& s) {
        return s->map([](const Id& v) { return Id(ns::num(rt::cast<ns::Number>(v)->longValue() + 1)); });
    });
}
BENCHMARK(MapBoxed);

void MapTyped(benchmark::State& state) {
    sendThroughMap(state, [](const Ref<Signal>& s) { return s->map([](long n) { return n + 1; }); });
}
BENCHMARK(MapTyped);

// Each iteration: 100 values sent to a subject with 100 subscribers.
void SubjectHundredSubscribersHundredValues(benchmark::State& state) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    std::vector<Ref<es::Disposable>> subscriptions;
    for (int i = 0; i < 100; ++i) subscriptions.push_back(subject->subscribeNext([&](const Id&) { ++received; }));
    Id value = ns::num(1000);
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) subject->sendNext(value);
    }
    for (auto& d : subscriptions) d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(SubjectHundredSubscribersHundredValues);

void FanOut(benchmark::State& state) {
    auto subject = es::Subject::subject();
    std::int64_t received = 0;
    std::vector<Ref<es::Disposable>> subscriptions;
    for (int i = 0; i < state.range(0); ++i)
        subscriptions.push_back(subject->subscribeNext([&](const Id&) { ++received; }));
    Id value = ns::num(1000);
    for (auto _ : state) subject->sendNext(value);
    for (auto& d : subscriptions) d->dispose();
    state.SetItemsProcessed(received);
}
BENCHMARK(FanOut)->Arg(1)->Arg(10)->Arg(100);

// Each iteration: a new subject, that many subscribers, one value, completion.
void SubjectSubscribersValueCompletion(benchmark::State& state) {
    Id value = ns::num(1000);
    std::int64_t received = 0;
    const int subscribers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto subject = es::Subject::subject();
        for (int i = 0; i < subscribers; ++i) subject->subscribeNext([&](const Id&) { ++received; });
        subject->sendNext(value);
        subject->sendCompleted();
    }
    state.SetItemsProcessed(received);
}
BENCHMARK(SubjectSubscribersValueCompletion)->Arg(100)->Arg(1000);

} // namespace
