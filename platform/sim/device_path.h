#pragma once
// Where a path on the simulated device is on the host. The application's home is the host folder
// it was prepared in; every other path lies under the profile's deviceRoot, the folder standing
// for the device's "/". Probes for files outside the home (existence checks, opens) go through
// sim::devicePath and never see the host's own files.

#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The host path for the device path `path` (relative paths count from "/"):
// - inside the application's home (after "." and ".." are taken out): that path;
// - else, with a deviceRoot: the path under the root, where ".." stops at the root and symbolic
//   links met under the root are followed inside it (an absolute target counts from the root);
// - else (a clean device, an empty path, a NUL byte, a link loop): nullopt, nothing there.
// The result never lies outside the home or the root.
std::optional<std::string> devicePath(std::string_view path);

} // namespace sim
