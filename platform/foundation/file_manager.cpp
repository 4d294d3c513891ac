#include "platform/foundation/file_manager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/date.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(FileManager, "NSFileManager", rt::Object)

namespace fs = std::filesystem;

namespace {

enum class Op { Read, Write, Remove, Create, Move, Copy, List, Attributes };

long cocoaCode(Op op, int err) {
    const bool reading = op == Op::Read || op == Op::List || op == Op::Attributes;
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return reading ? FileReadNoSuchFileError : FileNoSuchFileError;
    case EACCES:
    case EPERM:
        return reading ? FileReadNoPermissionError : FileWriteNoPermissionError;
    case EEXIST:
    case ENOTEMPTY:
        return reading ? FileReadUnknownError : FileWriteFileExistsError;
    case ENOSPC:
    case EDQUOT:
        return FileWriteOutOfSpaceError;
    case EROFS:
        return FileWriteVolumeReadOnlyError;
    default:
        return reading ? FileReadUnknownError : FileWriteUnknownError;
    }
}

std::string verb(Op op) {
    switch (op) {
    case Op::Read:
        return "opened";
    case Op::Write:
        return "saved";
    case Op::Remove:
        return "removed";
    case Op::Create:
        return "created";
    case Op::Move:
        return "moved";
    case Op::Copy:
        return "copied";
    case Op::List:
        return "listed";
    case Op::Attributes:
        return "examined";
    }
    return "used";
}

// Fills *out (when asked for) and returns false, so callers can `return fail(...)`.
bool fail(rt::Ref<Error>* out, Op op, std::string_view path, int err) {
    if (!out) return false;
    const std::string name = fs::path(path).filename().string();
    std::string text = "The file \u201c" + name + "\u201d couldn\u2019t be " + verb(op) + ".";
    if (err == ENOENT)
        text += " No such file or directory.";
    else if (err)
        text += std::string(" ") + std::strerror(err) + ".";
    auto info = MutableDictionary::make();
    info->setObjectForKey(String::make(path), FilePathErrorKey);
    info->setObjectForKey(String::make(text), LocalizedDescriptionKey);
    if (err) info->setObjectForKey(Error::make(POSIXErrorDomain, err), UnderlyingErrorKey);
    *out = Error::make(CocoaErrorDomain, cocoaCode(op, err), info);
    return false;
}

int errnoOf(const std::error_code& ec) {
    return ec.category() == std::generic_category() || ec.category() == std::system_category() ? ec.value()
                                                                                               : EIO;
}

std::string pathString(std::string_view p) {
    return std::string(p);
}

// Where a path is found: in the home held open, by its place there; elsewhere, by the path itself,
// read only while the home is sealed.
struct Where {
    std::optional<Directory> home; // the home held, when the path lies in it
    std::string place;             // the path's place in it
    bool sealed = false;           // the home is sealed and the path lies elsewhere: nothing is written there
};

Where whereIs(std::string_view path) {
    Where where;
    if (std::optional<std::string> place = ApplicationHome::placeOf(path)) {
        where.home = ApplicationHome::directory();
        where.place = std::move(*place);
    }
    where.sealed = !where.home && ApplicationHome::sealed();
    return where;
}

// A path's folder and name, for what is made there by path.
std::pair<std::string, std::string> splitPath(std::string_view path) {
    const fs::path p(path);
    const std::string folder = p.parent_path().string();
    return {folder.empty() ? "." : folder, p.filename().string()};
}

// The place of the folder holding `place` ("" at the top).
std::string parentPlace(const std::string& place) {
    const std::size_t slash = place.rfind('/');
    return slash == std::string::npos ? "" : place.substr(0, slash);
}

} // namespace

int writeFile(std::string_view path, std::string_view bytes, Durability durability) {
    const Where where = whereIs(path);
    if (where.home) return where.home->write(where.place, bytes, durability);
    if (where.sealed) return EACCES;
    const auto [folder, name] = splitPath(path);
    if (name.empty()) return EISDIR;
    int error = 0;
    const std::optional<Directory> directory = Directory::open(folder, false, &error);
    return directory ? directory->write(name, bytes, durability) : error;
}

bool writeAtomically(std::string_view path, std::string_view bytes, rt::Ref<Error>* error) {
    if (path.empty()) return fail(error, Op::Write, path, ENOENT);
    const int failure = writeFile(path, bytes, Durability::Synced);
    return failure ? fail(error, Op::Write, path, failure) : true;
}

bool writeAtomically(std::string_view path, const Data& data, rt::Ref<Error>* error) {
    return writeAtomically(path, data.view(), error);
}

int openFileForReading(std::string_view path) {
    const Where where = whereIs(path);
    if (where.home) return where.home->openForReading(where.place);
    return ::open(pathString(path).c_str(), O_RDONLY | O_CLOEXEC);
}

