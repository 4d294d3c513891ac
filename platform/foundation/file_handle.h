#pragma once
// ns::FileHandle: reads from a file descriptor, at once or in the background.
//
// A background read takes the next chunk on a worker thread and posts
// NSFileHandleReadCompletionNotification (object: the handle) on the run loop of the thread that
// asked, which must run that loop for the notification to arrive. Its user info holds
// NSFileHandleNotificationDataItem, the bytes read (empty at the end of the file), and after a read
// error also NSFileHandleError, an ns::Error in NSPOSIXErrorDomain with the errno as its code. Each
// call reads one chunk; calls made before earlier ones have posted are served in order.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/foundation/data.h"
#include "platform/runtime/object.h"

namespace dispatch {
class Queue;
} // namespace dispatch

namespace ns {

inline constexpr const char* NSFileHandleNotificationDataItem = "NSFileHandleNotificationDataItem";
inline constexpr const char* NSFileHandleError = "NSFileHandleError";
// Raised by the reads that return their data directly when the system call fails.
inline constexpr const char* NSFileHandleOperationException = "NSFileHandleOperationException";

class FileHandle : public rt::Object {
    RT_CLASS(FileHandle)
public:
    // The most a background read takes at once.
    static constexpr std::size_t BackgroundReadChunkSize = 64 * 1024;

    // Nil when the file cannot be opened.
    static rt::Ref<FileHandle> fileHandleForReadingAtPath(std::string_view path);
    // Wraps an open descriptor; with `closeOnDealloc` the handle closes it when it goes.
    static rt::Ref<FileHandle> fileHandleWithFileDescriptor(int fd, bool closeOnDealloc = false);

    // -1 once closed.
    int fileDescriptor() const;
    // Read from the current offset. They raise NSFileHandleOperationException on a read error or a
    // closed handle.
    rt::Ref<Data> readDataToEndOfFile();
    // Up to `length` bytes; fewer at the end of the file, none past it.
    rt::Ref<Data> readDataOfLength(std::size_t length);
    void readInBackgroundAndNotify();
    void closeFile();

protected:
    ~FileHandle() override;

private:
    FileHandle(int fd, bool owns) : fd_(fd), owns_(owns) {}
    // Reads up to `limit` bytes into `out`; returns 0 or the errno.
    int readInto(std::vector<std::uint8_t>& out, std::size_t limit);

    mutable std::mutex lock_;
    int fd_;
    bool owns_;
    rt::Ref<dispatch::Queue> readQueue_; // the serial queue background reads run on, made on first use
};

} // namespace ns
