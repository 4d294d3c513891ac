#include "platform/foundation/format.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/utf8.h"

namespace ns {

namespace {

using rt::appendUTF8;

// Widths and precisions beyond this are clamped: format text must not be able to demand
// gigabytes of padding.
constexpr int kMaxWidth = 4096;

enum class Length : std::uint8_t { None, Char, Short, Other };

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = -1;     // none
    int precision = -1; // none
    Length length = Length::None;
    char conversion = 0;
};

// A numeric reading of an argument.
struct Numeric {
    enum class Kind : std::uint8_t { None, Signed, Unsigned, Double } kind = Kind::None;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    std::size_t size = 8;   // bytes of the integer it came from
    bool ownDouble = false; // `d` is the value's floating reading, whatever `kind` says
};

Numeric numericOf(const FormatArg& arg) {
    Numeric n;
    using K = FormatArg::Kind;
    switch (arg.kind()) {
    case K::Signed:
        n.kind = Numeric::Kind::Signed;
        n.i = arg.signedValue();
        n.size = arg.size();
        break;
    case K::Unsigned:
        n.kind = Numeric::Kind::Unsigned;
        n.u = arg.unsignedValue();
        n.size = arg.size();
        break;
    case K::Bool:
        n.kind = Numeric::Kind::Signed;
        n.i = arg.boolValue();
        n.size = 1;
        break;
    case K::Char:
        n.kind = Numeric::Kind::Unsigned;
        n.u = arg.charValue();
        n.size = arg.size();
        break;
    case K::Double:
        n.kind = Numeric::Kind::Double;
        n.d = arg.doubleValue();
        break;
    case K::Pointer:
        n.kind = Numeric::Kind::Unsigned;
        n.u = reinterpret_cast<std::uintptr_t>(arg.pointer());
        break;
    case K::Object: {
        const rt::Object* o = arg.object();
        if (!o) {
            n.kind = Numeric::Kind::Signed; // nil reads as zero
            break;
        }
        if (auto* num = dynamic_cast<const Number*>(o)) {
            n.size = num->size();
            if (num->isFloatingPoint()) {
                n.kind = Numeric::Kind::Double;
                n.d = num->doubleValue();
            } else if (num->kind() >= Number::Kind::UChar) {
                n.kind = Numeric::Kind::Unsigned;
                n.u = num->unsignedLongLongValue();
            } else {
                n.kind = Numeric::Kind::Signed;
                n.i = num->longLongValue();
            }
        } else if (auto* v = dynamic_cast<const rt::NumericValue*>(o)) {
            // Other objects that read as numbers (strings) give each reading its own parse.
            n.kind = Numeric::Kind::Signed;
            n.i = v->longLongValue();
            n.d = v->doubleValue();
            n.ownDouble = true;
        }
        break;
    }
    case K::CString:
    case K::Text: break;
    }
    return n;
}

double asDouble(const Numeric& n) {
    switch (n.kind) {
    case Numeric::Kind::Double: return n.d;
    case Numeric::Kind::Unsigned: return static_cast<double>(n.u);
    case Numeric::Kind::Signed: return n.ownDouble ? n.d : static_cast<double>(n.i);
    case Numeric::Kind::None: break;
    }
    return 0;
}

long long truncated(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return std::numeric_limits<long long>::max();
    if (d <= -9.2233720368547758e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(d);
}


std::string hexAddress(std::uintptr_t v) {
    char buf[2 + 2 * sizeof v];
    buf[0] = '0';
    buf[1] = 'x';
    auto r = std::to_chars(buf + 2, buf + sizeof buf, v, 16);
    return std::string(buf, r.ptr);
}

template <class T>
std::string decimal(T v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// What %@ prints for an argument.
std::string naturalText(const FormatArg& arg) {
    using K = FormatArg::Kind;
    switch (arg.kind()) {
    case K::Object: return arg.object() ? arg.object()->description() : "(null)";
    case K::CString: return arg.cstring() ? arg.cstring() : "(null)";
    case K::Text: return std::string(arg.text());
    case K::Bool: return arg.boolValue() ? "YES" : "NO";
    case K::Signed: return decimal(arg.signedValue());
    case K::Unsigned: return decimal(arg.unsignedValue());
    case K::Char: {
        std::string s;
        appendUTF8(s, arg.charValue());
        return s;
    }
    case K::Double:
        return arg.size() == 4 ? decimal(static_cast<float>(arg.doubleValue())) : decimal(arg.doubleValue());
    case K::Pointer: return hexAddress(reinterpret_cast<std::uintptr_t>(arg.pointer()));
    }
    return {};
}

// The prefix of `s` holding at most `count` code points.
std::string_view firstCodePoints(std::string_view s, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == count) return s.substr(0, i);
            ++seen;
        }
    }
    return s;
}

