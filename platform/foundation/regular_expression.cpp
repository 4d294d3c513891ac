// GCC 12 reports false -Wmaybe-uninitialized hits inside <regex>'s std::function members when
// building with the sanitizers; the pragma must precede every include to cover those headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "platform/foundation/regular_expression.h"

#include <regex>

#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace ns {

RT_DEFINE_CLASS(TextCheckingResult, "NSTextCheckingResult", rt::Object)
RT_DEFINE_CLASS(RegularExpression, "NSRegularExpression", rt::Object)

struct RegularExpression::Impl {
    std::wregex re;
};

namespace {

static_assert(sizeof(wchar_t) == 4, "code points must fit in a wchar_t");

bool isHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The units of `range` as code points (lone surrogates kept as themselves), with the UTF-16 offset
// of every code point from the start of the string (and one past the last).
struct Subject {
    std::wstring text;
    std::vector<std::size_t> offsets;

    Subject(const String& s, Range range) {
        if (range.location > s.length() || range.length > s.length() - range.location)
            raise(RangeException, "NSRegularExpression: range {" + std::to_string(range.location) + ", " +
                                      std::to_string(range.length) + "} out of bounds; string length " +
                                      std::to_string(s.length()));
        const std::u16string u = s.utf16();
        const std::size_t end = range.max();
        for (std::size_t i = range.location; i < end;) {
            offsets.push_back(i);
            char32_t c = u[i];
            if (isHigh(u[i]) && i + 1 < end && isLow(u[i + 1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
                i += 2;
            } else {
                ++i;
            }
            text.push_back(static_cast<wchar_t>(c));
        }
        offsets.push_back(end);
    }

    Range rangeOf(const std::wsmatch& m, std::size_t group) const {
        if (!m[group].matched) return {NotFound, 0};
        const auto b = static_cast<std::size_t>(m.position(group));
        const auto e = b + static_cast<std::size_t>(m.length(group));
        return {offsets[b], offsets[e] - offsets[b]};
    }
};

// Calls `each` for every match until it returns false. False when matching failed.
template <class F> bool forEachMatch(const std::wregex& re, const std::wstring& text, F each) {
    try {
        for (std::wsregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
            if (!each(*it)) break;
        return true;
    } catch (const std::regex_error& e) {
        logLine(std::string("NSRegularExpression: matching stopped: ") + e.what());
        return false;
    }
}

} // namespace

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
    // The pattern as code points (it is UTF-8).
    const std::u16string u = String::make(pattern)->utf16();
    std::wstring wide;
    for (std::size_t i = 0; i < u.size(); ++i) {
        char32_t c = u[i];
        if (isHigh(u[i]) && i + 1 < u.size() && isLow(u[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
        wide.push_back(static_cast<wchar_t>(c));
    }
    auto impl = std::make_unique<Impl>();
    auto flags = std::regex_constants::ECMAScript;
    if (caseInsensitive) flags |= std::regex_constants::icase;
    try {
        impl->re = std::wregex(wide, flags);
    } catch (const std::regex_error& e) {
        if (error) {
            auto info = MutableDictionary::make();
            info->setObjectForKey(String::make(pattern), "NSInvalidValue");
            info->setObjectForKey(
                String::make(std::string("The value \u201c") + std::string(pattern) + "\u201d is invalid."),
                LocalizedDescriptionKey);
            info->setObjectForKey(String::make(e.what()), DebugDescriptionErrorKey);
            *error = Error::make(CocoaErrorDomain, FormattingError, info);
        }
        return nullptr;
    }
    return rt::make<RegularExpression>(std::string(pattern), std::move(impl));
}

std::size_t RegularExpression::numberOfCaptureGroups() const {
    return impl_->re.mark_count();
}

rt::Ref<TextCheckingResult> RegularExpression::firstMatchInString(const String& s, Range range) const {
    const Subject subject(s, range);
    rt::Ref<TextCheckingResult> result;
    forEachMatch(impl_->re, subject.text, [&](const std::wsmatch& m) {
        std::vector<Range> ranges;
        for (std::size_t g = 0; g < m.size(); ++g)
            ranges.push_back(subject.rangeOf(m, g));
        result = rt::make<TextCheckingResult>(std::move(ranges));
        return false;
    });
    return result;
}

rt::Ref<TextCheckingResult> RegularExpression::firstMatchInString(const String& s) const {
    return firstMatchInString(s, {0, s.length()});
}

rt::Ref<Array> RegularExpression::matchesInString(const String& s, Range range) const {
    const Subject subject(s, range);
    std::vector<rt::Id> out;
    forEachMatch(impl_->re, subject.text, [&](const std::wsmatch& m) {
        std::vector<Range> ranges;
        for (std::size_t g = 0; g < m.size(); ++g)
            ranges.push_back(subject.rangeOf(m, g));
        out.push_back(rt::make<TextCheckingResult>(std::move(ranges)));
        return true;
    });
    return Array::make(std::move(out));
}

std::size_t RegularExpression::numberOfMatchesInString(const String& s, Range range) const {
    const Subject subject(s, range);
    std::size_t n = 0;
    forEachMatch(impl_->re, subject.text, [&](const std::wsmatch&) {
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
    const Subject subject(s, range);
    const std::u16string units = s.utf16();
    const std::u16string t = String::make(templ)->utf16();
    std::u16string out = units.substr(0, range.location);
    std::size_t copied = range.location; // units of `s` already in `out`
    forEachMatch(impl_->re, subject.text, [&](const std::wsmatch& m) {
        const Range whole = subject.rangeOf(m, 0);
        out.append(units, copied, whole.location - copied);
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == u'\\' && i + 1 < t.size()) {
                out.push_back(t[++i]);
            } else if (t[i] == u'$' && i + 1 < t.size() && t[i + 1] >= u'0' && t[i + 1] <= u'9') {
                const std::size_t g = t[++i] - u'0';
                if (g < m.size()) {
                    const Range r = subject.rangeOf(m, g);
                    if (r.location != NotFound) out.append(units, r.location, r.length);
                }
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
