#pragma once
// The run's home: the application's sandbox folder on the simulated device.

#include <optional>
#include <string>

#include "platform/foundation/directory.h"

namespace sim {

// Prepares the application's home in the folder `home` holds (what is already there stays):
// creates Documents, Library/Preferences and tmp, writes the installed device's documents into
// Documents, holds the folder as the application's home (ns::ApplicationHome::setDirectory: the
// application's files are made through it, by its path) and starts the standard user defaults over
// (the previous store is written to its own file first). On failure (a folder or file that cannot
// be made, a document name that leaves Documents) it returns false with the reason and leaves the
// previous home in place.
bool prepareHome(const ns::Directory& home, std::string* error = nullptr);
// The same in `folder`, made when missing.
bool prepareHome(const std::string& folder, std::string* error = nullptr);

// The same in a new folder under the system's temporary directory; its path, or nullopt. The
// caller removes the folder when done.
std::optional<std::string> prepareTemporaryHome(std::string* error = nullptr);

} // namespace sim
