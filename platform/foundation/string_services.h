#pragma once
// String services the application leans on, as free functions over ns::String (lengths, indexes
// and ranges in UTF-16 units, as String's own), plus percent-encoding and path helpers over UTF-8
// text. Number parsing is String's own (integerValue, doubleValue, floatValue, boolValue).

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"

namespace ns {

// The pieces between occurrences of `separator` (empty pieces kept: "a,,b" gives three). An empty
// separator gives the whole string as the only piece.
rt::Ref<Array> componentsSeparatedByString(const String& s, std::string_view separator);
// Every occurrence, left to right, without overlap; an empty target changes nothing.
rt::Ref<String> stringByReplacingOccurrencesOfString(const String& s, std::string_view target,
                                                     std::string_view replacement);
// Without leading and trailing white space and newlines: U+0009-U+000D, U+0020, U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
rt::Ref<String> stringByTrimmingWhitespaceAndNewlines(const String& s);
// Literal; an empty needle is never contained.
bool containsString(const String& s, std::string_view needle);
// The first occurrence of `needle` within `searchRange`, ignoring case (ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters, by simple one-to-one folding). {NotFound, 0} when absent
// or when the needle is empty; a range past the end throws ns::Exception "NSRangeException".
Range rangeOfStringCaseInsensitive(const String& s, std::string_view needle, Range searchRange);
Range rangeOfStringCaseInsensitive(const String& s, std::string_view needle);
// Case mapping for the same letters ("ß" upper-cases to "SS"); other characters are kept.
rt::Ref<String> lowercaseString(const String& s);
rt::Ref<String> uppercaseString(const String& s);

// Decodes %XX escapes (either case). nullopt for a '%' not followed by two hex digits, or when the
// decoded bytes are not valid UTF-8. '+' is left as it is.
std::optional<std::string> stringByRemovingPercentEncoding(std::string_view s);
// Escapes everything but the unreserved characters (A-Z a-z 0-9 - . _ ~), as a query value needs
// ('&', '=', '+', '/', '?', '#' and spaces escaped too); upper-case hex.
std::string stringByAddingPercentEncoding(std::string_view s);

// Path helpers with the platform's rules: one '/' between components, no trailing '/' kept.
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string lastPathComponent(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
// The extension without its dot ("" when none); a leading dot does not start one.
std::string pathExtension(std::string_view path);
std::string stringByDeletingPathExtension(std::string_view path);
std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension);

} // namespace ns
