#include "platform/foundation/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace ns {

namespace {

// An entry being removed is first moved to this name beside it.
std::string removingName(std::string_view name) {
    return "." + std::string(name) + ".functiontest-removing";
}

std::mutex gHookLock;
std::function<bool(const std::string&)> gInterruption;

// Writes into folders without a journal run one at a time in the process: a write that finds a
// file aside left by a killed one removes it, and must never remove one another thread writes.
std::mutex gUntrackedWrites;

constexpr unsigned kFigures = STATX_BASIC_STATS;

int statusAt(int at, const char* name, struct statx* status) {
    const int flags = *name ? AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT : AT_EMPTY_PATH;
    return ::statx(at, name, flags, kFigures, status) == 0 ? 0 : errno;
}

int figuresAt(int at, const std::string& name, EntryFigures* figures) {
    struct statx status {};
    if (const int error = statusAt(at, name.c_str(), &status)) return error;
    *figures = figuresOf(status);
    return 0;
}

bool sameNode(const EntryFigures& a, const EntryFigures& b) {
    return a.type == b.type && a.device == b.device && a.inode == b.inode;
}

// 64-bit FNV-1a, continued from `hash`.
std::uint64_t hashed(std::uint64_t hash, std::string_view bytes) {
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}
constexpr std::uint64_t kHashStart = 14695981039346656037ull;

// Splits a path into its parts; false when a part is empty, "." or "..", or the path is absolute.
bool partsOf(std::string_view path, std::vector<std::string_view>* parts) {
    if (path.empty()) return true;
    for (std::size_t at = 0;;) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..") return false;
        parts->push_back(part);
        if (end == path.size()) return true;
        at = end + 1;
    }
}

std::string joined(const std::string& place, std::string_view relative) {
    if (place.empty()) return std::string(relative);
    if (relative.empty()) return place;
    return place + "/" + std::string(relative);
}

} // namespace

// The top folder a Directory reaches everything from.
struct Directory::Root {
    FileDescriptor fd;
    std::string path;
    std::shared_ptr<Journal> journal;
    EntryFigures self;

    // The entry at `path` (a path in the top folder, checked) opened beneath the top folder, never
    // through a link nor across a mount; -1 with errno set.
    int openBeneath(const std::string& path, int flags, mode_t mode = 0) const {
        static std::atomic<bool> noOpenat2{false};
        if (!noOpenat2.load(std::memory_order_relaxed)) {
            open_how how{};
            how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
            how.mode = (flags & O_CREAT) ? mode : 0;
            how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV;
            const char* name = path.empty() ? "." : path.c_str();
            for (;;) {
                const long opened = ::syscall(SYS_openat2, fd.get(), name, &how, sizeof how);
                if (opened >= 0) return static_cast<int>(opened);
                if (errno == EAGAIN || errno == EINTR) continue; // a rename raced the lookup
                if (errno != ENOSYS && errno != EPERM) return -1;
                break; // a kernel without openat2, or a filter refusing it: the walk below
            }
            if (errno == ENOSYS) noOpenat2.store(true, std::memory_order_relaxed);
        }
        return walkBeneath(path, flags, mode);
    }

    // What openat2 resolves, a part at a time: each folder entered without following a link, and
    // checked to be on the top folder's device.
    int walkBeneath(const std::string& path, int flags, mode_t mode) const {
        std::vector<std::string_view> parts;
        partsOf(path, &parts);
        FileDescriptor current(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
        if (!current) return -1;
        if (parts.empty()) {
            if (!(flags & O_DIRECTORY)) return current.release();
            return ::openat(fd.get(), ".", flags | O_CLOEXEC);
        }
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            const std::string part(parts[i]);
            FileDescriptor next(
                last
                    ? ::openat(current.get(), part.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode)
                    : ::openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next) return -1;
            struct statx status {};
            if (statusAt(next.get(), "", &status) != 0) return -1;
            if (::makedev(status.stx_dev_major, status.stx_dev_minor) != self.device) {
                errno = EXDEV;
                return -1;
            }
            current = std::move(next);
        }
        return current.release();
    }

