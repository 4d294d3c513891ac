#pragma once
// The run's home: the application's sandbox folder on the simulated device.

#include <optional>
#include <string>

namespace sim {

// Prepares the application's home in `folder` (made when missing; what is already there stays):
// creates Documents, Library/Preferences and tmp, writes the installed device's documents into
// Documents, points ns::ApplicationHome at the folder and starts the standard user defaults over
// (the previous store is written to its own file first). On failure (a folder or file that
// cannot be made, a document name that leaves Documents) it returns false with the reason and
// leaves the previous home in place.
bool prepareHome(const std::string& folder, std::string* error = nullptr);

// The same in a new folder under the system's temporary directory; its path, or nullopt. The
// caller removes the folder when done.
std::optional<std::string> prepareTemporaryHome(std::string* error = nullptr);

} // namespace sim
