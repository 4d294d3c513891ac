#pragma once
// Device identifiers (imei, meid, serial, udid) never reach the log in full: every character but
// the last four becomes "*", and a value of four characters or fewer is masked whole.
//
// The identity text that arrives through "qx://" ("k=v&k=v") is read here once for both of its
// uses: the pairs the intake stores, and the same text for the log with every identifier's value
// masked. Both come from one reading (identityPairs), so a key the intake takes for an identifier
// (after percent-decoding and with the scheme removed anywhere) is always a key the log masks.
// Only the product is shown as it is: a pair under any other key (IMEI, " imei", a key that does
// not decode or decodes to another, the URL's path) may hide an identifier, so it is masked
// whole, and so is a fragment ("#...").

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ft {

// The keys whose values identify the device, in the order the unique id prefers them.
inline constexpr std::array<std::string_view, 4> kIdentifierKeys = {"imei", "meid", "serial", "udid"};
// The one other key the intake takes, and the one pair the log shows as it is.
inline constexpr std::string_view kProductKey = "product";

// The user defaults keys under which the intake stores the device's identity.
inline constexpr std::array<std::string_view, 3> kStoredIdentifierKeys = {"uniqueid", "serial", "meid"};

// "356938035643809" -> "***********3809"; "ABCD" -> "****". Counts characters, not bytes.
std::string maskedIdentifier(std::string_view value);

// One "key=value" pair of an identity text, percent-decoded (nullopt: that part does not decode),
// and where the pair and its value stand in the text as it was given.
struct IdentityPair {
    std::optional<std::string> key, value;
    std::size_t begin = 0, end = 0;           // the pair's bytes in the text
    std::size_t valueBegin = 0, valueEnd = 0; // its value's bytes (empty for an empty value)

    // The value is an identifier's, or may be one (any pair but the product's): the log masks it.
    bool masked() const;
    // The key is none the intake takes (nor decodes): the log masks key and value together.
    bool maskedWhole() const;
};

// The pairs of `text` up to its first "#" (a fragment is no part of them), once every "qx://" in
// it is removed (anywhere, not only in front): split at "&"; a key is what precedes the first "=",
// its value everything after it (a piece without "=" is its own key and value). Empty when nothing
// is left.
std::vector<IdentityPair> identityPairs(std::string_view text);

// The bytes [from, to) of `text` (all of it by default) with every pair of `pairs` (read from that
// text) that is maskedWhole() masked, the value of every other one that is masked() masked, and
// the fragment masked. A "qx://" inside what is masked is masked with it.
std::string maskedIdentityText(std::string_view text, const std::vector<IdentityPair>& pairs,
                               std::size_t from = 0, std::size_t to = std::string_view::npos);
// The same, reading the pairs itself:
// "qx://im%65i=356938035643809&product=iPad" -> "qx://im%65i=***********3809&product=iPad";
// "qx://IMEI=356938035643809" -> "qx://****************3809".
std::string maskedIdentityText(std::string_view text);

// The identifiers `text` carries, each once: the value of every pair under one of
// kIdentifierKeys, decoded ("qx://imei=3569%33&product=x" -> "35693"; as written where it does not
// decode).
std::vector<std::string> identifierValues(std::string_view text);

} // namespace ft
