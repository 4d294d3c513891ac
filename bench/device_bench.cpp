// The device services.

#include <benchmark/benchmark.h>

#include "device/si_processor.h"
#include "device/si_system.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

// ---- The system-information family ----

// The process table of 1,000 synthetic records turned into their dictionaries.
void BM_ActiveProcesses(benchmark::State& state) {
    testkit::AppFixture app({.adjust = [](sim::Profile& p) { p.host.processes = 1000; }});
    for (auto _ : state) benchmark::DoNotOptimize(si::Processor::activeProcesses());
}
BENCHMARK(BM_ActiveProcesses)->Unit(benchmark::kMicrosecond);

// The flat summary on the default device with the host's memory, disk and processes, not connected.
void BM_SystemInformations(benchmark::State& state) {
    testkit::AppFixture app({.adjust = [](sim::Profile& p) {
        p.host = {};
        p.reachability.clear();
    }});
    for (auto _ : state) benchmark::DoNotOptimize(si::System::systemInformations());
}
BENCHMARK(BM_SystemInformations)->Unit(benchmark::kMillisecond);

} // namespace
