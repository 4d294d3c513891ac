#pragma once
// The runtime's half of key-value observation: the line an observable setter starts with.
//
//   void Person::setAge(int age) {
//       rt::KeyChange change(this, "age");
//       age_ = age;
//   }
//
// While nobody observes the object that is one test of its observed flag. Otherwise, when the
// class lets the key notify automatically, observers hear of the change before the assignment
// (prior notifications, old values) and after it, when the guard goes out of scope. Key-value
// coding sets through the same setter, so either way of setting notifies once.
//
// The observers themselves are kept by platform/foundation (key_value_observing.h), which installs
// the two announcers below when the first observer is added.

#include <string_view>

#include "platform/runtime/object.h"

namespace rt {

class Property;
struct Slot;

namespace detail {

struct ObservationHooks {
    // Records the change about to happen and sends prior notifications; false when no observer
    // of the key was found (nothing recorded, so nothing to finish).
    bool (*willChange)(Object& obj, std::string_view key);
    // Finishes the change recorded by willChange. `discard` drops it without notifying (the
    // setter is leaving by an exception).
    void (*didChange)(Object& obj, std::string_view key, bool discard);
};

// Installed once by the observer registry; the hooks must live for the rest of the process.
void installObservationHooks(const ObservationHooks* hooks) noexcept;
// Sets or clears the object's observed flag (the registry's business alone).
void setObserved(const Object& obj, bool observed) noexcept;
// Key-value coding's way to set a key that notifies automatically on an observed object: logs a
// setter that does not announce the change, whose observers would otherwise miss it silently.
void setAndCheckAnnounced(Object& obj, const Property& property, const Slot& value);

} // namespace detail

// Announces a change of one key of one object around the statements that follow it in the
// enclosing scope. Construct it first thing in the setter, before anything that can return early.
class KeyChange {
public:
    [[nodiscard]] KeyChange(Object* obj, std::string_view key) noexcept : key_(key) {
        if (obj->isObserved()) [[unlikely]]
            begin(*obj);
    }
    ~KeyChange() {
        if (obj_) [[unlikely]]
            end();
    }
    KeyChange(const KeyChange&) = delete;
    KeyChange& operator=(const KeyChange&) = delete;

private:
    void begin(Object& obj) noexcept;
    void end() noexcept;

    Object* obj_ = nullptr; // set only when a change was recorded
    std::string_view key_;
    int exceptions_ = 0; // exceptions in flight when the change began
};

} // namespace rt
