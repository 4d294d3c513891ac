#include "tools/reference_service/service.h"

#include <array>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "tools/reference_service/http_server.h"
#include "tools/reference_service/seed.h"
#include "tools/reference_service/storage.h"

namespace refsvc {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The insert's entries; the update has these and four more; the partner's finish call its own.
constexpr std::array<const char*, 14> kInsertKeys{
    "uuid",      "operator",   "company",     "site",        "productid", "solutionid", "timeCreated",
    "esnNumber", "sourceMake", "modelnumber", "sourceModel", "osversion", "clientVer",  "MacAddress"};
constexpr std::array<const char*, 18> kUpdateKeys{
    "uuid",        "operator",   "company",       "site",        "productid",    "solutionid",
    "timeCreated", "esnNumber",  "sourceMake",    "modelnumber", "sourceModel",  "osversion",
    "clientVer",   "MacAddress", "update_record", "result",      "result_value", "errorCode"};
constexpr std::array<const char*, 18> kPartnerKeys{
    "uuid",           "timeCreated",  "esnNumber",    "sourceMake",  "clientVer",        "MacAddress",
    "errorCode",      "result_value", "grade",        "color",       "devicememorysize", "sourceCarrier",
    "AndroidVersion", "iosVersion",   "serialnumber", "modelnumber", "sourceModel",      "result"};

const char* const kGarbage = "<html><body>Service temporarily unavailable</body></html>";

const char* const kUdidPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Device identifier</title></head>
<body>
<h1>Device identifier</h1>
<p>Install the profile to send this device's identifier to the function test.</p>
<p><a href="/tools/udid.mobileconfig">Install profile</a></p>
</body></html>
)";

const char* const kProfilePage = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>PayloadContent</key>
  <dict>
    <key>DeviceAttributes</key>
    <array><string>UDID</string><string>IMEI</string><string>PRODUCT</string><string>SERIAL</string></array>
  </dict>
  <key>PayloadDisplayName</key><string>Function test device identifier</string>
  <key>PayloadIdentifier</key><string>com.quarnotix.functiontest.udid</string>
  <key>PayloadType</key><string>Profile Service</string>
  <key>PayloadUUID</key><string>3F2A1C9E-7B5D-4E0A-9C61-2D8B4F7A1E03</string>
  <key>PayloadVersion</key><integer>1</integer>
</dict>
</plist>
)";

using Reply = HttpReply;

Reply jsonReply(int status, const json& body) {
    return {status, body.dump(), "application/json"};
}
Reply errorReply(int status, const std::string& message) {
    return jsonReply(status, json{{"error", message}});
}
// No room in the store until a record has been kept its time: 503, and when to try again.
Reply busy(const json& body, std::chrono::seconds retryAfter) {
    Reply reply = jsonReply(503, body);
    reply.retryAfter = retryAfter;
    return reply;
}
const char* const kNoRoomForTransactions = "Too many transactions lately; try again later";

// A text from the client as requests.log gives it: at most kLoggedTextLimit bytes, cut at a
// character's start, "..." after a cut.
std::string cutForLog(std::string_view text) {
    if (text.size() <= kLoggedTextLimit) return std::string(text);
    std::size_t end = kLoggedTextLimit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "...";
}

} // namespace

std::string utcText(std::chrono::system_clock::time_point now) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    std::array<char, 32> text{};
    std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &tm);
    std::string stamp(text.data(), length);
    stamp += '.';
    stamp += static_cast<char>('0' + millis / 100);
    stamp += static_cast<char>('0' + millis / 10 % 10);
    stamp += static_cast<char>('0' + millis % 10);
    return stamp + 'Z';
}

std::string requestLogLine(const RequestRecord& record) {
    const nlohmann::ordered_json line{{"seq", record.seq},       {"at", record.at},     {"method", record.method},
                                      {"target", record.target}, {"call", record.call}, {"status", record.status},
                                      {"fault", record.fault},   {"failure", record.failure}};
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

namespace {

// The request's body as a JSON object, or the 400 reply saying why not.
std::optional<json> objectBody(const HttpRequest& req, Reply& refusal) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        refusal = errorReply(400, "the body is not a JSON object");
        return std::nullopt;
    }
    return body;
}

