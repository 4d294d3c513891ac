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
#include <utility>
#include <vector>

#include "platform/runtime/log.h"
#include "platform/sim/secret.h"

namespace sim {

// The escaping and the cut are the log's (platform/runtime/log.h), which the platform's own messages
// use too: control and bidirectional formatting characters and bytes that are not UTF-8 spelled
// out, texts cut at kPrintedTextLimit bytes.
using ns::appendPrintable;
using ns::kPrintedTextLimit;
// A text from outside the run's own words (a script's, the application's, a path) as a text the run
// puts together quotes it: marked as such and kept as it is, so that whoever writes the text
// masks it then, with every secret the run knows by that time, as a whole text (maskedRunText),
// then cuts it and makes it printable as ns::printableCut does. What puts the text together masks
// nothing. A marked text quoted again, marked again (a message that quotes a refusal), is masked
// whole, then each text it quotes.
std::string printableCut(std::string_view text, std::size_t limit = kPrintedTextLimit);

// A text the run writes, masked: only the masker makes one (maskedLines, maskedMessage,
// maskedOutsideText), and every writer of the run's texts (its files and logs, standard output and
// standard error, the report) takes only this, so no text leaves the run unmasked.
class MaskedText {
public:
    const std::string& text() const noexcept { return text_; }
    // The same text with `lead` (the run's own words: a time) before each of its lines.
    MaskedText withLinesLedBy(std::string_view lead) const;

private:
    explicit MaskedText(std::string text) : text_(std::move(text)) {}
    friend MaskedText maskedWritten(std::string_view composed, bool ownWords, bool spelledOut);
    std::string text_;
};
// A text the run put together of its own words and texts from outside it marked (printableCut):
// each of those masked, cut and made printable; the run's own words (verdicts, times, counts,
// labels) masked only of an identifier, never of a password ("pass" stays a verdict whatever the
// password), and what a reader would not see as written in them spelled out, line by line (the
// report, steps.log, device.log).
MaskedText maskedLines(std::string_view composed);
// A message of one line (on standard error): all of it masked, the texts it quotes as above, then
// made printable.
MaskedText maskedMessage(std::string_view composed);
// A text from outside the run as a whole (a line of the application's log): masked, as it is else.
MaskedText maskedOutsideText(std::string_view text);

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
// A value under this many characters is masked only where it stands as a word of its own (and one
// of a single character only where a whole text is it): shorter ones turn up inside ordinary words
// and numbers ("pas" in "pass", "200" in "152.200").
inline constexpr std::size_t kShortestSecretInside = 4; // characters
// How a value is found in a text (text_skeleton.h): as it is written (a password), on the folded
// text, whatever width, look-alike letters or invisible characters a person writes it with, in its
// own case ("ｐ＠ｓｓ１２３４" and "\u0440@ss1234" for "p@ss1234", not "P@SS1234"); or as an
// identifier, on the skeleton, in either case and whatever separators it is written with besides ("35 693803 564380 9", "35\u2011693803\u2011564380\u20119", "f2lxkOaahg7f" and
// "Ｆ２ＬＸＫ０ＡＡＨＧ７Ｆ" for "F2LXK0AAHG7F"), and for an IMEI (15 digits) or an IMEISV (16) its first 14
// digits as well, wherever they stand (the identity but its check digit or software version).
enum class SecretSpelling { Exact, Identifier };
// Every later text the run writes from outside its own words shows `shownAs` in place of `value`
// (an IMEI's first 14 digits show as "*" each).
void addRunSecret(const Secret& value, std::string shownAs, SecretSpelling spelling = SecretSpelling::Exact);
// A text a script types, known as the script is read, before the run shows where it goes: masked
// as "***" from then on, as a password is, until it goes into a field that is not secure (and
// never into a secure one): typedTextShown. A value addRunSecret keeps stays.
void addTypedRunSecret(const Secret& typed);
void typedTextShown(std::string_view typed);

// What the masker writes in place of the bytes [begin, end) of a text.
struct MaskedPart {
    std::size_t begin, end;
    std::string shown;
};
// The parts of `text` the masker replaces, in order, none overlapping another:
// - each of the run's values (the longest where several start at once; where they overlap, one
//   part, written as the value that covers it, else as "*" for each of its characters); one under
//   kShortestSecretInside characters only where it stands as a word of its own, not inside a word
//   or a number, nor joined to one by ".", ",", ":", "-" or "'" ("type pw1" and "pw1ViewController",
//   a word of camel case, not "pw10" or "1.pw1"), and one of a single character only where it is
//   the whole text;
// - an identifier the run does not know: the value that follows an identity key, the key read on
//   its skeleton ("imei", "imeisv", "meid", "esn", "serial", "serial number", "serial no", "S/N",
//   "udid", "device id", "unique identifier", "unique device identifier", ... in any case, width
//   and spelling, alone or as the end of a longer name: "deviceSerialNumber", "device_imei"), then
//   any run of separators and markup within one pair ("=", ": ", " => ", "\t=\t", "\":\"", ">"; a
//   value already masked, led by "*", is left), the value being up to its closing quote when
//   quoted, else its letters and digits with single "-", ".", "_", "/", ":" or format characters
//   between them, and holding a digit; and a run of 14 to 16 digits, in groups with one to three
//   spaces, dashes (a minus "−" too), dots, "/", "_" or invisible characters between them
//   ("35 - 693803 - 564380 - 9", "35--693803", "35\u3164693803"), not starting as the fraction of
//   a number ("1.2345..."), whose last is the IMEI check digit of the others (Luhn), or of 16
//   digits written as an IMEISV is (whole, or 2-6-6-2, 8-6-2 or 14-2), which has none. Both are
//   written as "*" for each character but the last four, those as written, without the
//   separators ("serial: F2LX K0AA HG7F" -> "serial: ********HG7F");
// all read in the text as written and once every escape in it is undone, however deep: percent-
// encoding ("%2526" reads as "&"), JSON's "\u0040" (a pair of them for a character past U+FFFF)
// and HTML's "&#51;" and "&#x33;".
std::vector<MaskedPart> runTextMasks(std::string_view text);
// `text` with those parts replaced.
std::string maskedRunText(std::string_view text);

} // namespace sim
