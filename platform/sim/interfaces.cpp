#include "platform/sim/interfaces.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include "platform/sim/device.h"

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

bool parseMac(const std::string& text, unsigned char out[6]) {
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

void addFixed(Builder& list, const NetworkInterface& i) {
    in_addr ip{}, mask{};
    const bool v4 = inet_pton(AF_INET, i.ipv4.c_str(), &ip) == 1;
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
    if (!i.ipv6.empty() && inet_pton(AF_INET6, i.ipv6.c_str(), &ip6) == 1) {
        if (Node* node = list.add(i.name, flags)) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&node->address);
            a->sin6_family = AF_INET6;
            a->sin6_addr = ip6;
            node->entry.ifa_addr = reinterpret_cast<sockaddr*>(a);
        }
    }
}

} // namespace

int getifaddrs(struct ifaddrs** out) {
    if (!out) {
        errno = EINVAL;
        return -1;
    }
    *out = nullptr;
    const auto device = currentDevice();
    Builder list;
    if (device->interfaces.host) {
        ifaddrs* host = nullptr;
        if (::getifaddrs(&host) != 0) return -1;
        for (const ifaddrs* h = host; h; h = h->ifa_next) {
            for (const auto& [deviceName, hostName] : device->interfaces.aliases) {
                if (!h->ifa_name || hostName != h->ifa_name) continue;
                Node* node = list.add(deviceName, h->ifa_flags);
                if (!node) break;
                node->entry.ifa_addr = copyAddress(h->ifa_addr, node->address);
                node->entry.ifa_netmask = copyAddress(h->ifa_netmask, node->netmask);
                if (h->ifa_flags & IFF_BROADCAST) node->entry.ifa_broadaddr = copyAddress(h->ifa_broadaddr, node->broadcast);
            }
        }
        ::freeifaddrs(host);
    } else {
        for (const NetworkInterface& i : device->interfaces.fixed)
            addFixed(list, i);
    }
    if (list.failed()) {
        errno = ENOMEM;
        return -1;
    }
    *out = list.release();
    return 0;
}

void freeifaddrs(struct ifaddrs* list) {
    while (list) {
        ifaddrs* next = list->ifa_next;
        delete reinterpret_cast<Node*>(list);
        list = next;
    }
}

} // namespace sim
