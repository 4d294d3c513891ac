#pragma once
// What a run writes of texts it does not control (a script's, the application's, a URL handed
// over): the one escaping and cut that the device log, the tester's steps and the run report
// share, the masking a URL handed to the application goes through wherever the run writes it, and
// the values (the device's identifiers, what was typed into a secure entry) masked wherever they
// appear in those texts.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/runtime/log.h"

namespace sim {

// The escaping and the cut are the log's (platform/runtime/log.h), which the platform's own messages
// use too: control characters spelled out, texts cut at kPrintedTextLimit bytes.
using ns::appendPrintable;
using ns::kPrintedTextLimit;
// `text` with the run's secrets masked (maskedRunSecrets), then cut and made printable as
// ns::printableCut does.
std::string printableCut(std::string_view text, std::size_t limit = kPrintedTextLimit);

// A URL handed to the application carries the device's identity (the application reads it as
// such), so whatever the run writes of one (the device log, a step that hands it over) goes
// through this masking: none by default (the URL as given); the main job installs the
// application's. Returns the masking it replaces. Any thread.
using TextMasking = std::function<std::string(std::string_view text)>;
using URLMasking = TextMasking;
URLMasking setHandedOverURLMasking(URLMasking masking);
std::string maskedHandedOverURL(std::string_view url);

// An identifier may stand in a text however it is written (inside another pair's value, encoded
// again, as a bare number), so maskedRunSecrets also passes each text through this masking: none
// by default; the main job installs the application's finder of identifiers. Returns the masking
// it replaces. Any thread.
TextMasking setIdentifierMasking(TextMasking masking);

// The values a run keeps out of every text it writes that comes from outside the run's own words
// (a script's steps and names, typed and seen texts, screen texts, the service's replies, URLs,
// the application's log lines, the texts its pictures draw), each with what is written in its
// place. Kept only while a RunSecrets lives (the main job's run); otherwise adding one does nothing
// and nothing is masked. What the run writes in its own words (times, verdicts, counts, labels) is
// never passed through the masking. Meanwhile the platform's messages mask the texts they quote
// whole with them (ns::setQuoteMasking). Any thread.
class RunSecrets {
public:
    RunSecrets();
    ~RunSecrets(); // the values are forgotten
    RunSecrets(const RunSecrets&) = delete;
    RunSecrets& operator=(const RunSecrets&) = delete;

private:
    ns::QuoteMasking quoteMasking_;
};
// Shorter values are masked only where a whole text is the value: three characters or fewer would
// turn up inside ordinary words and numbers ("pas" in "pass", "200" in "152.200").
inline constexpr std::size_t kShortestSecretInside = 4; // characters
// How a secret is found in a text: as it is written (a password), or as people write an
// identifier: in either case, with spaces, "-" or "." between its characters ("35 693803 564380 9"
// or "35-693803-564380-9" for "356938035643809", "f2lxk0aahg7f" for "F2LXK0AAHG7F"; such a
// separator in the identifier itself is passed over too).
enum class SecretSpelling { Exact, Identifier };
// Every later text the run writes from outside its own words shows `shownAs` in place of `value`.
void addRunSecret(std::string_view value, std::string shownAs,
                  SecretSpelling spelling = SecretSpelling::Exact);
// `text` with each secret in it replaced, from the left, the longest where several start at once
// (one under kShortestSecretInside characters only when it is the whole text), then with the
// identifiers the installed identifier masking finds masked.
std::string maskedRunSecrets(std::string_view text);

} // namespace sim
