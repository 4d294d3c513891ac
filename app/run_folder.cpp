#include "app/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>

#include "app/run_report.h"

namespace app {

namespace {

namespace fs = std::filesystem;

// What the mark's first line holds; a mark is a regular file that starts so. A mark of that line
// alone belongs to a job that holds its folder, or to one that ended before it recorded what it
// wrote.
constexpr std::string_view kMarkText =
    "functiontest run folder: a run made it, and functiontest --overwrite may empty it\n";
// The record follows it: this line, an entry a line, then the end line with the count.
constexpr std::string_view kRecordHead =
    "what its run wrote, an entry a line: number, its folder's number (0: this folder), type (f file, "
    "d folder, l link, o other), device, inode, bytes, modified (seconds.nanoseconds), name (a space, a "
    "control character and \\ as \\xNN)\n";
constexpr std::string_view kRecordEnd = "end of the record: ";
// A mark longer than this is none a run wrote (a record takes some 60 bytes an entry).
constexpr off_t kLongestMark = off_t{256} << 20;

// What a run writes at the top of its folder besides the mark (job.h lists them); the record holds
// nothing else of the top.
constexpr std::string_view kRunEntries[] = {"report.txt", "app.log", "device.log", "steps.log",
                                            "home",       "service", "pictures",   "audio"};

// A file written whole is first written under this name beside it.
std::string asideName(std::string_view name) {
    return "." + std::string(name) + ".functiontest-aside";
}

std::string shownFolder(const fs::path& folder) {
    return cutName(folder.string());
}

// The folder's absolute path, lexically normal, as the job names it.
std::string absoluteName(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return absolute.string();
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

// The entries of an open folder but "." and "..", by name, the first last; none, with errno's
// reason, when it cannot be read.
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
    std::sort(names.rbegin(), names.rend());
    return names;
}

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

// Writes the file `name` of the open folder `at` whole: aside, then renamed over it. 0, or the errno
// of why not, with nothing of it left. Not synced to the disk: a mark a crash loses or cuts short
// makes a folder --overwrite refuses, never one it empties wrongly.
int writeAside(int at, std::string_view name, std::string_view text) {
    const std::string aside = asideName(name);
    const int fd = ::openat(at, aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = writeWhole(fd, text);
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::renameat(at, aside.c_str(), at, std::string(name).c_str()) != 0) error = errno;
    if (error) ::unlinkat(at, aside.c_str(), 0);
    return error;
}

// What the walks ask of an entry's status: its kind and mode, owner, identity, size, modification
// and mount.
constexpr unsigned kStatus = STATX_BASIC_STATS | STATX_MNT_ID;

int statusOf(int at, const char* name, struct statx* status) {
    const int flags = *name ? AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT : AT_EMPTY_PATH;
    return ::statx(at, name, flags, kStatus, status) == 0 ? 0 : errno;
}

bool sameNode(const struct statx& a, const struct statx& b) {
    return a.stx_ino == b.stx_ino && a.stx_dev_major == b.stx_dev_major && a.stx_dev_minor == b.stx_dev_minor;
}

// An entry of the record: where it is, what it is, and what says it is unchanged.
struct Entry {
    std::size_t folder = 0; // its folder's number (0: the run folder)
    char type = 'o';
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    std::string name;
};

Entry entryOf(std::size_t folder, std::string_view name, const struct statx& status) {
    const char type = S_ISREG(status.stx_mode) ? 'f' : S_ISDIR(status.stx_mode) ? 'd' : S_ISLNK(status.stx_mode) ? 'l' : 'o';
    return {folder,
            type,
            makedev(status.stx_dev_major, status.stx_dev_minor),
            status.stx_ino,
            status.stx_size,
            status.stx_mtime.tv_sec,
            status.stx_mtime.tv_nsec,
            std::string(name)};
}

// Whether `found` is the entry the record holds: the same node, and for all but a folder (whose
// entries are looked at one by one) the same size and modification.
bool unchanged(const Entry& recorded, const Entry& found) {
    if (recorded.type != found.type || recorded.device != found.device || recorded.inode != found.inode)
        return false;
    return recorded.type == 'd' || (recorded.size == found.size && recorded.seconds == found.seconds &&
                                    recorded.nanoseconds == found.nanoseconds);
}

void appendName(std::string& line, std::string_view name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte != 0x7f && c != '\\') {
            line += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        line += escaped;
    }
}

std::optional<std::string> readName(std::string_view text) {
    std::string name;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            name += text[at];
            continue;
        }
        unsigned byte = 0;
        if (at + 3 >= text.size() || text[at + 1] != 'x' ||
            std::from_chars(text.data() + at + 2, text.data() + at + 4, byte, 16).ptr != text.data() + at + 4)
            return std::nullopt;
        name += static_cast<char>(byte);
        at += 3;
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
    return name;
}

