#include "platform/sim/input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"

namespace sim {

namespace {

std::nullopt_t refuse(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
    return std::nullopt;
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

std::optional<std::string> readInputFile(const std::string& path, std::string* reason, std::size_t limit) {
    // Opened before it is looked at, so what is looked at is what is read; a pipe does not block
    // the open.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) return refuse(reason, std::string("cannot be read: ") + std::strerror(errno));
    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        return refuse(reason, std::string("cannot be read: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return refuse(reason, "a folder, not a file");
    if (!S_ISREG(info.st_mode)) return refuse(reason, "not a regular file");
    if (static_cast<unsigned long long>(info.st_size) > limit)
        return refuse(reason, "larger than " + std::to_string(limit >> 20) + " MB");
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(file.fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(reason, std::string("cannot be read: ") + std::strerror(errno));
        if (n == 0) break; // shorter than it was: what is there
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

rt::Id readJSONText(std::string_view text, std::string* fault) {
    rt::Ref<ns::Error> error;
    rt::Id document = ns::JSONSerialization::JSONObjectWithData(text, ns::JSONReadingOptions::None, &error);
    if (!document && fault) {
        rt::Id detail = error ? error->userInfo()->objectForKey(ns::DebugDescriptionErrorKey) : nullptr;
        *fault = detail ? detail->description() : "malformed";
    }
    return document;
}

} // namespace sim
