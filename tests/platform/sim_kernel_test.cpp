// The device's kernel calls: interface numbering, link messages through sysctl, the netmask
// request, and the hook that makes each of them fail.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "platform/sim/device.h"
#include "platform/sim/interfaces.h"
#include "platform/sim/kernel_hook.h"
#include "platform/sim/sysctl.h"

namespace {

sim::Profile fixedInterfaces() {
    sim::Profile p = sim::defaultProfile();
    p.interfaces = {.host = false,
                    .fixed = {{"en0", "192.168.1.20", "255.255.255.0", "", "02:00:00:AA:BB:CC"},
                              {"en0", "192.168.1.21", "255.255.0.0", "", ""},
                              {"pdp_ip0", "10.1.0.5", "255.0.0.0", "", ""}}};
    return p;
}

// The link message's name and address as the platform's readers take them apart, or the errno.
struct Link {
    std::string name{};
    std::string mac{};
    int error = 0;
};

Link readLink(unsigned index) {
    const int mib[] = {sim::kCtlNet, sim::kPfRoute, 0, sim::kAfLink, sim::kNetRtIfList, static_cast<int>(index)};
    std::size_t size = 0;
    if (sim::sysctl(mib, 6, nullptr, &size, nullptr, 0) != 0) return {.error = errno};
    std::vector<unsigned char> buffer(size);
    if (sim::sysctl(mib, 6, buffer.data(), &size, nullptr, 0) != 0) return {.error = errno};
    const std::size_t nameLength = buffer.at(sim::kLinkNameLengthOffset);
    if (buffer.size() < sim::kLinkNameOffset + nameLength + 6) return {.error = -1};
    Link link{.name = std::string(reinterpret_cast<const char*>(&buffer[sim::kLinkNameOffset]), nameLength)};
    const unsigned char* mac = &buffer[sim::kLinkNameOffset + nameLength];
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    link.mac = text;
    return link;
}

// The netmask of `name` in dotted form, or "errno N".
std::string netmask(const char* name, std::size_t copied = IFNAMSIZ - 1) {
    const int fd = sim::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return "errno " + std::to_string(errno);
    ifreq request{};
    std::memcpy(request.ifr_name, name, std::min(std::strlen(name), copied));
    const int result = sim::ioctl(fd, SIOCGIFNETMASK, &request);
    const int error = errno;
    sim::close(fd);
    if (result != 0) return "errno " + std::to_string(error);
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&request.ifr_netmask)->sin_addr, text, sizeof text);
    return text;
}

} // namespace

TEST(SimKernel, FixedInterfacesAreNumberedOnceEachInListOrder) {
    sim::ScopedDevice device(fixedInterfaces());
    EXPECT_EQ(sim::interfaceNames(), (std::vector<std::string>{"en0", "pdp_ip0"}));
    EXPECT_EQ(sim::if_nametoindex("en0"), 1u);
    EXPECT_EQ(sim::if_nametoindex("pdp_ip0"), 2u);
    errno = 0;
    EXPECT_EQ(sim::if_nametoindex("eth0"), 0u);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(sim::if_nametoindex(nullptr), 0u);
}

TEST(SimKernel, TheLinkMessageCarriesTheNameAndTheProfilesAddress) {
    sim::ScopedDevice device(fixedInterfaces());
    const Link en0 = readLink(1);
    EXPECT_EQ(en0.name, "en0");
    EXPECT_EQ(en0.mac, "02:00:00:AA:BB:CC");
    const Link cell = readLink(2);
    EXPECT_EQ(cell.name, "pdp_ip0");
    EXPECT_EQ(cell.mac, "00:00:00:00:00:00");
    EXPECT_EQ(readLink(3).error, ENXIO);
    EXPECT_EQ(readLink(0).error, ENXIO);
}

