#include "device/si_system.h"

#include <cstdint>
#include <initializer_list>

#include "device/si_accessory.h"
#include "device/si_battery.h"
#include "device/si_carrier.h"
#include "device/si_disk.h"
#include "device/si_hardware.h"
#include "device/si_jailbreak.h"
#include "device/si_localization.h"
#include "device/si_memory.h"
#include "device/si_network.h"
#include "device/si_processor.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace si {

namespace {

using Dictionary = ns::MutableDictionary;

// Stores `value` under `key` unless it is nil.
void put(Dictionary& d, const char* key, const rt::Id& value) {
    if (value) d.setObjectForKey(value, key);
}
void putBool(Dictionary& d, const char* key, bool value) { put(d, key, ns::Number::withBool(value)); }
void putInteger(Dictionary& d, const char* key, std::int64_t value) {
    put(d, key, ns::Number::withLongLong(static_cast<long long>(value)));
}
void putFloat(Dictionary& d, const char* key, double value) {
    put(d, key, ns::Number::withFloat(static_cast<float>(value)));
}

void addBattery(Dictionary& d) {
    putBool(d, "batteryFullCharged", Battery::batteryFullCharged());
    putBool(d, "inCharge", Battery::inCharge());
    putBool(d, "devicePluggedIntoPower", Battery::devicePluggedIntoPower());
    put(d, "batteryState", ns::Number::withInt(static_cast<int>(Battery::batteryState())));
    putFloat(d, "batteryLevel", Battery::batteryLevel());
    put(d, "remainingHoursForStandby", Battery::remainingHoursForStandby());
    put(d, "remainingHoursFor3gConversation", Battery::remainingHoursFor3gConversation());
    put(d, "remainingHoursFor2gConversation", Battery::remainingHoursFor2gConversation());
    put(d, "remainingHoursForInternet3g", Battery::remainingHoursForInternet3g());
    put(d, "remainingHoursForInternetWiFi", Battery::remainingHoursForInternetWiFi());
    put(d, "remainingHoursForVideo", Battery::remainingHoursForVideo());
    put(d, "remainingHoursForAudio", Battery::remainingHoursForAudio());
}

void addDisk(Dictionary& d) {
    put(d, "totalDiskSpace", Disk::totalDiskSpace());
    put(d, "freeDiskSpace", Disk::freeDiskSpace());
    put(d, "usedDiskSpace", Disk::usedDiskSpace());
    putFloat(d, "totalDiskSpaceInBytes", Disk::totalDiskSpaceInBytes());
    putFloat(d, "freeDiskSpaceInBytes", Disk::freeDiskSpaceInBytes());
    putFloat(d, "usedDiskSpaceInBytes", Disk::usedDiskSpaceInBytes());
}

void addHardware(Dictionary& d) {
    put(d, "deviceModel", Hardware::deviceModel());
    put(d, "deviceName", Hardware::deviceName());
    put(d, "systemName", Hardware::systemName());
    put(d, "systemVersion", Hardware::systemVersion());
    putFloat(d, "screenWidth", static_cast<double>(Hardware::screenWidth()));
    putFloat(d, "screenHeight", static_cast<double>(Hardware::screenHeight()));
    putFloat(d, "brightness", Hardware::brightness());
    put(d, "platformType", Hardware::platformType());
    put(d, "bootTime", Hardware::bootTime());
    putBool(d, "proximitySensor", Hardware::proximitySensor());
    putBool(d, "multitaskingEnabled", Hardware::multitaskingEnabled());
    put(d, "sim", Hardware::sim());
    put(d, "dimensions", Hardware::dimensions());
    put(d, "weight", Hardware::weight());
    put(d, "displayType", Hardware::displayType());
    put(d, "displayDensity", Hardware::displayDensity());
    put(d, "WLAN", Hardware::WLAN());
    put(d, "bluetooth", Hardware::bluetooth());
    put(d, "cameraPrimary", Hardware::cameraPrimary());
    put(d, "cameraSecondary", Hardware::cameraSecondary());
    put(d, "cpu", Hardware::cpu());
    put(d, "gpu", Hardware::gpu());
}

void addJailbreak(Dictionary& d) { putBool(d, "isJailbroken", Jailbreak::isJailbroken()); }

void addLocalization(Dictionary& d) {
    put(d, "language", Localization::language());
    put(d, "timeZone", Localization::timeZone());
    put(d, "currencySimbol", Localization::currencySymbol());
    put(d, "currencyCode", Localization::currencyCode());
    put(d, "country", Localization::country());
    put(d, "measurementSystem", Localization::measurementSystem());
}

void addMemory(Dictionary& d) {
    putInteger(d, "totalMemory", Memory::totalMemory());
    putFloat(d, "freeMemory", Memory::freeMemory());
    putFloat(d, "usedMemory", Memory::usedMemory());
    putFloat(d, "activeMemory", Memory::activeMemory());
    putFloat(d, "wiredMemory", Memory::wiredMemory());
    putFloat(d, "inactiveMemory", Memory::inactiveMemory());
}

void addNetwork(Dictionary& d) {
    put(d, "currentIPAddress", Network::currentIPAddress());
    putBool(d, "connectedViaWiFi", Network::connectedViaWiFi());
    putBool(d, "connectedVia3G", Network::connectedVia3G());
    put(d, "macAddress", Network::macAddress());
    put(d, "externalIPAddress", Network::externalIPAddress());
    put(d, "cellIPAddress", Network::cellIPAddress());
    put(d, "WiFiNetmaskAddress", Network::WiFiNetmaskAddress());
    put(d, "WiFiBroadcastAddress", Network::WiFiBroadcastAddress());
    put(d, "BSSID", Network::BSSID());
    put(d, "SSID", Network::SSID());
}

void addProcessor(Dictionary& d) {
    putInteger(d, "processorsNumber", Processor::processorsNumber());
    putInteger(d, "activeProcessorsNumber", Processor::activeProcessorsNumber());
    putFloat(d, "cpuUsageForApp", Processor::cpuUsageForApp());
    put(d, "activeProcesses", Processor::activeProcesses());
    putInteger(d, "numberOfActiveProcesses", Processor::numberOfActiveProcesses());
}

void addCarrier(Dictionary& d) {
    put(d, "carrierName", Carrier::carrierName());
    put(d, "carrierISOCountryCode", Carrier::carrierISOCountryCode());
    put(d, "carrierMobileCountryCode", Carrier::carrierMobileCountryCode());
    put(d, "carrierMobileNetworkCode", Carrier::carrierMobileNetworkCode());
    putBool(d, "carrierAllowsVOIP", Carrier::carrierAllowsVOIP());
}

void addAccessory(Dictionary& d) {
    putBool(d, "accessoriesPluggedIn", Accessory::accessoriesPluggedIn());
    putInteger(d, "numberOfAccessoriesPluggedIn", Accessory::numberOfAccessoriesPluggedIn());
    putBool(d, "isHeadphonesAttached", Accessory::isHeadphonesAttached());
}

using Area = void (*)(Dictionary&);

rt::Ref<Dictionary> gather(std::initializer_list<Area> areas) {
    auto d = Dictionary::make();
    for (const Area add : areas) add(*d);
    return d;
}

} // namespace