// C locale for the duration of a conversion, so the decimal point is always '.'.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        if (c) previous_ = uselocale(c);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_ = locale_t(nullptr);
};

class Formatter {
public:
    // `quotes`: each object's text is a text the line quotes whole (ns::maskedQuote), as a log line's.
    Formatter(std::string_view fmt, std::span<const FormatArg> args, bool quotes = false)
        : fmt_(fmt), args_(args), quotes_(quotes) {}

    std::string run() {
        out_.reserve(fmt_.size() + 8 * args_.size());
        std::size_t i = 0;
        while (i < fmt_.size()) {
            const std::size_t pct = fmt_.find('%', i);
            if (pct == std::string_view::npos) {
                out_.append(fmt_.substr(i));
                break;
            }
            out_.append(fmt_.substr(i, pct - i));
            i = conversion(pct);
        }
        return std::move(out_);
    }

private:
    // Reads a decimal number at i (clamped); -1 when there are no digits.
    int number(std::size_t& i) const {
        if (i >= fmt_.size() || fmt_[i] < '0' || fmt_[i] > '9') return -1;
        long v = 0;
        while (i < fmt_.size() && fmt_[i] >= '0' && fmt_[i] <= '9') {
            if (v <= kMaxWidth) v = v * 10 + (fmt_[i] - '0');
            ++i;
        }
        return static_cast<int>(v);
    }

    // "n$" at i: the 0-based argument index, advancing past it; -1 (and no advance) otherwise.
    int position(std::size_t& i) const {
        std::size_t j = i;
        const int n = number(j);
        if (n < 1 || j >= fmt_.size() || fmt_[j] != '$') return -1;
        i = j + 1;
        return n - 1;
    }

    const FormatArg* take(int position) {
        const std::size_t index = position >= 0 ? static_cast<std::size_t>(position) : next_++;
        return index < args_.size() ? &args_[index] : nullptr;
    }

    // The value of a * width or precision; false when the argument is missing or not a number.
    bool starValue(int position, long long& v) {
        const FormatArg* arg = take(position);
        if (!arg) return false;
        const Numeric n = numericOf(*arg);
        if (n.kind == Numeric::Kind::None) return false;
        v = n.kind == Numeric::Kind::Double
                ? truncated(n.d)
                : (n.kind == Numeric::Kind::Unsigned
                       ? static_cast<long long>(std::min<unsigned long long>(n.u, kMaxWidth))
                       : n.i);
        return true;
    }

    // Parses and renders the conversion starting at fmt_[start] == '%'; returns where to resume.
    std::size_t conversion(std::size_t start) {
        std::size_t i = start + 1;
        if (i < fmt_.size() && fmt_[i] == '%') {
            out_.push_back('%');
            return i + 1;
        }
        Spec spec;
        const int argPosition = position(i);
        for (; i < fmt_.size(); ++i) {
            const char c = fmt_[i];
            if (c == '-') spec.left = true;
            else if (c == '+') spec.plus = true;
            else if (c == ' ') spec.space = true;
            else if (c == '0') spec.zero = true;
            else if (c == '#') spec.alt = true;
            else if (c == '\'') continue; // digit grouping: accepted, not applied
            else break;
        }
        bool widthFromArg = false, precisionFromArg = false;
        int widthPosition = -1, precisionPosition = -1;
        if (i < fmt_.size() && fmt_[i] == '*') {
            ++i;
            widthFromArg = true;
            widthPosition = position(i);
        } else {
            spec.width = number(i);
        }
        if (i < fmt_.size() && fmt_[i] == '.') {
            ++i;
            if (i < fmt_.size() && fmt_[i] == '*') {
                ++i;
                precisionFromArg = true;
                precisionPosition = position(i);
            } else {
                spec.precision = std::max(number(i), 0);
            }
        }
        i = lengthModifier(i, spec);
        if (i >= fmt_.size() || !isConversion(fmt_[i])) {
            out_.append(fmt_.substr(start, i - start)); // malformed: copied as written
            return i;
        }
        spec.conversion = fmt_[i++];

        // Arguments are taken in order: width, precision, value.
        long long v;
        if (widthFromArg && starValue(widthPosition, v)) {
            if (v < 0) {
                spec.left = true;
                v = v == std::numeric_limits<long long>::min() ? kMaxWidth : -v;
            }
            spec.width = static_cast<int>(std::min<long long>(v, kMaxWidth));
        }
        if (precisionFromArg) {
            spec.precision = starValue(precisionPosition, v) && v >= 0
                                 ? static_cast<int>(std::min<long long>(v, kMaxWidth))
                                 : -1;
        }
        const FormatArg* arg = take(argPosition);
        if (arg) render(spec, *arg);
        return i;
    }

