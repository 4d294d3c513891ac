#include "platform/foundation/string.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/foundation/exception.h"
#include "platform/foundation/unit_search.h"
#include "platform/runtime/class.h"
#include "platform/runtime/utf8.h"

namespace ns {

RT_DEFINE_CLASS(String, "NSString", rt::Object)

namespace {

using rt::appendUTF8;

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// Length of the leading run of ASCII bytes, eight at a time where possible.
std::size_t asciiPrefix(std::string_view s) noexcept {
    std::size_t i = 0;
    const std::size_t n = s.size();
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

void appendUTF16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}


// UTF-8 of UTF-16 units; unpaired surrogates become U+FFFD.
std::string encodeUTF8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size() + units.size() / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (isHighSurrogate(u) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            u = kReplacement;
        }
        appendUTF8(out, u);
    }
    return out;
}

// UTF-16 of UTF-8 text (malformed sequences as U+FFFD).
std::u16string decodeToUTF16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    bool bad = false;
    for (std::size_t i = 0; i < utf8.size();)
        appendUTF16(out, rt::decodeUTF8(utf8, i, bad));
    return out;
}

// FNV-1a over UTF-16 units, with a final fold so the low bits depend on every unit. It never
// gives 0, which marks a String whose hash is not computed yet.
struct Hasher {
    std::uint64_t h = 14695981039346656037ull;
    void add(char16_t u) noexcept { h = (h ^ u) * 1099511628211ull; }
    void addCodePoint(char32_t cp) noexcept {
        if (cp < 0x10000) {
            add(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            add(static_cast<char16_t>(0xD800 + (cp >> 10)));
            add(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
    }
    std::size_t finish() const noexcept {
        const auto folded = static_cast<std::size_t>(h ^ (h >> 32));
        return folded != 0 ? folded : 1;
    }
};

// ---- Composed character sequences ---------------------------------------------------------------

enum class Cluster : std::uint8_t { Other, CR, LF, Control, Extend, ZWJ, RI, L, V, T, LV, LVT };

struct CodeRange {
    char32_t first, last;
};

// Marks that attach to the preceding character: combining diacritics, the non-spacing and spacing
// marks of the major scripts, variation selectors, emoji modifiers, tags, ZWNJ. Sorted.
constexpr CodeRange kExtend[] = {
    {0x0300, 0x036F},   {0x0483, 0x0489},   {0x0591, 0x05BD},   {0x05BF, 0x05BF},   {0x05C1, 0x05C2},
    {0x05C4, 0x05C5},   {0x05C7, 0x05C7},   {0x0610, 0x061A},   {0x064B, 0x065F},   {0x0670, 0x0670},
    {0x06D6, 0x06DC},   {0x06DF, 0x06E4},   {0x06E7, 0x06E8},   {0x06EA, 0x06ED},   {0x0711, 0x0711},
    {0x0730, 0x074A},   {0x07A6, 0x07B0},   {0x07EB, 0x07F3},   {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E},   {0x0EB1, 0x0EB1},   {0x0EB4, 0x0EBC},   {0x0EC8, 0x0ECE},   {0x0F18, 0x0F19},
    {0x0F35, 0x0F35},   {0x0F37, 0x0F37},   {0x0F39, 0x0F39},   {0x0F3E, 0x0F3F},   {0x0F71, 0x0F84},
    {0x0F86, 0x0F87},   {0x0F8D, 0x0FBC},   {0x102B, 0x103E},   {0x1056, 0x1059},   {0x105E, 0x1060},
    {0x1062, 0x1064},   {0x1067, 0x106D},   {0x1071, 0x1074},   {0x1082, 0x108D},   {0x108F, 0x108F},
    {0x109A, 0x109D},   {0x135D, 0x135F},   {0x17B4, 0x17D3},   {0x17DD, 0x17DD},   {0x180B, 0x180D},
    {0x180F, 0x180F},   {0x1885, 0x1886},   {0x18A9, 0x18A9},   {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},
    {0x200C, 0x200C},   {0x20D0, 0x20FF},   {0x302A, 0x302F},   {0x3099, 0x309A},   {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F},   {0xFF9E, 0xFF9F},   {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};

// Format characters that stand alone, like controls. Sorted.
constexpr CodeRange kControl[] = {
    {0x00AD, 0x00AD}, {0x061C, 0x061C}, {0x180E, 0x180E}, {0x200B, 0x200B}, {0x200E, 0x200F},
    {0x2028, 0x202E}, {0x2060, 0x206F}, {0xD800, 0xDFFF}, {0xFEFF, 0xFEFF}, {0xFFF0, 0xFFFB},
};

template <std::size_t N>
bool inRanges(const CodeRange (&table)[N], char32_t c) noexcept {
    const CodeRange* it =
        std::upper_bound(table, table + N, c, [](char32_t v, const CodeRange& r) { return v < r.first; });
    return it != table && c <= (it - 1)->last;
}

Cluster clusterClass(char32_t c) noexcept {
    if (c < 0x7F) {
        if (c >= 0x20) return Cluster::Other;
        return c == '\r' ? Cluster::CR : (c == '\n' ? Cluster::LF : Cluster::Control);
    }
    if (c <= 0x9F) return Cluster::Control;
    if (c < 0x0300) return c == 0xAD ? Cluster::Control : Cluster::Other;
    // Indic scripts (Devanagari to Malayalam) share one layout: signs at the start of each block,
    // dependent vowels and virama in the middle, a few more near the end.
    if (c >= 0x0900 && c < 0x0D80) {
        const unsigned off = (c - 0x0900) % 0x80;
        if (off <= 0x03 || (off >= 0x3A && off <= 0x3C) || (off >= 0x3E && off <= 0x4F) ||
            (off >= 0x51 && off <= 0x57) || off == 0x62 || off == 0x63)
            return Cluster::Extend;
        return Cluster::Other;
    }
    if (c >= 0x0D80 && c < 0x0E00) { // Sinhala
        if ((c >= 0x0D81 && c <= 0x0D83) || c == 0x0DCA || (c >= 0x0DCF && c <= 0x0DDF) || c == 0x0DF2 ||
            c == 0x0DF3)
            return Cluster::Extend;
        return Cluster::Other;
    }
    if (c >= 0x1100 && c <= 0x11FF) return c < 0x1160 ? Cluster::L : (c < 0x11A8 ? Cluster::V : Cluster::T);
    if (c >= 0xA960 && c <= 0xA97C) return Cluster::L;
    if (c >= 0xAC00 && c <= 0xD7A3) return (c - 0xAC00) % 28 == 0 ? Cluster::LV : Cluster::LVT;
    if (c >= 0xD7B0 && c <= 0xD7C6) return Cluster::V;
    if (c >= 0xD7CB && c <= 0xD7FB) return Cluster::T;
    if (c == 0x200D) return Cluster::ZWJ;
    if (c >= 0x1F1E6 && c <= 0x1F1FF) return Cluster::RI;
    if (inRanges(kExtend, c)) return Cluster::Extend;
    if (inRanges(kControl, c) || (c >= 0xE0000 && c <= 0xE0FFF)) return Cluster::Control;
    return Cluster::Other;
}

bool isControlLike(Cluster c) noexcept {
    return c == Cluster::CR || c == Cluster::LF || c == Cluster::Control;
}

bool hangulJoins(Cluster a, Cluster b) noexcept {
    using enum Cluster;
    if (a == L) return b == L || b == V || b == LV || b == LVT;
    if (a == V || a == LV) return b == V || b == T;
    if (a == T || a == LVT) return b == T;
    return false;
}

// True when there is a boundary between a and b whatever comes before a. Regional indicators
// pair up by count, so a break between two of them is never certain from the pair alone.
bool certainBreak(Cluster a, Cluster b) noexcept {
    if (a == Cluster::CR && b == Cluster::LF) return false;
    if (isControlLike(a) || isControlLike(b)) return true;
    if (b == Cluster::Extend || b == Cluster::ZWJ || a == Cluster::ZWJ) return false;
    if (a == Cluster::RI && b == Cluster::RI) return false;
    return !hangulJoins(a, b);
}

[[noreturn]] void rangeError(const char* method, std::string detail, std::size_t length) {
    raise(RangeException, std::string("-[NSString ") + method + "]: " + detail +
                              " out of bounds; string length " + std::to_string(length));
}

std::string rangeDescription(Range r) {
    return "Range {" + std::to_string(r.location) + ", " + std::to_string(r.length) + "}";
}

bool isSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The sign and digits after leading white space.
struct NumberText {
    bool negative = false;
    std::string_view digits; // may be empty
    std::size_t end = 0;     // index just past the digits
};

NumberText scanInteger(std::string_view s) noexcept {
    NumberText r;
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) r.negative = s[i++] == '-';
    const std::size_t start = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    r.digits = s.substr(start, i - start);
    r.end = i;
    return r;
}

// The magnitude of the digits, saturating; `overflow` tells whether it saturated.
unsigned long long magnitude(std::string_view digits, bool& overflow) noexcept {
    unsigned long long v = 0;
    overflow = false;
    for (char c : digits) {
        const unsigned d = static_cast<unsigned>(c - '0');
        if (v > (std::numeric_limits<unsigned long long>::max() - d) / 10) {
            overflow = true;
            return std::numeric_limits<unsigned long long>::max();
        }
        v = v * 10 + d;
    }
    return v;
}

} // namespace

// ---- Construction -------------------------------------------------------------------------------

rt::Ref<String> String::adoptASCII(std::string&& ascii) {
    if (ascii.empty()) return empty();
    return rt::make<String>(std::move(ascii));
}

rt::Ref<String> String::adoptUnits(std::u16string&& units, std::string* utf8) {
    if (units.empty()) return empty();
    bool ascii = true;
    for (char16_t u : units) {
        if (u >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return adoptASCII(std::string(units.begin(), units.end()));
    auto s = rt::make<String>();
    s->utf8_ = utf8 ? std::move(*utf8) : encodeUTF8(units);
    if (units.capacity() > units.size() + units.size() / 4 + 16) units.shrink_to_fit();
    s->utf16_ = std::move(units);
    s->finish();
    return s;
}

rt::Ref<String> String::make(std::string_view utf8) {
    const std::size_t prefix = asciiPrefix(utf8);
    if (prefix == utf8.size()) return utf8.empty() ? empty() : rt::make<String>(utf8);
    std::u16string units;
    units.reserve(utf8.size());
    units.assign(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(prefix));
    bool bad = false;
    for (std::size_t i = prefix; i < utf8.size();)
        appendUTF16(units, rt::decodeUTF8(utf8, i, bad));
    if (bad) return adoptUnits(std::move(units));
    std::string text(utf8);
    return adoptUnits(std::move(units), &text);
}

rt::Ref<String> String::fromUTF16(std::u16string_view units) { return adoptUnits(std::u16string(units)); }

rt::Ref<String> String::empty() {
    static String* const instance = [] {
        auto s = rt::make<String>();
        s->finish();
        rt::makeImmortal(*s);
        return s.detach();
    }();
    return instance;
}

void String::finish() {
    if (utf16_.empty()) {
        length_ = utf8_.size();
        return;
    }
    length_ = utf16_.size();
    for (std::size_t i = 0; i < length_; ++i) {
        const char16_t u = utf16_[i];
        if (isHighSurrogate(u) && i + 1 < length_ && isLowSurrogate(utf16_[i + 1])) {
            ++i;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            hasLoneSurrogate_ = true;
            return;
        }
    }
}

std::size_t String::computeHash() const noexcept {
    Hasher h;
    if (utf16_.empty()) {
        for (char c : utf8_) h.add(static_cast<unsigned char>(c));
    } else {
        for (char16_t u : utf16_) h.add(u);
    }
    const std::size_t value = h.finish();
    hash_.store(value, std::memory_order_relaxed);
    return value;
}

bool String::isValidUTF8(std::string_view bytes) noexcept {
    bool bad = false;
    for (std::size_t i = asciiPrefix(bytes); i < bytes.size() && !bad;)
        rt::decodeUTF8(bytes, i, bad);
    return !bad;
}

std::size_t String::hashOfUTF8(std::string_view utf8) noexcept {
    Hasher h;
    const std::size_t prefix = asciiPrefix(utf8);
    for (std::size_t i = 0; i < prefix; ++i) h.add(static_cast<unsigned char>(utf8[i]));
    bool bad = false;
    for (std::size_t i = prefix; i < utf8.size();)
        h.addCodePoint(rt::decodeUTF8(utf8, i, bad));
    return h.finish();
}

// ---- Access -------------------------------------------------------------------------------------

char16_t String::characterAtIndex(std::size_t index) const {
    if (index >= length_) rangeError("characterAtIndex:", "Index " + std::to_string(index), length_);
    return unitAt(index);
}

std::u16string String::utf16() const {
    if (!utf16_.empty()) return utf16_;
    return std::u16string(utf8_.begin(), utf8_.end());
}

rt::Ref<String> String::substringWithRange(Range range) const {
    if (range.location > length_ || range.length > length_ - range.location)
        rangeError("substringWithRange:", rangeDescription(range), length_);
    if (range.length == length_) return rt::retained(this);
    if (isASCII()) return adoptASCII(utf8_.substr(range.location, range.length));
    return adoptUnits(utf16_.substr(range.location, range.length));
}

rt::Ref<String> String::substringFromIndex(std::size_t index) const {
    if (index > length_) rangeError("substringFromIndex:", "Index " + std::to_string(index), length_);
    return substringWithRange({index, length_ - index});
}

rt::Ref<String> String::substringToIndex(std::size_t index) const {
    if (index > length_) rangeError("substringToIndex:", "Index " + std::to_string(index), length_);
    return substringWithRange({0, index});
}

// ---- Composed character sequences ---------------------------------------------------------------

char32_t String::codePointAt(std::size_t i, std::size_t& units) const noexcept {
    const char32_t u = unitAt(i);
    if (isHighSurrogate(u) && i + 1 < length_ && isLowSurrogate(unitAt(i + 1))) {
        units = 2;
        return 0x10000 + ((u - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
    }
    units = 1;
    return u;
}

char32_t String::codePointBefore(std::size_t i, std::size_t& units) const noexcept {
    const char32_t u = unitAt(i - 1);
    if (isLowSurrogate(u) && i >= 2 && isHighSurrogate(unitAt(i - 2))) {
        units = 2;
        return 0x10000 + ((unitAt(i - 2) - 0xD800) << 10) + (u - 0xDC00);
    }
    units = 1;
    return u;
}

std::size_t String::clusterEnd(std::size_t p) const noexcept {
    std::size_t n;
    Cluster first = clusterClass(codePointAt(p, n));
    std::size_t q = p + n;
    if (first == Cluster::CR) return q < length_ && unitAt(q) == '\n' ? q + 1 : q;
    if (isControlLike(first)) return q;
    if (first == Cluster::RI) {
        if (q < length_ && clusterClass(codePointAt(q, n)) == Cluster::RI) q += n;
    } else {
        for (Cluster prev = first; q < length_;) {
            const Cluster next = clusterClass(codePointAt(q, n));
            if (!hangulJoins(prev, next)) break;
            prev = next;
            q += n;
        }
    }
    while (q < length_) {
        const Cluster next = clusterClass(codePointAt(q, n));
        if (next == Cluster::Extend) {
            q += n;
        } else if (next == Cluster::ZWJ) {
            q += n; // the joiner binds the character after it, as in emoji sequences
            if (q < length_) {
                const Cluster joined = clusterClass(codePointAt(q, n));
                if (!isControlLike(joined) && joined != Cluster::Extend && joined != Cluster::ZWJ) q += n;
            }
        } else {
            break;
        }
    }
    return q;
}

Range String::rangeOfComposedCharacterSequenceAtIndex(std::size_t index) const {
    if (index >= length_)
        rangeError("rangeOfComposedCharacterSequenceAtIndex:", "Index " + std::to_string(index), length_);
    // Printable ASCII between ASCII neighbours stands alone (only marks and joiners, none of them
    // ASCII, hold on to a neighbour): the common case, answered at once.
    const auto isASCIIAt = [this](std::size_t i) { return unitAt(i) < 0x80; };
    if (const char16_t u = unitAt(index);
        u >= 0x20 && u < 0x7F && (index == 0 || isASCIIAt(index - 1)) && (index + 1 == length_ || isASCIIAt(index + 1)))
        return {index, 1};
    // Back up to a boundary that does not depend on earlier text, then walk forward. The back-scan
    // stops after kBackScan code points, so that walking a long run without certain breaks (flags,
    // marks) stays linear: a run of regional indicators is then paired from that point, which an
    // even bound keeps right whenever `index` starts a pair, as it does in a walk.
    constexpr int kBackScan = 64;
    std::size_t p = index;
    if (p > 0 && isLowSurrogate(unitAt(p)) && isHighSurrogate(unitAt(p - 1))) --p;
    for (int steps = 0; p > 0 && steps < kBackScan; ++steps) {
        std::size_t n, m;
        const Cluster before = clusterClass(codePointBefore(p, n));
        if (certainBreak(before, clusterClass(codePointAt(p, m)))) break;
        p -= n;
    }
    for (;;) {
        const std::size_t end = clusterEnd(p);
        if (end > index) return {p, end - p};
        p = end;
    }
}

Range String::rangeOfComposedCharacterSequencesForRange(Range range) const {
    if (range.location > length_ || range.length > length_ - range.location)
        rangeError("rangeOfComposedCharacterSequencesForRange:", rangeDescription(range), length_);
    if (range.location == length_) return {length_, 0};
    const std::size_t start = rangeOfComposedCharacterSequenceAtIndex(range.location).location;
    if (range.length == 0) return {start, 0};
    const Range last = rangeOfComposedCharacterSequenceAtIndex(range.max() - 1);
    return {start, last.max() - start};
}

// ---- Comparison ---------------------------------------------------------------------------------

bool String::isEqualToString(const String* other) const noexcept {
    if (!other) return false;
    if (other == this) return true;
    if (other->length_ != length_ || other->isASCII() != isASCII()) return false;
    // Hashes tell unequal strings apart cheaply, when both are known.
    const std::size_t mine = hash_.load(std::memory_order_relaxed),
                      theirs = other->hash_.load(std::memory_order_relaxed);
    if (mine != kUnhashed && theirs != kUnhashed && mine != theirs) return false;
    return isASCII() ? utf8_ == other->utf8_ : utf16_ == other->utf16_;
}

bool String::isEqualToString(std::string_view utf8) const noexcept {
    // Well-formed UTF-8 maps one to one onto UTF-16 without lone surrogates; malformed input
    // compares as the String it would make.
    if (isASCII() || (!hasLoneSurrogate_ && isValidUTF8(utf8))) return utf8 == utf8_;
    if (hashOfUTF8(utf8) != hash()) return false;
    try {
        return decodeToUTF16(utf8) == utf16_;
    } catch (...) { // allocation failure only
        return false;
    }
}

bool String::isEqual(const rt::Object* other) const {
    return isEqualToString(dynamic_cast<const String*>(other));
}

int String::compare(const String& other) const noexcept {
    int r;
    if (isASCII() && other.isASCII()) {
        r = utf8_.compare(other.utf8_);
    } else {
        r = 0;
        const std::size_t n = std::min(length_, other.length_);
        for (std::size_t i = 0; i < n && r == 0; ++i) {
            const char16_t a = unitAt(i), b = other.unitAt(i);
            if (a != b) r = a < b ? -1 : 1;
        }
        if (r == 0) r = length_ < other.length_ ? -1 : (length_ > other.length_ ? 1 : 0);
    }
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// ---- Searching ----------------------------------------------------------------------------------

Range String::rangeOfString(std::string_view utf8) const {
    constexpr Range none{NotFound, 0};
    if (utf8.empty()) return none;
    const bool asciiNeedle = asciiPrefix(utf8) == utf8.size();
    if (isASCII()) {
        if (!asciiNeedle) return none; // a non-ASCII needle has a unit no ASCII string has
        const std::size_t at = detail::findBytes(utf8_, utf8);
        return at == std::string::npos ? none : Range{at, utf8.size()};
    }
    const std::u16string needle =
        asciiNeedle ? std::u16string(utf8.begin(), utf8.end()) : decodeToUTF16(utf8);
    const std::size_t at = detail::UnitSearcher(needle).find(utf16_);
    return at == std::u16string::npos ? none : Range{at, needle.size()};
}

bool String::containsString(std::string_view utf8) const noexcept {
    try {
        return rangeOfString(utf8).location != NotFound;
    } catch (...) { // allocation failure only
        return false;
    }
}

bool String::hasPrefix(std::string_view utf8) const noexcept {
    if (utf8.empty()) return false;
    // Bytes decide when they are an exact image of the units (see isEqualToString).
    if (isASCII() || (!hasLoneSurrogate_ && isValidUTF8(utf8))) return utf8_.starts_with(utf8);
    try {
        return utf16_.starts_with(decodeToUTF16(utf8));
    } catch (...) {
        return false;
    }
}

bool String::hasSuffix(std::string_view utf8) const noexcept {
    if (utf8.empty()) return false;
    if (isASCII() || (!hasLoneSurrogate_ && isValidUTF8(utf8))) return utf8_.ends_with(utf8);
    try {
        return utf16_.ends_with(decodeToUTF16(utf8));
    } catch (...) {
        return false;
    }
}

rt::Ref<String> String::stringByAppendingString(std::string_view utf8) const {
    if (utf8.empty()) return rt::retained(this);
    if (isASCII()) return make(utf8_ + std::string(utf8));
    return adoptUnits(utf16_ + decodeToUTF16(utf8));
}

rt::Ref<String> String::stringByAppendingString(const String& other) const {
    if (other.length_ == 0) return rt::retained(this);
    if (length_ == 0) return rt::retained(&other);
    if (isASCII() && other.isASCII()) return adoptASCII(utf8_ + other.utf8_);
    return adoptUnits(utf16() + other.utf16());
}

// ---- Numbers ------------------------------------------------------------------------------------

long long String::longLongValue() const {
    const NumberText t = scanInteger(utf8_);
    bool overflow;
    const unsigned long long m = magnitude(t.digits, overflow);
    constexpr unsigned long long maxPositive = std::numeric_limits<long long>::max();
    if (t.negative) {
        if (m > maxPositive) return std::numeric_limits<long long>::min();
        return -static_cast<long long>(m);
    }
    return m > maxPositive ? std::numeric_limits<long long>::max() : static_cast<long long>(m);
}

unsigned long long String::unsignedLongLongValue() const {
    const NumberText t = scanInteger(utf8_);
    if (t.negative) return static_cast<unsigned long long>(longLongValue()); // as a cast would
    bool overflow;
    return magnitude(t.digits, overflow);
}

double String::doubleValue() const {
    std::string_view s = utf8_;
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t start = i;
    std::size_t intDigits = 0, fracDigits = 0;
    // The decimal exponent of the first significant digit, to tell overflow from underflow.
    long long leadExponent = 0;
    bool seenSignificant = false;
    while (i < s.size() && isDigit(s[i])) {
        if (s[i] != '0' && !seenSignificant) seenSignificant = true;
        if (seenSignificant) ++leadExponent;
        ++i;
        ++intDigits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            if (!seenSignificant) {
                if (s[i] != '0') seenSignificant = true;
                else --leadExponent;
            }
            ++i;
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0) return 0;
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
        const std::size_t expStart = j;
        long long exp = 0;
        while (j < s.size() && isDigit(s[j])) {
            if (exp < 100000) exp = exp * 10 + (s[j] - '0');
            ++j;
        }
        if (j > expStart) {
            end = j;
            leadExponent += expNegative ? -exp : exp;
        }
    }
    if (!seenSignificant) return negative ? -0.0 : 0.0;
    double v = 0;
    const auto r = std::from_chars(s.data() + start, s.data() + end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = leadExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -v : v;
}

bool String::boolValue() const {
    std::string_view s = utf8_;
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i == s.size()) return false;
    const char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

} // namespace ns
