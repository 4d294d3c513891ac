// The cellular radio screen through the real runner, in virtual time: the wall time from the push
// of the screen on a device with two SIMs (both services read at load) to the verdict of its
// one-second check; each status-bar reader over the newer layout with 30 items, and over a
// status bar that raises; typing a 20-digit number into the text-message screen, its send
// button's enabled state worked out again at each character.

#include <benchmark/benchmark.h>

#include "bench/screen_stage.h"
#include "diagnostics/audio_motion_radio_power/rf_test_view_controller.h"
#include "diagnostics/audio_motion_radio_power/sms_view_controller.h"
#include "platform/sim/device.h"
#include "platform/uikit/button.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_field.h"

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

// 0: getSignalStrength, 1: fetchSignalBarsForiPhoneX, 2: getSignal; the second argument 1 for a
// status bar that raises at its first key.
void BM_StatusBarReader(benchmark::State& state) {
    const bool broken = state.range(1) == 1;
    Stage stage({.adjust = [broken](sim::Profile& p) {
                     p.systemVersion = "12.4.1";
                     p.statusBar.layout = broken ? sim::StatusBarLayout::Broken : sim::StatusBarLayout::New;
                     p.statusBar.items.clear();
                     for (int i = 0; i < 29; ++i) p.statusBar.items.push_back("_UIStatusBarItem" + std::to_string(i));
                     p.statusBar.items.push_back("_UIStatusBarCellularExpandedItem");
                 },
                 .delegateClass = "AppDelegate"});
    stage.open("RFTestViewController");
    auto screen = rt::cast<ft::RFTestViewController>(stage.top());
    if (!screen) {
        state.SkipWithError("no screen");
        return;
    }
    const long expected = broken ? 0 : 4;
    for (auto _ : state) {
        long value = expected;
        switch (state.range(0)) {
        case 0: value = screen->getSignalStrength(); break;
        case 1: value = screen->fetchSignalBarsForiPhoneX(); break;
        default: screen->getSignal(); break;
        }
        if (state.range(0) == 1 && value != expected) {
            state.SkipWithError("wrong bars");
            break;
        }
    }
}
BENCHMARK(BM_StatusBarReader)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

void BM_TypeTwentyDigitsIntoTheSMSNumber(benchmark::State& state) {
    Stage stage;
    stage.open("SMSViewController");
    stage.app().advance(1.0);
    auto screen = rt::cast<ft::SMSViewController>(stage.top());
    if (!screen) {
        state.SkipWithError("no screen");
        return;
    }
    auto field = screen->number();
    for (auto _ : state) {
        if (!stage.app().typeText(field, "55512345678901234567") || !screen->sendButton()->isEnabled()) {
            state.SkipWithError("not typed");
            break;
        }
        state.PauseTiming();
        field->setText(nullptr);
        field->resignFirstResponder();
        stage.app().runUntilIdle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypeTwentyDigitsIntoTheSMSNumber)->Unit(benchmark::kMicrosecond);

} // namespace
