#include "platform/sim/interfaces.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/sim/device.h"
#include "platform/sim/kernel_hook.h"

namespace sim {

namespace {

// One entry and everything it points at, in one allocation.
struct Node {
    ifaddrs entry{};
    sockaddr_storage address{}, netmask{}, broadcast{};
    char name[IFNAMSIZ + 1]{};
};
static_assert(offsetof(Node, entry) == 0);

std::size_t addressSize(const sockaddr* address) {
    if (!address) return 0;
    switch (address->sa_family) {
    case AF_INET: return sizeof(sockaddr_in);
    case AF_INET6: return sizeof(sockaddr_in6);
    case AF_PACKET: return sizeof(sockaddr_ll);
    default: return 0;
    }
}

sockaddr* copyAddress(const sockaddr* from, sockaddr_storage& to) {
    const std::size_t size = addressSize(from);
    if (size == 0) return nullptr;
    std::memcpy(&to, from, size);
    return reinterpret_cast<sockaddr*>(&to);
}

class Builder {
public:
    ~Builder() { sim::freeifaddrs(head_); }

    Node* add(const std::string& name, unsigned flags) {
        auto* node = new (std::nothrow) Node;
        if (!node) {
            failed_ = true;
            return nullptr;
        }
        std::strncpy(node->name, name.c_str(), IFNAMSIZ);
        node->entry.ifa_name = node->name;
        node->entry.ifa_flags = flags;
        if (tail_) tail_->entry.ifa_next = &node->entry;
        else head_ = &node->entry;
        tail_ = node;
        return node;
    }
    bool failed() const { return failed_; }
    ifaddrs* release() {
        ifaddrs* list = head_;
        head_ = nullptr;
        return list;
    }

private:
    ifaddrs* head_ = nullptr;
    Node* tail_ = nullptr;
    bool failed_ = false;
};

bool parseMac(const std::string& text, unsigned char* out) {
    unsigned v[6];
    char end;
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &end) != 6)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (v[i] > 0xff) return false;
        out[i] = static_cast<unsigned char>(v[i]);
    }
    return true;
}

// Whether `name` has its addresses on `device`: every interface but the Wi-Fi one, which has them
// while a network is joined on it.
bool addressed(const Profile& device, std::string_view name) {
    return name != kWifiInterface || device.onWifi();
}

void addFixed(Builder& list, const NetworkInterface& i, bool withAddresses) {
    in_addr ip{}, mask{};
    const bool v4 = withAddresses && inet_pton(AF_INET, i.ipv4.c_str(), &ip) == 1;
    inet_pton(AF_INET, i.netmask.c_str(), &mask);
    unsigned flags = IFF_UP | IFF_RUNNING;
    if (v4 && (ntohl(ip.s_addr) >> 24) == 127) flags |= IFF_LOOPBACK;
    else flags |= IFF_BROADCAST | IFF_MULTICAST;

    if (Node* link = list.add(i.name, flags)) {
        auto* ll = reinterpret_cast<sockaddr_ll*>(&link->address);
        ll->sll_family = AF_PACKET;
        unsigned char mac[6];
        if (!i.mac.empty() && parseMac(i.mac, mac)) {
            ll->sll_halen = 6;
            std::memcpy(ll->sll_addr, mac, 6);
        }
        link->entry.ifa_addr = reinterpret_cast<sockaddr*>(ll);
    }
    if (v4) {
        if (Node* node = list.add(i.name, flags)) {
            auto* a = reinterpret_cast<sockaddr_in*>(&node->address);
            a->sin_family = AF_INET;
            a->sin_addr = ip;
            auto* m = reinterpret_cast<sockaddr_in*>(&node->netmask);
            m->sin_family = AF_INET;
            m->sin_addr = mask;
            node->entry.ifa_addr = reinterpret_cast<sockaddr*>(a);
            node->entry.ifa_netmask = reinterpret_cast<sockaddr*>(m);
            if (flags & IFF_BROADCAST) {
                auto* b = reinterpret_cast<sockaddr_in*>(&node->broadcast);
                b->sin_family = AF_INET;
                b->sin_addr.s_addr = ip.s_addr | ~mask.s_addr;
                node->entry.ifa_broadaddr = reinterpret_cast<sockaddr*>(b);
            }
        }
    }
    in6_addr ip6{};
    if (withAddresses && !i.ipv6.empty() && inet_pton(AF_INET6, i.ipv6.c_str(), &ip6) == 1) {
        if (Node* node = list.add(i.name, flags)) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&node->address);
            a->sin6_family = AF_INET6;
            a->sin6_addr = ip6;
            node->entry.ifa_addr = reinterpret_cast<sockaddr*>(a);
        }
    }
}

// The interfaces `device` lists, as getifaddrs gives them.
int listInterfaces(const Profile& device, struct ifaddrs** out) {
    if (!out) {
        errno = EINVAL;
        return -1;
    }
    *out = nullptr;
    Builder list;
    if (device.interfaces.host) {
        ifaddrs* host = nullptr;
        if (::getifaddrs(&host) != 0) return -1;
        for (const ifaddrs* h = host; h; h = h->ifa_next) {
            for (const auto& [deviceName, hostName] : device.interfaces.aliases) {
                if (!h->ifa_name || hostName != h->ifa_name) continue;
                const int family = h->ifa_addr ? h->ifa_addr->sa_family : AF_UNSPEC;
                if ((family == AF_INET || family == AF_INET6) && !addressed(device, deviceName)) continue;
                Node* node = list.add(deviceName, h->ifa_flags);
                if (!node) break;
                node->entry.ifa_addr = copyAddress(h->ifa_addr, node->address);
                node->entry.ifa_netmask = copyAddress(h->ifa_netmask, node->netmask);
                if (h->ifa_flags & IFF_BROADCAST) node->entry.ifa_broadaddr = copyAddress(h->ifa_broadaddr, node->broadcast);
            }
        }
        ::freeifaddrs(host);
    } else {
        for (const NetworkInterface& i : device.interfaces.fixed)
            addFixed(list, i, addressed(device, i.name));
    }
    if (list.failed()) {
        errno = ENOMEM;
        return -1;
    }
    *out = list.release();
    return 0;
}

} // namespace

