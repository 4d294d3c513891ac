// The cost of walking sequences: 100,000 values through range-for over an array sequence, through a
// lazy map+filter chain, and into an array. Items processed are values, so the report's
// items_per_second inverts to the cost of one value ("ns/element" is also given as a counter).

#include <benchmark/benchmark.h>

#include <vector>

#include "platform/foundation/array.h"
#include "platform/runtime/number.h"
#include "streams/sequence.h"

namespace {

using rt::Id;
using rt::Ref;

constexpr long kCount = 100'000;

Ref<ns::Array> values() {
    std::vector<Id> v;
    v.reserve(kCount);
    for (long i = 0; i < kCount; ++i)
        v.push_back(ns::num(i));
    return ns::Array::make(std::move(v));
}

void report(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kCount);
    state.counters["ns/element"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kCount) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void ArraySequenceRangeFor(benchmark::State& state) {
    auto sequence = es::sequence(values());
    for (auto _ : state) {
        long n = 0;
        for (const Id& v : *sequence)
            n += v ? 1 : 0;
        benchmark::DoNotOptimize(n);
    }
    report(state);
}
BENCHMARK(ArraySequenceRangeFor)->Unit(benchmark::kMillisecond);

void LazyMapFilterChain(benchmark::State& state) {
    auto source = es::sequence(values());
    for (auto _ : state) {
        // Built afresh each time: a lazy chain computes each value once and then keeps it.
        auto chain =
            source->map([](const Id& v) { return v; })->filter([](const Id& v) { return v != nullptr; });
        long n = 0;
        for (const Id& v : *chain)
            n += v ? 1 : 0;
        benchmark::DoNotOptimize(n);
    }
    report(state);
}
BENCHMARK(LazyMapFilterChain)->Unit(benchmark::kMillisecond);

void ArrayOfArraySequence(benchmark::State& state) {
    auto sequence = es::sequence(values())->tail(); // not at offset 0, so the values are copied
    for (auto _ : state)
        benchmark::DoNotOptimize(sequence->array().get());
    report(state);
}
BENCHMARK(ArrayOfArraySequence)->Unit(benchmark::kMillisecond);

void ArrayOfLazyChain(benchmark::State& state) {
    auto source = es::sequence(values());
    for (auto _ : state) {
        auto chain = source->map([](const Id& v) { return v; });
        benchmark::DoNotOptimize(chain->array().get());
    }
    report(state);
}
BENCHMARK(ArrayOfLazyChain)->Unit(benchmark::kMillisecond);

} // namespace
