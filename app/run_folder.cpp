#include "app/run_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
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
#include <mutex>
#include <string_view>
#include <system_error>

#include "app/run_report.h"

namespace app {

namespace {

namespace fs = std::filesystem;
using ns::EntryFigures;
using ns::FileDescriptor;

// What the mark's first line holds; a mark is a regular file that starts so.
constexpr std::string_view kMarkText =
    "functiontest run folder: a run made it, and functiontest --overwrite may empty it\n";
// The record follows it: this line, then a line for each entry as the run made or removed it, then
// the end line with the count of those lines. A mark of the first line alone, or another second
// line, is an earlier version's.
constexpr std::string_view kJournalHead =
    "what its run made, a line each as it made it: type (f file, d folder; - removed), device, inode, "
    "bytes, modified and changed (seconds.nanoseconds), its place in the folder (a space, a control "
    "character and \\ as \\xNN)\n";
constexpr std::string_view kRecordEnd = "end of the record: ";
// A mark longer than this is none a run wrote (a record takes some 100 bytes an entry).
constexpr off_t kLongestMark = off_t{256} << 20;
// Where --overwrite holds what it takes away, and the private name an entry takes as it goes.
constexpr const char* kHolding = ".functiontest-emptying";
constexpr const char* kGone = ".functiontest-gone";
// What --overwrite says of an entry that changed after it was looked at.
constexpr const char* kNotMade = "it is not the entry its run made";

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

// Whether `name` at the top of a run folder is the folder's own (its mark, lock, a mark being
// written), not the run's.
bool folderOwn(std::string_view name) {
    return name == kRunFolderMark || name == kRunFolderLock || name == ns::asideName(kRunFolderMark);
}

// The folder `name` of `at`, opened only when it is a folder and not a link.
FileDescriptor openFolder(int at, const char* name) {
    return FileDescriptor(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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

// What the walks ask of an entry's status: its kind and mode, owner, identity, size, times and
// mount.
constexpr unsigned kStatus = STATX_BASIC_STATS | STATX_MNT_ID;

int statusOf(int at, const char* name, struct statx* status) {
    const int flags = *name ? AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT : AT_EMPTY_PATH;
    return ::statx(at, name, flags, kStatus, status) == 0 ? 0 : errno;
}

bool sameNode(const struct statx& a, const struct statx& b) {
    return a.stx_ino == b.stx_ino && a.stx_dev_major == b.stx_dev_major && a.stx_dev_minor == b.stx_dev_minor;
}

// ---- The record ----

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

// A place as appendName wrote it: parts joined by '/', none empty, "." or ".."; none otherwise.
std::optional<std::string> readPlace(std::string_view text) {
    std::string place;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            place += text[at];
            continue;
        }
        unsigned byte = 0;
        if (at + 3 >= text.size() || text[at + 1] != 'x' ||
            std::from_chars(text.data() + at + 2, text.data() + at + 4, byte, 16).ptr != text.data() + at + 4)
            return std::nullopt;
        place += static_cast<char>(byte);
        at += 3;
    }
    for (std::size_t at = 0;;) {
        const std::size_t end = std::min(place.find('/', at), place.size());
        const std::string_view part = std::string_view(place).substr(at, end - at);
        if (part.empty() || part == "." || part == "..") return std::nullopt;
        if (end == place.size()) return place;
        at = end + 1;
    }
}

std::string seconds(std::int64_t whole, std::uint32_t nanoseconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09u", static_cast<long long>(whole), nanoseconds);
    return text;
}

// The record's line for an entry made at `place`.
std::string madeLine(const std::string& place, const EntryFigures& figures) {
    char head[96];
    std::snprintf(head, sizeof head, "%c %llu %llu %llu ", figures.type == 'd' ? 'd' : 'f',
                  static_cast<unsigned long long>(figures.device), static_cast<unsigned long long>(figures.inode),
                  static_cast<unsigned long long>(figures.size));
    std::string line = head + seconds(figures.modifiedSeconds, figures.modifiedNanoseconds) + " " +
                       seconds(figures.changedSeconds, figures.changedNanoseconds) + " ";
    appendName(line, place);
    return line + "\n";
}

std::string removedLine(const std::string& place) {
    std::string line = "- ";
    appendName(line, place);
    return line + "\n";
}

// What a run made, as its mark records it: each place and the entry made there last, as it was
// made.
struct Record {
    std::map<std::string, EntryFigures> entries;
    std::size_t lines = 0;
    bool ended = false; // its job ended and wrote the end line

