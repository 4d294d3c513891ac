#pragma once
// What the reference service keeps in its data folder:
//
// transactions.json, rewritten whole on every change (temporary file, fsync, rename, fsync of the
// folder), so the file on disk is always either the old or the new state, whatever moment the
// process is killed at:
//   {
//     "transactions": {
//       "<uuid>": {
//         "insertedAt": "<UTC time>",
//         "insert": { <the insert's entries> },
//         "updates": [ { "at": "<UTC time>", "fields": { <the update's entries> } }, ... ]
//       }
//     },
//     "partner": {
//       "<session id>": { "at": "<UTC time>", "fields": { <the finish call's entries> } }
//     }
//   }
//
// requests.log, one JSON object a line, appended with a single write per request (see service.h).
//
// A folder serves one service at a time: the store holds an exclusive lock on "<folder>/.lock".

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace refsvc {

class TransactionStore {
public:
    // Creates the folder when needed, takes its lock and loads transactions.json (absent: empty).
    // Fails, touching nothing, when the folder is locked by another service or the file is not a
    // store of the form above.
    static std::unique_ptr<TransactionStore> open(const std::filesystem::path& folder, std::string* error);
    ~TransactionStore();
    TransactionStore(const TransactionStore&) = delete;
    TransactionStore& operator=(const TransactionStore&) = delete;

    enum class Outcome {
        Stored,   // the change is on disk
        Repeated, // insert: the uuid is known already; nothing changed
        Unknown,  // update: no transaction has this uuid; nothing changed
        Finished, // partner: the session was finished before; nothing changed
        Failed,   // the file could not be written; nothing changed, in memory or on disk
    };

    Outcome insert(const std::string& uuid, const nlohmann::json& fields, const std::string& at,
                   std::string* error = nullptr);
    Outcome update(const std::string& uuid, const nlohmann::json& fields, const std::string& at,
                   std::string* error = nullptr);
    Outcome finish(const std::string& session, const nlohmann::json& fields, const std::string& at,
                   std::string* error = nullptr);

    // The whole state, in the file's form.
    nlohmann::json snapshot() const;
    const std::filesystem::path& path() const { return path_; }

    // Runs between the fsync of the temporary file and the rename; tests kill the process there.
    void setBeforeRenameForTesting(std::function<void()> hook);

private:
    TransactionStore(std::filesystem::path path, int lockFd, nlohmann::json state);
    bool commit(nlohmann::json next, std::string* error);

    mutable std::mutex lock_;
    std::filesystem::path path_;
    int lockFd_;
    nlohmann::json state_;
    std::function<void()> beforeRename_;
};

// requests.log: lines appended whole, so readers never see half a line.
class RequestLog {
public:
    static std::unique_ptr<RequestLog> open(const std::filesystem::path& folder, std::string* error);
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    bool append(std::string line);
    const std::filesystem::path& path() const { return path_; }

private:
    RequestLog(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::filesystem::path path_;
    int fd_;
};

} // namespace refsvc
