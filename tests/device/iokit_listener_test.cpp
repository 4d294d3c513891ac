// The charger registry listener: which entry it opens, when it reads and posts, and what it posts
// when the entry is gone.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/iokit_listener.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

sim::Profile withScreen(double width, double height) {
    sim::Profile p = sim::defaultProfile();
    p.screen.width = width;
    p.screen.height = height;
    return p;
}

class IOKitListenerTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        token_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
            ds::kIOKitListenerNewDataNotification, nullptr, nullptr, [this](const Ref<ns::Notification>& n) {
                std::lock_guard g(postsLock_);
                posts.push_back(describe(n));
            });
    }
    void TearDown() override {
        ns::NotificationCenter::defaultCenter()->removeObserver(token_);
        VirtualTimeTest::TearDown();
    }

    // "<voltage or nil>@<seconds>" and where it was posted from.
    std::string describe(const Ref<ns::Notification>& n) const {
        std::string text = "nil";
        if (const auto& info = n->userInfo()) {
            auto voltage = rt::cast<ns::Number>(info->objectForKey("Voltage"));
            text = voltage ? std::to_string(voltage->longValue()) : "?";
        }
        char at[32];
        std::snprintf(at, sizeof at, "@%.2f", elapsed());
        return text + at + (ns::Thread::isMainThread() ? "" : " (off main)") +
               (n->object().get() == expectedSender ? "" : " (other sender)");
    }

    static sim::Device& live() { return sim::Device::shared(); }
    static void setVoltage(long long volts, const char* service = "AppleARMPMUCharger") {
        auto properties = live().state()->registry.at(service);
        properties["Voltage"] = volts;
        live().setRegistryEntry(service, properties);
    }

    sim::ScopedDevice device_{withScreen(375, 667)};
    std::vector<std::string> posts;
    const rt::Object* expectedSender = nullptr;

private:
    std::mutex postsLock_;
    rt::Id token_;
};

TEST_F(IOKitListenerTest, TheServiceFollowsTheExactPortraitScreenSizeAndARefreshPostsACopyAtOnce) {
    const std::vector<std::pair<double, double>> smart{{375, 812}, {414, 896}, {390, 844}, {428, 926}, {360, 780}};
    const std::vector<std::pair<double, double>> other{{812, 375}, {375, 667}, {375, 813}};
    auto serviceFor = [](double w, double h) {
        sim::ScopedDevice screen(withScreen(w, h));
        auto listener = ds::IOKitListener::make();
        listener->requestDataRefresh();
        auto dict = listener->chargerDict();
        auto ioClass = dict ? rt::cast<ns::String>(dict->objectForKey("IOClass")) : nullptr;
        return ioClass ? ioClass->utf8() : std::string("none");
    };
    for (auto [w, h] : smart)
        EXPECT_EQ(serviceFor(w, h), "AppleSmartBattery") << w << " x " << h;
    for (auto [w, h] : other)
        EXPECT_EQ(serviceFor(w, h), "AppleARMPMUCharger") << w << " x " << h;

    // Made on a plain screen, the listener keeps its entry when the screen changes. A refresh
    // posts at once, and what it read is a copy.
    posts.clear();
    auto listener = ds::IOKitListener::make();
    live().change(sim::Aspect::Screen, [](sim::Profile& p) { p.screen = withScreen(375, 812).screen; });
    expectedSender = listener.get();
    setVoltage(4100, "AppleSmartBattery");
    listener->requestDataRefresh();
    EXPECT_EQ(posts, (std::vector<std::string>{"3800@0.00"})) << "still the charger's entry";
    rt::cast<ns::MutableDictionary>(listener->chargerDict())->removeObjectForKey("Voltage");
    listener->chargerObjectRefreshed();
    EXPECT_EQ(posts, (std::vector<std::string>{"3800@0.00", "3800@0.00"}));

    EXPECT_EQ(ds::IOKitListener::sharedDSIOKitListener().get(), ds::IOKitListener::sharedDSIOKitListener().get());
    EXPECT_FALSE(ds::IOKitListener::sharedDSIOKitListener()->isListening());
}

TEST_F(IOKitListenerTest, ListeningPostsOncePerChangeOnTheMainLoopInTheDefaultModeOnly) {
    auto listener = ds::IOKitListener::make();
    expectedSender = listener.get();
    listener->stopListener(); // never started: nothing
    listener->startListener();
    listener->startListener(); // listening already: one registration
    runUntil(5);
    setVoltage(4000);
    EXPECT_TRUE(posts.empty()) << "delivered by the run loop";
    testkit::drainMainQueue();
    EXPECT_EQ(posts, (std::vector<std::string>{"4000@5.00"}));

    setVoltage(4010);
    ns::RunLoop::main()->runMode(ns::TrackingRunLoopMode, nullptr);
    EXPECT_EQ(posts.size(), 1u) << "waits while the main loop tracks";
    testkit::drainMainQueue();
    EXPECT_EQ(posts.back(), "4010@5.00");

    listener->stopListener();
    setVoltage(4020);
    runUntil(7);
    EXPECT_EQ(posts.size(), 2u) << "stopped";
    listener->startListener(); // a new port
    setVoltage(4030);
    runUntil(8);
    EXPECT_EQ(posts, (std::vector<std::string>{"4000@5.00", "4010@5.00", "4030@7.00"}));
    listener->stopListener();
    listener->stopListener();
}

TEST_F(IOKitListenerTest, AnEntryThatLeftReadsAsNilAndStaysNilAcrossStopAndStart) {
    auto listener = ds::IOKitListener::make();
    expectedSender = listener.get();
    listener->requestDataRefresh();
    listener->startListener();
    runUntil(1);
    live().setRegistryEntry("AppleARMPMUCharger", std::nullopt);
    testkit::drainMainQueue();
    EXPECT_EQ(posts, (std::vector<std::string>{"3800@0.00", "nil@1.00"}));
    EXPECT_FALSE(listener->chargerDict());
    listener->stopListener();
    listener->startListener();
    runFor(1);
    EXPECT_FALSE(listener->chargerDict());
    listener->requestDataRefresh();
    EXPECT_EQ(posts.back(), "nil@2.00");
    listener->stopListener();
}

TEST_F(IOKitListenerTest, AListenerOfItsOwnThatGoesWhileListeningIsNeverCalledAgain) {
    expectedSender = nullptr;
    ds::IOKitListener::make()->startListener(); // released at once
    setVoltage(3900);
    runFor(1);
    EXPECT_TRUE(posts.empty());
}

} // namespace
