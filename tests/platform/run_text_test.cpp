// The run's masker: what it finds of an identifier or a secret in a text, however written, and what
// it writes in its place; and the quotes and log lines that mask what they quote as a whole text.

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
        {"pw10 xpw1 1.pw1 pw1-2 pw1's", "pw10 xpw1 1.pw1 pw1-2 pw1's"},
        {"F2LXK0AAHG7", "F2LXK0AAHG7"},
    };
    for (const auto& [text, masked] : cases)
        EXPECT_EQ(sim::maskedRunText(text), masked) << text;
    EXPECT_EQ(sim::printableCut(std::string(195, 'a') + "F2LXK0AAHG7F"), std::string(195, 'a') + "<F2>");
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
