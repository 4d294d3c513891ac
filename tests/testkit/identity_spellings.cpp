#include "tests/testkit/identity_spellings.h"

#include <unicode/uchar.h>

#include <array>
#include <cctype>

#include "platform/runtime/utf8.h"
#include "platform/sim/text_skeleton.h"

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

std::vector<std::u32string> identitySkeletons() {
    return {sim::skeletonOf(kIMEI.substr(0, 14)), sim::skeletonOf(kSerial), sim::skeletonOf(kUDID)};
}

std::u32string heldSkeleton(std::string_view text, const std::vector<std::u32string>& skeletons) {
    const std::u32string skeleton = sim::skeletonOf(text);
    for (const std::u32string& held : skeletons)
        if (skeleton.find(held) != std::u32string::npos) return held;
    return {};
}

} // namespace testkit
