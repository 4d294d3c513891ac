#include "platform/foundation/json.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/foundation/text_escaping.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/object_arena.h"

namespace ns {

RT_DEFINE_CLASS(JSONSerialization, "NSJSONSerialization", rt::Object)

namespace {

namespace dom = simdjson::dom;

// Deepest nesting read or written. simdjson's parser allows exactly this much by default.
constexpr std::size_t kMaxJSONDepth = 1024;
// Documents up to this size are read in the thread's own workspace (parser, buffer and building
// scratch), which is kept between calls: making and freeing a parser for every large document
// costs more than reading it. A parser keeps about 14 bytes per byte of the largest text it has
// read (reserved; pages are touched as documents need them), so larger documents get a workspace
// of their own that is freed afterwards.
constexpr std::size_t kKeptWorkspaceLimit = std::size_t{4} << 20;

// "around line 2, column 7" for a byte offset (both counted from 1, columns in bytes).
std::string where(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
    std::size_t lineStart = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    std::size_t column = lineStart == std::string_view::npos || offset == 0 ? offset + 1 : offset - lineStart;
    return "around line " + std::to_string(line) + ", column " + std::to_string(column);
}

const char* const kNotAContainer =
    "JSON text did not start with array or object and option to allow fragments not set";

// ---- Diagnosis -----------------------------------------------------------------------------
// simdjson says that a document is malformed but not where. When it refuses one, this scanner
// walks the text by the grammar to find the first fault and its place. It also notes integers too
// large for 64 bits, which simdjson refuses but which are valid JSON (they are read as doubles).

struct Diagnosis {
    bool found = false;
    std::size_t offset = 0;
    std::string what;
    std::vector<std::size_t> bigIntegerEnds;
};

class Scanner {
public:
    Scanner(std::string_view in, bool fragments) : in_(in), fragments_(fragments) {}

    Diagnosis run() {
        skipSpace();
        if (p_ == in_.size()) {
            fail(p_, "No value: the text is empty or only white space");
        } else if (!fragments_ && in_[p_] != '[' && in_[p_] != '{') {
            fail(p_, kNotAContainer);
        } else {
            document();
        }
        return std::move(d_);
    }

private:
    bool fail(std::size_t at, std::string what) {
        d_.found = true;
        d_.offset = at;
        d_.what = std::move(what);
        return false;
    }
    bool atEnd() const { return p_ == in_.size(); }
    unsigned char at(std::size_t i) const { return static_cast<unsigned char>(in_[i]); }
    static bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
    void skipSpace() {
        while (p_ < in_.size() && (in_[p_] == ' ' || in_[p_] == '\n' || in_[p_] == '\r' || in_[p_] == '\t'))
            ++p_;
    }
    bool endOfFile() {
        if (stack_.empty()) return fail(p_, "Unexpected end of file");
        return fail(p_, stack_.back() == '[' ? "Unexpected end of file while parsing an array"
                                             : "Unexpected end of file while parsing an object");
    }

    void document() {
        for (;;) {
            if (!value()) return;
            // After a value: close containers until a separator leads to the next value.
            for (;;) {
                skipSpace();
                if (stack_.empty()) {
                    if (!atEnd()) fail(p_, "Garbage at end");
                    return;
                }
                if (atEnd()) {
                    endOfFile();
                    return;
                }
                const char top = stack_.back(), close = top == '[' ? ']' : '}';
                if (in_[p_] == close) {
                    stack_.pop_back();
                    ++p_;
                    continue;
                }
                if (in_[p_] != ',') {
                    fail(p_, top == '[' ? "Expected ',' or ']' after an array element"
                                        : "Expected ',' or '}' after a value in an object");
                    return;
                }
                ++p_;
                if (top == '{' && !key()) return;
                break;
            }
        }
    }

    // One value; a container is opened (and its first key read) and left on the stack.
    bool value() {
        skipSpace();
        if (atEnd()) return endOfFile();
        const char c = in_[p_];
        if (c == '[' || c == '{') {
            if (stack_.size() == kMaxJSONDepth) return fail(p_, "Too many nested arrays or dictionaries");
            stack_.push_back(c);
            ++p_;
            skipSpace();
            if (!atEnd() && in_[p_] == (c == '[' ? ']' : '}')) {
                stack_.pop_back();
                ++p_;
                return true;
            }
            if (c == '[') return value();
            return key() && value();
        }
        if (c == '"') return string();
        if (c == '-' || isDigit(static_cast<unsigned char>(c))) return number();
        if (c == 't') return literal("true");
        if (c == 'f') return literal("false");
        if (c == 'n') return literal("null");
        return fail(p_, "Invalid value");
    }

