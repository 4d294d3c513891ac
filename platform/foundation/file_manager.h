#pragma once
// ns::FileManager ("NSFileManager"): thin wrappers over the file system that report failures as
// NSCocoaErrorDomain errors, plus whole-file reads and atomic writes.
//
// Failures never throw: they return false or nil and, when asked for, an error whose user info
// holds the path (NSFilePath) and the system error (NSUnderlyingError, NSPOSIXErrorDomain).

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/directory.h"
#include "platform/foundation/error.h"
#include "platform/runtime/object.h"

namespace ns {

inline constexpr const char* POSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* FilePathErrorKey = "NSFilePath";

// NSCocoaErrorDomain file error codes.
inline constexpr long FileNoSuchFileError = 4;
inline constexpr long FileReadUnknownError = 256;
inline constexpr long FileReadNoPermissionError = 257;
inline constexpr long FileReadNoSuchFileError = 260;
inline constexpr long FileWriteUnknownError = 512;
inline constexpr long FileWriteNoPermissionError = 513;
inline constexpr long FileWriteFileExistsError = 516;
inline constexpr long FileWriteOutOfSpaceError = 640;
inline constexpr long FileWriteVolumeReadOnlyError = 642;

// Attribute keys and values.
inline constexpr const char* FileSystemSize = "NSFileSystemSize";
inline constexpr const char* FileSystemFreeSize = "NSFileSystemFreeSize";
inline constexpr const char* FileSystemNodes = "NSFileSystemNodes";
inline constexpr const char* FileSize = "NSFileSize";
inline constexpr const char* FileType = "NSFileType";
inline constexpr const char* FileModificationDate = "NSFileModificationDate";
inline constexpr const char* FileTypeRegular = "NSFileTypeRegular";
inline constexpr const char* FileTypeDirectory = "NSFileTypeDirectory";
inline constexpr const char* FileTypeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr const char* FileTypeUnknown = "NSFileTypeUnknown";

class FileManager : public rt::Object {
    RT_CLASS(FileManager)
public:
    // The shared instance (immortal). The manager holds no state: any thread may use it.
    static const rt::Ref<FileManager>& defaultManager();

    // A symbolic link is followed; a dangling one does not exist.
    bool fileExistsAtPath(std::string_view path, bool* isDirectory = nullptr) const;
    // Removes a file, or a directory with everything in it. Fails (FileNoSuchFileError) when
    // nothing is there.
    bool removeItemAtPath(std::string_view path, rt::Ref<Error>* error = nullptr) const;
    // Without intermediate directories the parent must exist and the directory must not; with them
    // an existing directory is success.
    bool createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                               rt::Ref<Error>* error = nullptr) const;
    // Fails when the destination exists.
    bool moveItemAtPath(std::string_view from, std::string_view to, rt::Ref<Error>* error = nullptr) const;
    bool copyItemAtPath(std::string_view from, std::string_view to, rt::Ref<Error>* error = nullptr) const;
    // The names of the entries (not "." or ".."), sorted by name; nil on failure.
    rt::Ref<Array> contentsOfDirectoryAtPath(std::string_view path, rt::Ref<Error>* error = nullptr) const;
    // FileSystemSize and FileSystemFreeSize (bytes) and FileSystemNodes (unsigned long long
    // numbers) of the file system holding `path`, or the fixed figures when set; nil on failure
    // (a path that does not exist fails either way).
    rt::Ref<Dictionary> attributesOfFileSystemForPath(std::string_view path,
                                                      rt::Ref<Error>* error = nullptr) const;
    // Figures every file system answers with instead of the host's (installing a simulated device
    // sets its profile's storage); nullopt goes back to the host's. Nodes are one per 4 KiB.
    struct FileSystemFigures {
        unsigned long long size = 0, freeSize = 0; // bytes
    };
    static void setFileSystemFigures(std::optional<FileSystemFigures> figures);
    // FileSize, FileType and FileModificationDate of the item itself (a link is not followed).
    rt::Ref<Dictionary> attributesOfItemAtPath(std::string_view path, rt::Ref<Error>* error = nullptr) const;
    // The file's bytes; nil when it cannot be read.
    rt::Ref<Data> contentsAtPath(std::string_view path) const;
    // Writes the file atomically (nil data: an empty file); true on success.
    bool createFileAtPath(std::string_view path, const rt::Ref<Data>& data) const;

private:
    FileManager() = default;
};

// Where a path is found: under the application's home when the home is a folder held open
// (ApplicationHome::setDirectory), through that folder, never following a link nor leaving it; any
// other path as the host finds it, for reading only while the home is sealed (the application
// writes nowhere else, as in its sandbox: EACCES).

// Writes `bytes` to `path` whole (ns::Directory::write: aside, then renamed over the target), so
// that the file holds either its old content or the new one, whatever happens; `durability` says
// how far it is kept. 0, or the errno of why not, with nothing of it left.
int writeFile(std::string_view path, std::string_view bytes, Durability durability);
// writeFile, synced, failing with an error naming the path.
bool writeAtomically(std::string_view path, std::string_view bytes, rt::Ref<Error>* error = nullptr);
bool writeAtomically(std::string_view path, const Data& data, rt::Ref<Error>* error = nullptr);
// The whole file; nil (and the error) when it cannot be read.
rt::Ref<Data> readFile(std::string_view path, rt::Ref<Error>* error = nullptr);
// The file opened for reading: its descriptor, or -1 with errno set.
int openFileForReading(std::string_view path);
// Renames a file, over what is at `to` (the application's own file, under a held home): 0, or errno.
int renameFile(std::string_view from, std::string_view to);

} // namespace ns
