#include "platform/systemconfiguration/captive_network.h"

#include "platform/sim/device.h"

namespace cn {

rt::Ref<ns::Array> copySupportedInterfaces() {
    if (!sim::currentDevice()->hasWifiInterface()) return nullptr;
    return ns::Array::make({ns::String::make(sim::kWifiInterface)});
}

rt::Ref<ns::Dictionary> copyCurrentNetworkInfo(const rt::Ref<ns::String>& interfaceName) {
    const auto device = sim::currentDevice();
    if (!interfaceName || interfaceName->utf8() != sim::kWifiInterface || !device->onWifi())
        return nullptr;
    auto info = ns::MutableDictionary::make();
    info->setObjectForKey(ns::String::make(device->wifi->ssid), "SSID");
    info->setObjectForKey(ns::String::make(device->wifi->bssid), "BSSID");
    return info;
}

} // namespace cn
