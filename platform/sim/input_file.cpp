#include "platform/sim/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"

namespace sim {

namespace {

std::nullopt_t refuse(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
    return std::nullopt;
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Where a byte offset of a text is, as a line and a column (both from 1; columns in bytes).
std::pair<std::size_t, std::size_t> lineAndColumn(std::string_view text, std::size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineStart = before.rfind('\n');
    return {1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')),
            lineStart == std::string_view::npos ? offset + 1 : offset - lineStart};
}

// Just past the closing quote of the string whose opening quote is at `at`; npos when it has none.
std::size_t stringEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') ++i;
        else if (text[i] == '"') return i + 1;
    }
    return std::string_view::npos;
}

// A key as the reader takes it from its quoted text: "a" and "\u0061" are the same key.
std::string keyText(std::string_view quoted) {
    if (quoted.find('\\') == std::string_view::npos) return std::string(quoted.substr(1, quoted.size() - 2));
    auto key = rt::cast<ns::String>(
        ns::JSONSerialization::JSONObjectWithData(quoted, ns::JSONReadingOptions::FragmentsAllowed));
    return key ? key->utf8() : std::string(quoted);
}

} // namespace

std::string RepeatedKey::field(std::size_t from) const {
    std::string text;
    for (std::size_t i = from; i < path.size(); ++i)
        text += path[i].inList ? "[" + std::to_string(path[i].index) + "]" : (text.empty() ? "" : ".") + path[i].key;
    return text + (text.empty() ? "" : ".") + key;
}

std::string RepeatedKey::place() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + " (first at line " +
           std::to_string(firstLine) + ", column " + std::to_string(firstColumn) + ")";
}

std::optional<RepeatedKey> repeatedKey(std::string_view json) {
    // The containers open at the place read, the outermost first.
    struct Open {
        bool object = false;
        bool keyNext = false;                      // an object's next string is a key
        std::string key;                           // an object's key whose value is being read
        std::size_t entries = 0;                   // a list's entries before the one being read
        std::map<std::string, std::size_t> keys{}; // an object's keys, each where it is first written
    };
    std::vector<Open> open;
    for (std::size_t i = 0; i < json.size();) {
        switch (json[i]) {
        case '{':
        case '[': {
            Open& opened = open.emplace_back();
            opened.object = opened.keyNext = json[i] == '{';
            ++i;
            break;
        }
        case '}':
        case ']':
            if (open.empty()) return std::nullopt;
            open.pop_back();
            ++i;
            break;
        case ',':
            if (!open.empty()) {
                if (open.back().object) open.back().keyNext = true;
                else ++open.back().entries;
            }
            ++i;
            break;
        case '"': {
            const std::size_t end = stringEnd(json, i);
            if (end == std::string_view::npos) return std::nullopt;
            if (!open.empty() && open.back().keyNext) {
                Open& object = open.back();
                object.keyNext = false;
                object.key = keyText(json.substr(i, end - i));
                const auto [first, fresh] = object.keys.try_emplace(object.key, i);
                if (!fresh) {
                    RepeatedKey repeated;
                    repeated.key = object.key;
                    for (std::size_t depth = 0; depth + 1 < open.size(); ++depth)
                        repeated.path.push_back({open[depth].object ? open[depth].key : std::string(),
                                                 open[depth].entries, !open[depth].object});
                    std::tie(repeated.line, repeated.column) = lineAndColumn(json, i);
                    std::tie(repeated.firstLine, repeated.firstColumn) = lineAndColumn(json, first->second);
                    return repeated;
                }
            }
            i = end;
            break;
        }
        default: // white space, ':', a number, true, false or null
            ++i;
        }
    }
    return std::nullopt;
}

namespace {

// The file at `path` opened, when it is a regular file of at most `limit` bytes; its size in `info`.
// Opened before it is looked at, so what is looked at is what is read; a pipe does not block the
// open.
std::optional<Descriptor> openInputFile(const std::string& path, struct stat& info, std::string* reason,
                                        std::size_t limit) {
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) return refuse(reason, std::string("cannot be read: ") + std::strerror(errno));
    if (::fstat(file.fd, &info) != 0) return refuse(reason, std::string("cannot be read: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return refuse(reason, "a folder, not a file");
    if (!S_ISREG(info.st_mode)) return refuse(reason, "not a regular file");
    if (static_cast<unsigned long long>(info.st_size) > limit)
        return refuse(reason, "larger than " + std::to_string(limit >> 20) + " MB");
    return std::optional<Descriptor>(std::in_place, std::exchange(file.fd, -1));
}

std::optional<std::string> readOpenedFile(const Descriptor& file, const struct stat& info, std::string* reason) {
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

thread_local DecodedInputs* currentDecodedInputs = nullptr;

} // namespace

std::optional<std::string> readInputFile(const std::string& path, std::string* reason, std::size_t limit) {
    struct stat info {};
    const std::optional<Descriptor> file = openInputFile(path, info, reason, limit);
    return file ? readOpenedFile(*file, info, reason) : std::nullopt;
}

std::shared_ptr<const void> DecodedInputs::read(std::string_view kind, const std::string& path,
                                                std::size_t fileLimit, const Decoder& decoder,
                                                std::string* reason) {
    struct stat info {};
    const std::optional<Descriptor> file = openInputFile(path, info, reason, fileLimit);
    if (!file) return nullptr;
    DecodedInputs* const store = currentDecodedInputs;
    const Key key{std::string(kind), static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    if (store)
        if (auto kept = store->kept_.find(key); kept != store->kept_.end()) return kept->second;
    const std::optional<std::string> bytes = readOpenedFile(*file, info, reason);
    if (!bytes) return nullptr;
    Decoded decoded = decoder(*bytes, reason);
    if (!decoded.value || !store) return decoded.value;
    if (decoded.bytes > store->limit_ - std::min(store->bytes_, store->limit_)) {
        refuse(reason, "with the frames and sounds read before it, more than " + std::to_string(store->limit_ >> 20) +
                           " MB decoded");
        return nullptr;
    }
    store->bytes_ += decoded.bytes;
    return store->kept_.emplace(key, std::move(decoded.value)).first->second;
}

DecodedInputs::Reading::Reading(DecodedInputs& store) : previous_(std::exchange(currentDecodedInputs, &store)) {}

DecodedInputs::Reading::~Reading() {
    currentDecodedInputs = previous_;
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
