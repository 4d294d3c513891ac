// The radio screens in real runs: Wi-Fi's four steps against the loopback page, GPS's fixes and
// authorisation, Bluetooth's launch and power steps and its peripherals; each keeps to the screen
// contract and goes on in the background.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "diagnostics/audio_motion_radio_power/bluetooth_view_controller.h"
#include "diagnostics/audio_motion_radio_power/gps_view_controller.h"
#include "diagnostics/audio_motion_radio_power/wifi_view_controller.h"
#include "platform/bluetooth/central_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/data.h"
#include "platform/foundation/format.h"
#include "platform/gamekit/session.h"
#include "platform/location/location_manager.h"
#include "platform/mapkit/map_view.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/window.h"
#include "tests/diagnostics/audio_motion_radio_power/motion_screen_fixture.h"
#include "tests/testkit/app/text_cut_count.h"
#include "tests/testkit/loopback_server.h"

namespace {

using diagnostics_tests::Place;

class RadioScreen : public diagnostics_tests::DeviceScreenTest {
protected:
    void TearDown() override {
        ns::Bundle::removeInfoValueOverride("IPCheckServer");
        DeviceScreenTest::TearDown();
    }
    // The "result" of each of the screen's rows, 0 for none.
    static std::vector<long> rows(const ft::BaseModelViewController& screen) {
        std::vector<long> results;
        for (std::size_t i = 0; i < screen.subItemlist()->count(); ++i) {
            auto row = rt::cast<ns::Dictionary>(screen.subItemlist()->objectAtIndex(i));
            auto result = rt::cast<ns::Number>(row->objectForKey("result"));
            results.push_back(result ? result->longValue() : 0);
        }
        return results;
    }
    // The tester leaves a retried item at `seconds` by the back sheet's exit, writing nothing.
    void exitAt(double seconds) {
        at(seconds);
        ASSERT_TRUE(app_->tapBack());
        ASSERT_TRUE(pressSheet(0));
    }
    // The item is a retry when the case leaves early (the back sheet offers the exit).
    static Place placeFor(double leaveAt) { return leaveAt > 0 ? Place::Retry : Place::Middle; }
    static const char* segueFor(double leaveAt) {
        return leaveAt > 0 ? ft::BaseModelViewController::kResultSegue : ft::BaseModelViewController::kPreviousSegue;
    }
    // Whether the screen on top is still `name` just before `seconds`, and the run moved on at it
    // with `code`.
    void leavesAt(double seconds, const char* name, std::int64_t expected) {
        if (sinceLoad() < seconds - 0.01) {
            at(seconds - 0.01);
            EXPECT_EQ(topClass(), name) << "before " << seconds;
        }
        at(seconds);
        EXPECT_EQ(code(), expected) << "at " << seconds;
        EXPECT_NE(topClass(), name) << "at " << seconds;
    }
};

TEST_F(RadioScreen, WifiTicksItsStepsAndPassesOnlyWithAnAddressAndAPage) {
    struct Case {
        const char* name;
        std::optional<testkit::ScriptedReply> page; // none: nothing listens
        bool en0;
        double leaveAt; // 0: the tester never leaves
        std::int64_t code;
        double endAt;
        std::vector<long> rows;
        const char* internet; // the "Internet IP" label at the end
    };
    const Case cases[] = {
        {"the page", testkit::ScriptedReply{200, "<h1>Your IP address is:127.0.0.1</h1>", "text/html"}, true, 0, 1, 6.0,
         {1, 1, 1, 1}, "Internet IP 127.0.0.1"},
        {"no markers", testkit::ScriptedReply{200, "hello", "text/html"}, true, 0, 1, 6.0, {1, 1, 1, 1}, "Internet IP "},
        {"a 500 with a body", testkit::ScriptedReply{500, "oops", "text/plain"}, true, 0, 1, 6.0, {1, 1, 1, 1},
         "Internet IP "},
        {"no en0", testkit::ScriptedReply{200, "x", "text/html"}, false, 0, 2, 3.0, {1, 0, 2, 0}, "Internet IP"},
        {"refused", std::nullopt, true, 0, 2, 4.0, {1, 1, 2, 0}, "Internet IP"},
        {"left at 3.5", testkit::ScriptedReply{200, "Your IP address is:1.2.3.4</h1>", "text/html"}, true, 3.5, 0, 3.5,
         {1, 0, 0, 0}, "Internet IP"},
    };
    testkit::LoopbackServer server;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) {
            if (!c.en0) std::erase_if(p.interfaces.fixed.edit(), [](const auto& i) { return i.name == "en0"; });
        });
        if (c.page) server.script("GET", "/cgi-bin/check_ip.cgi", *c.page);
        ns::Bundle::setInfoValueOverride("IPCheckServer", c.page ? server.url("") : std::string("http://127.0.0.1:1"));
        auto screen = openLogged<ft::WifiViewController>("WifiViewController", placeFor(c.leaveAt));
        EXPECT_TRUE(screen->successButton()->isHidden());
        at(2.99);
        EXPECT_FALSE(screen->step(0)->image());
        if (c.leaveAt > 0) {
            exitAt(c.leaveAt);
        }
        if (c.leaveAt == 0) leavesAt(c.endAt, "WifiViewController", c.code);
        at(c.endAt + 10);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(rows(*screen), c.rows);
        EXPECT_EQ(screen->internetAddress()->text()->utf8(), c.internet);
        if (c.rows[1] == 1) {
            EXPECT_EQ(screen->internalAddress()->text()->utf8(), "Wi-Fi (internal) IP 192.168.1.23");
        }
        EXPECT_EQ(app_->logContains("all task has been done."), c.code == 1);
        EXPECT_EQ(leaves(), 1);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), segueFor(c.leaveAt)));
    }
}

