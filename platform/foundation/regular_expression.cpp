#define PCRE2_CODE_UNIT_WIDTH 16
#include "platform/foundation/regular_expression.h"

#include <pcre2.h>

#include "platform/foundation/coder.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(TextCheckingResult, "NSTextCheckingResult", rt::Object, adoptsCoding())
RT_DEFINE_CLASS(RegularExpression, "NSRegularExpression", rt::Object)

namespace {

// Limits of one match attempt: steps of the matcher, and nested backtracking points. Enough for
// any reasonable pattern over a long text; a pattern that backtracks without end stops in
// milliseconds.
constexpr std::uint32_t kMatchLimit = 1'000'000;
constexpr std::uint32_t kDepthLimit = 1'000'000;
// Compiled patterns run on a stack of their own, per thread, that grows to this size; a match that
// needs more runs again in the interpreter, whose backtracking lives on the heap.
constexpr std::size_t kJITStackLimit = 8 << 20;

// The units of a string as the matcher reads them.
PCRE2_SPTR units(const std::u16string& s) {
    return reinterpret_cast<PCRE2_SPTR>(s.data());
}

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    const int n = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    return n < 0 ? "error " + std::to_string(code)
                 : String::fromUTF16(std::u16string_view(reinterpret_cast<const char16_t*>(buffer),
                                                         static_cast<std::size_t>(n)))
                       ->utf8();
}

// Per thread: the match context with the limits, and the stack compiled patterns run on.
struct ThreadMatcher {
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_jit_stack* jitStack = pcre2_jit_stack_create(32 * 1024, kJITStackLimit, nullptr);

    ThreadMatcher() {
        pcre2_set_match_limit(context, kMatchLimit);
        pcre2_set_depth_limit(context, kDepthLimit);
        if (jitStack) pcre2_jit_stack_assign(context, nullptr, jitStack);
    }
    ~ThreadMatcher() {
        pcre2_jit_stack_free(jitStack);
        pcre2_match_context_free(context);
    }
    static pcre2_match_context* current() {
        thread_local ThreadMatcher matcher;
        return matcher.context;
    }
};

} // namespace

struct RegularExpression::Impl {
    pcre2_code* code = nullptr;
    std::uint32_t groups = 0;
    ~Impl() { pcre2_code_free(code); }

    // Calls `each` with the ranges of every match in `range` of `text` until it returns false. A match that
    // runs into the limits ends the search, as no match, and is logged.
    template <class F>
    void forEachMatch(const std::string& pattern, const std::u16string& text, Range range, F each) const {
        struct Data {
            pcre2_match_data* d;
            ~Data() { pcre2_match_data_free(d); }
        } data{pcre2_match_data_create_from_pattern(code, nullptr)};
        if (!data.d) return;
        const PCRE2_SPTR subject = units(text) + range.location;
        std::size_t start = 0;
        std::vector<Range> ranges;
        while (start <= range.length) {
            int rc = pcre2_match(code, subject, range.length, start, 0, data.d, ThreadMatcher::current());
            if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
                rc = pcre2_match(code, subject, range.length, start, PCRE2_NO_JIT, data.d,
                                 ThreadMatcher::current());
            if (rc == PCRE2_ERROR_NOMATCH) return;
            if (rc < 0) {
                logLine("NSRegularExpression: matching " + pattern + " stopped: " + errorText(rc) +
                        "; counted as no match");
                return;
            }
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.d);
            const std::uint32_t pairs = pcre2_get_ovector_count(data.d);
            ranges.clear();
            for (std::uint32_t g = 0; g <= groups; ++g) {
                if (g >= pairs || ov[2 * g] == PCRE2_UNSET)
                    ranges.push_back({NotFound, 0});
                else
                    ranges.push_back({range.location + ov[2 * g], ov[2 * g + 1] - ov[2 * g]});
            }
            if (!each(std::move(ranges))) return;
            ranges = {};
            start = ov[1];
            if (ov[1] == ov[0]) {
                // An empty match: the next one starts a whole character later.
                const std::size_t at = range.location + start;
                const bool pair = at + 1 < text.size() && text[at] >= 0xD800 && text[at] <= 0xDBFF &&
                                  text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF &&
                                  start + 1 < range.length;
                start += pair ? 2 : 1;
            }
        }
    }
};

namespace {

// The units of `s`, after checking that `range` lies within it.
std::u16string subjectOf(const String& s, Range range) {
    if (range.location > s.length() || range.length > s.length() - range.location)
        raise(RangeException, "NSRegularExpression: range {" + std::to_string(range.location) + ", " +
                                  std::to_string(range.length) + "} out of bounds; string length " +
                                  std::to_string(s.length()));
    return s.utf16();
}

// Quantifiers that follow a quantifier ("a**", "a{2}{3}") are refused, as the matcher itself
// refuses them; this names them in the error.
bool stacked(const std::string& message) {
    return message.find("quantifier does not follow a repeatable item") != std::string::npos;
}

} // namespace

