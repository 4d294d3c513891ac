#include "platform/foundation/time_zone.h"

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {

struct System {
    std::mutex lock;
    std::string name = "UTC";
    std::optional<std::string> defaultName; // none: the system's
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

rt::Ref<TimeZone> TimeZone::defaultTimeZone() {
    std::string name;
    {
        std::lock_guard guard(system().lock);
        name = system().defaultName.value_or(system().name);
    }
    return rt::make<TimeZone>(std::move(name));
}

void TimeZone::setDefaultTimeZone(const rt::Ref<TimeZone>& zone) {
    std::lock_guard guard(system().lock);
    if (zone) system().defaultName = zone->name_;
    else system().defaultName.reset();
}

rt::Ref<String> TimeZone::name() const { return String::make(name_); }

long TimeZone::systemSecondsFromGMT(long long secondsSince1970) {
    std::string name;
    {
        std::lock_guard guard(system().lock);
        name = system().name;
    }
    if (name == "UTC" || name == "GMT") return 0;
    // The C library knows the rules of a named zone only as the process's TZ: set for one look and
    // put back, under a lock that every local-time reading of the process takes.
    static std::mutex lock;
    std::lock_guard guard(lock);
    const char* current = std::getenv("TZ");
    const std::optional<std::string> saved = current ? std::optional<std::string>(current) : std::nullopt;
    ::setenv("TZ", name.c_str(), 1);
    ::tzset();
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm tm{};
    const long offset = localtime_r(&t, &tm) ? tm.tm_gmtoff : 0;
    if (saved)
        ::setenv("TZ", saved->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    return offset;
}

RT_DEFINE_CLASS(TimeZone, "NSTimeZone", rt::Object, rt::classMethod("systemTimeZone", &TimeZone::systemTimeZone),
                rt::classMethod("defaultTimeZone", &TimeZone::defaultTimeZone),
                rt::method("name", &TimeZone::name))

rt::Ref<TimeZone> TimeZone::timeZoneWithName(std::string name) {
    return name.empty() ? nullptr : rt::make<TimeZone>(std::move(name));
}

} // namespace ns
