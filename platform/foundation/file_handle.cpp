#include "platform/foundation/file_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(FileHandle, "NSFileHandle", rt::Object)

namespace {

constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";

rt::Ref<Error> posixError(int code) {
    auto info = Dictionary::withPairs(
        {{String::make(LocalizedDescriptionKey),
          String::make(std::string("The operation couldn\u2019t be completed. ") + std::strerror(code))}});
    return Error::make(kPOSIXErrorDomain, code, info);
}

} // namespace

rt::Ref<FileHandle> FileHandle::fileHandleForReadingAtPath(std::string_view path) {
    int fd = openFileForReading(path);
    if (fd < 0) return nullptr;
    return rt::make<FileHandle>(fd, true);
}

rt::Ref<FileHandle> FileHandle::fileHandleWithFileDescriptor(int fd, bool closeOnDealloc) {
    return rt::make<FileHandle>(fd, closeOnDealloc);
}

FileHandle::~FileHandle() {
    if (owns_ && fd_ >= 0) ::close(fd_);
}

int FileHandle::fileDescriptor() const {
    std::lock_guard g(lock_);
    return fd_;
}

void FileHandle::closeFile() {
    std::lock_guard g(lock_);
    if (fd_ >= 0 && owns_) ::close(fd_);
    fd_ = -1;
}

int FileHandle::readInto(std::vector<std::uint8_t>& out, std::size_t limit) {
    std::lock_guard g(lock_);
    if (fd_ < 0) return EBADF;
    while (limit > 0) {
        std::size_t want = std::min<std::size_t>(limit, 64 * 1024);
        std::size_t old = out.size();
        out.resize(old + want);
        ssize_t n = ::read(fd_, out.data() + old, want);
        if (n < 0) {
            out.resize(old);
            if (errno == EINTR) continue;
            return errno;
        }
        out.resize(old + static_cast<std::size_t>(n));
        if (n == 0) break;
        limit -= static_cast<std::size_t>(n);
    }
    return 0;
}

rt::Ref<Data> FileHandle::readDataToEndOfFile() {
    return readDataOfLength(static_cast<std::size_t>(-1));
}

rt::Ref<Data> FileHandle::readDataOfLength(std::size_t length) {
    std::vector<std::uint8_t> bytes;
    if (int err = readInto(bytes, length))
        raise(NSFileHandleOperationException,
              std::string("*** -[NSConcreteFileHandle readDataOfLength:]: ") + std::strerror(err));
    return Data::make(std::move(bytes));
}

void FileHandle::readInBackgroundAndNotify() {
    rt::Ref<dispatch::Queue> queue;
    {
        std::lock_guard g(lock_);
        if (!readQueue_) readQueue_ = dispatch::Queue::serial("NSFileHandle background read");
        queue = readQueue_;
    }
    dispatch::async(queue, [self = rt::Ref<FileHandle>(this), loop = RunLoop::current()]() mutable {
        std::vector<std::uint8_t> bytes;
        int err = self->readInto(bytes, BackgroundReadChunkSize);
        auto info = MutableDictionary::make();
        info->setObjectForKey(Data::make(std::move(bytes)), NSFileHandleNotificationDataItem);
        if (err) info->setObjectForKey(posixError(err), NSFileHandleError);
        RunLoop* target = loop.get();
        // Everything moves into the posted block: nothing is left here to release afterwards.
        target->performBlock([self = std::move(self), loop = std::move(loop), info = std::move(info)] {
            NotificationCenter::defaultCenter()->postNotificationName(NSFileHandleReadCompletionNotification,
                                                                      self, info);
        });
    });
}

} // namespace ns
