#include "tools/reference_service/storage.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace refsvc {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool failWith(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

std::string systemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// The sections of the file, in its order, and how the file opens each.
constexpr std::array<const char*, 3> kSections{"finished", "partner", "transactions"};
constexpr std::array<std::string_view, 3> kSectionHeads{"\"finished\": {", "\"partner\": {",
                                                        "\"transactions\": {"};

// The stored state, checked; an absent file is an empty store.
bool loadState(const ns::Directory& folder, const char* file, json& state, std::string* error) {
    state = json{{"finished", json::object()}, {"partner", json::object()}, {"transactions", json::object()}};
    const std::string path = folder.pathOf(file);
    std::string text;
    if (const int failure = folder.read(file, &text))
        return failure == ENOENT || failWith(error, systemError("cannot read", path, failure));
    json loaded = json::parse(text, nullptr, false);
    if (loaded.is_discarded() || !loaded.is_object())
        return failWith(error, path + " is not a JSON object; it is left as it is");
    for (const char* section : kSections) {
        if (!loaded.contains(section)) continue;
        const json& entries = loaded[section];
        if (!entries.is_object())
            return failWith(error, path + ": \"" + section + "\" is not an object");
        const bool times = section == std::string_view("finished");
        for (const auto& [key, entry] : entries.items())
            if (times ? !entry.is_string() : !entry.is_object())
                return failWith(error, path + ": entry \"" + key + "\" of \"" + section + "\" is not " +
                                           (times ? "a time" : "an object"));
        state[section] = entries;
    }
    // A store from before the finished sessions were kept apart: its sessions are the ones finished.
    if (!loaded.contains("finished"))
        for (const auto& [session, record] : state["partner"].items())
            state["finished"][session] = record.value("at", "");
    for (auto& [uuid, transaction] : state["transactions"].items())
        if (!transaction.contains("updates") || !transaction["updates"].is_array())
            return failWith(error, path + ": transaction \"" + uuid + "\" has no \"updates\" list");
    return true;
}

// A text entry of `object`, or "" when it has none.
std::string textOf(const json& object, const char* key) {
    const auto found = object.is_object() ? object.find(key) : object.end();
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// When a record last changed: a finished session's time, a partner session's, a transaction's last
// update's or its insert's.
std::string changedAt(const std::string& section, const json& record) {
    if (section == "finished") return record.is_string() ? record.get<std::string>() : std::string();
    if (section == "partner") return textOf(record, "at");
    const json& updates = record["updates"];
    return updates.empty() ? textOf(record, "insertedAt") : textOf(updates.back(), "at");
}

// A time as utcText writes it; one that does not read, long ago (the start of the epoch).
TransactionStore::Time timeOf(std::string_view text) {
    int year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    std::size_t at = 0;
    const auto number = [&](auto& out, std::size_t digits, char after) {
        const char* begin = text.data() + at;
        const bool read = at + digits < text.size() &&
                          std::from_chars(begin, begin + digits, out).ptr == begin + digits &&
                          text[at + digits] == after;
        at += digits + 1;
        return read;
    };
    if (!(number(year, 4, '-') && number(month, 2, '-') && number(day, 2, 'T') && number(hour, 2, ':') &&
          number(minute, 2, ':') && number(second, 2, '.') && number(millis, 3, 'Z') && at == text.size()))
        return {};
    const std::chrono::year_month_day read{std::chrono::year(year), std::chrono::month(month),
                                           std::chrono::day(day)};
    if (!read.ok() || hour > 23 || minute > 59 || second > 60) return {};
    return std::chrono::sys_days(read) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
           std::chrono::seconds(second) + std::chrono::milliseconds(millis);
}

// A record as it stands in its section of the file, indented as a whole-file dump(2) would.
std::string recordText(const std::string& key, const json& record) {
    const std::string dumped = record.dump(2);
    std::string text = "    " + json(key).dump() + ": ";
    text.reserve(text.size() + dumped.size() + dumped.size() / 8);
    for (std::size_t from = 0;;) {
        const std::size_t end = dumped.find('\n', from);
        text.append(dumped, from, end - from);
        if (end == std::string::npos) return text;
        text += "\n    ";
        from = end + 1;
    }
}

} // namespace

std::unique_ptr<TransactionStore> TransactionStore::open(const fs::path& folder, std::string* error,
                                                         StoreLimits limits) {
    int failure = 0;
    const std::optional<ns::Directory> opened = ns::Directory::open(folder.string(), true, &failure);
    if (!opened) {
        failWith(error, "cannot use the data folder " + folder.string() + ": " + std::strerror(failure));
        return nullptr;
    }
    return open(*opened, error, limits);
}

