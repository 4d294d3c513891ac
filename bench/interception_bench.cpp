// Intercepted calls: a call of an intercepted method with one subscriber to its signal, made
// directly (an interceptable method) and by name (through forwarding), beside the same calls on an
// object that is not intercepted.

#include <benchmark/benchmark.h>

#include "platform/runtime/class.h"
#include "platform/runtime/interceptable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace {

class Meter : public rt::Object {
    RT_CLASS(Meter)
public:
    RT_INTERCEPTABLE(add, "add:")

protected:
    virtual int addBody(int n) { return total_ += n; }
    int total_ = 0;
};

RT_DEFINE_CLASS(Meter, "BenchInterceptionMeter", rt::Object, rt::method("add:", &Meter::addBody))

const rt::Sel kAdd("add:");

struct Intercepted {
    rt::Ref<Meter> meter = rt::make<Meter>();
    long tuples = 0;
    rt::Ref<es::Disposable> subscription =
        es::signalForSelector(meter.get(), kAdd)->subscribeNext([this](const rt::Id&) { ++tuples; });
    ~Intercepted() { subscription->dispose(); }
};

void InterceptedDirectCallOneSubscriber(benchmark::State& state) {
    Intercepted intercepted;
    for (auto _ : state) benchmark::DoNotOptimize(intercepted.meter->add(1));
    state.counters["tuples"] = static_cast<double>(intercepted.tuples);
}
BENCHMARK(InterceptedDirectCallOneSubscriber);

void InterceptedCallByNameOneSubscriber(benchmark::State& state) {
    Intercepted intercepted;
    for (auto _ : state) benchmark::DoNotOptimize(rt::send<int>(intercepted.meter, kAdd, 1));
    state.counters["tuples"] = static_cast<double>(intercepted.tuples);
}
BENCHMARK(InterceptedCallByNameOneSubscriber);

// An object of the same runtime subclass with no signal of its own for the selector: its class
// forwards the call (another object is intercepted), and only the previous body runs.
void ForwardedCallByNameWithoutSignal(benchmark::State& state) {
    Intercepted other;
    rt::Ref<Meter> meter = rt::make<Meter>();
    es::signalForSelector(meter.get(), rt::Sel("reset"));
    for (auto _ : state) benchmark::DoNotOptimize(rt::send<int>(meter, kAdd, 1));
}
BENCHMARK(ForwardedCallByNameWithoutSignal);

} // namespace
