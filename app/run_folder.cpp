#include "app/run_folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/run_report.h"

namespace app {

namespace {

namespace fs = std::filesystem;

// What the mark holds; a mark is a regular file that starts so.
constexpr std::string_view kMarkText =
    "functiontest run folder: a run made it, and functiontest --overwrite may empty it\n";

std::string shownFolder(const fs::path& folder) {
    return cutName(folder.string());
}

bool isMarked(const fs::path& folder) {
    std::error_code ec;
    const fs::path mark = folder / kRunFolderMark;
    if (!fs::is_regular_file(fs::symlink_status(mark, ec))) return false;
    std::ifstream in(mark, std::ios::binary);
    std::string start(kMarkText.size(), '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    return in && start == kMarkText;
}

bool markFolder(const fs::path& folder, std::string* why) {
    std::ofstream out(folder / kRunFolderMark, std::ios::binary | std::ios::trunc);
    out << kMarkText;
    out.close();
    if (out) return true;
    *why = "cannot mark the run folder " + shownFolder(folder) + " (" + kRunFolderMark + ")";
    return false;
}

// "is" when `path` is `folder`, "holds" when it lies under it, both with links and ".." resolved;
// empty otherwise.
std::string_view holds(const fs::path& folder, const fs::path& path) {
    std::error_code ec;
    const fs::path inner = fs::weakly_canonical(path, ec);
    if (ec) return {};
    const auto [end, rest] = std::mismatch(folder.begin(), folder.end(), inner.begin(), inner.end());
    if (end != folder.end()) return {};
    return rest == inner.end() ? "is" : "holds";
}

// What a folder --overwrite empties must never hold, besides what the request names.
std::vector<std::pair<std::string, std::string>> alwaysKept() {
    std::vector<std::pair<std::string, std::string>> kept;
    std::error_code ec;
    if (const fs::path here = fs::current_path(ec); !ec)
        kept.emplace_back("the working folder", here.string());
    if (const char* home = std::getenv("HOME"); home && *home) kept.emplace_back("the home folder", home);
    kept.emplace_back("the project", fs::path(FT_RESOURCES_DIR).parent_path().string());
    return kept;
}

// Empties the marked folder `wanted` names, once it is sure the folder may go.
std::optional<std::string> emptyRunFolder(const fs::path& wanted, const RunFolderRequest& request,
                                          std::string* why) {
    std::error_code ec;
    const fs::path folder = fs::canonical(wanted, ec);
    if (ec) {
        *why = "cannot resolve the run folder " + shownFolder(wanted) + ": " + ec.message();
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> kept = alwaysKept();
    kept.insert(kept.end(), request.kept.begin(), request.kept.end());
    for (const auto& [what, path] : kept)
        if (const std::string_view verb = path.empty() ? "" : holds(folder, path); !verb.empty()) {
            *why = "--overwrite: the run folder " + shownFolder(wanted) + " " + std::string(verb) + " " +
                   what + " (" + cutName(path) + "); nothing was emptied";
            return std::nullopt;
        }
    if (!isMarked(folder)) {
        *why = std::string("--overwrite empties only a folder a run made, and ") + shownFolder(wanted) +
               " has no " + kRunFolderMark + "; nothing was emptied";
        return std::nullopt;
    }
    std::vector<fs::path> entries;
    for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec))
        if (entry->path().filename() != kRunFolderMark) entries.push_back(entry->path());
    for (auto entry = entries.begin(); !ec && entry != entries.end(); ++entry)
        fs::remove_all(*entry, ec);
    if (ec) {
        *why = "cannot empty the run folder " + shownFolder(wanted) + ": " + ec.message();
        return std::nullopt;
    }
    return folder.string();
}

// The default folder's name for a run started at `now`: "20240501T100000.123Z-iphone7", with
// "-<attempt>" after it from the second attempt on.
std::string defaultRunFolderName(std::chrono::system_clock::time_point now, std::string_view label,
                                 int attempt) {
    const auto since1970 = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(since1970.count() / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char stamp[48];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
    std::snprintf(stamp + length, sizeof stamp - length, ".%03dZ",
                  static_cast<int>(since1970.count() % 1000));
    std::string name = stamp + ("-" + std::string(label));
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name;
}

// The default folder: the first name of runs/ not taken, made at once.
std::optional<std::string> makeDefaultRunFolder(std::string_view label, std::string* why) {
    constexpr int kAttempts = 1000;
    std::error_code ec;
    const fs::path runs = fs::absolute("runs", ec);
    fs::create_directories(runs, ec);
    const auto now = std::chrono::system_clock::now();
    for (int attempt = 1; !ec && attempt <= kAttempts; ++attempt) {
        const fs::path folder = runs / defaultRunFolderName(now, label, attempt);
        if (!fs::create_directory(folder, ec)) { // taken: the next name
            if (ec == std::errc::file_exists) ec.clear();
            continue;
        }
        return markFolder(folder, why) ? std::optional<std::string>(folder.string()) : std::nullopt;
    }
    *why = "cannot make a run folder in " + shownFolder(runs) + ": " +
           (ec ? ec.message() : std::to_string(kAttempts) + " names are taken");
    return std::nullopt;
}

} // namespace

std::optional<std::string> makeRunFolder(const RunFolderRequest& request, std::string* why) {
    if (request.wanted.empty()) return makeDefaultRunFolder(request.label, why);
    fs::path wanted(request.wanted);
    if (!wanted.has_filename()) wanted = wanted.parent_path(); // "run/"
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(wanted, ec);
    if (!fs::exists(status)) {
        ec.clear();
        if (wanted.has_parent_path()) fs::create_directories(wanted.parent_path(), ec);
        if (!ec && fs::create_directory(wanted, ec))
            return markFolder(wanted, why) ? std::optional<std::string>(fs::absolute(wanted, ec).string())
                                           : std::nullopt;
        if (ec) {
            *why = "cannot make the run folder " + shownFolder(wanted) + ": " + ec.message();
            return std::nullopt;
        }
        // Made by someone else meanwhile: it exists, as below.
    }
    if (!fs::is_directory(fs::symlink_status(wanted, ec))) {
        *why = "the run folder " + shownFolder(wanted) + " exists and is not a folder";
        return std::nullopt;
    }
    if (request.overwrite) return emptyRunFolder(wanted, request, why);
    *why = "the run folder " + shownFolder(wanted) +
           (isMarked(wanted) ? " exists (--overwrite empties it and runs there)"
                             : std::string(" exists and is not a run folder (it has no ") + kRunFolderMark +
                                   "); name a new folder");
    return std::nullopt;
}

} // namespace app
