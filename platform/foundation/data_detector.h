#pragma once
// ns::DataDetector ("NSDataDetector"): finds kinds of data in a text, over regular expressions.
//
// Kinds (a mask of ns::TextCheckingType): links (a "scheme://" URL, a "www." host taken as http,
// an e-mail address as a "mailto:" URL), phone numbers (an optional "+", digits and the separators
// space, "-", "." and parentheses, 7 to 15 digits), dates (ISO "2024-01-05", "1/5/2024" or
// "January 5, 2024", each with an optional time; read in the local zone, with no zone of their
// own and no duration), addresses ("number words suffix[, city[, ST ZIP]]", with the Street, City,
// State and ZIP components) and transit information (which nothing in a text is taken for).
//
// Matches come in text order without overlap: of candidates that overlap, the one starting first
// wins, and at one start a link before a date, an address and a phone number. Ranges are in UTF-16
// units. Matching is const and safe on any thread; every pattern starts only at the beginning of
// a run it can take, so hostile input (long runs of digits, dots or "@") costs linear time.

#include <cstdint>
#include <memory>

#include "platform/foundation/regular_expression.h"

namespace ns {

// Address components.
inline constexpr const char* TextCheckingStreetKey = "Street";
inline constexpr const char* TextCheckingCityKey = "City";
inline constexpr const char* TextCheckingStateKey = "State";
inline constexpr const char* TextCheckingZIPKey = "ZIP";

class DataDetector : public rt::Object {
    RT_CLASS(DataDetector)
public:
    // The kinds a detector may look for.
    static constexpr std::uint64_t kSupportedTypes = TextCheckingType::Date | TextCheckingType::Address |
                                                     TextCheckingType::Link | TextCheckingType::PhoneNumber |
                                                     TextCheckingType::TransitInformation;
    // nil (and an NSCocoaErrorDomain FormattingError) for no kind or a kind not supported.
    static rt::Ref<DataDetector> dataDetectorWithTypes(std::uint64_t types, rt::Ref<Error>* error = nullptr);

    std::uint64_t checkingTypes() const noexcept { return types_; }
    // The TextCheckingResults found in `range` (a range past the end throws "NSRangeException").
    rt::Ref<Array> matchesInString(const String& s, Range range) const;
    rt::Ref<Array> matchesInString(const String& s) const;

    struct Patterns;

protected:
    ~DataDetector() override;

private:
    explicit DataDetector(std::uint64_t types);
    std::uint64_t types_;
    const Patterns& patterns_;
};

} // namespace ns