std::unique_ptr<TransactionStore> TransactionStore::open(const ns::Directory& folder, std::string* error,
                                                         StoreLimits limits) {
    const int lockFd = folder.openLock(".lock");
    if (lockFd < 0) {
        failWith(error, systemError("cannot open", folder.pathOf(".lock"), errno));
        return nullptr;
    }
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd);
        failWith(error, "the data folder " + folder.path() + " is in use by another service");
        return nullptr;
    }
    json state;
    if (!loadState(folder, kFile, state, error)) {
        ::close(lockFd);
        return nullptr;
    }
    return std::unique_ptr<TransactionStore>(new TransactionStore(folder, lockFd, std::move(state), limits));
}

TransactionStore::TransactionStore(ns::Directory folder, int lockFd, json state, StoreLimits limits)
    : folder_(std::move(folder)), lockFd_(lockFd), limits_(limits), state_(std::move(state)) {
    // The file's own order is lost in the reading; the records' times give it back.
    std::vector<std::pair<std::string, RecordId>> byChange;
    for (const char* section : kSections)
        for (const auto& [key, record] : state_[section].items())
            byChange.push_back({changedAt(section, record), {section, key}});
    std::stable_sort(byChange.begin(), byChange.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [at, id] : byChange)
        keep(id, recordText(id.second, state_[id.first][id.second]), timeOf(at));
}

// `id`'s text becomes `text`, and `id` the record changed last, at `at`.
void TransactionStore::keep(const RecordId& id, std::string text, Time at) {
    const auto [found, added] = kept_.try_emplace(id);
    std::size_t& bytes = bytes_[id.first];
    if (added) {
        found->second.place = changed_.insert(changed_.end(), id);
    } else {
        changed_.splice(changed_.end(), changed_, found->second.place);
        bytes -= found->second.text.size();
    }
    bytes += text.size();
    found->second.text = std::move(text);
    found->second.at = at;
}

std::size_t TransactionStore::limitOf(const std::string& section) const {
    return section == "partner" ? limits_.maxPartnerBytes
           : section == "finished" ? limits_.maxFinishedBytes
                                   : limits_.maxBytes;
}

std::chrono::seconds TransactionStore::keptFor(const std::string& section) const {
    return section == "partner"    ? limits_.partnerKept
           : section == "finished" ? limits_.finishedKept
                                   : limits_.transactionKept;
}

TransactionStore::~TransactionStore() {
    ::close(lockFd_);
}

json TransactionStore::snapshot() const {
    std::lock_guard guard(lock_);
    return state_;
}

TransactionStore::Outcome TransactionStore::insert(const std::string& uuid, const json& fields,
                                                   const std::string& at, std::string* error,
                                                   std::chrono::seconds* retryAfter) {
    std::lock_guard guard(lock_);
    if (state_["transactions"].contains(uuid)) return Outcome::Repeated;
    return commit(
        {{{"transactions", uuid}, json{{"insertedAt", at}, {"insert", fields}, {"updates", json::array()}}}},
        error, retryAfter);
}

TransactionStore::Outcome TransactionStore::update(const std::string& uuid, const json& fields,
                                                   const std::string& at, std::string* error,
                                                   std::chrono::seconds* retryAfter) {
    std::lock_guard guard(lock_);
    if (!state_["transactions"].contains(uuid)) return Outcome::Unknown;
    json record = state_["transactions"][uuid];
    json& updates = record["updates"];
    updates.push_back(json{{"at", at}, {"fields", fields}});
    if (updates.size() > limits_.maxUpdates)
        updates.erase(updates.begin(), updates.end() - static_cast<std::ptrdiff_t>(limits_.maxUpdates));
    return commit({{{"transactions", uuid}, std::move(record)}}, error, retryAfter);
}

TransactionStore::Outcome TransactionStore::finish(const std::string& session, const json& fields, Time at,
                                                   std::string* error, std::chrono::seconds* retryAfter) {
    std::lock_guard guard(lock_);
    if (state_["finished"].contains(session) || state_["partner"].contains(session)) return Outcome::Finished;
    const std::string when = utcText(at);
    return commit({{{"partner", session}, json{{"at", when}, {"fields", fields}}}, {{"finished", session}, when}},
                  error, retryAfter);
}

