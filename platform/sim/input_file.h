#pragma once
// Files a person hands a run (a device profile, a tester script, a camera frame): read once, and
// only when they are what they claim to be.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/object.h"

namespace sim {

// The most an input file may hold: profiles and scripts are a few kilobytes.
inline constexpr std::size_t kInputFileLimit = 4 * 1024 * 1024;

// The text of a regular file of at most `limit` bytes (a whole number of MB). Nullopt, with the
// reason and without the path ("a folder, not a file", "not a regular file", "larger than 4 MB",
// "cannot be read: No such file or directory"), for anything else.
std::optional<std::string> readInputFile(const std::string& path, std::string* reason,
                                         std::size_t limit = kInputFileLimit);

// The JSON document of such a file's text (an object or an array at the top, as ns objects); nil,
// with what is wrong and where ("Expected ',' or '}' after a value in an object around line 3,
// column 3."), for text that is not JSON.
rt::Id readJSONText(std::string_view text, std::string* fault);

} // namespace sim
