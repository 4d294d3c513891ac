#pragma once
// Helpers of the UIKit stand-in's tests: a target that records the actions it receives.

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/object.h"

namespace uikit_tests {

// Records each action as "name" plus what it was sent: "tapped(sender,event)", "changed(sender)",
// "ping()". The sender and the event are kept too.
class ActionLog : public rt::Object {
    RT_CLASS(ActionLog)
public:
    void tapped(const rt::Id& sender, const rt::Id& event);
    void changed(const rt::Id& sender);
    void ping();

    std::vector<std::string> calls;
    // Run after each call is recorded.
    std::function<void()> onCall;
    rt::Id lastSender;
    rt::Id lastEvent;

private:
    ActionLog() = default;
};

} // namespace uikit_tests
