#pragma once
// The device's network interfaces, as the system library's getifaddrs gives them: code that would
// call ::getifaddrs calls sim::getifaddrs, and frees the list with sim::freeifaddrs (never with
// ::freeifaddrs).
//
// With "interfaces": "host" the host's entries whose names are aliased are kept, renamed to the
// device's names ({"en0": "eth0"}: the host's eth0 entries come as en0), and the rest are dropped.
// A fixed list gives, per interface and in its order, a link entry (AF_PACKET) carrying the MAC
// when one is given, an IPv4 entry with its netmask and broadcast address, and an IPv6 entry when
// one is given; all are up and running. The Wi-Fi interface (en0) lists its addresses only while a
// network is joined on it (Profile::onWifi): off Wi-Fi it has its link entry alone, as a phone's.
//
// The same names answer the other interface calls: sim::if_nametoindex numbers them (1 and up, in
// the order of the fixed list or of the aliases whose host interface exists), and sim::ioctl on a
// socket from sim::socket answers the get-netmask request for them (EADDRNOTAVAIL for en0 off Wi-Fi).

#include <array>
#include <optional>
#include <string>
#include <vector>

struct ifaddrs;
struct ifreq;

namespace sim {

struct Profile;

// 0, or -1 with errno set (the host's own failure, or ENOMEM).
int getifaddrs(struct ifaddrs** list);
void freeifaddrs(struct ifaddrs* list);

// The device's interface names, each once, in index order (index 1 first).
std::vector<std::string> interfaceNames();
// An interface's six hardware address bytes: the fixed list's "mac", or the aliased host
// interface's /sys/class/net/<name>/address. Nullopt when it has none or there is no such name.
std::optional<std::array<unsigned char, 6>> hardwareAddress(const std::string& name);

// The interface's IPv4 address, dotted, as sim::getifaddrs lists it (the last, when it lists
// several); empty when it has none, nullopt when the list cannot be read.
std::optional<std::string> ipv4Address(const std::string& name);
// The same on `device`, installed or not.
std::optional<std::string> ipv4Address(const Profile& device, const std::string& name);

// The interface's index, or 0 with errno ENXIO for a name the device does not have.
unsigned if_nametoindex(const char* name);

// A socket, as ::socket makes it (the hook can make it fail); close it with sim::close.
int socket(int domain, int type, int protocol);
int close(int fd);
// SIOCGIFNETMASK on an IPv4 socket from sim::socket: the mask of the interface named in
// `request->ifr_name` (at most 15 characters, NUL-terminated), from the fixed list or from the host's
// own ioctl on the aliased interface. 0, or -1 with errno (ENODEV for an unknown name, EINVAL for
// another request, EBADF for no socket).
int ioctl(int fd, unsigned long request, struct ifreq* interfaceRequest);

} // namespace sim
