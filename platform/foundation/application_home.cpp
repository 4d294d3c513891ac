#include "platform/foundation/application_home.h"

#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/foundation/environment.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"

namespace ns {

namespace {

std::mutex gLock;
std::optional<std::string> gPath;    // set by setPath
std::optional<Directory> gDirectory; // set by setDirectory
bool gSealed = false;                // set by setSealed

std::string normal(std::string_view path) {
    std::string text = std::filesystem::path(path).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string defaultPath() {
    if (auto env = environmentValue("FT_APP_HOME"); env && !env->empty()) return *env;
    if (auto home = environmentValue("HOME"); home && !home->empty())
        return (std::filesystem::path(*home) / ".functiontest").string();
    std::error_code ec;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return (tmp / "functiontest").string();
}

// The home's folder `place`, made with its parents when missing (a failure is logged), by path.
std::string ensured(const std::string& place) {
    if (const std::optional<Directory> home = ApplicationHome::directory()) {
        int error = 0;
        if (!home->folder(place, &error))
            logLine("ApplicationHome: cannot create " + home->pathOf(place) + ": " + std::strerror(error));
        return home->pathOf(place);
    }
    const std::filesystem::path dir = std::filesystem::path(ApplicationHome::path()) / place;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) logLine("ApplicationHome: cannot create " + dir.string() + ": " + ec.message());
    return dir.string();
}

} // namespace

std::string ApplicationHome::path() {
    {
        std::lock_guard g(gLock);
        if (gDirectory) return gDirectory->path();
        if (gPath) return *gPath;
    }
    return defaultPath();
}

void ApplicationHome::setDirectory(std::optional<Directory> home) {
    std::lock_guard g(gLock);
    gDirectory = std::move(home);
}

std::optional<Directory> ApplicationHome::directory() {
    std::lock_guard g(gLock);
    return gDirectory;
}

bool ApplicationHome::setSealed(bool sealed) {
    std::lock_guard g(gLock);
    return std::exchange(gSealed, sealed);
}

bool ApplicationHome::sealed() {
    std::lock_guard g(gLock);
    return gSealed && gDirectory.has_value();
}

std::optional<std::string> ApplicationHome::placeOf(std::string_view path) {
    std::string home;
    {
        std::lock_guard g(gLock);
        if (!gDirectory) return std::nullopt;
        home = normal(gDirectory->path());
    }
    const std::string inner = normal(path);
    // The home's path as it is, or as the application's strings carry it (a byte that is not
    // UTF-8 as U+FFFD): the path the application made from it.
    for (const std::string& named : {home, normal(String::make(home)->utf8())}) {
        if (inner == named) return std::string();
        if (inner.size() > named.size() && inner.starts_with(named) && inner[named.size()] == '/')
            return inner.substr(named.size() + 1);
    }
    return std::nullopt;
}

void ApplicationHome::setPath(std::string path) {
    std::lock_guard g(gLock);
    gDirectory.reset();
    if (path.empty())
        gPath.reset();
    else
        gPath = std::move(path);
}

std::string ApplicationHome::documentsDirectory() {
    return ensured("Documents");
}

std::string ApplicationHome::libraryDirectory() {
    return ensured("Library");
}

std::string ApplicationHome::cachesDirectory() {
    return ensured("Library/Caches");
}

std::string ApplicationHome::temporaryDirectory() {
    return ensured("tmp");
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
