#pragma once
// The status bar's clock as the device's region and language write it (the profile's locale
// identifier, "de_DE": language de, region DE), at a time in the device's zone:
// - the time counts 12 hours in the regions that write it so (the United States, Canada, Australia,
//   India, Korea, ...), with the period ("7:00 PM"; before the time in Japanese, Korean and Chinese)
//   where the bar has room for it, and 24 hours elsewhere ("19:00", "09:00" in the languages that
//   write the hour with two digits);
// - the day, an iPad's beside the time, in the language's short form: "Wed May 1", "Mi. 1. Mai",
//   "mer. 1 mai", "mié 1 may", "mer 1 mag"; in English for a language the bar has no names for.

#include <string>
#include <string_view>

namespace ui::detail {

// `now` is seconds since the reference date; `withPeriod`: the bar has room for the period.
std::string statusBarTime(std::string_view localeIdentifier, double now, bool withPeriod);
std::string statusBarDay(std::string_view localeIdentifier, double now);

} // namespace ui::detail
