#pragma once
// The application's home: the folder that holds its Documents, Library (preferences, caches) and
// tmp directories, as the platform's sandbox container does.
//
// The home is, in order: the path given to setPath; the environment variable FT_APP_HOME;
// $HOME/.functiontest; <system temporary directory>/functiontest when HOME is unset.

#include <string>

#include "platform/foundation/array.h"

namespace ns {

class ApplicationHome {
public:
    // The home folder (not created here).
    static std::string path();
    // Sets the home (tests, and the executable from its command line); empty goes back to the
    // default. Code that caches paths under the home (the standard user defaults) must be reset.
    static void setPath(std::string path);

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