// A transaction body: a JSON object holding every key in `required`, with a non-empty "uuid" and
// every entry, other than the ones in `notText`, text. Otherwise the 400 reply naming the first
// entry that is not right.
std::optional<json> transactionBody(const HttpRequest& req, std::span<const char* const> required,
                                    Reply& refusal, std::span<const char* const> notText = {}) {
    auto body = objectBody(req, refusal);
    if (!body) return std::nullopt;
    auto refuse = [&](std::string message) -> std::optional<json> {
        refusal = errorReply(400, message);
        return std::nullopt;
    };
    for (const char* key : required)
        if (!body->contains(key)) return refuse(std::string("missing entry \"") + key + "\"");
    for (const auto& [key, value] : body->items()) {
        bool exempt = false;
        for (const char* other : notText)
            exempt = exempt || key == other;
        if (!exempt && !value.is_string()) return refuse("entry \"" + key + "\" is not text");
    }
    if ((*body)["uuid"].get_ref<const std::string&>().empty()) return refuse("entry \"uuid\" is empty");
    return body;
}

bool readWhole(const std::string& text, std::int64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

Fields toFields(const json& object) {
    Fields fields;
    if (!object.is_object()) return fields;
    for (const auto& [key, value] : object.items())
        fields[key] = value.is_string() ? value.get<std::string>() : value.dump();
    return fields;
}

StoredTransaction toTransaction(const std::string& uuid, const json& entry) {
    StoredTransaction transaction;
    transaction.uuid = uuid;
    transaction.insertedAt = entry.value("insertedAt", "");
    transaction.insert = toFields(entry.value("insert", json::object()));
    for (const json& update : entry.value("updates", json::array()))
        transaction.updates.push_back(
            {update.value("at", ""), toFields(update.value("fields", json::object()))});
    return transaction;
}

} // namespace

struct Service::State {
    Seed seed;
    FaultPlan faults;
    std::unique_ptr<TransactionStore> store;
    std::unique_ptr<RequestLog> log;
    HttpServer server;
    int port = 0;
    std::string base;
    std::function<std::chrono::system_clock::time_point()> clock;
    std::function<std::string(std::string_view)> logMasking;

    mutable std::mutex lock; // guards what follows
    mutable std::condition_variable changed;
    std::size_t keptRequests = 0;
    std::deque<RequestRecord> records; // the latest keptRequests
    std::int64_t arrivals = 0, done = 0;
    std::set<std::string> loggedIn; // the login ids of the operators who logged in, as text
    std::string dataFailure;        // the first write of the data folder that failed
    bool stopping = false;
    std::once_flag stopOnce;

    State(Seed s, std::vector<Fault> rules, HttpLimits limits)
        : seed(std::move(s)), faults(std::move(rules)), server(limits) {}

    void addRoutes();
    void route(const std::string& method, const std::string& pattern, std::optional<Call> call,
               std::string label, std::function<Reply(const HttpRequest&)> handle);
    Reply serve(const HttpRequest& req, std::optional<Call> call, const std::string& label,
                const std::function<Reply(const HttpRequest&)>& handle);
    // Waits out a slow fault; false when the service stops first.
    bool delay(double seconds);
    void record(RequestRecord record);
    // Keeps the first failed write of the data folder.
    void failed(const std::string& why) {
        std::lock_guard guard(lock);
        if (dataFailure.empty()) dataFailure = why;
    }
    std::chrono::system_clock::time_point time() const { return clock ? clock() : std::chrono::system_clock::now(); }
    std::string now() const { return utcText(time()); }

    Reply profile(const HttpRequest& req);
    Reply auth(const HttpRequest& req);
    Reply features(const HttpRequest& req);
    Reply insert(const HttpRequest& req);
    Reply update(const HttpRequest& req);
    Reply partner(const HttpRequest& req);
};

void Service::State::route(const std::string& method, const std::string& pattern, std::optional<Call> call,
                           std::string label, std::function<Reply(const HttpRequest&)> handle) {
    server.route(method, pattern,
                 [this, call, label = std::move(label), handle = std::move(handle)](const HttpRequest& req) {
                     return serve(req, call, label, handle);
                 });
}

