#pragma once
// ns::ProcessInfo ("NSProcessInfo"): the host the process runs on: the time since it started, its
// processors and its memory. Each figure is the host's unless fixed ones are set (installing a
// simulated device sets its profile's); a fixed uptime moves on with the installed clock from the
// moment it was set. Any thread.

#include <cstdint>
#include <optional>

#include "platform/runtime/object.h"

namespace ns {

class ProcessInfo : public rt::Object {
    RT_CLASS(ProcessInfo)
public:
    static rt::Ref<ProcessInfo> processInfo();

    // Seconds since the system started (CLOCK_BOOTTIME on the host).
    double systemUptime() const;
    std::uint64_t processorCount() const;
    std::uint64_t activeProcessorCount() const;
    // Bytes.
    std::uint64_t physicalMemory() const;

    // Nullopt reads the host.
    struct Figures {
        std::optional<double> uptime; // seconds, at the moment the figures are set
        std::optional<std::uint64_t> processorCount;
        std::optional<std::uint64_t> activeProcessorCount;
        std::optional<std::uint64_t> physicalMemory;
    };
    static void setFigures(const Figures& figures);

private:
    ProcessInfo() = default;
};

} // namespace ns
