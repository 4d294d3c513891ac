// si::Network over a device with fixed interfaces, the kernel hook's failures and loopback pages.

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/si_network.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/url_reading.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "platform/sim/kernel_hook.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"
#include "tools/reference_service/service.h"

namespace {

using namespace sim::reachability;
using si::Network;

std::optional<std::string> optionalText(const rt::Ref<ns::String>& s) {
    return s ? std::optional(s->utf8()) : std::nullopt;
}

sim::NetworkInterface interface(std::string name, std::string ipv4, std::string netmask = "255.255.255.0",
                                std::string ipv6 = "", std::string mac = "") {
    return {std::move(name), std::move(ipv4), std::move(netmask), std::move(ipv6), std::move(mac)};
}

class SINetworkTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { use({interface("en0", "192.168.1.20", "255.255.255.0", "fe80::1", "02:00:00:aa:bb:cc")}); }
    void TearDown() override {
        ns::Bundle::removeInfoValueOverride(Network::kAddressPageServerInfoKey);
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    void use(std::vector<sim::NetworkInterface> interfaces) {
        sim::Profile p = sim::defaultProfile();
        p.interfaces = {.host = false, .aliases = {}, .fixed = std::move(interfaces)};
        device_.reset();
        device_.emplace(std::move(p));
    }
    static sim::Device& live() { return sim::Device::shared(); }

private:
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(SINetworkTest, TheOneInstanceIsItsOwnCopy) {
    const auto& shared = Network::sharedInstance();
    EXPECT_EQ(shared.get(), Network::sharedInstance().get());
    EXPECT_EQ(shared->copy().get(), shared.get());
    EXPECT_EQ(shared->getClass().name(), "SINetwork");
}

TEST_F(SINetworkTest, LocalAddressesPreferWifiSkipIPv6AndTakeTheLaterOfTwoEntries) {
    const struct {
        std::vector<sim::NetworkInterface> interfaces;
        const char* current;
        std::optional<std::string> cell, broadcast;
    } rows[] = {
        {{interface("en0", "192.168.1.20", "255.255.255.0", "fe80::1"), interface("pdp_ip0", "10.64.0.9")},
         "192.168.1.20", "10.64.0.9", "192.168.1.255"},
        {{interface("pdp_ip0", "10.64.0.9")}, "10.64.0.9", "10.64.0.9", std::nullopt}, // no en0: no mask
        {{}, "0.0.0.0", std::nullopt, std::nullopt},
        {{interface("en0", "192.168.1.20", "255.255.240.0"), interface("en0", "172.16.5.4", "255.255.240.0")},
         "172.16.5.4", std::nullopt, "172.16.15.255"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        use(rows[i].interfaces);
        EXPECT_EQ(optionalText(Network::currentIPAddress()), rows[i].current) << i;
        EXPECT_EQ(optionalText(Network::cellIPAddress()), rows[i].cell) << i;
        EXPECT_EQ(optionalText(Network::WiFiBroadcastAddress()), rows[i].broadcast) << i;
    }
}

TEST_F(SINetworkTest, TheMaskAndBroadcastNeedTheInterfaceRequest) {
    EXPECT_EQ(optionalText(Network::WiFiNetmaskAddress()), "255.255.255.0");
    for (auto call : {sim::KernelCall::Socket, sim::KernelCall::Ioctl}) {
        sim::ScopedKernelHook hook(sim::failingCall(call, EIO));
        EXPECT_FALSE(Network::WiFiNetmaskAddress());
        EXPECT_FALSE(Network::WiFiBroadcastAddress());
    }
}

TEST_F(SINetworkTest, TheHardwareAddressOrTheFailedStepsTextReturnedAndLogged) {
    EXPECT_EQ(optionalText(Network::macAddress()), "02:00:00:AA:BB:CC");
    const struct {
        sim::KernelHook hook;
        const char* error;
    } rows[] = {
        {sim::failingCall(sim::KernelCall::IfNameToIndex, ENXIO), "if_nametoindex failure"},
        {[](const sim::KernelRequest& r) { return r.call == sim::KernelCall::Sysctl && r.sizeQuery ? EIO : 0; },
         "sysctl mgmtInfoBase failure"},
        {[](const sim::KernelRequest& r) { return r.call == sim::KernelCall::Sysctl && !r.sizeQuery ? EIO : 0; },
         "sysctl msgBuffer failure"},
    };
    for (const auto& row : rows) {
        ns::CapturedLog log;
        sim::ScopedKernelHook hook(row.hook);
        EXPECT_EQ(optionalText(Network::macAddress()), row.error);
        EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("Error: ") + row.error});
    }
    use({interface("pdp_ip0", "10.64.0.9")});
    EXPECT_EQ(optionalText(Network::macAddress()), "if_nametoindex failure") << "no Wi-Fi interface";
}

TEST_F(SINetworkTest, TheConnectionKindAndTheJoinedNetworkFollowTheDevice) {
    const struct {
        unsigned flags;
        bool wifi, cellular;
    } rows[] = {
        {kReachable | kIsDirect, true, false},
        {kReachable | kIsWWAN | kConnectionRequired, false, true},
        {kReachable | kConnectionRequired, false, false},
        {0, false, false},
    };
    for (const auto& row : rows) {
        live().setReachabilityFlags("0.0.0.0", row.flags);
        EXPECT_EQ(Network::connectedViaWiFi(), row.wifi) << row.flags;
        EXPECT_EQ(Network::connectedVia3G(), row.cellular) << row.flags;
    }
    EXPECT_EQ(optionalText(Network::SSID()), "FunctionTest");
    EXPECT_EQ(optionalText(Network::BSSID()), "02:00:00:00:00:01");
    live().leaveWifi();
    EXPECT_FALSE(Network::SSID());
    EXPECT_FALSE(Network::BSSID());
}

TEST_F(SINetworkTest, ThePageGivesTheWordAfterAddressOnceItsTagsAreStripped) {
    const struct {
        const char* page;
        std::optional<std::string> address;
    } rows[] = {
        {"<html><body>Current IP Address: 203.0.113.7</body></html>", "203.0.113.7"},
        {"<html><body><h1>Your IP address is:127.0.0.1</h1><p>Current IP Address: "
         "127.0.0.1</p></body></html>",
         "127.0.0.1"},
        {"<html>\n  <body>Address: 198.51.100.2</body>\n</html>\n", "198.51.100.2"},
        {"Current IP Address: 203.0.113.7", "203.0.113.7"},
        {"<p>Current IP Address:", std::nullopt},             // last word
        {"<p>Current IP Address:</p>", std::nullopt},         // followed by an empty word
        {"<p>Address:  203.0.113.7</p>", std::nullopt},       // two blanks: an empty word
        {"<p>Your address is 203.0.113.7</p>", std::nullopt}, // missing
        {"<b Address: 1.2.3.4", "1.2.3.4"},                   // an unclosed tag stays text
        {"", std::nullopt},
        {"<<<>>>", std::nullopt},
        {"<a <b>Address: 1.2.3.4</b>", "1.2.3.4"},                // a tag ends at its first ">"
        {"<p>Address:</p><p>Address: 1.2.3.4</p>", std::nullopt}, // the first "Address:" decides
    };
    for (const auto& row : rows)
        EXPECT_EQ(optionalText(Network::addressInPage(ns::String::make(row.page))), row.address) << row.page;
    EXPECT_FALSE(Network::addressInPage(nullptr));

    // 16,000 tags, the address at the end.
    std::string page;
    for (int i = 0; i < 8000; ++i)
        page += "<td>" + std::to_string(i) + "</td>";
    page += "Address: 198.51.100.9";
    EXPECT_EQ(optionalText(Network::addressInPage(ns::String::make(page))), "198.51.100.9");
}

TEST_F(SINetworkTest, ThePublicAddressIsReadFromThePageOnlyWhileConnected) {
    testkit::LoopbackServer server;
    server.script("GET", Network::kAddressPagePath,
                  {.body = "<html><body>Current IP Address: 203.0.113.7</body></html>", .contentType = "text/html"});
    ns::Bundle::setInfoValueOverride(Network::kAddressPageServerInfoKey, server.url(""));
    EXPECT_EQ(optionalText(Network::externalIPAddress()), "203.0.113.7");
    live().setReachabilityFlags("0.0.0.0", kReachable | kIsWWAN);
    EXPECT_EQ(optionalText(Network::externalIPAddress()), "203.0.113.7");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].target, "/cgi-bin/check_ip.cgi");

    live().setReachabilityFlags("0.0.0.0", 0);
    EXPECT_FALSE(Network::externalIPAddress());
    EXPECT_EQ(server.requests().size(), 2u) << "not connected: no request";

    live().setReachabilityFlags("0.0.0.0", kReachable);
    server.script("GET", Network::kAddressPagePath, {.status = 500, .body = "Address: 10.0.0.1"});
    EXPECT_FALSE(Network::externalIPAddress()) << "an error page is no answer";
    const std::string large = "Address: 10.0.0.1 " + std::string(Network::kAddressPageMaximumLength, ' ');
    server.script("GET", Network::kAddressPagePath, {.body = large});
    EXPECT_FALSE(Network::externalIPAddress()) << "a page longer than the bound is not read";
    server.script("GET", Network::kAddressPagePath,
                  {.body = large.substr(0, Network::kAddressPageMaximumLength)});
    EXPECT_EQ(optionalText(Network::externalIPAddress()), "10.0.0.1");

    server.script("GET", Network::kAddressPagePath, {.body = "late", .atGate = true});
    ns::ScopedURLContentsReadTimeout shortly(0.2);
    EXPECT_FALSE(Network::externalIPAddress());
    EXPECT_EQ(elapsed(), 0) << "the wait is real time";
    EXPECT_TRUE(server.gate.release());
}

// The page answers the address the device's network names for it (the default device's public
// address), not the loopback address the service sees.
TEST_F(SINetworkTest, TheReferenceServicesPageGivesTheDevicesPublicAddress) {
    testkit::ScratchFolder folder("si-network");
    refsvc::Options options;
    options.dataFolder = folder.path();
    std::string error;
    auto service = refsvc::Service::start(options, &error);
    ASSERT_TRUE(service) << error;
    ns::Bundle::setInfoValueOverride(Network::kAddressPageServerInfoKey, service->baseUrl());
    EXPECT_EQ(optionalText(Network::externalIPAddress()), sim::currentDevice()->publicAddress);
    EXPECT_EQ(sim::currentDevice()->publicAddress, "203.0.113.23");
}

} // namespace