TEST(SimKernel, SysctlRefusesShortBuffersUnknownNamesAndNewValues) {
    sim::ScopedDevice device(fixedInterfaces());
    const int mib[] = {sim::kCtlNet, sim::kPfRoute, 0, sim::kAfLink, sim::kNetRtIfList, 1};
    std::size_t size = 0;
    ASSERT_EQ(sim::sysctl(mib, 6, nullptr, &size, nullptr, 0), 0);
    EXPECT_GT(size, sim::kLinkNameOffset + 3 + 6 - 1);
    std::vector<unsigned char> buffer(size, 0xee);
    std::size_t shorter = size - 1;
    EXPECT_EQ(sim::sysctl(mib, 6, buffer.data(), &shorter, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(buffer[0], 0xee) << "a refused read writes nothing";

    const int unknown[] = {sim::kCtlNet, sim::kPfRoute, 0, 2, sim::kNetRtIfList, 1};
    EXPECT_EQ(sim::sysctl(unknown, 6, nullptr, &size, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sim::sysctl(mib, 5, nullptr, &size, nullptr, 0), -1);
    EXPECT_EQ(sim::sysctl(mib, 6, nullptr, &size, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(sim::sysctl(mib, 6, nullptr, nullptr, nullptr, 0), -1);
}

TEST(SimKernel, TheNetmaskRequestAnswersFromTheFixedList) {
    sim::ScopedDevice device(fixedInterfaces());
    EXPECT_EQ(netmask("en0"), "255.255.255.0") << "the first entry of a name answers";
    EXPECT_EQ(netmask("pdp_ip0"), "255.0.0.0");
    EXPECT_EQ(netmask("en1"), "errno " + std::to_string(ENODEV));
    ifreq request{};
    std::memcpy(request.ifr_name, "en0", 3);
    EXPECT_EQ(sim::ioctl(-1, SIOCGIFNETMASK, &request), -1);
    EXPECT_EQ(errno, EBADF);
    const int fd = sim::socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_EQ(sim::ioctl(fd, SIOCGIFADDR, &request), -1);
    EXPECT_EQ(errno, EINVAL);
    std::memset(request.ifr_name, 'a', IFNAMSIZ); // no terminating NUL
    EXPECT_EQ(sim::ioctl(fd, SIOCGIFNETMASK, &request), -1);
    EXPECT_EQ(errno, ENODEV);
    sim::close(fd);
}

TEST(SimKernel, HostModeAnswersForTheAliasedInterface) {
    sim::Profile p = sim::defaultProfile();
    p.interfaces = {.host = true, .aliases = {{"en0", "lo"}, {"en9", "no-such-host-interface"}}, .fixed = {}};
    sim::ScopedDevice device(p);
    EXPECT_EQ(sim::interfaceNames(), std::vector<std::string>{"en0"}) << "an alias of nothing is not there";
    ASSERT_EQ(sim::if_nametoindex("en0"), 1u);
    EXPECT_EQ(sim::if_nametoindex("en9"), 0u);
    const Link en0 = readLink(1);
    EXPECT_EQ(en0.name, "en0");
    EXPECT_EQ(en0.mac, "00:00:00:00:00:00");
    EXPECT_EQ(netmask("en0"), "255.0.0.0");
    EXPECT_EQ(netmask("lo"), "errno " + std::to_string(ENODEV)) << "host names are not the device's";
}

TEST(SimKernel, TheHookFailsEachCallItNames) {
    sim::ScopedDevice device(fixedInterfaces());
    {
        sim::ScopedKernelHook hook(sim::failingCall(sim::KernelCall::IfNameToIndex, EIO));
        EXPECT_EQ(sim::if_nametoindex("en0"), 0u);
        EXPECT_EQ(errno, EIO);
        EXPECT_EQ(readLink(1).mac, "02:00:00:AA:BB:CC");
    }
    EXPECT_EQ(sim::if_nametoindex("en0"), 1u);
    {
        sim::ScopedKernelHook hook(sim::failingCall(sim::KernelCall::Socket, EMFILE));
        EXPECT_EQ(netmask("en0"), "errno " + std::to_string(EMFILE));
    }
    {
        sim::ScopedKernelHook hook(sim::failingCall(sim::KernelCall::Ioctl, ENXIO));
        EXPECT_EQ(netmask("en0"), "errno " + std::to_string(ENXIO));
    }
    // The size query and the read of one table fail apart.
    for (const bool failSize : {true, false}) {
        std::vector<std::pair<int, bool>> seen;
        sim::ScopedKernelHook hook([&](const sim::KernelRequest& r) {
            if (r.call != sim::KernelCall::Sysctl) return 0;
            seen.emplace_back(r.name.back(), r.sizeQuery);
            return r.sizeQuery == failSize ? EIO : 0;
        });
        EXPECT_EQ(readLink(1).error, EIO);
        EXPECT_EQ(seen.back(), std::make_pair(1, failSize));
        EXPECT_EQ(seen.size(), failSize ? 1u : 2u);
    }
}