Reply Service::State::serve(const HttpRequest& req, std::optional<Call> call, const std::string& label,
                            const std::function<Reply(const HttpRequest&)>& handle) {
    RequestRecord rec;
    {
        std::lock_guard guard(lock);
        ++arrivals;
        changed.notify_all();
    }
    rec.method = cutForLog(logMasking ? logMasking(req.method) : req.method);
    rec.target = cutForLog(logMasking ? logMasking(req.target) : req.target);
    rec.call = label;

    std::optional<Fault> fault = call ? faults.take(*call) : std::nullopt;
    if (fault) rec.fault = fault->describe();
    bool refuse = fault && fault->kind == Fault::Kind::Refuse;
    if (fault && fault->kind == Fault::Kind::Slow && !delay(fault->delaySeconds)) refuse = true;

    Reply reply;
    if (refuse) {
        // Recorded first: once the client sees the connection close, the record is there.
        reply.closeUnanswered = true;
    } else if (fault && fault->kind == Fault::Kind::ServerError) {
        reply = {500, "Internal Server Error", "text/plain"};
    } else if (fault && fault->kind == Fault::Kind::Garbage) {
        reply = {200, kGarbage, "application/json"};
    } else {
        reply = handle(req);
    }
    rec.status = reply.closeUnanswered ? 0 : reply.status;
    if (reply.closeUnanswered) rec.failure = "closed unanswered";
    rec.at = now();
    record(std::move(rec));
    return reply;
}

bool Service::State::delay(double seconds) {
    std::unique_lock guard(lock);
    return !changed.wait_for(guard, std::chrono::duration<double>(seconds), [&] { return stopping; });
}

void Service::State::record(RequestRecord rec) {
    std::lock_guard guard(lock);
    rec.seq = ++done;
    if (std::string why; !log->append(requestLogLine(rec), &why) && dataFailure.empty()) dataFailure = why;
    records.push_back(std::move(rec));
    if (records.size() > keptRequests) records.pop_front();
    changed.notify_all();
}

void Service::State::addRoutes() {
    auto bind = [this](Reply (State::*member)(const HttpRequest&)) {
        return [this, member](const HttpRequest& req) { return (this->*member)(req); };
    };
    route("POST", "/profiles/clients/_find", Call::Profile, "profile", bind(&State::profile));
    route("POST", "/admin/api/auth/", Call::Auth, "auth", bind(&State::auth));
    route("GET", "/admin/api/pdt/quarnotix/getfeaturesettings/{}/{}/", Call::Features, "features",
          bind(&State::features));
    route("POST", "/ws/insert/", Call::Insert, "insert", bind(&State::insert));
    route("POST", "/ws/updateresult/", Call::Update, "update", bind(&State::update));
    route("POST", "/partner/api/functionaltest_finish/", Call::Partner, "partner", bind(&State::partner));
    route("GET", "/tools/AppleModel.json", Call::Models, "models", [this](const HttpRequest&) {
        return Reply{200, seed.models.dump(), "application/json"};
    });
    route("GET", "/cgi-bin/check_ip.cgi", Call::Ip, "ip", [](const HttpRequest& req) {
        const std::string& address = req.forwardedFor.empty() ? req.remoteAddress : req.forwardedFor;
        return Reply{200,
                     "<html><body><h1>Your IP address is:" + address + "</h1><p>Current IP Address: " + address +
                         "</p></body></html>",
                     "text/html; charset=utf-8"};
    });
    route("GET", "/ws/api/udid", std::nullopt, "udid-page", [](const HttpRequest&) {
        return Reply{200, kUdidPage, "text/html; charset=utf-8"};
    });
    route("GET", "/tools/udid.mobileconfig", std::nullopt, "profile-page", [](const HttpRequest&) {
        return Reply{200, kProfilePage, "application/x-apple-aspen-config"};
    });
    // Routes are tried in the order they were added: anything else is not found (and logged).
    route("", "*", std::nullopt, "", [](const HttpRequest&) { return errorReply(404, "no such resource"); });
}

Reply Service::State::profile(const HttpRequest& req) {
    Reply refusal;
    auto body = objectBody(req, refusal);
    if (!body) return refusal;
    if (!body->contains("id") || !(*body)["id"].is_string())
        return errorReply(400, "missing text entry \"id\"");
    if ((*body)["id"] != seed.clientId) return errorReply(404, "no client with this id");
    return jsonReply(200, json{{"adminconsoleserver", base + "/admin/"}, {"webserviceserver", base + "/ws"}});
}

