#pragma once
// A folder held open, and the one way to make files and folders in it.
//
// A Directory is a capability: a descriptor of a top folder and a place under it. Every entry it
// makes, reads or removes is reached from the top folder's descriptor by a path that stays beneath
// it (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV where the kernel has it,
// a component-by-component walk that never follows a link nor crosses a mount where it has not), so
// no link, no rename of the top folder or of its parents, and no mount inside can send an entry
// anywhere else. A place that leads through a link fails (ELOOP), one across a mount too (EXDEV).
//
// A file is written whole in one way only (write): under a name of its own beside it, then renamed
// into place, so that a reader (or a crash) meets the old file or the new one, never a piece; how
// far it is kept is named (Durability). A file written as it goes (a log: stream) is begun the same
// way and appended to a piece at a time, each piece whole or taken back.
//
// A Directory may keep a journal (the run folder's): each entry it makes is told to the journal with
// its figures as it is made (and each it fails to make or write whole, with why), and an entry is replaced or
// removed only when the journal says it is the one made last at its place, unchanged (its change time
// included); anything else there (a user's file, a file renamed onto the name) is left as it is, and the
// write or removal fails (EEXIST, EPERM). A Directory without a journal (one opened by path: a host's folder)
// replaces and removes what it finds, as the file system does.

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ns {

// How far a file written whole is kept once the write says it is.
enum class Durability {
    Unsynced, // in place, whole; a crash of the machine may lose it (a picture, a log, a sound)
    Synced,   // flushed to the disk before it is renamed into place, and its folder after (a store)
};

// What identifies an entry (its type, device and inode) and what says it is as it was: its size,
// links, modification and change times.
struct EntryFigures {
    char type = 'o'; // 'f' a file, 'd' a folder, 'l' a link, 'o' anything else
    std::uint64_t device = 0, inode = 0, size = 0, links = 0;
    std::int64_t modifiedSeconds = 0, changedSeconds = 0;
    std::uint32_t modifiedNanoseconds = 0, changedNanoseconds = 0;

    bool operator==(const EntryFigures&) const = default;
};

EntryFigures figuresOf(const struct statx& status);

// Whether `found` is the entry `made` describes, as it was made: the same node, and for a file the
// same size, a single link and the same modification time, and (with `changeTime`: an entry that
// has not been moved since) the same change time, which no one can set back. A folder's contents
// change as entries come and go: a folder is the same folder when it is the same node.
bool unchanged(const EntryFigures& made, const EntryFigures& found, bool changeTime = true);

// A descriptor, closed with the object.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor();
    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }
    explicit operator bool() const noexcept { return fd_ >= 0; }

private:
    int fd_;
};

// Writes the pieces to the open file one after the other, whole: 0, or the errno of why not (a
// write that takes nothing: ENOSPC). The one write loop of files.
int writeAll(int fd, std::span<const std::string_view> pieces);

// The name a file written whole takes beside its own while it is written.
std::string asideName(std::string_view name);

// Takes the entry `name` of the open folder `at` away only when it is the entry `made`: it is
// looked at (unchanged, the change time included), moved to `aside` in the open folder `asideAt`
// (never over anything there), looked at again there (the same node, unchanged but for the change
// time, which the move sets) and only then removed; when it is not the one, or it cannot be
// removed, it is put back. So a file renamed onto the name between the look and the removal is
// never the one removed. 0, or the errno of why not (ESTALE: it is not the entry made).
int takeAway(int at, const std::string& name, const EntryFigures& made, int asideAt,
             const std::string& aside);

class Directory {
public:
    // Told of each entry made, replaced or removed through a Directory sharing it, by its path in
    // the top folder; any thread.
    class Journal {
    public:
        virtual ~Journal() = default;
        virtual void made(const std::string& path, const EntryFigures& figures) = 0;
        virtual void removed(const std::string& path) = 0;
        // The entry at `path` could not be made or written whole (errno's `error`): a folder, a
        // file written whole, a stream or a piece of it.
        virtual void failed(const std::string& path, int error) = 0;
        // The figures of the entry made last at `path`, as it was made; none when none was.
        virtual std::optional<EntryFigures> lastMade(const std::string& path) const = 0;
    };
    class Stream;

    // The folder at `path`, made with the folders it lacks when `make`, opened as the host finds it
    // (its own path may go through links); none, with errno's value in `error`. No journal.
    static std::optional<Directory> open(const std::string& path, bool make, int* error);
    // The open folder `fd` (taken over), named `path` in messages, `journal` told what is made under
    // it (none: nothing is, and anything found may be replaced).
    static Directory adopt(int fd, std::string path, std::shared_ptr<Journal> journal);

    // How messages name the folder and the entry `relative` of it.
    const std::string& path() const noexcept { return path_; }
    std::string pathOf(std::string_view relative) const;
    // Where the folder is in its top folder ("" for the top folder itself).
    const std::string& place() const noexcept { return place_; }

