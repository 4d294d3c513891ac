#include "tests/testkit/main_loop.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/sim/stepper.h"

namespace testkit {

bool drainMainQueue(std::size_t maxPasses) {
    std::string failure;
    if (sim::drainMainQueue(maxPasses, &failure)) return true;
    ADD_FAILURE() << failure;
    return false;
}

void runMainLoopUntil(ns::TimeInterval virtualTime) {
    std::string failure;
    if (!sim::runMainLoopUntil(virtualTime, &failure)) ADD_FAILURE() << failure;
}

void runMainLoopFor(double seconds) {
    runMainLoopUntil(ns::Clock::currentTime() + seconds);
}

void haltStepping() {
    sim::haltStepping();
}

void resumeStepping() {
    sim::resumeStepping();
}

bool isSteppingHalted() {
    return sim::isSteppingHalted();
}

bool waitForWorkersIdle(double realSecondsTimeout) {
    return sim::waitForWorkersIdle(realSecondsTimeout);
}

} // namespace testkit
