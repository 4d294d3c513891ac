#pragma once
// si::Memory ("SIMemory"): main memory in MiB: the installed total, and the host's page counts.
// Class methods only; each asks afresh. Any thread.

#include <cstdint>

#include "platform/runtime/object.h"

namespace si {

class Memory : public rt::Object {
    RT_CLASS(Memory)
public:
    // The physical memory rounded to the nearest 256 MiB (a remainder of 128 rounds up).
    static std::int64_t totalMemory();
    // Whole MiB of free, active + inactive + wired, active, wired and inactive pages; -1 when the
    // statistics cannot be read.
    static double freeMemory();
    static double usedMemory();
    static double activeMemory();
    static double wiredMemory();
    static double inactiveMemory();

private:
    Memory() = default;
};

} // namespace si
