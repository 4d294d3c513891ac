// ds::DeviceListener: its thread, the record its allocator keeps, the search on a battery change
// and the posting of the charger dictionary on the main thread.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/device_listener.h"
#include "platform/corefoundation/allocator.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/number.h"
#include "platform/sim/boxed_registry.h"
#include "platform/sim/device.h"
#include "platform/uikit/device.h"
#include "tests/testkit/cf_dictionary.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/latch.h"

namespace {

using rt::Ref;

Ref<ns::String> str(const char* text) {
    return ns::String::make(text);
}

cf::DictionaryRef charger(const char* ioClass, const char* which = "") {
    return testkit::makeCFDictionary(nullptr, {{str("IOClass"), str(ioClass)}, {str("Which"), str(which)}});
}

Ref<ns::Dictionary> changeWithNewValue() {
    return ns::Dictionary::withPairs({{str(ns::KeyValueChangeNewKey), ns::Number::withInt(1)}});
}

struct Post {
    Ref<ns::Dictionary> userInfo;
    rt::Id object;
    bool onMain;
    std::size_t recordedWhilePosting;
};

class DeviceListenerTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        listener = ds::DeviceListener::make();
        token = ns::NotificationCenter::defaultCenter()->addObserverForName(
            std::string(ds::DeviceListenerNewDataNotification).c_str(), nullptr, nullptr,
            [this](const Ref<ns::Notification>& n) {
                posts.push_back({n->userInfo(), n->object(), ns::Thread::isMainThread(),
                                 listener->allocations().size()});
            });
    }
    void TearDown() override {
        listener->stopListener();
        settle();
        listener->endThread();
        ns::NotificationCenter::defaultCenter()->removeObserver(token);
        ui::Device::currentDevice()->resetState();
        listener = nullptr;
        token = nullptr;
        posts.clear();
        AppTest::TearDown();
    }

    // Lets the listener thread handle what it was asked, and what that queued in turn: the stepper
    // waits for work pending on the thread's run loop, and runs its posts to the main queue meanwhile.
    void settle() { app().advance(0); }
    // Runs `body` on the listener thread and returns when it has run.
    void onListenerThread(const std::function<void()>& body) {
        listener->runLoop()->performBlock([&body] { body(); });
        settle();
    }
    // A change announced to the listener on its thread, after `place` put candidates there.
    void searchAfter(const std::function<void()>& place, Ref<ns::Dictionary> change = changeWithNewValue()) {
        onListenerThread([&] {
            place();
            listener->observeValueForKeyPath("batteryLevel", ui::Device::currentDevice(), change, nullptr);
        });
    }
    std::string postedWhich(std::size_t i) const {
        return rt::cast<ns::String>(posts.at(i).userInfo->objectForKey("Which"))->utf8();
    }
    static sim::Device& live() { return sim::Device::shared(); }

    Ref<ds::DeviceListener> listener;
    rt::Id token;
    std::vector<Post> posts;
};

TEST_F(DeviceListenerTest, StartingPostsTheDevicesChargerDictionaryAndEachChangePostsOnce) {
    listener->startListener();
    settle();
    ASSERT_EQ(posts.size(), 1u) << "switching monitoring on is a change (state and level: one post)";
    const auto expected = sim::boxedProperties(sim::currentDevice()->chargerDictionary);
    EXPECT_TRUE(posts[0].userInfo->isEqual(expected.get()));
    EXPECT_TRUE(posts[0].onMain);
    EXPECT_EQ(posts[0].object.get(), listener.get());
    EXPECT_EQ(posts[0].recordedWhilePosting, 0u) << "the copy was never recorded";

    app().advance(2.0);
    live().setBattery(0.4, sim::BatteryState::Unplugged);
    settle();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_TRUE(posts[1].userInfo->isEqual(expected.get()));
    EXPECT_TRUE(posts[1].onMain);
    EXPECT_TRUE(listener->allocations().empty());
}

TEST_F(DeviceListenerTest, StartStopAndStartAgainFollowMonitoring) {
    const auto& device = ui::Device::currentDevice();
    listener->startListener();
    listener->stopListener();
    settle();
    EXPECT_FALSE(device->isBatteryMonitoringEnabled());
    const std::size_t afterFirst = posts.size();
    live().setBattery(0.3, sim::BatteryState::Unplugged);
    settle();
    EXPECT_EQ(posts.size(), afterFirst) << "stopped: nothing heard";

    listener->startListener();
    settle();
    EXPECT_TRUE(device->isBatteryMonitoringEnabled());
    live().setBattery(0.2, sim::BatteryState::Unplugged);
    settle();
    EXPECT_EQ(posts.size(), afterFirst + 2);
}

