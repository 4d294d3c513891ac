// The device's host and task tables, the process table, and what Foundation answers of the host:
// the profile's fixed figures, the host's own where the profile leaves them, and the hook's faults.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>
#include <sys/syscall.h>

#include <gtest/gtest.h>

#include "platform/externalaccessory/accessory_manager.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/time_zone.h"
#include "platform/sim/device.h"
#include "platform/sim/host_tables.h"
#include "platform/sim/kernel_hook.h"
#include "platform/sim/sysctl.h"
#include "tests/testkit/virtual_time.h"

namespace {

constexpr int kProcessTable[] = {sim::kCtlKern, sim::kKernProc, sim::kKernProcAll, 0};

sim::Profile withProcesses(int count) {
    sim::Profile p = sim::defaultProfile();
    p.host.processes = count;
    return p;
}

// "pid name" per record, in table order; "errno N" when a call fails.
std::vector<std::string> readProcesses() {
    std::size_t size = 0;
    if (sim::sysctl(kProcessTable, 4, nullptr, &size, nullptr, 0) != 0) return {"errno " + std::to_string(errno)};
    // Room for processes that start between the two calls.
    std::vector<unsigned char> table(size + 64 * sim::kProcessRecordSize);
    size = table.size();
    if (sim::sysctl(kProcessTable, 4, table.data(), &size, nullptr, 0) != 0) return {"errno " + std::to_string(errno)};
    std::vector<std::string> out;
    for (std::size_t at = 0; at + sim::kProcessRecordSize <= size; at += sim::kProcessRecordSize) {
        std::int32_t pid = 0;
        std::memcpy(&pid, &table[at + sim::kProcessIdOffset], sizeof pid);
        out.push_back(std::to_string(pid) + " " + reinterpret_cast<const char*>(&table[at + sim::kProcessNameOffset]));
    }
    return out;
}

sim::VmStatistics vmStatistics(sim::KernReturn* result) {
    sim::VmStatistics v{};
    unsigned count = sim::kHostVmInfoCount;
    *result = sim::host_statistics(sim::mach_host_self(), sim::kHostVmInfo, reinterpret_cast<std::int32_t*>(&v), &count);
    return v;
}

// "usage" or "usage idle" per thread of the task.
std::vector<std::string> threadLoads() {
    sim::ThreadPort* threads = nullptr;
    unsigned count = 0;
    if (sim::task_threads(sim::mach_task_self(), &threads, &count) != sim::kKernSuccess) return {"failed"};
    std::vector<std::string> out;
    for (unsigned i = 0; i < count; ++i) {
        sim::ThreadBasicInfo info{};
        unsigned words = 32;
        std::int32_t buffer[32]{};
        if (sim::thread_info(threads[i], sim::kThreadBasicInfo, buffer, &words) != sim::kKernSuccess) {
            out.push_back("failed");
            continue;
        }
        std::memcpy(&info, buffer, sizeof info);
        out.push_back(std::to_string(info.cpuUsage) + (info.flags == sim::kThreadIdle ? " idle" : ""));
    }
    sim::vm_deallocate(sim::mach_task_self(), threads, count * sizeof(sim::ThreadPort));
    return out;
}

} // namespace

