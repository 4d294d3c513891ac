// Device services.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "device/device_listener.h"
#include "platform/corefoundation/allocator.h"
#include "platform/corefoundation/run_loop_observer.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"

namespace {

// ---- ds::DeviceListener: its recording allocator and its search ------------------------------

cf::DictionaryRef makeDictionary(cf::AllocatorRef allocator, const char* ioClass) {
    const rt::Id keys[] = {ns::String::make("IOClass"), ns::String::make("Voltage")};
    const rt::Id values[] = {ns::String::make(ioClass), ns::Number::withInt(3800)};
    return cf::dictionaryCreate(allocator, keys, values, 2);
}

// An allocate and free pair of 64 bytes through `allocator`, 1,000 other blocks live in it.
void allocateFreePair(benchmark::State& state, cf::AllocatorRef allocator) {
    std::vector<void*> live;
    for (int i = 0; i < 1000; ++i)
        live.push_back(cf::allocatorAllocate(allocator, 64));
    for (auto _ : state) {
        void* block = cf::allocatorAllocate(allocator, 64);
        benchmark::DoNotOptimize(block);
        cf::allocatorDeallocate(allocator, block);
    }
    for (void* block : live)
        cf::allocatorDeallocate(allocator, block);
}

void BM_DeviceListenerRecordingAllocateFree(benchmark::State& state) {
    auto listener = ds::DeviceListener::make();
    allocateFreePair(state, listener->myAllocator());
    listener->endThread();
}
BENCHMARK(BM_DeviceListenerRecordingAllocateFree);

void BM_DeviceListenerSystemAllocateFree(benchmark::State& state) {
    allocateFreePair(state, cf::allocatorSystemDefault());
}
BENCHMARK(BM_DeviceListenerSystemAllocateFree);

// What a search walks: 1,000 recorded blocks, each an object made through the listener's allocator.
// `dictionaries` of them are dictionaries of another class than the charger's, the rest other
// objects (run-loop observers); with `match`, a charger dictionary lies at the highest address.
struct Record {
    std::vector<cf::TypeRef> objects;

    Record(cf::AllocatorRef allocator, int dictionaries, bool match) {
        for (int i = 0; i < 1000; ++i)
            objects.push_back(i < dictionaries ? static_cast<cf::TypeRef>(makeDictionary(allocator, "AppleSmartBattery"))
                                               : cf::runLoopObserverCreate(allocator, 0, true, 0, nullptr));
        if (!match) return;
        std::sort(objects.begin(), objects.end());
        for (;;) { // replace the highest by a charger until a charger lands above the rest
            cf::TypeRef hit = makeDictionary(allocator, "AppleARMPMUCharger");
            cf::release(objects.back());
            objects.back() = hit;
            std::sort(objects.begin(), objects.end());
            if (objects.back() == hit) return;
        }
    }
    ~Record() {
        for (cf::TypeRef object : objects)
            cf::release(object);
    }
};

// range(0): the dictionaries among the 1,000 blocks; range(1): whether the last one matches.
void BM_DeviceListenerSearchThousand(benchmark::State& state) {
    const int dictionaries = static_cast<int>(state.range(0));
    const bool match = state.range(1) != 0;
    auto listener = ds::DeviceListener::make();
    const auto change = ns::Dictionary::withPairs({{ns::String::make("new"), ns::Number::withInt(1)}});
    auto record = std::make_unique<Record>(listener->myAllocator(), dictionaries, match);
    // Run here on the main thread, the post's synchronous dispatch to the main queue runs inline
    // and logs that it did: keep that line out of the figure.
    ns::LogSink previous = ns::setLogSink([](std::string_view) {});
    for (auto _ : state) {
        listener->observeValueForKeyPath("batteryLevel", nullptr, change, nullptr);
        if (match) { // the hit emptied the record: record another thousand
            state.PauseTiming();
            record.reset();
            record = std::make_unique<Record>(listener->myAllocator(), dictionaries, match);
            state.ResumeTiming();
        }
    }
    ns::setLogSink(std::move(previous));
    record.reset();
    state.SetLabel(std::to_string(dictionaries) + " dictionaries, " + (match ? "match last" : "no match"));
    listener->endThread();
}
BENCHMARK(BM_DeviceListenerSearchThousand)->Args({100, 0})->Args({100, 1})->Args({1000, 0});

} // namespace
