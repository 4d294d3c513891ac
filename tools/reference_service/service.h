#pragma once
// The reference web service: the service's HTTP/JSON interface, the trade-in partner's finish call
// and the maker's download pages on one loopback host, plain http, storing what it receives.
//
// Addresses on http://127.0.0.1:<port> (the client profile names the admin and web-service ones):
//   profile server  <base>                   POST /profiles/clients/_find
//   admin console   <base>/admin/            POST <admin>api/auth/
//                                            GET
//                                            <admin>api/pdt/quarnotix/getfeaturesettings/<company>/<site>/
//   web service     <base>/ws                POST <ws>/insert/, POST <ws>/updateresult/
//                                            GET  <ws>/api/udid?prefix=qx   (device-identifier page)
//   partner         <base>/partner           POST <partner>/api/functionaltest_finish/
//   download server <base>                   GET  /tools/AppleModel.json, GET /tools/udid.mobileconfig
//   address page    <base>                   GET  /cgi-bin/check_ip.cgi
//
// Request contracts (every JSON reply has Content-Type application/json):
//   profile   {"id": text}
//             200 {"adminconsoleserver": "<base>/admin/", "webserviceserver": "<base>/ws"};
//             an id other than the seed's client id: 404 {"error"}.
//   auth      {"username": text, "password": text}
//             200 {"status": 1, "loginid", "company", "site"} (whole numbers);
//             unknown user or wrong password: 401 {"status": 0, "error"}.
//   features  company and site whole numbers in the path
//             200 {"status": 1, "features": [result keys], "productid", "solutionid"};
//             no settings for that company and site: 404 {"status": 0, "error"}.
//   insert    text entries, all required: "uuid" (made by the client, not empty), "operator",
//             "company", "site", "productid", "solutionid", "timeCreated", "esnNumber",
//             "sourceMake", "modelnumber", "sourceModel", "osversion", "clientVer", "MacAddress"
//             200 {"status": 1}; a uuid already stored is the same transaction: {"status": 1} and
//             nothing changes. "operator" is the login id (as text) of an operator who has
//             logged in (auth) since the service started: 401 {"status": 0, "error"} otherwise.
//   update    the insert's entries plus "update_record", "result", "result_value", "errorCode",
//             all text and all required
//             200 {"status": 1}, the update stored with its time; a "uuid" no insert stored (or one
//             the store has dropped once kept its time, storage.h): 404 {"status": 0, "error"}.
//             Either, when it finds no room (the transactions kept are all younger than their
//             time): 503 {"status": 0, "error"} with Retry-After, the seconds until one may go.
//   partner   text entries "uuid" (the session id, not empty), "timeCreated", "esnNumber",
//             "sourceMake", "clientVer", "MacAddress", "errorCode", "result_value", "grade",
//             "color", "devicememorysize", "sourceCarrier", "AndroidVersion", "iosVersion",
//             "serialnumber", "modelnumber", "sourceModel", and "result" the number 0 or 1; all
//             required, further text entries stored too
//             200 {"status": 200}; a session finished before: 409 {"error", "status": 409}, however
//             long ago (within StoreLimits::finishedKept) and whatever came since; no room for
//             the finish (storage.h: the sessions kept are all younger than their time): 503
//             {"error", "status": 503} with Retry-After, the seconds until one may go.
//   models    200 the seed's model table ({"iOS": ..., "WifiOnly": ...}).
//   ip        200 text/html: the caller's address twice, after "Your IP address is:" in a heading
//             and after "Current IP Address: " in a paragraph; the address the gateway in front of
//             the caller names (X-Forwarded-For: a simulated device's public address; the last
//             entry of the last such header, the one the gateway added) when there is one and the
//             caller is a gateway the service believes: one on loopback (the main job's simulated
//             devices) or one named in Options::gateways. From anywhere else the header is ignored.
// A body that is not a JSON object, lacks a required entry or has a value of the wrong kind gets
// 400 {"error"} (naming the entry) and changes nothing. Unknown paths get 404 {"error"}. Insert and
// update accept further text entries and store them too.
//
// Credentials: only auth carries one (the password). Insert, update and partner carry none, nor
// any token from the login, so the service cannot tell who sends them: an insert is taken for any
// caller naming an operator who logged in from anywhere, an update for any caller naming a stored
// uuid, a partner finish for any caller; the other calls and pages are open to every caller. The
// service listens on loopback only.
//
// Connections (http_server.h): one request each, answered and closed. A request's head and body
// must come within Options::requestReadSeconds of its connection (408 otherwise); a body over
// kMaxBodyBytes gets 413 as soon as its head is read. These refusals reach no call and are not logged. A
// slow client holds no worker: ordinary requests are answered meanwhile, and a client that
// half-closes after its request still gets its answer. A connection that sends nothing for 2 s
// (at most half of requestReadSeconds) is closed unanswered, and beyond 512 connections being
// read a new one takes the place of the oldest one that has not sent a whole request line,
// whatever its age, or whose request is still incomplete after those 2 s.
//
// Faults (faults.h) come before the call is handled: a refused, failed or garbage request changes
// nothing; a slow one is handled after its delay, unless the service stops first, in which case
// its connection is closed unanswered and nothing changes.
//
// requests.log in the data folder: a line per request, written when the request is done (a slow
// request's line comes after later quick ones), a JSON object of these fields in this order
// (requestLogLine; the main job writes its own record of requests to another service so too):
//   "seq"     the line's number, from 1: the order the requests ended in
//   "at"      when the request ended, UTC with milliseconds on Options::clock (utcText)
//   "method", "target" (path and query), each cut to kLoggedTextLimit bytes, "..." after a cut
//   "call"    a call name (faults.h), "udid-page", "profile-page", or "" when nothing matched
//   "status"  the HTTP status, 0 when none was sent
//   "fault"   the fault rule that took the request ("auth=500*1"), or ""
//   "failure" why no answer was sent ("closed unanswered"), or "" when one was
// The log is bounded (Options::requestLogBytes): a line that would take it over its bound first
// moves it to requests.log.1, in place of the one there.
// transactions.json: see storage.h: partner finishes, which need no login, have a bound of their
// own and never push an operator's transaction out, nor a younger session or a finished session's
// id: past their bound they are refused (503) until the oldest have been kept their time. Inserts,
// which need no credential either, are bounded the same way among the transactions.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/directory.h"
#include "tools/reference_service/faults.h"