    // A key and its colon.
    bool key() {
        skipSpace();
        if (atEnd()) return endOfFile();
        if (in_[p_] != '"') return fail(p_, "Expected a string key in an object");
        if (!string()) return false;
        skipSpace();
        if (atEnd()) return endOfFile();
        if (in_[p_] != ':') return fail(p_, "Expected ':' after a key in an object");
        ++p_;
        return true;
    }

    bool literal(std::string_view word) {
        if (in_.substr(p_, word.size()) != word) return fail(p_, "Invalid value");
        p_ += word.size();
        return true;
    }

    bool hex4(std::size_t i, unsigned& out) const {
        if (i + 4 > in_.size()) return false;
        out = 0;
        for (std::size_t k = i; k < i + 4; ++k) {
            const unsigned char c = at(k);
            unsigned v;
            if (isDigit(c))
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            else
                return false;
            out = out * 16 + v;
        }
        return true;
    }

    // Length of the well-formed UTF-8 sequence at i, or 0.
    std::size_t utf8Length(std::size_t i) const {
        const unsigned char c = at(i);
        std::size_t n;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF)
            n = 2;
        else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return 0;
        }
        if (i + n > in_.size()) return 0;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char b = at(i + k);
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
        }
        return n;
    }

    bool string() {
        const std::size_t start = p_++;
        for (;;) {
            if (atEnd()) return fail(start, "Unterminated string");
            const unsigned char c = at(p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20) return fail(p_, "Unescaped control character in a string");
            if (c >= 0x80) {
                const std::size_t n = utf8Length(p_);
                if (n == 0) return fail(p_, "Invalid UTF-8 in a string");
                p_ += n;
                continue;
            }
            if (c != '\\') {
                ++p_;
                continue;
            }
            const std::size_t escape = p_++;
            if (atEnd()) return fail(start, "Unterminated string");
            const char e = in_[p_];
            if (e != 'u') {
                if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos)
                    return fail(escape, "Invalid escape sequence in a string");
                ++p_;
                continue;
            }
            unsigned u;
            if (!hex4(p_ + 1, u)) return fail(escape, "Invalid \\u escape: four hexadecimal digits expected");
            p_ += 5;
            if (u >= 0xDC00 && u <= 0xDFFF) return fail(escape, "Unpaired low surrogate in a \\u escape");
            if (u >= 0xD800 && u <= 0xDBFF) {
                unsigned low;
                if (in_.substr(p_, 2) != "\\u" || !hex4(p_ + 2, low) || low < 0xDC00 || low > 0xDFFF)
                    return fail(escape, "Unpaired high surrogate in a \\u escape");
                p_ += 6;
            }
        }
    }

    bool number() {
        const std::size_t start = p_;
        if (in_[p_] == '-') ++p_;
        if (atEnd() || !isDigit(at(p_))) return fail(start, "Invalid number");
        if (in_[p_] == '0') {
            ++p_;
            if (!atEnd() && isDigit(at(p_))) return fail(start, "Invalid number: leading zero");
        } else {
            while (!atEnd() && isDigit(at(p_)))
                ++p_;
        }
        bool integral = true;
        if (!atEnd() && in_[p_] == '.') {
            ++p_;
            if (atEnd() || !isDigit(at(p_))) return fail(start, "Invalid number: digits expected after '.'");
            while (!atEnd() && isDigit(at(p_)))
                ++p_;
            integral = false;
        }
        if (!atEnd() && (in_[p_] == 'e' || in_[p_] == 'E')) {
            ++p_;
            if (!atEnd() && (in_[p_] == '+' || in_[p_] == '-')) ++p_;
            if (atEnd() || !isDigit(at(p_)))
                return fail(start, "Invalid number: digits expected in the exponent");
            while (!atEnd() && isDigit(at(p_)))
                ++p_;
            integral = false;
        }
        const char* first = in_.data() + start;
        const char* last = in_.data() + p_;
        if (integral) {
            std::int64_t i;
            std::uint64_t u;
            const bool fits = in_[start] == '-' ? std::from_chars(first, last, i).ec == std::errc()
                                                : std::from_chars(first, last, u).ec == std::errc();
            if (!fits) d_.bigIntegerEnds.push_back(p_);
            return true;
        }
        double d;
        if (std::from_chars(first, last, d).ec == std::errc::result_out_of_range && overflows(start, p_))
            return fail(start, "Number out of range: " + std::string(first, last));
        return true;
    }

    // For a number out of double's range: too large (rather than too small)?
    bool overflows(std::size_t from, std::size_t to) const {
        const std::string_view t = in_.substr(from, to - from);
        long intDigits = 0, digits = 0, firstSignificant = -1;
        bool fraction = false;
        std::size_t i = t[0] == '-' ? 1 : 0;
        for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
            if (t[i] == '.') {
                fraction = true;
                continue;
            }
            if (!fraction) ++intDigits;
            if (firstSignificant < 0 && t[i] != '0') firstSignificant = digits;
            ++digits;
        }
        if (firstSignificant < 0) return false;
        long exponent = 0;
        if (i < t.size()) {
            ++i;
            const bool negative = t[i] == '-';
            if (t[i] == '+' || t[i] == '-') ++i;
            for (; i < t.size() && exponent < 100000; ++i)
                exponent = exponent * 10 + (t[i] - '0');
            if (negative) exponent = -exponent;
        }
        // The first significant digit stands for 10^(intDigits - 1 - firstSignificant + exponent).
        return intDigits - 1 - firstSignificant + exponent > 0;
    }

    std::string_view in_;
    bool fragments_;
    std::size_t p_ = 0;
    std::vector<char> stack_;
    Diagnosis d_;
};