int getifaddrs(struct ifaddrs** out) {
    return listInterfaces(*currentDevice(), out);
}

void freeifaddrs(struct ifaddrs* list) {
    while (list) {
        ifaddrs* next = list->ifa_next;
        delete reinterpret_cast<Node*>(list);
        list = next;
    }
}

std::vector<std::string> interfaceNames() {
    const auto device = currentDevice();
    std::vector<std::string> names;
    if (device->interfaces.host) {
        for (const auto& [deviceName, hostName] : device->interfaces.aliases)
            if (::if_nametoindex(hostName.c_str()) != 0) names.push_back(deviceName);
    } else {
        for (const NetworkInterface& i : device->interfaces.fixed)
            if (std::find(names.begin(), names.end(), i.name) == names.end()) names.push_back(i.name);
    }
    return names;
}

std::optional<std::array<unsigned char, 6>> hardwareAddress(const std::string& name) {
    const auto device = currentDevice();
    std::array<unsigned char, 6> bytes{};
    if (device->interfaces.host) {
        const auto alias = device->interfaces.aliases.find(name);
        // A host name is one path component, never a way out of /sys/class/net.
        if (alias == device->interfaces.aliases.end() || alias->second.find('/') != std::string::npos ||
            alias->second == "." || alias->second == "..")
            return std::nullopt;
        std::ifstream file("/sys/class/net/" + alias->second + "/address");
        std::string text;
        if (!std::getline(file, text) || !parseMac(text, bytes.data())) return std::nullopt;
        return bytes;
    }
    for (const NetworkInterface& i : device->interfaces.fixed)
        if (i.name == name && !i.mac.empty() && parseMac(i.mac, bytes.data())) return bytes;
    return std::nullopt;
}

std::optional<std::string> ipv4Address(const std::string& name) {
    return ipv4Address(*currentDevice(), name);
}

std::optional<std::string> ipv4Address(const Profile& device, const std::string& name) {
    ifaddrs* list = nullptr;
    if (listInterfaces(device, &list) != 0) return std::nullopt;
    std::string address;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_name || name != entry->ifa_name)
            continue;
        sockaddr_in inet{};
        std::memcpy(&inet, entry->ifa_addr, sizeof inet);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &inet.sin_addr, text, sizeof text)) address = text;
    }
    sim::freeifaddrs(list);
    return address;
}

unsigned if_nametoindex(const char* name) {
    if (const int error = kernelHookError({.call = KernelCall::IfNameToIndex, .name = {}})) {
        errno = error;
        return 0;
    }
    if (name) {
        const auto names = interfaceNames();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return static_cast<unsigned>(i + 1);
    }
    errno = ENXIO;
    return 0;
}

int socket(int domain, int type, int protocol) {
    if (const int error = kernelHookError({.call = KernelCall::Socket, .name = {}})) {
        errno = error;
        return -1;
    }
    return ::socket(domain, type, protocol);
}

int close(int fd) { return ::close(fd); }

int ioctl(int fd, unsigned long request, struct ifreq* interfaceRequest) {
    if (const int error = kernelHookError({.call = KernelCall::Ioctl, .name = {}})) {
        errno = error;
        return -1;
    }
    if (request != SIOCGIFNETMASK || !interfaceRequest) {
        errno = EINVAL;
        return -1;
    }
    if (::fcntl(fd, F_GETFD) == -1) {
        errno = EBADF;
        return -1;
    }
    const std::size_t length = ::strnlen(interfaceRequest->ifr_name, IFNAMSIZ);
    if (length == IFNAMSIZ) {
        errno = ENODEV;
        return -1;
    }
    const std::string name(interfaceRequest->ifr_name, length);
    const auto device = currentDevice();
    if (const auto names = interfaceNames(); !addressed(*device, name) && std::ranges::find(names, name) != names.end()) {
        errno = EADDRNOTAVAIL; // the interface is there, without an address
        return -1;
    }
    if (device->interfaces.host) {
        const auto alias = device->interfaces.aliases.find(name);
        if (alias == device->interfaces.aliases.end() || alias->second.size() >= IFNAMSIZ) {
            errno = ENODEV;
            return -1;
        }
        ifreq host{};
        std::memcpy(host.ifr_name, alias->second.c_str(), alias->second.size());
        if (::ioctl(fd, SIOCGIFNETMASK, &host) != 0) return -1;
        interfaceRequest->ifr_netmask = host.ifr_netmask;
        return 0;
    }
    for (const NetworkInterface& i : device->interfaces.fixed) {
        in_addr mask{};
        if (i.name != name || inet_pton(AF_INET, i.netmask.c_str(), &mask) != 1) continue;
        auto* out = reinterpret_cast<sockaddr_in*>(&interfaceRequest->ifr_netmask);
        *out = sockaddr_in{};
        out->sin_family = AF_INET;
        out->sin_addr = mask;
        return 0;
    }
    errno = ENODEV;
    return -1;
}

} // namespace sim
