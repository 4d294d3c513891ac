#include "platform/foundation/application_home.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "platform/foundation/environment.h"
#include "platform/runtime/log.h"

namespace ns {

namespace {

std::mutex gLock;
std::optional<std::string> gPath; // set by setPath

std::string defaultPath() {
    if (auto env = environmentValue("FT_APP_HOME"); env && !env->empty()) return *env;
    if (auto home = environmentValue("HOME"); home && !home->empty())
        return (std::filesystem::path(*home) / ".functiontest").string();
    std::error_code ec;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return (tmp / "functiontest").string();
}

std::string ensured(std::filesystem::path dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) logLine("ApplicationHome: cannot create " + dir.string() + ": " + ec.message());
    return dir.string();
}

} // namespace

std::string ApplicationHome::path() {
    {
        std::lock_guard g(gLock);
        if (gPath) return *gPath;
    }
    return defaultPath();
}

void ApplicationHome::setPath(std::string path) {
    std::lock_guard g(gLock);
    if (path.empty())
        gPath.reset();
    else
        gPath = std::move(path);
}

std::string ApplicationHome::documentsDirectory() {
    return ensured(std::filesystem::path(path()) / "Documents");
}

std::string ApplicationHome::libraryDirectory() {
    return ensured(std::filesystem::path(path()) / "Library");
}

std::string ApplicationHome::cachesDirectory() {
    return ensured(std::filesystem::path(path()) / "Library" / "Caches");
}

std::string ApplicationHome::temporaryDirectory() {
    return ensured(std::filesystem::path(path()) / "tmp");
}

rt::Ref<Array> searchPathForDirectories(SearchPathDirectory directory) {
    std::string p;
    switch (directory) {
    case SearchPathDirectory::Document:
        p = ApplicationHome::documentsDirectory();
        break;
    case SearchPathDirectory::Library:
        p = ApplicationHome::libraryDirectory();
        break;
    case SearchPathDirectory::Caches:
        p = ApplicationHome::cachesDirectory();
        break;
    }
    return Array::withObjects({String::make(p)});
}

std::string homeDirectory() {
    return ApplicationHome::path();
}

std::string temporaryDirectoryPath() {
    return ApplicationHome::temporaryDirectory() + "/";
}

} // namespace ns
