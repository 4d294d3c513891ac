#pragma once
// ns::RegularExpression ("NSRegularExpression"): Perl-style regular expressions over ns::String
// (PCRE2 syntax), matched by code point (so '.' takes a whole non-ASCII character), with every range
// reported in UTF-16 units. Case-insensitive matching folds letters by Unicode's simple case
// folding; \d, \w and \s are ASCII. A lone surrogate in the text is matched by nothing, but does not
// stop the rest of the text from matching. Matching is limited to `range`: ^ and $ match at its
// ends ($ only at the very end, not before a final newline).
//
// Every match attempt runs under a step limit and a backtracking-depth limit, so a pattern that
// would backtrack without end ("(a*)*b") ends in milliseconds, on any thread's stack; such a match
// counts as no match and is logged. Quantifiers stacked on a quantifier ("a**", "a{2}{3}") do not
// compile.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/coding.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

// NSCocoaErrorDomain: a pattern that does not compile.
inline constexpr long FormattingError = 2048;

class Date;
class Dictionary;
class TimeZone;
class URL;

// What a text-checking result found: a regular-expression match, or a kind of data.
namespace TextCheckingType {
inline constexpr std::uint64_t Grammar = 4;
inline constexpr std::uint64_t Date = 8;
inline constexpr std::uint64_t Address = 16;
inline constexpr std::uint64_t Link = 32;
inline constexpr std::uint64_t PhoneNumber = 2048;
inline constexpr std::uint64_t TransitInformation = 4096;
inline constexpr std::uint64_t RegularExpression = std::uint64_t(1) << 10;
} // namespace TextCheckingType

// One match ("NSTextCheckingResult"), or one piece of data found in a text, with what it stands
// for: a URL, address or transit components, a phone number, a date (with its zone and duration).
class TextCheckingResult : public rt::Object, public Coding {
    RT_CLASS(TextCheckingResult)
public:
    static rt::Ref<TextCheckingResult> linkCheckingResult(Range range, rt::Ref<ns::URL> url);
    static rt::Ref<TextCheckingResult> addressCheckingResult(Range range, rt::Ref<Dictionary> components);
    static rt::Ref<TextCheckingResult> phoneNumberCheckingResult(Range range, rt::Ref<String> phoneNumber);
    static rt::Ref<TextCheckingResult> dateCheckingResult(Range range, rt::Ref<Date> date);
    static rt::Ref<TextCheckingResult> dateCheckingResult(Range range, rt::Ref<Date> date, rt::Ref<TimeZone> timeZone,
                                                          double duration);
    static rt::Ref<TextCheckingResult> transitInformationCheckingResult(Range range, rt::Ref<Dictionary> components);
    // A result of any other type, carrying only its range.
    static rt::Ref<TextCheckingResult> checkingResult(std::uint64_t type, Range range);

    std::uint64_t resultType() const noexcept { return type_; }
    const rt::Ref<ns::URL>& URL() const noexcept { return url_; }
    const rt::Ref<Dictionary>& addressComponents() const noexcept {
        return type_ == TextCheckingType::Address ? components_ : none_;
    }
    const rt::Ref<Dictionary>& components() const noexcept {
        return type_ == TextCheckingType::TransitInformation ? components_ : none_;
    }
    const rt::Ref<String>& phoneNumber() const noexcept { return phoneNumber_; }
    const rt::Ref<Date>& date() const noexcept { return date_; }
    const rt::Ref<TimeZone>& timeZone() const noexcept { return timeZone_; }
    double duration() const noexcept { return duration_; }

    // The whole match.
    Range range() const noexcept { return ranges_.front(); }
    // 0 is the whole match, 1... the capture groups; {NotFound, 0} for a group that took no part.
    // An index past the groups throws ns::Exception "NSRangeException".
    Range rangeAtIndex(std::size_t index) const;
    std::size_t numberOfRanges() const noexcept { return ranges_.size(); }

    // Archived with its type, its ranges and its payload (a URL as its text, a zone by name).
    void encodeWithCoder(Coder& coder) const override;
    rt::Id initWithCoder(Coder& coder) override;

private:
    TextCheckingResult() : TextCheckingResult(TextCheckingType::RegularExpression, {0, 0}) {}
    explicit TextCheckingResult(std::vector<Range> ranges);
    TextCheckingResult(std::uint64_t type, Range range);
    ~TextCheckingResult() override;
    std::vector<Range> ranges_;
    std::uint64_t type_ = TextCheckingType::RegularExpression;
    rt::Ref<ns::URL> url_;
    rt::Ref<Dictionary> components_, none_;
    rt::Ref<String> phoneNumber_;
    rt::Ref<Date> date_;
    rt::Ref<TimeZone> timeZone_;
    double duration_ = 0;
};

class RegularExpression : public rt::Object {
    RT_CLASS(RegularExpression)
public:
    // nil (and an NSCocoaErrorDomain FormattingError naming the pattern) when it does not compile.
    static rt::Ref<RegularExpression> make(std::string_view pattern, bool caseInsensitive = false,
                                           rt::Ref<Error>* error = nullptr);

    const std::string& pattern() const noexcept { return pattern_; }
    std::size_t numberOfCaptureGroups() const;

    // A range past the end of the string throws ns::Exception "NSRangeException". A match that
    // exhausts the matcher's limits counts as no match (and is logged).
    rt::Ref<TextCheckingResult> firstMatchInString(const String& s, Range range) const;
    rt::Ref<TextCheckingResult> firstMatchInString(const String& s) const;
    // Every match, left to right, without overlap (an empty match moves on by one character).
    rt::Ref<Array> matchesInString(const String& s, Range range) const;
    std::size_t numberOfMatchesInString(const String& s, Range range) const;
    std::size_t numberOfMatchesInString(const String& s) const;
    // Each match replaced by the template, where $0-$9 stand for the groups and a backslash takes
    // the next character literally ("\\$").
    rt::Ref<String> stringByReplacingMatchesInString(const String& s, Range range,
                                                     std::string_view templ) const;
    rt::Ref<String> stringByReplacingMatchesInString(const String& s, std::string_view templ) const;

    std::string description() const override;

    struct Impl;

protected:
    ~RegularExpression() override;

private:
    RegularExpression(std::string pattern, std::unique_ptr<Impl> impl);

    std::string pattern_;
    std::unique_ptr<Impl> impl_;
};

} // namespace ns