    const EntryFigures* find(const std::string& place) const {
        const auto found = entries.find(place);
        return found == entries.end() ? nullptr : &found->second;
    }

    // Takes one line of the record (without its line break); false when it is none.
    bool take(std::string_view line) {
        auto word = [&line]() {
            const std::size_t end = std::min(line.find(' '), line.size());
            const std::string_view taken = line.substr(0, end);
            line.remove_prefix(std::min(end + 1, line.size()));
            return taken;
        };
        auto number = [](std::string_view text, auto& value) {
            return !text.empty() && std::from_chars(text.data(), text.data() + text.size(), value).ptr == text.data() + text.size();
        };
        auto time = [&](std::string_view text, std::int64_t& whole, std::uint32_t& nanoseconds) {
            const std::size_t point = text.find('.');
            return point != std::string_view::npos && number(text.substr(0, point), whole) &&
                   number(text.substr(point + 1), nanoseconds);
        };
        const std::string_view type = word();
        if (type == "-") {
            const std::optional<std::string> place = readPlace(line);
            if (!place) return false;
            entries.erase(*place);
            ++lines;
            return true;
        }
        EntryFigures figures;
        figures.links = 1;
        if ((type != "f" && type != "d") || !number(word(), figures.device) || !number(word(), figures.inode) ||
            !number(word(), figures.size) || !time(word(), figures.modifiedSeconds, figures.modifiedNanoseconds) ||
            !time(word(), figures.changedSeconds, figures.changedNanoseconds))
            return false;
        figures.type = type[0];
        const std::optional<std::string> place = readPlace(line);
        if (!place) return false;
        entries[*place] = figures;
        ++lines;
        return true;
    }

    // The record from what the mark holds after its head; none when a whole line of it is not one.
    // A last line cut short (a job killed as it wrote it) is left out.
    static std::optional<Record> parse(std::string_view text) {
        Record record;
        for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
            const std::string_view line = text.substr(0, end);
            text.remove_prefix(end + 1);
            if (line.starts_with(kRecordEnd)) {
                if (!text.empty() || line != std::string(kRecordEnd) + std::to_string(record.lines) + " lines")
                    return std::nullopt;
                record.ended = true;
                return record;
            }
            if (!record.take(line)) return std::nullopt;
        }
        return record;
    }
};

// The journal a run's folders tell what they make: each entry appended to the mark as it is made,
// one whole line at a time, and kept to answer what was made last at a place.
class Journal final : public ns::Directory::Journal {
public:
    explicit Journal(ns::Directory::Stream mark) : mark_(std::move(mark)) {}

    void made(const std::string& place, const EntryFigures& figures) override {
        std::lock_guard g(lock_);
        record_.entries[place] = figures;
        append(madeLine(place, figures));
    }
    void removed(const std::string& place) override {
        std::lock_guard g(lock_);
        record_.entries.erase(place);
        append(removedLine(place));
    }
    std::optional<EntryFigures> lastMade(const std::string& place) const override {
        std::lock_guard g(lock_);
        const EntryFigures* figures = record_.find(place);
        return figures ? std::optional(*figures) : std::nullopt;
    }
    void failed(const std::string& place, int error) override { keep(place, reason(error)); }