TextCheckingResult::TextCheckingResult(std::vector<Range> ranges) : ranges_(std::move(ranges)) {}
TextCheckingResult::TextCheckingResult(std::uint64_t type, Range range) : ranges_{range}, type_(type) {}
TextCheckingResult::~TextCheckingResult() = default;

void TextCheckingResult::encodeWithCoder(Coder& coder) const {
    auto ranges = MutableArray::make();
    for (const Range& range : ranges_) {
        ranges->addObject(Number::withUnsignedLongLong(range.location));
        ranges->addObject(Number::withUnsignedLongLong(range.length));
    }
    coder.encodeInt64(static_cast<std::int64_t>(type_), "NSResultType");
    coder.encodeObject(ranges, "NSRanges");
    if (url_) coder.encodeObject(url_->absoluteString(), "NSURL");
    if (components_) coder.encodeObject(components_, "NSComponents");
    if (phoneNumber_) coder.encodeObject(phoneNumber_, "NSPhoneNumber");
    if (date_) coder.encodeObject(date_, "NSDate");
    if (timeZone_) coder.encodeObject(timeZone_->name(), "NSTimeZone");
    coder.encodeDouble(duration_, "NSDuration");
}

rt::Id TextCheckingResult::initWithCoder(Coder& coder) {
    auto ranges = coder.decodeObjectOfClass<Array>("NSRanges");
    if (!ranges || ranges->count() == 0 || ranges->count() % 2 != 0) return nullptr;
    std::vector<Range> list;
    for (std::size_t i = 0; i < ranges->count(); i += 2) {
        auto location = rt::cast<Number>(ranges->objectAtIndex(i));
        auto length = rt::cast<Number>(ranges->objectAtIndex(i + 1));
        if (!location || !length) return nullptr;
        list.push_back({static_cast<std::size_t>(location->unsignedLongLongValue()),
                        static_cast<std::size_t>(length->unsignedLongLongValue())});
    }
    ranges_ = std::move(list);
    type_ = static_cast<std::uint64_t>(coder.decodeInt64("NSResultType"));
    if (auto url = coder.decodeObjectOfClass<String>("NSURL")) url_ = URL::URLWithString(url);
    components_ = coder.decodeObjectOfClass<Dictionary>("NSComponents");
    phoneNumber_ = coder.decodeObjectOfClass<String>("NSPhoneNumber");
    date_ = coder.decodeObjectOfClass<Date>("NSDate");
    if (auto zone = coder.decodeObjectOfClass<String>("NSTimeZone")) timeZone_ = TimeZone::timeZoneWithName(zone->utf8());
    duration_ = coder.decodeDouble("NSDuration");
    return rt::retained(this);
}

rt::Ref<TextCheckingResult> TextCheckingResult::checkingResult(std::uint64_t type, Range range) {
    return rt::make<TextCheckingResult>(type, range);
}
rt::Ref<TextCheckingResult> TextCheckingResult::linkCheckingResult(Range range, rt::Ref<ns::URL> url) {
    auto result = checkingResult(TextCheckingType::Link, range);
    result->url_ = std::move(url);
    return result;
}
rt::Ref<TextCheckingResult> TextCheckingResult::addressCheckingResult(Range range, rt::Ref<Dictionary> components) {
    auto result = checkingResult(TextCheckingType::Address, range);
    result->components_ = std::move(components);
    return result;
}
rt::Ref<TextCheckingResult> TextCheckingResult::phoneNumberCheckingResult(Range range, rt::Ref<String> phoneNumber) {
    auto result = checkingResult(TextCheckingType::PhoneNumber, range);
    result->phoneNumber_ = std::move(phoneNumber);
    return result;
}
rt::Ref<TextCheckingResult> TextCheckingResult::dateCheckingResult(Range range, rt::Ref<Date> date) {
    return dateCheckingResult(range, std::move(date), nullptr, 0);
}
rt::Ref<TextCheckingResult> TextCheckingResult::dateCheckingResult(Range range, rt::Ref<Date> date,
                                                                   rt::Ref<TimeZone> timeZone, double duration) {
    auto result = checkingResult(TextCheckingType::Date, range);
    result->date_ = std::move(date);
    result->timeZone_ = std::move(timeZone);
    result->duration_ = duration;
    return result;
}
rt::Ref<TextCheckingResult> TextCheckingResult::transitInformationCheckingResult(Range range,
                                                                                 rt::Ref<Dictionary> components) {
    auto result = checkingResult(TextCheckingType::TransitInformation, range);
    result->components_ = std::move(components);
    return result;
}

Range TextCheckingResult::rangeAtIndex(std::size_t index) const {
    if (index >= ranges_.size())
        raise(RangeException, "NSTextCheckingResult: index " + std::to_string(index) + " beyond " +
                                  std::to_string(ranges_.size()) + " ranges");
    return ranges_[index];
}

