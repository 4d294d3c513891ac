#include "platform/sim/host_tables.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/sim/device.h"
#include "platform/sim/kernel_hook.h"

namespace sim {

namespace {

constexpr HostPort kHost = 1;
constexpr TaskPort kTask = 2;
// Pages of a profile's fixed memory.
constexpr std::size_t kDevicePageSize = 16384;

bool hookFails(KernelCall call) { return kernelHookError({.call = call, .name = {}}) != 0; }

std::size_t hostPageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

// /proc/meminfo's fields in kB, by name; nullopt when it cannot be read.
std::optional<VmStatistics> hostVmStatistics() {
    std::ifstream file("/proc/meminfo");
    if (!file) return std::nullopt;
    unsigned long long memFree = 0, active = 0, inactive = 0, unevictable = 0, mlocked = 0;
    int found = 0;
    std::string key;
    unsigned long long kb = 0;
    while (file >> key >> kb) {
        file.ignore(64, '\n');
        unsigned long long* field = key == "MemFree:"       ? &memFree
                                    : key == "Active:"      ? &active
                                    : key == "Inactive:"    ? &inactive
                                    : key == "Unevictable:" ? &unevictable
                                    : key == "Mlocked:"     ? &mlocked
                                                            : nullptr;
        if (field) {
            *field = kb;
            ++found;
        }
    }
    if (found < 3) return std::nullopt;
    const unsigned long long pageKb = hostPageSize() / 1024;
    const auto pages = [&](unsigned long long k) { return static_cast<std::uint32_t>(k / pageKb); };
    VmStatistics v{};
    v.freeCount = pages(memFree);
    v.activeCount = pages(active);
    v.inactiveCount = pages(inactive);
    // Linux has no count of wired pages; the pages the kernel will not page out, unevictable
    // and locked ones, come closest. The two overlap, so this is an upper estimate.
    v.wireCount = pages(unevictable + mlocked);
    return v;
}

// A profile's fixed memory: its free bytes, and the rest in use, split half active, a quarter
// inactive and a quarter wired.
VmStatistics fixedVmStatistics(const HostFigures::Memory& memory) {
    const auto pages = [](double bytes) { return static_cast<std::uint32_t>(bytes / kDevicePageSize); };
    const std::uint32_t used = pages(memory.total) - std::min(pages(memory.total), pages(memory.free));
    VmStatistics v{};
    v.freeCount = pages(memory.free);
    v.activeCount = used / 2;
    v.inactiveCount = used / 4;
    v.wireCount = used - v.activeCount - v.inactiveCount;
    return v;
}

// The profile's threads: its list, else one thread carrying the fixed load; nullopt: the host's.
std::optional<std::vector<ThreadLoad>> fixedThreads(const Profile& p) {
    if (p.host.threads) return p.host.threads;
    if (p.host.cpuLoad) return std::vector<ThreadLoad>{{static_cast<int>(*p.host.cpuLoad * kThreadUsageScale), false}};
    return std::nullopt;
}

std::vector<ThreadPort> hostThreadIds() {
    std::vector<ThreadPort> ids;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        unsigned id = 0;
        if (std::from_chars(name.data(), name.data() + name.size(), id).ec == std::errc{}) ids.push_back(id);
    }
    return ids;
}

double secondsSinceBoot() {
    timespec t{};
    ::clock_gettime(CLOCK_BOOTTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TimeValue timeValue(double seconds) {
    const auto whole = static_cast<std::int32_t>(seconds);
    return {whole, static_cast<std::int32_t>((seconds - whole) * 1e6)};
}

// A host thread's stat line: its CPU time over its life so far, and its run state.
std::optional<ThreadBasicInfo> hostThreadInfo(ThreadPort id) {
    std::ifstream file("/proc/self/task/" + std::to_string(id) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    // f[0] is the state (field 3); utime, stime and starttime are fields 14, 15 and 22.
    if (f.size() < 20) return std::nullopt;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double user = std::strtod(f[11].c_str(), nullptr) / tick;
    const double system = std::strtod(f[12].c_str(), nullptr) / tick;
    const double started = std::strtod(f[19].c_str(), nullptr) / tick;
    const double life = secondsSinceBoot() - started;
    ThreadBasicInfo info{};
    info.userTime = timeValue(user);
    info.systemTime = timeValue(system);
    info.cpuUsage = life > 0 ? static_cast<std::int32_t>(std::min(1.0, (user + system) / life) * kThreadUsageScale) : 0;
    info.runState = f[0] == "R" ? 1 : 3; // running, or waiting
    return info;
}

template <typename T>
KernReturn copyOut(const T& value, unsigned wordsNeeded, std::int32_t* info, unsigned* count) {
    if (!info || !count || *count < wordsNeeded) return kKernInvalidArgument;
    std::memcpy(info, &value, sizeof value);
    *count = wordsNeeded;
    return kKernSuccess;
}

} // namespace

HostPort mach_host_self() { return kHost; }
TaskPort mach_task_self() { return kTask; }

KernReturn host_page_size(HostPort host, std::size_t* size) {
    if (hookFails(KernelCall::HostPageSize)) return kKernFailure;
    if (host != kHost || !size) return kKernInvalidArgument;
    *size = currentDevice()->host.memory ? kDevicePageSize : hostPageSize();
    return kKernSuccess;
}

KernReturn host_statistics(HostPort host, int flavor, std::int32_t* info, unsigned* count) {
    if (hookFails(KernelCall::HostStatistics)) return kKernFailure;
    if (host != kHost || flavor != kHostVmInfo) return kKernInvalidArgument;
    const auto device = currentDevice();
    const auto v = device->host.memory ? fixedVmStatistics(*device->host.memory) : hostVmStatistics();
    if (!v) return kKernFailure;
    return copyOut(*v, kHostVmInfoCount, info, count);
}

KernReturn task_info(TaskPort task, int flavor, std::int32_t* info, unsigned* count) {
    if (hookFails(KernelCall::TaskInfo)) return kKernFailure;
    if (task != kTask || flavor != kTaskBasicInfo) return kKernInvalidArgument;
    TaskBasicInfo basic{};
    if (!fixedThreads(*currentDevice())) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        basic.userTime = {static_cast<std::int32_t>(usage.ru_utime.tv_sec), static_cast<std::int32_t>(usage.ru_utime.tv_usec)};
        basic.systemTime = {static_cast<std::int32_t>(usage.ru_stime.tv_sec), static_cast<std::int32_t>(usage.ru_stime.tv_usec)};
        basic.residentSizeMax = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
        std::ifstream statm("/proc/self/statm");
        std::uint64_t virtualPages = 0, residentPages = 0;
        if (statm >> virtualPages >> residentPages) {
            basic.virtualSize = virtualPages * hostPageSize();
            basic.residentSize = residentPages * hostPageSize();
        }
    }
    return copyOut(basic, kTaskBasicInfoCount, info, count);
}

KernReturn task_threads(TaskPort task, ThreadPort** threads, unsigned* count) {
    if (hookFails(KernelCall::TaskThreads)) return kKernFailure;
    if (task != kTask || !threads || !count) return kKernInvalidArgument;
    std::vector<ThreadPort> ports;
    if (const auto fixed = fixedThreads(*currentDevice())) {
        for (std::size_t i = 0; i < fixed->size(); ++i)
            ports.push_back(static_cast<ThreadPort>(i + 1));
    } else {
        ports = hostThreadIds();
    }
    *threads = nullptr;
    *count = 0;
    if (ports.empty()) return kKernSuccess;
    auto* list = static_cast<ThreadPort*>(std::malloc(ports.size() * sizeof(ThreadPort)));
    if (!list) return kKernFailure;
    std::memcpy(list, ports.data(), ports.size() * sizeof(ThreadPort));
    *threads = list;
    *count = static_cast<unsigned>(ports.size());
    return kKernSuccess;
}

KernReturn vm_deallocate(TaskPort task, const void* address, std::size_t) {
    if (task != kTask) return kKernInvalidArgument;
    std::free(const_cast<void*>(address));
    return kKernSuccess;
}

KernReturn thread_info(ThreadPort thread, int flavor, std::int32_t* info, unsigned* count) {
    if (hookFails(KernelCall::ThreadInfo)) return kKernFailure;
    if (flavor != kThreadBasicInfo) return kKernInvalidArgument;
    std::optional<ThreadBasicInfo> basic;
    if (const auto fixed = fixedThreads(*currentDevice())) {
        if (thread < 1 || thread > fixed->size()) return kKernInvalidArgument;
        const ThreadLoad& load = (*fixed)[thread - 1];
        basic = ThreadBasicInfo{};
        basic->cpuUsage = load.usage;
        basic->flags = load.idle ? kThreadIdle : 0;
        basic->runState = load.idle ? 3 : 1;
    } else {
        basic = hostThreadInfo(thread);
        if (!basic) return kKernInvalidArgument;
    }
    return copyOut(*basic, kThreadBasicInfoCount, info, count);
}

} // namespace sim
