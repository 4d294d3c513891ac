#pragma once
// A device's identity as people write it, drawn at random: for the privacy properties, which write
// it into texts and check that what the run writes holds none of it.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

// The shipped scripts' identity: the IMEI, the serial and the UDID.
inline constexpr std::string_view kIMEI = "356938035643809", kSerial = "F2LXK0AAHG7F",
                                  kUDID = "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c";

// Every character a person or a copied text puts between an identifier's characters: each space,
// dash and format character of Unicode, "/", "_", ":" and a tab.
const std::vector<std::string>& identifierSeparators();

// `identifier` as a person may write it: each letter in either case, each letter and digit in its
// full width or not, and between two characters nothing or a separator drawn from
// identifierSeparators() (one in three).
std::string spelledIdentifier(std::string_view identifier, std::mt19937& random);

// One of the identity's forms spelled so: the IMEI, the IMEI but its check digit (its first 14
// digits), an IMEISV (those 14 and a software version), the serial or the UDID; bare, or under a
// key in a notation ("S/N: ", "serial_no=", "\"imei\":\"...\"", "<serial>...</serial>", ...).
std::string writtenIdentity(std::mt19937& random);

// What a reader makes of `text`, judged apart from the run's masker: every escape undone, again
// while undoing one makes another (percent-encoding, JSON "\u" with its pairs, HTML "&#" in decimal
// and hex), then, over the whole text, ICU's confusable skeleton and its compatibility and case
// folding, twice, and of that the letters and digits only.
std::u32string readerSkeleton(std::string_view text);

// The skeletons (readerSkeleton) no text the run writes may hold: the IMEI's first 14 digits
// (which every form of it holds), the serial's and the UDID's.
std::vector<std::u32string> identitySkeletons();
// The first of `skeletons` that the reader's skeleton of `text` holds; empty when none.
std::u32string heldSkeleton(std::string_view text, const std::vector<std::u32string>& skeletons);

} // namespace testkit
