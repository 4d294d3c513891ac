// The device identity utilities: names, generations, the Wi-Fi-only check, versions and the
// timestamp, and both downloads over loopback HTTPS with every way a reply can go wrong.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "session/core/utility.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/self_signed_certificate.h"

namespace {

using ft::Utility;

using ns::str;

TEST(UtilityNames, MarketingNamesAreByteExact) {
    const std::pair<const char*, const char*> cases[] = {
        {"iPhone10,3", "iPhone X"},          {"iPad2,1", "iPad 2 "},
        {"iPad2,2", "iPad 2"},               {"iPod1,1", "iPod Touch 1G "},
        {"x86_64", "iPhone Simulator"},      {"iPhone11,2", "unknown device"},
        {"iPad7,6", "iPad 2018 (Cellular)"}, {"iphone10,3", "unknown device"},
    };
    for (const auto& [machine, name] : cases)
        EXPECT_EQ(Utility::deviceVersionFor(machine)->utf8(), name) << machine;
}

TEST(UtilityNames, TabletGenerationFromTheIdentifier) {
    for (const char* yes : {"iPad8,1", "iPad13,4", "iPad10,1"})
        EXPECT_TRUE(Utility::iPadProFor(*str(yes))) << yes;
    for (const char* no : {"iPad7,3", "iPhone10,3", "iPad", "iPad1,", ""})
        EXPECT_FALSE(Utility::iPadProFor(*str(no))) << no;
}

TEST(UtilityWifiOnly, TheCheckOverTheBuiltInTable) {
    auto table = Utility::builtInWifiOnlyTable();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count(), 55u);
    EXPECT_FALSE(Utility::checkiPadIsWifiOnly(str("iPad2,2"), table));
    for (const char* yes : {"iPad2,1", "iPad1,1", "iPhone9,1", ""})
        EXPECT_TRUE(Utility::checkiPadIsWifiOnly(str(yes), table)) << yes;
    EXPECT_TRUE(Utility::checkiPadIsWifiOnly(nullptr, table));
    EXPECT_TRUE(Utility::checkiPadIsWifiOnly(str("iPad2,2"), nullptr));
    EXPECT_TRUE(Utility::checkiPadIsWifiOnly(str("iPad2,2"), str("oops")));
    // Values that are not texts count as Wi-Fi only, never as a crash.
    auto odd = ns::MutableDictionary::make();
    odd->setObjectForKey(ns::Number::withBool(false), "iPad2,2");
    EXPECT_TRUE(Utility::checkiPadIsWifiOnly(str("iPad2,2"), odd));
}

TEST(UtilityModelTable, WalksTypeCheckedAndTheLastMatchWins) {
    auto parse = [](std::string_view json) { return ns::JSONSerialization::JSONObjectWithData(json); };
    const auto machine = str("iPad5,4");
    auto table = parse(R"({"iOS": {"2015": [{"MR6Y2": [{"identifier": "iPad5,4"}]}],
                                   "2016": [{"MR702": [{"identifier": "iPad5,3"}, {"identifier": "iPad5,4"}]}]}})");
    EXPECT_EQ(Utility::modelNumberInTable(table, *machine)->utf8(), "MR702");
    auto malformed = parse(R"({"iOS": {"a": [{}, "entry", {"M1": "not an array"}, {"M2": [7, {"identifier": 5}]}],
                                       "b": "a string group", "c": [{"M3": [{"identifier": "iPad5,4"}]}]}})");
    EXPECT_EQ(Utility::modelNumberInTable(malformed, *machine)->utf8(), "M3");
    for (const char* bad : {R"({"iOS": []})", R"({"iOS": {"a": "x"}})", R"([1])", R"({"iOS": {"a": [{}]}})"})
        EXPECT_FALSE(Utility::modelNumberInTable(parse(bad), *machine)) << bad;
    EXPECT_FALSE(Utility::modelNumberInTable(nullptr, *machine));
}

// ---- With the application's bundle and device --------------------------------------------

class UtilityAppTest : public testkit::AppTest {};

TEST_F(UtilityAppTest, ClientVersionAndMachineComeFromTheBundleAndTheDevice) {
    EXPECT_EQ(Utility::clientVersion()->utf8(), "2.1.15");
    EXPECT_EQ(Utility::hardwareName()->utf8(), sim::machine());
    EXPECT_EQ(Utility::deviceVersion()->utf8(), "iPhone 7");
    EXPECT_EQ(Utility::osVersion()->utf8(), "12.4.1");
    EXPECT_GT(Utility::getDeviceMemorySize(), 0u);
    EXPECT_GT(Utility::getFreeDiskspace(), 0u);
    EXPECT_TRUE(app().logContains("MiB Free memory available."));
}

