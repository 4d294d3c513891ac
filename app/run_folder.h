#pragma once
// The run folder's rules: its default name, the mark that makes it a run folder, which folders
// --overwrite may empty, and the hold a job keeps on its folder.
//
// A folder the job makes holds the mark (kRunFolderMark, a small file naming the program) from the
// moment it exists; a folder whose mark cannot be written whole is taken away again, with the
// parents made for it. --overwrite empties only a folder that holds the whole mark, and never one
// that holds the working folder, the home folder, the project's tree or a file the run reads (the
// script, the profile, the frames and sounds they name): those are refused, nothing touched. A
// default folder is runs/<UTC time to the millisecond>-<profile>, with "-2", "-3", ... after it
// while that name is taken; each is made with one mkdir that fails when the name exists, so runs
// started together each get their own.
//
// A job holds its folder for its whole life: an advisory lock on the mark, which the kernel lets go
// of when the job ends however it ends. --overwrite refuses a folder another job holds. The folder
// is reached by its path once, without following a link, and checked to be the folder whose path
// was checked; from there everything is read and removed relative to it, never through a link and
// never into another file system mounted inside. --overwrite removes all or nothing: every entry is
// checked to be removable before any is removed, and the first that is not is named. It removes
// only what a run writes: a folder holding anything else (a user's notes) is refused, naming it.

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

// The folder a job runs in, held while the object lives (its mark open and locked).
class RunFolder {
public:
    RunFolder(std::string path, int lockedMark) : path_(std::move(path)), mark_(lockedMark) {}
    RunFolder(RunFolder&& other) noexcept
        : path_(std::move(other.path_)), mark_(std::exchange(other.mark_, -1)) {}
    RunFolder& operator=(RunFolder&&) = delete;
    ~RunFolder();

    // The folder's absolute path.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int mark_;
};

// Writes a file of the run whole, or says why not (errno's reason) and leaves none of it: a full
// disk leaves no empty or cut file that reads as the run's.
bool writeRunFile(const std::string& path, std::string_view text, std::string* why);

// Makes the run folder and marks it, or empties the marked folder --overwrite names, and holds it;
// none with why (nothing touched, nothing left behind).
std::optional<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why);

} // namespace app
