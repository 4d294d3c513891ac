#include "tests/testkit/identity_spellings.h"

#include <unicode/normalizer2.h>
#include <unicode/schriter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>

#include <array>
#include <cctype>

#include "platform/runtime/utf8.h"

namespace testkit {

namespace {

bool chance(std::mt19937& random, int oneIn) {
    return std::uniform_int_distribution<int>(1, oneIn)(random) == 1;
}

template <class List> const auto& pick(const List& list, std::mt19937& random) {
    return list[std::uniform_int_distribution<std::size_t>(0, std::size(list) - 1)(random)];
}

} // namespace

const std::vector<std::string>& identifierSeparators() {
    static const std::vector<std::string> separators = [] {
        std::vector<std::string> all = {"/", "_", ":", "\t"};
        for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
            const auto type = u_charType(c);
            if (type != U_SPACE_SEPARATOR && type != U_DASH_PUNCTUATION && type != U_FORMAT_CHAR) continue;
            rt::appendUTF8(all.emplace_back(), static_cast<char32_t>(c));
        }
        return all;
    }();
    return separators;
}

std::string spelledIdentifier(std::string_view identifier, std::mt19937& random) {
    std::string out;
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        char c = identifier[i];
        if (std::isalpha(static_cast<unsigned char>(c)))
            c = static_cast<char>(chance(random, 2) ? std::toupper(static_cast<unsigned char>(c))
                                                    : std::tolower(static_cast<unsigned char>(c)));
        if (chance(random, 3))
            rt::appendUTF8(out, static_cast<char32_t>(c) - U'!' + U'\uFF01'); // its full-width form
        else
            out += c;
        if (i + 1 < identifier.size() && chance(random, 3)) out += pick(identifierSeparators(), random);
    }
    return out;
}

std::string writtenIdentity(std::mt19937& random) {
    std::string identifier;
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
    case 0:
        identifier = kIMEI;
        break;
    case 1:
        identifier = kIMEI.substr(0, 14);
        break;
    case 2:
        identifier = std::string(kIMEI.substr(0, 14)) + std::to_string(10 + random() % 90);
        break;
    case 3:
        identifier = kSerial;
        break;
    default:
        identifier = kUDID;
        break;
    }
    const std::string spelled = spelledIdentifier(identifier, random);
    static constexpr std::array<std::string_view, 12> kKeys = {"imei",
                                                               "IMEI",
                                                               "imeisv",
                                                               "S/N",
                                                               "serial_no",
                                                               "Serial No.",
                                                               "serialNumber",
                                                               "SERIAL",
                                                               "udid",
                                                               "deviceId",
                                                               "unique-device-identifier",
                                                               "ｓｅｒｉａｌ"};
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kNotations = {
        {{"", ""},
         {"=", ""},
         {": ", ""},
         {"\t=\t", ""},
         {" => ", ""},
         {"\":\"", "\""},
         {"='", "'"},
         {">", "</x>"}}};
    if (chance(random, 3)) return spelled;
    const auto& [sign, close] = pick(kNotations, random);
    return std::string(pick(kKeys, random)) + (sign.empty() ? " " : std::string(sign)) + spelled +
           std::string(close);
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if ((c | 32) >= 'a' && (c | 32) <= 'f') return (c | 32) - 'a' + 10;
    return -1;
}

// The number the hex digits at text[at, at + count) write, or -1.
long hexAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    long value = 0;
    for (std::size_t k = at; k < at + count; ++k) {
        if (hexValue(text[k]) < 0) return -1;
        value = value * 16 + hexValue(text[k]);
    }
    return value;
}

// One pass over `text` undoing each escape it holds.
std::string undoEscapes(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '%' && hexAt(text, at + 1, 2) >= 0) {
            out += static_cast<char>(hexAt(text, at + 1, 2));
            at += 3;
            continue;
        }
        if (text[at] == '\\' && at + 1 < text.size() && (text[at + 1] | 32) == 'u') {
            long unit = hexAt(text, at + 2, 4);
            std::size_t length = 6;
            const long low = at + 7 < text.size() && text[at + 6] == '\\' ? hexAt(text, at + 8, 4) : -1;
            if (unit >= 0xD800 && unit < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                length = 12;
            }
            if (unit >= 0 && (unit < 0xD800 || unit > 0xDFFF)) {
                rt::appendUTF8(out, static_cast<char32_t>(unit));
                at += length;
                continue;
            }
        }
        if (text[at] == '&' && at + 1 < text.size() && text[at + 1] == '#') {
            const bool hex = at + 2 < text.size() && (text[at + 2] | 32) == 'x';
            std::size_t end = at + (hex ? 3 : 2);
            long value = 0;
            while (end < text.size() && end - at < 12 &&
                   (hex ? hexValue(text[end]) >= 0 : text[end] >= '0' && text[end] <= '9'))
                value = value * (hex ? 16 : 10) + hexValue(text[end++]);
            if (end < text.size() && text[end] == ';' && end > at + (hex ? 3 : 2) && value > 0 &&
                value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
                rt::appendUTF8(out, static_cast<char32_t>(value));
                at = end + 1;
                continue;
            }
        }
        out += text[at++];
    }
    return out;
}

icu::UnicodeString looksLikeFolded(const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    static USpoofChecker* const checker = uspoof_open(&status);
    const icu::Normalizer2* folding = icu::Normalizer2::getNFKCCasefoldInstance(status);
    icu::UnicodeString skeleton;
    uspoof_getSkeletonUnicodeString(checker, 0, text, skeleton, &status);
    return folding->normalize(skeleton, status);
}

} // namespace

std::u32string readerSkeleton(std::string_view text) {
    std::string plain(text);
    if (plain.find_first_of("%\\&") != std::string::npos)
        for (std::string undone = undoEscapes(plain); undone != plain; undone = undoEscapes(plain))
            plain = std::move(undone);
    const icu::UnicodeString read = looksLikeFolded(looksLikeFolded(icu::UnicodeString::fromUTF8(plain)));
    std::u32string skeleton;
    for (icu::StringCharacterIterator it(read); it.hasNext();) {
        const UChar32 c = it.next32PostInc();
        if (u_isalnum(c)) skeleton += static_cast<char32_t>(c);
    }
    return skeleton;
}

std::vector<std::u32string> identitySkeletons() {
    return {readerSkeleton(kIMEI.substr(0, 14)), readerSkeleton(kSerial), readerSkeleton(kUDID)};
}

std::u32string heldSkeleton(std::string_view text, const std::vector<std::u32string>& skeletons) {
    const std::u32string skeleton = readerSkeleton(text);
    for (const std::u32string& held : skeletons)
        if (skeleton.find(held) != std::u32string::npos) return held;
    return {};
}

} // namespace testkit