// What a run wrote, as its mark records it.
class Record {
public:
    void add(Entry entry) {
        places_.emplace(std::pair(entry.folder, entry.name), entries_.size() + 1);
        entries_.push_back(std::move(entry));
    }
    std::size_t size() const { return entries_.size(); }
    // The number of the entry `name` of the folder numbered `folder`, 0 when none.
    std::size_t find(std::size_t folder, const std::string& name) const {
        const auto found = places_.find(std::pair(folder, name));
        return found == places_.end() ? 0 : found->second;
    }
    const Entry& operator[](std::size_t number) const { return entries_[number - 1]; }

    // The record as the mark holds it after its first line.
    std::string text() const {
        std::string text(kRecordHead);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            char figures[160];
            std::snprintf(figures, sizeof figures, "%zu %zu %c %llu %llu %llu %lld.%09u ", i + 1, e.folder, e.type,
                          static_cast<unsigned long long>(e.device), static_cast<unsigned long long>(e.inode),
                          static_cast<unsigned long long>(e.size), static_cast<long long>(e.seconds), e.nanoseconds);
            text += figures;
            appendName(text, e.name);
            text += '\n';
        }
        return text + std::string(kRecordEnd) + std::to_string(entries_.size()) + " entries\n";
    }

    // The record from what the mark holds after its first line; none when it is not one whole.
    static std::optional<Record> parse(std::string_view text) {
        if (!text.starts_with(kRecordHead)) return std::nullopt;
        text.remove_prefix(kRecordHead.size());
        Record record;
        for (;;) {
            const std::size_t end = text.find('\n');
            if (end == std::string_view::npos) return std::nullopt;
            const std::string_view line = text.substr(0, end);
            text.remove_prefix(end + 1);
            if (line.starts_with(kRecordEnd))
                return text.empty() && line == std::string(kRecordEnd) + std::to_string(record.size()) + " entries"
                           ? std::optional(std::move(record))
                           : std::nullopt;
            std::optional<Entry> entry = parseEntry(line, record.size() + 1);
            if (!entry) return std::nullopt;
            record.add(std::move(*entry));
        }
    }

private:
    static std::optional<Entry> parseEntry(std::string_view line, std::size_t number) {
        std::vector<std::string_view> words; // seven figures, then the name
        for (std::size_t at = 0; at <= line.size() && words.size() < 8;) {
            const std::size_t end = words.size() == 7 ? line.size() : std::min(line.find(' ', at), line.size());
            words.push_back(line.substr(at, end - at));
            at = end + 1;
        }
        if (words.size() != 8 || words[2].size() != 1 || std::string_view("fdlo").find(words[2][0]) == std::string_view::npos)
            return std::nullopt;
        auto number64 = [](std::string_view word, auto& value) {
            return !word.empty() &&
                   std::from_chars(word.data(), word.data() + word.size(), value).ptr == word.data() + word.size();
        };
        Entry entry;
        std::size_t self = 0;
        const std::size_t point = words[6].find('.');
        std::optional<std::string> name = readName(words[7]);
        if (!number64(words[0], self) || self != number || !number64(words[1], entry.folder) || entry.folder >= number ||
            !number64(words[3], entry.device) || !number64(words[4], entry.inode) || !number64(words[5], entry.size) ||
            point == std::string_view::npos || !number64(words[6].substr(0, point), entry.seconds) ||
            !number64(words[6].substr(point + 1), entry.nanoseconds) || !name)
            return std::nullopt;
        entry.type = words[2][0];
        entry.name = std::move(*name);
        return entry;
    }

    std::vector<Entry> entries_;
    std::map<std::pair<std::size_t, std::string>, std::size_t> places_;
};

