#pragma once
// ns::String: an immutable string with UTF-16 semantics for lengths, indexes and ranges, and
// UTF-8 for input and output. ASCII text is stored once, as UTF-8; other text also keeps its
// UTF-16 units, which are authoritative (a substring may hold a lone surrogate; its UTF-8 form
// then carries U+FFFD in that place).

#include <atomic>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "platform/runtime/number.h"
#include "platform/runtime/object.h"

namespace ns {

// NSNotFound.
inline constexpr std::size_t NotFound = static_cast<std::size_t>(std::numeric_limits<long>::max());

// A range of UTF-16 units (or of any indexes).
struct Range {
    std::size_t location = 0;
    std::size_t length = 0;
    std::size_t max() const noexcept { return location + length; }
    bool contains(std::size_t i) const noexcept { return i >= location && i < max(); }
    // The part of the range before `end` (a text's length); empty, at `end`, when none is.
    Range clippedTo(std::size_t end) const noexcept {
        return location >= end ? Range{end, 0}
                               : Range{location, length < end - location ? length : end - location};
    }
    bool operator==(const Range&) const = default;
};

class String : public rt::Object, public rt::NumericValue {
    RT_CLASS(String)
public:
    // From UTF-8; malformed sequences become U+FFFD.
    static rt::Ref<String> make(std::string_view utf8);
    // From UTF-16 units, kept exactly (lone surrogates included).
    static rt::Ref<String> fromUTF16(std::u16string_view units);
    // The shared empty string.
    static rt::Ref<String> empty();
    // True when the bytes are well-formed UTF-8.
    static bool isValidUTF8(std::string_view bytes) noexcept;
    // The hash that a String made from this UTF-8 text has (lookups by text without a String).
    static std::size_t hashOfUTF8(std::string_view utf8) noexcept;

    // Number of UTF-16 units.
    std::size_t length() const noexcept { return length_; }
    bool isEmpty() const noexcept { return length_ == 0; }
    // The unit at `index`; throws ns::Exception "NSRangeException" beyond the end.
    char16_t characterAtIndex(std::size_t index) const;
    const std::string& utf8() const noexcept { return utf8_; }
    const char* UTF8String() const noexcept { return utf8_.c_str(); }
    std::u16string utf16() const;
    bool isASCII() const noexcept { return utf16_.empty(); }

    // Ranges in UTF-16 units; out-of-range arguments throw "NSRangeException".
    rt::Ref<String> substringWithRange(Range range) const;
    rt::Ref<String> substringFromIndex(std::size_t index) const;
    rt::Ref<String> substringToIndex(std::size_t index) const;
    // The user-perceived character (base plus combining marks, surrogate pair, emoji sequence,
    // regional-indicator pair, CR LF) that contains `index`. Text more than 64 code points before
    // `index` without a certain break is not looked at: inside a longer run of marks or flags the
    // range starts at most that far back.
    Range rangeOfComposedCharacterSequenceAtIndex(std::size_t index) const;
    // The smallest range of whole composed characters that covers `range`; an empty range moves
    // to the start of the character it points into.
    Range rangeOfComposedCharacterSequencesForRange(Range range) const;

    bool isEqualToString(const String* other) const noexcept;
    bool isEqualToString(std::string_view utf8) const noexcept;
    // Literal comparisons of UTF-16 units; an empty argument is never a prefix, suffix or part.
    bool hasPrefix(std::string_view utf8) const noexcept;
    bool hasSuffix(std::string_view utf8) const noexcept;
    bool containsString(std::string_view utf8) const noexcept;
    // The first occurrence, in UTF-16 units; {NotFound, 0} when absent or when `utf8` is empty.
    Range rangeOfString(std::string_view utf8) const;
    // Orders by UTF-16 units: -1, 0 or 1.
    int compare(const String& other) const noexcept;
    rt::Ref<String> stringByAppendingString(std::string_view utf8) const;
    rt::Ref<String> stringByAppendingString(const String& other) const;

    // The platform's number parsing: leading white space, an optional sign, digits; anything
    // else ends the number, and no digits gives 0. boolValue: YES for a leading Y, y, T, t or a
    // non-zero digit (after white space and an optional sign and zeros).
    // intValue and integerValue saturate at their type's limits, as longLongValue does.
    int intValue() const { return clampTo<int>(longLongValue()); }
    long integerValue() const { return clampTo<long>(longLongValue()); }
    long long longLongValue() const override;
    unsigned long long unsignedLongLongValue() const override;
    double doubleValue() const override;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    bool boolValue() const override;

    std::string description() const override { return utf8_; }
    bool isEqual(const rt::Object* other) const override;
    // Computed on first use (most strings are never hashed) and kept.
    std::size_t hash() const override {
        const std::size_t h = hash_.load(std::memory_order_relaxed);
        return h != kUnhashed ? h : computeHash();
    }

protected:
    String() = default;

private:
    // ASCII text, copied or taken over.
    explicit String(std::string_view ascii) : utf8_(ascii), length_(ascii.size()) {}
    explicit String(std::string&& ascii) noexcept : utf8_(std::move(ascii)), length_(utf8_.size()) {}

    template <class T>
    static T clampTo(long long v) noexcept {
        if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
        if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
        return static_cast<T>(v);
    }
    // Factories taking ownership: text known to be ASCII, and UTF-16 units (stored as ASCII when
    // every unit is; `utf8` is their UTF-8 form when the caller already has it).
    static rt::Ref<String> adoptASCII(std::string&& ascii);
    static rt::Ref<String> adoptUnits(std::u16string&& units, std::string* utf8 = nullptr);
    void finish(); // computes length_ and hasLoneSurrogate_ from utf8_ / utf16_
    std::size_t computeHash() const noexcept;

    char16_t unitAt(std::size_t i) const noexcept {
        return utf16_.empty() ? static_cast<unsigned char>(utf8_[i]) : utf16_[i];
    }
    char32_t codePointAt(std::size_t i, std::size_t& units) const noexcept;
    char32_t codePointBefore(std::size_t i, std::size_t& units) const noexcept;
    std::size_t clusterEnd(std::size_t start) const noexcept; // of the cluster starting at `start`

    std::string utf8_;
    std::u16string utf16_; // empty for ASCII text
    std::size_t length_ = 0;
    // The hash once computed. Every thread that computes it stores the same value, so relaxed
    // order is enough; no hash is kUnhashed (see Hasher).
    static constexpr std::size_t kUnhashed = 0;
    mutable std::atomic<std::size_t> hash_{kUnhashed};
    bool hasLoneSurrogate_ = false; // then utf8_ is not an exact image of utf16_
};

// The one-expression literal: ns::str("text").
inline rt::Ref<String> str(std::string_view utf8) { return String::make(utf8); }

} // namespace ns

// NSRange, as delegate callbacks of text controls take it.
template <>
struct rt::StructEncoding<ns::Range> {
    static constexpr const char* value = "{_NSRange=QQ}";
};

