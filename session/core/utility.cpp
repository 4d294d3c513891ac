#include "session/core/utility.h"

#include <cstdlib>
#include <string>
#include <unordered_map>

#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/json.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/sim/device.h"
#include "platform/uikit/device.h"

namespace ft {

RT_DEFINE_CLASS(Utility, "FTUtility", rt::Object)

namespace {

// Marketing names by machine identifier. Trailing blanks belong to the names: the trade-in price
// table is keyed by them.
const std::unordered_map<std::string_view, std::string_view>& marketingNames() {
    static const auto* names = new std::unordered_map<std::string_view, std::string_view>{
    {"iPhone1,1", "iPhone 2G"},
    {"iPhone1,2", "iPhone 3G"},
    {"iPhone2,1", "iPhone 3GS"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone3,2", "iPhone 4"},
    {"iPhone3,3", "iPhone 4"},
    {"iPhone4,1", "iPhone 4S"},
    {"iPhone5,1", "iPhone 5"},
    {"iPhone5,2", "iPhone 5"},
    {"iPhone5,3", "iPhone 5c"},
    {"iPhone5,4", "iPhone 5c"},
    {"iPhone6,1", "iPhone 5S"},
    {"iPhone6,2", "iPhone 5S"},
    {"iPhone7,1", "iPhone 6 Plus"},
    {"iPhone7,2", "iPhone 6"},
    {"iPhone8,1", "iPhone 6S"},
    {"iPhone8,2", "iPhone 6S Plus"},
    {"iPhone9,1", "iPhone 7"},
    {"iPhone9,3", "iPhone 7"},
    {"iPhone9,2", "iPhone 7 Plus"},
    {"iPhone9,4", "iPhone 7 Plus"},
    {"iPhone10,1", "iPhone 8"},
    {"iPhone10,4", "iPhone 8"},
    {"iPhone10,2", "iPhone 8 Plus"},
    {"iPhone10,5", "iPhone 8 Plus"},
    {"iPhone10,3", "iPhone X"},
    {"iPhone10,6", "iPhone X"},
    {"iPod1,1", "iPod Touch 1G "},
    {"iPod2,1", "iPod Touch 2G"},
    {"iPod3,1", "iPod Touch 3G"},
    {"iPod4,1", "iPod Touch 4G"},
    {"iPod5,1", "iPod Touch 5G "},
    {"iPad1,1", "iPad 1G"},
    {"iPad2,1", "iPad 2 "},
    {"iPad2,3", "iPad 2 "},
    {"iPad2,4", "iPad 2 "},
    {"iPad2,2", "iPad 2"},
    {"iPad2,5", "iPad Mini 1G "},
    {"iPad2,6", "iPad Mini 1G "},
    {"iPad2,7", "iPad Mini 1G "},
    {"iPad3,1", "iPad 3"},
    {"iPad3,2", "iPad 3 "},
    {"iPad3,3", "iPad 3 "},
    {"iPad3,4", "iPad 4 "},
    {"iPad3,5", "iPad 4 "},
    {"iPad3,6", "iPad 4 "},
    {"iPad4,1", "iPad Air "},
    {"iPad4,2", "iPad Air "},
    {"iPad4,3", "iPad Air "},
    {"iPad4,4", "iPad Mini 2G "},
    {"iPad4,5", "iPad Mini 2G "},
    {"iPad4,6", "iPad Mini 2G "},
    {"iPad4,7", "iPad mini 3 (WiFi)"},
    {"iPad4,8", "iPad mini 3 (Cellular)"},
    {"iPad4,9", "iPad mini 3 (China Model)"},
    {"iPad5,1", "iPad mini 4 (WiFi)"},
    {"iPad5,2", "iPad mini 4 (Cellular)"},
    {"iPad5,3", "iPad Air 2 (WiFi)"},
    {"iPad5,4", "iPad Air 2 (Cellular)"},
    {"iPad6,3", "iPad Pro (WiFi)"},
    {"iPad6,7", "iPad Pro (WiFi)"},
    {"iPad7,1", "iPad Pro (WiFi)"},
    {"iPad7,3", "iPad Pro (WiFi)"},
    {"iPad6,4", "iPad Pro (Cellular)"},
    {"iPad6,8", "iPad Pro (Cellular)"},
    {"iPad7,2", "iPad Pro (Cellular)"},
    {"iPad7,4", "iPad Pro (Cellular)"},
    {"iPad6,11", "iPad 2017 (WiFi)"},
    {"iPad6,12", "iPad 2017 (Cellular)"},
    {"iPad7,5", "iPad 2018 (WiFi)"},
    {"iPad7,6", "iPad 2018 (Cellular)"},
    {"i386", "iPhone Simulator"},
    {"x86_64", "iPhone Simulator"},
    };
    return *names;
}

// The built-in Wi-Fi-only table: "false" has a cellular radio, "true" has none.
constexpr std::string_view kBuiltInWifiOnlyTable = R"({
    "iPhone1,1": "false", "iPhone1,2": "false", "iPhone2,1": "false", "iPhone3,1": "false", "iPhone3,2": "false",
    "iPhone3,3": "false", "iPhone4,1": "false", "iPhone5,1": "false", "iPhone5,2": "false", "iPhone5,3": "false",
    "iPhone5,4": "false", "iPhone6,1": "false", "iPhone6,2": "false", "iPhone7,1": "false", "iPhone7,2": "false",
    "iPhone8,1": "false", "iPhone8,2": "false", "iPhone8,4": "false", "iPad2,2": "false", "iPad2,3": "false",
    "iPad2,6": "false", "iPad2,7": "false", "iPad3,2": "false", "iPad3,3": "false", "iPad3,5": "false",
    "iPad3,6": "false", "iPad4,2": "false", "iPad4,3": "false", "iPad4,5": "false", "iPad4,6": "false",
    "iPad4,8": "false", "iPad4,9": "false", "iPad5,2": "false", "iPad5,4": "false", "iPad6,4": "false",
    "iPad6,8": "false", "iPad2,1": "true", "iPad2,4": "true", "iPad2,5": "true", "iPad3,1": "true",
    "iPad3,4": "true", "iPad4,1": "true", "iPad4,4": "true", "iPad4,7": "true", "iPad5,1": "true",
    "iPad5,3": "true", "iPad6,3": "true", "iPad6,7": "true", "iPod1,1": "true", "iPod2,1": "true",
    "iPod3,1": "true", "iPod4,1": "true", "iPod5,1": "true", "iPod7,1": "true", "iPad1,1": "unknown"
})";

} // namespace

