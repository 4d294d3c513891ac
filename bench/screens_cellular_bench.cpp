// The cellular radio screen through the real runner, in virtual time: the wall time from the push
// of the screen on a device with two SIMs (both services read at load) to the verdict of its
// one-second check.

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "platform/sim/device.h"

namespace {

using bench_screens::Stage;

void BM_RFLoadTwoServicesToCheck(benchmark::State& state) {
    Stage stage({.adjust = [](sim::Profile& p) {
                     p.carrier->services = {{"0000000100000001", "CTRadioAccessTechnologyLTE", "One", "310"},
                                            {"0000000100000002", "CTRadioAccessTechnologyWCDMA", "Two", "262"}};
                 },
                 .delegateClass = "AppDelegate"});
    for (auto _ : state) {
        auto item = stage.open("RFTestViewController");
        stage.app().advance(1.0);
        if (item->success() != 1) {
            state.SkipWithError("no verdict");
            break;
        }
        state.PauseTiming();
        stage.leave();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RFLoadTwoServicesToCheck)->Unit(benchmark::kMicrosecond);

} // namespace