    // The folder `relative` (its parts joined by '/', none of them empty, "." or ".."; "" for this
    // folder), made with the folders it lacks; none, with errno's value in `error`.
    std::optional<Directory> folder(std::string_view relative, int* error) const;
    // Writes the file `relative` whole (see above): 0, or the errno of why not, with nothing of it
    // left and the file that was there as it was. Its folder must exist.
    int write(std::string_view relative, std::span<const std::string_view> pieces,
              Durability durability) const;
    int write(std::string_view relative, std::string_view bytes, Durability durability) const {
        return write(relative, std::span<const std::string_view>(&bytes, 1), durability);
    }
    // The file `relative`, begun with `head` written whole and put in place as write() puts a file,
    // to be appended to; none, with errno's value in `error`.
    std::optional<Stream> stream(std::string_view relative, std::string_view head, int* error) const;
    // The file `relative` as it is, to be appended to (with a journal, only one it made), or begun
    // as stream() begins one when there is none.
    std::optional<Stream> appendTo(std::string_view relative, int* error) const;
    // The file `relative` opened for reading: its descriptor, or -1 with errno set.
    int openForReading(std::string_view relative) const;
    // The whole file `relative` into `bytes`: 0, or the errno of why not.
    int read(std::string_view relative, std::string* bytes) const;
    // The entry `relative`'s figures, a link not followed: 0, or errno.
    int status(std::string_view relative, EntryFigures* figures) const;
    // The names in the folder `relative`, sorted: 0, or errno.
    int list(std::string_view relative, std::vector<std::string>* names) const;
    // Removes the entry `relative`, a folder with what it holds: with a journal, only what the
    // journal says was made as it stands (else EPERM, nothing removed from there on). 0, or errno.
    int remove(std::string_view relative) const;
    // Renames the entry `from` to `to`; over an entry there only when `replace` (and with a
    // journal, only over one it made). 0, or errno.
    int rename(std::string_view from, std::string_view to, bool replace) const;
    // The file `relative` opened for writing and never truncated, made when missing: a lock to take
    // with flock. Its descriptor, or -1 with errno set.
    int openLock(std::string_view relative) const;
    // The file system the folder is on.
    int fileSystem(struct statvfs* figures) const;

private:
    struct Root;
    // An entry's folder open, its name there, and the folder's and the entry's paths in the top
    // folder.
    struct Place {
        FileDescriptor folder;
        std::string name, folderPath, path;
    };
    Directory(std::shared_ptr<const Root> root, std::string place);
    // `relative` as a path in the top folder: 0, or EINVAL for a path that is not one.
    int inside(std::string_view relative, std::string* path) const;
    // The entry `relative` (not this folder itself): its place; none, with errno's value in `error`.
    std::optional<Place> entryAt(std::string_view relative, int* error) const;
    // Writes the pieces aside and renames the file into `place` (write()): 0, or errno. With
    // `keepOpen`, the file stays open in `kept`, to be appended to.
    int putInPlace(const Place& place, std::span<const std::string_view> pieces, Durability durability,
                   bool keepOpen, FileDescriptor* kept) const;

    std::shared_ptr<const Root> root_;
    std::string place_;
    std::string path_;
};

// A file of a Directory written as it goes. Each piece is appended whole or taken back. Closed, a
// journal is told its final figures when it holds just what was written to it.
class Directory::Stream {
public:
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&&) = delete;
    ~Stream() { close(); }

    // Appends the pieces whole: 0, or the errno of why not (nothing of them left; told to a
    // journal).
    int append(std::span<const std::string_view> pieces);
    int append(std::string_view text) { return append(std::span<const std::string_view>(&text, 1)); }
    // 0, or the errno of the close (told to a journal).
    int close();
    // Closes the file and removes it, when it holds just what was written to it (never a file
    // changed or replaced meanwhile): 0, or errno.
    int discard();
    // How messages name the file, and its place in its top folder.
    std::string path() const;
    const std::string& place() const noexcept { return place_; }

private:
    friend class Directory;
    Stream(std::shared_ptr<const Root> root, std::string place, int fd, std::uint64_t size,
           std::uint64_t hash);
    // Whether the open file holds just what was written to it, unchanged as it is read back; its
    // figures then.
    bool holdsWritten(EntryFigures* figures) const;

    std::shared_ptr<const Root> root_;
    std::string place_;
    int fd_;
    std::uint64_t size_; // written so far
    std::uint64_t hash_; // of what was written so far
};

namespace detail {
// Test hook: called by Directory::write with the path of the file written aside, once it is written
// (and flushed, when Synced), before it is renamed into place. Returning true stops the write there
// as a crash would: the file aside stays, the target is untouched, and the write fails (EINTR). Null
// removes the hook.
void setAtomicWriteInterruption(std::function<bool(const std::string& asidePath)> hook);
} // namespace detail

} // namespace ns