rt::Ref<ns::String> Utility::hardwareName() {
    return ns::String::make(sim::machine());
}

rt::Ref<ns::String> Utility::deviceVersionFor(std::string_view machine) {
    const auto& names = marketingNames();
    auto it = names.find(machine);
    return ns::String::make(it == names.end() ? std::string_view("unknown device") : it->second);
}

rt::Ref<ns::String> Utility::deviceVersion() {
    return deviceVersionFor(sim::machine());
}

rt::Ref<ns::String> Utility::osVersion() {
    return ui::Device::currentDevice()->systemVersion();
}

double Utility::systemVersionNumber() {
    auto text = osVersion();
    return text ? std::strtod(text->utf8().c_str(), nullptr) : 0;
}

rt::Ref<ns::String> Utility::clientVersion() {
    auto bundle = ns::Bundle::mainBundle();
    return ns::stringWithFormat("%@.%@", bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"),
                                bundle->objectForInfoDictionaryKey("CFBundleVersion"));
}

rt::Ref<ns::String> Utility::createDateString() {
    return ns::DateFormatter::withFormat("yyyy-MM-dd'T'HH:mm:ssZ")->stringFromDate(*ns::Date::now());
}

rt::Ref<ns::MutableDictionary> Utility::builtInWifiOnlyTable() {
    return rt::cast<ns::MutableDictionary>(
        ns::JSONSerialization::JSONObjectWithData(kBuiltInWifiOnlyTable, ns::JSONReadingOptions::MutableContainers));
}

void Utility::generateWifiOnlyDataFileIfNecessary() {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(kWifiOnlyListKey)) return;
    defaults->setObjectForKey(builtInWifiOnlyTable(), kWifiOnlyListKey);
    defaults->synchronize();
}

bool Utility::checkiPadIsWifiOnly(const rt::Ref<ns::String>& machine, const rt::Id& table) {
    auto dictionary = rt::cast<ns::Dictionary>(table);
    if (!dictionary || !machine || machine->length() == 0) return true;
    auto value = rt::cast<ns::String>(dictionary->objectForKey(machine->utf8()));
    return !(value && value->isEqualToString("false"));
}

namespace {

// The download's "JSON: " line, on one line and cut short: the table is large, and every download
// logs it, as a debug line.
void logReply(const rt::Id& reply) {
    constexpr std::size_t kShown = 200;
    if (!ns::debugLines()) return;
    auto data =
        reply ? ns::JSONSerialization::dataWithJSONObject(reply, ns::JSONWritingOptions::SortedKeys, nullptr)
              : nullptr;
    const std::string_view text = data ? data->view() : std::string_view("(null)");
    if (text.size() <= kShown) return ns::debugLog("JSON: %s", text);
    ns::debugLog("JSON: %s... (%zu bytes)", text.substr(0, kShown), text.size());
}

} // namespace

std::string Utility::modelTableAddress() {
    rt::Id server = ns::Bundle::mainBundle()->objectForInfoDictionaryKey(kMakerServerInfoKey);
    auto text = rt::cast<ns::String>(server);
    return (text ? text->utf8() : std::string()) + kModelTablePath;
}

