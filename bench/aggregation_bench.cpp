// One value through a key-path binding (setKeyPath:onObject:) to a property nobody observes, and to
// one that is observed; beside setting the same value through key-value coding directly.

#include <benchmark/benchmark.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace {

class Meter : public rt::Object {
    RT_CLASS(Meter)
public:
    long level() const { return level_; }
    [[gnu::noinline]] void setLevel(long v) {
        rt::KeyChange change(this, "level");
        level_ = v;
    }

private:
    long level_ = 0;
};
RT_DEFINE_CLASS(Meter, "Meter", rt::Object, rt::prop("level", &Meter::level, &Meter::setLevel))

class Listener : public rt::Object {
    RT_CLASS(Listener)
public:
    void observeValueForKeyPath(std::string_view, const rt::Id&, const rt::Ref<ns::Dictionary>&, void*) override {
        ++heard;
    }
    long heard = 0;
};
RT_DEFINE_CLASS(Listener, "Listener", rt::Object)

void SetValueForKeyDirectly(benchmark::State& state) {
    auto meter = rt::make<Meter>();
    rt::Id value = ns::num(7);
    for (auto _ : state)
        ns::setValueForKeyPath(meter, value, "level");
    benchmark::DoNotOptimize(meter->level());
}
BENCHMARK(SetValueForKeyDirectly);

// Sends one value per iteration through a binding of the meter's level.
void sendThroughABinding(benchmark::State& state, const rt::Ref<Meter>& meter) {
    auto subject = es::Subject::subject();
    auto binding = subject->setKeyPathOnObject("level", meter);
    rt::Id value = ns::num(7);
    for (auto _ : state)
        subject->sendNext(value);
    binding->dispose();
    benchmark::DoNotOptimize(meter->level());
}

void OneValueThroughABinding(benchmark::State& state) { sendThroughABinding(state, rt::make<Meter>()); }
BENCHMARK(OneValueThroughABinding);

void OneValueThroughABindingToAnObservedKey(benchmark::State& state) {
    auto meter = rt::make<Meter>();
    auto listener = rt::make<Listener>();
    ns::addObserverForKeyPath(meter, listener, "level", ns::KeyValueObservingOptions::New);
    sendThroughABinding(state, meter);
    ns::removeObserverForKeyPath(meter, listener, "level");
    state.counters["heard"] = static_cast<double>(listener->heard);
}
BENCHMARK(OneValueThroughABindingToAnObservedKey);

} // namespace
