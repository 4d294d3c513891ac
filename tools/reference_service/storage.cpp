#include "tools/reference_service/storage.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace refsvc {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool failWith(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

std::string systemError(const std::string& what, const fs::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Writes all of `data`, retrying short writes and interruptions.
bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool makeFolder(const fs::path& folder, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        return failWith(error, "cannot use the data folder " + folder.string() + ": " +
                                   (ec ? ec.message() : std::string("not a folder")));
    return true;
}

// The stored state, checked; an absent file is an empty store.
bool loadState(const fs::path& path, json& state, std::string* error) {
    state = json{{"transactions", json::object()}, {"partner", json::object()}};
    std::error_code ec;
    if (!fs::exists(path, ec)) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return failWith(error, systemError("cannot read", path));
    std::stringstream text;
    text << in.rdbuf();
    json loaded = json::parse(text.str(), nullptr, false);
    if (loaded.is_discarded() || !loaded.is_object())
        return failWith(error, path.string() + " is not a JSON object; it is left as it is");
    for (const char* section : {"transactions", "partner"}) {
        if (!loaded.contains(section)) continue;
        const json& entries = loaded[section];
        if (!entries.is_object())
            return failWith(error, path.string() + ": \"" + section + "\" is not an object");
        for (const auto& [key, entry] : entries.items())
            if (!entry.is_object())
                return failWith(error, path.string() + ": entry \"" + key + "\" of \"" + section +
                                           "\" is not an object");
        state[section] = entries;
    }
    for (auto& [uuid, transaction] : state["transactions"].items())
        if (!transaction.contains("updates") || !transaction["updates"].is_array())
            return failWith(error, path.string() + ": transaction \"" + uuid + "\" has no \"updates\" list");
    return true;
}

} // namespace

std::unique_ptr<TransactionStore> TransactionStore::open(const fs::path& folder, std::string* error) {
    if (!makeFolder(folder, error)) return nullptr;
    fs::path lockPath = folder / ".lock";
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        failWith(error, systemError("cannot open", lockPath));
        return nullptr;
    }
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd);
        failWith(error, "the data folder " + folder.string() + " is in use by another service");
        return nullptr;
    }
    fs::path path = folder / "transactions.json";
    json state;
    if (!loadState(path, state, error)) {
        ::close(lockFd);
        return nullptr;
    }
    return std::unique_ptr<TransactionStore>(new TransactionStore(std::move(path), lockFd, std::move(state)));
}

TransactionStore::TransactionStore(fs::path path, int lockFd, json state)
    : path_(std::move(path)), lockFd_(lockFd), state_(std::move(state)) {}

TransactionStore::~TransactionStore() {
    ::close(lockFd_);
}

void TransactionStore::setBeforeRenameForTesting(std::function<void()> hook) {
    std::lock_guard guard(lock_);
    beforeRename_ = std::move(hook);
}

json TransactionStore::snapshot() const {
    std::lock_guard guard(lock_);
    return state_;
}

TransactionStore::Outcome TransactionStore::insert(const std::string& uuid, const json& fields,
                                                   const std::string& at, std::string* error) {
    std::lock_guard guard(lock_);
    if (state_["transactions"].contains(uuid)) return Outcome::Repeated;
    json next = state_;
    next["transactions"][uuid] = json{{"insertedAt", at}, {"insert", fields}, {"updates", json::array()}};
    return commit(std::move(next), error) ? Outcome::Stored : Outcome::Failed;
}

TransactionStore::Outcome TransactionStore::update(const std::string& uuid, const json& fields,
                                                   const std::string& at, std::string* error) {
    std::lock_guard guard(lock_);
    if (!state_["transactions"].contains(uuid)) return Outcome::Unknown;
    json next = state_;
    next["transactions"][uuid]["updates"].push_back(json{{"at", at}, {"fields", fields}});
    return commit(std::move(next), error) ? Outcome::Stored : Outcome::Failed;
}

TransactionStore::Outcome TransactionStore::finish(const std::string& session, const json& fields,
                                                   const std::string& at, std::string* error) {
    std::lock_guard guard(lock_);
    if (state_["partner"].contains(session)) return Outcome::Finished;
    json next = state_;
    next["partner"][session] = json{{"at", at}, {"fields", fields}};
    return commit(std::move(next), error) ? Outcome::Stored : Outcome::Failed;
}

// Called with the lock held. The state in memory changes only once the new file is in place.
bool TransactionStore::commit(json next, std::string* error) {
    fs::path temporary = path_;
    temporary += ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return failWith(error, systemError("cannot create", temporary));
    bool written = writeAll(fd, next.dump(2) + "\n") && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written) {
        std::string message = systemError("cannot write", temporary);
        ::unlink(temporary.c_str());
        return failWith(error, message);
    }
    if (beforeRename_) beforeRename_();
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::string message = systemError("cannot replace", path_);
        ::unlink(temporary.c_str());
        return failWith(error, message);
    }
    // The new file is in place; the folder's fsync makes the rename itself durable.
    syncFolder(path_.parent_path());
    state_ = std::move(next);
    return true;
}

std::unique_ptr<RequestLog> RequestLog::open(const fs::path& folder, std::string* error) {
    if (!makeFolder(folder, error)) return nullptr;
    fs::path path = folder / "requests.log";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        failWith(error, systemError("cannot open", path));
        return nullptr;
    }
    return std::unique_ptr<RequestLog>(new RequestLog(std::move(path), fd));
}

RequestLog::~RequestLog() {
    ::close(fd_);
}

bool RequestLog::append(std::string line) {
    line += '\n';
    return writeAll(fd_, line);
}

} // namespace refsvc