    // Keeps the failure of the entry `place` of the run, the first only of each.
    void keep(std::string_view place, std::string_view why) {
        std::lock_guard g(lock_);
        const std::string named(place);
        if (std::none_of(failures_.begin(), failures_.end(), [&](const auto& kept) { return kept.first == named; }))
            failures_.emplace_back(named, std::string(why));
    }
    // Each entry of the run that could not be written whole: "<place>: <reason>", in order.
    std::vector<std::string> failures() const {
        std::lock_guard g(lock_);
        std::vector<std::string> texts;
        for (const auto& [place, why] : failures_)
            texts.push_back(place + ": " + why);
        return texts;
    }

    // Writes the end line and lets go of the mark: 0, or the errno of the first line that could not
    // be written (the record is whole up to the line before it).
    int end() {
        std::lock_guard g(lock_);
        if (!record_.ended) {
            append(std::string(kRecordEnd) + std::to_string(record_.lines) + " lines\n");
            record_.ended = true;
            if (const int error = mark_.close(); error && !error_) error_ = error;
        }
        return error_;
    }

private:
    // Called with the lock held. Nothing after the end, nor after a line that could not be written.
    void append(const std::string& line) {
        if (record_.ended || error_) return;
        if ((error_ = mark_.append(line)) == 0) ++record_.lines;
    }

    mutable std::mutex lock_;
    ns::Directory::Stream mark_;
    Record record_;
    int error_ = 0;
    std::vector<std::pair<std::string, std::string>> failures_;
};

// ---- Walking a folder ----

// Walks the tree under an open folder depth first, standing in one folder at a time: each is
// entered by its name, never through a link, and left by "..", both checked to be the folder met
// on the way down. So a tree of any depth takes the same two descriptors and no recursion; what
// is left to visit is kept as names.
class Walk {
public:
    enum class Next { Over, Into, Stop };
    // What to do with the entry `name` of the folder the walk stands in.
    using Visit = std::function<Next(const std::string& name, const struct statx& status)>;
    // Called in a folder once its entry `name`, walked into, has been walked whole; false stops.
    using Leave = std::function<bool(const std::string& name)>;

