#include "platform/runtime/observation.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace rt {

namespace {
std::atomic<const detail::ObservationHooks*> gHooks{nullptr};

// The key whose setter key-value coding is calling on this thread, and whether it announced.
struct ExpectedAnnouncement {
    const Object* obj = nullptr;
    std::string_view key;
    bool seen = false;
};
thread_local ExpectedAnnouncement tExpected;
} // namespace

void detail::setAndCheckAnnounced(Object& obj, const Property& property, const Slot& value) {
    ExpectedAnnouncement outer = std::exchange(tExpected, {&obj, property.name(), false});
    struct Restore {
        ExpectedAnnouncement outer;
        ~Restore() { tExpected = outer; }
    } restore{outer};
    property.set(obj, value);
    if (!tExpected.seen && obj.isObserved()) // (still observed: not a race with the last removal)
        ns::logLine("[" + obj.Object::description() + " setValue:forKey:]: the setter of the property " +
                    property.name() + " does not announce its changes; its observers were not notified.");
}

void detail::installObservationHooks(const ObservationHooks* hooks) noexcept {
    gHooks.store(hooks, std::memory_order_release);
}

void KeyChange::begin(Object& obj) noexcept {
    const detail::ObservationHooks* hooks = gHooks.load(std::memory_order_acquire);
    if (tExpected.obj == &obj && tExpected.key == key_) tExpected.seen = true;
    if (!hooks || !obj.automaticallyNotifiesObserversForKey(key_)) return;
    exceptions_ = std::uncaught_exceptions();
    if (hooks->willChange(obj, key_)) obj_ = &obj;
}

void KeyChange::end() noexcept {
    // Hooks, once installed, stay: the ones that recorded the change finish it.
    gHooks.load(std::memory_order_acquire)->didChange(*obj_, key_, std::uncaught_exceptions() > exceptions_);
}

void Object::observeValueForKeyPath(std::string_view keyPath, const Id& object, const Ref<ns::Dictionary>&,
                                    void* context) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", context);
    ns::logLine(description() +
                ": An -observeValueForKeyPath:ofObject:change:context: message was received but not "
                "handled. Key path: " +
                std::string(keyPath) + " Observed object: " + (object ? object->description() : "nil") +
                " Context: " + buf);
}

bool Object::automaticallyNotifiesObserversForKey(std::string_view) const {
    return true;
}

} // namespace rt
