#include "tests/testkit/leak_check.h"

#include <cstdio>
#include <memory>

#include "platform/foundation/clock.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/dispatch_internal.h"
#include "platform/runtime/object.h"
#include "tests/testkit/main_loop.h"

namespace testkit {

std::string leftAlive(std::int64_t countAtStart, double settleSeconds) {
    auto alive = [&] { return rt::liveObjectCount() - countAtStart; };
    if (alive() == 0) return "";
    const bool systemClock = !std::dynamic_pointer_cast<ns::ManualClock>(ns::Clock::installed());
    if (systemClock) {
        const ns::TimeInterval horizon = ns::Clock::currentTime() + settleSeconds;
        for (auto next = dispatch::nextDeadline(); next && *next <= horizon && alive() != 0;
             next = dispatch::nextDeadline()) {
            // A wait on the timer manager: it returns at the deadline, once what was due then fired.
            dispatch::Semaphore::make(0)->wait(*next);
            waitForWorkersIdle();
        }
    }
    std::int64_t left = alive();
    if (left == 0) return "";
    std::string report = "left " + std::to_string(left) + " object(s) alive";
    if (auto next = dispatch::nextDeadline(); systemClock && next) {
        char due[32];
        std::snprintf(due, sizeof due, "%.1f", *next - ns::Clock::currentTime());
        report +=
            std::string("; a timer armed on the system clock, due in ") + due +
            " s, still holds its work (dispose what the test scheduled, or run the test in virtual time)";
    }
    if (dispatch::detail::mainRunLoopHasWork())
        report += "; the main queue still has work (drain it in the test)";
    return report;
}

} // namespace testkit
