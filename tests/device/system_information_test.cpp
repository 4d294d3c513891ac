// The summaries: every key with its value's kind, nil answers left out, and the flat dictionary
// as the union of the areas in their order.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/si_network.h"
#include "device/si_system.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/array.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"

namespace {

// "key:kind" per entry, in order: "b" bool, "i" 32-bit int, "q" 64-bit, "f" float, "@" object.
std::vector<std::string> shape(const rt::Ref<ns::MutableDictionary>& d) {
    std::vector<std::string> out;
    const auto keys = d->allKeys();
    for (std::size_t i = 0; i < keys->count(); ++i) {
        const auto key = keys->objectAtIndex(i);
        const auto number = rt::cast<ns::Number>(d->objectForKey(key));
        std::string kind = "@";
        if (number) {
            switch (number->kind()) {
            case ns::Number::Kind::Bool: kind = "b"; break;
            case ns::Number::Kind::Int: kind = "i"; break;
            case ns::Number::Kind::LongLong: kind = "q"; break;
            case ns::Number::Kind::Float: kind = "f"; break;
            default: kind = "?";
            }
        }
        out.push_back(key->description() + ":" + kind);
    }
    return out;
}

std::vector<std::string> keys(const rt::Ref<ns::MutableDictionary>& d) {
    std::vector<std::string> out;
    for (const std::string& entry : shape(d)) out.push_back(entry.substr(0, entry.find(':')));
    return out;
}

const std::vector<std::string> kBattery{
    "batteryFullCharged:b", "inCharge:b", "devicePluggedIntoPower:b", "batteryState:i", "batteryLevel:f",
    "remainingHoursForStandby:@", "remainingHoursFor3gConversation:@", "remainingHoursFor2gConversation:@",
    "remainingHoursForInternet3g:@", "remainingHoursForInternetWiFi:@", "remainingHoursForVideo:@",
    "remainingHoursForAudio:@"};
const std::vector<std::string> kDisk{"totalDiskSpace:@", "freeDiskSpace:@", "usedDiskSpace:@",
                                     "totalDiskSpaceInBytes:f", "freeDiskSpaceInBytes:f", "usedDiskSpaceInBytes:f"};
const std::vector<std::string> kPerModel{"sim", "dimensions", "weight", "displayType", "displayDensity", "WLAN",
                                         "bluetooth", "cameraPrimary", "cameraSecondary", "cpu", "gpu"};
const std::vector<std::string> kHardware{
    "deviceModel:@", "deviceName:@", "systemName:@", "systemVersion:@", "screenWidth:f", "screenHeight:f",
    "brightness:f", "platformType:@", "bootTime:@", "proximitySensor:b", "multitaskingEnabled:b", "sim:@",
    "dimensions:@", "weight:@", "displayType:@", "displayDensity:@", "WLAN:@", "bluetooth:@", "cameraPrimary:@",
    "cameraSecondary:@", "cpu:@", "gpu:@"};
const std::vector<std::string> kJailbreak{"isJailbroken:b"};
const std::vector<std::string> kLocalization{"language:@", "timeZone:@", "currencySimbol:@",
                                             "currencyCode:@", "country:@", "measurementSystem:@"};
const std::vector<std::string> kMemory{"totalMemory:q", "freeMemory:f", "usedMemory:f",
                                       "activeMemory:f", "wiredMemory:f", "inactiveMemory:f"};
const std::vector<std::string> kNetwork{"currentIPAddress:@", "connectedViaWiFi:b", "connectedVia3G:b",
                                        "macAddress:@", "externalIPAddress:@", "cellIPAddress:@",
                                        "WiFiNetmaskAddress:@", "WiFiBroadcastAddress:@", "BSSID:@", "SSID:@"};
const std::vector<std::string> kProcessor{"processorsNumber:q", "activeProcessorsNumber:q", "cpuUsageForApp:f",
                                          "activeProcesses:@", "numberOfActiveProcesses:q"};
const std::vector<std::string> kCarrier{"carrierName:@", "carrierISOCountryCode:@", "carrierMobileCountryCode:@",
                                        "carrierMobileNetworkCode:@", "carrierAllowsVOIP:b"};
const std::vector<std::string> kAccessory{"accessoriesPluggedIn:b", "numberOfAccessoriesPluggedIn:q",
                                          "isHeadphonesAttached:b"};

testkit::AppOptions fixedDevice() {
    return {.adjust = [](sim::Profile& p) {
        p.host.memory = sim::HostFigures::Memory{3.0 * (1 << 30), 1.0 * (1 << 30)};
        p.host.disk = sim::HostFigures::Memory{32.0 * (1 << 30), 8.0 * (1 << 30)};
        p.host.processes = 4;
        p.host.processors = sim::HostFigures::Processors{2, 2};
        p.host.threads = std::vector<sim::ThreadLoad>{{250, false}};
        p.host.uptime = 3600;
        p.battery = {0.5, sim::BatteryState::Charging, false};
        p.interfaces = {.host = false,
                        .fixed = {{"en0", "192.168.1.20", "255.255.255.0", "", "02:00:00:AA:BB:CC"},
                                  {"pdp_ip0", "10.1.0.5", "255.0.0.0", "", ""}}};
    }};
}

} // namespace

