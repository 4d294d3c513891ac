#include "platform/foundation/process_info.h"

#include <mutex>

#include <time.h>
#include <unistd.h>

#include "platform/foundation/clock.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {

struct Fixed {
    std::mutex lock;
    ProcessInfo::Figures figures;
    TimeInterval setAt = 0;
};

Fixed& fixed() {
    static Fixed* shared = new Fixed(); // read by anything up to the process's end
    return *shared;
}

ProcessInfo::Figures current(TimeInterval* setAt = nullptr) {
    std::lock_guard guard(fixed().lock);
    if (setAt) *setAt = fixed().setAt;
    return fixed().figures;
}

std::uint64_t hostFigure(int name) {
    const long value = ::sysconf(name);
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

} // namespace

rt::Ref<ProcessInfo> ProcessInfo::processInfo() {
    static const rt::Ref<ProcessInfo>* shared = [] {
        rt::PermanentScope permanent;
        auto* info = new rt::Ref<ProcessInfo>(rt::make<ProcessInfo>());
        rt::makeImmortal(**info);
        return info;
    }();
    return *shared;
}

double ProcessInfo::systemUptime() const {
    TimeInterval setAt = 0;
    if (const auto uptime = current(&setAt).uptime) return *uptime + (Clock::currentTime() - setAt);
    timespec t{};
    ::clock_gettime(CLOCK_BOOTTIME, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::uint64_t ProcessInfo::processorCount() const {
    return current().processorCount.value_or(hostFigure(_SC_NPROCESSORS_CONF));
}

std::uint64_t ProcessInfo::activeProcessorCount() const {
    return current().activeProcessorCount.value_or(hostFigure(_SC_NPROCESSORS_ONLN));
}

std::uint64_t ProcessInfo::physicalMemory() const {
    if (const auto bytes = current().physicalMemory) return *bytes;
    return hostFigure(_SC_PHYS_PAGES) * hostFigure(_SC_PAGESIZE);
}

void ProcessInfo::setFigures(const Figures& figures) {
    const TimeInterval now = Clock::currentTime();
    std::lock_guard guard(fixed().lock);
    fixed().figures = figures;
    fixed().setAt = now;
}

RT_DEFINE_CLASS(ProcessInfo, "NSProcessInfo", rt::Object, rt::classMethod("processInfo", &ProcessInfo::processInfo))

} // namespace ns
