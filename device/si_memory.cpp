#include "device/si_memory.h"

#include <optional>

#include "platform/foundation/process_info.h"
#include "platform/runtime/class.h"
#include "platform/sim/host_tables.h"

namespace si {

namespace {

struct Pages {
    std::uint64_t free, active, inactive, wired;
};

// The VM statistics in bytes; nullopt when they cannot be read.
std::optional<Pages> statistics() {
    std::size_t pageSize = 0;
    if (sim::host_page_size(sim::mach_host_self(), &pageSize) != sim::kKernSuccess) return std::nullopt;
    sim::VmStatistics v{};
    unsigned count = sim::kHostVmInfoCount;
    if (sim::host_statistics(sim::mach_host_self(), sim::kHostVmInfo, reinterpret_cast<std::int32_t*>(&v), &count) !=
        sim::kKernSuccess)
        return std::nullopt;
    const auto bytes = [&](std::uint32_t pages) { return static_cast<std::uint64_t>(pages) * pageSize; };
    return Pages{bytes(v.freeCount), bytes(v.activeCount), bytes(v.inactiveCount), bytes(v.wireCount)};
}

template <typename Pick>
double mebibytes(Pick pick) {
    const auto pages = statistics();
    return pages ? static_cast<double>(pick(*pages) >> 20) : -1;
}

// The nearest multiple of 256 MiB, a remainder of exactly 128 rounding up.
std::int64_t roundedToMarketSize(std::int64_t mebibytes) {
    const std::int64_t remainder = mebibytes % 256;
    return mebibytes - remainder + (remainder >= 128 ? 256 : 0);
}

} // namespace

std::int64_t Memory::totalMemory() {
    return roundedToMarketSize(static_cast<std::int64_t>(ns::ProcessInfo::processInfo()->physicalMemory() >> 20));
}

double Memory::freeMemory() { return mebibytes([](const Pages& p) { return p.free; }); }
double Memory::usedMemory() { return mebibytes([](const Pages& p) { return p.active + p.inactive + p.wired; }); }
double Memory::activeMemory() { return mebibytes([](const Pages& p) { return p.active; }); }
double Memory::wiredMemory() { return mebibytes([](const Pages& p) { return p.wired; }); }
double Memory::inactiveMemory() { return mebibytes([](const Pages& p) { return p.inactive; }); }

RT_DEFINE_CLASS(Memory, "SIMemory", rt::Object, rt::classMethod("totalMemory", &Memory::totalMemory),
                rt::classMethod("freeMemory", &Memory::freeMemory), rt::classMethod("usedMemory", &Memory::usedMemory),
                rt::classMethod("activeMemory", &Memory::activeMemory),
                rt::classMethod("wiredMemory", &Memory::wiredMemory),
                rt::classMethod("inactiveMemory", &Memory::inactiveMemory))

} // namespace si