// Called with the lock held. The state in memory changes only once the new file is in place.
TransactionStore::Outcome TransactionStore::commit(std::vector<Change> changes, std::string* error,
                                                   std::chrono::seconds* retryAfter) {
    const auto changing = [&](const RecordId& id) {
        return std::any_of(changes.begin(), changes.end(), [&](const Change& c) { return c.id == id; });
    };
    std::vector<std::string> texts;
    std::map<std::string, std::size_t> bytes; // the sections changed: their text after the changes
    std::map<std::string, Time> now;          // and the time of their change
    for (const Change& change : changes) {
        const std::string& section = change.id.first;
        texts.push_back(recordText(change.id.second, change.record));
        const auto before = kept_.find(change.id);
        bytes.try_emplace(section, bytes_[section]);
        bytes[section] += texts.back().size() - (before == kept_.end() ? 0 : before->second.text.size());
        now[section] = timeOf(changedAt(section, change.record));
    }
    // The records that go to make room, the ones changed longest ago first, only those kept their
    // section's time. A section still over its limit with records too young to go refuses the
    // changes: `wait` is the time until the first of them may go.
    std::set<RecordId> goes;
    std::optional<Time::duration> wait;
    for (auto& [section, total] : bytes) {
        const std::chrono::seconds kept = keptFor(section);
        std::optional<Time> firstFree;
        for (auto other = changed_.begin(); other != changed_.end() && total > limitOf(section); ++other) {
            if (other->first != section || changing(*other)) continue;
            const Kept& record = kept_.at(*other);
            if (now[section] < record.at + kept) {
                firstFree = std::min(firstFree.value_or(Time::max()), record.at + kept);
                continue;
            }
            total -= record.text.size();
            goes.insert(*other);
        }
        if (total > limitOf(section) && firstFree)
            wait = std::max(wait.value_or(Time::duration::zero()), *firstFree - now[section]);
    }
    if (wait) {
        if (retryAfter)
            *retryAfter = std::max(std::chrono::ceil<std::chrono::seconds>(*wait), std::chrono::seconds(1));
        return Outcome::Full;
    }

    // The file, in pieces: the records' texts are not copied.
    std::map<std::string, std::vector<std::string_view>> sections;
    const auto add = [&](const RecordId& which, std::string_view itsText) {
        auto& section = sections[which.first];
        section.insert(section.end(), {section.empty() ? "\n" : ",\n", itsText});
    };
    for (const RecordId& other : changed_)
        if (!changing(other) && !goes.contains(other)) add(other, kept_.at(other).text);
    for (std::size_t i = 0; i < changes.size(); ++i)
        add(changes[i].id, texts[i]);
    std::vector<std::string_view> file;
    for (std::size_t i = 0; i < kSections.size(); ++i) {
        file.push_back(file.empty() ? "{\n  " : ",\n  ");
        file.push_back(kSectionHeads[i]);
        const auto& pieces = sections[kSections[i]];
        file.insert(file.end(), pieces.begin(), pieces.end());
        file.push_back(pieces.empty() ? "}" : "\n  }");
    }
    file.push_back("\n}\n");

    if (const int failure = folder_.write(kFile, file, ns::Durability::Synced)) {
        failWith(error, systemError("cannot write", path(), failure));
        return Outcome::Failed;
    }
    for (const RecordId& gone : goes) {
        const auto found = kept_.find(gone);
        changed_.erase(found->second.place);
        state_[gone.first].erase(gone.second);
        bytes_[gone.first] -= found->second.text.size();
        kept_.erase(found);
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const RecordId& id = changes[i].id;
        state_[id.first][id.second] = std::move(changes[i].record);
        keep(id, std::move(texts[i]), now[id.first]);
    }
    return Outcome::Stored;
}

std::unique_ptr<RequestLog> RequestLog::open(const ns::Directory& folder, std::string* error, std::size_t maxBytes) {
    int failure = 0;
    std::optional<ns::Directory::Stream> file = folder.appendTo(kFile, &failure);
    if (!file) {
        failWith(error, systemError("cannot open", folder.pathOf(kFile), failure));
        return nullptr;
    }
    ns::EntryFigures figures;
    folder.status(kFile, &figures);
    auto log = std::unique_ptr<RequestLog>(new RequestLog(folder, std::move(*file), maxBytes));
    log->bytes_ = static_cast<std::size_t>(figures.size);
    return log;
}

bool RequestLog::append(std::string line, std::string* error) {
    line += '\n';
    int failure = 0;
    if (file_ && bytes_ > 0 && bytes_ + line.size() > maxBytes_) {
        // Rotated once: the full log becomes requests.log.1, the line starts a new one. When that
        // cannot be done, the line is not written: the log never grows past its bound.
        file_.reset();
        failure = folder_.rename(kFile, std::string(kFile) + ".1", true);
        if (!failure) bytes_ = 0;
    }
    if (!file_) { // after a rotation, or one that failed: the log there, or a new one
        int opened = 0;
        if (std::optional<ns::Directory::Stream> file = folder_.appendTo(kFile, &opened)) file_.emplace(std::move(*file));
        failure = failure ? failure : opened;
    }
    if (!failure && (failure = file_->append(line)) == 0) { // a line cut short is taken back
        bytes_ += line.size();
        return true;
    }
    return failWith(error, systemError("cannot write", path(), failure));
}

} // namespace refsvc
