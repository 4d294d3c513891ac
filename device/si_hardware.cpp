#include "device/si_hardware.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/foundation/bundle.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"
#include "platform/uikit/device.h"
#include "platform/uikit/screen.h"

namespace si {

namespace {

// Machine identifiers and their platform names; a name stands for the identifiers up to the next.
constexpr std::pair<std::string_view, std::string_view> kPlatforms[] = {
    {"i386", "Simulator"},
    {"iPod3,1", "iPod Touch 3"},
    {"iPod4,1", "iPod Touch 4"},
    {"iPod5,1", "iPod Touch 5"},
    {"iPhone2,1", "iPhone 3Gs"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone4,1", "iPhone 4s"},
    {"iPhone5,1", "iPhone 5"},
    {"iPhone5,2", "iPhone 5"},
    {"iPhone5,3", "iPhone 5c"},
    {"iPhone5,4", "iPhone 5c"},
    {"iPhone6,1", "iPhone 5s"},
    {"iPhone6,2", "iPhone 5s"},
    {"iPhone7,2", "iPhone 6"},
    {"iPhone7,1", "iPhone 6 Plus"},
    {"iPad2,1", "iPad 2"},
    {"iPad2,2", "iPad 2"},
    {"iPad2,3", "iPad 2"},
    {"iPad2,5", "iPad Mini"},
    {"iPad2,6", "iPad Mini"},
    {"iPad2,7", "iPad Mini"},
    {"iPad3,1", "iPad 3"},
    {"iPad3,2", "iPad 3"},
    {"iPad3,3", "iPad 3"},
    {"iPad3,4", "iPad 4"},
    {"iPad3,5", "iPad 4"},
    {"iPad3,6", "iPad 4"},
    {"iPad4,1", "iPad Air"},
    {"iPad4,2", "iPad Air"},
    {"iPad4,4", "iPad Mini Retina"},
    {"iPad4,5", "iPad Mini Retina"},
    {"iPad5,3", "iPad Air 2"},
    {"iPad5,4", "iPad Air 2"},
};

rt::Id perModel(std::string_view key) {
    const auto info = Hardware::infoForDevice();
    return info ? info->objectForKey(key) : nullptr;
}

bool perModelYes(std::string_view key) {
    const auto value = rt::cast<ns::String>(perModel(key));
    return value && value->utf8() == "Yes";
}

rt::Ref<ns::String> optionalText(const std::optional<std::string>& text) {
    return text ? ns::String::make(*text) : nullptr;
}

} // namespace

std::optional<std::string> Hardware::platformNameForMachine(std::string_view machine) {
    for (const auto& [identifier, name] : kPlatforms)
        if (identifier == machine) return std::string(name);
    // The family: as many characters as the longest family word found in it.
    std::size_t length = 0;
    for (const std::string_view family : {"iPhone", "iPad"})
        if (machine.find(family) != std::string_view::npos) length = std::max(length, family.size());
    if (length == 0 && machine.find("iPod") != std::string_view::npos) length = 4;
    if (length == 0) return std::nullopt;
    return std::string(machine.substr(0, length));
}

rt::Ref<ns::Dictionary> Hardware::infoForDevice() {
    const auto platform = platformType();
    if (!platform) return nullptr;
    std::string resource = platform->utf8();
    std::erase(resource, ' ');
    const auto data = ns::Bundle::mainBundle()->dataForResource(resource, "plist");
    if (!data) return nullptr;
    return rt::cast<ns::Dictionary>(ns::PropertyListSerialization::propertyListWithData(data));
}

rt::Ref<ns::String> Hardware::deviceModel() { return ui::Device::currentDevice()->model(); }
rt::Ref<ns::String> Hardware::deviceName() { return ui::Device::currentDevice()->name(); }
rt::Ref<ns::String> Hardware::systemName() { return ui::Device::currentDevice()->systemName(); }
rt::Ref<ns::String> Hardware::systemVersion() { return ui::Device::currentDevice()->systemVersion(); }

std::int64_t Hardware::screenWidth() { return static_cast<std::int64_t>(ui::Screen::mainScreen()->bounds().width()); }
std::int64_t Hardware::screenHeight() {
    return static_cast<std::int64_t>(ui::Screen::mainScreen()->bounds().height());
}

double Hardware::brightness() { return ui::Screen::mainScreen()->brightness() * 100; }

rt::Ref<ns::String> Hardware::platformType() { return optionalText(platformNameForMachine(::sim::machine())); }

rt::Ref<ns::String> Hardware::bootTime() {
    const auto seconds = static_cast<long>(ns::ProcessInfo::processInfo()->systemUptime());
    char text[64];
    std::snprintf(text, sizeof text, "%02li:%02li:%02li", seconds / 3600, (seconds / 60) % 60, seconds % 60);
    return ns::String::make(text);
}

// ui::Device always has the proximity switch and the multitasking flag: the checks whether the
// device object answers them hold at compile time.
bool Hardware::proximitySensor() {
    const auto& device = ui::Device::currentDevice();
    if (device->isProximityMonitoringEnabled()) return true;
    device->setProximityMonitoringEnabled(true);
    if (!device->isProximityMonitoringEnabled()) return false;
    device->setProximityMonitoringEnabled(false);
    return true;
}

bool Hardware::multitaskingEnabled() {
    return ui::Device::currentDevice()->isMultitaskingSupported();
}

rt::Id Hardware::sim() { return perModel("sim"); }
rt::Id Hardware::dimensions() { return perModel("dimensions"); }
rt::Id Hardware::weight() { return perModel("weight"); }
rt::Id Hardware::displayType() { return perModel("display-type"); }
rt::Id Hardware::displayDensity() { return perModel("display-density"); }
rt::Id Hardware::WLAN() { return perModel("WLAN"); }
rt::Id Hardware::bluetooth() { return perModel("bluetooth"); }
rt::Id Hardware::cameraPrimary() { return perModel("camera-primary"); }
rt::Id Hardware::cameraSecondary() { return perModel("camera-secondary"); }
rt::Id Hardware::cpu() { return perModel("cpu"); }
rt::Id Hardware::gpu() { return perModel("gpu"); }
bool Hardware::siri() { return perModelYes("siri"); }
bool Hardware::touchID() { return perModelYes("touch-id"); }

RT_DEFINE_CLASS(Hardware, "SIHardware", rt::Object, rt::classMethod("infoForDevice", &Hardware::infoForDevice),
                rt::classMethod("deviceModel", &Hardware::deviceModel), rt::classMethod("deviceName", &Hardware::deviceName),
                rt::classMethod("systemName", &Hardware::systemName),
                rt::classMethod("systemVersion", &Hardware::systemVersion),
                rt::classMethod("screenWidth", &Hardware::screenWidth),
                rt::classMethod("screenHeight", &Hardware::screenHeight),
                rt::classMethod("brightness", &Hardware::brightness),
                rt::classMethod("platformType", &Hardware::platformType), rt::classMethod("bootTime", &Hardware::bootTime),
                rt::classMethod("proximitySensor", &Hardware::proximitySensor),
                rt::classMethod("multitaskingEnabled", &Hardware::multitaskingEnabled), rt::classMethod("sim", &Hardware::sim),
                rt::classMethod("dimensions", &Hardware::dimensions), rt::classMethod("weight", &Hardware::weight),
                rt::classMethod("displayType", &Hardware::displayType),
                rt::classMethod("displayDensity", &Hardware::displayDensity), rt::classMethod("WLAN", &Hardware::WLAN),
                rt::classMethod("bluetooth", &Hardware::bluetooth),
                rt::classMethod("cameraPrimary", &Hardware::cameraPrimary),
                rt::classMethod("cameraSecondary", &Hardware::cameraSecondary), rt::classMethod("cpu", &Hardware::cpu),
                rt::classMethod("gpu", &Hardware::gpu), rt::classMethod("siri", &Hardware::siri),
                rt::classMethod("touchID", &Hardware::touchID))

} // namespace si
