#include "platform/uikit/status_bar_clock.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "platform/foundation/date.h"
#include "platform/foundation/date_formatter.h"

namespace ui::detail {

namespace {

// The regions whose clocks count 12 hours.
constexpr std::string_view kTwelveHourRegions[] = {"US", "CA", "AU", "NZ", "IN", "PH", "PK", "BD",
                                                   "EG", "SA", "AE", "KR", "TW", "HK", "MY", "CO"};

// How a language writes the bar's clock.
struct ClockLanguage {
    std::string_view language;
    bool paddedHour;                   // 24 hours: "09:00" rather than "9:00"
    std::string_view am, pm;           // the periods
    bool periodFirst;                  // "午後7:00" rather than "7:00 PM"
    std::array<std::string_view, 7> weekdays; // short, Sunday first
    std::array<std::string_view, 12> months;  // short
    std::string_view dayForm;          // W weekday, M month, D day of the month
};

constexpr ClockLanguage kEnglish{"en", true, "AM", "PM", false,
                                 {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
                                 {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
                                 "W M D"};
constexpr ClockLanguage kLanguages[] = {
    kEnglish,
    {"de", true, "AM", "PM", false,
     {"So.", "Mo.", "Di.", "Mi.", "Do.", "Fr.", "Sa."},
     {"Jan.", "Feb.", "März", "Apr.", "Mai", "Juni", "Juli", "Aug.", "Sept.", "Okt.", "Nov.", "Dez."},
     "W D. M"},
    {"fr", true, "AM", "PM", false,
     {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."},
     {"janv.", "févr.", "mars", "avr.", "mai", "juin", "juil.", "août", "sept.", "oct.", "nov.", "déc."},
     "W D M"},
    {"es", false, "a. m.", "p. m.", false,
     {"dom", "lun", "mar", "mié", "jue", "vie", "sáb"},
     {"ene", "feb", "mar", "abr", "may", "jun", "jul", "ago", "sept", "oct", "nov", "dic"},
     "W D M"},
    {"it", true, "AM", "PM", false,
     {"dom", "lun", "mar", "mer", "gio", "ven", "sab"},
     {"gen", "feb", "mar", "apr", "mag", "giu", "lug", "ago", "set", "ott", "nov", "dic"},
     "W D M"},
    {"ja", false, "午前", "午後", true, kEnglish.weekdays, kEnglish.months, kEnglish.dayForm},
    {"ko", false, "오전 ", "오후 ", true, kEnglish.weekdays, kEnglish.months, kEnglish.dayForm},
    {"zh", true, "上午", "下午", true, kEnglish.weekdays, kEnglish.months, kEnglish.dayForm},
};

// The identifier's language ("de" of "de_DE") and region ("DE"; "" without one).
std::pair<std::string_view, std::string_view> languageAndRegion(std::string_view identifier) {
    const std::size_t cut = identifier.find_first_of("_-");
    if (cut == std::string_view::npos) return {identifier, {}};
    std::string_view region = identifier.substr(cut + 1);
    // A script between them ("zh_Hans_CN"): the region is the last part.
    if (const std::size_t last = region.find_last_of("_-"); last != std::string_view::npos)
        region = region.substr(last + 1);
    return {identifier.substr(0, cut), region};
}

const ClockLanguage& clockLanguage(std::string_view language) {
    for (const ClockLanguage& known : kLanguages)
        if (known.language == language) return known;
    return kEnglish;
}

// The date and time at `now` in the device's zone.
struct LocalTime {
    int year = 2001, month = 1, day = 1, hour = 0, minute = 0;
};
LocalTime localTime(double now) {
    LocalTime t;
    const rt::Ref<ns::String> text =
        ns::DateFormatter::withFormat("y M d H m")->stringFromDate(*ns::Date::withTimeIntervalSinceReferenceDate(now));
    std::sscanf(text->utf8().c_str(), "%d %d %d %d %d", &t.year, &t.month, &t.day, &t.hour, &t.minute);
    return t;
}

} // namespace

std::string statusBarTime(std::string_view localeIdentifier, double now, bool withPeriod) {
    const auto [language, region] = languageAndRegion(localeIdentifier);
    const ClockLanguage& writes = clockLanguage(language);
    const LocalTime t = localTime(now);
    const bool twelve = std::ranges::find(kTwelveHourRegions, region) != std::end(kTwelveHourRegions);
    char clock[16];
    if (twelve)
        std::snprintf(clock, sizeof clock, "%d:%02d", (t.hour + 11) % 12 + 1, t.minute);
    else
        std::snprintf(clock, sizeof clock, writes.paddedHour ? "%02d:%02d" : "%d:%02d", t.hour, t.minute);
    if (!twelve || !withPeriod) return clock;
    const std::string_view period = t.hour < 12 ? writes.am : writes.pm;
    return writes.periodFirst ? std::string(period) + clock : clock + (" " + std::string(period));
}

std::string statusBarDay(std::string_view localeIdentifier, double now) {
    const ClockLanguage& writes = clockLanguage(languageAndRegion(localeIdentifier).first);
    const LocalTime t = localTime(now);
    using namespace std::chrono;
    const year_month_day date{year{t.year}, month{unsigned(t.month)}, day{unsigned(t.day)}};
    const unsigned weekday = std::chrono::weekday{sys_days{date}}.c_encoding(); // Sunday 0
    std::string text;
    for (const char c : writes.dayForm) {
        if (c == 'W') text += writes.weekdays[weekday % 7];
        else if (c == 'M') text += writes.months[std::clamp(t.month, 1, 12) - 1];
        else if (c == 'D') text += std::to_string(t.day);
        else text += c;
    }
    return text;
}

} // namespace ui::detail
