#pragma once
// UTF-8 read a code point at a time, by every reader of a text that may hold any byte (the string
// values, the log's printable texts, the run's masker).

#include <cstddef>
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

} // namespace rt
