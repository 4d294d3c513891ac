#pragma once
// Property lists as JSON: the file format of the user defaults, also read for the bundle's
// Info.json. Plain JSON carries strings, numbers, booleans, arrays and dictionaries; what it cannot
// carry goes in a one-key object whose key is a tag:
//   {"$data": "<base64>"}                   Data
//   {"$date": <seconds since 2001>}         Date ({"$date": {"$double": "inf"}} when not finite)
//   {"$double": "nan" | "inf" | "-inf"}     a double that is not finite
//   {"$utf16": [<unit>, ...]}               a string holding a lone surrogate (JSON text cannot)
//   {"$dict": {...}}                        a dictionary whose only key starts with '$'
// A tag is read only from an object with that single key; any other object is a dictionary, '$'
// keys included. Floating numbers always carry a '.' or an exponent, so they read back as floating.
//
// Reading is ns::JSONSerialization plus one pass over the tags, so this format has no parser of
// its own.

#include <string>
#include <string_view>

#include "platform/runtime/object.h"

namespace ns::detail {

// The deepest nesting of arrays and dictionaries in a document, the outermost one counting as 1.
inline constexpr int PropertyListJSONMaxDepth = 256;

// The text of `value`; empty (and `error` says why) for anything that is not a property list or
// that nests deeper than PropertyListJSONMaxDepth.
std::string encodePropertyListJSON(const rt::Object& value, std::string* error = nullptr);
// nil (and `error` says why) for malformed text, an unknown or malformed tag, null, or nesting
// deeper than PropertyListJSONMaxDepth. A leading UTF-8 byte order mark is skipped.
rt::Id decodePropertyListJSON(std::string_view text, std::string* error = nullptr);

} // namespace ns::detail
