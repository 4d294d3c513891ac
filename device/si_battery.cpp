#include "device/si_battery.h"

#include <cstdio>
#include <string_view>

#include "device/si_hardware.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace si {

namespace {

// The whole number of hours stored under `key`; nullopt without it.
std::optional<long long> fullBatteryHours(std::string_view key) {
    const auto info = Battery::infoForDevice();
    const rt::Id value = info ? info->objectForKey(key) : nullptr;
    if (const auto number = rt::cast<ns::Number>(value)) return number->longLongValue();
    if (const auto text = rt::cast<ns::String>(value)) return text->longLongValue();
    return std::nullopt;
}

rt::Ref<ns::String> remainingHours(std::string_view key) {
    const double level = Battery::batteryLevel();
    const auto hours = fullBatteryHours(key);
    if (!hours) return ns::String::make("NS");
    // An unknown level has no estimate. The formula alone would give "0:00" for 0 or 1 hours
    // (nothing negative to catch), so the unknown level is told apart before it.
    if (level < 0) return ns::String::make("ND");
    const double h = static_cast<double>(*hours);
    const double minutes = (h - (100 - level) * h / 100) * 60;
    const auto hourPart = static_cast<long>(minutes / 60);
    const auto minutePart = static_cast<long>(minutes - static_cast<double>(hourPart) * 60);
    if (hourPart < 0 || minutePart < 0) return ns::String::make("ND");
    char text[48];
    std::snprintf(text, sizeof text, "%li:%02li", hourPart, minutePart);
    return ns::String::make(text);
}

} // namespace

const rt::Ref<ui::Device>& Battery::device() {
    const auto& device = ui::Device::currentDevice();
    device->setBatteryMonitoringEnabled(true);
    return device;
}

rt::Ref<ns::Dictionary> Battery::infoForDevice() { return Hardware::infoForDevice(); }

double Battery::batteryLevel() {
    const float level = device()->batteryLevel();
    return level > 0 ? static_cast<double>(level) * 100 : -1;
}

bool Battery::batteryFullCharged() { return batteryLevel() == 100.0; }

bool Battery::inCharge() {
    const auto state = device()->batteryState();
    return state == ui::DeviceBatteryState::Charging || state == ui::DeviceBatteryState::Full;
}

bool Battery::devicePluggedIntoPower() { return device()->batteryState() != ui::DeviceBatteryState::Unplugged; }

std::int64_t Battery::batteryState() { return static_cast<std::int64_t>(device()->batteryState()); }

rt::Ref<ns::String> Battery::remainingHoursForStandby() { return remainingHours("standby"); }
rt::Ref<ns::String> Battery::remainingHoursFor3gConversation() { return remainingHours("conversation3g"); }
rt::Ref<ns::String> Battery::remainingHoursFor2gConversation() { return remainingHours("conversation2g"); }
rt::Ref<ns::String> Battery::remainingHoursForInternet3g() { return remainingHours("internet3g"); }
rt::Ref<ns::String> Battery::remainingHoursForInternetWiFi() { return remainingHours("internetwifi"); }
rt::Ref<ns::String> Battery::remainingHoursForVideo() { return remainingHours("video"); }
rt::Ref<ns::String> Battery::remainingHoursForAudio() { return remainingHours("audio"); }

RT_DEFINE_CLASS(Battery, "SIBattery", rt::Object, rt::classMethod("device", &Battery::device),
                rt::classMethod("infoForDevice", &Battery::infoForDevice),
                rt::classMethod("batteryLevel", &Battery::batteryLevel),
                rt::classMethod("batteryFullCharged", &Battery::batteryFullCharged),
                rt::classMethod("inCharge", &Battery::inCharge),
                rt::classMethod("devicePluggedIntoPower", &Battery::devicePluggedIntoPower),
                rt::classMethod("batteryState", &Battery::batteryState),
                rt::classMethod("remainingHoursForStandby", &Battery::remainingHoursForStandby),
                rt::classMethod("remainingHoursFor3gConversation", &Battery::remainingHoursFor3gConversation),
                rt::classMethod("remainingHoursFor2gConversation", &Battery::remainingHoursFor2gConversation),
                rt::classMethod("remainingHoursForInternet3g", &Battery::remainingHoursForInternet3g),
                rt::classMethod("remainingHoursForInternetWiFi", &Battery::remainingHoursForInternetWiFi),
                rt::classMethod("remainingHoursForVideo", &Battery::remainingHoursForVideo),
                rt::classMethod("remainingHoursForAudio", &Battery::remainingHoursForAudio))

} // namespace si
