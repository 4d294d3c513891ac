#pragma once
// UTF-8, one code point at a time: read by every reader of a text that may hold any byte (the
// string values, the log's printable texts, the run's masker), written by the string and
// formatting code.

#include <cstddef>
#include <string>
#include <string_view>

namespace rt {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at s[i] and advances i. A malformed sequence decodes as U+FFFD and
// consumes its maximal well-formed prefix (at least one byte); `bad` is set when that happens.
inline char32_t decodeUTF8(std::string_view s, std::size_t& i, bool& bad) noexcept {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++i;
        bad = true;
        return kReplacementCharacter;
    }
    for (int k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            i += k;
            bad = true;
            return kReplacementCharacter;
        }
        const unsigned char b = byte(i + k);
        if (b < lo || b > hi) {
            i += k;
            bad = true;
            return kReplacementCharacter;
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    i += need + 1;
    return cp;
}

// The code points of UTF-8 text: the bytes that do not continue a sequence.
inline std::size_t codePointCount(std::string_view s) noexcept {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Appends the UTF-8 of one code point. Surrogates and values past U+10FFFF are written as U+FFFD.
inline void appendUTF8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace rt
