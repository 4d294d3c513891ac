#pragma once
// What a run writes of texts it does not control (a script's, the application's, a URL handed
// over): the one escaping and cut that the device log, the tester's steps and the run report
// share, the masking a URL handed to the application goes through wherever the run writes it, and
// the run's masker: the one place that decides what of a text is an identifier or a secret, and
// what is written in its place.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/log.h"

namespace sim {

// The escaping and the cut are the log's (platform/runtime/log.h), which the platform's own messages
// use too: control and bidirectional formatting characters and bytes that are not UTF-8 spelled
// out, texts cut at kPrintedTextLimit bytes.
using ns::appendPrintable;
using ns::kPrintedTextLimit;
// `text` through the masker (maskedRunText), then cut and made printable as ns::printableCut does.
std::string printableCut(std::string_view text, std::size_t limit = kPrintedTextLimit);

// A URL handed to the application carries the device's identity (the application reads it as
// such), so whatever the run writes of one (the device log, a step that hands it over) goes
// through this masking: none by default (the URL as given); the main job installs the
// application's. Returns the masking it replaces. Any thread.
using TextMasking = std::function<std::string(std::string_view text)>;
using URLMasking = TextMasking;
URLMasking setHandedOverURLMasking(URLMasking masking);
std::string maskedHandedOverURL(std::string_view url);

// The values the run knows to keep out of every text it writes that comes from outside the run's
// own words (a script's steps and names, typed and seen texts, screen texts, the service's
// replies and requests, URLs, the application's log lines, the texts its pictures draw), each
// with what is written in its place. Kept only while a RunSecrets lives (the main job); otherwise
// adding one does nothing. What the run writes in its own words (times, verdicts, counts, labels)
// is never passed through the masker. Meanwhile the platform's messages and the application's log
// lines mask what they quote whole as a whole text (ns::setQuoteMasking). Any thread.
class RunSecrets {
public:
    RunSecrets();
    ~RunSecrets(); // the values are forgotten
    RunSecrets(const RunSecrets&) = delete;
    RunSecrets& operator=(const RunSecrets&) = delete;

private:
    ns::QuoteMasking quoteMasking_;
};
// A value under this many characters is masked only where a whole text is it: shorter ones turn up
// inside ordinary words and numbers ("pas" in "pass", "200" in "152.200").
inline constexpr std::size_t kShortestSecretInside = 4; // characters
// How a value is found in a text: as it is written (a password), or as an identifier by its
// skeleton (text_skeleton.h), whatever separators, case and width a person writes it in
// ("35 693803 564380 9", "35\u2011693803\u2011564380\u20119", "f2lxk0aahg7f" and "Ｆ２ＬＸＫ０ＡＡＨＧ７Ｆ"
// for "F2LXK0AAHG7F"), and for an IMEI (15 digits) or an IMEISV (16) its first 14 digits as well,
// wherever they stand (the identity but its check digit or software version).
enum class SecretSpelling { Exact, Identifier };
// Every later text the run writes from outside its own words shows `shownAs` in place of `value`
// (an IMEI's first 14 digits show as "*" each).
void addRunSecret(std::string_view value, std::string shownAs,
                  SecretSpelling spelling = SecretSpelling::Exact);

// What the masker writes in place of the bytes [begin, end) of a text.
struct MaskedPart {
    std::size_t begin, end;
    std::string shown;
};
// The parts of `text` the masker replaces, in order, none overlapping another:
// - each of the run's values (the longest where several start at once; where they overlap, one
//   part, written as the value that covers it, else as "*" for each of its characters); one under
//   kShortestSecretInside characters only where it is the whole text;
// - an identifier the run does not know: the value that follows an identity key, the key read on
//   its skeleton ("imei", "imeisv", "meid", "esn", "serial", "serial number", "serial no", "S/N",
//   "udid", "device id", "unique identifier", "unique device identifier", ... in any case, width
//   and spelling, alone or as the end of a longer name: "deviceSerialNumber", "device_imei"), then
//   any run of separators and markup within one pair ("=", ": ", " => ", "\t=\t", "\":\"", ">"; a
//   value already masked, led by "*", is left), the value being up to its closing quote when
//   quoted, else its letters and digits with single "-", ".", "_", "/", ":" or format characters
//   between them, and holding a digit; and a run of 14 to 16 digits, in groups with one space,
//   dash, dot, "/", "_" or format character between them, whose last is the IMEI check digit of
//   the others (Luhn). Both are written as "*" for each letter or digit but the last four, those
//   as written, without the separators ("serial: F2LX K0AA HG7F" -> "serial: ********HG7F");
// all read once every percent-encoding in the text is undone, however deep ("%2526" reads as "&").
std::vector<MaskedPart> runTextMasks(std::string_view text);
// `text` with those parts replaced.
std::string maskedRunText(std::string_view text);

} // namespace sim