    std::size_t lengthModifier(std::size_t i, Spec& spec) const {
        if (i >= fmt_.size()) return i;
        const char c = fmt_[i];
        if (c == 'h') {
            if (i + 1 < fmt_.size() && fmt_[i + 1] == 'h') {
                spec.length = Length::Char;
                return i + 2;
            }
            spec.length = Length::Short;
            return i + 1;
        }
        if (c == 'l') {
            spec.length = Length::Other;
            return i + 1 < fmt_.size() && fmt_[i + 1] == 'l' ? i + 2 : i + 1;
        }
        if (c == 'q' || c == 'L' || c == 'z' || c == 'j' || c == 't') {
            spec.length = Length::Other;
            return i + 1;
        }
        return i;
    }

    static bool isConversion(char c) {
        return c != '\0' && std::strchr("@diuxXocCsSfFeEgGaApDUO", c) != nullptr;
    }

    void render(Spec& spec, const FormatArg& arg) {
        char c = spec.conversion;
        if (c == 'D') c = 'd';
        else if (c == 'U') c = 'u';
        else if (c == 'O') c = 'o';
        switch (c) {
        case '@':
            if (quotes_ && arg.kind() == FormatArg::Kind::Object)
                return renderText(spec, maskedQuote(naturalText(arg)));
            return renderText(spec, naturalText(arg));
        case 's':
        case 'S': return renderText(spec, naturalText(arg));
        case 'p': return renderPointer(spec, arg);
        default: break;
        }
        const Numeric n = numericOf(arg);
        if (n.kind == Numeric::Kind::None) return renderText(spec, naturalText(arg));
        switch (c) {
        case 'c':
        case 'C': {
            std::string s;
            const long long cp = n.kind == Numeric::Kind::Double ? truncated(n.d)
                                 : n.kind == Numeric::Kind::Unsigned
                                     ? static_cast<long long>(std::min<unsigned long long>(n.u, 0x7FFFFFFF))
                                     : n.i;
            appendUTF8(s, cp < 0 ? 0xFFFD : static_cast<char32_t>(std::min<long long>(cp, 0x7FFFFFFF)));
            spec.precision = -1;
            return renderText(spec, s);
        }
        case 'd':
        case 'i': return renderSigned(spec, n);
        case 'u':
        case 'x':
        case 'X':
        case 'o': return renderUnsigned(spec, c, n);
        default: return renderDouble(spec, c, asDouble(n));
        }
    }

    void renderText(const Spec& spec, std::string_view text) {
        if (spec.precision >= 0) text = firstCodePoints(text, static_cast<std::size_t>(spec.precision));
        const std::size_t count = spec.width > 0 ? rt::codePointCount(text) : 0;
        const std::size_t pad =
            spec.width > 0 && count < static_cast<std::size_t>(spec.width) ? spec.width - count : 0;
        if (!spec.left) out_.append(pad, ' ');
        out_.append(text);
        if (spec.left) out_.append(pad, ' ');
    }

