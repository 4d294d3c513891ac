#include "platform/sim/text_skeleton.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include "platform/runtime/utf8.h"

namespace sim {

namespace {

// Compatibility and case folding together, as one normalizer; null where the data cannot load (a
// character is then only case folded).
const UNormalizer2* skeletonFolding() {
    static const UNormalizer2* const folding = [] {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2* normalizer = unorm2_getNFKCCasefoldInstance(&status);
        return U_SUCCESS(status) ? normalizer : nullptr;
    }();
    return folding;
}

// A folded character as a skeleton keeps it: a decimal digit as its ASCII digit, another letter or
// digit as it is; 0 for what the skeleton drops.
char32_t skeletonLetter(char32_t c) {
    if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ? c : 0;
    if (u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER)
        return U'0' + static_cast<char32_t>(u_charDigitValue(static_cast<UChar32>(c)));
    return u_isalnum(static_cast<UChar32>(c)) ? c : 0;
}

// Whether a character may fold into letters or digits: a letter, a number or a symbol ("㎏", "™");
// punctuation, spaces and format characters never do.
bool mayFoldIntoLetters(UChar32 c) {
    switch (u_charType(c)) {
    case U_UPPERCASE_LETTER:
    case U_LOWERCASE_LETTER:
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
    case U_OTHER_SYMBOL:
    case U_MATH_SYMBOL:
        return true;
    default:
        return false;
    }
}

// Appends the letters `c` folds into, each with the bytes [begin, end) it came from.
void appendFolded(std::vector<SkeletonLetter>& out, char32_t c, std::uint32_t begin, std::uint32_t end) {
    if (c < 0x80) { // the common case
        const bool capital = c >= 'A' && c <= 'Z';
        if (const char32_t letter = skeletonLetter(capital ? c + ('a' - 'A') : c))
            out.push_back({letter, begin, end, capital});
        return;
    }
    const auto u = static_cast<UChar32>(c);
    if (!mayFoldIntoLetters(u)) return;
    const bool capital = u_isupper(u);
    const auto decomposition = u_getIntPropertyValue(u, UCHAR_DECOMPOSITION_TYPE);
    if (decomposition == U_DT_NONE || decomposition == U_DT_CANONICAL) {
        // No compatibility form: case folding alone, from the character properties (the normalizer's
        // data is loaded only for a character that has one).
        if (const char32_t letter = skeletonLetter(static_cast<char32_t>(u_foldCase(u, U_FOLD_CASE_DEFAULT))))
            out.push_back({letter, begin, end, capital});
        return;
    }
    UChar source[2];
    std::int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, u);
    UChar folded[32]; // the longest folding of one character is 18 units
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* folding = skeletonFolding();
    std::int32_t length = folding ? unorm2_normalize(folding, source, sourceLength, folded, 32, &status) : 0;
    if (!folding || U_FAILURE(status)) {
        length = 0;
        U16_APPEND_UNSAFE(folded, length, u_foldCase(u, U_FOLD_CASE_DEFAULT));
    }
    for (std::int32_t i = 0; i < length;) {
        UChar32 unit;
        U16_NEXT_UNSAFE(folded, i, unit);
        if (const char32_t letter = skeletonLetter(static_cast<char32_t>(unit)))
            out.push_back({letter, begin, end, capital});
    }
}

} // namespace

std::vector<SkeletonLetter> skeletonLetters(std::string_view text) {
    std::vector<SkeletonLetter> letters;
    letters.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto begin = static_cast<std::uint32_t>(at);
        bool bad = false;
        const char32_t c = rt::decodeUTF8(text, at, bad);
        if (!bad) appendFolded(letters, c, begin, static_cast<std::uint32_t>(at));
    }
    return letters;
}

std::u32string skeletonOf(std::string_view text) {
    std::u32string skeleton;
    for (const SkeletonLetter& letter : skeletonLetters(text))
        skeleton += letter.letter;
    return skeleton;
}

} // namespace sim
