#include "platform/foundation/time_zone.h"

#include <mutex>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {

struct System {
    std::mutex lock;
    std::string name = "UTC";
};

System& system() {
    static System* shared = new System(); // read by anything up to the process's end
    return *shared;
}

} // namespace

rt::Ref<TimeZone> TimeZone::systemTimeZone() {
    std::string name;
    {
        std::lock_guard guard(system().lock);
        name = system().name;
    }
    return rt::make<TimeZone>(std::move(name));
}

void TimeZone::setSystemTimeZoneName(std::string name) {
    if (name.empty()) name = "UTC";
    std::lock_guard guard(system().lock);
    system().name.swap(name);
}

rt::Ref<String> TimeZone::name() const { return String::make(name_); }

RT_DEFINE_CLASS(TimeZone, "NSTimeZone", rt::Object, rt::classMethod("systemTimeZone", &TimeZone::systemTimeZone),
                rt::method("name", &TimeZone::name))

} // namespace ns
