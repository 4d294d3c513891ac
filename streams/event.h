#pragma once
// es::Event: a signal event as a value (materialize/dematerialize), and es::Unit, the value sent
// when only the fact of an event matters.

#include <cstdint>

#include "platform/runtime/object.h"

namespace ns {
class Error;
}

namespace es {

enum class EventType : std::uint8_t { Completed = 0, Error = 1, Next = 2 };

class Event final : public rt::Object {
    RT_CLASS(Event)
public:
    // One shared completion event.
    static const rt::Ref<Event>& completedEvent();
    static rt::Ref<Event> eventWithError(const rt::Ref<ns::Error>& error);
    static rt::Ref<Event> eventWithValue(const rt::Id& value);

    EventType eventType() const noexcept { return type_; }
    // The error of an error event, the value of a next event, nil for completion.
    const rt::Id& object() const noexcept { return object_; }
    bool isFinished() const noexcept { return type_ != EventType::Next; }
    rt::Ref<ns::Error> error() const;
    rt::Id value() const { return type_ == EventType::Next ? object_ : rt::Id(); }

    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    Event(EventType type, rt::Id object) : type_(type), object_(std::move(object)) {}
    EventType type_;
    rt::Id object_;
};

class Unit final : public rt::Object {
    RT_CLASS(Unit)
public:
    static const rt::Ref<Unit>& defaultUnit();
};

} // namespace es