// A device with every answer present: the address page served on loopback. Outside the anonymous
// namespace: the tests TEST_F makes derive from it.
class SISystem : public ::testing::Test {
protected:
    void SetUp() override {
        server.script("GET", si::Network::kAddressPagePath, {.body = "<p>Current IP Address: 203.0.113.7</p>"});
        ns::Bundle::setInfoValueOverride(si::Network::kAddressPageServerInfoKey, server.url(""));
    }
    void TearDown() override { ns::Bundle::removeInfoValueOverride(si::Network::kAddressPageServerInfoKey); }
    testkit::LoopbackServer server;
};


TEST_F(SISystem, EachAreaHoldsItsKeysWithTheirKinds) {
    testkit::AppFixture app(fixedDevice());
    const std::pair<rt::Ref<ns::MutableDictionary> (*)(), const std::vector<std::string>*> areas[] = {
        {si::System::batteryInformations, &kBattery},     {si::System::diskInformations, &kDisk},
        {si::System::hardwareInformations, &kHardware},   {si::System::jailbreakInformations, &kJailbreak},
        {si::System::localizationInformations, &kLocalization}, {si::System::memoryInformations, &kMemory},
        {si::System::networkInformations, &kNetwork},     {si::System::processorInformations, &kProcessor}, {si::System::carrierInformations, &kCarrier},
        {si::System::accessoryInformations, &kAccessory},
    };
    for (const auto& [area, expected] : areas) EXPECT_EQ(shape(area()), *expected);
    EXPECT_NE(si::System::diskInformations().get(), si::System::diskInformations().get()) << "a new dictionary each call";

    const auto battery = si::System::batteryInformations();
    EXPECT_EQ(battery->objectForKey("batteryState")->description(), "2");
    EXPECT_EQ(battery->objectForKey("batteryLevel")->description(), "50");
    EXPECT_EQ(si::System::memoryInformations()->objectForKey("totalMemory")->description(), "3072");
    EXPECT_EQ(rt::cast<ns::Array>(si::System::processorInformations()->objectForKey("activeProcesses"))->count(), 4u);
}

TEST_F(SISystem, TheFlatDictionaryIsTheAreasInOrder) {
    testkit::AppFixture app(fixedDevice());
    std::vector<std::string> expected;
    for (const auto* area : {&kBattery, &kDisk, &kHardware, &kJailbreak, &kLocalization, &kMemory, &kNetwork,
                             &kProcessor, &kCarrier, &kAccessory})
        expected.insert(expected.end(), area->begin(), area->end());
    const auto flat = si::System::systemInformations();
    EXPECT_EQ(expected.size(), 76u);
    EXPECT_EQ(shape(flat), expected);
    EXPECT_EQ(flat->objectForKey("externalIPAddress")->description(), "203.0.113.7");
    EXPECT_EQ(flat->objectForKey("WiFiBroadcastAddress")->description(), "192.168.1.255");
    EXPECT_EQ(flat->objectForKey("carrierName")->description(), "Kestrel Mobile");
    EXPECT_EQ(flat->objectForKey("bootTime")->description(), "01:00:00");
}

TEST_F(SISystem, NilAnswersLeaveTheirKeysOut) {
    testkit::AppFixture app({.adjust = [](sim::Profile& p) { p.carrier.reset(); }, .copyBundle = true});
    std::filesystem::remove(app.bundleFolder() + "/iPhone.plist");
    EXPECT_EQ(keys(si::System::carrierInformations()), std::vector<std::string>{"carrierAllowsVOIP"});
    const auto hardware = keys(si::System::hardwareInformations());
    EXPECT_EQ(hardware.size(), kHardware.size() - kPerModel.size());
    for (const std::string& key : kPerModel)
        EXPECT_EQ(std::find(hardware.begin(), hardware.end(), key), hardware.end()) << key;
    const auto battery = si::System::batteryInformations();
    EXPECT_EQ(battery->count(), kBattery.size());
    sim::Device::shared().leaveWifi();
    sim::Device::shared().setReachabilityFlags("0.0.0.0", 0);
    const auto network = keys(si::System::networkInformations());
    for (const char* key : {"externalIPAddress", "BSSID", "SSID"})
        EXPECT_EQ(std::find(network.begin(), network.end(), key), network.end()) << key;
    EXPECT_EQ(server.requests().size(), 0u) << "not connected: the page is not read";
    for (std::size_t i = 5; i < kBattery.size(); ++i)
        EXPECT_EQ(battery->objectForKey(kBattery[i].substr(0, kBattery[i].size() - 2))->description(), "NS");

    sim::Profile unknown = *sim::currentDevice();
    unknown.machine = "AppleTV5,3";
    sim::ScopedDevice device(unknown);
    EXPECT_FALSE(si::System::hardwareInformations()->objectForKey("platformType"));
}
