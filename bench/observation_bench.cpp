// Observation through the stream library: setting up and tearing down a property signal on a
// two-level key path, and one property change through to the subscriber.

#include <benchmark/benchmark.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "streams/key_value_observing.h"
#include "streams/property_signals.h"

namespace {

// Setters are kept out of line, as they are in a class's .cpp file.
class Link : public rt::Object {
    RT_CLASS(Link)
public:
    rt::Ref<Link> next() const { return next_; }
    [[gnu::noinline]] void setNext(rt::Ref<Link> v) {
        rt::KeyChange change(this, "next");
        next_ = std::move(v);
    }
    int level() const { return level_; }
    [[gnu::noinline]] void setLevel(int v) {
        rt::KeyChange change(this, "level");
        level_ = v;
    }

private:
    rt::Ref<Link> next_;
    int level_ = 0;
};
RT_DEFINE_CLASS(Link, "Link", rt::Object, rt::prop("next", &Link::next, &Link::setNext),
                rt::prop("level", &Link::level, &Link::setLevel))

rt::Ref<Link> twoLevels() {
    auto root = rt::make<Link>();
    root->setNext(rt::make<Link>());
    return root;
}

// The signal made, subscribed to (the initial value delivered) and disposed.
void ValuesForKeyPathSetUpAndTearDownTwoLevels(benchmark::State& state) {
    auto root = twoLevels();
    long heard = 0;
    for (auto _ : state) {
        auto d = es::valuesForKeyPath(root, "next.level", nullptr)->subscribeNext([&](const rt::Id&) { ++heard; });
        d->dispose();
    }
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(ValuesForKeyPathSetUpAndTearDownTwoLevels);

// The same for a signal made once.
void ValuesForKeyPathSubscribeAndDisposeTwoLevels(benchmark::State& state) {
    auto root = twoLevels();
    auto signal = es::valuesForKeyPath(root, "next.level", nullptr);
    long heard = 0;
    for (auto _ : state)
        signal->subscribeNext([&](const rt::Id&) { ++heard; })->dispose();
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(ValuesForKeyPathSubscribeAndDisposeTwoLevels);

// A change of the path's last key, through to the subscriber's block.
void ValuesForKeyPathChangeToDelivery(benchmark::State& state, const char* keyPath) {
    auto root = twoLevels();
    long heard = 0;
    auto d = es::valuesForKeyPath(root, keyPath, nullptr)->subscribeNext([&](const rt::Id&) { ++heard; });
    Link& changed = keyPath[0] == 'n' ? *root->next() : *root;
    int i = 0;
    for (auto _ : state)
        changed.setLevel(++i & 1023);
    d->dispose();
    if (heard != static_cast<long>(state.iterations()) + 1) state.SkipWithError("a change was not delivered");
}
BENCHMARK_CAPTURE(ValuesForKeyPathChangeToDelivery, OneKey, "level");
BENCHMARK_CAPTURE(ValuesForKeyPathChangeToDelivery, TwoLevels, "next.level");

// The same without the signal: es::observeKeyPath's block.
void ObserveKeyPathChangeToBlock(benchmark::State& state) {
    auto root = twoLevels();
    long heard = 0;
    auto d = es::observeKeyPath(root, "next.level", ns::KeyValueObservingOptions::None, nullptr,
                                [&](const rt::Id&, const rt::Ref<ns::Dictionary>&, bool, bool) { ++heard; });
    int i = 0;
    for (auto _ : state)
        root->next()->setLevel(++i & 1023);
    d->dispose();
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(ObserveKeyPathChangeToBlock);

} // namespace
