#pragma once
// The run folder: one object holds it while its job runs, makes every entry of the run in it, and
// records each entry as it makes it; --overwrite empties exactly what such a record names.
//
// The folder's name is made lexically normal before anything is made ("nox/../y" is "y"), and a
// name that is a link, however it is spelled ("lnk", "lnk/", "lnk/."), is refused. A default
// folder is runs/<UTC time to the millisecond>-<profile>, with "-2", "-3", ... while that name is
// taken; each is made with one mkdir that fails when the name exists, so runs started together
// each get their own. A new folder is opened at once, without following a link, and the job holds
// it for its whole life by two locks: one on the open folder itself (a rename inside the folder,
// of its mark say, cannot move it), and one on its lock file (kRunFolderLock, opened for writing
// from the open folder: a network file system keeps that one where it cannot lock a folder). The
// kernel lets go of both when the job ends however it ends. The mark (kRunFolderMark) follows the
// locks: a held folder without a mark is being made; a folder whose mark cannot be written whole
// is taken away again, with the parents made for it.
//
// Every entry of the run is made through the open folder: the object writes the run's own text
// files (writeText, textStream: the few places every text of the run passes), and gives every
// other writer (the application's home, the in-process service, the pictures, the sounds) a folder
// of the run held open (ns::Directory), never a path. Each place is resolved beneath the open
// folder, never through a link and never across a mount (ns::Directory), so nothing of the run is
// written anywhere else, whatever is renamed or linked inside meanwhile. A file that cannot be
// written whole is kept among failures(): the job ends with its own status.
//
// The record is a journal appended to the mark: each entry as the run makes it (its place, type,
// device, inode, size, modification and change times), each entry the run removes, and, once the
// job ends, an end line. So the record names only what the run made, whatever anyone else adds
// meanwhile, and a job killed outright leaves a record whole up to its last line.
//
// --overwrite empties only a folder whose mark holds such a record, that no job holds, and that
// holds none of the working folder, the home folder, the project's tree or a file the run reads
// (the script, the profile, the frames and sounds they name). It reaches the folder by its path
// once, without following a link, and checks it is the folder whose path was checked; from there
// it walks the tree relative to descriptors (one for the folder it stands in, at any depth),
// never through a link and never into another file system mounted inside. First it looks whether
// every entry is one the record names, unchanged (its change time included, which no one can set
// back), and removable. Then it moves every entry into a holding folder of its own inside the
// folder, each checked as it goes and again once there: a change found puts everything back, the
// folder whole. Only then are they removed, each first moved to a private name and checked there
// (ns::takeAway), so a file renamed onto a recorded name is never the one removed. Anything else
// (a user's file, link or folder, a run folder nested inside, a recorded file changed since, a
// hard link to one) is refused, named, and nothing is removed.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/directory.h"
#include "platform/sim/run_text.h"

namespace app {

inline constexpr const char* kRunFolderMark = ".functiontest-run";
inline constexpr const char* kRunFolderLock = ".functiontest-lock";

struct RunFolderRequest {
    std::string wanted; // --run-dir; empty: a new folder under runs/ of the working folder
    std::string label;  // the default name's end (the profile's name)
    bool overwrite = false;
    // What a folder that --overwrite empties must not hold: what it is ("the script") and its path.
    std::vector<std::pair<std::string, std::string>> kept;
    // Tests: called once --overwrite's folder has been checked by its path and before it is opened,
    // the moment someone renaming entries of its parent could swap it.
    std::function<void()> checkedByPath;
    // Tests: called once --overwrite has looked at every entry and before it takes any away, the
    // moment someone renaming a file onto a recorded name could have it taken for the run's.
    std::function<void()> betweenPasses;
};

// The folder a job runs in, held while the object lives. Not copied nor moved: what writes in it
// (its streams, the folders it hands out, the log) shares its state.
class RunFolder {
public:
    class TextStream;
    struct State;

    explicit RunFolder(std::shared_ptr<State> state) : state_(std::move(state)) {}
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    // Ends the record, unless record() has, and lets go of the folder.
    ~RunFolder();

    // The folder's absolute path, lexically normal: how the job and every message name it.
    const std::string& path() const;
    // The folder held, for what makes entries in it; named by path().
    const ns::Directory& directory() const;
    // The folder `relative` of the run, made with the folders it lacks; none, its failure kept.
    std::optional<ns::Directory> folder(std::string_view relative);

    // Writes the text file `relative` of the run whole; false, its failure kept, with none of it
    // left. (Every failed write through the folder, whoever makes it, is kept as this one's.) The
    // text is the masker's: no text file of the run is written unmasked.
    bool writeText(std::string_view relative, const sim::MaskedText& text);
    // The text file `relative` of the run, written as the run goes.
    TextStream textStream(std::string_view relative);

    // Keeps the failure of a file of the run (`what`: its name in the folder).
    void failed(std::string_view what, std::string_view why);
    // Each file of the run that could not be written whole: "<name>: <reason>", in order.
    std::vector<std::string> failures() const;

    // Ends the record of what the run made; false with why when it is not whole (the mark then
    // holds it up to its last whole line, as a job stopped before its end leaves it).
    bool record(std::string* why);

private:
    std::shared_ptr<State> state_;
};

// A text file of the run written a piece at a time (a log). A piece that cannot be written whole
// stops the writing and removes the file; the failure is kept by the folder.
class RunFolder::TextStream {
public:
    explicit TextStream(std::optional<ns::Directory::Stream> file);
    TextStream(TextStream&&) noexcept = default;
    TextStream& operator=(TextStream&&) = delete;
    ~TextStream() { close(); }

    // Appends `text` whole; nothing after a failure, nor once closed. The masker's text only.
    void append(const sim::MaskedText& text);
    void close();

private:
    std::optional<ns::Directory::Stream> file_; // none after a failure, or once closed
};

// Makes the run folder and marks it, or empties the folder --overwrite names as its record says,
// and holds it; none with why (nothing touched, nothing left behind).
std::unique_ptr<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why);

} // namespace app
