// Key-value observation: what an observable setter costs while nobody observes, beside a plain
// setter, and one observed change through to its observer.

#include <benchmark/benchmark.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace {

// Setters are kept out of line, as they are in a class's .cpp file.
class Gauge : public rt::Object {
    RT_CLASS(Gauge)
public:
    int level() const { return level_; }
    [[gnu::noinline]] void setLevel(int v) {
        rt::KeyChange change(this, "level");
        level_ = v;
    }
    int plain() const { return plain_; }
    [[gnu::noinline]] void setPlain(int v) { plain_ = v; }

private:
    int level_ = 0;
    int plain_ = 0;
};
RT_DEFINE_CLASS(Gauge, "Gauge", rt::Object, rt::prop("level", &Gauge::level, &Gauge::setLevel),
                rt::prop("plain", &Gauge::plain, &Gauge::setPlain))

class Sink : public rt::Object {
    RT_CLASS(Sink)
public:
    void observeValueForKeyPath(std::string_view, const rt::Id&, const rt::Ref<ns::Dictionary>& change,
                                void*) override {
        benchmark::DoNotOptimize(change.get());
        ++heard;
    }
    long heard = 0;
};
RT_DEFINE_CLASS(Sink, "Sink", rt::Object)

void PlainSetter(benchmark::State& state) {
    auto g = rt::make<Gauge>();
    int i = 0;
    for (auto _ : state)
        g->setPlain(++i);
    benchmark::DoNotOptimize(g->plain());
}
BENCHMARK(PlainSetter);

void ObservableSetterNobodyObserving(benchmark::State& state) {
    auto g = rt::make<Gauge>();
    int i = 0;
    for (auto _ : state)
        g->setLevel(++i);
    benchmark::DoNotOptimize(g->level());
}
BENCHMARK(ObservableSetterNobodyObserving);

// The object is observed, but for another key: the setter asks the registry and finds no one.
void ObservableSetterOtherKeyObserved(benchmark::State& state) {
    auto g = rt::make<Gauge>();
    auto sink = rt::make<Sink>();
    ns::addObserverForKeyPath(g, sink, "plain", ns::KeyValueObservingOptions::New);
    int i = 0;
    for (auto _ : state)
        g->setLevel(++i);
    ns::removeObserverForKeyPath(g, sink, "plain");
}
BENCHMARK(ObservableSetterOtherKeyObserved);

void ObservedChange(benchmark::State& state, ns::KeyValueObservingOptions options) {
    auto g = rt::make<Gauge>();
    auto sink = rt::make<Sink>();
    ns::addObserverForKeyPath(g, sink, "level", options);
    int i = 0;
    for (auto _ : state)
        g->setLevel(++i & 1023);
    ns::removeObserverForKeyPath(g, sink, "level");
    if (sink->heard != static_cast<long>(state.iterations())) state.SkipWithError("a change was not heard");
}
BENCHMARK_CAPTURE(ObservedChange, None, ns::KeyValueObservingOptions::None);
BENCHMARK_CAPTURE(ObservedChange, New, ns::KeyValueObservingOptions::New);
BENCHMARK_CAPTURE(ObservedChange, NewOld,
                  ns::KeyValueObservingOptions::New | ns::KeyValueObservingOptions::Old);

void ObservedChangeThroughKeyValueCoding(benchmark::State& state) {
    auto g = rt::make<Gauge>();
    auto sink = rt::make<Sink>();
    ns::addObserverForKeyPath(g, sink, "level",
                              ns::KeyValueObservingOptions::New | ns::KeyValueObservingOptions::Old);
    auto value = ns::Number::withInt(7);
    for (auto _ : state)
        ns::setValueForKey(g, value, "level");
    ns::removeObserverForKeyPath(g, sink, "level");
}
BENCHMARK(ObservedChangeThroughKeyValueCoding);

} // namespace
