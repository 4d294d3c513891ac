#include "platform/sim/sysctl.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

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

// False: no interface at that index.
bool linkMessage(int index, Bytes& bytes) {
    const auto names = interfaceNames();
    if (index < 1 || static_cast<std::size_t>(index) > names.size()) return false;
    const std::string& name = names[static_cast<std::size_t>(index) - 1];
    const auto address = hardwareAddress(name).value_or(std::array<unsigned char, 6>{});

    // The link-level address: 8 bytes of fields, the name and the address, rounded up to 4 bytes.
    const std::size_t linkLength = (8 + name.size() + address.size() + 3) / 4 * 4;
    bytes.assign(kInterfaceMessageHeaderSize + linkLength, 0);
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
    return true;
}

void addProcess(Bytes& table, std::int32_t pid, std::string_view name) {
    const std::size_t at = table.size();
    table.resize(at + kProcessRecordSize, 0);
    put(table, at + kProcessIdOffset, pid);
    // An empty name may be a view with no pointer, which memcpy must not be given.
    if (!name.empty())
        std::memcpy(table.data() + at + kProcessNameOffset, name.data(), std::min(name.size(), kProcessNameMax));
}

// The processes a profile fixes: pids 1 and up, named "process1", ...
void fixedProcessTable(Bytes& table, int count) {
    table.reserve(static_cast<std::size_t>(count) * kProcessRecordSize);
    char name[kProcessNameMax] = "process";
    for (int pid = 1; pid <= count; ++pid) {
        const char* end = std::to_chars(name + 7, name + sizeof name, pid).ptr;
        addProcess(table, pid, std::string_view(name, static_cast<std::size_t>(end - name)));
    }
}

// The host's processes, each /proc/<pid> with its comm; with `sizeOnly` every record is left
// blank (a size query needs no names, and reading ~300 comm files is most of the table's cost).
void hostProcessTable(Bytes& table, bool sizeOnly) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    // Processes come and go while the folder is listed: one that ended since is left out.
    while (const dirent* entry = ::readdir(proc)) {
        const std::string_view name = entry->d_name;
        std::int32_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error != std::errc{} || end != name.data() + name.size()) continue;
        if (sizeOnly) {
            addProcess(table, pid, {});
            continue;
        }
        char path[32];
        std::snprintf(path, sizeof path, "%d/comm", pid);
        const int fd = ::openat(::dirfd(proc), path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char command[kProcessNameMax + 2];
        const ssize_t got = ::read(fd, command, sizeof command);
        ::close(fd);
        if (got <= 0) continue;
        std::string_view text(command, static_cast<std::size_t>(got));
        if (text.ends_with('\n')) text.remove_suffix(1);
        addProcess(table, pid, text);
    }
    ::closedir(proc);
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
    const bool processes =
        mib.size() == 4 && mib[0] == kCtlKern && mib[1] == kKernProc && mib[2] == kKernProcAll && mib[3] == 0;
    // The fixed table's length, or -1 for the host's (a plain count: GCC's flow analysis at -O1
    // takes an optional's value for unset here).
    const int fixedProcesses = processes ? currentDevice()->host.processes.value_or(-1) : -1;
    // A fixed table's size is known without making it, and the host's without reading the
    // names (unless a hook is to see the answer).
    const bool sizeOnly = processes && !old && !kernelHookInstalled();
    if (fixedProcesses >= 0 && sizeOnly && !newValue && !newLength) {
        *oldLength = static_cast<std::size_t>(fixedProcesses) * kProcessRecordSize;
        return 0;
    }

    // The answer is made in a buffer each thread keeps, so a large table costs no fresh pages.
    thread_local Bytes answer;
    answer.clear();
    bool known = true;
    int error = 0;
    if (fixedProcesses >= 0) {
        fixedProcessTable(answer, fixedProcesses);
    } else if (processes) {
        hostProcessTable(answer, sizeOnly);
    } else if (mib.size() == 6 && mib[0] == kCtlNet && mib[1] == kPfRoute && mib[2] == 0 && mib[3] == kAfLink &&
               mib[4] == kNetRtIfList) {
        known = linkMessage(mib[5], answer);
        if (!known) error = ENXIO;
    } else {
        known = false;
        error = ENOENT;
    }
    if (const int hooked = kernelHookError({.call = KernelCall::Sysctl,
                                            .name = mib,
                                            .sizeQuery = old == nullptr,
                                            .answer = known ? &answer : nullptr}))
        return fail(hooked);
    if (error) return fail(error);
    if (newValue || newLength) return fail(EPERM);

    if (!old) {
        *oldLength = answer.size();
        return 0;
    }
    if (*oldLength < answer.size()) return fail(ENOMEM);
    std::memcpy(old, answer.data(), answer.size());
    *oldLength = answer.size();
    return 0;
}

} // namespace sim
