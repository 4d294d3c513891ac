// Network reachability and the captive network's queries over the simulated device.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "platform/foundation/run_loop.h"
#include "platform/sim/device.h"
#include "platform/systemconfiguration/captive_network.h"
#include "platform/systemconfiguration/reachability.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using namespace sim::reachability;
using sc::NetworkReachabilityFlags;
using sc::NetworkReachabilityRef;

NetworkReachabilityRef atAddress(const char* text) {
    sockaddr_in6 address{};
    if (::inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) == 1)
        address.sin6_family = AF_INET;
    else if (::inet_pton(AF_INET6, text, &address.sin6_addr) == 1)
        address.sin6_family = AF_INET6;
    return sc::networkReachabilityCreateWithAddress(reinterpret_cast<sockaddr*>(&address));
}

NetworkReachabilityFlags flagsOf(const NetworkReachabilityRef& target) {
    NetworkReachabilityFlags flags = 0xdead;
    EXPECT_TRUE(sc::networkReachabilityGetFlags(target, &flags));
    return flags;
}

// What the callbacks heard: "<info> <flags in hex>" each.
std::vector<std::string>& heard() {
    static std::vector<std::string> lines;
    return lines;
}
void record(const NetworkReachabilityRef&, NetworkReachabilityFlags flags, void* info) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", flags);
    heard().push_back(std::string(static_cast<const char*>(info)) + " " + hex);
}

class NetworkReachability : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.reachability = {{"0.0.0.0", kReachable | kIsWWAN}, {"10.0.0.1", kReachable}, {"::1", kIsDirect},
                          {"example.test", kConnectionRequired}};
        p.interfaces = {.host = false, .aliases = {}, .fixed = {{"en0", "10.0.0.5", "255.0.0.0", "", ""}}};
        device_.emplace(std::move(p));
        heard().clear();
    }
    void TearDown() override {
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    static sim::Device& live() { return sim::Device::shared(); }

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(NetworkReachability, TargetsReadTheirFlagsByAddressTextAndHostNamesFallBackToAnywhere) {
    struct Case {
        NetworkReachabilityRef target;
        NetworkReachabilityFlags flags;
    };
    const Case cases[] = {
        {atAddress("0.0.0.0"), kReachable | kIsWWAN},
        {atAddress("10.0.0.1"), kReachable},
        {atAddress("::1"), kIsDirect},
        {atAddress("10.0.0.2"), 0}, // not listed
        {sc::networkReachabilityCreateWithName("service.test"), kReachable | kIsWWAN},
        {sc::networkReachabilityCreateWithName("example.test"), kConnectionRequired},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.target);
        EXPECT_EQ(flagsOf(c.target), c.flags);
    }

    sockaddr unix{};
    unix.sa_family = AF_UNIX;
    EXPECT_FALSE(sc::networkReachabilityCreateWithAddress(&unix));
    EXPECT_FALSE(sc::networkReachabilityCreateWithAddress(nullptr));
    EXPECT_FALSE(sc::networkReachabilityCreateWithName(""));
    EXPECT_FALSE(sc::networkReachabilityCreateWithName(nullptr));
    EXPECT_FALSE(sc::networkReachabilityGetFlags(nullptr, nullptr));
    EXPECT_FALSE(sc::networkReachabilityGetFlags(cases[0].target, nullptr));

    live().setReachabilityFlags("0.0.0.0", 0);
    EXPECT_EQ(flagsOf(cases[4].target), 0u) << "read now, not when made";
}

TEST_F(NetworkReachability, AChangeReachesEachScheduledCallbackOnceInItsModeAndNoneAfterItGoes) {
    static char anywhere[] = "anywhere", host[] = "host", tracking[] = "tracking", idle[] = "idle";
    auto a = atAddress("0.0.0.0");
    auto h = sc::networkReachabilityCreateWithName("service.test");
    auto t = atAddress("0.0.0.0");
    auto unscheduled = atAddress("0.0.0.0");
    const auto& main = ns::RunLoop::main();
    for (auto [target, info] : {std::pair{a, anywhere}, {h, host}, {t, tracking}, {unscheduled, idle}}) {
        sc::NetworkReachabilityContext context{.info = info};
        ASSERT_TRUE(sc::networkReachabilitySetCallback(target, record, &context));
    }
    ASSERT_TRUE(sc::networkReachabilityScheduleWithRunLoop(a, main, ns::DefaultRunLoopMode));
    ASSERT_TRUE(sc::networkReachabilityScheduleWithRunLoop(a, main, ns::DefaultRunLoopMode)); // one entry
    ASSERT_TRUE(sc::networkReachabilityScheduleWithRunLoop(h, main, ns::DefaultRunLoopMode));
    ASSERT_TRUE(sc::networkReachabilityScheduleWithRunLoop(t, main, ns::TrackingRunLoopMode));

    live().setReachabilityFlags("0.0.0.0", kReachable);
    live().setReachabilityFlags("10.0.0.1", 0); // moves none of these targets
    EXPECT_TRUE(heard().empty()) << "delivered by the run loop";
    testkit::drainMainQueue();
    EXPECT_EQ(heard(), (std::vector<std::string>{"anywhere 2", "host 2"}));
    main->runMode(ns::TrackingRunLoopMode, nullptr);
    EXPECT_EQ(heard().back(), "tracking 2");

    heard().clear();
    live().joinWifi({}); // a network change that moves no flags
    testkit::drainMainQueue();
    EXPECT_TRUE(heard().empty());

    EXPECT_TRUE(sc::networkReachabilityUnscheduleFromRunLoop(h, main, ns::DefaultRunLoopMode));
    EXPECT_FALSE(sc::networkReachabilityUnscheduleFromRunLoop(h, main, ns::DefaultRunLoopMode));
    EXPECT_FALSE(sc::networkReachabilityUnscheduleFromRunLoop(t, main, ns::DefaultRunLoopMode));
    live().setReachabilityFlags("0.0.0.0", kReachable | kIsDirect);
    a = nullptr; // gone with its change pending
    t = nullptr;
    testkit::drainMainQueue();
    main->runMode(ns::TrackingRunLoopMode, nullptr);
    EXPECT_TRUE(heard().empty());

    sc::networkReachabilitySetCallback(h, nullptr, nullptr);
    ASSERT_TRUE(sc::networkReachabilityScheduleWithRunLoop(h, main, ns::DefaultRunLoopMode));
    live().setReachabilityFlags("0.0.0.0", 0);
    testkit::drainMainQueue();
    EXPECT_TRUE(heard().empty()) << "no callback set";
}

