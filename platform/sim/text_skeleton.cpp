#include "platform/sim/text_skeleton.h"

#include <array>
#include <unordered_map>

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uspoof.h>
#include <unicode/utf16.h>

#include "platform/runtime/utf8.h"

namespace sim {

namespace {

// A character as folding gives it, before it is placed in the text.
struct Folded {
    char32_t letter;
    bool number, letterOrDigit;
};
using FoldedForm = std::vector<Folded>;

// ICU's data, loaded once; null where it cannot load (a character is then folded without it).
struct Folding {
    const UNormalizer2* compatibility = nullptr; // NFKC
    const UNormalizer2* caseFolding = nullptr;   // NFKC and case folding
    USpoofChecker* confusables = nullptr;        // read only: safe from any thread

    Folding() {
        UErrorCode status = U_ZERO_ERROR;
        compatibility = unorm2_getNFKCInstance(&status);
        if (U_FAILURE(status)) compatibility = nullptr;
        status = U_ZERO_ERROR;
        caseFolding = unorm2_getNFKCCasefoldInstance(&status);
        if (U_FAILURE(status)) caseFolding = nullptr;
        status = U_ZERO_ERROR;
        confusables = uspoof_open(&status);
        if (U_FAILURE(status)) confusables = nullptr;
    }
};

const Folding& folding() {
    static const Folding* const shared = new Folding; // immortal: read until the end
    return *shared;
}

std::u16string utf16(std::u32string_view text) {
    std::u16string out;
    for (const char32_t c : text) {
        UChar units[2];
        std::int32_t length = 0;
        U16_APPEND_UNSAFE(units, length, static_cast<UChar32>(c));
        out.append(units, units + length);
    }
    return out;
}

std::u32string utf32(const UChar* units, std::int32_t length) {
    std::u32string out;
    for (std::int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT_UNSAFE(units, i, c);
        out += static_cast<char32_t>(c);
    }
    return out;
}

// `text` through a normalizer, or as it is without one.
std::u32string normalized(const UNormalizer2* normalizer, std::u32string_view text) {
    if (!normalizer) return std::u32string(text);
    const std::u16string source = utf16(text);
    UChar out[64]; // the longest folding of one character is 18 units
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t length = unorm2_normalize(normalizer, source.data(),
                                                 static_cast<std::int32_t>(source.size()), out, 64, &status);
    return U_SUCCESS(status) ? utf32(out, length) : std::u32string(text);
}

// The characters `c` looks like (its confusable skeleton); itself without the data.
std::u32string lookalike(char32_t c) {
    const USpoofChecker* checker = folding().confusables;
    if (!checker) return std::u32string(1, c);
    const std::u16string source = utf16(std::u32string_view(&c, 1));
    UChar out[32];
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t length = uspoof_getSkeleton(
        checker, 0, source.data(), static_cast<std::int32_t>(source.size()), out, 32, &status);
    return U_SUCCESS(status) ? utf32(out, length) : std::u32string(1, c);
}

char32_t asciiDigit(char32_t c) {
    return U'0' + static_cast<char32_t>(u_charDigitValue(static_cast<UChar32>(c)));
}

bool isDecimalDigit(char32_t c) {
    return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

// A letter (or a digit a letter looks like) as the skeleton keeps it: the letters that look like
// digits as those digits ("o" as "0"; "i" and "l", which "I" looks like, as "1").
char32_t prototypeOf(char32_t c) {
    if (isDecimalDigit(c)) return asciiDigit(c);
    return c == U'o' || c == U'O' ? U'0' : c == U'l' || c == U'i' ? U'1' : c;
}

// What `text` looks like, case folded unless `keepCase`.
std::u32string looksLike(std::u32string_view text, bool keepCase) {
    std::u32string out;
    for (const char32_t c : text)
        for (const char32_t looks : lookalike(c))
            out += keepCase ? std::u32string(1, looks)
                            : normalized(folding().caseFolding, std::u32string_view(&looks, 1));
    return out;
}

// A letter: as it looks, and, case folded, that again, so that either case of a letter looks as
// the other does ("I" looks like "l", "M" folds to "m", which looks like "rn"); a digit it looks
// like is no number of the text.
void foldLetter(char32_t c, bool keepCase, FoldedForm& out) {
    const std::u32string looks = looksLike(std::u32string_view(&c, 1), keepCase);
    for (const char32_t folded : keepCase ? looks : looksLike(looks, false)) {
        const auto u = static_cast<UChar32>(folded);
        if (u_hasBinaryProperty(u, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) continue;
        if (u_isalnum(u))
            out.push_back({prototypeOf(folded), false, true});
        else
            out.push_back({folded, false, false});
    }
}

// Any other character: a space of any width as a space, what it looks like when that is no letter
// or digit ("−" as "-"), else itself.
void foldOther(char32_t c, FoldedForm& out) {
    if (u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR) {
        out.push_back({U' ', false, false});
        return;
    }
    const std::u32string looks = lookalike(c);
    for (const char32_t k : looks)
        if (u_isalnum(static_cast<UChar32>(k))) {
            out.push_back({c, false, false});
            return;
        }
    for (const char32_t k : looks)
        out.push_back({k, false, false});
}

FoldedForm foldCharacter(char32_t c, bool keepCase) {
    FoldedForm out;
    const auto u = static_cast<UChar32>(c);
    if (u_hasBinaryProperty(u, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) return out;
    if (isDecimalDigit(c)) {
        out.push_back({asciiDigit(c), true, true});
        return out;
    }
    const auto decomposition = u_getIntPropertyValue(u, UCHAR_DECOMPOSITION_TYPE);
    const std::u32string compatible = decomposition == U_DT_NONE || decomposition == U_DT_CANONICAL
                                          ? std::u32string(1, c)
                                          : normalized(folding().compatibility, std::u32string_view(&c, 1));
    for (const char32_t part : compatible) {
        const auto p = static_cast<UChar32>(part);
        if (u_hasBinaryProperty(p, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) continue;
        if (isDecimalDigit(part))
            out.push_back({asciiDigit(part), true, true});
        else if (u_isalnum(p))
            foldLetter(part, keepCase, out);
        else
            foldOther(part, out);
    }
    return out;
}

// ASCII folded once, the rest as it comes, each thread keeping what it folded.
const FoldedForm& foldedForm(char32_t c, bool keepCase) {
    using Table = std::array<FoldedForm, 128>;
    static const std::array<Table, 2> ascii = [] {
        std::array<Table, 2> tables;
        for (char32_t k = 0; k < 128; ++k)
            for (const bool keep : {false, true})
                tables[keep][k] = foldCharacter(k, keep);
        return tables;
    }();
    if (c < 128) return ascii[keepCase][c];
    thread_local std::array<std::unordered_map<char32_t, FoldedForm>, 2> seen;
    auto& forms = seen[keepCase];
    const auto found = forms.find(c);
    return found != forms.end() ? found->second : forms.emplace(c, foldCharacter(c, keepCase)).first->second;
}

// The folded text of `text`, or its skeleton (`skeleton`: letters and digits only, case folded).
std::vector<SkeletonLetter> folded(std::string_view text, bool skeleton) {
    std::vector<SkeletonLetter> letters;
    letters.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto begin = static_cast<std::uint32_t>(at);
        bool bad = false;
        const char32_t c = rt::decodeUTF8(text, at, bad);
        if (bad) continue;
        const bool capital = c < 128 ? c >= U'A' && c <= U'Z' : u_isupper(static_cast<UChar32>(c));
        for (const Folded& f : foldedForm(c, !skeleton))
            if (!skeleton || f.letterOrDigit)
                letters.push_back(
                    {f.letter, begin, static_cast<std::uint32_t>(at), capital, f.number, f.letterOrDigit});
    }
    return letters;
}

std::u32string lettersOf(const std::vector<SkeletonLetter>& letters) {
    std::u32string out;
    out.reserve(letters.size());
    for (const SkeletonLetter& letter : letters)
        out += letter.letter;
    return out;
}

} // namespace

std::vector<SkeletonLetter> foldedCharacters(std::string_view text) {
    return folded(text, false);
}

std::vector<SkeletonLetter> skeletonLetters(std::string_view text) {
    return folded(text, true);
}

std::u32string foldedTextOf(std::string_view text) {
    return lettersOf(foldedCharacters(text));
}

std::u32string skeletonOf(std::string_view text) {
    return lettersOf(skeletonLetters(text));
}

} // namespace sim
