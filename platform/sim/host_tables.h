#pragma once
// The device's host and task tables, as the system library's host and task calls give them: code
// that would call host_page_size, host_statistics, task_info, task_threads or thread_info calls the
// sim:: function of that name, with the same arguments and answers. Each answers from the profile's
// fixed figures ("memory", "threads" or "cpuLoad"), or in host mode (the default) from Linux where
// the meaning is the same. The kernel hook (kernel_hook.h) sees every call first and can make it
// fail (kKernFailure).

#include <cstddef>
#include <cstdint>

namespace sim {

using KernReturn = int;
inline constexpr KernReturn kKernSuccess = 0, kKernInvalidArgument = 4, kKernFailure = 5;

using HostPort = unsigned;
using TaskPort = unsigned;
using ThreadPort = unsigned;

HostPort mach_host_self();
TaskPort mach_task_self();

// The size of a memory page in bytes: the host's, or 16384 on a profile's fixed memory.
KernReturn host_page_size(HostPort host, std::size_t* size);

// The VM flavour: 15 words, of which the first four are page counts. `count` is in words: at least
// kHostVmInfoCount in, the words written out.
inline constexpr int kHostVmInfo = 2;
inline constexpr unsigned kHostVmInfoCount = 15;
struct VmStatistics {
    std::uint32_t freeCount;
    std::uint32_t activeCount;
    std::uint32_t inactiveCount;
    std::uint32_t wireCount;
    std::uint32_t zeroFillCount;
    std::uint32_t reactivations;
    std::uint32_t pageins;
    std::uint32_t pageouts;
    std::uint32_t faults;
    std::uint32_t cowFaults;
    std::uint32_t lookups;
    std::uint32_t hits;
    std::uint32_t purgeableCount;
    std::uint32_t purges;
    std::uint32_t speculativeCount;
};
static_assert(sizeof(VmStatistics) == kHostVmInfoCount * 4);
KernReturn host_statistics(HostPort host, int flavor, std::int32_t* info, unsigned* count);

// The task's basic information: sizes and times, in 32-bit words.
inline constexpr int kTaskBasicInfo = 20;
struct TimeValue {
    std::int32_t seconds;
    std::int32_t microseconds;
};
struct TaskBasicInfo {
    std::uint64_t virtualSize;
    std::uint64_t residentSize;
    std::uint64_t residentSizeMax;
    TimeValue userTime;
    TimeValue systemTime;
    std::int32_t policy;
    std::int32_t suspendCount;
};
inline constexpr unsigned kTaskBasicInfoCount = sizeof(TaskBasicInfo) / 4;
KernReturn task_info(TaskPort task, int flavor, std::int32_t* info, unsigned* count);

// The task's threads, as a list the caller gives back with vm_deallocate (count × 4 bytes).
KernReturn task_threads(TaskPort task, ThreadPort** threads, unsigned* count);
KernReturn vm_deallocate(TaskPort task, const void* address, std::size_t size);

// A thread's basic information. CPU usage is scaled so that kThreadUsageScale is one processor
// fully busy; kThreadIdle in flags marks an idle thread.
inline constexpr int kThreadBasicInfo = 3;
inline constexpr std::int32_t kThreadUsageScale = 1000, kThreadIdle = 2;
struct ThreadBasicInfo {
    TimeValue userTime;
    TimeValue systemTime;
    std::int32_t cpuUsage;
    std::int32_t policy;
    std::int32_t runState;
    std::int32_t flags;
    std::int32_t suspendCount;
    std::int32_t sleepTime;
};
inline constexpr unsigned kThreadBasicInfoCount = sizeof(ThreadBasicInfo) / 4;
KernReturn thread_info(ThreadPort thread, int flavor, std::int32_t* info, unsigned* count);

} // namespace sim