// Counts the context's retains and releases.
std::atomic<int> contextRefs{0};
const void* retainInfo(const void* info) {
    ++contextRefs;
    return info;
}
void releaseInfo(const void*) {
    --contextRefs;
}

TEST_F(NetworkReachability, TheContextIsHeldWhileSetAndACallbackRunsOnTheThreadWhoseRunLoopScheduledIt) {
    static char info[] = "worker";
    std::atomic<std::thread::id> ranOn{};
    testkit::Latch scheduled, called;
    auto target = sc::networkReachabilityCreateWithName("service.test");
    sc::NetworkReachabilityContext context{.info = info, .retain = retainInfo, .release = releaseInfo};
    ASSERT_TRUE(sc::networkReachabilitySetCallback(
        target,
        [](const NetworkReachabilityRef&, NetworkReachabilityFlags flags, void*) {
            if (flags == kReachable) ns::RunLoop::current()->stop();
        },
        &context));
    EXPECT_EQ(contextRefs.load(), 1);
    ASSERT_TRUE(sc::networkReachabilitySetCallback(target, record, &context));
    EXPECT_EQ(contextRefs.load(), 1) << "the first context let go";

    std::thread worker([&] {
        auto loop = ns::RunLoop::current();
        sc::networkReachabilityScheduleWithRunLoop(target, loop, ns::DefaultRunLoopMode);
        scheduled.countDown();
        while (heard().empty())
            loop->runMode(ns::DefaultRunLoopMode, ns::Date::distantFuture());
        ranOn = std::this_thread::get_id();
        sc::networkReachabilityUnscheduleFromRunLoop(target, loop, ns::DefaultRunLoopMode);
        called.countDown();
    });
    ASSERT_TRUE(scheduled.wait());
    live().setReachabilityFlags("0.0.0.0", kReachable);
    ASSERT_TRUE(called.wait());
    const auto id = worker.get_id();
    worker.join();
    EXPECT_EQ(ranOn.load(), id);
    EXPECT_EQ(heard(), std::vector<std::string>{"worker 2"});
    target = nullptr;
    EXPECT_EQ(contextRefs.load(), 0);
}

TEST_F(NetworkReachability, TheWifiInterfaceAndItsNetworkFollowTheDevice) {
    auto en0 = ns::String::make("en0");
    auto interfaces = cn::copySupportedInterfaces();
    ASSERT_TRUE(interfaces);
    EXPECT_EQ(interfaces->description(), ns::Array::make({en0})->description());
    auto info = cn::copyCurrentNetworkInfo(en0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->objectForKey("SSID")->description(), "FunctionTest");
    EXPECT_EQ(info->objectForKey("BSSID")->description(), "02:00:00:00:00:01");
    EXPECT_FALSE(cn::copyCurrentNetworkInfo(ns::String::make("pdp_ip0")));
    EXPECT_FALSE(cn::copyCurrentNetworkInfo(nullptr));

    live().leaveWifi();
    EXPECT_FALSE(cn::copyCurrentNetworkInfo(en0));
    live().joinWifi({"Lab", "02:00:00:00:00:09"});
    EXPECT_EQ(cn::copyCurrentNetworkInfo(en0)->objectForKey("SSID")->description(), "Lab");

    sim::Profile cellularOnly = sim::defaultProfile();
    cellularOnly.interfaces = {.host = false, .aliases = {}, .fixed = {{"pdp_ip0", "10.1.0.5", "255.0.0.0", "", ""}}};
    sim::ScopedDevice noWifi(cellularOnly);
    EXPECT_FALSE(cn::copySupportedInterfaces());
    EXPECT_FALSE(cn::copyCurrentNetworkInfo(en0)) << "joined, but without a Wi-Fi interface";
}

} // namespace