    // The folder holding the entry at `path` (a path in the top folder, checked, not empty), and
    // the entry's name there.
    struct Place {
        FileDescriptor folder;
        std::string name;
        std::string folderPlace; // the folder's path in the top folder
    };
    std::optional<Place> placeOf(const std::string& path) const {
        const std::size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
        Place place{FileDescriptor(openBeneath(folder, O_RDONLY | O_DIRECTORY)), path.substr(slash + 1),
                    folder};
        if (!place.folder) return std::nullopt;
        return place;
    }

    // Whether the entry `name` of `folder` (at `path`) may be replaced or removed: anything without
    // a journal, else only what the journal made there as it stands. `found` gets its figures.
    bool mayGo(int folder, const std::string& name, const std::string& path, EntryFigures* found) const {
        if (figuresAt(folder, name, found) != 0) return false;
        if (!journal) return true;
        const std::optional<EntryFigures> made = journal->lastMade(path);
        return made && unchanged(*made, *found);
    }

    // Puts the file written aside as `aside` of `folder` at `name` (the entry at `path`): where
    // nothing is, or over what may go. 0, or errno (EEXIST: something that may not go is there).
    int intoPlace(int folder, const std::string& aside, const std::string& name,
                  const std::string& path) const {
        if (!journal) return ::renameat(folder, aside.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
        if (::renameat2(folder, aside.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
        if (errno == EINVAL) { // a file system without the flag: looked at, then renamed
            EntryFigures found;
            const int error = figuresAt(folder, name, &found);
            if (error && error != ENOENT) return error;
            if (!error && !mayGo(folder, name, path, &found)) return EEXIST;
            return ::renameat(folder, aside.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
        }
        if (errno != EEXIST) return errno;
        // Something is there: exchanged with the new file, so that what goes is what was looked at.
        EntryFigures found;
        if (!mayGo(folder, name, path, &found)) return EEXIST;
        if (::renameat2(folder, aside.c_str(), folder, name.c_str(), RENAME_EXCHANGE) != 0) return errno;
        EntryFigures moved;
        if (figuresAt(folder, aside, &moved) == 0 && sameNode(found, moved) &&
            unchanged(found, moved, false) &&
            (moved.type == 'd' ? ::unlinkat(folder, aside.c_str(), AT_REMOVEDIR)
                               : ::unlinkat(folder, aside.c_str(), 0)) == 0)
            return 0;
        // Not what was looked at: put back as it was.
        ::renameat2(folder, aside.c_str(), folder, name.c_str(), RENAME_EXCHANGE);
        return EEXIST;
    }

    // Tells the journal the entry at `path` could not be made or written: `error`, passed on.
    int failure(const std::string& path, int error) const {
        if (journal && error) journal->failed(path, error);
        return error;
    }

    // Tells the journal the entry `name` of `folder` (at `path`) was made, when it is the node
    // `written`.
    void tell(int folder, const std::string& name, const std::string& path,
              const EntryFigures* written) const {
        EntryFigures figures;
        if (!journal || figuresAt(folder, name, &figures) != 0) return;
        if (written && !sameNode(*written, figures)) return;
        journal->made(path, figures);
    }
};

std::string asideName(std::string_view name) {
    return "." + std::string(name) + ".functiontest-aside";
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

EntryFigures figuresOf(const struct statx& status) {
    const mode_t mode = status.stx_mode;
    return {S_ISREG(mode)   ? 'f'
            : S_ISDIR(mode) ? 'd'
            : S_ISLNK(mode) ? 'l'
                            : 'o',
            ::makedev(status.stx_dev_major, status.stx_dev_minor),
            status.stx_ino,
            status.stx_size,
            status.stx_nlink,
            status.stx_mtime.tv_sec,
            status.stx_ctime.tv_sec,
            status.stx_mtime.tv_nsec,
            status.stx_ctime.tv_nsec};
}

bool unchanged(const EntryFigures& made, const EntryFigures& found, bool changeTime) {
    if (!sameNode(made, found)) return false;
    if (made.type == 'd') return true;
    return found.links == 1 && made.size == found.size && made.modifiedSeconds == found.modifiedSeconds &&
           made.modifiedNanoseconds == found.modifiedNanoseconds &&
           (!changeTime || (made.changedSeconds == found.changedSeconds &&
                            made.changedNanoseconds == found.changedNanoseconds));
}

int writeAll(int fd, std::span<const std::string_view> pieces) {
    std::vector<iovec> batch;
    std::size_t first = 0, offset = 0; // the next byte: of pieces[first], at offset
    for (;;) {
        while (first < pieces.size() && offset == pieces[first].size()) {
            ++first;
            offset = 0;
        }
        if (first == pieces.size()) return 0;
        batch.clear();
        for (std::size_t i = first; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
            const std::string_view piece = i == first ? pieces[i].substr(offset) : pieces[i];
            if (!piece.empty()) batch.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
        const ssize_t written = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        for (auto left = static_cast<std::size_t>(written); left > 0;) {
            const std::size_t taken = std::min(left, pieces[first].size() - offset);
            offset += taken;
            left -= taken;
            if (offset == pieces[first].size()) {
                ++first;
                offset = 0;
            }
        }
    }
}

int takeAway(int at, const std::string& name, const EntryFigures& made, int asideAt,
             const std::string& aside) {
    EntryFigures found;
    if (const int error = figuresAt(at, name, &found)) return error;
    if (!unchanged(made, found)) return ESTALE;
    if (::renameat2(at, name.c_str(), asideAt, aside.c_str(), RENAME_NOREPLACE) != 0) return errno;
    EntryFigures moved;
    int error = figuresAt(asideAt, aside, &moved);
    if (!error && !unchanged(made, moved, false)) error = ESTALE;
    if (!error && ::unlinkat(asideAt, aside.c_str(), moved.type == 'd' ? AT_REMOVEDIR : 0) != 0)
        error = errno;
    if (error) ::renameat2(asideAt, aside.c_str(), at, name.c_str(), RENAME_NOREPLACE);
    return error;
}

Directory::Directory(std::shared_ptr<const Root> root, std::string place)
    : root_(std::move(root)), place_(std::move(place)),
      path_(place_.empty() ? root_->path : root_->path + "/" + place_) {}

std::optional<Directory> Directory::open(const std::string& path, bool make, int* error) {
    std::error_code ec;
    if (make) std::filesystem::create_directories(path, ec);
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = ec ? ec.value() : errno;
        return std::nullopt;
    }
    return adopt(fd, path, nullptr);
}

Directory Directory::adopt(int fd, std::string path, std::shared_ptr<Journal> journal) {
    auto root = std::make_shared<Root>();
    root->fd = FileDescriptor(fd);
    root->path = std::move(path);
    root->journal = std::move(journal);
    struct statx status {};
    if (statusAt(fd, "", &status) == 0) root->self = figuresOf(status);
    return Directory(std::move(root), "");
}

std::string Directory::pathOf(std::string_view relative) const {
    return relative.empty() ? path_ : path_ + "/" + std::string(relative);
}

int Directory::inside(std::string_view relative, std::string* path) const {
    std::vector<std::string_view> parts;
    if (!partsOf(relative, &parts)) return EINVAL;
    *path = joined(place_, relative);
    return 0;
}

std::optional<Directory> Directory::folder(std::string_view relative, int* error) const {
    std::string path;
    if ((*error = inside(relative, &path))) return std::nullopt;
    std::vector<std::string_view> parts;
    partsOf(path, &parts);
    // Each folder on the way: entered when it is there, else made and told to the journal.
    std::string reached;
    for (const std::string_view part : parts) {
        const std::string next = reached.empty() ? std::string(part) : reached + "/" + std::string(part);
        FileDescriptor opened(root_->openBeneath(next, O_RDONLY | O_DIRECTORY));
        if (!opened && errno == ENOENT) {
            FileDescriptor parent(root_->openBeneath(reached, O_RDONLY | O_DIRECTORY));
            const std::string name(part);
            if (!parent || (::mkdirat(parent.get(), name.c_str(), 0777) != 0 && errno != EEXIST)) {
                *error = root_->failure(next, errno);
                return std::nullopt;
            }
            root_->tell(parent.get(), name, next, nullptr);
            opened = FileDescriptor(root_->openBeneath(next, O_RDONLY | O_DIRECTORY));
        }
        if (!opened) {
            *error = root_->failure(next, errno);
            return std::nullopt;
        }
        reached = next;
    }
    *error = 0;
    return Directory(root_, path);
}

std::optional<Directory::Place> Directory::entryAt(std::string_view relative, int* error) const {
    std::string path;
    if ((*error = inside(relative, &path)) || path.empty()) {
        if (!*error) *error = EISDIR; // this folder itself is no entry of it
        return std::nullopt;
    }
    std::optional<Root::Place> place = root_->placeOf(path);
    if (!place) {
        *error = errno;
        return std::nullopt;
    }
    return Place{std::move(place->folder), std::move(place->name), std::move(place->folderPlace),
                 std::move(path)};
}

int Directory::putInPlace(const Place& place, std::span<const std::string_view> pieces, Durability durability,
                          bool keepOpen, FileDescriptor* kept) const {
    const int folder = place.folder.get();
    const std::string aside = asideName(place.name);
    std::unique_lock<std::mutex> untracked(gUntrackedWrites, std::defer_lock);
    if (!root_->journal) untracked.lock();
    // A file that is replaced keeps its mode.
    struct stat existing {};
    const mode_t mode = ::fstatat(folder, place.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
                                S_ISREG(existing.st_mode)
                            ? existing.st_mode & 07777
                            : 0644;
    // A file kept open to be appended to is read as well: its close reads it back.
    const int flags = (keepOpen ? O_RDWR | O_APPEND : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor file(::openat(folder, aside.c_str(), flags, mode));
    if (!file && errno == EEXIST && !root_->journal) { // left by a write that was killed
        ::unlinkat(folder, aside.c_str(), 0);
        file = FileDescriptor(::openat(folder, aside.c_str(), flags, mode));
    }
    if (!file) return errno;
    int error = writeAll(file.get(), pieces);
    if (!error && mode != 0644 && ::fchmod(file.get(), mode) != 0) error = errno; // the mask took bits
    if (!error && durability == Durability::Synced && ::fsync(file.get()) != 0) error = errno;
    struct statx status {};
    if (!error && statusAt(file.get(), "", &status) != 0) error = errno;
    if (!error && !keepOpen && ::close(file.release()) != 0) error = errno;
    if (!error) {
        std::function<bool(const std::string&)> hook;
        {
            std::lock_guard g(gHookLock);
            hook = gInterruption;
        }
        if (hook && hook(root_->path + "/" + joined(place.folderPath, aside))) return EINTR;
    }
    if (!error) error = root_->intoPlace(folder, aside, place.name, place.path);
    if (error) {
        ::unlinkat(folder, aside.c_str(), 0);
        return error;
    }
    const EntryFigures written = figuresOf(status);
    root_->tell(folder, place.name, place.path, &written);
    if (durability == Durability::Synced)
        ::fsync(folder); // best effort: some file systems refuse it on folders
    if (keepOpen) *kept = std::move(file);
    return 0;
}

int Directory::write(std::string_view relative, std::span<const std::string_view> pieces,
                     Durability durability) const {
    int error = 0;
    const std::optional<Place> place = entryAt(relative, &error);
    if (place) error = putInPlace(*place, pieces, durability, false, nullptr);
    return root_->failure(joined(place_, relative), error);
}

std::optional<Directory::Stream> Directory::stream(std::string_view relative, std::string_view head,
                                                   int* error) const {
    const std::optional<Place> place = entryAt(relative, error);
    FileDescriptor file;
    if (place)
        *error = putInPlace(*place, std::span<const std::string_view>(&head, 1), Durability::Unsynced, true,
                            &file);
    if (root_->failure(joined(place_, relative), *error)) return std::nullopt;
    return Stream(root_, place->path, file.release(), head.size(), hashed(kHashStart, head));
}

std::optional<Directory::Stream> Directory::appendTo(std::string_view relative, int* error) const {
    const std::optional<Place> place = entryAt(relative, error);
    if (!place) return std::nullopt;
    FileDescriptor file(
        ::openat(place->folder.get(), place->name.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (!file && errno == ENOENT) return stream(relative, {}, error);
    EntryFigures found;
    if (!file || (*error = figuresAt(file.get(), "", &found))) {
        if (!*error) *error = errno;
        return std::nullopt;
    }
    std::uint64_t hash = kHashStart;
    if (root_->journal) { // only the journal's own file, which its close reads back whole
        const std::optional<EntryFigures> made = root_->journal->lastMade(place->path);
        std::string bytes;
        if (found.type != 'f' || !made || !unchanged(*made, found) || (*error = read(relative, &bytes))) {
            if (!*error) *error = EEXIST;
            return std::nullopt;
        }
        hash = hashed(hash, bytes);
    }
    return Stream(root_, place->path, file.release(), found.size, hash);
}

int Directory::openForReading(std::string_view relative) const {
    std::string path;
    if (const int error = inside(relative, &path)) {
        errno = error;
        return -1;
    }
    return root_->openBeneath(path, O_RDONLY);
}

int Directory::read(std::string_view relative, std::string* bytes) const {
    const FileDescriptor file(openForReading(relative));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0) return errno;
    if (S_ISDIR(status.st_mode)) return EISDIR;
    bytes->clear();
    if (status.st_size > 0) bytes->reserve(static_cast<std::size_t>(status.st_size));
    char chunk[65536];
    for (ssize_t got; (got = ::read(file.get(), chunk, sizeof chunk)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        bytes->append(chunk, static_cast<std::size_t>(got));
    }
    return 0;
}

int Directory::status(std::string_view relative, EntryFigures* figures) const {
    std::string path;
    if (const int error = inside(relative, &path)) return error;
    if (path.empty()) return figuresAt(root_->fd.get(), "", figures);
    std::optional<Root::Place> place = root_->placeOf(path);
    return place ? figuresAt(place->folder.get(), place->name, figures) : errno;
}

int Directory::list(std::string_view relative, std::vector<std::string>* names) const {
    std::string path;
    if (const int error = inside(relative, &path)) return error;
    const int fd = root_->openBeneath(path, O_RDONLY | O_DIRECTORY);
    DIR* listing = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!listing) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        return error;
    }
    names->clear();
    errno = 0;
    while (const dirent* entry = ::readdir(listing))
        if (std::string_view name = entry->d_name; name != "." && name != "..") names->emplace_back(name);
    const int error = errno;
    ::closedir(listing);
    std::sort(names->begin(), names->end());
    return error;
}

int Directory::remove(std::string_view relative) const {
    int error = 0;
    const std::optional<Place> place = entryAt(relative, &error);
    if (!place) return error == EISDIR ? EBUSY : error;
    EntryFigures found;
    if ((error = figuresAt(place->folder.get(), place->name, &found))) return error;
    if (!root_->journal) {
        std::error_code ec;
        if (found.type != 'd')
            return ::unlinkat(place->folder.get(), place->name.c_str(), 0) == 0 ? 0 : errno;
        std::filesystem::remove_all(pathOf(relative), ec); // a host's folder, as the host removes it
        return ec ? ec.value() : 0;
    }
    const std::optional<EntryFigures> made = root_->journal->lastMade(place->path);
    if (!made || !unchanged(*made, found)) return EPERM;
    if (found.type == 'd') { // what it holds first, each as this is
        std::vector<std::string> names;
        if ((error = list(relative, &names))) return error;
        for (const std::string& name : names)
            if ((error = remove(std::string(relative) + "/" + name))) return error;
    }
    error = takeAway(place->folder.get(), place->name, *made, place->folder.get(), removingName(place->name));
    if (error) return error == ESTALE ? EPERM : error;
    root_->journal->removed(place->path);
    return 0;
}

int Directory::rename(std::string_view from, std::string_view to, bool replace) const {
    int error = 0;
    const std::optional<Place> before = entryAt(from, &error);
    const std::optional<Place> after = before ? entryAt(to, &error) : std::nullopt;
    if (!after) return error == EISDIR ? EBUSY : error;
    const std::string& source = before->path;
    const std::string& target = after->path;
    const int was = before->folder.get(), is = after->folder.get();
    EntryFigures moving;
    if (!root_->journal) {
        if (replace) return ::renameat(was, before->name.c_str(), is, after->name.c_str()) == 0 ? 0 : errno;
        if (figuresAt(is, after->name, &moving) == 0) return EEXIST; // the host's rename would replace it
        return ::renameat(was, before->name.c_str(), is, after->name.c_str()) == 0 ? 0 : errno;
    }
    // Only a file the journal made is moved (a folder's entries would lose their places in it), and
    // only over what the journal made: moved beside the target first, then put in place as a
    // written file is.
    if (!root_->mayGo(was, before->name, source, &moving) || moving.type == 'd') return EPERM;
    const std::string aside = asideName(after->name);
    if (::renameat2(was, before->name.c_str(), is, aside.c_str(), RENAME_NOREPLACE) != 0) return errno;
    EntryFigures there;
    error = !replace && figuresAt(is, after->name, &there) == 0 ? EEXIST : 0;
    if (!error) error = root_->intoPlace(is, aside, after->name, target);
    if (error) {
        ::renameat2(is, aside.c_str(), was, before->name.c_str(), RENAME_NOREPLACE);
        return error;
    }
    root_->journal->removed(source);
    root_->tell(is, after->name, target, &moving);
    return 0;
}

int Directory::openLock(std::string_view relative) const {
    int error = 0;
    const std::optional<Place> place = entryAt(relative, &error);
    if (!place) {
        errno = error;
        return -1;
    }
    const char* name = place->name.c_str();
    const int fd =
        ::openat(place->folder.get(), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        root_->tell(place->folder.get(), place->name, place->path, nullptr);
        return fd;
    }
    if (errno != EEXIST) return -1;
    return ::openat(place->folder.get(), name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
}

int Directory::fileSystem(struct statvfs* figures) const {
    const FileDescriptor folder(root_->openBeneath(place_, O_RDONLY | O_DIRECTORY));
    return folder && ::fstatvfs(folder.get(), figures) == 0 ? 0 : errno;
}

Directory::Stream::Stream(std::shared_ptr<const Root> root, std::string place, int fd, std::uint64_t size,
                          std::uint64_t hash)
    : root_(std::move(root)), place_(std::move(place)), fd_(fd), size_(size), hash_(hash) {}

Directory::Stream::Stream(Stream&& other) noexcept
    : root_(std::move(other.root_)), place_(std::move(other.place_)), fd_(std::exchange(other.fd_, -1)),
      size_(other.size_), hash_(other.hash_) {}

std::string Directory::Stream::path() const {
    return root_ ? root_->path + "/" + place_ : place_;
}

int Directory::Stream::append(std::span<const std::string_view> pieces) {
    if (fd_ < 0) return EBADF;
    if (const int error = writeAll(fd_, pieces)) {
        // Whatever of the pieces went in is taken back: the file holds whole pieces only.
        if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) size_ = ~std::uint64_t{0}; // never told whole
        return root_->failure(place_, error);
    }
    for (const std::string_view piece : pieces) {
        size_ += piece.size();
        hash_ = hashed(hash_, piece);
    }
    return 0;
}

bool Directory::Stream::holdsWritten(EntryFigures* figures) const {
    struct statx before {
    }, after{};
    std::uint64_t hash = kHashStart, read = 0;
    char chunk[65536];
    if (statusAt(fd_, "", &before) != 0 || before.stx_size != size_) return false;
    for (ssize_t got; (got = ::pread(fd_, chunk, sizeof chunk, static_cast<off_t>(read))) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        hash = hashed(hash, std::string_view(chunk, static_cast<std::size_t>(got)));
        read += static_cast<std::uint64_t>(got);
    }
    if (read != size_ || hash != hash_ || statusAt(fd_, "", &after) != 0 ||
        figuresOf(before) != figuresOf(after))
        return false;
    *figures = figuresOf(after);
    return true;
}

int Directory::Stream::close() {
    if (fd_ < 0) return 0;
    // Told the journal only as it holds what was written to it.
    if (EntryFigures figures; root_->journal && holdsWritten(&figures)) root_->journal->made(place_, figures);
    return ::close(std::exchange(fd_, -1)) == 0 ? 0 : root_->failure(place_, errno);
}

int Directory::Stream::discard() {
    if (fd_ < 0) return EBADF;
    EntryFigures figures;
    const bool whole = holdsWritten(&figures);
    ::close(std::exchange(fd_, -1));
    if (!whole) return EPERM;
    std::optional<Root::Place> place = root_->placeOf(place_);
    if (!place) return errno;
    if (const int error = takeAway(place->folder.get(), place->name, figures, place->folder.get(),
                                   removingName(place->name)))
        return error;
    if (root_->journal) root_->journal->removed(place_);
    return 0;
}

namespace detail {
void setAtomicWriteInterruption(std::function<bool(const std::string&)> hook) {
    std::lock_guard g(gHookLock);
    gInterruption = std::move(hook);
}
} // namespace detail

} // namespace ns