// Walks the tree under an open folder depth first, standing in one folder at a time: each is
// entered by its name, never through a link, and left by "..", both checked to be the folder met
// on the way down. So a tree of any depth takes the same two descriptors and no recursion; what
// is left to visit is kept as names.
class Walk {
public:
    enum class Next { Over, Into, Stop };
    // What to do with the entry `name` of the folder the walk stands in (and, going into a
    // folder, its number in a record).
    using Visit = std::function<std::pair<Next, std::size_t>(const std::string& name, const struct statx& status)>;
    // Called in a folder once its entry `name`, walked into, has been walked whole; false stops.
    using Leave = std::function<bool(const std::string& name)>;

    Walk(int top, const struct statx& status) : top_(top), current_(top) { levels_.push_back({"", status, 0, {}}); }
    ~Walk() { stand(top_); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // The folder the walk stands in: open, its status and number.
    int folder() const { return current_; }
    const struct statx& folderStatus() const { return levels_.back().status; }
    std::size_t folderNumber() const { return levels_.back().number; }
    bool atTop() const { return levels_.size() == 1; }
    // The entry `name` of the folder the walk stands in, by its path in the walked folder.
    std::string pathOf(std::string_view name) const {
        std::string path;
        for (std::size_t i = 1; i < levels_.size(); ++i)
            path += levels_[i].name + "/";
        return path + std::string(name);
    }
    // "<entry>: <reason>" for what stopped the walk itself.
    const std::string& problem() const { return problem_; }

    // Walks the whole tree; false when a visit stopped it or it could not go on (problem()).
    bool run(const Visit& visit, const Leave& leave) {
        if (!list()) return false;
        while (!levels_.empty()) {
            Level& level = levels_.back();
            if (level.left.empty()) {
                if (levels_.size() == 1) return true;
                const std::string name = std::move(level.name);
                levels_.pop_back();
                if (!up(name) || !leave(name)) return false;
                continue;
            }
            const std::string name = std::move(level.left.back());
            level.left.pop_back();
            struct statx status {};
            if (const int error = statusOf(current_, name.c_str(), &status)) {
                if (error == ENOENT) continue; // gone meanwhile
                return fail(pathOf(name), reason(error));
            }
            const auto [next, number] = visit(name, status);
            if (next == Next::Stop) return false;
            if (next == Next::Into && !down(name, status, number)) return false;
        }
        return true;
    }

private:
    struct Level {
        std::string name; // in its folder
        struct statx status;
        std::size_t number;
        std::vector<std::string> left; // not visited yet, the next last
    };

    bool fail(const std::string& entry, const std::string& why) {
        problem_ = (entry.empty() ? "." : cutName(entry)) + ": " + why;
        return false;
    }
    void stand(int folder) {
        if (current_ != top_) ::close(current_);
        current_ = folder;
    }
    bool list() {
        std::string why;
        std::optional<std::vector<std::string>> names = entriesOf(current_, &why);
        if (!names) return fail(pathOf(""), why);
        levels_.back().left = std::move(*names);
        return true;
    }
    bool down(const std::string& name, const struct statx& status, std::size_t number) {
        Descriptor inner = openFolder(current_, name.c_str());
        struct statx opened {};
        if (!inner) return fail(pathOf(name), reason(errno));
        if (statusOf(inner.get(), "", &opened) != 0 || !sameNode(opened, status))
            return fail(pathOf(name), "it was replaced meanwhile");
        stand(inner.release());
        levels_.push_back({name, opened, number, {}});
        return list();
    }
    bool up(const std::string& name) {
        if (levels_.size() == 1) {
            stand(top_);
            return true;
        }
        Descriptor outer(::openat(current_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct statx opened {};
        if (!outer || statusOf(outer.get(), "", &opened) != 0 || !sameNode(opened, levels_.back().status))
            return fail(pathOf(name), "it was moved meanwhile");
        stand(outer.release());
        return true;
    }

    int top_;
    int current_;
    std::vector<Level> levels_;
    std::string problem_;
};

// Whether an entry is on another file system than the folder `top`, or a mount's root.
bool elsewhere(const struct statx& top, const struct statx& entry) {
    if (entry.stx_dev_major != top.stx_dev_major || entry.stx_dev_minor != top.stx_dev_minor) return true;
    if ((entry.stx_mask & top.stx_mask & STATX_MNT_ID) && entry.stx_mnt_id != top.stx_mnt_id) return true;
    return (entry.stx_attributes_mask & entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Whether the folder `name` of `at` is a run folder of its own (it holds a mark).
bool holdsMark(int at, const std::string& name) {
    const Descriptor inner = openFolder(at, name.c_str());
    struct stat status {};
    return inner && ::fstatat(inner.get(), kRunFolderMark, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// What the run under the open folder `top` wrote: every entry under its run entries, but a run
// folder nested inside and what another file system mounted there holds. None, with why, when the
// folder cannot be walked.
std::optional<Record> recordOf(int top, std::string* why) {
    struct statx self {};
    if (const int error = statusOf(top, "", &self)) {
        *why = reason(error);
        return std::nullopt;
    }
    Record record;
    Walk walk(top, self);
    const bool walked = walk.run(
        [&](const std::string& name, const struct statx& status) -> std::pair<Walk::Next, std::size_t> {
            if (walk.atTop() && std::find(std::begin(kRunEntries), std::end(kRunEntries), name) == std::end(kRunEntries))
                return {Walk::Next::Over, 0};
            const bool folder = S_ISDIR(status.stx_mode);
            if (elsewhere(self, status) || (folder && holdsMark(walk.folder(), name))) return {Walk::Next::Over, 0};
            record.add(entryOf(walk.folderNumber(), name, status));
            return {folder ? Walk::Next::Into : Walk::Next::Over, record.size()};
        },
        [](const std::string&) { return true; });
    if (!walked) {
        *why = walk.problem();
        return std::nullopt;
    }
    return record;
}

// Takes the lock of the open folder without waiting: 0, or errno (EWOULDBLOCK: a job holds it).
int lockFolder(int folder) {
    return ::flock(folder, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

struct Mark {
    enum class State { Missing, NotWhole, Bare, Recorded } state = State::Missing;
    std::string problem; // NotWhole: why
    Record record;       // Recorded
};

// The open folder's mark, as it stands.
Mark readMark(int folder) {
    Mark mark;
    const Descriptor file(::openat(folder, kRunFolderMark, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file && errno == ENOENT) return mark;
    mark.state = Mark::State::NotWhole;
    if (!file || ::fstat(file.get(), &status) != 0) {
        mark.problem = reason(errno);
        return mark;
    }
    if (!S_ISREG(status.st_mode)) {
        mark.problem = "not a file";
        return mark;
    }
    if (status.st_size > kLongestMark) {
        mark.problem = "not the one a run writes";
        return mark;
    }
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = ::read(file.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            mark.problem = reason(errno);
            return mark;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (!text.starts_with(kMarkText)) {
        mark.problem = text.empty() ? "empty" : "not the one a run writes";
        return mark;
    }
    if (text.size() == kMarkText.size()) {
        mark.state = Mark::State::Bare;
        return mark;
    }
    std::optional<Record> record = Record::parse(std::string_view(text).substr(kMarkText.size()));
    if (!record) {
        mark.problem = "its record is cut short or not the one a run writes";
        return mark;
    }
    mark.state = Mark::State::Recorded;
    mark.record = std::move(*record);
    return mark;
}

std::string notWholeMark(const std::string& shown, const std::string& problem) {
    return "the run folder " + shown + " has a " + kRunFolderMark + " that is not whole (" + problem +
           "): it is not a folder a run finished making, and --overwrite does not empty it; if a run " +
           "of yours made it, remove the folder and run again";
}

std::string notRecorded(const std::string& shown) {
    return "the run folder " + shown + " holds no record of what its run wrote (its job was stopped before " +
           "it wrote one, or an earlier version made the folder), and --overwrite removes only what a " +
           "record names; look through it, remove it yourself (rm -r) and run again";
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

// A new run folder, held and marked; none when the name is taken (`taken`) or, with why, when it
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
    Descriptor opened = openFolder(AT_FDCWD, folder.c_str());
    // Held before it is marked: a job that meets it meanwhile finds it being made. One that only
    // looks lets go at once.
    int error = !opened || ::flock(opened.get(), LOCK_EX) != 0 ? errno : writeAside(opened.get(), kRunFolderMark, kMarkText);
    if (error) {
        *why = "cannot mark the run folder " + shownFolder(folder) + " (" + kRunFolderMark + "): " + reason(error) +
               "; it was taken away again";
        return std::nullopt;
    }
    made.keep();
    return RunFolder(absoluteName(folder), opened.release());
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

// Why an entry cannot be removed from its folder (`parent`), besides the folder's permissions: ""
// when it can.
std::string whyItStays(const struct statx& parent, const struct statx& entry) {
    const auto attribute = [&](std::uint64_t bit) { return (entry.stx_attributes_mask & entry.stx_attributes & bit) != 0; };
    if (attribute(STATX_ATTR_IMMUTABLE)) return reason(EPERM) + " (it is immutable)";
    if (attribute(STATX_ATTR_APPEND)) return reason(EPERM) + " (it is append-only)";
    const uid_t self = ::geteuid();
    if ((parent.stx_mode & S_ISVTX) && self != 0 && self != entry.stx_uid && self != parent.stx_uid)
        return reason(EPERM) + " (its folder lets only an entry's owner remove it)";
    return {};
}

// Why the open folder `top` may not be emptied as `record` says: "" when every entry of it is one
// the record names, unchanged, and can be removed; else what refuses it, naming the first entry
// that does not.
std::string whyNotEmptied(int top, const struct statx& self, const Record& record) {
    if (::faccessat(top, ".", W_OK | X_OK, AT_EACCESS) != 0) return "cannot be emptied whole: .: " + reason(errno);
    Walk walk(top, self);
    // Why the entry `name` (`number` in the record, 0 when it is not there) refuses the emptying.
    auto refusalOf = [&](const std::string& name, const struct statx& status, std::size_t number) -> std::string {
        const std::string path = cutName(walk.pathOf(name));
        const bool folder = S_ISDIR(status.stx_mode);
        if (elsewhere(self, status)) return "cannot be emptied whole: " + path + ": another file system is mounted there";
        if (!number && folder && holdsMark(walk.folder(), name))
            return "holds " + path + ", " +
                   (lockFolder(openFolder(walk.folder(), name.c_str()).get()) == EWOULDBLOCK
                        ? "the folder of a running job"
                        : "the folder of another run: move it out or remove it, and run again");
        if (!number) return "holds " + path + ", which its run did not write: move it out or remove it, and run again";
        if (!unchanged(record[number], entryOf(walk.folderNumber(), name, status)))
            return "holds " + path + ", changed since its run wrote it: move it out or remove it, and run again";
        std::string why = whyItStays(walk.folderStatus(), status);
        if (why.empty() && folder && ::faccessat(walk.folder(), name.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            why = reason(errno);
        return why.empty() ? "" : "cannot be emptied whole: " + path + ": " + why;
    };
    std::string refusal;
    const bool walked = walk.run(
        [&](const std::string& name, const struct statx& status) -> std::pair<Walk::Next, std::size_t> {
            if (walk.atTop() && name == kRunFolderMark) return {Walk::Next::Over, 0};
            const std::size_t number = record.find(walk.folderNumber(), name);
            refusal = refusalOf(name, status, number);
            return {!refusal.empty() ? Walk::Next::Stop : S_ISDIR(status.stx_mode) ? Walk::Next::Into : Walk::Next::Over,
                    number};
        },
        [](const std::string&) { return true; });
    return walked || !refusal.empty() ? refusal : "cannot be emptied whole: " + walk.problem();
}

// Removes what `record` names from the open folder `top`, each entry checked again as it goes;
// "" when all went, else "<entry>: <reason>" for the first that did not.
std::string removeRecorded(int top, const struct statx& self, const Record& record) {
    Walk walk(top, self);
    std::string problem;
    const bool walked = walk.run(
        [&](const std::string& name, const struct statx& status) -> std::pair<Walk::Next, std::size_t> {
            if (walk.atTop() && (name == kRunFolderMark || name == asideName(kRunFolderMark)))
                return {Walk::Next::Over, 0};
            const std::size_t number = record.find(walk.folderNumber(), name);
            if (!number || !unchanged(record[number], entryOf(walk.folderNumber(), name, status))) {
                problem = cutName(walk.pathOf(name)) + ": it was not there when the folder was looked at";
                return {Walk::Next::Stop, 0};
            }
            if (S_ISDIR(status.stx_mode)) return {Walk::Next::Into, number};
            if (::unlinkat(walk.folder(), name.c_str(), 0) == 0) return {Walk::Next::Over, 0};
            problem = cutName(walk.pathOf(name)) + ": " + reason(errno);
            return {Walk::Next::Stop, 0};
        },
        [&](const std::string& name) {
            if (::unlinkat(walk.folder(), name.c_str(), AT_REMOVEDIR) == 0) return true;
            problem = cutName(walk.pathOf(name)) + ": " + reason(errno);
            return false;
        });
    return walked ? "" : problem.empty() ? walk.problem() : problem;
}

// Empties the marked folder `wanted` names, once it is sure every entry of it may go, and holds it.
std::optional<RunFolder> emptyRunFolder(const fs::path& wanted, const RunFolderRequest& request, std::string* why) {
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
    Descriptor opened = openFolder(AT_FDCWD, folder.c_str());
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0)
        return refuse(errno == ELOOP || errno == ENOTDIR ? "was replaced by a link or a file as it was checked"
                                                         : "cannot be opened: " + reason(errno));
    if (status.st_dev != checked.st_dev || status.st_ino != checked.st_ino)
        return refuse("was replaced by another folder as it was checked");
    const int locked = lockFolder(opened.get());
    Mark mark = readMark(opened.get());
    if (locked == EWOULDBLOCK)
        return refuse(mark.state == Mark::State::Missing ? "is being made by another job" : "is in use by a running job");
    switch (mark.state) {
    case Mark::State::Missing:
        *why = std::string("--overwrite empties only a folder a run made, and ") + shown + " has no " + kRunFolderMark +
               "; nothing was emptied";
        return std::nullopt;
    case Mark::State::NotWhole:
        *why = notWholeMark(shown, mark.problem) + "; nothing was emptied";
        return std::nullopt;
    case Mark::State::Bare:
        *why = "--overwrite: " + notRecorded(shown) + "; nothing was emptied";
        return std::nullopt;
    case Mark::State::Recorded:
        break;
    }
    if (locked) return refuse("cannot be held: " + reason(locked));
    struct statx self {};
    if (const int error = statusOf(opened.get(), "", &self)) return refuse("cannot be opened: " + reason(error));
    if (const std::string refusal = whyNotEmptied(opened.get(), self, mark.record); !refusal.empty())
        return refuse(refusal);
    // Marked as held from here: a job stopped while it empties leaves a folder without a record.
    if (const int error = writeAside(opened.get(), kRunFolderMark, kMarkText))
        return refuse("cannot be marked again: " + reason(error));
    if (const std::string problem = removeRecorded(opened.get(), self, mark.record); !problem.empty()) {
        *why = "cannot empty the run folder " + shown + ": " + problem + " (it changed while it was emptied)";
        return std::nullopt;
    }
    return RunFolder(absoluteName(wanted), opened.release());
}

// Refuses the folder `wanted` names, which exists, or empties it for --overwrite.
std::optional<RunFolder> existingRunFolder(const fs::path& wanted, const RunFolderRequest& request, std::string* why) {
    const std::string shown = shownFolder(wanted);
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0) {
        *why = "cannot reach the run folder " + shown + ": " + reason(errno);
        return std::nullopt;
    }
    if (S_ISLNK(status.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(wanted, ec);
        *why = "the run folder " + shown + " is a link" + (ec ? "" : " to " + shownFolder(target)) +
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
    const bool held = opened && lockFolder(opened.get()) == EWOULDBLOCK;
    const Mark mark = opened ? readMark(opened.get()) : Mark{};
    if (held)
        *why = "the run folder " + shown + " exists and is " +
               (mark.state == Mark::State::Missing ? "being made by another job" : "in use by a running job");
    else if (mark.state == Mark::State::Recorded)
        *why = "the run folder " + shown + " exists (--overwrite empties it and runs there)";
    else if (mark.state == Mark::State::Bare)
        *why = notRecorded(shown);
    else if (mark.state == Mark::State::NotWhole)
        *why = notWholeMark(shown, mark.problem);
    else
        *why = "the run folder " + shown + " exists and is not a run folder (it has no " + kRunFolderMark +
               "); name a new folder";
    return std::nullopt;
}

// The default folder's name for a run started at `now`: "20240501T100000.123Z-iphone7", with
// "-<attempt>" after it from the second attempt on.
std::string defaultRunFolderName(std::chrono::system_clock::time_point now, std::string_view label, int attempt) {
    const auto since1970 = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(since1970.count() / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char stamp[48];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
    std::snprintf(stamp + length, sizeof stamp - length, ".%03dZ", static_cast<int>(since1970.count() % 1000));
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
        std::optional<RunFolder> made = newRunFolder(runs / defaultRunFolderName(now, label, attempt), &taken, why);
        if (!taken) return made;
    }
    *why = "cannot make a run folder in " + shownFolder(runs) + ": " +
           (ec ? ec.message() : std::to_string(kAttempts) + " names are taken");
    return std::nullopt;
}

// Where a file of the run goes: the open folder holding it (owned unless it is the run folder
// itself), and its name there. Each folder on the way is entered without following a link.
struct Place {
    Descriptor owned;
    int at = -1;
    std::string name;
};

// The place of `relative` under the open folder `top`, its folders made first when `make`; the
// place's `at` is -1 (errno set) when a folder on the way cannot be reached.
Place placeOf(int top, std::string_view relative, bool make) {
    Place place{Descriptor(), top, {}};
    for (;;) {
        const std::size_t slash = relative.find('/');
        place.name = relative.substr(0, slash);
        if (slash == std::string_view::npos) return place;
        relative.remove_prefix(slash + 1);
        if (make && ::mkdirat(place.at, place.name.c_str(), 0777) != 0 && errno != EEXIST) {
            place.at = -1;
            return place;
        }
        place.owned = openFolder(place.at, place.name.c_str());
        place.at = place.owned.get();
        if (place.at < 0) return place;
    }
}

} // namespace

RunFolder::RunFolder(std::string path, int folder) : path_(std::move(path)), base_(path_), folder_(folder) {
    // The system's name for the open folder, when it has one that is this very folder.
    const std::string named = "/proc/self/fd/" + std::to_string(folder_);
    struct stat byName {}, opened {};
    if (::stat(named.c_str(), &byName) == 0 && ::fstat(folder_, &opened) == 0 && byName.st_dev == opened.st_dev &&
        byName.st_ino == opened.st_ino)
        base_ = named;
}

RunFolder::RunFolder(RunFolder&& other) noexcept
    : path_(std::move(other.path_)), base_(std::move(other.base_)), folder_(std::exchange(other.folder_, -1)),
      recorded_(other.recorded_), failures_(std::move(other.failures_)) {}

RunFolder::~RunFolder() {
    if (folder_ < 0) return;
    if (std::string why; !recorded_) record(&why);
    ::close(folder_); // lets go of the lock
}

std::string RunFolder::shown(std::string_view text) const {
    if (base_ == path_) return std::string(text);
    std::string result;
    for (std::size_t at = 0;;) {
        const std::size_t found = text.find(base_, at);
        // The base is a descriptor's number: a longer number is another one.
        const bool whole = found != std::string_view::npos &&
                           (found + base_.size() == text.size() || !std::isdigit(static_cast<unsigned char>(text[found + base_.size()])));
        if (found == std::string_view::npos) return result.append(text.substr(at));
        result.append(text.substr(at, found - at)).append(whole ? path_ : base_);
        at = found + base_.size();
    }
}

bool RunFolder::write(std::string_view relative, std::string_view text) {
    const Place place = placeOf(folder_, relative, false);
    const int error = place.at < 0 ? errno : writeAside(place.at, place.name, text);
    if (error) failed(relative, reason(error));
    return !error;
}

bool RunFolder::makeFolder(std::string_view relative) {
    const std::string within = std::string(relative) + "/.";
    if (placeOf(folder_, within, true).at >= 0) return true;
    failed(relative, reason(errno));
    return false;
}

RunFolder::Stream RunFolder::stream(std::string_view relative) {
    const Place place = placeOf(folder_, relative, false);
    const int fd = place.at < 0 ? -1
                                : ::openat(place.at, place.name.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    return Stream(*this, std::string(relative), fd, fd < 0 ? errno : 0);
}

void RunFolder::failed(std::string_view what, std::string_view why) {
    failures_.push_back(std::string(what) + ": " + std::string(why));
}

void RunFolder::remove(std::string_view relative) {
    const Place place = placeOf(folder_, relative, false);
    if (place.at >= 0) ::unlinkat(place.at, place.name.c_str(), 0);
}

bool RunFolder::record(std::string* why) {
    recorded_ = true;
    const std::optional<Record> record = recordOf(folder_, why);
    if (!record) return false;
    if (const int error = writeAside(folder_, kRunFolderMark, std::string(kMarkText) + record->text())) {
        *why = reason(error);
        return false;
    }
    return true;
}

void RunFolder::Stream::append(std::string_view text) {
    if (folder_ && !error_) error_ = writeWhole(fd_, text);
}

void RunFolder::Stream::close() {
    RunFolder* const folder = std::exchange(folder_, nullptr);
    if (!folder) return;
    if (fd_ >= 0 && ::close(std::exchange(fd_, -1)) != 0 && !error_) error_ = errno;
    if (!error_) return;
    folder->remove(name_);
    folder->failed(name_, reason(error_));
}

std::optional<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why) {
    if (request.wanted.empty()) return makeDefaultRunFolder(request.label, why);
    // Lexically normal before anything is made: "nox/../y" makes no "nox", and "lnk/." is "lnk".
    fs::path wanted = fs::path(request.wanted).lexically_normal();
    if (!wanted.has_filename() && wanted.has_relative_path()) wanted = wanted.parent_path(); // "run/"
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0 && errno == ENOENT) {
        bool taken = false;
        std::optional<RunFolder> made = newRunFolder(wanted, &taken, why);
        if (!taken) return made;
        // Made by someone else meanwhile: it exists, as below.
    }
    return existingRunFolder(wanted, request, why);
}

} // namespace app
