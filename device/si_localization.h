#pragma once
// si::Localization ("SILocalization"): the user's language and region settings. Class methods
// only; each asks afresh. Any thread.

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace si {

class Localization : public rt::Object {
    RT_CLASS(Localization)
public:
    // The most preferred language ("en"); nil when there is none.
    static rt::Ref<ns::String> language();
    // The system time zone's name.
    static rt::Ref<ns::String> timeZone();
    static rt::Ref<ns::String> currencySymbol();
    static rt::Ref<ns::String> currencyCode();
    // The current locale's identifier ("en_US"), not a country's name.
    static rt::Ref<ns::String> country();
    static rt::Ref<ns::String> measurementSystem();

private:
    Localization() = default;
};

} // namespace si
