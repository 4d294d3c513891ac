#pragma once
// Files a person hands a run (a device profile, a tester script, a camera frame): read once, and
// only when they are what they claim to be.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A key written twice in one object of a JSON text. A reader keeps one of the two values, so a
// person's slip (a field pasted twice, the second one empty) would go unseen: a profile or a script
// that repeats a key is refused, naming it and where both are written.
struct RepeatedKey {
    // One step from the top of the document towards the object: a key, or an entry of a list.
    struct Step {
        std::string key;
        std::size_t index = 0;
        bool inList = false;
    };
    std::string key;         // as the reader takes it (its escapes read)
    std::vector<Step> path;  // the steps to the object that holds it
    std::size_t line = 0, column = 0;           // the second one's opening quote (from 1; columns in bytes)
    std::size_t firstLine = 0, firstColumn = 0; // the first one's

    // The key as a profile names a field, from path step `from` on: "cameras[0].position".
    std::string field(std::size_t from = 0) const;
    // "line 9, column 3 (first at line 2, column 3)"
    std::string place() const;
};

// The first key (by the place of its second writing) that an object of the text holds twice;
// nullopt when none does. Meant for text the JSON reader took: anything else gives nullopt or a
// key, never more.
std::optional<RepeatedKey> repeatedKey(std::string_view json);

} // namespace sim
