#include "device/si_network.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "device/reachability.h"
#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_reading.h"
#include "platform/runtime/class.h"
#include "platform/sim/interfaces.h"
#include "platform/sim/sysctl.h"
#include "platform/systemconfiguration/captive_network.h"

namespace si {

RT_DEFINE_CLASS(Network, "SINetwork", rt::Object, rt::classMethod("currentIPAddress", &Network::currentIPAddress),
                rt::classMethod("connectedViaWiFi", &Network::connectedViaWiFi),
                rt::classMethod("connectedVia3G", &Network::connectedVia3G),
                rt::classMethod("macAddress", &Network::macAddress),
                rt::classMethod("externalIPAddress", &Network::externalIPAddress),
                rt::classMethod("cellIPAddress", &Network::cellIPAddress),
                rt::classMethod("WiFiNetmaskAddress", &Network::WiFiNetmaskAddress),
                rt::classMethod("WiFiBroadcastAddress", &Network::WiFiBroadcastAddress),
                rt::classMethod("BSSID", &Network::BSSID), rt::classMethod("SSID", &Network::SSID))

namespace {

constexpr const char* kWifi = "en0";
constexpr const char* kCellular = "pdp_ip0";

rt::Ref<ns::String> textOrNil(const std::string& text) {
    return text.empty() ? nullptr : ns::String::make(text);
}

// The last IPv4 address of each interface; nullopt when the list cannot be read.
struct LocalAddresses {
    std::string wifi, cellular;
};
std::optional<LocalAddresses> localAddresses() {
    ifaddrs* list = nullptr;
    if (sim::getifaddrs(&list) != 0) return std::nullopt;
    LocalAddresses found;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_name) continue;
        std::string* slot = std::strcmp(entry->ifa_name, kWifi) == 0       ? &found.wifi
                            : std::strcmp(entry->ifa_name, kCellular) == 0 ? &found.cellular
                                                                           : nullptr;
        if (!slot) continue;
        char text[64] = {};
        if (::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text))
            *slot = text;
    }
    sim::freeifaddrs(list);
    return found;
}

ft::NetworkStatus internetStatus() {
    auto reachability = ft::Reachability::reachabilityForInternetConnection();
    if (!reachability) return ft::NotReachable;
    reachability->startNotifier();
    return reachability->currentReachabilityStatus(); // its going stops the notifier
}

rt::Ref<ns::String> macFailure(const char* text) {
    auto error = ns::String::make(text);
    ns::log("Error: %@", error);
    return error;
}

// A dotted address as one word, the first part in the top byte; nullopt unless four parts.
std::optional<std::uint32_t> dottedWord(const rt::Ref<ns::String>& text) {
    if (!text || text->length() == 0) return std::nullopt;
    std::vector<std::string> parts{""};
    for (char c : text->utf8()) {
        if (c == '.')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    if (parts.size() != 4) return std::nullopt;
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i)
        word |= static_cast<std::uint32_t>(ns::String::make(parts[i])->intValue()) << (8 * (3 - i));
    return word;
}

rt::Ref<ns::String> joinedNetworkValue(std::string_view key) {
    rt::Ref<ns::String> value;
    auto interfaces = cn::copySupportedInterfaces();
    if (!interfaces) return nullptr;
    for (const auto& name : *interfaces) {
        auto info = cn::copyCurrentNetworkInfo(rt::cast<ns::String>(name));
        if (info) value = rt::cast<ns::String>(info->objectForKey(key)); // the last interface decides
    }
    return value;
}

// The page's text with each tag ("<" up to the next ">") replaced by a blank, in one pass; an
// unclosed "<" and what follows it stay as they are.
std::string withoutTags(std::string_view page) {
    std::string text;
    text.reserve(page.size());
    for (std::size_t at = 0; at < page.size();) {
        const std::size_t open = page.find('<', at);
        const std::size_t close = open == std::string_view::npos ? open : page.find('>', open);
        if (close == std::string_view::npos) {
            text.append(page.substr(at));
            break;
        }
        text.append(page.substr(at, open - at));
        text += ' ';
        at = close + 1;
    }
    return text;
}

// The word after "Address:" when the text is split at each blank (empty words kept).
std::optional<std::string> wordAfterAddress(const std::string& text) {
    std::vector<std::string_view> words;
    std::string_view rest = text;
    for (std::size_t blank; (blank = rest.find(' ')) != std::string_view::npos; rest.remove_prefix(blank + 1))
        words.push_back(rest.substr(0, blank));
    words.push_back(rest);
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "Address:") return std::string(words[i + 1]);
    return std::nullopt;
}

} // namespace