int renameFile(std::string_view from, std::string_view to) {
    const Where source = whereIs(from), target = whereIs(to);
    if (source.home && target.home) return source.home->rename(source.place, target.place, true);
    if (source.home || target.home || source.sealed) return EACCES;
    return ::rename(pathString(from).c_str(), pathString(to).c_str()) == 0 ? 0 : errno;
}

rt::Ref<Data> readFile(std::string_view path, rt::Ref<Error>* error) {
    int fd = openFileForReading(path);
    if (fd < 0) {
        fail(error, Op::Read, path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(error, Op::Read, path, EISDIR);
        return nullptr;
    }
    std::vector<std::uint8_t> bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            fail(error, Op::Read, path, err);
            return nullptr;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return Data::make(std::move(bytes));
}

const rt::Ref<FileManager>& FileManager::defaultManager() {
    static const rt::Ref<FileManager> shared = [] {
        auto m = rt::make<FileManager>();
        rt::makeImmortal(*m);
        return m;
    }();
    return shared;
}

bool FileManager::fileExistsAtPath(std::string_view path, bool* isDirectory) const {
    if (const Where where = whereIs(path); where.home) {
        EntryFigures figures;
        const bool exists = where.home->status(where.place, &figures) == 0;
        if (isDirectory) *isDirectory = exists && figures.type == 'd';
        return exists;
    }
    std::error_code ec;
    fs::file_status s = fs::status(fs::path(path), ec);
    const bool exists = !ec && fs::exists(s);
    if (isDirectory) *isDirectory = exists && fs::is_directory(s);
    return exists;
}

bool FileManager::removeItemAtPath(std::string_view path, rt::Ref<Error>* error) const {
    if (const Where where = whereIs(path); where.home || where.sealed) {
        const int failure = where.home ? where.home->remove(where.place) : EACCES;
        return failure ? fail(error, Op::Remove, path, failure) : true;
    }
    std::error_code ec;
    fs::file_status s = fs::symlink_status(fs::path(path), ec);
    if (ec || !fs::exists(s)) return fail(error, Op::Remove, path, ec ? errnoOf(ec) : ENOENT);
    fs::remove_all(fs::path(path), ec);
    if (ec) return fail(error, Op::Remove, path, errnoOf(ec));
    return true;
}

bool FileManager::createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                        rt::Ref<Error>* error) const {
    if (const Where where = whereIs(path); where.home || where.sealed) {
        if (!where.home) return fail(error, Op::Create, path, EACCES);
        EntryFigures figures;
        if (!withIntermediateDirectories && where.home->status(where.place, &figures) == 0)
            return fail(error, Op::Create, path, EEXIST);
        if (!withIntermediateDirectories && where.home->status(parentPlace(where.place), &figures) != 0)
            return fail(error, Op::Create, path, ENOENT);
        int failure = 0;
        return where.home->folder(where.place, &failure) ? true : fail(error, Op::Create, path, failure);
    }
    std::error_code ec;
    const fs::path p(path);
    if (withIntermediateDirectories) {
        fs::create_directories(p, ec);
        if (ec) return fail(error, Op::Create, path, errnoOf(ec));
        if (!fs::is_directory(p, ec)) return fail(error, Op::Create, path, EEXIST);
        return true;
    }
    if (::mkdir(pathString(path).c_str(), 0755) != 0) return fail(error, Op::Create, path, errno);
    return true;
}

bool FileManager::moveItemAtPath(std::string_view from, std::string_view to, rt::Ref<Error>* error) const {
    const Where source = whereIs(from), target = whereIs(to);
    if (source.home || target.home || source.sealed) {
        const int failure = source.home && target.home ? source.home->rename(source.place, target.place, false) : EACCES;
        return failure ? fail(error, Op::Move, from, failure) : true;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(to), ec))) return fail(error, Op::Move, from, EEXIST);
    fs::rename(fs::path(from), fs::path(to), ec);
    if (ec) return fail(error, Op::Move, from, errnoOf(ec));
    return true;
}

bool FileManager::copyItemAtPath(std::string_view from, std::string_view to, rt::Ref<Error>* error) const {
    if (const Where target = whereIs(to); target.home || target.sealed) {
        // A file, read wherever it is, written whole into the home.
        EntryFigures there;
        if (!target.home) return fail(error, Op::Copy, from, EACCES);
        if (target.home->status(target.place, &there) == 0) return fail(error, Op::Copy, from, EEXIST);
        rt::Ref<Error> unread;
        const rt::Ref<Data> bytes = readFile(from, &unread);
        if (!bytes) {
            if (error) *error = unread;
            return false;
        }
        const int failure = target.home->write(target.place, bytes->view(), Durability::Synced);
        return failure ? fail(error, Op::Copy, from, failure) : true;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(to), ec))) return fail(error, Op::Copy, from, EEXIST);
    fs::copy(fs::path(from), fs::path(to), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) return fail(error, Op::Copy, from, errnoOf(ec));
    return true;
}

