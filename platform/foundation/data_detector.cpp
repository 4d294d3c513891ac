#include "platform/foundation/data_detector.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/foundation/date.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(DataDetector, "NSDataDetector", rt::Object)

namespace {
// Made once for the process.
rt::Ref<RegularExpression> detectorPattern(std::string_view pattern, bool caseInsensitive = false) {
    return rt::immortal(RegularExpression::make(pattern, caseInsensitive));
}
} // namespace

// Every pattern starts behind a look-behind that refuses the middle of a run it could take, and
// its repeats are possessive, so a match attempt fails fast and a run is read once.
struct DataDetector::Patterns {
    rt::Ref<RegularExpression> url = detectorPattern(
        R"((?<![A-Za-z0-9+.\-])[A-Za-z][A-Za-z0-9+.\-]*+://[^\s<>"]++)");
    rt::Ref<RegularExpression> www = detectorPattern(R"((?<![\w.\-@/])www\.[^\s<>"]++)", true);
    rt::Ref<RegularExpression> email =
        detectorPattern(R"((?<![\w.%+\-@])[\w.%+\-]++@[A-Za-z0-9\-]++(?:\.[A-Za-z0-9\-]++)++)");
    rt::Ref<RegularExpression> phone = detectorPattern(R"((?<![\w+.\-])\+?+\(?+\d[\d().\- ]*+)");
    // Groups: year, month, day, hour, minute, second.
    rt::Ref<RegularExpression> isoDate = detectorPattern(
        R"((?<![\d\-])(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2}))?)?(?![\d\-]))");
    // Groups: month, day, year, hour, minute, AM/PM.
    rt::Ref<RegularExpression> numericDate = detectorPattern(
        R"((?<![\d/])(\d{1,2})/(\d{1,2})/(\d{4})(?:,? (?:at )?(\d{1,2}):(\d{2})(?: ?([AP]M))?)?(?![\d/]))", true);
    rt::Ref<RegularExpression> namedDate = detectorPattern(
        R"((?<![A-Za-z])(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|)"
        R"(Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?)\.? (\d{1,2}),? (\d{4}))"
        R"((?:,? (?:at )?(\d{1,2}):(\d{2})(?: ?([AP]M))?)?(?!\d))",
        true);
    // Groups: street, city, state, ZIP.
    rt::Ref<RegularExpression> address = detectorPattern(
        R"((?<![\w\-])(\d{1,6} (?:[A-Z][A-Za-z]*+ ){1,4}?)"
        R"((?:Street|St|Avenue|Ave|Road|Rd|Boulevard|Blvd|Lane|Ln|Drive|Dr|Court|Ct|Way|Place|Pl)\b\.?))"
        R"((?:, ([A-Z][A-Za-z]*+(?: [A-Z][A-Za-z]*+){0,3})(?:, ([A-Z]{2}) (\d{5}(?:-\d{4})?))?)?(?![\w]))");
};

namespace {

// A candidate, with its precedence among candidates starting at the same place.
struct DetectorFind {
    rt::Ref<TextCheckingResult> result;
    int precedence;
};

std::string detectorGroup(const String& s, const TextCheckingResult& match, std::size_t index) {
    const Range range = match.rangeAtIndex(index);
    return range.location == NotFound ? std::string() : s.substringWithRange(range)->utf8();
}

// The range less trailing punctuation that more likely ends the sentence than the match.
Range detectorTrimmed(const String& s, Range range, std::string_view trailing) {
    while (range.length > 0) {
        const char16_t c = s.characterAtIndex(range.max() - 1);
        if (c > 127 || trailing.find(static_cast<char>(c)) == std::string_view::npos) break;
        --range.length;
    }
    return range;
}

int detectorMonth(std::string name) {
    static constexpr std::string_view months = "janfebmaraprmayjunjulaugsepoctnovdec";
    name = name.substr(0, 3);
    for (char& c : name) c = static_cast<char>(c | 0x20);
    const auto at = months.find(name);
    return at == std::string_view::npos ? 0 : static_cast<int>(at / 3 + 1);
}

// The local moment of the fields; nil for a day or a time that does not exist.
rt::Ref<Date> detectorDate(int year, int month, const std::string& day, const std::string& hour,
                           const std::string& minute, const std::string& second, const std::string& meridiem) {
    static const auto parser = rt::immortal(DateFormatter::withFormat("y-M-d H:m:s"));
    int h = hour.empty() ? 0 : std::stoi(hour);
    if (!meridiem.empty()) {
        if (h < 1 || h > 12) return nullptr;
        h = h % 12 + ((meridiem[0] | 0x20) == 'p' ? 12 : 0);
    }
    const std::string text = std::to_string(year) + "-" + std::to_string(month) + "-" + day + " " + std::to_string(h) +
                             ":" + (minute.empty() ? "0" : minute) + ":" + (second.empty() ? "0" : second);
    return parser->dateFromString(text);
}

} // namespace

DataDetector::DataDetector(std::uint64_t types) : types_(types), patterns_([]() -> const Patterns& {
    static const Patterns patterns;
    return patterns;
}()) {}

DataDetector::~DataDetector() = default;

