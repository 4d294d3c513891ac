// The test item (rows by key-value coding, observation, identity), the memory cache (one instance
// across threads, plain keys) and the capability probes over simulated devices.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "session/core/function_helper.h"
#include "session/core/memory_cache.h"
#include "session/core/test_base_model.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/latch.h"

namespace {

using ft::TestBaseModel;

using ns::str;

// Counts the "selected" changes it hears, with their new values.
class SelectionObserver : public rt::Object {
    RT_CLASS(SelectionObserver)
public:
    std::vector<bool> heard;
    void observeValueForKeyPath(std::string_view keyPath, const rt::Id&, const rt::Ref<ns::Dictionary>& change,
                                void*) override {
        if (keyPath != "selected") return;
        auto value = rt::cast<ns::Number>(change->objectForKey("new"));
        heard.push_back(value && value->boolValue());
    }

protected:
    SelectionObserver() = default;
};

} // namespace

RT_DEFINE_CLASS(SelectionObserver, "SessionTestSelectionObserver", rt::Object)

namespace {

TEST(TestItem, ARowFillsTheItemByKeyValueCoding) {
    auto row = ns::Dictionary::withPairs({{str("name"), str("WifiViewController")},
                                          {str("auto"), ns::Number::withBool(true)},
                                          {str("success"), ns::Number::withInt(0)},
                                          {str("selected"), ns::Number::withBool(false)},
                                          {str("profile"), str("WIFI")},
                                          {str("direction"), str("Back")}});
    ns::CapturedLog log;
    auto item = TestBaseModel::customClassWithProperties(row);
    EXPECT_EQ(item->name()->utf8(), "WifiViewController");
    EXPECT_TRUE(item->isAuto());
    EXPECT_EQ(item->success(), 0);
    EXPECT_FALSE(item->selected());
    EXPECT_EQ(item->profile()->utf8(), "WIFI");
    EXPECT_EQ(item->direction()->utf8(), "Back");
    EXPECT_TRUE(log.lines().empty());

    // Another holder of the same item sees a result written by key, and items compare by identity.
    rt::Ref<TestBaseModel> holder = item;
    item->setValueForKey(ns::Number::withInt(TestBaseModel::kPassed), "success");
    EXPECT_EQ(holder->success(), TestBaseModel::kPassed);
    auto twin = TestBaseModel::customClassWithProperties(row);
    EXPECT_FALSE(item->isEqual(twin.get()));
    EXPECT_TRUE(item->isEqual(holder.get()));
}

TEST(TestItem, AnEmptyRowGivesNilNoAndZeroAndUnknownKeysAreLogged) {
    auto empty = TestBaseModel::customClassWithProperties(ns::Dictionary::make());
    EXPECT_FALSE(empty->name());
    EXPECT_FALSE(empty->title());
    EXPECT_FALSE(empty->header());
    EXPECT_FALSE(empty->selected());
    EXPECT_FALSE(empty->isAuto());
    EXPECT_EQ(empty->success(), 0);
    EXPECT_EQ(empty->lastCode(), 0);
    EXPECT_FALSE(TestBaseModel::customClassWithProperties(nullptr)->name());

    ns::CapturedLog log;
    auto odd = TestBaseModel::customClassWithProperties(
        ns::Dictionary::withPairs({{str("colour"), str("red")}, {str("success"), ns::Null::null()}}));
    EXPECT_FALSE(odd->color());
    EXPECT_EQ(odd->success(), 0);
    EXPECT_TRUE(log.contains("colour"));
}

TEST(TestItem, AnObserverOfSelectedHearsTheSetterAndKeyValueWrites) {
    auto item = TestBaseModel::make();
    auto observer = rt::make<SelectionObserver>();
    ns::addObserverForKeyPath(item, observer, "selected", ns::KeyValueObservingOptions::New);
    item->setSelected(true);
    item->setValueForKey(ns::Number::withBool(false), "selected");
    item->setSuccess(2); // another key: not heard
    ns::removeObserverForKeyPath(item, observer, "selected");
    item->setSelected(true);
    EXPECT_EQ(observer->heard, (std::vector<bool>{true, false}));
}

TEST(MemoryCache, OneInstanceForEveryThreadAndPlainKeys) {
    constexpr int kThreads = 4;
    std::vector<const ft::MemoryCache*> seen(kThreads);
    testkit::Latch start(1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            EXPECT_TRUE(start.wait());
            seen[i] = ft::MemoryCache::sharedInstance().get();
        });
    start.countDown();
    for (auto& t : threads)
        t.join();
    for (const auto* s : seen)
        EXPECT_EQ(s, ft::MemoryCache::sharedInstance().get());

    const auto& cache = ft::MemoryCache::sharedInstance();
    auto login = str("login reply");
    cache->setObjectForKey(login, "logininfo");
    EXPECT_EQ(cache->objectForKey("logininfo"), login);
    EXPECT_FALSE(cache->objectForKey("@count")); // a plain key, not the dictionary's count
    cache->setObjectForKey(str("three"), "@count");
    EXPECT_EQ(cache->objectForKey("@count")->description(), "three");
    cache->setObjectForKey(nullptr, "@count"); // nil removes
    EXPECT_FALSE(cache->objectForKey("@count"));
    cache->removeObjectForKey("logininfo");
    EXPECT_FALSE(cache->objectForKey("logininfo"));
    EXPECT_EQ(cache->dictionary()->count(), 0u);
}

class ProbeTest : public ::testing::Test {
protected:
    void install(std::function<void(sim::Profile&)> adjust) {
        app_.reset(); // one fixture at a time
        app_ = std::make_unique<testkit::AppFixture>(testkit::AppOptions{.adjust = std::move(adjust)});
    }
    std::unique_ptr<testkit::AppFixture> app_;
};

TEST_F(ProbeTest, CamerasFlashAndMotionFollowTheDevice) {
    install({});
    EXPECT_TRUE(ft::FunctionHelper::hasCameraWithPosition(1));
    EXPECT_TRUE(ft::FunctionHelper::hasCameraWithPosition(2));
    EXPECT_FALSE(ft::FunctionHelper::hasCameraWithPosition(0));
    EXPECT_TRUE(ft::FunctionHelper::hasFlash());
    EXPECT_TRUE(ft::FunctionHelper::hasGyroscope());
    EXPECT_TRUE(ft::FunctionHelper::hasMotion());
    EXPECT_TRUE(ft::FunctionHelper::hasAccelerometer());

    install([](sim::Profile& p) {
        p.removeCameras(sim::CameraPosition::Back);
        p.sensors.gyroscope = false;
        p.sensors.deviceMotion = false;
    });
    EXPECT_FALSE(ft::FunctionHelper::hasCameraWithPosition(1));
    EXPECT_TRUE(ft::FunctionHelper::hasCameraWithPosition(2));
    EXPECT_FALSE(ft::FunctionHelper::hasFlash()); // the front camera is the default and has none
    EXPECT_FALSE(ft::FunctionHelper::hasGyroscope());
    EXPECT_FALSE(ft::FunctionHelper::hasMotion());
    EXPECT_TRUE(ft::FunctionHelper::hasAccelerometer());

    install([](sim::Profile& p) { p.cameras.clear(); });
    EXPECT_FALSE(ft::FunctionHelper::hasCameraWithPosition(1));
    EXPECT_FALSE(ft::FunctionHelper::hasCameraWithPosition(2));
    EXPECT_FALSE(ft::FunctionHelper::hasFlash());
}

} // namespace
