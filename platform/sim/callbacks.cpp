#include "platform/sim/callbacks.h"

#include "platform/foundation/dispatch.h"
#include "platform/sim/device.h"

namespace sim {

void deliverCallback(std::function<void()> answer, double seconds) {
    const bool helper = currentDevice()->callbacks == Callbacks::Helper;
    auto run = [helper, answer = std::move(answer)]() mutable {
        if (helper) dispatch::async(dispatch::Queue::global(), std::move(answer));
        else dispatch::async(dispatch::Queue::main(), std::move(answer));
    };
    if (seconds > 0) dispatch::asyncAfter(dispatch::after(seconds), dispatch::Queue::main(), std::move(run));
    else run();
}

} // namespace sim