TEST_F(RadioScreen, WifiReadsEn0AndTheJoinedNetwork) {
    restart([](sim::Profile& p) {
        p.interfaces.host = true;
        p.interfaces.aliases = {{"en0", "lo"}};
        p.interfaces.fixed = {};
    });
    EXPECT_EQ(ft::WifiViewController::getIPAddress()->utf8(), "127.0.0.1");
    auto screen = open<ft::WifiViewController>("WifiViewController");
    auto info = screen->fetchSSIDInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(screen->ssid()->text()->utf8(), "FunctionTest");
    EXPECT_EQ(screen->bssid()->text()->utf8(), "02:00:00:00:00:01");
    sim::Device::shared().leaveWifi();
    EXPECT_FALSE(screen->fetchSSIDInfo());
    EXPECT_FALSE(screen->ssid()->text());
}

TEST_F(RadioScreen, GpsPassesTwoSecondsAfterTheFirstFixAndFailsOnlyWhenDenied) {
    struct Event {
        double at;
        int auth; // -1: a fix at `latitude`
        double latitude = 0;
    };
    struct Case {
        const char* name;
        int status, reply;
        std::vector<Event> events;
        double leaveAt; // 0: never
        std::int64_t code;
        double endAt; // when the screen leaves (600: it never does)
        bool alert;
    };
    const Case cases[] = {
        {"authorised, a fix", 4, 4, {{3.0, -1, 51.5}, {4.0, -1, 52.25}}, 0, 1, 5.0, false},
        {"asked, allowed later", 0, 0, {{1.0, 4}, {2.0, -1, 51.5}}, 0, 1, 4.0, false},
        {"denied before", 2, 2, {}, 0, 2, 0, true},
        {"asked, denied", 0, 0, {{1.0, 2}}, 0, 2, 1.0, false},
        {"restricted", 1, 1, {{3.0, -1, 51.5}}, 0, 0, 600, false},
        {"no fix", 4, 4, {}, 0, 0, 600, false},
        {"left after a fix", 4, 4, {{3.0, -1, 51.5}}, 4.0, 0, 4.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) { p.location = {.status = c.status, .requestReply = c.reply}; });
        auto screen = openLogged<ft::GPSViewController>("GPSViewController", placeFor(c.leaveAt));
        auto map = screen->mapView();
        auto manager = screen->locmanager();
        for (const Event& e : c.events) {
            at(e.at);
            if (e.auth >= 0) sim::Device::shared().setLocationAuthorization(e.auth);
            else sim::Device::shared().locationFix({.latitude = e.latitude, .longitude = -0.12});
            if (e.auth < 0 && c.status >= 3) {
                EXPECT_EQ(text("latitude"), ns::format("%.8f", e.latitude));
                EXPECT_EQ(text("longitude"), "-0.12000000");
                const std::vector<std::string> shown = testkit::wholeTextsPictured(*app_->keyWindow());
                for (const std::string& name :
                     {localized("GPS_CONTROLLER_LONGITUDE"), localized("GPS_CONTROLLER_LATITUDE")})
                    EXPECT_EQ(std::ranges::count(shown, name), 1) << "each coordinate named";
                const auto region = map->region();
                EXPECT_NEAR(region.center.latitude, e.latitude, 1e-9);
                EXPECT_NEAR(region.span.latitudeDelta, 250.0 / 111319.49, 1e-9);
                EXPECT_NEAR(region.span.longitudeDelta, 250.0 / (111319.49 * std::cos(e.latitude * std::numbers::pi / 180)), 1e-9);
                EXPECT_TRUE(map->regionAnimated());
            }
        }
        if (c.alert) {
            EXPECT_EQ(code(), 2);
            ASSERT_EQ(app_->presentedAlerts().size(), 1u);
            EXPECT_NE(app_->presentedAlerts()[0]->message()->utf8().find("Quarnotix"), std::string::npos);
            at(1.0);
            EXPECT_EQ(topClass(), "GPSViewController") << "only the alert's button leaves";
            EXPECT_TRUE(pressAlert(0));
            EXPECT_NE(topClass(), "GPSViewController");
        } else if (c.leaveAt > 0) {
            exitAt(c.leaveAt);
            EXPECT_FALSE(manager->isUpdating());
            at(10);
        } else if (c.endAt < 600) {
            leavesAt(c.endAt, "GPSViewController", c.code);
            EXPECT_TRUE(app_->presentedAlerts().empty());
        } else {
            at(600);
            EXPECT_EQ(topClass(), "GPSViewController");
        }
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(rows(*screen), std::vector<long>{0});
        if (c.endAt < 600) {
            EXPECT_EQ(leaves(), 1);
        } else {
            EXPECT_TRUE(skip());
        }
        screen = nullptr;
        map = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), segueFor(c.leaveAt)));
    }
}

