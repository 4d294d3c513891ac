// The status bar in a picture of the screen: its texts from the device's state, clock, language and
// region, its ink in the device's band, the battery's fill, the signal bars and the location arrow, nothing while
// it is hidden.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

// A black screen pictured at 9:41 UTC under a light status bar: the texts drawn, in order ("(cut)"
// after one drawn cut); the bright pixels of the top 60 rows in x [from, to) (a faint bar is not),
// the last row with one; those tinted green (on power) and red (low).
struct Pictured {
    std::vector<std::string> texts;
    int lastRow = -1, green = 0, red = 0;
    std::function<int(int, int)> ink;
};

Pictured pictured(const char* profile, const std::function<void(sim::Profile&)>& adjust, bool hidden = false,
                  bool locating = false) {
    testkit::AppFixture app({.device = profile, .adjust = adjust});
    const int updater = 0;
    if (locating) sim::Device::shared().setLocationUpdating(&updater, true);
    app.clock().setNow(ns::ManualClock::DefaultStart + 9 * 3600 + 41 * 60);
    app.app()->setStatusBarStyle(ui::StatusBarStyle::LightContent);
    app.app()->setStatusBarHidden(hidden);
    auto window = rt::make<ui::Window>();
    window->setBackgroundColor(ui::Color::blackColor());
    window->makeKeyAndVisible();
    Pictured seen;
    const auto token = ui::addTextDrawnObserver([&](const ui::View&, const ns::String& text, bool whole) {
        seen.texts.push_back(text.utf8() + (whole ? "" : " (cut)"));
    });
    std::shared_ptr<cg::RasterContext> picture = ui::screenPicture(*window);
    ui::removeTextDrawnObserver(token);
    seen.ink = [picture](int from, int to) {
        int count = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = from; x < to; ++x)
                if (const cg::Pixel p = picture->pixel(x, y); p.red + p.green + p.blue > 400) ++count;
        return count;
    };
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < picture->width(); ++x) {
            const cg::Pixel p = picture->pixel(x, y);
            if (p.red + p.green + p.blue > 400) seen.lastRow = y;
            seen.green += p.green > 150 && p.red < 120 && p.blue < 120;
            seen.red += p.red > 150 && p.green < 120 && p.blue < 120;
        }
    return seen;
}

