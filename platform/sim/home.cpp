#include "platform/sim/home.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/foundation/application_home.h"
#include "platform/foundation/user_defaults.h"
#include "platform/sim/device.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

// Whether every document of the installed device has a name that stays in Documents.
bool documentsFit(std::string* error) {
    for (const auto& [name, text] : currentDevice()->documents)
        if (auto problem = documentNameProblem(name)) return fail(error, "document \"" + name + "\": " + *problem);
    return true;
}

} // namespace

bool prepareHome(const ns::Directory& home, std::string* error) {
    const auto device = currentDevice();
    if (!documentsFit(error)) return false;

    int failure = 0;
    for (const char* folder : {"Documents", "Library/Preferences", "tmp"})
        if (!home.folder(folder, &failure))
            return fail(error, "cannot create " + home.pathOf(folder) + ": " + std::strerror(failure));
    // Whole or not at all, without a flush to the disk per file: the home is new, and a file lost
    // to a crash is written again at the next start.
    for (const auto& [name, text] : device->documents) {
        const std::string file = "Documents/" + name;
        const std::string folder = fs::path(file).parent_path().string();
        if (!home.folder(folder, &failure))
            return fail(error, "cannot create " + home.pathOf(folder) + ": " + std::strerror(failure));
        if ((failure = home.write(file, text, ns::Durability::Unsynced)))
            return fail(error, "cannot write " + home.pathOf(file) + ": " + std::strerror(failure));
    }

    ns::ApplicationHome::setDirectory(home);
    ns::UserDefaults::resetStandardUserDefaults();
    return true;
}

bool prepareHome(const std::string& folder, std::string* error) {
    std::error_code ec;
    const fs::path path = fs::absolute(folder, ec);
    if (ec || folder.empty()) return fail(error, "cannot use \"" + folder + "\" as the home");
    if (!documentsFit(error)) return false; // before anything is made
    int failure = 0;
    const std::optional<ns::Directory> home = ns::Directory::open(path.lexically_normal().string(), true, &failure);
    if (!home) return fail(error, "cannot create " + path.string() + ": " + std::strerror(failure));
    return prepareHome(*home, error);
}

std::optional<std::string> prepareTemporaryHome(std::string* error) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "ft-home-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        fail(error, "cannot create a folder in " + base.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    if (!prepareHome(pattern, error)) {
        fs::remove_all(pattern, ec);
        return std::nullopt;
    }
    return pattern;
}

} // namespace sim