rt::Ref<Array> FileManager::contentsOfDirectoryAtPath(std::string_view path, rt::Ref<Error>* error) const {
    std::vector<std::string> names;
    if (const Where where = whereIs(path); where.home) {
        if (const int failure = where.home->list(where.place, &names)) {
            fail(error, Op::List, path, failure);
            return nullptr;
        }
    } else {
        std::error_code ec;
        fs::directory_iterator it(fs::path(path), ec);
        if (ec) {
            fail(error, Op::List, path, errnoOf(ec));
            return nullptr;
        }
        for (; it != fs::directory_iterator(); it.increment(ec))
            names.push_back(it->path().filename().string());
        if (ec) {
            fail(error, Op::List, path, errnoOf(ec));
            return nullptr;
        }
        std::sort(names.begin(), names.end());
    }
    std::vector<rt::Id> out;
    out.reserve(names.size());
    for (auto& n : names)
        out.push_back(String::make(n));
    return Array::make(std::move(out));
}

namespace {

struct FixedFileSystem {
    std::mutex lock;
    std::optional<FileManager::FileSystemFigures> figures;
};

FixedFileSystem& fixedFileSystem() {
    static FixedFileSystem* shared = new FixedFileSystem(); // read by anything up to the process's end
    return *shared;
}

} // namespace

void FileManager::setFileSystemFigures(std::optional<FileSystemFigures> figures) {
    std::lock_guard guard(fixedFileSystem().lock);
    fixedFileSystem().figures = figures;
}

rt::Ref<Dictionary> FileManager::attributesOfFileSystemForPath(std::string_view path,
                                                               rt::Ref<Error>* error) const {
    struct statvfs info {};
    const Where where = whereIs(path);
    if (const int failure = where.home ? where.home->fileSystem(&info)
                                       : ::statvfs(pathString(path).c_str(), &info) == 0 ? 0 : errno) {
        fail(error, Op::Attributes, path, failure);
        return nullptr;
    }
    unsigned long long size = static_cast<unsigned long long>(info.f_blocks) * info.f_frsize;
    unsigned long long freeSize = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    unsigned long long nodes = info.f_files;
    {
        std::lock_guard guard(fixedFileSystem().lock);
        if (const auto& fixed = fixedFileSystem().figures) {
            size = fixed->size;
            freeSize = fixed->freeSize;
            nodes = fixed->size / 4096;
        }
    }
    auto d = MutableDictionary::make();
    d->setObjectForKey(Number::withUnsignedLongLong(size), FileSystemSize);
    d->setObjectForKey(Number::withUnsignedLongLong(freeSize), FileSystemFreeSize);
    d->setObjectForKey(Number::withUnsignedLongLong(nodes), FileSystemNodes);
    return rt::Ref<Dictionary>(d);
}

rt::Ref<Dictionary> FileManager::attributesOfItemAtPath(std::string_view path, rt::Ref<Error>* error) const {
    EntryFigures figures;
    const Where where = whereIs(path);
    struct stat st {};
    if (where.home) {
        if (const int failure = where.home->status(where.place, &figures)) {
            fail(error, Op::Attributes, path, failure);
            return nullptr;
        }
    } else if (::lstat(pathString(path).c_str(), &st) != 0) {
        fail(error, Op::Attributes, path, errno);
        return nullptr;
    } else {
        figures.type = S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : S_ISLNK(st.st_mode) ? 'l' : 'o';
        figures.size = static_cast<std::uint64_t>(st.st_size);
        figures.modifiedSeconds = st.st_mtim.tv_sec;
        figures.modifiedNanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    }
    const char* type = figures.type == 'f'   ? FileTypeRegular
                       : figures.type == 'd' ? FileTypeDirectory
                       : figures.type == 'l' ? FileTypeSymbolicLink
                                             : FileTypeUnknown;
    auto d = MutableDictionary::make();
    d->setObjectForKey(Number::withUnsignedLongLong(figures.size), FileSize);
    d->setObjectForKey(String::make(type), FileType);
    const double mtime =
        static_cast<double>(figures.modifiedSeconds) + static_cast<double>(figures.modifiedNanoseconds) / 1e9;
    d->setObjectForKey(Date::withTimeIntervalSince1970(mtime), FileModificationDate);
    return rt::Ref<Dictionary>(d);
}

rt::Ref<Data> FileManager::contentsAtPath(std::string_view path) const {
    return readFile(path);
}

bool FileManager::createFileAtPath(std::string_view path, const rt::Ref<Data>& data) const {
    return writeAtomically(path, data ? data->view() : std::string_view());
}

} // namespace ns