rt::Ref<ns::MutableDictionary> System::systemInformations() {
    return gather({addBattery, addDisk, addHardware, addJailbreak, addLocalization, addMemory, addNetwork, addProcessor,
                   addCarrier, addAccessory});
}

rt::Ref<ns::MutableDictionary> System::batteryInformations() { return gather({addBattery}); }
rt::Ref<ns::MutableDictionary> System::diskInformations() { return gather({addDisk}); }
rt::Ref<ns::MutableDictionary> System::hardwareInformations() { return gather({addHardware}); }
rt::Ref<ns::MutableDictionary> System::jailbreakInformations() { return gather({addJailbreak}); }
rt::Ref<ns::MutableDictionary> System::localizationInformations() { return gather({addLocalization}); }
rt::Ref<ns::MutableDictionary> System::memoryInformations() { return gather({addMemory}); }
rt::Ref<ns::MutableDictionary> System::networkInformations() { return gather({addNetwork}); }
rt::Ref<ns::MutableDictionary> System::processorInformations() { return gather({addProcessor}); }
rt::Ref<ns::MutableDictionary> System::carrierInformations() { return gather({addCarrier}); }
rt::Ref<ns::MutableDictionary> System::accessoryInformations() { return gather({addAccessory}); }

RT_DEFINE_CLASS(System, "SISystem", rt::Object, rt::classMethod("systemInformations", &System::systemInformations),
                rt::classMethod("batteryInformations", &System::batteryInformations),
                rt::classMethod("diskInformations", &System::diskInformations),
                rt::classMethod("hardwareInformations", &System::hardwareInformations),
                rt::classMethod("jailbreakInformations", &System::jailbreakInformations),
                rt::classMethod("localizationInformations", &System::localizationInformations),
                rt::classMethod("memoryInformations", &System::memoryInformations),
                rt::classMethod("networkInformations", &System::networkInformations),
                rt::classMethod("processorInformations", &System::processorInformations),
                rt::classMethod("carrierInformations", &System::carrierInformations),
                rt::classMethod("accessoryInformations", &System::accessoryInformations))

} // namespace si
