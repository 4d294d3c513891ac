#include "device/si_localization.h"

#include "platform/foundation/array.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"

namespace si {

rt::Ref<ns::String> Localization::language() {
    const auto languages = ns::Locale::preferredLanguages();
    return languages->count() ? rt::cast<ns::String>(languages->objectAtIndex(0)) : nullptr;
}

rt::Ref<ns::String> Localization::timeZone() { return ns::TimeZone::systemTimeZone()->name(); }
rt::Ref<ns::String> Localization::currencySymbol() { return ns::Locale::currentLocale()->currencySymbol(); }
rt::Ref<ns::String> Localization::currencyCode() { return ns::Locale::currentLocale()->currencyCode(); }
rt::Ref<ns::String> Localization::country() { return ns::Locale::currentLocale()->localeIdentifier(); }
rt::Ref<ns::String> Localization::measurementSystem() { return ns::Locale::currentLocale()->measurementSystem(); }

RT_DEFINE_CLASS(Localization, "SILocalization", rt::Object, rt::classMethod("language", &Localization::language),
                rt::classMethod("timeZone", &Localization::timeZone),
                rt::classMethod("currencySymbol", &Localization::currencySymbol),
                rt::classMethod("currencyCode", &Localization::currencyCode),
                rt::classMethod("country", &Localization::country),
                rt::classMethod("measurementSystem", &Localization::measurementSystem))

} // namespace si