// ---- Building ns objects --------------------------------------------------------------------

template <class Word> Word load(const char* p) noexcept {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// True when the n bytes at a and b are the same, for short texts whose hashes already agree: a few
// fixed-size loads, overlapping at the end, rather than a call.
[[gnu::always_inline]] inline bool sameBytes(const char* a, const char* b, std::size_t n) noexcept {
    if (n >= 8) {
        std::uint64_t differ = load<std::uint64_t>(a + n - 8) ^ load<std::uint64_t>(b + n - 8);
        for (std::size_t i = 0; i + 8 < n; i += 8)
            differ |= load<std::uint64_t>(a + i) ^ load<std::uint64_t>(b + i);
        return differ == 0;
    }
    if (n >= 4) {
        return ((load<std::uint32_t>(a) ^ load<std::uint32_t>(b)) |
                (load<std::uint32_t>(a + n - 4) ^ load<std::uint32_t>(b + n - 4))) == 0;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

[[gnu::always_inline]] inline bool sameText(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && sameBytes(a.data(), b.data(), a.size());
}

// An object that a document hands out many times (a key, a repeated value, null, true, a small
// integer). References are taken from it a batch at a time, so that a hand-out is no atomic step;
// the ones left over go back when the holder lets it go.
template <class T> class Shared {
public:
    Shared() = default;
    explicit Shared(rt::Ref<T> object) : object_(std::move(object)) {}
    Shared(Shared&& o) noexcept : object_(std::move(o.object_)), spare_(std::exchange(o.spare_, 0)) {}
    Shared& operator=(Shared&& o) noexcept {
        giveBack();
        object_ = std::move(o.object_);
        spare_ = std::exchange(o.spare_, 0);
        return *this;
    }
    ~Shared() { giveBack(); }

    explicit operator bool() const noexcept { return static_cast<bool>(object_); }
    const T& operator*() const noexcept { return *object_; }

    rt::Ref<T> handOut() noexcept {
        if (spare_ == 0) {
            object_->retain(kBatch);
            spare_ = kBatch;
        }
        --spare_;
        return rt::Ref<T>::adopt(object_.get());
    }

private:
    static constexpr std::uint32_t kBatch = 256;

    void giveBack() noexcept {
        if (spare_) object_->release(std::exchange(spare_, 0));
    }

    rt::Ref<T> object_;
    std::uint32_t spare_ = 0; // references taken and not handed out
};
using SharedString = Shared<String>;

// Keys repeat from object to object: one String per distinct short key in a document. Keys are
// found by a cheap hash of their bytes (a word at a time) and then compared whole, so keys that
// share a hash stay distinct. The texts are views into the parser, valid while it reads.
class KeyTable {
public:
    // A key and its String's hash().
    struct Key {
        rt::Ref<String> string;
        std::size_t hash;
    };

    KeyTable() noexcept { recent_.fill(kNone); }

    // The key `text` at `position` among its object's members. Objects of one kind list their keys
    // in one order, so the key the last object had at that position is tried first, unhashed.
    Key intern(std::string_view text, std::size_t position) {
        const bool predicted = position < kPredicted;
        if (predicted && recent_[position] != kNone) {
            Slot& slot = slots_[recent_[position]];
            if (sameText(slot.text, text)) return {slot.string.handOut(), slot.stringHash};
        }
        if (text.size() > kLongestKey) return made(text);
        if (slots_.empty()) resize(kInitialSlots);
        const std::uint64_t h = hashOf(text);
        for (std::size_t i = slotOf(h);; i = (i + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[i];
            if (!slot.string) {
                Key key = made(text);
                if (filled_.size() == kMostKeys) return key;
                slot = Slot{h, text, SharedString(std::move(key.string)), key.hash};
                filled_.push_back(static_cast<std::uint32_t>(i));
                key.string = slot.string.handOut();
                if (filled_.size() * 2 > slots_.size()) {
                    resize(slots_.size() * 2);
                } else if (predicted) {
                    recent_[position] = static_cast<std::uint32_t>(i);
                }
                return key;
            }
            if (slot.hash == h && sameText(slot.text, text)) {
                if (predicted) recent_[position] = static_cast<std::uint32_t>(i);
                return {slot.string.handOut(), slot.stringHash};
            }
        }
    }

    // Releases the strings; keeps the slots for the next document.
    void clear() noexcept {
        for (std::uint32_t i : filled_)
            slots_[i] = Slot{};
        filled_.clear();
        recent_.fill(kNone);
    }

    // Every load has a fixed size: the bytes past the last whole word are read as overlapping
    // words (or the first, middle and last byte of a short text) rather than copied into a
    // zeroed word, which the processor could not read back before the copy had landed.
    static std::uint64_t hashOf(std::string_view text) noexcept {
        constexpr std::uint64_t k = 0x517CC1B727220A95ull;
        const char* p = text.data();
        const std::size_t n = text.size();
        std::uint64_t h = n * k;
        const auto mix = [&h](std::uint64_t w) { h = (std::rotl(h, 5) ^ w) * k; };
        if (n >= 8) {
            std::size_t i = 0;
            for (; i + 8 <= n; i += 8)
                mix(load<std::uint64_t>(p + i));
            if (i < n) mix(load<std::uint64_t>(p + n - 8));
        } else if (n >= 4) {
            mix(std::uint64_t{load<std::uint32_t>(p)} << 32 | load<std::uint32_t>(p + n - 4));
        } else if (n > 0) {
            const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
            mix(byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1));
        }
        return h;
    }

private:
    static constexpr std::size_t kLongestKey = 64, kMostKeys = 4096, kInitialSlots = 64, kPredicted = 16;
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};

    struct Slot {
        std::uint64_t hash = 0;
        std::string_view text;
        SharedString string; // null for a free slot
        std::size_t stringHash = 0;
    };

    static Key made(std::string_view text) {
        rt::Ref<String> s = String::make(text);
        const std::size_t h = s->hash();
        return {std::move(s), h};
    }

    std::size_t slotOf(std::uint64_t h) const noexcept {
        return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void resize(std::size_t size) {
        recent_.fill(kNone); // the slots move
        std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(size));
        for (std::uint32_t& at : filled_) {
            Slot& slot = old[at];
            std::size_t i = slotOf(slot.hash);
            while (slots_[i].string)
                i = (i + 1) & (size - 1);
            slots_[i] = std::move(slot);
            at = static_cast<std::uint32_t>(i);
        }
    }

    std::vector<Slot> slots_;
    std::vector<std::uint32_t> filled_; // the slots in use
    unsigned shift_ = 64;
    std::array<std::uint32_t, kPredicted> recent_; // slot of the key last seen at each position
};

// Values repeat in a document too (enumeration-like strings: states, categories, tags), and
// Strings are immutable: the String made for a short value is kept in a slot chosen by a hash of
// its text and handed out again for an equal value. A slot keeps the first value that came to it
// (taking it over would touch the earlier String, long out of the cache, to release it). Only the
// slots filled during a document are emptied after it.
class RepeatedStrings {
public:
    static constexpr std::size_t kLongest = 32;

    rt::Ref<String> get(std::string_view text) {
        if (text.size() > kLongest) return String::make(text);
        const std::uint64_t h = KeyTable::hashOf(text);
        const auto i = static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
        Slot& slot = slots_[i];
        if (slot.string) {
            if (slot.hash == h && sameText((*slot.string).utf8(), text)) return slot.string.handOut();
            return String::make(text);
        }
        filled_.push_back(static_cast<std::uint16_t>(i));
        slot.hash = h;
        slot.string = SharedString(String::make(text));
        return slot.string.handOut();
    }

    void clear() noexcept {
        for (std::uint16_t i : filled_)
            slots_[i] = Slot{};
        filled_.clear();
    }

private:
    static constexpr unsigned kBits = 9;
    struct Slot {
        std::uint64_t hash = 0;
        SharedString string;
    };
    std::array<Slot, std::size_t{1} << kBits> slots_{};
    std::vector<std::uint16_t> filled_;
};

// The values a document repeats that are shared by the whole process anyway: null, true, false
// and the small integers Number keeps one instance of.
class SharedScalars {
public:
    rt::Id null() { return handOut(null_, [] { return rt::Id(Null::null()); }); }
    rt::Id boolean(bool v) {
        return v ? handOut(true_, [] { return rt::Id(Number::withBool(true)); })
                 : handOut(false_, [] { return rt::Id(Number::withBool(false)); });
    }
    rt::Id integer(std::int64_t v) {
        if (v < kSmallest || v > kLargest) return Number::withLongLong(v);
        Shared<rt::Object>& slot = integers_[static_cast<std::size_t>(v - kSmallest)];
        if (!slot) {
            rt::Ref<Number> n = Number::withLongLong(v);
            if (!rt::isImmortal(*n)) return n;
            slot = Shared<rt::Object>(std::move(n));
            filled_.push_back(static_cast<std::uint16_t>(v - kSmallest));
        }
        return slot.handOut();
    }

    void clear() noexcept {
        null_ = {};
        true_ = {};
        false_ = {};
        for (std::uint16_t i : filled_)
            integers_[i] = {};
        filled_.clear();
    }

private:
    static constexpr std::int64_t kSmallest = -16, kLargest = 255;

    template <class Make> static rt::Id handOut(Shared<rt::Object>& slot, Make&& make) {
        if (!slot) slot = Shared<rt::Object>(make());
        return slot.handOut();
    }

    Shared<rt::Object> null_, true_, false_;
    std::array<Shared<rt::Object>, kLargest - kSmallest + 1> integers_;
    std::vector<std::uint16_t> filled_;
};

// What building needs besides the parser, kept with it between documents: the key table and the
// shared values. Empty between uses.
struct BuildScratch {
    KeyTable keyTable;
    RepeatedStrings strings;
    SharedScalars scalars;

    void clear() noexcept {
        keyTable.clear();
        strings.clear();
        scalars.clear();
    }
};

class Builder {
public:
    Builder(bool mutableContainers, BuildScratch& scratch) : mutable_(mutableContainers), scratch_(scratch) {}

    rt::Id value(dom::element e) {
        switch (e.type()) {
        case dom::element_type::ARRAY:
            return array(e.get_array().value_unsafe());
        case dom::element_type::OBJECT:
            return object(e.get_object().value_unsafe());
        default:
            return scalar(e);
        }
    }

private:
    // A member or element: containers recurse (the parser has bounded their depth), the rest is
    // read in place.
    rt::Id child(dom::element e) {
        const auto type = e.type();
        if (type == dom::element_type::ARRAY || type == dom::element_type::OBJECT) return value(e);
        return scalar(e);
    }

    rt::Id scalar(dom::element e) {
        switch (e.type()) {
        case dom::element_type::STRING:
            return scratch_.strings.get(e.get_string().value_unsafe());
        case dom::element_type::INT64:
            return scratch_.scalars.integer(e.get_int64().value_unsafe());
        case dom::element_type::UINT64:
            return Number::withUnsignedLongLong(e.get_uint64().value_unsafe());
        case dom::element_type::DOUBLE:
            return Number::withDouble(e.get_double().value_unsafe());
        case dom::element_type::BOOL:
            return scratch_.scalars.boolean(e.get_bool().value_unsafe());
        default:
            return scratch_.scalars.null();
        }
    }

    // Containers are made with room for exactly their members, which the parser has counted.
    rt::Id array(dom::array a) {
        std::vector<rt::Id> items;
        items.reserve(a.size());
        for (dom::element element : a)
            items.push_back(child(element));
        if (mutable_) return MutableArray::make(std::move(items));
        return Array::make(std::move(items));
    }

    rt::Id object(dom::object o) {
        auto filler = mutable_ ? MutableDictionary::fillWithStringKeys(o.size())
                               : Dictionary::fillWithStringKeys(o.size());
        std::size_t position = 0;
        for (dom::key_value_pair kv : o) {
            KeyTable::Key key = scratch_.keyTable.intern(kv.key, position++);
            filler.add(std::move(key.string), key.hash, child(kv.value));
        }
        return filler.take();
    }

    bool mutable_;
    BuildScratch& scratch_;
};

// Rewrites integers past 64 bits as exponent forms ("...e0"), which simdjson reads as doubles.
std::string widenBigIntegers(std::string_view text, const std::vector<std::size_t>& ends) {
    std::string out;
    out.reserve(text.size() + 2 * ends.size());
    std::size_t from = 0;
    for (std::size_t end : ends) {
        out.append(text.substr(from, end - from));
        out += "e0";
        from = end;
    }
    out.append(text.substr(from));
    return out;
}

// A parser, the padded copy of the text it reads (simdjson reads a little past the end) and the
// building scratch. Reusing them spares the allocator on every call.
class Workspace {
public:
    simdjson::error_code parse(std::string_view text, dom::element& root) {
        const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
        if (needed > capacity_) {
            buffer_.reset(new char[needed]);
            capacity_ = needed;
        }
        if (!text.empty()) std::memcpy(buffer_.get(), text.data(), text.size()); // an empty view may be null
        std::memset(buffer_.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
        return parser_.parse(buffer_.get(), text.size(), false).get(root);
    }

    BuildScratch& scratch() noexcept { return scratch_; }

    // Holds the workspace for one read: it is busy meanwhile, and its scratch is empty after.
    class Use {
    public:
        explicit Use(Workspace& w) : w_(w) { w_.busy_ = true; }
        ~Use() {
            w_.scratch_.clear();
            w_.busy_ = false;
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        Workspace& w_;
    };
    bool busy() const noexcept { return busy_; }

private:
    dom::parser parser_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    BuildScratch scratch_;
    bool busy_ = false;
};

rt::Id parse(std::string_view text, JSONReadingOptions options, rt::Ref<Error>* error) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const bool fragments = options & JSONReadingOptions::FragmentsAllowed;

    // The thread's own workspace, unless the document is too large to keep one for, or a read on
    // this thread is using it already.
    thread_local Workspace kept;
    std::unique_ptr<Workspace> own;
    Workspace* work = &kept;
    if (text.size() > kKeptWorkspaceLimit || kept.busy()) {
        own = std::make_unique<Workspace>();
        work = own.get();
    }
    Workspace::Use use(*work);

    dom::element root;
    simdjson::error_code failure = work->parse(text, root);
    if (failure) {
        Diagnosis d = Scanner(text, fragments).run();
        if (d.found) {
            serializationReadError(error, d.what + " " + where(text, d.offset) + ".");
            return nullptr;
        }
        if (!d.bigIntegerEnds.empty()) {
            failure = work->parse(widenBigIntegers(text, d.bigIntegerEnds), root);
        }
        if (failure) {
            serializationReadError(error, std::string("Unable to read JSON text: ") +
                                              simdjson::error_message(failure) + ".");
            return nullptr;
        }
    }
    const auto type = root.type();
    if (!fragments && type != dom::element_type::ARRAY && type != dom::element_type::OBJECT) {
        const std::size_t first = text.find_first_not_of(" \t\r\n");
        serializationReadError(error, std::string(kNotAContainer) + " " + where(text, first) + ".");
        return nullptr;
    }
    // The tree's objects are made together and mostly freed together.
    rt::ObjectArena arena;
    return Builder(options & JSONReadingOptions::MutableContainers, work->scratch()).value(root);
}

// ---- Writing --------------------------------------------------------------------------------

// What an object is to the writer. The exact classes are found by identity, which is much
// cheaper than dynamic_cast; subclasses take the slower path.
enum class Shape { String, Number, Dictionary, Array, Null, Other };

struct KnownClasses {
    const rt::Class* string = &String::staticClass();
    const rt::Class* number = &Number::staticClass();
    const rt::Class* dictionary = &Dictionary::staticClass();
    const rt::Class* mutableDictionary = &MutableDictionary::staticClass();
    const rt::Class* array = &Array::staticClass();
    const rt::Class* mutableArray = &MutableArray::staticClass();
    const rt::Object* null = Null::null().get();
};

Shape shapeOf(const rt::Object* obj) {
    static const KnownClasses known;
    if (!obj) return Shape::Other;
    const rt::Class* cls = &obj->actualClass();
    if (cls == known.string) return Shape::String;
    if (cls == known.number) return Shape::Number;
    if (cls == known.dictionary || cls == known.mutableDictionary) return Shape::Dictionary;
    if (cls == known.array || cls == known.mutableArray) return Shape::Array;
    if (obj == known.null) return Shape::Null;
    if (dynamic_cast<const String*>(obj)) return Shape::String;
    if (dynamic_cast<const Number*>(obj)) return Shape::Number;
    if (dynamic_cast<const Dictionary*>(obj)) return Shape::Dictionary;
    if (dynamic_cast<const Array*>(obj)) return Shape::Array;
    return Shape::Other;
}

class JSONWriter : public detail::TextWriter {
public:
    // Writes into `space`, whose contents do not matter (only its storage).
    explicit JSONWriter(JSONWritingOptions options, std::string space = {})
        : pretty_(options & JSONWritingOptions::PrettyPrinted),
          sorted_(options & JSONWritingOptions::SortedKeys),
          escapes_(detail::EscapeTable::json(!(options & JSONWritingOptions::WithoutEscapingSlashes))) {
        out_ = std::move(space);
    }

    bool write(const rt::Object* obj, std::size_t depth) {
        switch (shapeOf(obj)) {
        case Shape::String:
            string(static_cast<const String*>(obj)->utf8());
            return true;
        case Shape::Number:
            return number(*static_cast<const Number*>(obj));
        case Shape::Dictionary:
            return dictionary(*static_cast<const Dictionary*>(obj), depth);
        case Shape::Array:
            return array(*static_cast<const Array*>(obj), depth);
        case Shape::Null:
            put("null");
            return true;
        case Shape::Other:
            break;
        }
        if (!obj) return fail("nil cannot be written");
        return fail("Invalid type in JSON write (" + std::string(obj->getClass().name()) + ")");
    }

    // The text written so far.
    std::string_view text() const noexcept { return std::string_view(out_.data(), length_); }
    // The storage written into, for the next writer.
    std::string takeSpace() noexcept { return std::move(out_); }

private:
    // The text goes straight into out_'s storage, of which the first length_ bytes are written.
    char* room(std::size_t n) {
        if (out_.size() - length_ < n) out_.resize(std::max(2 * out_.size(), length_ + n + 256));
        return out_.data() + length_;
    }
    void put(char c) {
        *room(1) = c;
        ++length_;
    }
    void put(std::string_view s) {
        std::memcpy(room(s.size()), s.data(), s.size());
        length_ += s.size();
    }

    void newline(std::size_t depth) {
        char* p = room(1 + 2 * depth);
        *p = '\n';
        std::memset(p + 1, ' ', 2 * depth);
        length_ += 1 + 2 * depth;
    }

    bool deeper(std::size_t depth) {
        if (depth < kMaxJSONDepth) return true;
        return fail("Too many nested arrays or dictionaries in JSON write (or a collection contains itself)");
    }

    // The writer goes from object to object through pointers, mostly to memory that is not in the
    // cache: it asks for the next few elements' memory (an object's first two cache lines) while
    // it writes the current one.
    static constexpr std::size_t kLookAhead = 4;
    static void prefetch(const void* p) noexcept {
        __builtin_prefetch(p);
        __builtin_prefetch(static_cast<const char*>(p) + 64);
    }

    bool array(const Array& a, std::size_t depth) {
        if (!deeper(depth)) return false;
        if (a.isEmpty()) {
            put("[]");
            return true;
        }
        put('[');
        const std::vector<rt::Id>& items = a.objects();
        const std::size_t n = items.size();
        for (std::size_t i = 0; i < std::min(n, kLookAhead); ++i)
            prefetch(items[i].get());
        for (std::size_t i = 0; i < n; ++i) {
            if (i + kLookAhead < n) prefetch(items[i + kLookAhead].get());
            if (i) put(',');
            if (pretty_) newline(depth + 1);
            if (!write(items[i].get(), depth + 1)) return false;
        }
        if (pretty_) newline(depth);
        put(']');
        return true;
    }

    bool dictionary(const Dictionary& d, std::size_t depth) {
        if (!deeper(depth)) return false;
        if (d.isEmpty()) {
            put("{}");
            return true;
        }
        put('{');
        bool first = true;
        auto member = [&](const rt::Object* key, const rt::Object* value) {
            if (shapeOf(key) != Shape::String) {
                return fail("Invalid key in JSON write (" + std::string(key->getClass().name()) +
                            "): keys must be strings");
            }
            if (!first) put(',');
            first = false;
            if (pretty_) newline(depth + 1);
            this->key(static_cast<const String*>(key));
            if (pretty_)
                put(" : ");
            else
                put(':');
            return write(value, depth + 1);
        };
        if (sorted_) {
            std::vector<std::pair<const rt::Object*, const rt::Object*>> entries;
            entries.reserve(d.count());
            for (auto [key, value] : d) {
                if (shapeOf(key.get()) != Shape::String)
                    return member(key.get(), value.get()); // the key error
                entries.emplace_back(key.get(), value.get());
            }
            std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
                return static_cast<const String*>(a.first)->compare(*static_cast<const String*>(b.first)) < 0;
            });
            for (auto [key, value] : entries) {
                if (!member(key, value)) return false;
            }
        } else {
            for (auto [key, value] : d)
                prefetch(value.get());
            for (auto [key, value] : d) {
                if (!member(key.get(), value.get())) return false;
            }
        }
        if (pretty_) newline(depth);
        put('}');
        return true;
    }

    void string(std::string_view s) {
        char* p = room(2 + detail::EscapeTable::kLongest * s.size());
        char* start = p;
        *p++ = '"';
        std::size_t refused; // the JSON tables refuse nothing
        p = detail::writeEscaped(p, s, escapes_, refused);
        *p++ = '"';
        length_ += static_cast<std::size_t>(p - start);
    }

    // Keys repeat from object to object (a parsed document shares one String per key): the
    // written form of recent short keys is kept by the key's address, which stays that key's while
    // the writer holds the document.
    void key(const String* k) {
        KeyText& slot = keyTexts_[(reinterpret_cast<std::uintptr_t>(k) >> 4) % kKeyTexts];
        if (slot.key == k) {
            put(std::string_view(slot.text, slot.length));
            return;
        }
        const std::size_t start = length_;
        string(k->utf8());
        const std::size_t length = length_ - start;
        if (length <= sizeof slot.text) {
            slot.key = k;
            slot.length = static_cast<std::uint8_t>(length);
            std::memcpy(slot.text, out_.data() + start, length);
        }
    }

    bool number(const Number& n) {
        using K = Number::Kind;
        char* text = room(kNumberRoom);
        std::to_chars_result r{};
        switch (n.kind()) {
        case K::Bool:
            put(n.boolValue() ? std::string_view("true") : std::string_view("false"));
            return true;
        case K::Float:
        case K::Double: {
            const double d = n.doubleValue();
            if (!std::isfinite(d)) {
                return fail(std::string("Invalid number value (") +
                            (std::isnan(d) ? "NaN"
                             : d > 0       ? "infinity"
                                           : "-infinity") +
                            ") in JSON write");
            }
            // The shortest text that reads back as the same value, in the number's own precision.
            r = n.kind() == K::Float ? std::to_chars(text, text + kNumberRoom, static_cast<float>(d))
                                     : std::to_chars(text, text + kNumberRoom, d);
            // An integral double keeps a fraction so that it reads back as a double.
            if (std::find_if(text, r.ptr, [](char c) { return c == '.' || c == 'e'; }) == r.ptr) {
                std::memcpy(r.ptr, ".0", 2);
                r.ptr += 2;
            }
            break;
        }
        case K::UChar:
        case K::UShort:
        case K::UInt:
        case K::ULong:
        case K::ULongLong:
            r = std::to_chars(text, text + kNumberRoom, n.unsignedLongLongValue());
            break;
        default:
            r = std::to_chars(text, text + kNumberRoom, n.longLongValue()); // in its own signedness
            break;
        }
        length_ += static_cast<std::size_t>(r.ptr - text);
        return true;
    }

    // Room for any number's text, ".0" included.
    static constexpr std::size_t kNumberRoom = 64;

    struct KeyText {
        const String* key = nullptr;
        std::uint8_t length = 0;
        char text[55];
    };
    static constexpr std::size_t kKeyTexts = 64;

    bool pretty_, sorted_;
    const detail::EscapeTable& escapes_;
    std::size_t length_ = 0;
    std::array<KeyText, kKeyTexts> keyTexts_{};
};

bool isContainer(const rt::Object* obj) {
    const Shape shape = shapeOf(obj);
    return shape == Shape::Array || shape == Shape::Dictionary;
}

// Output space each thread keeps between writes, up to this size, so that a long text is not
// grown through fresh memory (and page faults) on every write. What a write returns is a copy of
// exactly its length.
constexpr std::size_t kKeptOutputLimit = std::size_t{4} << 20;

// Writes `obj` and hands the text to `use` while it is in the thread's output space. False (and
// the error set) when `obj` cannot be written.
template <class Use> bool writeJSON(const rt::Id& obj, JSONWritingOptions options, rt::Ref<Error>* error, Use&& use) {
    try {
        if (!(options & JSONWritingOptions::FragmentsAllowed) && !isContainer(obj.get())) {
            serializationWriteError(error, "Invalid top-level type in JSON write");
            return false;
        }
        thread_local std::string kept;
        JSONWriter w(options, std::move(kept));
        const bool written = w.write(obj.get(), 0);
        if (written)
            use(w.text());
        else
            serializationWriteError(error, w.problem());
        if (std::string space = w.takeSpace(); space.size() <= kKeptOutputLimit) kept = std::move(space);
        return written;
    } catch (const std::exception& e) {
        serializationWriteError(error, std::string("Unable to write JSON text: ") + e.what());
    } catch (...) {
        serializationWriteError(error, "Unable to write JSON text");
    }
    return false;
}

} // namespace