RegularExpression::RegularExpression(std::string pattern, std::unique_ptr<Impl> impl)
    : pattern_(std::move(pattern)), impl_(std::move(impl)) {}

RegularExpression::~RegularExpression() = default;

rt::Ref<RegularExpression> RegularExpression::make(std::string_view pattern, bool caseInsensitive,
                                                   rt::Ref<Error>* error) {
    const std::u16string u = String::make(pattern)->utf16();
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_DOLLAR_ENDONLY;
    if (caseInsensitive) options |= PCRE2_CASELESS;
    int code = 0;
    PCRE2_SIZE offset = 0;
    auto impl = std::make_unique<Impl>();
    impl->code = pcre2_compile(units(u), u.size(), options, &code, &offset, nullptr);
    if (!impl->code) {
        if (error) {
            std::string message = errorText(code);
            if (stacked(message)) message = "stacked quantifiers: " + message;
            auto info = MutableDictionary::make();
            info->setObjectForKey(String::make(pattern), "NSInvalidValue");
            info->setObjectForKey(
                String::make(std::string("The value \u201c") + std::string(pattern) + "\u201d is invalid."),
                LocalizedDescriptionKey);
            info->setObjectForKey(String::make(message + " at offset " + std::to_string(offset)),
                                  DebugDescriptionErrorKey);
            *error = Error::make(CocoaErrorDomain, FormattingError, info);
        }
        return nullptr;
    }
    pcre2_pattern_info(impl->code, PCRE2_INFO_CAPTURECOUNT, &impl->groups);
    pcre2_jit_compile(impl->code, PCRE2_JIT_COMPLETE); // the interpreter serves when this fails
    return rt::make<RegularExpression>(std::string(pattern), std::move(impl));
}

std::size_t RegularExpression::numberOfCaptureGroups() const {
    return impl_->groups;
}

rt::Ref<TextCheckingResult> RegularExpression::firstMatchInString(const String& s, Range range) const {
    const std::u16string text = subjectOf(s, range);
    rt::Ref<TextCheckingResult> result;
    impl_->forEachMatch(pattern_, text, range, [&](std::vector<Range>&& ranges) {
        result = rt::make<TextCheckingResult>(std::move(ranges));
        return false;
    });
    return result;
}

rt::Ref<TextCheckingResult> RegularExpression::firstMatchInString(const String& s) const {
    return firstMatchInString(s, {0, s.length()});
}

rt::Ref<Array> RegularExpression::matchesInString(const String& s, Range range) const {
    const std::u16string text = subjectOf(s, range);
    std::vector<rt::Id> out;
    impl_->forEachMatch(pattern_, text, range, [&](std::vector<Range>&& ranges) {
        out.push_back(rt::make<TextCheckingResult>(std::move(ranges)));
        return true;
    });
    return Array::make(std::move(out));
}

std::size_t RegularExpression::numberOfMatchesInString(const String& s, Range range) const {
    const std::u16string text = subjectOf(s, range);
    std::size_t n = 0;
    impl_->forEachMatch(pattern_, text, range, [&](std::vector<Range>&&) {
        ++n;
        return true;
    });
    return n;
}

std::size_t RegularExpression::numberOfMatchesInString(const String& s) const {
    return numberOfMatchesInString(s, {0, s.length()});
}

rt::Ref<String> RegularExpression::stringByReplacingMatchesInString(const String& s, Range range,
                                                                    std::string_view templ) const {
    const std::u16string units = subjectOf(s, range);
    const std::u16string t = String::make(templ)->utf16();
    std::u16string out = units.substr(0, range.location);
    std::size_t copied = range.location; // units of `s` already in `out`
    impl_->forEachMatch(pattern_, units, range, [&](std::vector<Range>&& groups) {
        const Range whole = groups[0];
        out.append(units, copied, whole.location - copied);
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == u'\\' && i + 1 < t.size()) {
                out.push_back(t[++i]);
            } else if (t[i] == u'$' && i + 1 < t.size() && t[i + 1] >= u'0' && t[i + 1] <= u'9') {
                const std::size_t g = t[++i] - u'0';
                if (g < groups.size() && groups[g].location != NotFound)
                    out.append(units, groups[g].location, groups[g].length);
            } else {
                out.push_back(t[i]);
            }
        }
        copied = whole.max();
        return true;
    });
    out.append(units, copied);
    return String::fromUTF16(out);
}

rt::Ref<String> RegularExpression::stringByReplacingMatchesInString(const String& s,
                                                                    std::string_view templ) const {
    return stringByReplacingMatchesInString(s, {0, s.length()}, templ);
}

std::string RegularExpression::description() const {
    return "<NSRegularExpression> " + pattern_ + " 0x0";
}

} // namespace ns
