#include "platform/sim/home.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/foundation/application_home.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/user_defaults.h"
#include "platform/sim/device.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

bool makeFolder(const fs::path& path, std::string* error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return fail(error, "cannot create " + path.string() + ": " + ec.message());
    return true;
}

// Whole or not at all, without a flush to the disk per file: the home is new, and a file lost to a
// crash is written again at the next start.
bool writeFile(const fs::path& path, const std::string& text, std::string* error) {
    if (const int failure = ns::writeWholeFile(path.string(), text))
        return fail(error, "cannot write " + path.string() + ": " + std::strerror(failure));
    return true;
}

} // namespace

bool prepareHome(const std::string& folder, std::string* error) {
    const auto device = currentDevice();
    for (const auto& [name, text] : device->documents)
        if (auto problem = documentNameProblem(name)) return fail(error, "document \"" + name + "\": " + *problem);

    std::error_code ec;
    const fs::path home = fs::absolute(folder, ec);
    if (ec || folder.empty()) return fail(error, "cannot use \"" + folder + "\" as the home");
    const fs::path documents = home / "Documents";
    for (const fs::path& dir : {documents, home / "Library" / "Preferences", home / "tmp"})
        if (!makeFolder(dir, error)) return false;
    for (const auto& [name, text] : device->documents) {
        const fs::path file = documents / name;
        if (!makeFolder(file.parent_path(), error)) return false;
        if (!writeFile(file, text, error)) return false;
    }

    ns::ApplicationHome::setPath(home.string());
    ns::UserDefaults::resetStandardUserDefaults();
    return true;
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
