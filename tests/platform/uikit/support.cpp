#include "tests/platform/uikit/support.h"

#include "platform/runtime/class.h"

namespace uikit_tests {

void ActionLog::tapped(const rt::Id& sender, const rt::Id& event) {
    calls.push_back(std::string("tapped(") + (sender ? "sender" : "nil") + "," + (event ? "event" : "nil") + ")");
    lastSender = sender;
    lastEvent = event;
    if (onCall) onCall();
}

void ActionLog::changed(const rt::Id& sender) {
    calls.push_back(std::string("changed(") + (sender ? "sender" : "nil") + ")");
    lastSender = sender;
    if (onCall) onCall();
}

void ActionLog::ping() {
    calls.push_back("ping()");
    if (onCall) onCall();
}

RT_DEFINE_CLASS(ActionLog, "UIKitTestActionLog", rt::Object, rt::method("tapped:forEvent:", &ActionLog::tapped),
                rt::method("changed:", &ActionLog::changed), rt::method("ping", &ActionLog::ping))

} // namespace uikit_tests
