// The battery's answers and estimates, the accessories and the carrier, from the device's profile.

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "device/si_accessory.h"
#include "device/si_battery.h"
#include "device/si_carrier.h"
#include "platform/sim/device.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

std::string text(const rt::Ref<ns::String>& s) { return s ? s->utf8() : "nil"; }

// A device at `level` in `state` whose bundle's iPhone list holds the hours given (XML entries).
testkit::AppOptions battery(double level, sim::BatteryState state = sim::BatteryState::Unplugged) {
    return {.adjust =
                [=](sim::Profile& p) {
                    p.battery = {level, state, false};
                },
            .copyBundle = true};
}

void writeHours(const testkit::AppFixture& app, const std::string& entries) {
    std::ofstream(app.bundleFolder() + "/iPhone.plist") << "<plist><dict>" << entries << "</dict></plist>";
}

} // namespace

TEST(SIBattery, RemainingTimeIsTheFullHoursScaledByTheLevel) {
    const std::string hours = "<key>standby</key><integer>10</integer><key>video</key><string>10</string>"
                              "<key>conversation3g</key><integer>0</integer><key>conversation2g</key><integer>1</integer>";
    {
        testkit::AppFixture app(battery(0.5));
        writeHours(app, hours);
        EXPECT_EQ(text(si::Battery::remainingHoursForStandby()), "5:00");
        EXPECT_EQ(text(si::Battery::remainingHoursFor2gConversation()), "0:30");
        EXPECT_EQ(text(si::Battery::remainingHoursForAudio()), "NS") << "a missing key";
    }
    {
        testkit::AppFixture app(battery(0.75));
        writeHours(app, hours);
        EXPECT_EQ(text(si::Battery::remainingHoursForVideo()), "7:30") << "a number stored as text";
    }
    // An unknown level has no estimate, however few the hours.
    testkit::AppFixture app(battery(0));
    writeHours(app, hours);
    EXPECT_EQ(si::Battery::batteryLevel(), -1);
    for (const auto estimate : {si::Battery::remainingHoursForStandby, si::Battery::remainingHoursFor3gConversation,
                                si::Battery::remainingHoursFor2gConversation, si::Battery::remainingHoursForVideo})
        EXPECT_EQ(text(estimate()), "ND");
    EXPECT_EQ(text(si::Battery::remainingHoursForInternet3g()), "NS");
}

TEST(SIBattery, LevelStateAndPower) {
    struct Case {
        double level;
        sim::BatteryState state;
        double percent;
        bool full, charging, plugged;
    };
    const Case cases[] = {
        {1.0, sim::BatteryState::Full, 100, true, true, true},
        {0.995, sim::BatteryState::Charging, static_cast<double>(0.995f) * 100, false, true, true},
        {0.4, sim::BatteryState::Unplugged, static_cast<double>(0.4f) * 100, false, false, false},
        {0.4, sim::BatteryState::Unknown, static_cast<double>(0.4f) * 100, false, false, true},
    };
    for (const Case& c : cases) {
        testkit::AppFixture app(battery(c.level, c.state));
        EXPECT_EQ(si::Battery::batteryLevel(), c.percent) << c.level;
        EXPECT_EQ(si::Battery::batteryFullCharged(), c.full) << c.level;
        EXPECT_EQ(si::Battery::inCharge(), c.charging) << c.level;
        EXPECT_EQ(si::Battery::devicePluggedIntoPower(), c.plugged) << c.level;
        EXPECT_EQ(si::Battery::batteryState(), static_cast<std::int64_t>(c.state));
        EXPECT_TRUE(si::Battery::device()->isBatteryMonitoringEnabled());
    }
}

TEST(SIAccessory, ConnectedAccessoriesAndNeverHeadphones) {
    {
        testkit::AppFixture app({.adjust = [](sim::Profile& p) {
            p.accessories = 2;
            p.headphonesPlugged = true;
        }});
        EXPECT_TRUE(si::Accessory::accessoriesPluggedIn());
        EXPECT_EQ(si::Accessory::numberOfAccessoriesPluggedIn(), 2);
        EXPECT_FALSE(si::Accessory::isHeadphonesAttached());
    }
    testkit::AppFixture app;
    EXPECT_FALSE(si::Accessory::accessoriesPluggedIn());
    EXPECT_EQ(si::Accessory::numberOfAccessoriesPluggedIn(), 0);
}

TEST(SICarrier, TheSimsCarrierAskedAnewEachTime) {
    testkit::AppFixture app;
    EXPECT_EQ(text(si::Carrier::carrierName()), "Kestrel Mobile");
    EXPECT_EQ(text(si::Carrier::carrierISOCountryCode()), "us");
    EXPECT_EQ(text(si::Carrier::carrierMobileCountryCode()), "310");
    EXPECT_EQ(text(si::Carrier::carrierMobileNetworkCode()), "410");
    EXPECT_TRUE(si::Carrier::carrierAllowsVOIP());
    sim::Device::shared().setCarrier(std::nullopt);
    EXPECT_EQ(text(si::Carrier::carrierName()), "nil");
    EXPECT_EQ(text(si::Carrier::carrierISOCountryCode()), "nil");
    EXPECT_EQ(text(si::Carrier::carrierMobileCountryCode()), "nil");
    EXPECT_EQ(text(si::Carrier::carrierMobileNetworkCode()), "nil");
    EXPECT_FALSE(si::Carrier::carrierAllowsVOIP());
}
