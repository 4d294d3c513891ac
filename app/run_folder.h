#pragma once
// The run folder's rules: its default name, the mark that makes it a run folder, and which folders
// --overwrite may empty.
//
// A folder the job makes holds the mark (kRunFolderMark, a small file naming the program) from the
// moment it exists. --overwrite empties only a folder that holds it, and never one that holds the
// working folder, the home folder, the project's tree or a file the run reads (the script, the
// profile): those are refused, nothing touched. A default folder is runs/<UTC time to the
// millisecond>-<profile>, with "-2", "-3", ... after it while that name is taken; each is made
// with one mkdir that fails when the name exists, so runs started together each get their own.

#include <optional>
#include <string>
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
};

// Makes the run folder and marks it, or empties the marked folder --overwrite names; its absolute
// path, or none with why (nothing touched).
std::optional<std::string> makeRunFolder(const RunFolderRequest& request, std::string* why);

} // namespace app
