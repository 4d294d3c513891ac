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

#include "platform/foundation/date.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(FileManager, "NSFileManager", rt::Object)

namespace fs = std::filesystem;

namespace {

enum class Op { Read, Write, Remove, Create, Move, Copy, List, Attributes };

std::mutex gHookLock;
std::function<bool(const std::string&)> gInterruption;

// Atomic writes run one at a time in the process, so that one never removes the temporary file
// another is still writing.
std::mutex gWriteLock;

// Temporary files of `target` left by writes that never finished (a crash, a kill): removed, so
// that they do not pile up beside it.
void removeStaleTemporaries(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix)) ::unlink(it->path().c_str());
    }
}

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

// Writes everything, retrying short writes and interruptions; a write that takes nothing fails as a
// full disk.
bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // best effort: some file systems refuse it on directories
    ::close(fd);
}

} // namespace

namespace detail {
void setAtomicWriteInterruption(std::function<bool(const std::string&)> hook) {
    std::lock_guard g(gHookLock);
    gInterruption = std::move(hook);
}
} // namespace detail

bool writeAtomically(std::string_view path, std::string_view bytes, rt::Ref<Error>* error) {
    if (path.empty()) return fail(error, Op::Write, path, ENOENT);
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::string prefix = "." + target.filename().string() + ".tmp.";
    std::lock_guard writing(gWriteLock);
    removeStaleTemporaries(dir, prefix);
    std::string temp = (dir / (prefix + "XXXXXX")).string();
    std::vector<char> buf(temp.begin(), temp.end());
    buf.push_back('\0');
    int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) return fail(error, Op::Write, path, errno);
    temp.assign(buf.data());

    struct stat st {};
    mode_t mode =
        (::stat(std::string(path).c_str(), &st) == 0 && S_ISREG(st.st_mode)) ? (st.st_mode & 07777) : 0644;
    int err = 0;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        return fail(error, Op::Write, path, err);
    }
    std::function<bool(const std::string&)> hook;
    {
        std::lock_guard g(gHookLock);
        hook = gInterruption;
    }
    if (hook && hook(temp)) return fail(error, Op::Write, path, EINTR);
    if (::rename(temp.c_str(), std::string(path).c_str()) != 0) {
        err = errno;
        ::unlink(temp.c_str());
        return fail(error, Op::Write, path, err);
    }
    syncDirectory(dir.string());
    return true;
}

int writeWholeFile(std::string_view path, std::string_view bytes) {
    const std::string p = pathString(path);
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int err = writeAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (err) ::unlink(p.c_str());
    return err;
}

bool writeAtomically(std::string_view path, const Data& data, rt::Ref<Error>* error) {
    return writeAtomically(path, data.view(), error);
}

rt::Ref<Data> readFile(std::string_view path, rt::Ref<Error>* error) {
    const std::string p = pathString(path);
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
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
    std::error_code ec;
    fs::file_status s = fs::status(fs::path(path), ec);
    const bool exists = !ec && fs::exists(s);
    if (isDirectory) *isDirectory = exists && fs::is_directory(s);
    return exists;
}

bool FileManager::removeItemAtPath(std::string_view path, rt::Ref<Error>* error) const {
    std::error_code ec;
    fs::file_status s = fs::symlink_status(fs::path(path), ec);
    if (ec || !fs::exists(s)) return fail(error, Op::Remove, path, ec ? errnoOf(ec) : ENOENT);
    fs::remove_all(fs::path(path), ec);
    if (ec) return fail(error, Op::Remove, path, errnoOf(ec));
    return true;
}

bool FileManager::createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                        rt::Ref<Error>* error) const {
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
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(to), ec))) return fail(error, Op::Move, from, EEXIST);
    fs::rename(fs::path(from), fs::path(to), ec);
    if (ec) return fail(error, Op::Move, from, errnoOf(ec));
    return true;
}

bool FileManager::copyItemAtPath(std::string_view from, std::string_view to, rt::Ref<Error>* error) const {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(fs::path(to), ec))) return fail(error, Op::Copy, from, EEXIST);
    fs::copy(fs::path(from), fs::path(to), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) return fail(error, Op::Copy, from, errnoOf(ec));
    return true;
}

rt::Ref<Array> FileManager::contentsOfDirectoryAtPath(std::string_view path, rt::Ref<Error>* error) const {
    std::error_code ec;
    fs::directory_iterator it(fs::path(path), ec);
    if (ec) {
        fail(error, Op::List, path, errnoOf(ec));
        return nullptr;
    }
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        fail(error, Op::List, path, errnoOf(ec));
        return nullptr;
    }
    std::sort(names.begin(), names.end());
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
    if (::statvfs(pathString(path).c_str(), &info) != 0) {
        fail(error, Op::Attributes, path, errno);
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
    struct stat st {};
    if (::lstat(pathString(path).c_str(), &st) != 0) {
        fail(error, Op::Attributes, path, errno);
        return nullptr;
    }
    const char* type = S_ISREG(st.st_mode)   ? FileTypeRegular
                       : S_ISDIR(st.st_mode) ? FileTypeDirectory
                       : S_ISLNK(st.st_mode) ? FileTypeSymbolicLink
                                             : FileTypeUnknown;
    auto d = MutableDictionary::make();
    d->setObjectForKey(Number::withUnsignedLongLong(static_cast<unsigned long long>(st.st_size)), FileSize);
    d->setObjectForKey(String::make(type), FileType);
    const double mtime =
        static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
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