    void renderPointer(Spec& spec, const FormatArg& arg) {
        std::uintptr_t address = 0;
        using K = FormatArg::Kind;
        switch (arg.kind()) {
        case K::Object: address = reinterpret_cast<std::uintptr_t>(arg.object()); break;
        case K::CString: address = reinterpret_cast<std::uintptr_t>(arg.cstring()); break;
        case K::Text: address = reinterpret_cast<std::uintptr_t>(arg.text().data()); break;
        case K::Pointer: address = reinterpret_cast<std::uintptr_t>(arg.pointer()); break;
        default: {
            const Numeric n = numericOf(arg);
            address = n.kind == Numeric::Kind::Unsigned ? n.u : static_cast<std::uintptr_t>(n.i);
        }
        }
        spec.precision = -1;
        renderText(spec, hexAddress(address));
    }

    void renderSigned(const Spec& spec, const Numeric& n) {
        if (n.kind == Numeric::Kind::Unsigned &&
            n.u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()) &&
            spec.length != Length::Char && spec.length != Length::Short)
            return renderInteger(spec, 'u', n.u);
        long long v = n.kind == Numeric::Kind::Double     ? truncated(n.d)
                      : n.kind == Numeric::Kind::Unsigned ? static_cast<long long>(n.u)
                                                          : n.i;
        if (spec.length == Length::Char) v = static_cast<signed char>(v);
        else if (spec.length == Length::Short) v = static_cast<short>(v);
        renderInteger(spec, 'd', v);
    }

    void renderUnsigned(const Spec& spec, char c, const Numeric& n) {
        unsigned long long v;
        if (n.kind == Numeric::Kind::Unsigned) {
            v = n.u;
        } else {
            const long long s = n.kind == Numeric::Kind::Double ? truncated(n.d) : n.i;
            v = static_cast<unsigned long long>(s);
            // A negative value reads at its own width, as the same bits in an unsigned type.
            if (s < 0 && n.size > 0 && n.size < 8) v &= (1ull << (8 * n.size)) - 1;
        }
        if (spec.length == Length::Char) v = static_cast<unsigned char>(v);
        else if (spec.length == Length::Short) v = static_cast<unsigned short>(v);
        renderInteger(spec, c, v);
    }

    // Builds "%<flags>*.*ll<c>" (never from the caller's text) and renders one value with it.
    template <class T>
    void renderInteger(const Spec& spec, char c, T v) {
        char f[16];
        std::size_t k = buildSpec(f, spec);
        f[k++] = 'l';
        f[k++] = 'l';
        f[k++] = c;
        f[k] = '\0';
        print(f, spec, v);
    }

    void renderDouble(const Spec& spec, char c, double v) {
        char f[16];
        std::size_t k = buildSpec(f, spec);
        f[k++] = c;
        f[k] = '\0';
        CLocaleScope locale;
        print(f, spec, v);
    }

    static std::size_t buildSpec(char* f, const Spec& spec) {
        std::size_t k = 0;
        f[k++] = '%';
        if (spec.left) f[k++] = '-';
        if (spec.plus) f[k++] = '+';
        if (spec.space) f[k++] = ' ';
        if (spec.zero) f[k++] = '0';
        if (spec.alt) f[k++] = '#';
        f[k++] = '*';
        f[k++] = '.';
        f[k++] = '*';
        return k;
    }

    template <class T>
    void print(const char* f, const Spec& spec, T v) {
        const int width = std::max(spec.width, 0);
        // A negative precision through * means "none", as if it were not given.
        const int precision = spec.precision;
        char buf[128];
        const int n = std::snprintf(buf, sizeof buf, f, width, precision, v);
        if (n < 0) return;
        if (static_cast<std::size_t>(n) < sizeof buf) {
            out_.append(buf, static_cast<std::size_t>(n));
            return;
        }
        const std::size_t at = out_.size();
        out_.resize(at + static_cast<std::size_t>(n) + 1);
        std::snprintf(out_.data() + at, static_cast<std::size_t>(n) + 1, f, width, precision, v);
        out_.resize(at + static_cast<std::size_t>(n));
    }

    std::string_view fmt_;
    std::span<const FormatArg> args_;
    bool quotes_;
    std::size_t next_ = 0;
    std::string out_;
};

} // namespace

std::string formatv(std::string_view fmt, std::span<const FormatArg> args) {
    return Formatter(fmt, args).run();
}

void logv(std::string_view fmt, std::span<const FormatArg> args) {
    logLine(Formatter(fmt, args, true).run());
}

} // namespace ns