    Walk(int top, const struct statx& status) : top_(top), current_(top) { levels_.push_back({"", status, {}}); }
    ~Walk() { stand(top_); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // The folder the walk stands in: open, and its status.
    int folder() const { return current_; }
    const struct statx& folderStatus() const { return levels_.back().status; }
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
            const Next next = visit(name, status);
            if (next == Next::Stop) return false;
            if (next == Next::Into && !down(name, status)) return false;
        }
        return true;
    }

private:
    struct Level {
        std::string name; // in its folder
        struct statx status;
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
    bool down(const std::string& name, const struct statx& status) {
        FileDescriptor inner = openFolder(current_, name.c_str());
        struct statx opened {};
        if (!inner) return fail(pathOf(name), reason(errno));
        if (statusOf(inner.get(), "", &opened) != 0 || !sameNode(opened, status))
            return fail(pathOf(name), "it was replaced meanwhile");
        stand(inner.release());
        levels_.push_back({name, opened, {}});
        return list();
    }
    bool up(const std::string& name) {
        if (levels_.size() == 1) {
            stand(top_);
            return true;
        }
        FileDescriptor outer(::openat(current_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
    const FileDescriptor inner = openFolder(at, name.c_str());
    struct stat status {};
    return inner && ::fstatat(inner.get(), kRunFolderMark, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// ---- Holding a folder ----

// The locks a job holds its folder by: the open folder's own, and its lock file's.
struct Hold {
    FileDescriptor lockFile;
    bool madeLockFile = false;
};

// Takes the open folder's locks without waiting (with `wait`, waiting: a folder just made):
// the folder's own where its file system locks folders (a network file system does not), then the
// lock file's, opened for writing from the folder (made when `make`). 0, or errno (EWOULDBLOCK: a
// job holds it).
int holdFolder(int folder, bool make, bool wait, Hold* hold) {
    const int how = LOCK_EX | (wait ? 0 : LOCK_NB);
    if (::flock(folder, how) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) return errno;
    hold->lockFile = FileDescriptor(::openat(folder, kRunFolderLock, O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!hold->lockFile && errno == ENOENT && make) {
        hold->lockFile = FileDescriptor(
            ::openat(folder, kRunFolderLock, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        hold->madeLockFile = static_cast<bool>(hold->lockFile);
    }
    if (!hold->lockFile) return errno == ENOENT && !make ? 0 : errno;
    return ::flock(hold->lockFile.get(), how) == 0 ? 0 : errno;
}

// Whether a job holds the folder `name` of `at` (looked at, and let go of at once).
bool heldByAJob(int at, const std::string& name) {
    const FileDescriptor folder = openFolder(at, name.c_str());
    Hold hold;
    return folder && holdFolder(folder.get(), false, false, &hold) == EWOULDBLOCK;
}

struct Mark {
    enum class State { Missing, NotWhole, Bare, Recorded } state = State::Missing;
    std::string problem; // NotWhole: why
    Record record;       // Recorded
};

// The open folder's mark, as it stands.
Mark readMark(int folder) {
    Mark mark;
    const FileDescriptor file(::openat(folder, kRunFolderMark, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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
    const std::string_view rest = std::string_view(text).substr(kMarkText.size());
    if (!rest.starts_with(kJournalHead)) { // an earlier version's, or a job of one that was stopped
        mark.state = Mark::State::Bare;
        return mark;
    }
    std::optional<Record> record = Record::parse(rest.substr(kJournalHead.size()));
    if (!record) {
        mark.problem = "its record is not the one a run writes";
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
    return "the run folder " + shown + " holds no record of what its run made (an earlier version made " +
           "it), and --overwrite removes only what a record names; look through it, remove it yourself " +
           "(rm -r) and run again";
}

} // namespace

// ---- The folder a job holds ----

struct RunFolder::State {
    State(std::string shown, FileDescriptor open, FileDescriptor lock, std::shared_ptr<ns::Directory::Journal> record)
        : path(std::move(shown)), folder(std::move(open)), lockFile(std::move(lock)), journal(std::move(record)),
          directory(ns::Directory::adopt(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0), path, journal)) {}

    std::string path;
    FileDescriptor folder;   // the open folder, locked
    FileDescriptor lockFile; // its lock file, locked
    std::shared_ptr<ns::Directory::Journal> journal; // a Journal
    ns::Directory directory;
    bool recorded = false;
};

namespace {

// A new run folder's state once it is held: its mark begun (a held folder without one is being
// made); none with errno's value when the mark cannot be written whole.
std::shared_ptr<RunFolder::State> marked(const std::string& path, FileDescriptor& folder, Hold& hold, int* error) {
    // The folder's own files are the folder's, not the run's: made through a folder without a
    // journal.
    const ns::Directory own = ns::Directory::adopt(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0), path, nullptr);
    const std::string head = std::string(kMarkText) + std::string(kJournalHead);
    std::optional<ns::Directory::Stream> mark = own.stream(kRunFolderMark, head, error);
    if (!mark) return nullptr;
    return std::make_shared<RunFolder::State>(path, std::move(folder), std::move(hold.lockFile),
                                              std::make_shared<Journal>(std::move(*mark)));
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
std::unique_ptr<RunFolder> newRunFolder(const fs::path& folder, bool* taken, std::string* why) {
    MadeFolders made;
    if (const int error = made.make(folder)) {
        if (error == EEXIST)
            *taken = true;
        else
            *why = "cannot make the run folder " + shownFolder(folder) + ": " + reason(error);
        return nullptr;
    }
    FileDescriptor opened = openFolder(AT_FDCWD, folder.c_str());
    // Held before it is marked: a job that meets it meanwhile finds it being made. One that only
    // looks lets go at once.
    Hold hold;
    int error = !opened ? errno : holdFolder(opened.get(), true, true, &hold);
    std::shared_ptr<RunFolder::State> state;
    if (!error) state = marked(absoluteName(folder), opened, hold, &error);
    if (!state) {
        if (opened) ::unlinkat(opened.get(), kRunFolderLock, 0);
        *why = "cannot mark the run folder " + shownFolder(folder) + " (" + kRunFolderMark + "): " + reason(error) +
               "; it was taken away again";
        return nullptr;
    }
    made.keep();
    return std::make_unique<RunFolder>(std::move(state));
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

// What a changed entry is said to be, by whether its job ended its record.
std::string changedSince(const Record& record) {
    return record.ended ? ", changed since its run wrote it: move it out or remove it, and run again"
                        : ", changed since its run recorded it (its job was stopped before it ended its record): "
                          "look through the folder, remove it yourself (rm -r) and run again";
}

// Why the open folder `top` may not be emptied as `record` says: "" when every entry of it is one
// the record names, unchanged, and can be removed; else what refuses it, naming the first entry
// that does not.
std::string whyNotEmptied(int top, const struct statx& self, const Record& record) {
    if (::faccessat(top, ".", W_OK | X_OK, AT_EACCESS) != 0) return "cannot be emptied whole: .: " + reason(errno);
    Walk walk(top, self);
    // Why the entry `name` refuses the emptying.
    auto refusalOf = [&](const std::string& name, const struct statx& status) -> std::string {
        const std::string place = walk.pathOf(name), shown = cutName(place);
        const EntryFigures* made = record.find(place);
        const bool folder = S_ISDIR(status.stx_mode);
        if (walk.atTop() && name == kHolding)
            return "holds " + shown + ", left by an emptying of it that was stopped: look through the folder, " +
                   "remove it yourself (rm -r) and run again";
        if (elsewhere(self, status)) return "cannot be emptied whole: " + shown + ": another file system is mounted there";
        if (!made && folder && holdsMark(walk.folder(), name))
            return "holds " + shown + ", " +
                   (heldByAJob(walk.folder(), name) ? "the folder of a running job"
                                                    : "the folder of another run: move it out or remove it, and run again");
        if (!made) return "holds " + shown + ", which its run did not write: move it out or remove it, and run again";
        // What keeps it there first: the one thing to undo.
        std::string why = whyItStays(walk.folderStatus(), status);
        if (why.empty() && folder && ::faccessat(walk.folder(), name.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            why = reason(errno);
        if (!why.empty()) return "cannot be emptied whole: " + shown + ": " + why;
        return ns::unchanged(*made, ns::figuresOf(status)) ? "" : "holds " + shown + changedSince(record);
    };
    std::string refusal;
    const bool walked = walk.run(
        [&](const std::string& name, const struct statx& status) {
            if (walk.atTop() && folderOwn(name)) return Walk::Next::Over;
            refusal = refusalOf(name, status);
            return !refusal.empty() ? Walk::Next::Stop : S_ISDIR(status.stx_mode) ? Walk::Next::Into : Walk::Next::Over;
        },
        [](const std::string&) { return true; });
    return walked || !refusal.empty() ? refusal : "cannot be emptied whole: " + walk.problem();
}

// What --overwrite takes away from the open folder `top`, as `record` names it, and how: first
// held, then removed.
class Emptying {
public:
    Emptying(int top, const struct statx& self, const Record& record) : top_(top), self_(self), record_(record) {}
    Emptying(const Emptying&) = delete;
    Emptying& operator=(const Emptying&) = delete;
    // What is held and not removed goes back.
    ~Emptying() { putBack(); }

    // Moves every entry of the folder into the holding folder, each checked before the move and
    // again once there, and then everything held checked once more: "" when all of it is as the
    // record says, else "<entry>: <reason>" with all of it put back.
    std::string hold() {
        if (::mkdirat(top_, kHolding, 0700) != 0) return std::string(kHolding) + ": " + reason(errno);
        holding_ = openFolder(top_, kHolding);
        if (!holding_) return std::string(kHolding) + ": " + reason(errno);
        std::string why;
        std::optional<std::vector<std::string>> names = entriesOf(top_, &why);
        if (!names) return ".: " + why;
        for (const std::string& name : *names) {
            if (folderOwn(name) || name == kHolding) continue;
            const EntryFigures* made = record_.find(name);
            EntryFigures found, moved;
            if (!made || !figuresAt(top_, name, &found) || !ns::unchanged(*made, found))
                return problem(name, kNotMade);
            if (::renameat2(top_, name.c_str(), holding_.get(), name.c_str(), RENAME_NOREPLACE) != 0)
                return problem(name, reason(errno));
            held_.push_back(name);
            if (!figuresAt(holding_.get(), name, &moved) || !ns::unchanged(*made, moved, false))
                return problem(name, kNotMade);
            // As it stands now, its change time the move's: what it is to be when it goes.
            record_.entries[name] = moved;
        }
        // The entries under them, each as the record says, its change time too.
        struct statx status {};
        if (statusOf(holding_.get(), "", &status) != 0) return std::string(kHolding) + ": " + reason(errno);
        Walk walk(holding_.get(), status);
        std::string found;
        const bool walked = walk.run(
            [&](const std::string& name, const struct statx& entry) {
                const EntryFigures* made = record_.find(walk.pathOf(name));
                if (!made || elsewhere(self_, entry) || !ns::unchanged(*made, ns::figuresOf(entry))) {
                    found = problem(walk.pathOf(name), kNotMade);
                    return Walk::Next::Stop;
                }
                return S_ISDIR(entry.stx_mode) ? Walk::Next::Into : Walk::Next::Over;
            },
            [](const std::string&) { return true; });
        return walked ? "" : found.empty() ? walk.problem() : found;
    }

    // Removes what is held, an entry at a time, each moved to a private name and checked there
    // first: "" when all went, else "<entry>: <reason>" with what is left put back.
    std::string remove() {
        struct statx status {};
        if (statusOf(holding_.get(), "", &status) != 0) return std::string(kHolding) + ": " + reason(errno);
        Walk walk(holding_.get(), status);
        std::string found;
        auto take = [&](const std::string& name) {
            const std::string place = walk.pathOf(name);
            const EntryFigures* made = record_.find(place);
            const int error = !made ? ESTALE
                                    : ns::takeAway(walk.folder(), name, *made, holding_.get(), kGone);
            if (error) found = problem(place, error == ESTALE ? kNotMade : reason(error));
            return error == 0;
        };
        const bool walked = walk.run(
            [&](const std::string& name, const struct statx& entry) {
                if (walk.atTop() && name == kGone) return Walk::Next::Over;
                if (S_ISDIR(entry.stx_mode)) return Walk::Next::Into;
                // A top entry was moved into the holding folder: its change time is the move's.
                return take(name) ? Walk::Next::Over : Walk::Next::Stop;
            },
            [&](const std::string& name) { return take(name); });
        if (!walked) return found.empty() ? walk.problem() : found;
        held_.clear();
        if (::unlinkat(top_, kHolding, AT_REMOVEDIR) != 0) return std::string(kHolding) + ": " + reason(errno);
        holding_ = FileDescriptor();
        return "";
    }

private:
    static bool figuresAt(int at, const std::string& name, EntryFigures* figures) {
        struct statx status {};
        if (statusOf(at, name.c_str(), &status) != 0) return false;
        *figures = ns::figuresOf(status);
        return true;
    }
    std::string problem(const std::string& place, const std::string& why) { return cutName(place) + ": " + why; }
    // Puts back each top entry still held, and takes the holding folder away when it is empty.
    void putBack() {
        if (!holding_) return;
        std::string why;
        if (std::optional<std::vector<std::string>> names = entriesOf(holding_.get(), &why))
            for (const std::string& name : *names)
                if (std::find(held_.begin(), held_.end(), name) != held_.end())
                    ::renameat2(holding_.get(), name.c_str(), top_, name.c_str(), RENAME_NOREPLACE);
        ::unlinkat(top_, kHolding, AT_REMOVEDIR);
    }

    int top_;
    struct statx self_;
    Record record_; // a copy: a top entry's figures are those it has once it is held
    FileDescriptor holding_;
    std::vector<std::string> held_; // the top entries moved into the holding folder
};

// Empties the marked folder `wanted` names, once it is sure every entry of it may go, and holds it.
std::unique_ptr<RunFolder> emptyRunFolder(const fs::path& wanted, const RunFolderRequest& request, std::string* why) {
    const std::string shown = shownFolder(wanted);
    auto refuse = [&](const std::string& text) -> std::unique_ptr<RunFolder> {
        *why = "--overwrite: the run folder " + shown + " " + text + "; nothing was emptied";
        return nullptr;
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
    FileDescriptor opened = openFolder(AT_FDCWD, folder.c_str());
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0)
        return refuse(errno == ELOOP || errno == ENOTDIR ? "was replaced by a link or a file as it was checked"
                                                         : "cannot be opened: " + reason(errno));
    if (status.st_dev != checked.st_dev || status.st_ino != checked.st_ino)
        return refuse("was replaced by another folder as it was checked");
    Hold hold;
    const int locked = holdFolder(opened.get(), true, false, &hold);
    // A lock file made for this look goes again when the folder is refused.
    struct MadeLock {
        int folder;
        bool made;
        ~MadeLock() {
            if (made) ::unlinkat(folder, kRunFolderLock, 0);
        }
    } madeLock{opened.get(), hold.madeLockFile};
    Mark mark = readMark(opened.get());
    if (locked == EWOULDBLOCK)
        return refuse(mark.state == Mark::State::Missing ? "is being made by another job" : "is in use by a running job");
    switch (mark.state) {
    case Mark::State::Missing:
        *why = std::string("--overwrite empties only a folder a run made, and ") + shown + " has no " + kRunFolderMark +
               "; nothing was emptied";
        return nullptr;
    case Mark::State::NotWhole:
        *why = notWholeMark(shown, mark.problem) + "; nothing was emptied";
        return nullptr;
    case Mark::State::Bare:
        *why = "--overwrite: " + notRecorded(shown) + "; nothing was emptied";
        return nullptr;
    case Mark::State::Recorded:
        break;
    }
    if (locked) return refuse("cannot be held: " + reason(locked));
    struct statx self {};
    if (const int error = statusOf(opened.get(), "", &self)) return refuse("cannot be opened: " + reason(error));
    if (const std::string refusal = whyNotEmptied(opened.get(), self, mark.record); !refusal.empty())
        return refuse(refusal);
    if (request.betweenPasses) request.betweenPasses();
    Emptying emptying(opened.get(), self, mark.record);
    if (const std::string problem = emptying.hold(); !problem.empty())
        return refuse("changed as it was emptied: " + problem);
    // Marked anew before anything is removed: a job stopped while it empties leaves the holding
    // folder beside a record that does not name it, which --overwrite refuses.
    int error = 0;
    const std::string path = absoluteName(wanted);
    std::shared_ptr<RunFolder::State> state = marked(path, opened, hold, &error);
    if (!state) return refuse("cannot be marked again: " + reason(error));
    madeLock.made = false;
    if (const std::string problem = emptying.remove(); !problem.empty()) {
        *why = "cannot empty the run folder " + shown + ": " + problem + " (it changed while it was emptied)";
        return nullptr;
    }
    return std::make_unique<RunFolder>(std::move(state));
}

// Refuses the folder `wanted` names, which exists, or empties it for --overwrite.
std::unique_ptr<RunFolder> existingRunFolder(const fs::path& wanted, const RunFolderRequest& request, std::string* why) {
    const std::string shown = shownFolder(wanted);
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0) {
        *why = "cannot reach the run folder " + shown + ": " + reason(errno);
        return nullptr;
    }
    if (S_ISLNK(status.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(wanted, ec);
        *why = "the run folder " + shown + " is a link" + (ec ? "" : " to " + shownFolder(target)) +
               ": a run folder is never reached through a link (one could be turned to another folder); name " +
               "the folder itself";
        return nullptr;
    }
    if (!S_ISDIR(status.st_mode)) {
        *why = "the run folder " + shown + " exists and is not a folder";
        return nullptr;
    }
    if (request.overwrite) return emptyRunFolder(wanted, request, why);
    const FileDescriptor opened = openFolder(AT_FDCWD, wanted.c_str());
    Hold hold;
    const bool held = opened && holdFolder(opened.get(), false, false, &hold) == EWOULDBLOCK;
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
    return nullptr;
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
std::unique_ptr<RunFolder> makeDefaultRunFolder(std::string_view label, std::string* why) {
    constexpr int kAttempts = 1000;
    std::error_code ec;
    const fs::path runs = fs::absolute("runs", ec);
    const auto now = std::chrono::system_clock::now();
    for (int attempt = 1; !ec && attempt <= kAttempts; ++attempt) {
        bool taken = false;
        std::unique_ptr<RunFolder> made = newRunFolder(runs / defaultRunFolderName(now, label, attempt), &taken, why);
        if (!taken) return made;
    }
    *why = "cannot make a run folder in " + shownFolder(runs) + ": " +
           (ec ? ec.message() : std::to_string(kAttempts) + " names are taken");
    return nullptr;
}

} // namespace

RunFolder::~RunFolder() {
    try {
        if (std::string why; !state_->recorded) record(&why);
    } catch (...) { // nothing leaves a destructor: a record not ended is one a killed job leaves
    }
}

const std::string& RunFolder::path() const {
    return state_->path;
}

const ns::Directory& RunFolder::directory() const {
    return state_->directory;
}

std::optional<ns::Directory> RunFolder::folder(std::string_view relative) {
    int error = 0;
    return state_->directory.folder(relative, &error); // a failure is the journal's
}

bool RunFolder::writeText(std::string_view relative, const sim::MaskedText& text) {
    return state_->directory.write(relative, text.text(), ns::Durability::Unsynced) == 0; // a failure is the journal's
}

RunFolder::TextStream RunFolder::textStream(std::string_view relative) {
    int error = 0;
    return TextStream(state_->directory.stream(relative, {}, &error));
}

void RunFolder::failed(std::string_view what, std::string_view why) {
    static_cast<Journal&>(*state_->journal).keep(what, why);
}

std::vector<std::string> RunFolder::failures() const {
    return static_cast<const Journal&>(*state_->journal).failures();
}

bool RunFolder::record(std::string* why) {
    state_->recorded = true;
    if (const int error = static_cast<Journal&>(*state_->journal).end()) {
        *why = reason(error);
        return false;
    }
    return true;
}

RunFolder::TextStream::TextStream(std::optional<ns::Directory::Stream> file) : file_(std::move(file)) {}

void RunFolder::TextStream::append(const sim::MaskedText& text) {
    if (file_ && file_->append(text.text())) {
        file_->discard(); // none of it stays; its failure is the journal's
        file_.reset();
    }
}

void RunFolder::TextStream::close() {
    file_.reset(); // a failed close is the journal's
}

std::unique_ptr<RunFolder> makeRunFolder(const RunFolderRequest& request, std::string* why) {
    if (request.wanted.empty()) return makeDefaultRunFolder(request.label, why);
    // Lexically normal before anything is made: "nox/../y" makes no "nox", and "lnk/." is "lnk".
    fs::path wanted = fs::path(request.wanted).lexically_normal();
    if (!wanted.has_filename() && wanted.has_relative_path()) wanted = wanted.parent_path(); // "run/"
    struct stat status {};
    if (::lstat(wanted.c_str(), &status) != 0 && errno == ENOENT) {
        bool taken = false;
        std::unique_ptr<RunFolder> made = newRunFolder(wanted, &taken, why);
        if (!taken) return made;
        // Made by someone else meanwhile: it exists, as below.
    }
    return existingRunFolder(wanted, request, why);
}

} // namespace app