namespace refsvc {

// The largest body a request may have: 64 KiB, some 30 times the largest the application sends
// (the update of a default run, about 2 KB).
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
// The longest method and target requests.log gives, in bytes, as the main job cuts names.
inline constexpr std::size_t kLoggedTextLimit = 200;

// What transactions.json keeps at most (storage.h).
struct StoreLimits {
    // The transactions' text in transactions.json: 4 MiB, some 1,400 transactions of a default run
    // (an insert and its update, about 3 KB there), or some 60 records of the largest body a
    // request may have.
    std::size_t maxBytes = 4 << 20;
    // The partner sessions' text, a bound of their own: 1 MiB, some 500 finishes of a default run
    // (about 2 KB there), or some 16 of the largest body.
    std::size_t maxPartnerBytes = 1 << 20;
    std::size_t maxUpdates = 16; // a transaction's latest updates; the earlier ones are dropped
    // The finished sessions' ids: 4 MiB, some 60,000 ids of 36 characters (about 70 bytes with
    // their time there), over a hundred times the records the partner's bound holds.
    std::size_t maxFinishedBytes = 4 << 20;
    // How long a partner session's record, and its id, are kept at least: no finish pushes out a
    // younger one (it is refused, 503, until one is old enough).
    std::chrono::seconds partnerKept = std::chrono::hours(1);
    std::chrono::seconds finishedKept = std::chrono::days(7);
    // How long a transaction is kept at least after it last changed: no insert or update pushes out
    // a younger one (it is refused, 503, until one is old enough), so an operator's transaction
    // takes its update within that time however many inserts came since.
    std::chrono::seconds transactionKept = std::chrono::days(1);
};

struct Options {
    int port = 0;                        // 0: a free port, chosen when the service starts
    // Where transactions.json and requests.log go (required): a folder held open (the main job's
    // service/ of its run folder: everything is made through it), or else one by its path (made
    // when missing).
    std::optional<ns::Directory> data;
    std::filesystem::path dataFolder;
    std::optional<std::string> seedJson; // the seed's text; none: the built-in seed.json
    std::vector<Fault> faults;
    double requestReadSeconds = 5; // each request's head and body must come within this
    // Besides loopback, the gateways whose X-Forwarded-For the address page believes: IPv4
    // addresses (start() fails on another text).
    std::vector<std::string> gateways;
    // What the service keeps of its requests: requests.log at most this many bytes (and as many
    // in requests.log.1, the lines before them), and the latest this many records in memory. 4 MiB,
    // as the store's transactions: some 30,000 lines of the application's requests.
    std::size_t requestLogBytes = 4 << 20;
    std::size_t keptRequests = 10'000;
    StoreLimits store;
    // The time the service stamps its records with (requests.log, transactions.json), read on the
    // service's threads; empty: the system clock. A run in virtual time hands its own.
    std::function<std::chrono::system_clock::time_point()> clock;
    // What the records give of a client's method and target, before the cut (requests.log and
    // requests()), read on the service's threads; empty: as sent. The main job hands its masker.
    std::function<std::string(std::string_view)> logMasking;
};

using Fields = std::map<std::string, std::string>;

// A line of requests.log; see the head of this file.
struct RequestRecord {
    std::int64_t seq = 0;
    std::string at, method, target, call;
    long status = 0;
    std::string fault, failure;
};

// The record as its line of requests.log, without the newline.
std::string requestLogLine(const RequestRecord& record);
// A time as requests.log and transactions.json give it: "2024-05-01T10:00:01.000Z".
std::string utcText(std::chrono::system_clock::time_point time);

struct StoredUpdate {
    std::string at;
    Fields fields;
};

struct StoredTransaction {
    std::string uuid, insertedAt;
    Fields insert;
    std::vector<StoredUpdate> updates;
};

struct PartnerFinish {
    std::string session, at;
    Fields fields;  // the text entries
    int result = 0; // the "result" number
};

class Service {
public:
    // Binds 127.0.0.1:<port>, opens the data folder (creating it) and starts serving on a thread
    // of its own. Answers null, with `error` set, when the seed is bad, the folder is unusable or
    // in use by another service, transactions.json is not a store, or the port cannot be bound.
    static std::unique_ptr<Service> start(const Options& options, std::string* error = nullptr);
    ~Service(); // stop()
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Stops serving: every connection is closed, answered or not; requests in progress are
    // waited for, but a slow fault's delay is cut short and its connection closed unanswered.
    // Returns at once whatever clients do. Harmless when called again.
    void stop();

    int port() const;
    std::string baseUrl() const;       // http://127.0.0.1:<port>; also the profile and download server
    std::string adminUrl() const;      // <base>/admin/
    std::string webServiceUrl() const; // <base>/ws
    std::string partnerUrl() const;    // <base>/partner
    const std::string& clientId() const;

    std::filesystem::path transactionsPath() const;
    std::filesystem::path requestsLogPath() const;

    // What the service has done and stored so far, as in requests.log and transactions.json: the
    // latest Options::keptRequests requests.
    std::vector<RequestRecord> requests() const;
    std::vector<StoredTransaction> transactions() const; // ordered by uuid
    std::optional<StoredTransaction> transaction(const std::string& uuid) const;
    std::vector<PartnerFinish> partnerFinishes() const; // ordered by session
    // The first write of the data folder that failed (a full disk), as "cannot write <file>:
    // <reason>"; empty while none has.
    std::string dataFailure() const;
    // Wait (real time, bounded) until at least `count` requests have come in, or are done; answer
    // whether they have.
    bool waitForArrivals(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct State;
    explicit Service(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace refsvc
