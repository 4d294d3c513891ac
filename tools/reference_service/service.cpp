#include "tools/reference_service/service.h"

#include <array>
#include <charconv>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "tools/reference_service/seed.h"
#include "tools/reference_service/storage.h"

namespace refsvc {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::size_t kMaxBody = 1 << 20;

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

struct Reply {
    int status = 200;
    std::string body;
    std::string type = "application/json";

    static Reply of(int status, const json& body) { return {status, body.dump(), "application/json"}; }
    static Reply error(int status, const std::string& message) {
        return of(status, json{{"error", message}});
    }
};

std::string utcNow() {
    auto now = std::chrono::system_clock::now();
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

// The request's body as a JSON object, or the 400 reply saying why not.
std::optional<json> objectBody(const httplib::Request& req, Reply& refusal) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        refusal = Reply::error(400, "the body is not a JSON object");
        return std::nullopt;
    }
    return body;
}

// A transaction body: a JSON object holding every key in `required`, with a non-empty "uuid" and
// every entry, other than the ones in `notText`, text. Otherwise the 400 reply naming the first
// entry that is not right.
std::optional<json> transactionBody(const httplib::Request& req, std::span<const char* const> required,
                                    Reply& refusal, std::span<const char* const> notText = {}) {
    auto body = objectBody(req, refusal);
    if (!body) return std::nullopt;
    auto refuse = [&](std::string message) -> std::optional<json> {
        refusal = Reply::error(400, message);
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

// Closes the request's connection without an answer: finds the socket by its two addresses and
// shuts it down both ways. The socket stays open (its owner, the server, closes it), so nothing
// else can be using the descriptor meanwhile; the answer the server then tries to write fails.
bool closeUnanswered(const httplib::Request& req) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::int64_t fd = -1;
        if (!readWhole(entry.path().filename().string(), fd)) continue;
        sockaddr_in local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        int descriptor = static_cast<int>(fd);
        if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != req.local_port)
            continue;
        if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
            ntohs(peer.sin_port) != req.remote_port)
            continue;
        std::array<char, INET_ADDRSTRLEN> address{};
        if (!::inet_ntop(AF_INET, &peer.sin_addr, address.data(), address.size()) ||
            req.remote_addr != address.data())
            continue;
        return ::shutdown(descriptor, SHUT_RDWR) == 0;
    }
    return false;
}

} // namespace

struct Service::State {
    Seed seed;
    FaultPlan faults;
    std::unique_ptr<TransactionStore> store;
    std::unique_ptr<RequestLog> log;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string base;

    mutable std::mutex lock; // guards what follows
    mutable std::condition_variable changed;
    std::vector<RequestRecord> records;
    std::int64_t arrivals = 0;
    bool stopping = false;
    std::once_flag stopOnce;

    State(Seed s, std::vector<Fault> rules) : seed(std::move(s)), faults(std::move(rules)) {}

    void addRoutes();
    void route(const std::string& method, const std::string& pattern, std::optional<Call> call,
               std::string label, std::function<Reply(const httplib::Request&)> handle);
    void serve(const httplib::Request& req, httplib::Response& res, std::optional<Call> call,
               const std::string& label, const std::function<Reply(const httplib::Request&)>& handle);
    // Waits out a slow fault; false when the service stops first.
    bool delay(double seconds);
    void record(RequestRecord record);

    Reply profile(const httplib::Request& req);
    Reply auth(const httplib::Request& req);
    Reply features(const httplib::Request& req);
    Reply insert(const httplib::Request& req);
    Reply update(const httplib::Request& req);
    Reply partner(const httplib::Request& req);
};

void Service::State::route(const std::string& method, const std::string& pattern, std::optional<Call> call,
                           std::string label, std::function<Reply(const httplib::Request&)> handle) {
    auto handler = [this, call, label = std::move(label),
                    handle = std::move(handle)](const httplib::Request& req, httplib::Response& res) {
        serve(req, res, call, label, handle);
    };
    if (method == "GET")
        server.Get(pattern, handler);
    else if (method == "POST")
        server.Post(pattern, handler);
    else if (method == "PUT")
        server.Put(pattern, handler);
    else if (method == "DELETE")
        server.Delete(pattern, handler);
    else if (method == "PATCH")
        server.Patch(pattern, handler);
    else
        server.Options(pattern, handler);
}