Reply Service::State::auth(const HttpRequest& req) {
    Reply refusal;
    auto body = objectBody(req, refusal);
    if (!body) return refusal;
    for (const char* key : {"username", "password"})
        if (!body->contains(key) || !(*body)[key].is_string())
            return errorReply(400, std::string("missing text entry \"") + key + "\"");
    const Operator* op = seed.findOperator((*body)["username"].get<std::string>());
    if (!op || op->password != (*body)["password"].get<std::string>())
        return jsonReply(401, json{{"status", 0}, {"error", "wrong user name or password"}});
    {
        std::lock_guard guard(lock);
        loggedIn.insert(std::to_string(op->loginid));
    }
    return jsonReply(
        200, json{{"status", 1}, {"loginid", op->loginid}, {"company", op->company}, {"site", op->site}});
}

Reply Service::State::features(const HttpRequest& req) {
    std::int64_t company = 0, site = 0;
    const FeatureSettings* settings = nullptr;
    if (readWhole(req.matches[1], company) && readWhole(req.matches[2], site))
        settings = seed.findFeatures(company, site);
    if (!settings)
        return jsonReply(404,
                         json{{"status", 0}, {"error", "no feature settings for this company and site"}});
    return jsonReply(200, json{{"status", 1},
                               {"features", settings->features},
                               {"productid", settings->productid},
                               {"solutionid", settings->solutionid}});
}

Reply Service::State::insert(const HttpRequest& req) {
    Reply refusal;
    auto body = transactionBody(req, kInsertKeys, refusal);
    if (!body) return refusal;
    {
        std::lock_guard guard(lock);
        if (!loggedIn.contains((*body)["operator"].get<std::string>()))
            return jsonReply(401, json{{"status", 0}, {"error", "the operator has not logged in"}});
    }
    std::string error;
    std::chrono::seconds retryAfter{};
    switch (store->insert((*body)["uuid"], *body, now(), &error, &retryAfter)) {
    case TransactionStore::Outcome::Stored:
    case TransactionStore::Outcome::Repeated:
        return jsonReply(200, json{{"status", 1}});
    case TransactionStore::Outcome::Full:
        return busy(json{{"status", 0}, {"error", kNoRoomForTransactions}}, retryAfter);
    default:
        failed(error);
        return jsonReply(500, json{{"status", 0}, {"error", "not stored: " + error}});
    }
}

Reply Service::State::update(const HttpRequest& req) {
    Reply refusal;
    auto body = transactionBody(req, kUpdateKeys, refusal);
    if (!body) return refusal;
    std::string error;
    std::chrono::seconds retryAfter{};
    switch (store->update((*body)["uuid"], *body, now(), &error, &retryAfter)) {
    case TransactionStore::Outcome::Stored:
        return jsonReply(200, json{{"status", 1}});
    case TransactionStore::Outcome::Unknown:
        return jsonReply(404, json{{"status", 0}, {"error", "no transaction with this uuid"}});
    case TransactionStore::Outcome::Full:
        return busy(json{{"status", 0}, {"error", kNoRoomForTransactions}}, retryAfter);
    default:
        failed(error);
        return jsonReply(500, json{{"status", 0}, {"error", "not stored: " + error}});
    }
}

Reply Service::State::partner(const HttpRequest& req) {
    static constexpr std::array<const char*, 1> kNumbers{"result"};
    Reply refusal;
    auto body = transactionBody(req, kPartnerKeys, refusal, kNumbers);
    if (!body) return refusal;
    const json& result = (*body)["result"];
    if (!result.is_number() || (result != 0 && result != 1))
        return errorReply(400, "entry \"result\" is not the number 0 or 1");
    std::string error;
    std::chrono::seconds retryAfter{};
    switch (store->finish((*body)["uuid"], *body, time(), &error, &retryAfter)) {
    case TransactionStore::Outcome::Stored:
        return jsonReply(200, json{{"status", 200}});
    case TransactionStore::Outcome::Finished:
        return jsonReply(409, json{{"error", "This session has already been finished"}, {"status", 409}});
    case TransactionStore::Outcome::Full:
        return busy(json{{"error", "Too many sessions finished lately; try again later"}, {"status", 503}},
                    retryAfter);
    default:
        failed(error);
        return jsonReply(500, json{{"error", "not stored: " + error}, {"status", 500}});
    }
}

