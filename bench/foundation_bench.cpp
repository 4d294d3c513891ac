// The object model and value baseline: what every later layer pays per object, box and lookup.

#include <benchmark/benchmark.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"

namespace {

class Small : public rt::Object {
    RT_CLASS(Small)
public:
    int level() const { return level_; }
    void setLevel(int v) { level_ = v; }

private:
    int level_ = 42;
};
RT_DEFINE_CLASS(Small, "Small", rt::Object, rt::prop("level", &Small::level, &Small::setLevel))

void RetainReleasePair(benchmark::State& state) {
    auto obj = rt::make<Small>();
    for (auto _ : state) {
        obj->retain();
        benchmark::DoNotOptimize(obj.get());
        obj->release();
    }
}
BENCHMARK(RetainReleasePair);

void MakeSmallObject(benchmark::State& state) {
    for (auto _ : state) {
        auto obj = rt::make<Small>();
        benchmark::DoNotOptimize(obj.get());
    }
}
BENCHMARK(MakeSmallObject);

void BoxCachedInt(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        auto n = ns::num(i++ & 127);
        benchmark::DoNotOptimize(n.get());
    }
}
BENCHMARK(BoxCachedInt);

void BoxDouble(benchmark::State& state) {
    double d = 0;
    for (auto _ : state) {
        auto n = ns::num(d += 0.5);
        benchmark::DoNotOptimize(n.get());
    }
}
BENCHMARK(BoxDouble);

void DictionaryLookupByText(benchmark::State& state) {
    auto dict = ns::MutableDictionary::make();
    for (int i = 0; i < 100; ++i) dict->setObjectForKey(ns::num(i), ns::str("key number " + std::to_string(i)));
    int i = 0;
    std::string keys[4] = {"key number 7", "key number 42", "key number 99", "absent key"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(dict->objectForKey(std::string_view(keys[i++ & 3])).get());
    }
}
BENCHMARK(DictionaryLookupByText);

void DictionaryLookupByString(benchmark::State& state) {
    auto dict = ns::MutableDictionary::make();
    for (int i = 0; i < 100; ++i) dict->setObjectForKey(ns::num(i), ns::str("key number " + std::to_string(i)));
    auto key = ns::str("key number 42");
    for (auto _ : state) benchmark::DoNotOptimize(dict->objectForKey(rt::Id(key)).get());
}
BENCHMARK(DictionaryLookupByString);

void ValueForKeyScalar(benchmark::State& state) {
    auto obj = rt::make<Small>();
    for (auto _ : state) benchmark::DoNotOptimize(obj->valueForKey("level").get());
}
BENCHMARK(ValueForKeyScalar);

void SetValueForKeyScalar(benchmark::State& state) {
    auto obj = rt::make<Small>();
    auto v = ns::num(7);
    for (auto _ : state) obj->setValueForKey(v, "level");
}
BENCHMARK(SetValueForKeyScalar);

} // namespace