void Service::State::serve(const httplib::Request& req, httplib::Response& res, std::optional<Call> call,
                           const std::string& label,
                           const std::function<Reply(const httplib::Request&)>& handle) {
    RequestRecord rec;
    {
        std::lock_guard guard(lock);
        rec.seq = ++arrivals;
        changed.notify_all();
    }
    rec.at = utcNow();
    rec.method = req.method;
    rec.target = req.target;
    rec.call = label;

    std::optional<Fault> fault = call ? faults.take(*call) : std::nullopt;
    if (fault) rec.fault = fault->describe();
    bool refuse = fault && fault->kind == Fault::Kind::Refuse;
    if (fault && fault->kind == Fault::Kind::Slow && !delay(fault->delaySeconds)) refuse = true;

    if (refuse) {
        // Recorded first: once the client sees the connection close, the record is there.
        rec.status = 0;
        record(std::move(rec));
        closeUnanswered(req);
        res.status = 500; // never reaches the client: the connection is shut down
        return;
    }
    if (fault && fault->kind == Fault::Kind::ServerError) {
        res.status = 500;
        res.set_content("Internal Server Error", "text/plain");
    } else if (fault && fault->kind == Fault::Kind::Garbage) {
        res.status = 200;
        res.set_content(kGarbage, "application/json");
    } else {
        Reply reply = handle(req);
        res.status = reply.status;
        res.set_content(reply.body, reply.type);
    }
    rec.status = res.status;
    record(std::move(rec));
}

bool Service::State::delay(double seconds) {
    std::unique_lock guard(lock);
    return !changed.wait_for(guard, std::chrono::duration<double>(seconds), [&] { return stopping; });
}

