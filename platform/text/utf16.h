#pragma once
// UTF-16 helpers of the text engine (private).

#include <cstddef>
#include <string_view>

namespace ct::utf16 {

inline bool isHigh(char16_t u) noexcept { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLow(char16_t u) noexcept { return u >= 0xDC00 && u <= 0xDFFF; }

// The code point at i (advancing i past it, never beyond `end`); a lone surrogate is U+FFFD.
inline char32_t next(std::u16string_view text, std::size_t& i, std::size_t end) noexcept {
    const char16_t u = text[i++];
    if (isHigh(u) && i < end && isLow(text[i])) return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i++] - 0xDC00);
    if (isHigh(u) || isLow(u)) return 0xFFFD;
    return u;
}

} // namespace ct::utf16
