// The Wi-Fi, GPS and Bluetooth screens through the real runner, in virtual time: Wi-Fi from the push
// to its pass against a loopback address page (one GET, four timers); one GPS fix from the device's
// stimulus to the labels, and a thousand fixes with the pass still pending once; Bluetooth with a
// hundred peripherals discovered, connected and their services discovered.

#include <string>

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "diagnostics/audio_motion_radio_power/bluetooth_view_controller.h"
#include "diagnostics/audio_motion_radio_power/gps_view_controller.h"
#include "platform/foundation/bundle.h"
#include "platform/sim/device.h"
#include "tests/testkit/loopback_server.h"

namespace {

using bench_screens::Stage;

void BM_PushToVerdictWifiPass(benchmark::State& state) {
    testkit::LoopbackServer server;
    server.script("GET", "/cgi-bin/check_ip.cgi", {200, "<h1>Your IP address is:127.0.0.1</h1>", "text/html"});
    ns::Bundle::setInfoValueOverride("IPCheckServer", server.url(""));
    bench_screens::pushToVerdict(state, "WifiViewController", [](Stage& stage) { stage.app().advance(6.0); });
    ns::Bundle::removeInfoValueOverride("IPCheckServer");
}
BENCHMARK(BM_PushToVerdictWifiPass)->Unit(benchmark::kMicrosecond);

// The GPS screen shown and updating; `fixes` fixes timed, each to the screen's labels.
void gpsFixes(benchmark::State& state, int fixes) {
    Stage stage;
    auto item = stage.open("GPSViewController");
    stage.app().advance(0.5);
    auto screen = rt::cast<ft::GPSViewController>(stage.top());
    if (!screen) {
        state.SkipWithError("no GPS screen");
        return;
    }
    double latitude = 0;
    for (auto _ : state) {
        for (int i = 0; i < fixes; ++i) sim::Device::shared().locationFix({.latitude = latitude += 1e-6, .longitude = 1});
        stage.app().runUntilIdle();
    }
    if (!screen->receivedData() || item->success() != 0) state.SkipWithError("the fixes did not reach the screen");
    state.SetItemsProcessed(state.iterations() * fixes);
    stage.app().advance(3.0);
    if (item->success() != 1) state.SkipWithError("not one pass");
}

void BM_GpsFixToLabels(benchmark::State& state) {
    gpsFixes(state, 1);
}
BENCHMARK(BM_GpsFixToLabels)->Unit(benchmark::kMicrosecond);

void BM_GpsThousandFixesOnePassPending(benchmark::State& state) {
    gpsFixes(state, 1000);
}
BENCHMARK(BM_GpsThousandFixesOnePassPending)->Unit(benchmark::kMicrosecond);

// From the push, with the radio on: a hundred profile peripherals found at once, each connected and
// its services discovered.
void BM_BluetoothHundredPeripherals(benchmark::State& state) {
    sim::Profile profile = sim::defaultProfile();
    for (int i = 0; i < 100; ++i)
        profile.bluetooth.peripherals.push_back({"P" + std::to_string(i), std::to_string(i), -50, {"FFE0", "180F"}, 0});
    Stage stage({.profile = profile, .delegateClass = "AppDelegate"});
    for (auto _ : state) {
        stage.open("BluetoothViewController");
        stage.app().advance(0.1);
        auto screen = rt::cast<ft::BluetoothViewController>(stage.top());
        if (!screen || screen->peripherals().size() != 100) {
            state.SkipWithError("not every peripheral connected");
            break;
        }
        state.PauseTiming();
        stage.leave();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BluetoothHundredPeripherals)->Unit(benchmark::kMicrosecond);

} // namespace
