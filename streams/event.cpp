#include "streams/event.h"

#include <cstdio>

#include "platform/foundation/error.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(Event, "ESEvent", rt::Object)
RT_DEFINE_CLASS(Unit, "ESUnit", rt::Object)

const rt::Ref<Event>& Event::completedEvent() {
    static const rt::Ref<Event> event = rt::immortal(rt::make<Event>(EventType::Completed, rt::Id()));
    return event;
}

rt::Ref<Event> Event::eventWithError(const rt::Ref<ns::Error>& error) {
    return rt::make<Event>(EventType::Error, rt::Id(error));
}

rt::Ref<Event> Event::eventWithValue(const rt::Id& value) { return rt::make<Event>(EventType::Next, value); }

rt::Ref<ns::Error> Event::error() const {
    return type_ == EventType::Error ? rt::cast<ns::Error>(object_) : rt::Ref<ns::Error>();
}

std::string Event::description() const {
    char head[64];
    std::snprintf(head, sizeof head, ": %p>{ ", static_cast<const void*>(this));
    auto text = [](const rt::Id& o) { return o ? o->description() : std::string("(null)"); };
    std::string body;
    switch (type_) {
    case EventType::Completed: body = "completed"; break;
    case EventType::Error: body = "error = " + text(object_); break;
    case EventType::Next: body = "next = " + text(object_); break;
    }
    return "<" + std::string(getClass().name()) + head + body + " }";
}

bool Event::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* e = rt::cast<const Event>(other);
    return e && e->type_ == type_ && rt::equal(e->object_, object_);
}

std::size_t Event::hash() const {
    return (object_ ? object_->hash() : 0) ^ static_cast<std::size_t>(type_);
}

const rt::Ref<Unit>& Unit::defaultUnit() {
    static const rt::Ref<Unit> unit = rt::immortal(rt::make<Unit>());
    return unit;
}

} // namespace es
