#include "platform/sim/sysctl.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/interfaces.h"
#include "platform/sim/kernel_hook.h"

namespace sim {

namespace {

using Bytes = std::vector<unsigned char>;

template <typename T>
void put(Bytes& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// The message header's fields that a reader may look at: length, version, type, the addresses
// present, flags (up and running) and the index; the rest stays zero.
constexpr std::uint8_t kMessageVersion = 5, kMessageInterfaceInfo = 0xe;
constexpr int kAddressesLink = 0x10, kFlagsUpRunning = 0x1 | 0x40;
constexpr std::uint8_t kLinkTypeEthernet = 6;

// Nullopt: no interface at that index.
std::optional<Bytes> linkMessage(int index) {
    const auto names = interfaceNames();
    if (index < 1 || static_cast<std::size_t>(index) > names.size()) return std::nullopt;
    const std::string& name = names[static_cast<std::size_t>(index) - 1];
    const auto address = hardwareAddress(name).value_or(std::array<unsigned char, 6>{});

    // The link-level address: 8 bytes of fields, the name and the address, rounded up to 4 bytes.
    const std::size_t linkLength = (8 + name.size() + address.size() + 3) / 4 * 4;
    Bytes bytes(kInterfaceMessageHeaderSize + linkLength, 0);
    put(bytes, 0, static_cast<std::uint16_t>(bytes.size()));
    bytes[2] = kMessageVersion;
    bytes[3] = kMessageInterfaceInfo;
    put(bytes, 4, kAddressesLink);
    put(bytes, 8, kFlagsUpRunning);
    put(bytes, 12, static_cast<std::uint16_t>(index));

    const std::size_t link = kInterfaceMessageHeaderSize;
    bytes[link] = static_cast<unsigned char>(linkLength);
    bytes[link + 1] = kAfLink;
    put(bytes, link + 2, static_cast<std::uint16_t>(index));
    bytes[link + 4] = kLinkTypeEthernet;
    bytes[kLinkNameLengthOffset] = static_cast<unsigned char>(name.size());
    bytes[link + 6] = static_cast<unsigned char>(address.size());
    std::memcpy(bytes.data() + kLinkNameOffset, name.data(), name.size());
    std::memcpy(bytes.data() + kLinkNameOffset + name.size(), address.data(), address.size());
    return bytes;
}

int fail(int error) {
    errno = error;
    return -1;
}

} // namespace

int sysctl(const int* name, unsigned nameLength, void* old, std::size_t* oldLength, const void* newValue,
           std::size_t newLength) {
    if (!name || !oldLength) return fail(EFAULT);
    const std::span<const int> mib(name, nameLength);
    if (const int error = kernelHookError({.call = KernelCall::Sysctl, .name = mib, .sizeQuery = old == nullptr}))
        return fail(error);
    if (newValue || newLength) return fail(EPERM);

    std::optional<Bytes> answer;
    if (mib.size() == 6 && mib[0] == kCtlNet && mib[1] == kPfRoute && mib[2] == 0 && mib[3] == kAfLink &&
        mib[4] == kNetRtIfList) {
        answer = linkMessage(mib[5]);
        if (!answer) return fail(ENXIO);
    } else {
        return fail(ENOENT);
    }

    if (!old) {
        *oldLength = answer->size();
        return 0;
    }
    if (*oldLength < answer->size()) return fail(ENOMEM);
    std::memcpy(old, answer->data(), answer->size());
    *oldLength = answer->size();
    return 0;
}

} // namespace sim
