// Messages by name and interceptable methods: what a call costs when nothing intercepts it, beside
// the plain virtual call it wraps.

#include <benchmark/benchmark.h>

#include "platform/runtime/interceptable.h"
#include "platform/runtime/number.h"

namespace {

class Counter : public rt::Object {
    RT_CLASS(Counter)
public:
    RT_INTERCEPTABLE(add, "add:")
    // The baseline: a plain virtual method with the same body.
    virtual int plainAdd(int n) { return total_ += n; }
    double scale(bool enabled, double factor) { return enabled ? total_ * factor : 0; }

protected:
    virtual int addBody(int n) { return total_ += n; }
    int total_ = 0;
};

// Overrides both, so neither call can be resolved without the virtual table.
class DoubleCounter final : public Counter {
    RT_CLASS(DoubleCounter)
public:
    int plainAdd(int n) override { return total_ += 2 * n; }

protected:
    int addBody(int n) override { return total_ += 2 * n; }
};

RT_DEFINE_CLASS(Counter, "BenchCounter", rt::Object, rt::method("add:", &Counter::addBody),
                rt::method("scale:factor:", &Counter::scale))
RT_DEFINE_CLASS(DoubleCounter, "BenchDoubleCounter", Counter)

void PlainVirtualCall(benchmark::State& state) {
    rt::Ref<Counter> counter = rt::make<DoubleCounter>();
    for (auto _ : state) {
        Counter* c = counter.get();
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(c->plainAdd(1));
    }
}
BENCHMARK(PlainVirtualCall);

void InterceptableCallNotIntercepted(benchmark::State& state) {
    rt::Ref<Counter> counter = rt::make<DoubleCounter>();
    for (auto _ : state) {
        Counter* c = counter.get();
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(c->add(1));
    }
}
BENCHMARK(InterceptableCallNotIntercepted);

// One argument in, the int result read back typed: no boxing at all.
void SendTypedResult(benchmark::State& state) {
    rt::Ref<Counter> counter = rt::make<DoubleCounter>();
    rt::Sel add("add:");
    for (auto _ : state) benchmark::DoNotOptimize(rt::send<int>(counter, add, 1));
}
BENCHMARK(SendTypedResult);

// Two arguments, converted to the method's types, and the result boxed as an ns::Number.
void SendBoxedResult(benchmark::State& state) {
    rt::Ref<Counter> counter = rt::make<DoubleCounter>();
    counter->add(5);
    rt::Sel scale("scale:factor:");
    for (auto _ : state) benchmark::DoNotOptimize(rt::send(counter, scale, true, 3));
}
BENCHMARK(SendBoxedResult);

void IgnoreAnnouncement(rt::Object&, const rt::Invocation& call) { benchmark::DoNotOptimize(&call); }

// For scale: the same direct call on an intercepted object, announced to an announcer that does nothing.
void InterceptableCallAnnounced(benchmark::State& state) {
    rt::CallAnnouncer previous = rt::setCallAnnouncer(&IgnoreAnnouncement);
    rt::Ref<Counter> counter = rt::make<DoubleCounter>();
    counter->setIntercepted(true);
    for (auto _ : state) benchmark::DoNotOptimize(counter->add(1));
    rt::setCallAnnouncer(previous);
}
BENCHMARK(InterceptableCallAnnounced);

} // namespace
