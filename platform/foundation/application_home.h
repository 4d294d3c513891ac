#pragma once
// The application's home: the folder that holds its Documents, Library (preferences, caches) and
// tmp directories, as the platform's sandbox container does.
//
// The home is, in order: a folder held open (setDirectory; its path is how it is named); the path
// given to setPath; the environment variable FT_APP_HOME; $HOME/.functiontest; <system temporary
// directory>/functiontest when HOME is unset. The file manager reaches every path under a home held
// open through the folder held (file_manager.h); sealed, the home is the application's sandbox:
// nothing is written by path anywhere else.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/directory.h"

namespace ns {

class ApplicationHome {
public:
    // The home folder (not created here).
    static std::string path();
    // Sets the home by its path, held open no longer (tests); empty goes back to the default. Code
    // that caches paths under the home (the standard user defaults) must be reset.
    static void setPath(std::string path);
    // Holds the home open (none: back to the path given, or the default). Code that caches paths
    // under the home (the standard user defaults) must be reset.
    static void setDirectory(std::optional<Directory> home);
    // The home held open, if it is.
    static std::optional<Directory> directory();
    // Seals the home held open (the main job's): a path elsewhere is written to no more (EACCES).
    // Answers whether it was sealed before.
    static bool setSealed(bool sealed);
    static bool sealed();
    // Where `path` lies in the home held open: its place there ("" for the home itself), lexically
    // (".." worked out first), the home named as it is or as a string carries it (a byte that is
    // not UTF-8 as U+FFFD); none when it lies elsewhere.
    static std::optional<std::string> placeOf(std::string_view path);

    // <home>/Documents, <home>/Library, <home>/Library/Caches and <home>/tmp, each created (with
    // its parents) when asked for; a failure to create is logged and the path returned anyway.
    static std::string documentsDirectory();
    static std::string libraryDirectory();
    static std::string cachesDirectory();
    static std::string temporaryDirectory();
};

// The platform's search-path directories, in the user domain of the application's home.
enum class SearchPathDirectory { Document, Library, Caches };

// NSSearchPathForDirectoriesInDomains for the user domain: an array holding the one path.
rt::Ref<Array> searchPathForDirectories(SearchPathDirectory directory);

// NSHomeDirectory and NSTemporaryDirectory (the latter ends with '/', as the platform's does).
std::string homeDirectory();
std::string temporaryDirectoryPath();

} // namespace ns