TEST_F(DeviceListenerTest, MonitoringSwitchedOnElsewhereIsLeftUnobservedAndStoppingIsHarmless) {
    const auto& device = ui::Device::currentDevice();
    device->setBatteryMonitoringEnabled(true); // the main thread's, announced there
    app().runUntilIdle();
    listener->startListener();
    settle();
    live().setBattery(0.6, sim::BatteryState::Charging);
    app().runUntilIdle();
    settle();
    EXPECT_TRUE(posts.empty());

    const auto before = app().logLines().size();
    listener->stopListener();
    settle();
    EXPECT_FALSE(device->isBatteryMonitoringEnabled());
    EXPECT_EQ(app().logLines().size(), before) << "no observation to remove, nothing to report";
}

TEST_F(DeviceListenerTest, TheKeepAliveTimerNeverFires) {
    listener->startListener();
    settle();
    app().advance(3600);
    settle();
    for (const auto& line : app().logLines())
        EXPECT_EQ(line.find("Should never be called"), std::string::npos) << line;
    EXPECT_EQ(posts.size(), 1u);
}

TEST(DeviceListenerChargerTest, OnlyTheIOClassValueDecides) {
    struct Case {
        const char* ioClass;
        bool charger;
    } cases[] = {{"AppleARMPMUCharger", true},    {"applearmpmucharger", false}, {"AppleARMPMUChargerX", false},
                 {"XPMUPowerSourceY", true},      {"pmupowersource", true},      {"PMUPOWERSOURCE", true},
                 {"AppleSmartBattery", false},    {"PMUPower", false}};
    for (const auto& c : cases) {
        cf::DictionaryRef d = charger(c.ioClass);
        EXPECT_EQ(ds::DeviceListener::isChargerDictionary(d), c.charger) << c.ioClass;
        cf::release(d);
    }
    cf::DictionaryRef elsewhere = testkit::makeCFDictionary(nullptr, {{str("IOClass"), str("AppleSmartBattery")},
                                                           {str("Name"), str("PMUPowerSource")}});
    cf::DictionaryRef noClass = testkit::makeCFDictionary(nullptr, {{str("Name"), str("AppleARMPMUCharger")}});
    cf::DictionaryRef notText = testkit::makeCFDictionary(nullptr, {{str("IOClass"), ns::Number::withInt(1)}});
    EXPECT_FALSE(ds::DeviceListener::isChargerDictionary(elsewhere));
    EXPECT_FALSE(ds::DeviceListener::isChargerDictionary(noClass));
    EXPECT_FALSE(ds::DeviceListener::isChargerDictionary(notText));
    for (auto d : {elsewhere, noClass, notText})
        cf::release(d);
}

TEST_F(DeviceListenerTest, CandidatesNeedTheListenersAllocatorClassAndTypeAndTheLowestAddressWins) {
    std::vector<cf::TypeRef> made;
    std::vector<void*> raw;
    searchAfter([&] {
        cf::AllocatorRef mine = cf::allocatorGetDefault();
        EXPECT_EQ(mine, listener->myAllocator()) << "the recording allocator is the thread's default";
        // Blocks that look like objects of the allocator but are of another class or type.
        for (const auto& header : {cf::ObjectHeader{mine, cf::dictionaryGetTypeID()},
                                   cf::ObjectHeader{listener->dictionaryClass(), cf::allocatorGetTypeID()}}) {
            void* block = cf::allocatorAllocate(nullptr, 64);
            std::memset(block, 0, 64);
            std::memcpy(block, &mine, sizeof mine);
            std::memcpy(static_cast<char*>(block) + cf::kAllocatorPrefixSize, &header, sizeof header);
            raw.push_back(block);
        }
        // A charger made through the system allocator is not the listener's.
        made.push_back(testkit::makeCFDictionary(cf::allocatorSystemDefault(), {{str("IOClass"), str("AppleARMPMUCharger")}}));
        made.push_back(charger("AppleSmartBattery", "not a charger"));
        made.push_back(charger("AppleARMPMUCharger", "first"));
        made.push_back(charger("PMUPowerSource", "second"));
        EXPECT_EQ(listener->allocations().size(), 5u);
    });
    ASSERT_EQ(posts.size(), 1u);
    const bool firstIsLower = made[2] < made[3];
    EXPECT_EQ(postedWhich(0), firstIsLower ? "first" : "second");
    EXPECT_TRUE(listener->allocations().empty()) << "a hit empties the record";

    // Nothing qualifying left: no post, and the record keeps its blocks.
    searchAfter([&] { made.push_back(charger("AppleSmartBattery", "still not")); });
    EXPECT_EQ(posts.size(), 1u);
    EXPECT_EQ(listener->allocations().size(), 1u);

    onListenerThread([&] {
        for (void* block : raw)
            cf::allocatorDeallocate(nullptr, block);
    });
    for (auto object : made)
        cf::release(object);
}