const rt::Ref<Network>& Network::sharedInstance() {
    static const rt::Ref<Network> shared = rt::immortal(rt::make<Network>());
    return shared;
}

rt::Ref<ns::String> Network::currentIPAddress() {
    auto found = localAddresses();
    if (!found) return ns::String::make("0.0.0.0");
    if (!found->wifi.empty()) return ns::String::make(found->wifi);
    return ns::String::make(found->cellular.empty() ? "0.0.0.0" : found->cellular);
}

bool Network::connectedViaWiFi() {
    return internetStatus() == ft::ReachableViaWiFi;
}

bool Network::connectedVia3G() {
    return internetStatus() == ft::ReachableViaWWAN;
}

rt::Ref<ns::String> Network::macAddress() {
    const unsigned index = sim::if_nametoindex(kWifi);
    if (index == 0) return macFailure("if_nametoindex failure");
    const int name[6] = {sim::kCtlNet, sim::kPfRoute, 0, sim::kAfLink, sim::kNetRtIfList, static_cast<int>(index)};
    std::size_t length = 0;
    if (sim::sysctl(name, 6, nullptr, &length, nullptr, 0) < 0) return macFailure("sysctl mgmtInfoBase failure");
    std::unique_ptr<unsigned char, decltype(&std::free)> buffer(static_cast<unsigned char*>(std::malloc(length)),
                                                                &std::free);
    if (!buffer) return macFailure("buffer allocation failure");
    if (sim::sysctl(name, 6, buffer.get(), &length, nullptr, 0) < 0) return macFailure("sysctl msgBuffer failure");
    // The six bytes follow the link address's name; a message too short to hold them is a failed
    // read, not bytes from past its end.
    if (length <= sim::kLinkNameLengthOffset) return macFailure("sysctl msgBuffer failure");
    const std::size_t at = sim::kLinkNameOffset + buffer.get()[sim::kLinkNameLengthOffset];
    if (at + 6 > length) return macFailure("sysctl msgBuffer failure");
    const unsigned char* mac = buffer.get() + at;
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return ns::String::make(text);
}

rt::Ref<ns::String> Network::externalIPAddress() {
    if (!connectedViaWiFi() && !connectedVia3G()) return nullptr;
    auto base = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(kAddressPageServerInfoKey));
    if (!base) return nullptr;
    auto url = ns::URL::URLWithString(base->utf8() + kAddressPagePath);
    rt::Ref<ns::Error> error;
    auto page = ns::stringWithContentsOfURL(url, nullptr, &error, kAddressPageMaximumLength);
    if (!page) return nullptr;
    return addressInPage(page);
}

rt::Ref<ns::String> Network::addressInPage(const rt::Ref<ns::String>& page) {
    if (!page) return nullptr;
    const std::optional<std::string> found = wordAfterAddress(withoutTags(page->utf8()));
    return found ? textOrNil(*found) : nullptr;
}

rt::Ref<ns::String> Network::cellIPAddress() {
    auto found = localAddresses();
    return found ? textOrNil(found->cellular) : nullptr;
}

rt::Ref<ns::String> Network::WiFiNetmaskAddress() {
    const int fd = sim::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return nullptr;
    ifreq request{};
    std::strncpy(request.ifr_name, kWifi, IFNAMSIZ - 1);
    const int result = sim::ioctl(fd, SIOCGIFNETMASK, &request);
    sim::close(fd);
    if (result < 0) return nullptr;
    char text[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&request.ifr_netmask)->sin_addr, text, sizeof text))
        return nullptr;
    return textOrNil(text);
}

rt::Ref<ns::String> Network::WiFiBroadcastAddress() {
    auto address = dottedWord(currentIPAddress());
    auto mask = dottedWord(WiFiNetmaskAddress());
    if (!address || !mask) return nullptr;
    const std::uint32_t broadcast = *address | ~*mask;
    return ns::String::make(ns::format("%ld.%ld.%ld.%ld", static_cast<long>(broadcast >> 24),
                                       static_cast<long>((broadcast >> 16) & 0xFF),
                                       static_cast<long>((broadcast >> 8) & 0xFF), static_cast<long>(broadcast & 0xFF)));
}

rt::Ref<ns::String> Network::BSSID() {
    return joinedNetworkValue("BSSID");
}

rt::Ref<ns::String> Network::SSID() {
    return joinedNetworkValue("SSID");
}

} // namespace si
