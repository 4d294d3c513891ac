#pragma once
// The run folder: one object owns it while its job runs, holds it, writes every file of the run
// and records what the run wrote; --overwrite empties exactly what such a record names.
//
// The folder's name is made lexically normal before anything is made ("nox/../y" is "y"), and a
// name that is a link, however it is spelled ("lnk", "lnk/", "lnk/."), is refused. A default
// folder is runs/<UTC time to the millisecond>-<profile>, with "-2", "-3", ... while that name is
// taken; each is made with one mkdir that fails when the name exists, so runs started together
// each get their own. A new folder is opened at once, without following a link, and the job holds
// it for its whole life by an advisory lock on that open folder: a rename inside the folder (of
// its mark, say) cannot move the lock, and the kernel lets go when the job ends however it ends.
// The mark (kRunFolderMark) follows the lock: a held folder without a mark is being made; a
// folder whose mark cannot be written whole is taken away again, with the parents made for it.
//
// Everything the run writes goes through the open folder: the object writes its own files
// relative to it (a file written whole is written aside and renamed into place; a file written as
// the run goes is removed when a piece of it cannot be written), and gives whatever writes by path
// (the application's home, the in-process service, the pictures, the sounds) a base that names
// the open folder itself (base()), which no rename of the folder or of its parents redirects. A
// file that cannot be written whole is kept among failures(): the job ends with its own status.
//
// When the job ends (or lets go of the folder), the mark is written again with the record of what
// the run wrote: every entry under the folder's run entries, with its place, type, device, inode,
// size and modification time, but a run folder nested inside and another file system mounted
// there. A folder whose job ended before its record was whole holds a mark without one.
//
// --overwrite empties only a folder whose mark holds a whole record, that no job holds, and that
// holds none of the working folder, the home folder, the project's tree or a file the run reads
// (the script, the profile, the frames and sounds they name). It reaches the folder by its path
// once, without following a link, and checks it is the folder whose path was checked; from there
// it walks the tree relative to descriptors (one for the folder it stands in, at any depth),
// never through a link and never into another file system mounted inside, first looking whether
// every entry is one the record names, unchanged, and removable, then removing them. Anything else
// (a user's file, link or folder, a run folder nested inside, a recorded file changed since) is
// refused, named, and nothing is removed.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace app {

inline constexpr const char* kRunFolderMark = ".functiontest-run";

struct RunFolderRequest {
    std::string wanted; // --run-dir; empty: a new folder under runs/ of the working folder
    std::string label;  // the default name's end (the profile's name)
    bool overwrite = false;
    // What a folder that --overwrite empties must not hold: what it is ("the script") and its path.
    std::vector<std::pair<std::string, std::string>> kept;
    // Tests: called once --overwrite's folder has been checked by its path and before it is opened,
    // the moment someone renaming entries of its parent could swap it.
    std::function<void()> checkedByPath;
};

// The folder a job runs in, held while the object lives.
class RunFolder {
public:
    class Stream;

    // Holds the open folder `folder` (its lock taken), named `path`.
    RunFolder(std::string path, int folder);
    RunFolder(RunFolder&& other) noexcept;
    RunFolder& operator=(RunFolder&&) = delete;
    // Records what the run wrote, unless record() has, and lets go of the folder.
    ~RunFolder();

    // The folder's absolute path, lexically normal: how the job names it.
    const std::string& path() const { return path_; }
    // The folder as a path for what writes by path: it names the open folder, wherever it has been
    // moved to. The folder's path where the system offers no such name.
    const std::string& base() const { return base_; }
    // `text` with base() spelled as path(), for a message that names a file of the run.
    std::string shown(std::string_view text) const;

    // Writes the file `relative` of the folder whole (aside, then renamed into place), or keeps
    // its failure and leaves none of it.
    bool write(std::string_view relative, std::string_view text);
    // Makes the folder `relative` with the folders it lacks; its failure kept.
    bool makeFolder(std::string_view relative);
    // The file `relative`, written as the run goes.
    Stream stream(std::string_view relative);
    // Keeps the failure of a file of the run written by path (`what`: its name in the folder).
    void failed(std::string_view what, std::string_view why);
    // Each file of the run that could not be written whole: "<name>: <reason>", in order.
    const std::vector<std::string>& failures() const { return failures_; }

    // Writes the record of what the run wrote into the mark, whole; false with why (the mark is
    // left without a record, as a job stopped before it had written one leaves it).
    bool record(std::string* why);

private:
    void remove(std::string_view relative);

    std::string path_;
    std::string base_;
    int folder_; // the open folder, locked
    bool recorded_ = false;
    std::vector<std::string> failures_;
};

// A file of the run written a piece at a time (a log). A piece that cannot be written whole stops
// the writing: at close() the file is removed and its failure kept by the folder.
class RunFolder::Stream {
public:
    Stream(RunFolder& folder, std::string name, int fd, int error)
        : folder_(&folder), name_(std::move(name)), fd_(fd), error_(error) {}
    Stream(Stream&& other) noexcept
        : folder_(std::exchange(other.folder_, nullptr)), name_(std::move(other.name_)), fd_(std::exchange(other.fd_, -1)),
          error_(std::exchange(other.error_, 0)) {}
    Stream& operator=(Stream&&) = delete;
    ~Stream() { close(); }

    // Appends `text` whole; nothing after a failure, nor once closed.
    void append(std::string_view text);
    void close();

private:
    RunFolder* folder_; // none once closed
    std::string name_;
    int fd_;
    int error_; // errno of the first failure, 0 while none
};

// Makes the run folder and marks it, or empties the folder --overwrite names as its record says,
// and holds it; none with why (nothing touched, nothing left behind).
std::optional<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why);

} // namespace app