rt::Ref<DataDetector> DataDetector::dataDetectorWithTypes(std::uint64_t types, rt::Ref<Error>* error) {
    if (types == 0 || (types & ~kSupportedTypes) != 0) {
        if (error) *error = Error::make("NSCocoaErrorDomain", FormattingError);
        return nullptr;
    }
    return rt::make<DataDetector>(types);
}

rt::Ref<Array> DataDetector::matchesInString(const String& s) const {
    return matchesInString(s, {0, s.length()});
}

rt::Ref<Array> DataDetector::matchesInString(const String& s, Range range) const {
    if (range.location > s.length() || range.length > s.length() - range.location)
        raise(RangeException, "NSDataDetector: range beyond the string's length " + std::to_string(s.length()));
    std::vector<DetectorFind> finds;
    auto each = [&](const rt::Ref<RegularExpression>& pattern, int precedence, auto make) {
        auto matches = pattern->matchesInString(s, range);
        for (std::size_t i = 0, count = matches->count(); i < count; ++i)
            if (auto result = make(*rt::cast<TextCheckingResult>(matches->objectAtIndex(i))))
                finds.push_back({std::move(result), precedence});
    };
    const Patterns& p = patterns_;
    if (types_ & TextCheckingType::Link) {
        static constexpr std::string_view trailing = ".,;:!?'\")]}";
        auto link = [&](const char* prefix) {
            return [&s, prefix](const TextCheckingResult& match) -> rt::Ref<TextCheckingResult> {
                const Range trimmed = detectorTrimmed(s, match.range(), trailing);
                auto url = URL::URLWithString(prefix + s.substringWithRange(trimmed)->utf8());
                return url ? TextCheckingResult::linkCheckingResult(trimmed, url) : nullptr;
            };
        };
        each(p.url, 0, link(""));
        each(p.www, 0, link("http://"));
        each(p.email, 0, [&](const TextCheckingResult& match) -> rt::Ref<TextCheckingResult> {
            // The last label of the domain is a name of letters.
            const std::string address = s.substringWithRange(match.range())->utf8();
            const std::string top = address.substr(address.rfind('.') + 1);
            if (top.size() < 2 || !std::all_of(top.begin(), top.end(), [](char c) { return std::isalpha(c & 0x7f); }))
                return nullptr;
            auto url = URL::URLWithString("mailto:" + address);
            return url ? TextCheckingResult::linkCheckingResult(match.range(), url) : nullptr;
        });
    }
    if (types_ & TextCheckingType::Date) {
        auto date = [&](int year, int month, std::size_t day, std::size_t hour, std::size_t minute,
                        std::size_t second, std::size_t meridiem) {
            return [=, &s](const TextCheckingResult& match) -> rt::Ref<TextCheckingResult> {
                auto g = [&](std::size_t index) { return index ? detectorGroup(s, match, index) : std::string(); };
                const int y = year > 0 ? std::stoi(g(std::size_t(year))) : 0;
                const int m = month > 0 ? std::stoi(g(std::size_t(month))) : detectorMonth(g(std::size_t(-month)));
                auto when = detectorDate(y, m, g(day), g(hour), g(minute), g(second), g(meridiem));
                return when ? TextCheckingResult::dateCheckingResult(match.range(), when) : nullptr;
            };
        };
        // A negative month group is a month's name.
        each(p.isoDate, 1, date(1, 2, 3, 4, 5, 6, 0));
        each(p.numericDate, 1, date(3, 1, 2, 4, 5, 0, 6));
        each(p.namedDate, 1, date(3, -1, 2, 4, 5, 0, 6));
    }
    if (types_ & TextCheckingType::Address) {
        each(p.address, 2, [&](const TextCheckingResult& match) -> rt::Ref<TextCheckingResult> {
            auto components = MutableDictionary::make();
            const char* keys[] = {TextCheckingStreetKey, TextCheckingCityKey, TextCheckingStateKey, TextCheckingZIPKey};
            for (std::size_t i = 0; i < 4; ++i)
                if (auto value = detectorGroup(s, match, i + 1); !value.empty())
                    components->setObjectForKey(String::make(value), keys[i]);
            return TextCheckingResult::addressCheckingResult(match.range(),
                                                             rt::cast<Dictionary>(components->copy()));
        });
    }
    if (types_ & TextCheckingType::PhoneNumber) {
        each(p.phone, 3, [&](const TextCheckingResult& match) -> rt::Ref<TextCheckingResult> {
            const Range trimmed = detectorTrimmed(s, match.range(), " .-(");
            const std::string number = s.substringWithRange(trimmed)->utf8();
            const auto digits = std::count_if(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits < 7 || digits > 15) return nullptr;
            return TextCheckingResult::phoneNumberCheckingResult(trimmed, String::make(number));
        });
    }
    std::stable_sort(finds.begin(), finds.end(), [](const DetectorFind& a, const DetectorFind& b) {
        const Range ra = a.result->range(), rb = b.result->range();
        if (ra.location != rb.location) return ra.location < rb.location;
        return a.precedence < b.precedence;
    });
    auto results = MutableArray::make();
    std::size_t end = 0;
    for (const DetectorFind& find : finds) {
        const Range r = find.result->range();
        if (r.length == 0 || r.location < end) continue;
        results->addObject(find.result);
        end = r.max();
    }
    return rt::cast<Array>(results->copy());
}

} // namespace ns
