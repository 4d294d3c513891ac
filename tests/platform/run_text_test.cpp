// The run's masker: what it finds of an identifier or a secret in a text, however written, and what
// it writes in its place; and the quotes and log lines that mask what they quote as a whole text.

#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "platform/sim/run_text.h"
#include "platform/sim/text_skeleton.h"
#include "tests/testkit/identity_spellings.h"

namespace {

using Cases = std::pair<std::string, std::string>[];

// While a run keeps them, its values are masked wherever they stand: an identifier however it is
// written (separators of any kind, case, width), an IMEI's first 14 digits wherever they stand (its
// IMEISV), a password as written, the longest where several start at once, before a
// text is cut; one under four characters only as a word of its own, and as a text a message or a
// log line quotes whole. One added while no run keeps them, and all of them once the run ends, are
// not masked.
TEST(RunTextMasker, TheRunsValuesAreMaskedHoweverWrittenWhileItKeepsThem) {
    sim::addRunSecret(sim::Secret("Q7outside"), "?");
    auto run = std::make_unique<sim::RunSecrets>();
    for (const char* identifier : {"356938035643809", "F2LXK0AAHG7F", "00008020-001C2D3E0E38002E"})
        sim::addRunSecret(sim::Secret(identifier), "<" + std::string(identifier).substr(0, 2) + ">",
                          sim::SecretSpelling::Identifier);
    for (const auto& [password, shown] :
         Cases{{"Zq7pw", "<Z>"}, {"pw1", "<w>"}, {"pass", "<s>"}, {"passpassx", "<x>"}})
        sim::addRunSecret(sim::Secret(password), shown);
    const Cases cases = {
        {"IMEI 35 693803 564380 9.", "IMEI <35>."},
        {"35\u00A0693803\u00A0564380\u00A09 / 35\u2013693803\u2013564380\u20139", "<35> / <35>"},
        {"3\u20115\u200B6/9_3:8\t0356438\u202E09", "<35>"},
        {"\uFF13\uFF15\uFF16\uFF19\uFF13\uFF18\uFF10\uFF13\uFF15\uFF16\uFF14\uFF13\uFF18\uFF10\uFF19",
         "<35>"},
        {"35693803564380 and 35-693803-564380-12", "************** and ************8012"},
        {"serial F2LX\tK0AA\tHG7F, f2lx_k0aa_hg7f, \uFF26\uFF12lx\uFF2B0aa\uFF28g7f",
         "serial <F2>, <F2>, <F2>"},
        {"udid 00008020:001c2d3e:0e38002e", "udid <00>"},
        {"p;passpassx passpass zq7PW Zq7pw pw1 Q7outside", "p;<x> <s><s> zq7PW <Z> <w> Q7outside"},
        {"pw1", "<w>"},
        {"pw1 ", "<w> "},
        {"pw10 xpw1 1.pw1 pw1-2 pw1's pw1view", "pw10 xpw1 1.pw1 pw1-2 pw1's pw1view"},
        {"pw1ViewController typePw1 type pw1.", "<w>ViewController typePw1 type <w>."},
        {"F2LXK0AAHG7", "F2LXK0AAHG7"},
    };
    for (const auto& [text, masked] : cases)
        EXPECT_EQ(sim::maskedRunText(text), masked) << text;
    EXPECT_EQ(sim::maskedLines(sim::printableCut(std::string(195, 'a') + "F2LXK0AAHG7F")).text(),
              std::string(195, 'a') + "<F2>");
    EXPECT_EQ(ns::printableQuote("pw1"), "<w>");
    EXPECT_EQ(ns::printableCut("pw1"), "pw1");
    {
        ns::CapturedLog log;
        ns::log("Login: logging in as %@ (%s)", ns::String::make("pw1"), "pw1");
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Login: logging in as <w> (pw1)"});
    }
    run.reset();
    EXPECT_EQ(sim::maskedRunText("F2LXK0AAHG7F pass"), "F2LXK0AAHG7F pass");
    EXPECT_EQ(ns::printableQuote("pw1"), "pw1");
}

// The password is looked for in every reading of a text: as written, with its percent-encoding,
// JSON "\u" and HTML "&#" escapes undone (however deep, a pair of "\u" for a character past
// U+FFFF), in full width, with look-alike letters or invisible characters; in the case it was
// typed in (another case is another password), and whole.
TEST(RunTextMasker, EveryReadingOfThePasswordIsMasked) {
    sim::RunSecrets run;
    sim::addRunSecret(sim::Secret("p@ss1234"), "***");
    sim::addRunSecret(sim::Secret("Zq\U0001F600x7"), "***");
    const Cases cases = {
        {"step p%40ss1234, p%2540ss1234", "step ***, ***"},
        {"p\\u0040ss1234 p\\U0040ss1234 \\u0070\\u0040\\u0073s1234", "*** *** ***"},
        {"p&#64;ss1234 p&#x40;ss1234 p&#38;#64;ss1234", "*** *** ***"},
        {"\uFF50\uFF20\uFF53\uFF53\uFF11\uFF12\uFF13\uFF14", "***"},
        {"\u0440@ss1234 p@s\u200Bs1234 p@\u0455s1234", "*** *** ***"},
        {"Zq\\ud83d\\ude00x7 Zq&#128512;x7 Zq%F0%9F%98%80x7", "*** *** ***"},
        {"P@SS1234 p@ss123 p@ss 1234 p%40ss12 Zq\\ud83dx7",
         "P@SS1234 p@ss123 p@ss 1234 p%40ss12 Zq\\ud83dx7"},
    };
    for (const auto& [text, masked] : cases)
        EXPECT_EQ(sim::maskedRunText(text), masked) << text;
}

// The identity in the spellings a reader still recognises: HTML's numeric escapes, a serial typed
// with "O" for "0" or with Cyrillic letters that look like Latin ones. An IMEI the run does not
// know, read on the skeleton: its groups apart by a minus sign, the Hangul filler, " - " or a
// doubled dash, JSON-escaped, and its IMEISV (16 digits, no check digit) as it is written; not a
// number's fraction, nor a time or a date.
TEST(RunTextMasker, EverySpellingOfTheIdentityAReaderRecognisesIsMasked) {
    {
        sim::RunSecrets run;
        sim::addRunSecret(sim::Secret(std::string(testkit::kIMEI)), "<imei>",
                          sim::SecretSpelling::Identifier);
        sim::addRunSecret(sim::Secret(std::string(testkit::kSerial)), "<serial>",
                          sim::SecretSpelling::Identifier);
        const Cases known = {
            {"&#51;&#53;&#54;&#57;&#51;&#56;&#48;&#51;&#53;&#54;&#52;&#51;&#56;&#48;&#57;", "<imei>"},
            {"&#x33;&#x35;&#x36;&#x39;&#x33;&#x38;&#x30;&#x33;&#x35;&#x36;&#x34;&#x33;&#x38;&#x30;", // its
                                                                                                     // core
             std::string(14, '*')},
            {"F2LXKOAAHG7F, f2lxkoaahg7f", "<serial>, <serial>"},
            {"F2L\u0425\u041A0\u0410\u0410\u041DG7F", "<serial>"},
            {"F2IXK0AAHG7F F2LXK0AAHG7", "<serial> F2LXK0AAHG7"},
        };
        for (const auto& [text, masked] : known)
            EXPECT_EQ(sim::maskedRunText(text), masked) << text;
    }
    const std::string masked = "***********7518", imeisv = "************5101";
    const Cases unknown = {
        {"49\u2212015420\u2212323751\u22128", masked},
        {"49\u3164015420\u3164323751\u31648", masked},
        {"IMEI 49 - 015420 - 323751 - 8.", "IMEI " + masked + "."},
        {"49--015420--323751--8", masked},
        {"\\u0034\\u0039\\u0030\\u0031\\u0035\\u0034\\u0032\\u0030\\u0033\\u0032\\u0033\\u0037\\u0035\\u0031"
         "\\u0038",
         masked},
        {"49-015420-323751-01 / 4901542032375101 / 49015420 323751 01",
         imeisv + " / " + imeisv + " / " + imeisv},
        {"1.2345678901234567 3,4901542032375101 2024-05-01 10:00:01.123 49 - 015420 : 323751",
         "1.2345678901234567 3,4901542032375101 2024-05-01 10:00:01.123 49 - 015420 : 323751"},
    };
    for (const auto& [text, shown] : unknown)
        EXPECT_EQ(sim::maskedRunText(text), shown) << text;
}

// A figure a log writes: a time, a date, a duration, a count, a price, a percentage, a level, a
// negative number, a version, a milliseconds time.
std::string ordinaryFigure() {
    const auto n = [](int low, int high) { return *rc::gen::inRange(low, high + 1); };
    char text[64];
    switch (n(0, 9)) {
    case 0:
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", n(0, 23), n(0, 59), n(0, 59));
        break;
    case 1:
        std::snprintf(text, sizeof text, "2024-%02d-%02dT%02d:%02d:%02d.%03dZ", n(1, 12), n(1, 28), n(0, 23),
                      n(0, 59), n(0, 59), n(0, 999));
        break;
    case 2:
        std::snprintf(text, sizeof text, "%d.%03d s", n(0, 9999), n(0, 999));
        break;
    case 3:
        std::snprintf(text, sizeof text, "%d", n(0, 2'000'000'000));
        break;
    case 4:
        std::snprintf(text, sizeof text, *rc::gen::element("$%d.%02d", "%d,%02d \u20AC", "\u00A3%d.%02d"),
                      n(0, 99'999), n(0, 99));
        break;
    case 5:
        std::snprintf(text, sizeof text, "%d%%", n(0, 100));
        break;
    case 6:
        std::snprintf(text, sizeof text, "%d.%06d", n(0, 1), n(0, 999'999));
        break;
    case 7:
        std::snprintf(text, sizeof text, "-%d.%d", n(0, 999), n(0, 9));
        break;
    case 8:
        std::snprintf(text, sizeof text, "%d.%d.%d", n(1, 30), n(0, 9), n(0, 9));
        break;
    default:
        std::snprintf(text, sizeof text, "17%d%08d", n(10, 99), n(0, 99'999'999));
        break;
    }
    return text;
}

// Texts of times, counts, prices and other numbers between words pass the masker unchanged while
// the run keeps its identity and a password (as the shipped scripts have them, or any other that
// none of those texts holds), and so do the texts the device's own log writes.
RC_GTEST_PROP(RunTextMasker, OrdinaryTextsPassUnchanged, ()) {
    sim::RunSecrets run;
    for (std::string_view identifier : {testkit::kIMEI, testkit::kSerial, testkit::kUDID})
        sim::addRunSecret(sim::Secret(std::string(identifier)), "<id>", sim::SecretSpelling::Identifier);
    sim::addRunSecret(sim::Secret(*rc::gen::element<std::string>("pw1", "Zq7", "Zq7pwX9", "p@ss1234",
                                                                 "Zq\u00E9+!", "Zq0.500")),
                      "***");
    std::string text;
    for (int pairs = *rc::gen::inRange(1, 8); pairs > 0; --pairs)
        text += *rc::gen::element<std::string>("volume ", "battery ", "took ", "at ", "passed: ", "price ",
                                               "total = ", "update answered ", "level ", "version ",
                                               "elapsed ", "key volumeUp: volume ", "step ", "count ") +
                ordinaryFigure() + *rc::gen::element<std::string>(" ", ", ", "; ", "\n", " / ", ". ");
    RC_ASSERT(sim::maskedRunText(text) == text);
}

// An identifier the run does not know: the value under an identity key, the key read on its
// skeleton in any notation, at any depth of percent-encoding, and a run of 14 to 16 digits passing
// the IMEI check however grouped; each masked where it was written, all else as it was. A value
// without a digit, a key inside a word or closing a tag, a value already masked, times and dates
// are left as they are.
TEST(RunTextMasker, AnIdentifierTheRunDoesNotKnowIsMaskedUnderAnyKeyAndAsAnIMEI) {
    const std::string imei = "356938035643809", masked = "***********3809";
    const std::string serial = "C39XQ1ZZHG7H", hidden = "********HG7H";
    const Cases cases = {
        {"product=a?IMEI=" + imei + "#x", "product=a?IMEI=" + masked + "#x"},
        {"product=p;udid=0f1e2d3c4b5a\" other", "product=p;udid=********4b5a\" other"},
        {"x%2526meid%253DA0000012345678 y", "x%2526meid%253D**********5678 y"}, // encoded twice
        {"uniqueid=%33%35%36%39%33%38%30%33%35%36%34%33%38%30%39", "uniqueid=" + masked},
        {"card 4111 1111 1111 1111, IMEI 35\u00A0693803\u00A0564380\u00A09, imei " + imei + "1",
         "card ************1111, IMEI " + masked + ", imei ************8091"},
        {"imei=" + masked + "&primei=1234567&imei=&" + imei.substr(0, 14) + "8 udid=ab",
         "imei=" + masked + "&primei=1234567&imei=&" + imei.substr(0, 14) + "8 udid=ab"},
        {"Result: VIBRATION 1 at 2024-05-01T10:00:00Z, 1714557600000 2024-05-01 10:00:01.123",
         "Result: VIBRATION 1 at 2024-05-01T10:00:00Z, 1714557600000 2024-05-01 10:00:01.123"},
        {R"({"serial":"C39XQ1ZZHG7H","product":"iPhone9,1"})",
         R"({"serial":")" + hidden + R"(","product":"iPhone9,1"})"},
        {R"(body {\"serial\": \"C39XQ1ZZHG7H\"})", R"(body {\"serial\": \")" + hidden + R"(\"})"},
        {"Serial:" + serial + "\nimei = 35693803564380 x", "Serial:" + hidden + "\nimei = **********4380 x"},
        {"serialNumber=" + serial + " serial_number: '" + serial + "'",
         "serialNumber=" + hidden + " serial_number: '" + hidden + "'"},
        {"SERIAL-NUMBER=" + serial + "&x=1", "SERIAL-NUMBER=" + hidden + "&x=1"},
        {"uniqueIdentifier=" + serial + " unique_device_identifier: " + serial,
         "uniqueIdentifier=" + hidden + " unique_device_identifier: " + hidden},
        {"imeisv=3569380356438001 deviceSerialNumber=" + serial + " device_imei=1234567",
         "imeisv=************8001 deviceSerialNumber=" + hidden + " device_imei=***4567"},
        {R"(udid: "0F1E 2D3C")", R"(udid: "****2D3C")"},
        {"serial\t=\t" + serial + ", serial => " + serial + ", S/N: " + serial,
         "serial\t=\t" + hidden + ", serial => " + hidden + ", S/N: " + hidden},
        {"Serial No.: " + serial + ", serial_no=" + serial + ", deviceId=<00008020-001C2D3E0E38002E>",
         "Serial No.: " + hidden + ", serial_no=" + hidden + ", deviceId=<********************002E>"},
        {"<serial>" + serial + "</serial> ok, \uFF33\uFF25\uFF32\uFF29\uFF21\uFF2C\uFF1A" + serial,
         "<serial>" + hidden + "</serial> ok, \uFF33\uFF25\uFF32\uFF29\uFF21\uFF2C\uFF1A" + hidden},
        {"serial: F2LX K0AA HG7F was read", "serial: ********HG7F was read"},
        {"primei=1234567 serials: " + serial + " serial: {\"a\": 1} udid: , model: iPhone9,1",
         "primei=1234567 serials: " + serial + " serial: {\"a\": 1} udid: , model: iPhone9,1"},
        {"at 10:00:01 imei: the serial number is on the box",
         "at 10:00:01 imei: the serial number is on the box"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(sim::maskedRunText(text), shown) << text;
}

// The identity written in any spelling (separators drawn from every Unicode space, dash and format
// character and "/ _ : \t", either case, either width, its core or its IMEISV, under a key in a
// notation or bare) inside any text: what the masker leaves holds no skeleton of it.
RC_GTEST_PROP(RunTextMasker, NoSpellingOfTheIdentityOutlastsTheMasker, ()) {
    sim::RunSecrets run;
    for (std::string_view identifier : {testkit::kIMEI, testkit::kSerial, testkit::kUDID})
        sim::addRunSecret(sim::Secret(std::string(identifier)), "<id>", sim::SecretSpelling::Identifier);
    std::mt19937 random(*rc::gen::arbitrary<std::uint32_t>());
    const std::string around =
        *rc::gen::container<std::string>(rc::gen::elementOf(std::string("ab1 :=\"/%-_")));
    const std::size_t at = *rc::gen::inRange<std::size_t>(0, around.size() + 1);
    const std::string text = around.substr(0, at) + testkit::writtenIdentity(random) + around.substr(at);
    const std::string masked = sim::maskedRunText(text);
    RC_ASSERT(testkit::heldSkeleton(masked, testkit::identitySkeletons()).empty());
}

// A serial the run does not know, under a key spelled any way in any notation: masked but for its
// last four characters.
RC_GTEST_PROP(RunTextMasker, AnUnknownSerialUnderAKeyIsMasked, ()) {
    const std::string key = *rc::gen::element<std::string>("serial", "Serial Number", "serial_no", "S/N",
                                                           "SN", "\uFF53\uFF4E", "deviceSerialNumber", "udid",
                                                           "IMEI", "unique-device-id", "meid", "esn");
    using Notation = std::pair<std::string, std::string>;
    const auto [sign, close] = *rc::gen::element(
        Notation{"=", ""}, Notation{": ", ""}, Notation{"\t=\t", ""}, Notation{" => ", ""},
        Notation{"\":\"", "\""}, Notation{">", "</x>"}, Notation{"='", "'"}, Notation{" ", ""});
    std::string value =
        *rc::gen::container<std::string>(8, rc::gen::elementOf(std::string("ABCDEFGHJKLMNPQRSTUVWXYZ")));
    value[*rc::gen::inRange<std::size_t>(0, value.size())] = *rc::gen::inRange('0', ':');
    const std::string masked = sim::maskedRunText("got " + key + sign + value + close + " ok");
    RC_ASSERT(masked == "got " + key + sign + std::string(4, '*') + value.substr(4) + close + " ok");
}

} // namespace
