#pragma once
// ns::TimeZone ("NSTimeZone"): a named time zone. The system's is process-wide: "UTC" until
// something sets it (installing a simulated device sets its profile's locale's), and it is the
// local time of everything formatted for the device, whatever the host's own zone. The default
// zone is the application's own choice: the system's until one is set. Any thread.

#include <string>

#include "platform/runtime/object.h"

namespace ns {

class String;

class TimeZone : public rt::Object {
    RT_CLASS(TimeZone)
public:
    // A new object each call, holding the name set at the time.
    static rt::Ref<TimeZone> systemTimeZone();
    // Empty puts back "UTC".
    static void setSystemTimeZoneName(std::string name);
    // The zone set as the default, else the system's (read at the call).
    static rt::Ref<TimeZone> defaultTimeZone();
    // Nil goes back to following the system's.
    static void setDefaultTimeZone(const rt::Ref<TimeZone>& zone);

    // A zone of that name (for the names of archived zones); nil for an empty name.
    static rt::Ref<TimeZone> timeZoneWithName(std::string name);

    // The zone's name ("Europe/Berlin").
    rt::Ref<String> name() const;

    // Seconds east of UTC in force in the system time zone at that moment, by the zone rules of
    // the system's time zone database (an unknown name counts as UTC).
    static long systemSecondsFromGMT(long long secondsSince1970);

private:
    explicit TimeZone(std::string name) : name_(std::move(name)) {}
    std::string name_;
};

} // namespace ns
