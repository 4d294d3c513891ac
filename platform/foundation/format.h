#pragma once
// printf-style formatting with typed arguments: ns::format("%@ has %d items", name, count).
//
// Conversions: %@ (an object's description, "(null)" for nil, the natural text of anything else),
// %d %i %u %x %X %o %c %C %s %f %F %e %E %g %G %a %A %p %%, with the flags - + space 0 #, a width
// and a precision (either may be *), length modifiers (hh h l ll q L z j t, accepted and used only
// to narrow integers with h and hh), and positional arguments (%2$@, %1$*2$d).
// The argument decides how a value is read, not the length modifier: a long given to %d prints
// whole, a number object given to %d or %f prints its value, an integer given to %@ prints the
// number. A missing argument prints nothing; a malformed conversion is copied as text.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/string.h"
#include "platform/runtime/log.h"

namespace ns {

// One argument, viewed (not copied): it must outlive the formatting call, which it does when
// made implicitly from the arguments of format/stringWithFormat/log.
class FormatArg {
public:
    enum class Kind : std::uint8_t { Object, CString, Text, Bool, Signed, Unsigned, Char, Double, Pointer };

    FormatArg(std::nullptr_t) noexcept : kind_(Kind::Object) { object_ = nullptr; }
    template <class T>
    FormatArg(const rt::Ref<T>& object) noexcept : kind_(Kind::Object) {
        object_ = object.get();
    }
    template <class T>
        requires std::derived_from<T, rt::Object>
    FormatArg(const T& object) noexcept : kind_(Kind::Object) {
        object_ = &object;
    }
    FormatArg(const char* text) noexcept : kind_(Kind::CString) { cstring_ = text; }
    FormatArg(std::string_view text) noexcept : kind_(Kind::Text) { text_ = {text.data(), text.size()}; }
    FormatArg(const std::string& text) noexcept : FormatArg(std::string_view(text)) {}
    FormatArg(bool v) noexcept : kind_(Kind::Bool) { signed_ = v; }
    FormatArg(char c) noexcept : kind_(Kind::Char), size_(1) { char_ = static_cast<unsigned char>(c); }
    FormatArg(char8_t c) noexcept : kind_(Kind::Char), size_(1) { char_ = c; }
    FormatArg(char16_t c) noexcept : kind_(Kind::Char), size_(2) { char_ = c; }
    FormatArg(char32_t c) noexcept : kind_(Kind::Char), size_(4) { char_ = c; }
    FormatArg(wchar_t c) noexcept : kind_(Kind::Char), size_(sizeof(wchar_t)) {
        char_ = static_cast<char32_t>(c);
    }
    template <std::integral T>
        requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char> && !std::is_same_v<T, char8_t> &&
                 !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t> && !std::is_same_v<T, wchar_t>)
    FormatArg(T v) noexcept : size_(sizeof(T)) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Signed;
            signed_ = v;
        } else {
            kind_ = Kind::Unsigned;
            unsigned_ = v;
        }
    }
    template <std::floating_point T>
    FormatArg(T v) noexcept : kind_(Kind::Double), size_(sizeof(T) == sizeof(float) ? 4 : 8) {
        double_ = static_cast<double>(v);
    }
    template <class E>
        requires std::is_enum_v<E>
    FormatArg(E v) noexcept : FormatArg(static_cast<std::underlying_type_t<E>>(v)) {}
    // Pointers: to objects, the object; to anything else but char, the address.
    template <class T>
        requires(!std::is_same_v<std::remove_cv_t<T>, char>)
    FormatArg(T* p) noexcept {
        if constexpr (std::is_convertible_v<T*, const rt::Object*>) {
            kind_ = Kind::Object;
            object_ = p;
        } else {
            kind_ = Kind::Pointer;
            pointer_ = p;
        }
    }

    Kind kind() const noexcept { return kind_; }
    // The byte size of an integer, character or floating-point argument.
    std::size_t size() const noexcept { return size_; }
    const rt::Object* object() const noexcept { return object_; }
    const char* cstring() const noexcept { return cstring_; }
    std::string_view text() const noexcept { return {text_.data, text_.size}; }
    bool boolValue() const noexcept { return signed_ != 0; }
    long long signedValue() const noexcept { return signed_; }
    unsigned long long unsignedValue() const noexcept { return unsigned_; }
    char32_t charValue() const noexcept { return char_; }
    double doubleValue() const noexcept { return double_; }
    const void* pointer() const noexcept { return pointer_; }

private:
    struct TextView {
        const char* data;
        std::size_t size;
    };
    Kind kind_;
    std::uint8_t size_ = 0;
    union {
        const rt::Object* object_;
        const char* cstring_;
        TextView text_;
        long long signed_;
        unsigned long long unsigned_;
        char32_t char_;
        double double_;
        const void* pointer_;
    };
};

std::string formatv(std::string_view fmt, std::span<const FormatArg> args);
// Formats and writes one line to the system log (ns::logLine). Each object's text ("%@") is a text
// the line quotes whole: it goes through the quote masking first (ns::maskedQuote).
void logv(std::string_view fmt, std::span<const FormatArg> args);

template <class... A>
std::string format(std::string_view fmt, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        return formatv(fmt, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return formatv(fmt, list);
    }
}

template <class... A>
rt::Ref<String> stringWithFormat(std::string_view fmt, const A&... args) {
    return String::make(format(fmt, args...));
}

template <class... A>
void log(std::string_view fmt, const A&... args) {
    if constexpr (sizeof...(A) == 0) {
        logv(fmt, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        logv(fmt, list);
    }
}

// A debug line (runtime/log.h): formatted and written only while debug lines are on.
template <class... A>
void debugLog(std::string_view fmt, const A&... args) {
    if (debugLines()) log(fmt, args...);
}

} // namespace ns
