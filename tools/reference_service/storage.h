#pragma once
// What the reference service keeps in its data folder:
//
// transactions.json, rewritten whole on every change (ns::Directory::write, synced: a file aside,
// fsync, rename, fsync of the folder), so the file on disk is always either the old or the new state, whatever moment the
// process is killed at. It is bounded (StoreLimits), each section by a limit of its own, and a
// transaction keeps its latest updates. A change that would take its section over its limit
// drops, in the same write, the section's records changed longest ago, each only once it has been
// kept its section's time (StoreLimits::transactionKept, partnerKept, finishedKept); the one
// changed stays. When that does not make room, the change is refused and nothing changes
// (Outcome::Full): a flood of inserts or finishes (neither needs a credential, so anyone may send
// them) waits, and never pushes out what an answer rests on:
//   - "transactions", an operator's work: kept for its update;
//   - "partner" and "finished", what a partner finish leaves: "finished" keeps the id of every
//     session finished (far longer and far more of them than the records), so a session finished
//     before is known as such after its record has gone.
// A record alone in its section stays even when it is over the limit by itself. Each record's text
// is kept, so a change costs one write of the file, not its making again. Each section lists its
// records in the order they last changed:
//   {
//     "finished": {
//       "<session id>": "<UTC time of its finish>"
//     },
//     "partner": {
//       "<session id>": { "at": "<UTC time>", "fields": { <the finish call's entries> } }
//     },
//     "transactions": {
//       "<uuid>": {
//         "insertedAt": "<UTC time>",
//         "insert": { <the insert's entries> },
//         "updates": [ { "at": "<UTC time>", "fields": { <the update's entries> } }, ... ]
//       }
//     }
//   }
// A file without "finished" takes its partner sessions' ids for it. A time that does not read
// counts as long ago.
//
// requests.log, one JSON object a line, appended with a single write per request (see service.h).
// It is bounded too: a line that would take it over its limit first moves it to requests.log.1,
// in place of the one there, and starts it afresh.
//
// A folder serves one service at a time: the store holds an exclusive lock on "<folder>/.lock".
// Everything is made through the folder held (ns::Directory), never by a path.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/directory.h"
#include "tools/reference_service/service.h"

namespace refsvc {

class TransactionStore {
public:
    // Creates the folder when needed, takes its lock and loads transactions.json (absent: empty).
    // Fails, touching nothing, when the folder is locked by another service or the file is not a
    // store of the form above. A section over its limit is brought within it by its next change.
    static std::unique_ptr<TransactionStore> open(const ns::Directory& folder, std::string* error,
                                                  StoreLimits limits = {});
    static std::unique_ptr<TransactionStore> open(const std::filesystem::path& folder, std::string* error,
                                                  StoreLimits limits = {});
    ~TransactionStore();
    TransactionStore(const TransactionStore&) = delete;
    TransactionStore& operator=(const TransactionStore&) = delete;

    enum class Outcome {
        Stored,   // the change is on disk
        Repeated, // insert: the uuid is known already; nothing changed
        Unknown,  // update: no transaction has this uuid; nothing changed
        Finished, // partner: the session was finished before; nothing changed
        Full,     // no room until records have been kept their time; nothing changed
        Failed,   // the file could not be written; nothing changed, in memory or on disk
    };
    using Time = std::chrono::system_clock::time_point;

    // Each change at `at` (utcText), which is also the time its section's records are aged on.
    // Full sets `retryAfter` (when given) to the time until a record may go: at least a second.
    Outcome insert(const std::string& uuid, const nlohmann::json& fields, const std::string& at,
                   std::string* error = nullptr, std::chrono::seconds* retryAfter = nullptr);
    Outcome update(const std::string& uuid, const nlohmann::json& fields, const std::string& at,
                   std::string* error = nullptr, std::chrono::seconds* retryAfter = nullptr);
    Outcome finish(const std::string& session, const nlohmann::json& fields, Time at,
                   std::string* error = nullptr, std::chrono::seconds* retryAfter = nullptr);

    // The whole state, in the file's form.
    nlohmann::json snapshot() const;
    // How messages name the file.
    std::string path() const { return folder_.pathOf(kFile); }

private:
    using RecordId = std::pair<std::string, std::string>; // the section, the key
    struct Kept {
        std::list<RecordId>::iterator place; // in changed_
        std::string text;                    // in the file
        Time at;                             // when it last changed
    };
    struct Change {
        RecordId id;
        nlohmann::json record;
    };

    static constexpr const char* kFile = "transactions.json";
    TransactionStore(ns::Directory folder, int lockFd, nlohmann::json state, StoreLimits limits);
    void keep(const RecordId& id, std::string text, Time at);
    std::size_t limitOf(const std::string& section) const;
    // How long a record of `section` is kept at least.
    std::chrono::seconds keptFor(const std::string& section) const;
    // Each change's record becomes the latest change of its section, all in one write, or none
    // (Full, Failed); see the head of this file.
    Outcome commit(std::vector<Change> changes, std::string* error, std::chrono::seconds* retryAfter);

    mutable std::mutex lock_;
    ns::Directory folder_;
    int lockFd_;
    StoreLimits limits_;
    nlohmann::json state_;
    std::list<RecordId> changed_; // the records, the one changed longest ago first
    std::map<RecordId, Kept> kept_;
    std::map<std::string, std::size_t> bytes_; // each section's records' text, all told
};

// requests.log: lines appended whole, so readers never see half a line. At most `maxBytes` in
// requests.log and as much again in requests.log.1, which holds the lines before it. Not for
// several threads at once.
class RequestLog {
public:
    // A new requests.log in `folder`, over the one there; the one there becomes requests.log.1.
    static std::unique_ptr<RequestLog> open(const ns::Directory& folder, std::string* error, std::size_t maxBytes);
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // Appends the line whole; false, with why, when it cannot be (nothing of it is left then).
    bool append(std::string line, std::string* error = nullptr);
    // How messages name the file.
    std::string path() const { return folder_.pathOf(kFile); }

private:
    static constexpr const char* kFile = "requests.log";
    RequestLog(ns::Directory folder, ns::Directory::Stream file, std::size_t maxBytes)
        : folder_(std::move(folder)), file_(std::move(file)), maxBytes_(maxBytes) {}
    ns::Directory folder_;
    std::optional<ns::Directory::Stream> file_; // none once a rotation could not begin a new one
    std::size_t bytes_ = 0; // in requests.log now
    std::size_t maxBytes_;  // in requests.log at most
};

} // namespace refsvc