TEST(SimProcessTable, FixedRecordsCarryPidsAndNamesAtTheirOffsets) {
    sim::ScopedDevice device(withProcesses(3));
    EXPECT_EQ(readProcesses(), (std::vector<std::string>{"1 process1", "2 process2", "3 process3"}));
    std::size_t size = 0;
    ASSERT_EQ(sim::sysctl(kProcessTable, 4, nullptr, &size, nullptr, 0), 0);
    EXPECT_EQ(size, 3 * sim::kProcessRecordSize);
    std::vector<unsigned char> table(size);
    std::size_t short_ = size - 1;
    EXPECT_EQ(sim::sysctl(kProcessTable, 4, table.data(), &short_, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
}

TEST(SimProcessTable, TheHookCanChangeTheTableBetweenTheSizeQueryAndTheRead) {
    sim::ScopedDevice device(withProcesses(10));
    std::size_t size = 0;
    int records = 0;
    sim::ScopedKernelHook hook([&](const sim::KernelRequest& r) {
        if (r.call == sim::KernelCall::Sysctl && !r.sizeQuery && r.answer) {
            r.answer->resize(r.answer->size() + records * sim::kProcessRecordSize, 0);
            r.answer->back() = 'x';
        }
        return 0;
    });
    ASSERT_EQ(sim::sysctl(kProcessTable, 4, nullptr, &size, nullptr, 0), 0);
    std::vector<unsigned char> table(size + sim::kProcessRecordSize);
    records = 2;
    std::size_t room = table.size();
    EXPECT_EQ(sim::sysctl(kProcessTable, 4, table.data(), &room, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOMEM);
    records = 1;
    ASSERT_EQ(sim::sysctl(kProcessTable, 4, table.data(), &room, nullptr, 0), 0);
    EXPECT_EQ(room, table.size());
    EXPECT_EQ(table.back(), 'x') << "the hook's bytes are the answer";
}

TEST(SimProcessTable, HostModeListsThisProcessWithItsCommand) {
    sim::Profile p = sim::defaultProfile();
    p.host.processes.reset();
    sim::ScopedDevice device(p);
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    const auto processes = readProcesses();
    EXPECT_NE(std::find(processes.begin(), processes.end(), std::to_string(::getpid()) + " " + name.substr(0, 16)),
              processes.end());
}

TEST(SimHostStatistics, FixedMemoryIsSplitIntoPagesOfTheDevicesSize) {
    sim::Profile p = sim::defaultProfile();
    p.host.memory = sim::HostFigures::Memory{2.0 * (1 << 30), 512.0 * (1 << 20)};
    sim::ScopedDevice device(p);
    std::size_t page = 0;
    ASSERT_EQ(sim::host_page_size(sim::mach_host_self(), &page), sim::kKernSuccess);
    EXPECT_EQ(page, 16384u);
    sim::KernReturn result;
    const sim::VmStatistics v = vmStatistics(&result);
    ASSERT_EQ(result, sim::kKernSuccess);
    EXPECT_EQ(v.freeCount, 32768u);
    EXPECT_EQ(v.activeCount + v.inactiveCount + v.wireCount, 131072u - 32768u);
    EXPECT_GT(v.wireCount, 0u);

    unsigned tooFew = sim::kHostVmInfoCount - 1;
    std::int32_t words[15];
    EXPECT_EQ(sim::host_statistics(sim::mach_host_self(), sim::kHostVmInfo, words, &tooFew), sim::kKernInvalidArgument);
    EXPECT_EQ(sim::host_statistics(sim::mach_host_self(), 4, words, &tooFew), sim::kKernInvalidArgument);
    EXPECT_EQ(ns::ProcessInfo::processInfo()->physicalMemory(), 2ull << 30);
}

TEST(SimHostStatistics, HostModeReadsTheHostsMemoryAndTheHookFailsEachCall) {
    sim::Profile p = sim::defaultProfile();
    p.host = {};
    sim::ScopedDevice device(p);
    std::size_t page = 0;
    ASSERT_EQ(sim::host_page_size(sim::mach_host_self(), &page), sim::kKernSuccess);
    EXPECT_EQ(page, static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
    sim::KernReturn result;
    const sim::VmStatistics v = vmStatistics(&result);
    ASSERT_EQ(result, sim::kKernSuccess);
    EXPECT_GT(v.freeCount, 0u);
    EXPECT_GT(v.activeCount + v.inactiveCount, 0u);
    EXPECT_GT(ns::ProcessInfo::processInfo()->physicalMemory(), static_cast<std::uint64_t>(v.freeCount) * page);

    for (const auto call : {sim::KernelCall::HostPageSize, sim::KernelCall::HostStatistics, sim::KernelCall::TaskInfo,
                            sim::KernelCall::TaskThreads}) {
        sim::ScopedKernelHook hook(sim::failingCall(call, EIO));
        std::int32_t info[1024];
        unsigned count = 1024;
        sim::ThreadPort* threads = nullptr;
        const sim::KernReturn answers[] = {
            sim::host_page_size(sim::mach_host_self(), &page),
            sim::host_statistics(sim::mach_host_self(), sim::kHostVmInfo, info, &count),
            sim::task_info(sim::mach_task_self(), sim::kTaskBasicInfo, info, &count),
            sim::task_threads(sim::mach_task_self(), &threads, &count),
        };
        int failed = 0;
        for (const auto a : answers) failed += a == sim::kKernFailure;
        EXPECT_EQ(failed, 1) << static_cast<int>(call);
        if (call != sim::KernelCall::TaskThreads) sim::vm_deallocate(sim::mach_task_self(), threads, count * 4);
    }
}

TEST(SimThreads, TheProfilesThreadsOrItsLoadOrTheHostsOwn) {
    sim::Profile p = sim::defaultProfile();
    p.host.threads = {{300, false}, {200, true}, {500, false}};
    {
        sim::ScopedDevice device(p);
        EXPECT_EQ(threadLoads(), (std::vector<std::string>{"300", "200 idle", "500"}));
        std::int32_t info[32];
        unsigned count = 32;
        EXPECT_EQ(sim::thread_info(4, sim::kThreadBasicInfo, info, &count), sim::kKernInvalidArgument);
        sim::ScopedKernelHook hook(sim::failingCall(sim::KernelCall::ThreadInfo, EIO));
        EXPECT_EQ(threadLoads(), (std::vector<std::string>(3, "failed")));
    }
    p.host.threads = std::vector<sim::ThreadLoad>{};
    {
        sim::ScopedDevice device(p);
        EXPECT_TRUE(threadLoads().empty());
    }
    p.host.threads.reset();
    p.host.cpuLoad = 0.25;
    {
        sim::ScopedDevice device(p);
        EXPECT_EQ(threadLoads(), std::vector<std::string>{"250"});
    }
    p.host.cpuLoad.reset();
    sim::ScopedDevice device(p);
    sim::ThreadPort* threads = nullptr;
    unsigned count = 0;
    ASSERT_EQ(sim::task_threads(sim::mach_task_self(), &threads, &count), sim::kKernSuccess);
    const auto self = static_cast<sim::ThreadPort>(::syscall(SYS_gettid));
    EXPECT_NE(std::find(threads, threads + count, self), threads + count);
    sim::vm_deallocate(sim::mach_task_self(), threads, count * sizeof(sim::ThreadPort));
    for (const std::string& load : threadLoads()) {
        ASSERT_NE(load, "failed");
        EXPECT_EQ(load.find("idle"), std::string::npos) << "host threads are never idle";
        EXPECT_LE(std::stoi(load), 1000);
    }
}

TEST(SimThreads, AProfileListsThreadsOrSaysHost) {
    std::string error;
    const std::string base = R"({"machine": "iPhone9,1", "model": "iPhone", "systemVersion": "12.4.1",
                                 "screen": {"width": 375, "height": 667}, )";
    auto p = sim::parseProfile(base + R"("threads": [{"usage": 300}, {"usage": 200, "idle": true}]})", "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->host.threads, (std::vector<sim::ThreadLoad>{{300, false}, {200, true}}));
    p = sim::parseProfile(base + R"("threads": "host"})", "t.json", &error);
    ASSERT_TRUE(p) << error;
    EXPECT_FALSE(p->host.threads);
    EXPECT_FALSE(sim::parseProfile(base + R"("threads": [{"usage": 1001}]})", "t.json", &error));
    EXPECT_FALSE(sim::parseProfile(base + R"("threads": 3})", "t.json", &error));
}

class SimFoundationFigures : public testkit::VirtualTimeTest {};

TEST_F(SimFoundationFigures, AFixedUptimeMovesWithTheClockAndTheRegionComesFromTheLocale) {
    sim::Profile p = sim::defaultProfile();
    p.host.uptime = 59;
    p.host.processors = sim::HostFigures::Processors{6, 4};
    p.host.disk = sim::HostFigures::Memory{64.0 * (1 << 30), 8.0 * (1 << 30)};
    p.locale = {"de_DE", "Europe/Berlin", "EUR", "Metric"};
    p.accessories = 2;
    sim::ScopedDevice device(p);
    const auto info = ns::ProcessInfo::processInfo();
    EXPECT_DOUBLE_EQ(info->systemUptime(), 59);
    clock().advance(2.5);
    EXPECT_DOUBLE_EQ(info->systemUptime(), 61.5);
    EXPECT_EQ(info->processorCount(), 6u);
    EXPECT_EQ(info->activeProcessorCount(), 4u);

    const auto locale = ns::Locale::currentLocale();
    EXPECT_EQ(locale->localeIdentifier()->utf8(), "de_DE");
    EXPECT_EQ(locale->currencyCode()->utf8(), "EUR");
    EXPECT_EQ(locale->currencySymbol()->utf8(), "€");
    EXPECT_EQ(locale->measurementSystem()->utf8(), "Metric");
    EXPECT_EQ(ns::TimeZone::systemTimeZone()->name()->utf8(), "Europe/Berlin");

    const auto attributes = ns::FileManager::defaultManager()->attributesOfFileSystemForPath("/");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->objectForKey(ns::FileSystemSize)->description(), std::to_string(64ull << 30));
    EXPECT_EQ(attributes->objectForKey(ns::FileSystemFreeSize)->description(), std::to_string(8ull << 30));
    EXPECT_FALSE(ns::FileManager::defaultManager()->attributesOfFileSystemForPath("/no/such/folder"));

    const auto accessories = ea::AccessoryManager::sharedAccessoryManager()->connectedAccessories();
    ASSERT_EQ(accessories->count(), 2u);
    EXPECT_EQ(rt::cast<ea::Accessory>(accessories->objectAtIndex(1))->name()->utf8(), "Accessory 2");
}

TEST_F(SimFoundationFigures, TheHostsFiguresWhereTheProfileLeavesThem) {
    sim::Profile p = sim::defaultProfile();
    p.host = {};
    p.locale.currency = "XTS";
    sim::ScopedDevice device(p);
    const auto info = ns::ProcessInfo::processInfo();
    EXPECT_GT(info->systemUptime(), 0);
    EXPECT_EQ(info->processorCount(), static_cast<std::uint64_t>(::sysconf(_SC_NPROCESSORS_CONF)));
    EXPECT_LE(info->activeProcessorCount(), info->processorCount());
    EXPECT_EQ(ns::Locale::currentLocale()->currencySymbol()->utf8(), "XTS") << "a currency without a sign of its own";
    const auto attributes = ns::FileManager::defaultManager()->attributesOfFileSystemForPath("/");
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->objectForKey(ns::FileSystemNodes));
    EXPECT_EQ(ea::AccessoryManager::sharedAccessoryManager()->connectedAccessories()->count(), 0u);
}
