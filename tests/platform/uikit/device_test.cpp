// The simulated device as the UIKit stand-in shows it: the screen, the window's safe area and the
// device's identity, battery and proximity, read from the installed profile.

#include <gtest/gtest.h>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/device.h"
#include "platform/sim/profile.h"
#include "platform/uikit/device.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/view.h"
#include "platform/uikit/window.h"
#include "tests/testkit/main_loop.h"

namespace {

sim::Profile shipped(std::string_view name) {
    std::string error;
    auto profile = sim::loadProfileNamed(name, &error);
    EXPECT_TRUE(profile) << error;
    return profile ? *profile : sim::defaultProfile();
}

// Puts the shared device back as it starts.
struct UIDeviceTest : ::testing::Test {
    void TearDown() override { ui::Device::currentDevice()->resetState(); }
};

TEST_F(UIDeviceTest, AShippedProfileReachesTheScreenWindowAndDevice) {
    sim::ScopedDevice installed(shipped("iphone_xr"));
    const auto& screen = ui::Screen::mainScreen();
    EXPECT_EQ(screen->bounds(), cg::Rect::make(0, 0, 414, 896));
    EXPECT_EQ(screen->scale(), 2);
    EXPECT_EQ(screen->nativeBounds(), cg::Rect::make(0, 0, 828, 1792));

    auto window = rt::make<ui::Window>();
    EXPECT_EQ(window->frame(), screen->bounds()) << "a new window covers the screen";
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(window->safeAreaInsets(), (ui::EdgeInsets{44, 0, 34, 0}));
    // A view sees the part of the window's insets it overlaps.
    auto footer = rt::make<ui::View>(cg::Rect::make(0, 846, 414, 50));
    window->addSubview(footer);
    EXPECT_EQ(footer->safeAreaInsets(), (ui::EdgeInsets{0, 0, 34, 0}));

    const auto& device = ui::Device::currentDevice();
    EXPECT_EQ(device->systemVersion()->utf8(), "13.3");
    EXPECT_EQ(device->model()->utf8(), "iPhone");
    EXPECT_EQ(device->name()->utf8(), "iPhone XR");
    EXPECT_EQ(device->systemName()->utf8(), "iOS");
    EXPECT_EQ(device->userInterfaceIdiom(), ui::UserInterfaceIdiom::Phone);
    EXPECT_EQ(sim::machine(), "iPhone11,8");
    EXPECT_EQ(ns::valueForKey(device, "systemVersion")->description(), "13.3");
}

TEST_F(UIDeviceTest, NoSafeAreaBelowSystemEleven) {
    sim::Profile old = shipped("iphone_xr");
    old.systemVersion = "10.3.3";
    sim::ScopedDevice installed(old);
    EXPECT_EQ(rt::make<ui::Window>()->safeAreaInsets(), ui::EdgeInsets::zero());
    old.systemVersion = "11.0";
    sim::ScopedDevice eleven(old);
    EXPECT_EQ(rt::make<ui::Window>()->safeAreaInsets().bottom, 34);
}

TEST_F(UIDeviceTest, TabletsAndPodsHaveTheirIdiomAndModel) {
    {
        sim::ScopedDevice installed(shipped("ipad_wifi"));
        EXPECT_EQ(ui::Device::currentDevice()->userInterfaceIdiom(), ui::UserInterfaceIdiom::Pad);
        EXPECT_EQ(ui::Device::currentDevice()->model()->utf8(), "iPad");
    }
    sim::ScopedDevice installed(shipped("ipod_touch"));
    EXPECT_EQ(ui::Device::currentDevice()->userInterfaceIdiom(), ui::UserInterfaceIdiom::Phone);
    EXPECT_EQ(ui::Device::currentDevice()->model()->utf8(), "iPod touch");
}

TEST_F(UIDeviceTest, BatteryFiguresNeedMonitoring) {
    sim::ScopedDevice installed(shipped("iphone_xr"));
    const auto& device = ui::Device::currentDevice();
    EXPECT_EQ(device->batteryLevel(), -1.0f);
    EXPECT_EQ(device->batteryState(), ui::DeviceBatteryState::Unknown);
    device->setBatteryMonitoringEnabled(true);
    EXPECT_FLOAT_EQ(device->batteryLevel(), 0.55f);
    EXPECT_EQ(device->batteryState(), ui::DeviceBatteryState::Charging);
    testkit::drainMainQueue(); // the switch's announcement
}

TEST_F(UIDeviceTest, ProximityNeedsASensorAndMonitoring) {
    const auto& device = ui::Device::currentDevice();
    int posted = 0;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::UIDeviceProximityStateDidChangeNotification, device, nullptr, [&](auto&) { ++posted; });
    {
        sim::ScopedDevice installed(shipped("ipod_touch")); // no proximity sensor
        device->setProximityMonitoringEnabled(true);
        EXPECT_FALSE(device->isProximityMonitoringEnabled());
        device->updateProximityState(true);
        EXPECT_FALSE(device->proximityState());
    }
    device->setProximityMonitoringEnabled(true);
    EXPECT_TRUE(device->isProximityMonitoringEnabled());
    EXPECT_TRUE(device->proximityState()) << "the sensor was already covered";
    device->updateProximityState(true);
    device->updateProximityState(false);
    EXPECT_FALSE(device->proximityState());
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_EQ(posted, 1);
}

} // namespace
