#pragma once
// The device's network interfaces, as the system library's getifaddrs gives them: code that would
// call ::getifaddrs calls sim::getifaddrs, and frees the list with sim::freeifaddrs (never with
// ::freeifaddrs).
//
// With "interfaces": "host" the host's entries whose names are aliased are kept, renamed to the
// device's names ({"en0": "eth0"}: the host's eth0 entries come as en0), and the rest are dropped.
// A fixed list gives, per interface and in its order, a link entry (AF_PACKET) carrying the MAC
// when one is given, an IPv4 entry with its netmask and broadcast address, and an IPv6 entry when
// one is given; all are up and running.

struct ifaddrs;

namespace sim {

// 0, or -1 with errno set (the host's own failure, or ENOMEM).
int getifaddrs(struct ifaddrs** list);
void freeifaddrs(struct ifaddrs* list);

} // namespace sim
