#pragma once
// Files a person hands a run (a device profile, a tester script, a camera frame): read once, and
// only when they are what they claim to be.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
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

// What the frames and sounds a run reads may take decoded, together: two of the largest frames
// (8192 x 8192 RGB, 192 MB each) and a minute of sound fit; a third such frame is refused.
inline constexpr std::size_t kDecodedInputLimit = std::size_t{512} << 20;

// The files a run's profile and script name (camera frames, sounds), each decoded once and shared
// by everything that names it: a file named by 60 steps is one image in memory. While a
// DecodedInputs::Reading lives, the readers of such files on its thread (sim::frameFileImage,
// sim::soundFileSamples) go through it; without one each decodes on its own. A file is known by
// its device and inode as opened, so two spellings of one path are one file, and a file replaced
// under its name meanwhile is another. Their total is held to a limit: the file that would take it
// over is refused, naming the limit.
class DecodedInputs {
public:
    explicit DecodedInputs(std::size_t limit = kDecodedInputLimit) : limit_(limit) {}
    DecodedInputs(const DecodedInputs&) = delete;
    DecodedInputs& operator=(const DecodedInputs&) = delete;

    // What a decoder makes of a file's bytes: the value and the bytes it takes, or null with why.
    struct Decoded {
        std::shared_ptr<const void> value;
        std::size_t bytes = 0;
    };
    using Decoder = std::function<Decoded(std::string_view bytes, std::string* reason)>;

    // The file at `path` as `decoder` makes it (`kind` tells decoders apart: a file read as a frame
    // and as a sound is decoded once each): the one decoded already when the file was read before,
    // else read (a regular file of at most `fileLimit` bytes) and decoded now. Null, with the reason
    // and without the path, when it cannot be read or decoded, or would take the total past the
    // limit. With no Reading open on this thread, the file is read and decoded alone.
    static std::shared_ptr<const void> read(std::string_view kind, const std::string& path, std::size_t fileLimit,
                                            const Decoder& decoder, std::string* reason);

    // The files decoded, and the bytes they take.
    std::size_t files() const { return kept_.size(); }
    std::size_t bytes() const { return bytes_; }

    // Puts the store in place for the readers on this thread while it lives (the one before, if
    // any, comes back after).
    class Reading {
    public:
        explicit Reading(DecodedInputs& store);
        ~Reading();
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;

    private:
        DecodedInputs* previous_;
    };

private:
    using Key = std::tuple<std::string, std::uint64_t, std::uint64_t>; // kind, device, inode
    std::size_t limit_;
    std::size_t bytes_ = 0;
    std::map<Key, std::shared_ptr<const void>> kept_;
};

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
