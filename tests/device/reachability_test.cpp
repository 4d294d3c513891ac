// Reachability's status rules and its notifier over the simulated device.

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "device/reachability.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/sim/device.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

using namespace sim::reachability;
using ft::Reachability;
using rt::Ref;

class ReachabilityTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.reachability = {{"0.0.0.0", kReachable | kIsDirect}, {"169.254.0.0", kReachable},
                          {"192.0.2.1", kReachable | kIsWWAN}};
        device_.emplace(std::move(p));
        observer_ = ns::NotificationCenter::defaultCenter()->addObserverForName(
            ft::kReachabilityChangedNotification, nullptr, nullptr, [this](const Ref<ns::Notification>& n) {
                posted.push_back(rt::cast<Reachability>(n->object()).get());
            });
    }
    void TearDown() override {
        ns::NotificationCenter::defaultCenter()->removeObserver(observer_);
        observer_ = nullptr;
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    static sim::Device& live() { return sim::Device::shared(); }

    std::vector<const Reachability*> posted; // the notifications' objects, in order

private:
    std::optional<sim::ScopedDevice> device_;
    rt::Id observer_;
};

TEST_F(ReachabilityTest, TheStatusRulesReadTheFlags) {
    auto r = Reachability::reachabilityForInternetConnection();
    const struct {
        unsigned flags;
        ft::NetworkStatus network, localWiFi;
    } rows[] = {
        {0, ft::NotReachable, ft::NotReachable},
        {kReachable, ft::ReachableViaWiFi, ft::NotReachable},
        {kReachable | kIsWWAN | kConnectionRequired, ft::ReachableViaWWAN, ft::NotReachable},
        {kReachable | kConnectionRequired, ft::NotReachable, ft::NotReachable},
        {kReachable | kConnectionRequired | kConnectionOnDemand, ft::ReachableViaWiFi, ft::NotReachable},
        {kReachable | kConnectionRequired | kConnectionOnTraffic, ft::ReachableViaWiFi, ft::NotReachable},
        {kReachable | kConnectionRequired | kConnectionOnDemand | kInterventionRequired, ft::NotReachable,
         ft::NotReachable},
        {kReachable | kIsDirect, ft::ReachableViaWiFi, ft::ReachableViaWiFi},
        {kIsDirect | kIsWWAN, ft::NotReachable, ft::NotReachable},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(r->networkStatusForFlags(row.flags), row.network) << std::hex << row.flags;
        EXPECT_EQ(r->localWiFiStatusForFlags(row.flags), row.localWiFi) << std::hex << row.flags;
    }
}

TEST_F(ReachabilityTest, EachFactoryReadsItsTargetAndRule) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, "192.0.2.1", &address.sin_addr);
    auto internet = Reachability::reachabilityForInternetConnection();
    auto wifi = Reachability::reachabilityForLocalWiFi();
    auto byAddress = Reachability::reachabilityWithAddress(&address);
    auto byName = Reachability::reachabilityWithHostName(ns::String::make("service.test"));
    ASSERT_TRUE(internet && wifi && byAddress && byName);
    EXPECT_FALSE(internet->localWiFiRef());
    EXPECT_TRUE(wifi->localWiFiRef());
    EXPECT_EQ(internet->currentReachabilityStatus(), ft::ReachableViaWiFi);
    EXPECT_EQ(wifi->currentReachabilityStatus(), ft::NotReachable) << "reachable but not direct";
    EXPECT_EQ(byAddress->currentReachabilityStatus(), ft::ReachableViaWWAN);
    EXPECT_EQ(byName->currentReachabilityStatus(), ft::ReachableViaWiFi) << "a host name reads 0.0.0.0";
    EXPECT_FALSE(Reachability::reachabilityWithHostName(nullptr));
    EXPECT_FALSE(Reachability::reachabilityWithAddress(nullptr));

    EXPECT_FALSE(internet->connectionRequired());
    live().setReachabilityFlags("0.0.0.0", kConnectionRequired);
    EXPECT_TRUE(internet->connectionRequired());
    EXPECT_TRUE(byName->connectionRequired());
    EXPECT_EQ(internet->currentReachabilityStatus(), ft::NotReachable);
    live().setReachabilityFlags("169.254.0.0", kReachable | kIsDirect);
    EXPECT_EQ(wifi->currentReachabilityStatus(), ft::ReachableViaWiFi);
}

TEST_F(ReachabilityTest, AChangeNotifiesOncePerStartedNotifierOnItsRunLoopAndNoneAfterStopOrDestruction) {
    auto first = Reachability::reachabilityForInternetConnection();
    auto second = Reachability::reachabilityWithHostName(ns::String::make("service.test"));
    auto idle = Reachability::reachabilityForInternetConnection();
    ASSERT_TRUE(first->startNotifier());
    ASSERT_TRUE(second->startNotifier());

    live().setReachabilityFlags("0.0.0.0", kReachable | kIsWWAN);
    EXPECT_TRUE(posted.empty()) << "posted by the run loop";
    testkit::drainMainQueue();
    EXPECT_EQ(posted, (std::vector<const Reachability*>{first.get(), second.get()}));

    posted.clear();
    second->stopNotifier();
    live().setReachabilityFlags("0.0.0.0", 0);
    testkit::drainMainQueue();
    EXPECT_EQ(posted, std::vector<const Reachability*>{first.get()});

    posted.clear();
    live().setReachabilityFlags("0.0.0.0", kReachable);
    first = nullptr; // goes with its change pending
    testkit::drainMainQueue();
    EXPECT_TRUE(posted.empty());
    EXPECT_FALSE(idle->connectionRequired());
}

TEST_F(ReachabilityTest, AReachabilityStartedOnAWorkerAndReleasedOnTheMainThreadPostsNothingMore) {
    auto r = Reachability::reachabilityForInternetConnection();
    testkit::Latch started;
    Ref<ns::RunLoop> loop;
    std::thread worker([&] {
        loop = ns::RunLoop::current();
        EXPECT_TRUE(r->startNotifier());
        started.countDown();
    });
    ASSERT_TRUE(started.wait());
    worker.join();
    live().setReachabilityFlags("0.0.0.0", kReachable | kIsWWAN); // signalled on the worker's loop
    r->stopNotifier(); // the main run loop's: not where it was started
    r = nullptr;       // still goes out of the worker's loop
    EXPECT_FALSE(loop->runMode(ns::DefaultRunLoopMode, nullptr)) << "nothing left to perform";
    EXPECT_TRUE(posted.empty());
    loop = nullptr;
}

} // namespace