std::unique_ptr<Service> Service::start(const Options& options, std::string* error) {
    auto fail = [&](std::string message) -> std::unique_ptr<Service> {
        if (error) *error = std::move(message);
        return nullptr;
    };
    std::optional<ns::Directory> data = options.data;
    if (!data && options.dataFolder.empty()) return fail("no data folder given");
    if (int failure = 0; !data && !(data = ns::Directory::open(options.dataFolder.string(), true, &failure)))
        return fail("cannot use the data folder " + options.dataFolder.string() + ": " + std::strerror(failure));
    std::optional<Seed> seed = Seed::parse(options.seedJson ? *options.seedJson : Seed::builtInText(), error);
    if (!seed) return nullptr;

    HttpLimits limits;
    limits.readDeadline = std::chrono::milliseconds(static_cast<long>(options.requestReadSeconds * 1000));
    limits.maxBody = kMaxBodyBytes;
    auto state = std::make_unique<State>(std::move(*seed), options.faults, limits);
    if (!state->server.believeGateways(options.gateways)) return fail("a gateway is not an IPv4 address");
    state->clock = options.clock;
    state->logMasking = options.logMasking;
    state->store = TransactionStore::open(*data, error, options.store);
    if (!state->store) return nullptr;
    state->log = RequestLog::open(*data, error, options.requestLogBytes);
    if (!state->log) return nullptr;
    state->keptRequests = options.keptRequests;

    state->addRoutes();
    state->port = state->server.bind(options.port);
    if (state->port <= 0) return fail("cannot listen on 127.0.0.1:" + std::to_string(options.port));
    state->base = "http://127.0.0.1:" + std::to_string(state->port);
    state->server.start();
    return std::unique_ptr<Service>(new Service(std::move(state)));
}

Service::Service(std::unique_ptr<State> state) : state_(std::move(state)) {}

Service::~Service() {
    stop();
}

void Service::stop() {
    std::call_once(state_->stopOnce, [this] {
        {
            std::lock_guard guard(state_->lock);
            state_->stopping = true;
            state_->changed.notify_all();
        }
        state_->server.stop();
    });
}

int Service::port() const {
    return state_->port;
}
std::string Service::baseUrl() const {
    return state_->base;
}
std::string Service::adminUrl() const {
    return state_->base + "/admin/";
}
std::string Service::webServiceUrl() const {
    return state_->base + "/ws";
}
std::string Service::partnerUrl() const {
    return state_->base + "/partner";
}
const std::string& Service::clientId() const {
    return state_->seed.clientId;
}
fs::path Service::transactionsPath() const {
    return state_->store->path();
}
fs::path Service::requestsLogPath() const {
    return state_->log->path();
}

std::vector<RequestRecord> Service::requests() const {
    std::lock_guard guard(state_->lock);
    return {state_->records.begin(), state_->records.end()};
}

bool Service::waitForArrivals(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, timeout,
                                    [&] { return state_->arrivals >= static_cast<std::int64_t>(count); });
}

bool Service::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, timeout,
                                    [&] { return state_->done >= static_cast<std::int64_t>(count); });
}

std::vector<StoredTransaction> Service::transactions() const {
    json snapshot = state_->store->snapshot();
    std::vector<StoredTransaction> all;
    for (const auto& [uuid, entry] : snapshot["transactions"].items())
        all.push_back(toTransaction(uuid, entry));
    return all;
}

std::optional<StoredTransaction> Service::transaction(const std::string& uuid) const {
    json snapshot = state_->store->snapshot();
    if (!snapshot["transactions"].contains(uuid)) return std::nullopt;
    return toTransaction(uuid, snapshot["transactions"][uuid]);
}

std::string Service::dataFailure() const {
    std::lock_guard guard(state_->lock);
    return state_->dataFailure;
}

std::vector<PartnerFinish> Service::partnerFinishes() const {
    json snapshot = state_->store->snapshot();
    std::vector<PartnerFinish> all;
    for (const auto& [session, entry] : snapshot["partner"].items()) {
        PartnerFinish finish{session, entry.value("at", ""), {}, 0};
        json fields = entry.value("fields", json::object());
        if (fields.contains("result") && fields["result"].is_number())
            finish.result = fields["result"].get<int>();
        fields.erase("result");
        finish.fields = toFields(fields);
        all.push_back(std::move(finish));
    }
    return all;
}

} // namespace refsvc