void Service::State::record(RequestRecord rec) {
    nlohmann::ordered_json line{{"seq", rec.seq},       {"at", rec.at},     {"method", rec.method},
                                {"target", rec.target}, {"call", rec.call}, {"status", rec.status},
                                {"fault", rec.fault}};
    std::lock_guard guard(lock);
    log->append(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    records.push_back(std::move(rec));
    changed.notify_all();
}

void Service::State::addRoutes() {
    auto bind = [this](Reply (State::*member)(const httplib::Request&)) {
        return [this, member](const httplib::Request& req) { return (this->*member)(req); };
    };
    route("POST", "/profiles/clients/_find", Call::Profile, "profile", bind(&State::profile));
    route("POST", "/admin/api/auth/", Call::Auth, "auth", bind(&State::auth));
    route("GET", R"(/admin/api/pdt/quarnotix/getfeaturesettings/([^/]+)/([^/]+)/)", Call::Features,
          "features", bind(&State::features));
    route("POST", "/ws/insert/", Call::Insert, "insert", bind(&State::insert));
    route("POST", "/ws/updateresult/", Call::Update, "update", bind(&State::update));
    route("POST", "/partner/api/functionaltest_finish/", Call::Partner, "partner", bind(&State::partner));
    route("GET", R"(/tools/AppleModel\.json)", Call::Models, "models", [this](const httplib::Request&) {
        return Reply{200, seed.models.dump(), "application/json"};
    });
    route("GET", R"(/cgi-bin/check_ip\.cgi)", Call::Ip, "ip", [](const httplib::Request& req) {
        return Reply{200,
                     "<html><body><h1>Your IP address is:" + req.remote_addr + "</h1><p>Current IP Address: " +
                         req.remote_addr + "</p></body></html>",
                     "text/html; charset=utf-8"};
    });
    route("GET", "/ws/api/udid", std::nullopt, "udid-page", [](const httplib::Request&) {
        return Reply{200, kUdidPage, "text/html; charset=utf-8"};
    });
    route("GET", R"(/tools/udid\.mobileconfig)", std::nullopt, "profile-page", [](const httplib::Request&) {
        return Reply{200, kProfilePage, "application/x-apple-aspen-config"};
    });
    // Routes are tried in the order they were added: anything else is not found (and logged).
    for (const char* method : {"GET", "POST", "PUT", "DELETE", "PATCH", "OPTIONS"})
        route(method, ".*", std::nullopt, "",
              [](const httplib::Request&) { return Reply::error(404, "no such resource"); });
}

Reply Service::State::profile(const httplib::Request& req) {
    Reply refusal;
    auto body = objectBody(req, refusal);
    if (!body) return refusal;
    if (!body->contains("id") || !(*body)["id"].is_string())
        return Reply::error(400, "missing text entry \"id\"");
    if ((*body)["id"] != seed.clientId) return Reply::error(404, "no client with this id");
    return Reply::of(200, json{{"adminconsoleserver", base + "/admin/"}, {"webserviceserver", base + "/ws"}});
}

Reply Service::State::auth(const httplib::Request& req) {
    Reply refusal;
    auto body = objectBody(req, refusal);
    if (!body) return refusal;
    for (const char* key : {"username", "password"})
        if (!body->contains(key) || !(*body)[key].is_string())
            return Reply::error(400, std::string("missing text entry \"") + key + "\"");
    const Operator* op = seed.findOperator((*body)["username"].get<std::string>());
    if (!op || op->password != (*body)["password"].get<std::string>())
        return Reply::of(401, json{{"status", 0}, {"error", "wrong user name or password"}});
    return Reply::of(
        200, json{{"status", 1}, {"loginid", op->loginid}, {"company", op->company}, {"site", op->site}});
}

Reply Service::State::features(const httplib::Request& req) {
    std::int64_t company = 0, site = 0;
    const FeatureSettings* settings = nullptr;
    if (readWhole(req.matches[1].str(), company) && readWhole(req.matches[2].str(), site))
        settings = seed.findFeatures(company, site);
    if (!settings)
        return Reply::of(404,
                         json{{"status", 0}, {"error", "no feature settings for this company and site"}});
    return Reply::of(200, json{{"status", 1},
                               {"features", settings->features},
                               {"productid", settings->productid},
                               {"solutionid", settings->solutionid}});
}

Reply Service::State::insert(const httplib::Request& req) {
    Reply refusal;
    auto body = transactionBody(req, kInsertKeys, refusal);
    if (!body) return refusal;
    std::string error;
    switch (store->insert((*body)["uuid"], *body, utcNow(), &error)) {
    case TransactionStore::Outcome::Stored:
    case TransactionStore::Outcome::Repeated:
        return Reply::of(200, json{{"status", 1}});
    default:
        return Reply::of(500, json{{"status", 0}, {"error", "not stored: " + error}});
    }
}

Reply Service::State::update(const httplib::Request& req) {
    Reply refusal;
    auto body = transactionBody(req, kUpdateKeys, refusal);
    if (!body) return refusal;
    std::string error;
    switch (store->update((*body)["uuid"], *body, utcNow(), &error)) {
    case TransactionStore::Outcome::Stored:
        return Reply::of(200, json{{"status", 1}});
    case TransactionStore::Outcome::Unknown:
        return Reply::of(200, json{{"status", 0}, {"error", "no transaction with this uuid"}});
    default:
        return Reply::of(500, json{{"status", 0}, {"error", "not stored: " + error}});
    }
}

Reply Service::State::partner(const httplib::Request& req) {
    static constexpr std::array<const char*, 1> kNumbers{"result"};
    Reply refusal;
    auto body = transactionBody(req, kPartnerKeys, refusal, kNumbers);
    if (!body) return refusal;
    const json& result = (*body)["result"];
    if (!result.is_number() || (result != 0 && result != 1))
        return Reply::error(400, "entry \"result\" is not the number 0 or 1");
    std::string error;
    switch (store->finish((*body)["uuid"], *body, utcNow(), &error)) {
    case TransactionStore::Outcome::Stored:
        return Reply::of(200, json{{"status", 200}});
    case TransactionStore::Outcome::Finished:
        return Reply::of(409, json{{"error", "This session has already been finished"}, {"status", 409}});
    default:
        return Reply::of(500, json{{"error", "not stored: " + error}, {"status", 500}});
    }
}

std::unique_ptr<Service> Service::start(const Options& options, std::string* error) {
    auto fail = [&](std::string message) -> std::unique_ptr<Service> {
        if (error) *error = std::move(message);
        return nullptr;
    };
    if (options.dataFolder.empty()) return fail("no data folder given");
    std::optional<Seed> seed = Seed::parse(options.seedJson ? *options.seedJson : Seed::builtInText(), error);
    if (!seed) return nullptr;

    auto state = std::make_unique<State>(std::move(*seed), options.faults);
    state->store = TransactionStore::open(options.dataFolder, error);
    if (!state->store) return nullptr;
    state->log = RequestLog::open(options.dataFolder, error);
    if (!state->log) return nullptr;

    httplib::Server& server = state->server;
    server.set_payload_max_length(kMaxBody);
    // One request per connection, closed by the service once answered ("Connection: close"), so
    // no idle kept-alive connection holds a stopping service up. (A keep-alive time-out of 0 would
    // not do: the library applies it to a connection's first request too, and closes a connection
    // whose request is a few milliseconds late.)
    server.set_keep_alive_max_count(1);
    // The library writes an answer's head and body apart: without this, the body waits for the
    // client's delayed acknowledgement (tens of milliseconds a request on loopback).
    server.set_tcp_nodelay(true);
    // Only SO_REUSEADDR (a restart may take its port back at once): the library's default adds
    // SO_REUSEPORT, with which a second service on a busy port would start and share its requests.
    server.set_socket_options([](int socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    state->addRoutes();
    if (options.port == 0) {
        state->port = server.bind_to_any_port("127.0.0.1");
    } else if (options.port > 0 && options.port < 65536 && server.bind_to_port("127.0.0.1", options.port)) {
        state->port = options.port;
    } else {
        state->port = -1;
    }
    if (state->port <= 0) return fail("cannot listen on 127.0.0.1:" + std::to_string(options.port));
    state->base = "http://127.0.0.1:" + std::to_string(state->port);

    State* raw = state.get();
    state->thread = std::thread([raw] {
        // The server's worker threads start from this one and inherit the mask, so an answer
        // written to a connection the client (or a refuse fault) closed fails with EPIPE instead
        // of ending the process, even where the process has not set SIGPIPE aside itself.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        raw->server.listen_after_bind();
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    auto service = std::unique_ptr<Service>(new Service(std::move(state)));
    if (!service->state_->server.is_running()) {
        service->stop();
        return fail("the server did not start");
    }
    return service;
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
        if (state_->thread.joinable()) state_->thread.join();
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
    return state_->records;
}

bool Service::waitForArrivals(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, timeout,
                                    [&] { return state_->arrivals >= static_cast<std::int64_t>(count); });
}

bool Service::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, timeout, [&] { return state_->records.size() >= count; });
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