void Utility::iPadisWifiOnly(const rt::Ref<ns::String>&, TableCompletion completion) {
    hn::HTTPRequestOperationManager::manager()->GET(
        modelTableAddress(), nullptr,
        [completion](const rt::Ref<hn::HTTPRequestOperation>&, const rt::Id& reply) {
            logReply(reply);
            auto document = rt::cast<ns::Dictionary>(reply);
            auto table = document ? rt::cast<ns::Dictionary>(document->objectForKey("WifiOnly")) : nullptr;
            if (completion) completion(table ? table : builtInWifiOnlyTable());
        },
        [completion](const rt::Ref<hn::HTTPRequestOperation>&, const rt::Ref<ns::Error>& error) {
            ns::log("Error: %@", error);
            if (completion) completion(builtInWifiOnlyTable());
        });
}

rt::Ref<ns::String> Utility::modelNumberInTable(const rt::Id& table, const ns::String& machine) {
    auto document = rt::cast<ns::Dictionary>(table);
    auto groups = document ? rt::cast<ns::Dictionary>(document->objectForKey("iOS")) : nullptr;
    if (!groups) return nullptr;
    rt::Ref<ns::String> result;
    for (const auto& [name, group] : *groups) {
        auto entries = rt::cast<ns::Array>(group);
        if (!entries) continue;
        for (const rt::Id& e : *entries) {
            auto entry = rt::cast<ns::Dictionary>(e);
            if (!entry || entry->isEmpty()) continue;
            const auto& [key, value] = *entry->begin();
            auto modelNumber = rt::cast<ns::String>(key);
            auto devices = rt::cast<ns::Array>(value);
            if (!modelNumber || !devices) continue;
            for (const rt::Id& d : *devices) {
                auto device = rt::cast<ns::Dictionary>(d);
                auto identifier = device ? rt::cast<ns::String>(device->objectForKey("identifier")) : nullptr;
                if (identifier && identifier->isEqualToString(&machine)) {
                    result = modelNumber;
                    break; // on with the next entry: the last match wins
                }
            }
        }
    }
    return result;
}

void Utility::deviceModelNumberWithInternalName(const rt::Ref<ns::String>& machine, ModelCompletion completion) {
    hn::HTTPRequestOperationManager::manager()->GET(
        modelTableAddress(), nullptr,
        [machine, completion](const rt::Ref<hn::HTTPRequestOperation>&, const rt::Id& reply) {
            logReply(reply);
            rt::Ref<ns::String> result = machine ? modelNumberInTable(reply, *machine) : nullptr;
            if (completion) completion(result);
        },
        [completion](const rt::Ref<hn::HTTPRequestOperation>&, const rt::Ref<ns::Error>& error) {
            ns::log("Error: %@", error);
            if (completion) completion(nullptr);
        });
}

bool Utility::iPadProFor(const ns::String& machine) {
    static const rt::Ref<ns::RegularExpression> expression = rt::immortal(ns::RegularExpression::make(R"(iPad(\d+),(\d+))"));
    if (!expression) return false;
    auto match = expression->firstMatchInString(machine);
    if (!match) return false;
    const ns::Range group = match->rangeAtIndex(1);
    const std::u16string digits = machine.substringWithRange(group)->utf16();
    long generation = 0;
    for (char16_t c : digits) {
        generation = generation * 10 + (c - u'0');
        if (generation >= 8) return true;
    }
    return false;
}

bool Utility::iPadPro() {
    return iPadProFor(*hardwareName());
}

namespace {

rt::Ref<ns::Dictionary> documentsFileSystem(rt::Ref<ns::Error>* error) {
    auto paths = ns::searchPathForDirectories(ns::SearchPathDirectory::Document);
    auto path = rt::cast<ns::String>(paths->lastObject());
    if (!path) return nullptr;
    return ns::FileManager::defaultManager()->attributesOfFileSystemForPath(path->utf8(), error);
}

std::uint64_t bytes(const ns::Dictionary& attributes, const char* key) {
    auto n = rt::cast<ns::Number>(attributes.objectForKey(key));
    return n ? n->unsignedLongLongValue() : 0;
}

} // namespace

std::uint64_t Utility::getDeviceMemorySize() {
    auto attributes = documentsFileSystem(nullptr);
    return attributes ? bytes(*attributes, ns::FileSystemSize) : 0;
}

std::uint64_t Utility::getFreeDiskspace() {
    rt::Ref<ns::Error> error;
    auto attributes = documentsFileSystem(&error);
    if (!attributes) {
        ns::log("Error Obtaining System Memory Info: Domain = %@, Code = %ld", error ? error->domain() : nullptr,
                error ? error->code() : 0L);
        return 0;
    }
    const std::uint64_t total = bytes(*attributes, ns::FileSystemSize);
    const std::uint64_t free = bytes(*attributes, ns::FileSystemFreeSize);
    ns::log("Memory Capacity of %llu MiB with %llu MiB Free memory available.",
            static_cast<unsigned long long>(total >> 20), static_cast<unsigned long long>(free >> 20));
    return free;
}

} // namespace ft
