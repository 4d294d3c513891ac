#include "platform/systemconfiguration/captive_network.h"

#include <algorithm>

#include "platform/sim/device.h"

namespace cn {

namespace {

constexpr const char* kWifiInterface = "en0";

bool hasWifi(const sim::Profile& device) {
    const sim::Interfaces& interfaces = device.interfaces;
    if (interfaces.host) return interfaces.aliases.contains(kWifiInterface);
    return std::any_of(interfaces.fixed.begin(), interfaces.fixed.end(),
                       [](const sim::NetworkInterface& i) { return i.name == kWifiInterface; });
}

} // namespace

rt::Ref<ns::Array> copySupportedInterfaces() {
    if (!hasWifi(*sim::currentDevice())) return nullptr;
    return ns::Array::make({ns::String::make(kWifiInterface)});
}

rt::Ref<ns::Dictionary> copyCurrentNetworkInfo(const rt::Ref<ns::String>& interfaceName) {
    const auto device = sim::currentDevice();
    if (!interfaceName || interfaceName->utf8() != kWifiInterface || !hasWifi(*device) || !device->wifi)
        return nullptr;
    auto info = ns::MutableDictionary::make();
    info->setObjectForKey(ns::String::make(device->wifi->ssid), "SSID");
    info->setObjectForKey(ns::String::make(device->wifi->bssid), "BSSID");
    return info;
}

} // namespace cn
