#pragma once
// si::Processor ("SIProcessor"): the processors, the application's CPU load and the running
// processes. Class methods only; each asks afresh. Any thread.

#include <cstdint>

#include "platform/foundation/array.h"
#include "platform/runtime/object.h"

namespace si {

class Processor : public rt::Object {
    RT_CLASS(Processor)
public:
    static std::int64_t processorsNumber();
    static std::int64_t activeProcessorsNumber();
    // The sum of the busy threads' usage, 1.0 being one processor fully busy; 0 without threads,
    // -1 when the task or a thread cannot be read.
    static double cpuUsageForApp();
    // {"ProcessID": "<pid>", "ProcessName": "<command>"} per process, the kernel's table from last
    // to first; nil when the table cannot be read whole.
    static rt::Ref<ns::Array> activeProcesses();
    static std::int64_t numberOfActiveProcesses();

private:
    Processor() = default;
};

} // namespace si
