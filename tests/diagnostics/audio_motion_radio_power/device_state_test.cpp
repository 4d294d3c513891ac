// One device state, whatever it is: over generated states (a device class; Wi-Fi joined, left or
// never joined; a SIM or none, with or without its network code and radio technology; a language
// and region; the battery), the status bar's texts, the interfaces and routes the tests read and
// the Wi-Fi and cellular rows' verdicts all say what the state says, by this test's own reading of
// it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <rapidcheck/gtest.h>

#include "diagnostics/audio_motion_radio_power/rf_test_view_controller.h"
#include "diagnostics/audio_motion_radio_power/wifi_view_controller.h"
#include "platform/foundation/bundle.h"
#include "platform/sim/interfaces.h"
#include "platform/systemconfiguration/reachability.h"
#include "platform/uikit/text_cuts.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/loopback_server.h"

namespace {

// A shipped device: its status bar's layout and whether it has a cellular radio.
enum class Layout { Classic, Notch, IPad };
struct Model {
    const char* profile;
    Layout layout;
    bool radio;
    const char* name; // what the classic bar shows without a radio
    const char* en0;  // its Wi-Fi address
};
constexpr Model kModels[] = {{"iphone7", Layout::Classic, true, "", "192.168.1.23"},
                             {"iphone_xr", Layout::Notch, true, "", "192.168.1.31"},
                             {"ipad_cellular", Layout::IPad, true, "", "192.168.1.33"},
                             {"ipad_wifi", Layout::Classic, false, "iPad", "192.168.1.32"},
                             {"ipod_touch", Layout::Classic, false, "iPod", "192.168.1.34"}};

enum class Wifi { Joined, Left, NeverJoined };

struct State {
    std::size_t model = 0;
    Wifi wifi = Wifi::Joined;
    bool sim = true;
    bool networkCode = true;
    std::string technology; // "": none
    std::size_t language = 0;
    int percent = 80;
    sim::BatteryState battery = sim::BatteryState::Unplugged;
};

// A language and region: its clock (12 hours; 24 with the hour in two digits) and its short day.
struct Language {
    const char* identifier;
    bool twelveHours;
    const char *days[7], *months[12], *dayForm; // W weekday, M month, D day
};
constexpr Language kLanguages[] = {
    {"en_US", true, {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
     {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}, "W M D"},
    {"de_DE", false, {"So.", "Mo.", "Di.", "Mi.", "Do.", "Fr.", "Sa."},
     {"Jan.", "Feb.", "März", "Apr.", "Mai", "Juni", "Juli", "Aug.", "Sept.", "Okt.", "Nov.", "Dez."}, "W D. M"},
};

// The bar's time (with the period where there is room) and day at `now` (seconds since 2001-01-01,
// UTC), as the language writes them.
std::string timeText(const Language& language, double now, bool period) {
    const long long minutes = static_cast<long long>(now) / 60;
    const int hour = int(minutes / 60 % 24), minute = int(minutes % 60);
    char text[16];
    if (!language.twelveHours) std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
    else std::snprintf(text, sizeof text, "%d:%02d%s", (hour + 11) % 12 + 1, minute, !period ? "" : hour < 12 ? " AM" : " PM");
    return text;
}
std::string dayText(const Language& language, double now) {
    using namespace std::chrono;
    const sys_days day = sys_days{year{2001} / January / 1} + days{static_cast<long long>(now) / 86400};
    std::string text;
    for (const char* c = language.dayForm; *c; ++c)
        text += *c == 'W'   ? std::string(language.days[weekday{day}.c_encoding()])
                : *c == 'M' ? std::string(language.months[unsigned(year_month_day{day}.month()) - 1])
                : *c == 'D' ? std::to_string(unsigned(year_month_day{day}.day()))
                            : std::string(1, *c);
    return text;
}

class DeviceState : public diagnostics_tests::DeviceScreenTest {
protected:
    void SetUp() override {} // each case starts on its own device (become)
    void TearDown() override {
        ns::Bundle::removeInfoValueOverride("IPCheckServer");
        DeviceScreenTest::TearDown();
    }
    // Starts again on the state's device, in it.
    void become(const State& s) {
        restart(
            [&s](sim::Profile& p) {
                if (s.wifi == Wifi::NeverJoined) p.wifi.reset();
                if (!s.sim) p.carrier.reset();
                if (p.carrier) {
                    if (!s.networkCode) p.carrier->mnc.clear();
                    p.carrier->radioTech = s.technology;
                    for (sim::CarrierService& service : p.carrier->services) service.radioTech = s.technology;
                }
                p.locale = {.identifier = kLanguages[s.language].identifier};
                p.battery = {.level = s.percent / 100.0, .state = s.battery};
            },
            kModels[s.model].profile);
        if (s.wifi == Wifi::Left) sim::Device::shared().leaveWifi();
        ns::Bundle::setInfoValueOverride("IPCheckServer", server().url(""));
    }
    // The texts the status bar draws over the screen.
    std::vector<std::string> barTexts() {
        std::vector<std::string> drawn;
        const std::uint64_t token = ui::addTextDrawnObserver([&](const ui::View& view, const ns::String& text, bool) {
            if (!view.window()) drawn.push_back(text.utf8()); // the bar's labels stand in no window
        });
        ui::recordScreen(*window_);
        ui::removeTextDrawnObserver(token);
        return drawn;
    }

    // The address page, one for every case: a server stopping waits for its connections to go idle.
    static testkit::LoopbackServer& server() {
        static testkit::LoopbackServer* page = [] {
            auto* made = new testkit::LoopbackServer;
            made->script("GET", "/cgi-bin/check_ip.cgi", {200, "Your IP address is:203.0.113.9</h1>", "text/html"});
            return made;
        }();
        return *page;
    }
};

RC_GTEST_FIXTURE_PROP(DeviceState, TheBarTheInterfacesAndTheRadioRowsAgreeInEveryState, ()) {
    State s;
    s.model = *rc::gen::inRange<std::size_t>(0, std::size(kModels));
    s.wifi = *rc::gen::element(Wifi::Joined, Wifi::Left, Wifi::NeverJoined);
    s.sim = kModels[s.model].radio && *rc::gen::arbitrary<bool>();
    s.networkCode = *rc::gen::arbitrary<bool>();
    s.technology = *rc::gen::element<std::string>("", "CTRadioAccessTechnologyLTE", "CTRadioAccessTechnologyWCDMA");
    s.language = *rc::gen::inRange<std::size_t>(0, std::size(kLanguages));
    s.percent = *rc::gen::inRange(0, 101);
    s.battery = *rc::gen::element(sim::BatteryState::Unplugged, sim::BatteryState::Charging, sim::BatteryState::Full);
    const Model& model = kModels[s.model];
    const Language& language = kLanguages[s.language];
    const bool joined = s.wifi == Wifi::Joined;
    const bool service = s.sim && s.networkCode && !s.technology.empty();

    // The Wi-Fi row, and what it read: en0's address and the route to anywhere.
    become(s);
    RC_ASSERT(sim::ipv4Address("en0").value_or("?") == (joined ? model.en0 : ""));
    sc::NetworkReachabilityFlags flags = 0;
    RC_ASSERT(sc::networkReachabilityGetFlags(sc::networkReachabilityCreateWithName("service.test"), &flags));
    RC_ASSERT(flags == (joined    ? sc::kNetworkReachabilityFlagsReachable | sc::kNetworkReachabilityFlagsIsDirect
                        : service ? sc::kNetworkReachabilityFlagsReachable | sc::kNetworkReachabilityFlagsIsWWAN
                                  : 0u));
    auto wifi = openLogged<ft::WifiViewController>("WifiViewController");
    // The bar over it.
    const std::vector<std::string> bar = barTexts();
    const auto shows = [&bar](const std::string& text) { return std::ranges::count(bar, text) == 1; };
    const double now = app_->clock().now();
    RC_ASSERT(shows(timeText(language, now, model.layout != Layout::Notch)));
    RC_ASSERT(shows(dayText(language, now)) == (model.layout == Layout::IPad));
    RC_ASSERT(shows(std::to_string(s.percent) + "%") == (model.layout != Layout::Notch));
    RC_ASSERT(shows("Kestrel Mobile") == (service && model.layout == Layout::Classic));
    RC_ASSERT(shows("No Service") == (model.radio && s.sim && !service));
    RC_ASSERT(shows("No SIM") == (model.radio && !s.sim));
    if (!model.radio && model.layout == Layout::Classic) RC_ASSERT(shows(model.name));
    const std::string data = s.technology.ends_with("LTE") ? "LTE" : "3G";
    RC_ASSERT(shows(data) == (service && !joined));
    at(ft::WifiViewController::kFirstWait + ft::WifiViewController::kAddressDelay +
       ft::WifiViewController::kLastWait + 1);
    RC_ASSERT(code() == (joined ? ft::TestBaseModel::kPassed : ft::TestBaseModel::kFailed));
    wifi = nullptr;

    // The cellular row, in the same run: offered with a SIM, passing with service.
    const bool offered = rt::cast<ns::Number>(ft::RFTestViewController::isSupport())->longValue() == 1;
    RC_ASSERT(offered == s.sim);
    if (!offered) return;
    auto rf = openLogged<ft::RFTestViewController>("RFTestViewController");
    at(ft::RFTestViewController::kCheckDelay + 0.5);
    RC_ASSERT(code() == (service ? ft::TestBaseModel::kPassed : ft::TestBaseModel::kFailed));
}

} // namespace
