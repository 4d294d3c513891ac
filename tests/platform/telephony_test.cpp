// The telephony stand-in: the SIM's carrier as the simulated device has it now.

#include <gtest/gtest.h>

#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/sim/profile.h"
#include "platform/telephony/carrier.h"

namespace {

TEST(Telephony, TheCarrierIsTheDevicesAndNoneWithoutASIM) {
    auto profile = sim::loadProfileNamed("iphone_xr");
    ASSERT_TRUE(profile);
    profile->carrier->iso = "de";
    profile->carrier->allowsVOIP = false;
    {
        sim::ScopedDevice device(*profile);
        auto carrier = ct::TelephonyNetworkInfo::make()->subscriberCellularProvider();
        ASSERT_TRUE(carrier);
        EXPECT_EQ(carrier->mobileNetworkCode()->utf8(), "01");
        EXPECT_EQ(carrier->mobileCountryCode()->utf8(), "262");
        EXPECT_EQ(carrier->carrierName()->utf8(), "Carrier");
        EXPECT_EQ(carrier->isoCountryCode()->utf8(), "de");
        EXPECT_FALSE(carrier->allowsVOIP());
        // By name, as the platform's key paths reach it.
        auto info = ct::TelephonyNetworkInfo::make();
        auto code = rt::cast<ns::String>(ns::valueForKeyPath(info, "subscriberCellularProvider.mobileNetworkCode"));
        ASSERT_TRUE(code);
        EXPECT_EQ(code->utf8(), "01");
    }
    auto ipod = sim::loadProfileNamed("ipod_touch");
    ASSERT_TRUE(ipod);
    sim::ScopedDevice device(*ipod);
    EXPECT_FALSE(ct::TelephonyNetworkInfo::make()->subscriberCellularProvider());
}

TEST(Telephony, ACarrierIsASnapshotWhileTheDeviceChanges) {
    auto profile = sim::loadProfileNamed("iphone_xr");
    ASSERT_TRUE(profile);
    sim::ScopedDevice device(*profile);
    auto info = ct::TelephonyNetworkInfo::make();
    auto before = info->subscriberCellularProvider();
    sim::Device::shared().change(sim::Aspect::Carrier, [](sim::Profile& p) { p.carrier.reset(); });
    EXPECT_FALSE(info->subscriberCellularProvider());
    ASSERT_TRUE(before);
    EXPECT_EQ(before->mobileNetworkCode()->utf8(), "01");
}

} // namespace
