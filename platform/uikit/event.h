#pragma once
// ui::Event ("UIEvent"): the touches of one moment, as a control's action receives them.

#include <vector>

#include "platform/foundation/clock.h"
#include "platform/runtime/object.h"

namespace ns {
class Set;
}

namespace ui {

class Touch;
class View;

enum class EventType : long { Touches = 0, Motion = 1, RemoteControl = 2, Presses = 3 };

class Event final : public rt::Object {
    RT_CLASS(Event)
public:
    // An event of touches, stamped with the clock's time.
    static rt::Ref<Event> withTouches(std::vector<rt::Ref<Touch>> touches);

    EventType type() const noexcept { return type_; }
    ns::TimeInterval timestamp() const noexcept { return timestamp_; }
    rt::Ref<ns::Set> allTouches() const;
    // The touches whose view is `view`.
    rt::Ref<ns::Set> touchesForView(const View* view) const;
    const std::vector<rt::Ref<Touch>>& touchList() const noexcept { return touches_; }

private:
    Event(EventType type, std::vector<rt::Ref<Touch>> touches);

    EventType type_;
    ns::TimeInterval timestamp_;
    std::vector<rt::Ref<Touch>> touches_;
};

} // namespace ui
