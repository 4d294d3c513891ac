#include "platform/sim/sysctl.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device.h"
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

void addProcess(Bytes& table, std::int32_t pid, std::string_view name) {
    const std::size_t at = table.size();
    table.resize(at + kProcessRecordSize, 0);
    put(table, at + kProcessIdOffset, pid);
    std::memcpy(table.data() + at + kProcessNameOffset, name.data(), std::min(name.size(), kProcessNameMax));
}

Bytes processTable() {
    Bytes table;
    if (const auto count = currentDevice()->host.processes) {
        table.reserve(static_cast<std::size_t>(*count) * kProcessRecordSize);
        for (int pid = 1; pid <= *count; ++pid) addProcess(table, pid, "process" + std::to_string(pid));
        return table;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        std::int32_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc{} || end != name.data() + name.size()) continue;
        std::ifstream file(entry.path() / "comm");
        std::string command;
        // A process that ended since the listing is left out.
        if (!std::getline(file, command)) continue;
        addProcess(table, pid, command);
    }
    return table;
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
    if (mib.size() == 4 && mib[0] == kCtlKern && mib[1] == kKernProc && mib[2] == kKernProcAll && mib[3] == 0) {
        answer = processTable();
    } else if (mib.size() == 6 && mib[0] == kCtlNet && mib[1] == kPfRoute && mib[2] == 0 && mib[3] == kAfLink &&
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