// Sets the process's time zone for one scope.
// The device's zone for a scope, with the host's set to another one that must not count.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        ::setenv("TZ", "America/Los_Angeles", 1);
        ::tzset();
        ns::TimeZone::setSystemTimeZoneName(zone);
    }
    ~ScopedTimeZone() {
        ns::TimeZone::setSystemTimeZoneName("");
        if (previous_)
            ::setenv("TZ", previous_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> previous_;
};

TEST_F(UtilityAppTest, TheTimestampIsInTheDevicesZoneNotTheHosts) {
    {
        ScopedTimeZone zone("UTC");
        EXPECT_EQ(Utility::createDateString()->utf8(), "2026-01-01T00:00:00+0000");
    }
    {
        ScopedTimeZone zone("Asia/Kolkata");
        EXPECT_EQ(Utility::createDateString()->utf8(), "2026-01-01T05:30:00+0530");
    }
}

// ---- Downloads --------------------------------------------------------------------------

class DownloadTest : public testkit::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(ns::URLLoading::addTrustedCertificatePEM(identity.pem));
        point(server);
    }
    void TearDown() override {
        // The TLS library reads its sockets out of the race detector's sight of their closing: a
        // server still running when the application's folder is removed can be reported reading
        // the descriptor number that folder's listing is given. Its threads end first.
        server.stop();
        ns::URLLoading::removeAllTrustedCertificates();
        ns::Bundle::removeInfoValueOverride(Utility::kMakerServerInfoKey);
        AppTest::TearDown();
    }
    void point(const testkit::LoopbackServer& at) {
        ns::Bundle::setInfoValueOverride(Utility::kMakerServerInfoKey, at.url("", "https"));
    }
    void reply(testkit::ScriptedReply r) { server.script("GET", Utility::kModelTablePath, std::move(r)); }

    struct Results {
        int tableCalls = 0, modelCalls = 0;
        bool offMain = false;
        rt::Ref<ns::Dictionary> table;
        rt::Ref<ns::String> model;
    };
    // Both downloads, each stepped to its end (one connection at a time: the loopback server's own
    // library reports races under ThreadSanitizer when it serves several at once).
    Results download(std::string_view machine = "iPad5,4") {
        Results r;
        Utility::iPadisWifiOnly(nullptr, [&](const rt::Ref<ns::Dictionary>& t) {
            ++r.tableCalls;
            r.offMain = r.offMain || !ns::Thread::isMainThread();
            r.table = t;
        });
        app().advance(0);
        Utility::deviceModelNumberWithInternalName(str(machine), [&](const rt::Ref<ns::String>& m) {
            ++r.modelCalls;
            r.offMain = r.offMain || !ns::Thread::isMainThread();
            r.model = m;
        });
        app().advance(0);
        EXPECT_EQ(r.tableCalls, 1);
        EXPECT_EQ(r.modelCalls, 1);
        EXPECT_FALSE(r.offMain);
        return r;
    }
    static bool isBuiltIn(const rt::Ref<ns::Dictionary>& table) {
        return table && table->isEqual(Utility::builtInWifiOnlyTable().get());
    }

    testkit::SelfSignedCertificate identity;
    testkit::LoopbackServer server{std::make_unique<httplib::SSLServer>(identity.cert, identity.key)};
};

TEST_F(DownloadTest, TheReplyGivesTheTableAndTheLastModelNumber) {
    reply({.body = R"({"WifiOnly": {"iPad5,4": "false"},
                       "iOS": {"2015": [{"MR6Y2": [{"identifier": "iPad5,4"}]}],
                               "2016": [{}, {"MR702": [{"identifier": "iPad5,4"}]}]}})"});
    Results r = download();
    ASSERT_TRUE(r.table);
    EXPECT_EQ(r.table->count(), 1u);
    ASSERT_TRUE(r.model);
    EXPECT_EQ(r.model->utf8(), "MR702");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].target, "/tools/AppleModel.json");
    EXPECT_TRUE(app().logContains("JSON: "));
}

TEST_F(DownloadTest, RepliesWithoutATableGiveTheBuiltInOne) {
    for (const char* body : {R"({"iOS": {}})", R"({"WifiOnly": "all of them"})", ""}) {
        reply({.body = body});
        Results r = download();
        EXPECT_TRUE(isBuiltIn(r.table)) << body;
        EXPECT_FALSE(r.model) << body;
    }
}

TEST_F(DownloadTest, FailuresGiveTheBuiltInTableAndNoModelNumber) {
    reply({.status = 500, .body = R"({"WifiOnly": {"iPad5,4": "false"}})"});
    Results failed = download();
    EXPECT_TRUE(isBuiltIn(failed.table));
    EXPECT_FALSE(failed.model);
    EXPECT_TRUE(app().logContains("Error: "));

    reply({.body = "<html>not json</html>", .contentType = "text/html"});
    Results garbled = download();
    EXPECT_TRUE(isBuiltIn(garbled.table));
    EXPECT_FALSE(garbled.model);

    ns::Bundle::setInfoValueOverride(Utility::kMakerServerInfoKey, "https://127.0.0.1:1");
    Results refused = download();
    EXPECT_TRUE(isBuiltIn(refused.table));
    EXPECT_FALSE(refused.model);

    ns::URLLoading::removeAllTrustedCertificates();
    point(server);
    reply({.body = R"({"WifiOnly": {"iPad5,4": "false"}})"});
    Results untrusted = download();
    EXPECT_TRUE(isBuiltIn(untrusted.table));
    EXPECT_FALSE(untrusted.model);
}

} // namespace