// ---- JSONSerialization ----------------------------------------------------------------------

rt::Id JSONSerialization::JSONObjectWithData(const rt::Ref<Data>& data, ReadingOptions options,
                                             rt::Ref<Error>* error) {
    if (!data) {
        serializationReadError(error, "No data: the data argument is nil.");
        return nullptr;
    }
    return JSONObjectWithData(data->view(), options, error);
}

rt::Id JSONSerialization::JSONObjectWithData(std::string_view json, ReadingOptions options,
                                             rt::Ref<Error>* error) {
    try {
        return parse(json, options, error);
    } catch (const std::exception& e) { // allocation failure
        serializationReadError(error, std::string("Unable to read JSON text: ") + e.what() + ".");
    } catch (...) {
        serializationReadError(error, "Unable to read JSON text.");
    }
    return nullptr;
}

std::optional<std::string> JSONSerialization::stringWithJSONObject(const rt::Id& obj, WritingOptions options,
                                                                   rt::Ref<Error>* error) {
    std::optional<std::string> text;
    if (!writeJSON(obj, options, error, [&](std::string_view written) { text.emplace(written); }))
        return std::nullopt;
    return text;
}

rt::Ref<Data> JSONSerialization::dataWithJSONObject(const rt::Id& obj, WritingOptions options,
                                                    rt::Ref<Error>* error) {
    rt::Ref<Data> data;
    if (!writeJSON(obj, options, error, [&](std::string_view written) { data = Data::make(written); }))
        return nullptr;
    return data;
}

bool JSONSerialization::isValidJSONObject(const rt::Id& obj) {
    if (!isContainer(obj.get())) return false;
    try {
        return JSONWriter(WritingOptions::None).write(obj.get(), 0);
    } catch (...) {
        return false;
    }
}

} // namespace ns