TEST_F(RadioScreen, BluetoothPassesThreeSecondsAfterPowerAndFailsWhenPoweredOff) {
    struct Case {
        const char* name;
        int state;
        double changeAt; // 0: no change
        int changeTo;
        std::int64_t code;
        double endAt; // 0: never
        std::vector<long> rows;
    };
    const Case cases[] = {
        {"on", 5, 0, 0, 1, 6.0, {1, 1, 0}},
        {"unsupported", 2, 0, 0, 1, 6.0, {1, 1, 0}},
        {"on at 10", 0, 10.0, 5, 1, 13.0, {1, 1, 0}},
        {"off", 4, 0, 0, 2, 0.0, {0, 0, 0}},
        {"off at 4", 5, 4.0, 4, 2, 4.0, {1, 0, 0}},
        {"unauthorised", 3, 0, 0, 0, 0, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart([&c](sim::Profile& p) { p.bluetooth.state = c.state; });
        auto screen = openLogged<ft::BluetoothViewController>("BluetoothViewController");
        EXPECT_EQ(screen->outMessageTextView()->textContainerInset(), (ui::EdgeInsets{0, 10, 0, 10}));
        if (c.changeAt > 0) {
            at(c.changeAt);
            sim::Device::shared().setBluetoothState(c.changeTo);
        }
        if (c.endAt > 0) leavesAt(c.endAt, "BluetoothViewController", c.code);
        at(c.endAt > 0 ? c.endAt + 1 : 600);
        EXPECT_EQ(code(), c.code);
        EXPECT_EQ(rows(*screen), c.rows);
        EXPECT_EQ(loggedAt("power alert shown").size(), c.state == 4 || c.changeTo == 4 ? 1u : 0u);
        if (c.code == 0) {
            EXPECT_TRUE(skip());
        }
        EXPECT_EQ(leaves(), 1);
        screen = nullptr;
        settle();
        EXPECT_TRUE(keptContract(contract().last(), ft::BaseModelViewController::kPreviousSegue));
    }
}

TEST_F(RadioScreen, BluetoothConnectsWhatItFindsWithoutChangingTheResultAndLetsGoWhenLeft) {
    restart([](sim::Profile& p) {
        p.bluetooth.peripherals = {{"Tag", "1", -40, {"ffe0", "180f"}, 0.5}, {"Watch", "2", -60, {"180d"}, 1.0}};
    });
    auto screen = openLogged<ft::BluetoothViewController>("BluetoothViewController");
    at(2.0);
    ASSERT_EQ(screen->peripherals().size(), 1u) << "the first connection stops the scan";
    const auto tag = screen->peripherals()[0];
    EXPECT_EQ(tag->state(), cb::PeripheralState::Connected);
    EXPECT_EQ(tag->characteristicRequests(), 1u);
    for (const char* line : {"Did connect to peripheral: ", "Service found with UUID: FFE0",
                             "Service found with UUID: 180F"})
        EXPECT_TRUE(app_->logContains(line)) << line;
    EXPECT_TRUE(skip());
    EXPECT_EQ(tag->state(), cb::PeripheralState::Disconnected);
    EXPECT_FALSE(screen->cm()->isScanning());
    at(10);
    EXPECT_EQ(code(), 2) << "the skip's";
}

TEST_F(RadioScreen, BluetoothStateMessagesAndThePeerHandlers) {
    restart([](sim::Profile& p) { p.bluetooth.state = 3; });
    auto screen = open<ft::BluetoothViewController>("BluetoothViewController");
    const char* messages[] = {"State unknown, update imminent.",
                              "The connection with the system service was momentarily lost, update imminent.",
                              "The platform doesn't support Bluetooth Low Energy",
                              "The app is not authorized to use Bluetooth Low Energy"};
    for (int state : {0, 1, 2}) sim::Device::shared().setBluetoothState(state);
    at(1.0);
    for (const char* message : messages) EXPECT_TRUE(app_->logContains(message)) << message;
    sim::Device::shared().setBluetoothState(5);
    at(1.5);
    EXPECT_TRUE(app_->logContains("Bluetooth is currently powered on and available to use."));
    EXPECT_TRUE(screen->canScanPeripherals());

    EXPECT_EQ(screen->translatePeerIdToDisplayname(ns::String::make("p1"))->utf8(), "unknown device.");
    auto session = gk::Session::make("s", "me");
    screen->sessionPeerDidChangeState(session, ns::String::make("p1"), 0);
    screen->sessionPeerDidChangeState(session, ns::String::make("p1"), 0);
    screen->sessionPeerDidChangeState(session, ns::String::make("p1"), 2);
    std::int32_t greeting = ft::BluetoothViewController::kPeerGreeting;
    std::string bytes(sizeof greeting, '\0');
    std::memcpy(bytes.data(), &greeting, sizeof greeting);
    screen->receiveData(ns::Data::make(bytes), ns::String::make("p1"), session, nullptr);
    EXPECT_EQ(screen->outMessageTextView()->text()->utf8(),
              "find a peer(p1) at there.\nconnect peer(p1) successed.send data.\nreceive data from peer(p1)\n");
    EXPECT_EQ(session->calls(), (std::vector<std::string>{"connectToPeer:withTimeout: p1 10",
                                                          "connectToPeer:withTimeout: p1 10",
                                                          "sendDataToAllPeers:withDataMode:error: 4 0"}));
    EXPECT_TRUE(app_->logContains("Yey!"));
    EXPECT_TRUE(screen->hasReceiveData());
}

TEST_F(RadioScreen, AllThreeGoOnInTheBackground) {
    testkit::LoopbackServer server;
    server.script("GET", "/cgi-bin/check_ip.cgi", {200, "Your IP address is:127.0.0.1</h1>", "text/html"});
    ns::Bundle::setInfoValueOverride("IPCheckServer", server.url(""));
    for (const char* name : {"WifiViewController", "GPSViewController", "BluetoothViewController"}) {
        SCOPED_TRACE(name);
        restart({});
        open(name);
        at(0.5);
        app_->enterBackground();
        at(2.0);
        sim::Device::shared().locationFix({.latitude = 1, .longitude = 2});
        at(8.0);
        EXPECT_EQ(code(), 1);
    }
}

} // namespace
