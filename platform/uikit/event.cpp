#include "platform/uikit/event.h"

#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/uikit/touch.h"

namespace ui {

Event::Event(EventType type, std::vector<rt::Ref<Touch>> touches)
    : type_(type), timestamp_(ns::Clock::currentTime()), touches_(std::move(touches)) {}

rt::Ref<Event> Event::withTouches(std::vector<rt::Ref<Touch>> touches) {
    return rt::make<Event>(EventType::Touches, std::move(touches));
}

rt::Ref<ns::Set> Event::allTouches() const {
    return ns::Set::make(std::vector<rt::Id>(touches_.begin(), touches_.end()));
}

rt::Ref<ns::Set> Event::touchesForView(const View* view) const {
    std::vector<rt::Id> matching;
    for (const auto& touch : touches_)
        if (touch->view().get() == view) matching.push_back(touch);
    return ns::Set::make(matching);
}

RT_DEFINE_CLASS(Event, "UIEvent", rt::Object, rt::prop("timestamp", &Event::timestamp),
                rt::prop("allTouches", &Event::allTouches))

} // namespace ui