TEST_F(DeviceListenerTest, AChangeWithoutANewValueDoesNotSearch) {
    cf::DictionaryRef hit = nullptr;
    searchAfter([&] { hit = charger("AppleARMPMUCharger"); }, ns::Dictionary::make());
    EXPECT_TRUE(posts.empty());
    EXPECT_EQ(listener->allocations().size(), 1u);
    searchAfter([] {}, nullptr);
    EXPECT_TRUE(posts.empty());
    cf::release(hit);
    EXPECT_TRUE(listener->allocations().empty()) << "a freed block leaves the record";
}

TEST_F(DeviceListenerTest, ABlockTooShortForAHeaderIsNeverRead) {
    void* shortBlock = nullptr;
    searchAfter([&] {
        cf::AllocatorRef mine = cf::allocatorGetDefault();
        shortBlock = cf::allocatorAllocate(nullptr, 4);
        std::memcpy(shortBlock, &mine, 4); // the first bytes of the allocator word
    });
    EXPECT_TRUE(posts.empty());
    ASSERT_EQ(listener->allocations().size(), 1u);
    EXPECT_EQ(listener->allocations()[0].second, 4u);
    onListenerThread([&] { cf::allocatorDeallocate(nullptr, shortBlock); });
}

TEST_F(DeviceListenerTest, ReallocationMovesTheRecordedBlock) {
    onListenerThread([&] {
        void* block = cf::allocatorAllocate(nullptr, 16);
        void* moved = cf::allocatorReallocate(nullptr, block, 4096);
        ASSERT_NE(moved, nullptr);
        const auto record = listener->allocations();
        ASSERT_EQ(record.size(), 1u);
        EXPECT_EQ(record[0].first, moved);
        EXPECT_EQ(record[0].second, 4096u);
        cf::allocatorDeallocate(nullptr, moved);
        EXPECT_TRUE(listener->allocations().empty());
    });
}

// The main thread's default allocator, whose reallocations fail, while a listener is made.
struct FailingReallocation {
    static cf::AllocatorContext context() {
        cf::AllocatorContext c = cf::allocatorGetContext(cf::allocatorSystemDefault());
        c.reallocate = [](void*, std::size_t, cf::OptionFlags, void*) -> void* { return nullptr; };
        return c;
    }
};

TEST_F(DeviceListenerTest, AFailedReallocationLeavesTheOldBlockOut) {
    listener->endThread();
    cf::AllocatorRef failing = cf::allocatorCreate(nullptr, FailingReallocation::context());
    cf::allocatorSetDefault(failing);
    listener = ds::DeviceListener::make();
    cf::allocatorSetDefault(nullptr);
    cf::release(failing);
    EXPECT_EQ(listener->defaultAllocator(), failing);

    onListenerThread([&] {
        void* block = cf::allocatorAllocate(nullptr, 32);
        ASSERT_EQ(listener->allocations().size(), 1u);
        EXPECT_EQ(cf::allocatorReallocate(nullptr, block, 64), nullptr);
        EXPECT_TRUE(listener->allocations().empty()) << "the old block is still the caller's, unrecorded";
        cf::allocatorDeallocate(nullptr, block);
    });
}

TEST_F(DeviceListenerTest, ReleasesOnOtherThreadsDuringWalksLoseNoPost) {
    constexpr int kThreads = 4, kPerThread = 150, kRounds = 40;
    std::vector<std::vector<cf::TypeRef>> batches(kThreads);
    testkit::Latch placed;
    std::vector<std::thread> releasers;
    for (int t = 0; t < kThreads; ++t)
        releasers.emplace_back([&, t] {
            if (!placed.wait()) return;
            for (cf::TypeRef object : batches[t])
                cf::release(object);
        });
    onListenerThread([&] {
        for (auto& batch : batches)
            for (int i = 0; i < kPerThread; ++i)
                batch.push_back(charger("AppleSmartBattery"));
        placed.countDown();
        const Ref<ns::Dictionary> change = changeWithNewValue();
        for (int round = 0; round < kRounds; ++round) {
            cf::DictionaryRef hit = charger("AppleARMPMUCharger", "hit");
            listener->observeValueForKeyPath("batteryState", nullptr, change, nullptr);
            cf::release(hit);
        }
    });
    for (auto& thread : releasers)
        thread.join();
    EXPECT_EQ(posts.size(), static_cast<std::size_t>(kRounds));
    EXPECT_TRUE(listener->allocations().empty());
}

} // namespace
