#include "app/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/run_report.h"

namespace app {

namespace {

namespace fs = std::filesystem;

// What the mark holds; a mark is a regular file that starts so.
constexpr std::string_view kMarkText =
    "functiontest run folder: a run made it, and functiontest --overwrite may empty it\n";

// What a run writes at the top of its folder besides the mark (job.h lists them).
constexpr std::string_view kRunEntries[] = {"report.txt", "app.log", "device.log", "steps.log",
                                            "home",       "service", "pictures",   "audio"};

std::string shownFolder(const fs::path& folder) {
    return cutName(folder.string());
}

std::string reason(int error) {
    return std::strerror(error);
}

// A descriptor, closed with the object.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// The folder `name` of `at`, opened only when it is a folder and not a link.
Descriptor openFolder(int at, const char* name) {
    return Descriptor(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The entries of an open folder but "." and ".."; none, with errno's reason, when it cannot be read.
std::optional<std::vector<std::string>> entriesOf(int folder, std::string* why) {
    const int copy = ::dup(folder); // the listing owns and closes its own descriptor
    DIR* listing = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!listing) {
        *why = reason(errno);
        if (copy >= 0) ::close(copy);
        return std::nullopt;
    }
    ::rewinddir(listing); // a copy shares the position of an earlier listing
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing))
        if (std::string_view name = entry->d_name; name != "." && name != "..") names.emplace_back(name);
    const int error = errno;
    ::closedir(listing);
    if (error) {
        *why = reason(error);
        return std::nullopt;
    }
    return names;
}

enum class Mark { Missing, NotWhole, InUse, Whole };

// The open folder's mark: when it is whole and no job holds it, opened and locked into `lock`; when
// it is not whole, why in `problem`.
Mark readMark(int folder, Descriptor* lock, std::string* problem) {
    Descriptor mark(::openat(folder, kRunFolderMark, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!mark && errno == ENOENT) return Mark::Missing;
    if (!mark || ::fstat(mark.get(), &status) != 0) {
        *problem = reason(errno);
        return Mark::NotWhole;
    }
    if (!S_ISREG(status.st_mode)) {
        *problem = "not a file";
        return Mark::NotWhole;
    }
    if (::flock(mark.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return Mark::InUse;
        *problem = reason(errno);
        return Mark::NotWhole;
    }
    std::string start(kMarkText.size(), '\0');
    const ssize_t read = ::pread(mark.get(), start.data(), start.size(), 0);
    if (read != static_cast<ssize_t>(start.size()) || start != kMarkText) {
        *problem = read < 0 ? reason(errno) : read == 0 ? "empty" : "not the one a run writes";
        return Mark::NotWhole;
    }
    *lock = std::move(mark);
    return Mark::Whole;
}

std::string notWholeMark(const fs::path& wanted, const std::string& problem) {
    return "the run folder " + shownFolder(wanted) + " has a " + kRunFolderMark + " that is not whole (" +
           problem +
           "): it is not a folder a run finished making, and --overwrite does not empty it; if a run " +
           "of yours made it, remove the folder and run again";
}

// The folders made for a new run folder, taken away again (each only while it is empty) unless
// kept.
class MadeFolders {
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;
    ~MadeFolders() {
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder)
            ::rmdir(folder->c_str());
    }

    // Makes the folder and the parents it lacks, each with one mkdir: 0, or the errno of the first
    // that could not be made (EEXIST: the folder exists).
    int make(const fs::path& folder) {
        if (::mkdir(folder.c_str(), 0777) == 0) {
            made_.push_back(folder);
            return 0;
        }
        const fs::path parent = folder.parent_path();
        if (errno != ENOENT || parent.empty() || parent == folder) return errno;
        if (const int error = make(parent); error && error != EEXIST) return error;
        if (::mkdir(folder.c_str(), 0777) != 0) return errno;
        made_.push_back(folder);
        return 0;
    }
    void keep() { made_.clear(); }

private:
    std::vector<fs::path> made_;
};

// Writes `text` whole to the open file: 0, or the errno of why not (a write that takes nothing:
// ENOSPC).
int writeWhole(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// A new run folder, marked and held; none when the name is taken (`taken`) or, with why, when it
// cannot be made or marked, then with nothing left behind.
std::optional<RunFolder> newRunFolder(const fs::path& folder, bool* taken, std::string* why) {
    MadeFolders made;
    if (const int error = made.make(folder)) {
        if (error == EEXIST)
            *taken = true;
        else
            *why = "cannot make the run folder " + shownFolder(folder) + ": " + reason(error);
        return std::nullopt;
    }
    const Descriptor opened = openFolder(AT_FDCWD, folder.c_str());
    Descriptor mark(opened ? ::openat(opened.get(), kRunFolderMark,
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)
                           : -1);
    int error = !mark || ::flock(mark.get(), LOCK_EX | LOCK_NB) != 0 ? errno : writeWhole(mark.get(), kMarkText);
    if (!error && ::fsync(mark.get()) != 0) error = errno;
    if (error) {
        if (mark) ::unlinkat(opened.get(), kRunFolderMark, 0);
        *why = "cannot mark the run folder " + shownFolder(folder) + " (" + kRunFolderMark +
               "): " + reason(error) + "; it was taken away again";
        return std::nullopt;
    }
    made.keep();
    std::error_code ec;
    return RunFolder(fs::absolute(folder, ec).string(), mark.release());
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

// What the emptying asks of an entry's status: its kind and mode, owner, inode and mount.
constexpr unsigned kStatus = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID;

// Empties an open run folder, relative to descriptors all the way: never through a link, never into
// another file system mounted inside. A first pass looks whether every entry can go, a second
// removes them; each stops at the first entry it cannot take, named by its path in the folder.
class Emptying {
public:
    explicit Emptying(const struct statx& folder) : folder_(folder) {}

    // Whether everything in the open folder `at` (`path` in the run folder, "" for the run folder
    // itself; `self` its status) can go, or with `removing`, is gone.
    bool visit(int at, const std::string& path, const struct statx& self, bool removing) {
        std::string why;
        const std::optional<std::vector<std::string>> names = entriesOf(at, &why);
        if (!names) return fail(path, why);
        if (!removing && !names->empty() && ::faccessat(at, ".", W_OK | X_OK, AT_EACCESS) != 0)
            return fail(path, reason(errno));
        for (const std::string& name : *names) {
            if (path.empty() && name == kRunFolderMark) continue;
            const std::string entry = path.empty() ? name : path + "/" + name;
            struct statx status {};
            if (::statx(at, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatus, &status) != 0)
                return fail(entry, reason(errno));
            if (elsewhere(status)) return fail(entry, "another file system is mounted there");
            if (!removing && !(why = whyItStays(self, status)).empty()) return fail(entry, why);
            const bool folder = S_ISDIR(status.stx_mode);
            if (folder) {
                const Descriptor inner = openFolder(at, name.c_str());
                struct stat opened {};
                if (!inner || ::fstat(inner.get(), &opened) != 0) return fail(entry, reason(errno));
                if (opened.st_ino != status.stx_ino ||
                    opened.st_dev != makedev(status.stx_dev_major, status.stx_dev_minor))
                    return fail(entry, "it was replaced meanwhile");
                if (!visit(inner.get(), entry, status, removing)) return false;
            }
            if (removing && ::unlinkat(at, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0)
                return fail(entry, reason(errno));
        }
        return true;
    }

    // "<entry>: <reason>" for the entry that stopped the visit (the folder itself: "."), or "".
    const std::string& problem() const { return problem_; }

private:
    // Why an entry cannot be removed from its folder (`parent`), besides the folder's permissions:
    // "" when it can.
    static std::string whyItStays(const struct statx& parent, const struct statx& entry) {
        const auto attribute = [&](std::uint64_t bit) {
            return (entry.stx_attributes_mask & entry.stx_attributes & bit) != 0;
        };
        if (attribute(STATX_ATTR_IMMUTABLE)) return reason(EPERM) + " (it is immutable)";
        if (attribute(STATX_ATTR_APPEND)) return reason(EPERM) + " (it is append-only)";
        const uid_t self = ::geteuid();
        if ((parent.stx_mode & S_ISVTX) && self != 0 && self != entry.stx_uid && self != parent.stx_uid)
            return reason(EPERM) + " (its folder lets only an entry's owner remove it)";
        return {};
    }

    bool fail(const std::string& entry, const std::string& why) {
        problem_ = (entry.empty() ? "." : cutName(entry)) + ": " + why;
        return false;
    }
    // Whether the entry is on another file system than the run folder, or a mount's root.
    bool elsewhere(const struct statx& entry) const {
        if (entry.stx_dev_major != folder_.stx_dev_major || entry.stx_dev_minor != folder_.stx_dev_minor)
            return true;
        if ((entry.stx_mask & folder_.stx_mask & STATX_MNT_ID) && entry.stx_mnt_id != folder_.stx_mnt_id)
            return true;
        return (entry.stx_attributes_mask & entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }

    struct statx folder_;
    std::string problem_;
};

// The top entries of the open run folder that no run writes, as a list for a message ("" when
// none, or when it cannot be read: the emptying says so).
std::string foreignEntries(int folder) {
    std::string why;
    const std::optional<std::vector<std::string>> names = entriesOf(folder, &why);
    if (!names) return {};
    std::vector<std::string> foreign;
    for (const std::string& name : *names)
        if (name != kRunFolderMark &&
            std::find(std::begin(kRunEntries), std::end(kRunEntries), name) == std::end(kRunEntries))
            foreign.push_back(name);
    std::sort(foreign.begin(), foreign.end());
    constexpr std::size_t kNamed = 3;
    std::string list;
    for (std::size_t i = 0; i < foreign.size() && i < kNamed; ++i)
        list += (i ? ", " : "") + cutName(foreign[i]);
    if (foreign.size() > kNamed) list += " and " + std::to_string(foreign.size() - kNamed) + " more";
    return list;
}

// Empties the marked folder `wanted` names, once it is sure the folder may go, and holds it.
std::optional<RunFolder> emptyRunFolder(const fs::path& wanted, const RunFolderRequest& request,
                                        std::string* why) {
    const std::string shown = shownFolder(wanted);
    auto refuse = [&](const std::string& text) -> std::optional<RunFolder> {
        *why = "--overwrite: the run folder " + shown + " " + text + "; nothing was emptied";
        return std::nullopt;
    };
    std::error_code ec;
    const fs::path folder = fs::canonical(wanted, ec);
    struct stat checked {};
    if (ec || ::stat(folder.c_str(), &checked) != 0)
        return refuse("cannot be resolved: " + (ec ? ec.message() : reason(errno)));
    std::vector<std::pair<std::string, std::string>> kept = alwaysKept();
    kept.insert(kept.end(), request.kept.begin(), request.kept.end());
    for (const auto& [what, path] : kept)
        if (const std::string_view verb = path.empty() ? "" : holds(folder, path); !verb.empty())
            return refuse(std::string(verb) + " " + what + " (" + cutName(path) + ")");
    if (request.checkedByPath) request.checkedByPath();

    // From here on the folder is the one opened now, which must be the one checked.
    const Descriptor opened = openFolder(AT_FDCWD, folder.c_str());
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0)
        return refuse(errno == ELOOP || errno == ENOTDIR
                          ? "was replaced by a link or a file as it was checked"
                          : "cannot be opened: " + reason(errno));
    if (status.st_dev != checked.st_dev || status.st_ino != checked.st_ino)
        return refuse("was replaced by another folder as it was checked");
    Descriptor lock;
    std::string problem;
    switch (readMark(opened.get(), &lock, &problem)) {
    case Mark::Missing:
        *why = std::string("--overwrite empties only a folder a run made, and ") + shown + " has no " +
               kRunFolderMark + "; nothing was emptied";
        return std::nullopt;
    case Mark::NotWhole:
        *why = notWholeMark(wanted, problem) + "; nothing was emptied";
        return std::nullopt;
    case Mark::InUse:
        return refuse("is in use by a running job");
    case Mark::Whole:
        break;
    }
    if (const std::string foreign = foreignEntries(opened.get()); !foreign.empty())
        return refuse("holds " + foreign + ", which no run writes: move it out or remove it, and run again");
    struct statx self {};
    if (::statx(opened.get(), "", AT_EMPTY_PATH, kStatus, &self) != 0)
        return refuse("cannot be opened: " + reason(errno));
    Emptying emptying(self);
    if (!emptying.visit(opened.get(), "", self, false))
        return refuse("cannot be emptied whole: " + emptying.problem());
    if (!emptying.visit(opened.get(), "", self, true)) {
        *why = "cannot empty the run folder " + shown + ": " + emptying.problem() +
               " (it changed while it was emptied)";
        return std::nullopt;
    }
    return RunFolder(folder.string(), lock.release());
}

// Refuses the folder `wanted` names, which exists, or empties it for --overwrite.
std::optional<RunFolder> existingRunFolder(const fs::path& wanted, const RunFolderRequest& request,
                                           std::string* why) {
    const std::string shown = shownFolder(wanted);
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0) {
        *why = "cannot reach the run folder " + shown + ": " + reason(errno);
        return std::nullopt;
    }
    if (S_ISLNK(status.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(wanted, ec);
        *why =
            "the run folder " + shown + " is a link" + (ec ? "" : " to " + shownFolder(target)) +
            ": a run folder is never reached through a link (one could be turned to another folder); name " +
            "the folder itself";
        return std::nullopt;
    }
    if (!S_ISDIR(status.st_mode)) {
        *why = "the run folder " + shown + " exists and is not a folder";
        return std::nullopt;
    }
    if (request.overwrite) return emptyRunFolder(wanted, request, why);
    const Descriptor opened = openFolder(AT_FDCWD, wanted.c_str());
    Descriptor lock;
    std::string problem;
    switch (opened ? readMark(opened.get(), &lock, &problem) : Mark::Missing) {
    case Mark::Whole:
        *why = "the run folder " + shown + " exists (--overwrite empties it and runs there)";
        break;
    case Mark::InUse:
        *why = "the run folder " + shown + " exists and is in use by a running job";
        break;
    case Mark::NotWhole:
        *why = notWholeMark(wanted, problem);
        break;
    case Mark::Missing:
        *why = "the run folder " + shown + " exists and is not a run folder (it has no " + kRunFolderMark +
               "); name a new folder";
        break;
    }
    return std::nullopt;
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
std::optional<RunFolder> makeDefaultRunFolder(std::string_view label, std::string* why) {
    constexpr int kAttempts = 1000;
    std::error_code ec;
    const fs::path runs = fs::absolute("runs", ec);
    const auto now = std::chrono::system_clock::now();
    for (int attempt = 1; !ec && attempt <= kAttempts; ++attempt) {
        bool taken = false;
        std::optional<RunFolder> made =
            newRunFolder(runs / defaultRunFolderName(now, label, attempt), &taken, why);
        if (!taken) return made;
    }
    *why = "cannot make a run folder in " + shownFolder(runs) + ": " +
           (ec ? ec.message() : std::to_string(kAttempts) + " names are taken");
    return std::nullopt;
}

} // namespace

bool writeRunFile(const std::string& path, std::string_view text, std::string* why) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = reason(errno);
        return false;
    }
    int error = writeWhole(fd, text);
    if (::close(fd) != 0 && !error) error = errno;
    if (!error) return true;
    ::unlink(path.c_str());
    *why = reason(error);
    return false;
}

RunFolder::~RunFolder() {
    if (mark_ >= 0) ::close(mark_); // lets go of the lock
}

std::optional<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why) {
    if (request.wanted.empty()) return makeDefaultRunFolder(request.label, why);
    fs::path wanted(request.wanted);
    if (!wanted.has_filename()) wanted = wanted.parent_path(); // "run/"
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0 && errno == ENOENT) {
        if (wanted.filename() == "." || wanted.filename() == "..") {
            *why = "cannot make the run folder " + shownFolder(wanted) + ": " + reason(ENOENT) +
                   " (a name ending in \"" + wanted.filename().string() + "\" makes no folder)";
            return std::nullopt;
        }
        bool taken = false;
        std::optional<RunFolder> made = newRunFolder(wanted, &taken, why);
        if (!taken) return made;
        // Made by someone else meanwhile: it exists, as below.
    }
    return existingRunFolder(wanted, request, why);
}

} // namespace app