TEST(StatusBar, EveryDeviceShowsItsTimeNetworkAndBatteryInItsBand) {
    const auto keep = [](sim::Profile&) {};
    const auto noService = [](sim::Profile& p) { p.carrier->radioTech.clear(); };
    const auto cellular = [](sim::Profile& p) { p.wifi.reset(); };
    const auto language = [](const char* identifier, const char* zone) {
        return [=](sim::Profile& p) {
            p.locale.identifier = identifier;
            p.locale.timeZone = zone;
        };
    };
    struct Case {
        const char* profile;
        std::function<void(sim::Profile&)> adjust;
        std::vector<std::string> texts;
        int band;
        bool green, red; // the battery's fill: on power, low
        bool timeCentred;
    } cases[] = {
        {"iphone7", keep, {"9:41 AM", "Kestrel Mobile", "80%"}, 20, false, false, true},
        {"iphone7_charging", keep, {"9:41 AM", "Kestrel Mobile", "80%"}, 20, true, false, true},
        {"iphone_xr", keep, {"9:41"}, 44, true, false, false}, // the time left of the notch
        {"ipad_wifi", keep, {"9:41 AM", "iPad", "100%"}, 20, true, false, true},
        {"ipod_touch", keep, {"9:41 AM", "iPod", "90%"}, 20, false, false, true},
        {"iphone7",
         [](sim::Profile& p) {
             p.carrier.reset();
             p.locale.timeZone = "Europe/Berlin";
             p.battery = {.level = 0.1, .state = sim::BatteryState::Unplugged};
         },
         {"10:41 AM", "No SIM", "10%"},
         20,
         false,
         true,
         true},
        {"iphone7",
         [](sim::Profile& p) { p.battery = {.level = 0.5, .state = sim::BatteryState::Unknown}; },
         {"9:41 AM", "Kestrel Mobile"},
         20,
         false,
         false,
         true}, // no reading: no level shown
        // The radio's state: no service, data over the cellular network.
        {"iphone7_no_radio_tech", keep, {"9:41 AM", "No Service", "80%"}, 20, false, false, true},
        {"iphone7_no_wifi",
         [](sim::Profile& p) { p.carrier->name = "Kestrel"; },
         {"9:41 AM", "Kestrel", "LTE", "80%"},
         20,
         false,
         false,
         true},
        {"iphone_xr", noService, {"9:41", "No Service"}, 44, true, false, false},
        {"iphone_xr", cellular, {"9:41", "LTE"}, 44, true, false, false},
        {"iphone_xr", [](sim::Profile& p) { p.carrier.reset(); }, {"9:41", "No SIM"}, 44, true, false, false},
        // An iPad from system 12: the time and the day at the left, nothing in the middle.
        {"ipad_cellular", keep, {"9:41 AM", "Thu Jan 1", "40%"}, 20, false, false, false},
        {"ipad_cellular", noService, {"9:41 AM", "Thu Jan 1", "40%", "No Service"}, 20, false, false, false},
        // A SIM without a network code has no service, on every device with a radio; a cellular
        // iPad without a SIM says so, one without a radio names itself.
        {"iphone7_no_network_code", keep, {"9:41 AM", "No Service", "80%"}, 20, false, false, true},
        {"iphone_xr", [](sim::Profile& p) { p.carrier->mnc.clear(); }, {"9:41", "No Service"}, 44, true, false, false},
        {"ipad_cellular", [](sim::Profile& p) { p.carrier.reset(); }, {"9:41 AM", "Thu Jan 1", "40%", "No SIM"}, 20,
         false, false, false},
        // The clock as the device's region writes it, the day in its language.
        {"iphone7", language("de_DE", "UTC"), {"09:41", "Kestrel Mobile", "80%"}, 20, false, false, true},
        {"iphone7", language("ja_JP", "Asia/Tokyo"), {"18:41", "Kestrel Mobile", "80%"}, 20, false, false, true},
        {"iphone_xr", language("en_GB", "UTC"), {"09:41"}, 44, true, false, false},
        {"ipad_cellular", language("de_DE", "Europe/Berlin"), {"10:41", "Do. 1. Jan.", "40%"}, 20, false, false, false},
        {"ipad_cellular", language("fr_FR", "Europe/Paris"), {"10:41", "jeu. 1 janv.", "40%"}, 20, false, false, false},
        {"ipad_cellular", language("en_AU", "Australia/Sydney"), {"8:41 PM", "Thu Jan 1", "40%"}, 20, false, false, false},
    };
    for (const Case& c : cases) {
        const Pictured seen = pictured(c.profile, c.adjust);
        EXPECT_EQ(seen.texts, c.texts) << c.profile;
        EXPECT_LT(seen.lastRow, c.band) << c.profile << ": inside its band";
        EXPECT_GE(seen.lastRow, c.band - 24) << c.profile << ": centred in its band";
        EXPECT_EQ(seen.green > 0, c.green) << c.profile;
        EXPECT_EQ(seen.red > 0, c.red) << c.profile;
        const int middle = sim::loadProfileNamed(c.profile)->screen.width / 2;
        EXPECT_EQ(seen.ink(middle - 20, middle + 20) > 0, c.timeCentred) << c.profile;
    }

    // The location arrow, while location is in use: by the time left of the notch, else at the
    // right (the items before it giving way).
    for (const auto& [profile, from, to] :
         {std::tuple{"iphone7", 188, 375}, {"iphone_xr", 0, 207}, {"ipad_cellular", 384, 768}}) {
        EXPECT_GT(pictured(profile, keep, false, true).ink(from, to), pictured(profile, keep).ink(from, to))
            << profile;
    }
    // Without service the same name stands without the bars.
    const auto named = [](const char* name) { return [=](sim::Profile& p) { p.carrier->name = name; }; };
    EXPECT_GT(pictured("iphone7", named("No Service")).ink(0, 120),
              pictured("iphone7_no_radio_tech", keep).ink(0, 120) + 40);

    const auto with = [](int bars, double level) {
        return [=](sim::Profile& p) {
            p.statusBar.signalBars = bars;
            p.battery.level = level;
        };
    };
    const Pictured full = pictured("iphone7", with(4, 0.9)), weak = pictured("iphone7", with(1, 0.4));
    EXPECT_GT(full.ink(0, 24), weak.ink(0, 24)) << "one bar of four solid";
    EXPECT_GT(full.ink(345, 375), weak.ink(345, 375)) << "the battery filled to its level";
    const Pictured hidden = pictured("iphone7", keep, true);
    EXPECT_TRUE(hidden.texts.empty());
    EXPECT_EQ(hidden.lastRow, -1);
}

// The bar drawn last is drawn again, texts and all, until the minute, the device's state or the
// style changes.
TEST(StatusBar, EachPictureShowsTheBarOfItsMinuteAndTheDevicesStateNow) {
    testkit::AppFixture app;
    auto window = rt::make<ui::Window>();
    window->makeKeyAndVisible();
    const auto texts = [&] {
        std::vector<std::string> drawn;
        const auto token = ui::addTextDrawnObserver(
            [&](const ui::View&, const ns::String& text, bool) { drawn.push_back(text.utf8()); });
        const cg::DisplayList recorded = ui::recordScreen(*window);
        ui::removeTextDrawnObserver(token);
        return std::pair{drawn, recorded.fingerprint()};
    };
    const auto first = texts();
    EXPECT_EQ(first.first, (std::vector<std::string>{"12:00 AM", "Kestrel Mobile", "80%"}));
    EXPECT_EQ(texts(), first) << "drawn again as it was";
    app.clock().advance(59);
    EXPECT_EQ(texts(), first) << "the same minute";
    app.clock().advance(1);
    EXPECT_EQ(texts().first, (std::vector<std::string>{"12:01 AM", "Kestrel Mobile", "80%"}));
    sim::Device::shared().change(sim::Aspect::Battery, [](sim::Profile& p) { p.battery.level = 0.79; });
    const auto dark = texts();
    EXPECT_EQ(dark.first, (std::vector<std::string>{"12:01 AM", "Kestrel Mobile", "79%"}));
    const int updater = 0;
    sim::Device::shared().setLocationUpdating(&updater, true);
    const auto located = texts();
    EXPECT_NE(located.second, dark.second) << "the location arrow";
    app.app()->setStatusBarStyle(ui::StatusBarStyle::LightContent);
    EXPECT_NE(texts().second, located.second) << "in the light style's ink";
}

} // namespace
