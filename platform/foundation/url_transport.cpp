#include "platform/foundation/url_transport.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <set>
#include <strings.h>
#include <thread>
#include <unordered_map>

#include <curl/curl.h>

#include "platform/foundation/spin_wait.h"

namespace ns::detail {

TransferRequest transferRequestOf(const URLRequest& request) {
    TransferRequest s;
    s.url = request.URL()->string();
    s.method = request.method();
    s.headers = request.headerFields();
    if (std::string address = URLLoading::publicAddress();
        !address.empty() && !request.valueForHTTPHeaderField("X-Forwarded-For"))
        s.headers.emplace_back("X-Forwarded-For", std::move(address));
    if (const auto& body = request.HTTPBody()) s.body.assign(body->view());
    double seconds = request.timeoutInterval();
    if (!(seconds > 0)) seconds = URLRequest::DefaultTimeoutInterval; // NaN too
    const double ms = seconds * 1000.0;
    s.idleTimeoutMs = ms >= 1 ? (ms > double(LONG_MAX) ? LONG_MAX : static_cast<long>(ms)) : 1;
    s.maximumBodyLength = request.maximumBodyLength();
    return s;
}

bool isMethodToken(std::string_view method) {
    if (method.empty()) return false;
    for (char c : method) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
        if (!ok) return false;
    }
    return true;
}

namespace {

long errorCodeFor(CURLcode rc) {
    switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
        return URLErrorTimedOut;
    case CURLE_COULDNT_CONNECT:
        return URLErrorCannotConnectToHost;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return URLErrorCannotFindHost;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return URLErrorServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
        return URLErrorSecureConnectionFailed;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return URLErrorUnsupportedURL;
    case CURLE_URL_MALFORMAT:
        return URLErrorBadURL;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return URLErrorNetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
        return URLErrorHTTPTooManyRedirects;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return URLErrorBadServerResponse;
    default:
        return URLErrorUnknown;
    }
}

// Hosts reached without a proxy: the environment's list plus loopback, which never needs one.
std::string noProxyList() {
    const char* env = std::getenv("no_proxy");
    if (!env || !*env) env = std::getenv("NO_PROXY");
    std::string list = env ? env : "";
    if (list == "*") return list;
    if (!list.empty()) list += ',';
    return list + "localhost,127.0.0.1,::1";
}

// The transfers in flight, by their time-outs, for the stepper's bounded wait.
class InFlight {
public:
    static InFlight& shared() {
        static InFlight* inFlight = new InFlight; // lives for the process
        return *inFlight;
    }
    void add(long timeoutMs) {
        std::lock_guard g(lock_);
        timeouts_.insert(timeoutMs);
    }
    void remove(long timeoutMs) {
        {
            std::lock_guard g(lock_);
            auto it = timeouts_.find(timeoutMs);
            if (it == timeouts_.end()) return;
            timeouts_.erase(it);
        }
        changed_.notify_all();
    }
    std::size_t count() const {
        std::lock_guard g(lock_);
        return timeouts_.size();
    }
    double longestTimeout() const {
        std::lock_guard g(lock_);
        return timeouts_.empty() ? 0 : double(*timeouts_.rbegin()) / 1000;
    }
    bool waitBelow(std::size_t below, double seconds) {
        std::unique_lock g(lock_);
        const auto limit = std::chrono::duration<double>(seconds > 0 ? seconds : 0);
        return changed_.wait_for(g, limit, [&] { return timeouts_.size() < below; });
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::multiset<long> timeouts_;
};

// The observers of ended transfers, and the completions they hold back.
class Exchanges {
public:
    static Exchanges& shared() {
        static Exchanges* exchanges = new Exchanges; // lives for the process
        return *exchanges;
    }
    std::uint64_t add(URLLoading::ExchangeObserver observer) {
        std::lock_guard g(lock_);
        observers_.emplace_back(++next_, std::make_shared<URLLoading::ExchangeObserver>(std::move(observer)));
        return next_;
    }
    void remove(std::uint64_t token) {
        std::lock_guard g(lock_);
        std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
    }
    // Tells the observers; true when one holds the completion back.
    bool tell(const TransferRequest& request, const TransferOutcome& outcome, double wallSeconds) {
        std::vector<std::shared_ptr<URLLoading::ExchangeObserver>> observers;
        {
            std::lock_guard g(lock_);
            if (observers_.empty()) return false;
            for (const auto& entry : observers_)
                observers.push_back(entry.second);
        }
        URLExchange exchange;
        exchange.method = request.method;
        exchange.url = request.url;
        exchange.status = outcome.status;
        exchange.errorCode = outcome.errorCode;
        exchange.detail = outcome.detail;
        exchange.bodyLength = outcome.body.size();
        exchange.wallSeconds = wallSeconds;
        exchange.bodyStart.assign(outcome.body.begin(),
                                  outcome.body.begin() +
                                      std::min(outcome.body.size(), URLExchange::kBodyStartBytes));
        bool hold = false;
        for (const auto& observer : observers)
            hold = (*observer)(exchange) || hold;
        return hold;
    }
    void hold(std::shared_ptr<TransferLink> link, TransferOutcome&& outcome) {
        std::lock_guard g(lock_);
        held_.emplace_back(std::move(link), std::move(outcome));
    }
    std::size_t held() const {
        std::lock_guard g(lock_);
        return held_.size();
    }
    void release() {
        std::vector<std::pair<std::shared_ptr<TransferLink>, TransferOutcome>> held;
        {
            std::lock_guard g(lock_);
            held.swap(held_);
        }
        for (auto& [link, outcome] : held)
            if (auto handler = link->take()) handler(std::move(outcome)); // else cancelled meanwhile
    }

private:
    mutable std::mutex lock_;
    std::uint64_t next_ = 0;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<URLLoading::ExchangeObserver>>> observers_;
    std::vector<std::pair<std::shared_ptr<TransferLink>, TransferOutcome>> held_;
};

class Transport {
    using Clock = std::chrono::steady_clock;

public:
    static Transport& shared() {
        static Transport* transport = [] {
            auto* t = new Transport; // lives for the process; stopped at exit
            std::atexit([] { Transport::shared().shutdown(); });
            return t;
        }();
        return *transport;
    }

    std::uint64_t newId() { return nextId_.fetch_add(1, std::memory_order_relaxed); }

    void start(std::uint64_t id, TransferRequest request, std::shared_ptr<TransferLink> link) {
        auto t = std::make_unique<Transfer>();
        t->id = id;
        t->request = std::move(request);
        t->link = std::move(link);
        t->caBundle = trustedCertificateBundle();
        const long timeoutMs = t->request.idleTimeoutMs;
        // Counted from here until its outcome is handed on (deliver) or it is abandoned.
        InFlight::shared().add(timeoutMs);
        if (!post(Command{std::move(t), id})) InFlight::shared().remove(timeoutMs);
    }

    void cancel(std::uint64_t id) { post(Command{nullptr, id}); }

private:
    // An easy handle and what it is set up for. A handle goes back to the pool as it is; the next
    // transfer of the same kind (method, whether a body is sent, trusted certificates) sets only
    // what is its own (URL, body, header list, connect time-out, where the callbacks write), and a
    // transfer of another kind resets the handle and sets everything.
    struct Handle {
        CURL* easy = nullptr;
        bool configured = false; // the options below and the fixed ones are set
        bool used = false;       // set up at least once: options of an earlier transfer may be left
        std::string method;
        bool sendsBody = false;
        std::shared_ptr<const std::string> caBundle; // held while the handle refers to it
        long connectTimeoutMs = -1;
        HTTPHeaderFields headers; // the fields `headerList` was made from
        curl_slist* headerList = nullptr;

        explicit Handle(CURL* e) : easy(e) {}
        ~Handle() {
            curl_easy_cleanup(easy);
            curl_slist_free_all(headerList);
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
    };

    struct Transfer {
        std::uint64_t id = 0;
        std::unique_ptr<Handle> handle;
        CURL* easy = nullptr;
        TransferRequest request;
        std::shared_ptr<const std::string> caBundle;
        std::shared_ptr<TransferLink> link;
        TransferOutcome outcome;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        // When a byte last moved, and the counts seen then.
        Clock::time_point lastActivity;
        curl_off_t seenDown = 0, seenUp = 0;
        // Set when the transport itself ends the transfer (a body past the limit).
        long failure = 0;
        std::string failureDetail;

        // When it was started, by whoever started it.
        Clock::time_point started = Clock::now();

        void active() { lastActivity = Clock::now(); }
        double wallSeconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }
        Clock::time_point idleDeadline() const {
            return lastActivity + std::chrono::milliseconds(request.idleTimeoutMs);
        }
        // Ends the transfer (the callback returns a count libcurl takes as an error).
        std::size_t tooLong(long long length) {
            failure = URLErrorDataLengthExceedsMaximum;
            failureDetail = "the response body (" +
                            (length >= 0 ? std::to_string(length) + " bytes" : std::string("more")) +
                            ") is longer than the limit of " + std::to_string(request.maximumBodyLength) +
                            " bytes";
            return 0;
        }
    };
    // Starts `transfer`, or (when null) cancels the transfer `id`.
    struct Command {
        std::unique_ptr<Transfer> transfer;
        std::uint64_t id = 0;
    };

    Transport() : noProxy_(noProxyList()) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        multi_ = curl_multi_init();
        thread_ = std::thread([this] { run(); });
    }

    // False when the process is exiting and the command is dropped.
    bool post(Command command) {
        std::lock_guard g(lock_);
        if (stopping_) return false; // the process is exiting
        commands_.push_back(std::move(command));
        pending_.store(true, std::memory_order_seq_cst);
        // A thread that is still looking (see run) finds the command without being woken. Under
        // the lock: shutdown cannot free the handle meanwhile.
        if (sleeping_.load(std::memory_order_seq_cst)) curl_multi_wakeup(multi_);
        return true;
    }

    void shutdown() {
        {
            std::lock_guard g(lock_);
            stopping_ = true;
        }
        curl_multi_wakeup(multi_);
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
            return;
        }
        if (thread_.joinable()) thread_.join();
        for (auto& [id, t] : active_) {
            curl_multi_remove_handle(multi_, t->easy);
            std::string detail = "no data moved for " + std::to_string(t->request.idleTimeoutMs) + " ms";
            fail(std::move(t), URLErrorTimedOut, std::move(detail));
        }
        active_.clear();
        pool_.clear();
        curl_multi_cleanup(multi_);
    }

    void run() {
        std::vector<Command> commands;
        auto lastWork = Clock::now();
        bool look = false;
        for (;;) {
            {
                // A command seen while looking may be a poster's still inside its few instructions
                // under the lock.
                std::unique_lock g(lock_, std::defer_lock);
                dispatch::detail::lockAfterSpin(g);
                if (stopping_) return;
                commands.swap(commands_);
                pending_.store(false, std::memory_order_relaxed);
            }
            bool worked = !commands.empty();
            for (auto& c : commands) {
                if (c.transfer)
                    begin(std::move(c.transfer));
                else
                    abandon(c.id);
            }
            commands.clear();
            int running = 0;
            curl_multi_perform(multi_, &running);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                Transfer* t = nullptr;
                curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
                CURLcode rc = msg->data.result;
                if (t) complete(t->id, rc);
                worked = true;
            }
            const int wait = expireIdle();
            if (wait == 0) continue;
            if (worked) lastWork = Clock::now();
            if (look && lookAWhile(lastWork + kLookFor)) continue;
            sleeping_.store(true, std::memory_order_seq_cst);
            if (!pending_.load(std::memory_order_seq_cst)) curl_multi_poll(multi_, nullptr, 0, wait, nullptr);
            sleeping_.store(false, std::memory_order_relaxed);
            look = Clock::now() - lastWork < kLookFor;
        }
    }

    // While requests follow one another (each one's reply, and the next command, come within
    // microseconds of the work before), sleeping and being woken costs two context switches and
    // the scheduler's delay each time. So when the last wait was that short (`look` in run), the
    // thread keeps looking, without sleeping, until `until`; true when something came. Once a wait
    // is longer, it sleeps at once again until a short one comes.
    static constexpr std::chrono::microseconds kLookFor{100};
    bool lookAWhile(Clock::time_point until) {
        while (Clock::now() < until) {
            if (pending_.load(std::memory_order_acquire)) return true;
            int ready = 0;
            if (!active_.empty() && curl_multi_poll(multi_, nullptr, 0, 0, &ready) == CURLM_OK && ready > 0)
                return true;
            for (int i = 0; i < 16; ++i)
                dispatch::detail::spinPause();
        }
        return false;
    }

    // Times out the transfers idle past their time-out; returns how long the loop may wait for
    // the next one, in milliseconds.
    int expireIdle() {
        const auto now = Clock::now();
        std::vector<std::uint64_t> expired;
        auto wait = std::chrono::milliseconds(1000);
        for (auto& [id, t] : active_) {
            const auto deadline = t->idleDeadline();
            if (deadline <= now)
                expired.push_back(id);
            else
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        }
        for (std::uint64_t id : expired) {
            auto it = active_.find(id);
            std::unique_ptr<Transfer> t = std::move(it->second);
            active_.erase(it);
            curl_multi_remove_handle(multi_, t->easy);
            std::string detail = "no data moved for " + std::to_string(t->request.idleTimeoutMs) + " ms";
            fail(std::move(t), URLErrorTimedOut, std::move(detail));
        }
        return expired.empty() ? static_cast<int>(wait.count()) : 0;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        t->active();
        const std::size_t n = size * count;
        auto& body = t->outcome.body;
        const long long limit = t->request.maximumBodyLength;
        if (limit >= 0 && body.size() + n > static_cast<unsigned long long>(limit)) return t->tooLong(-1);
        if (body.size() + n > body.capacity()) {
            // Grow by doubling, but never past the limit: memory stays within it.
            std::size_t want = std::max(body.size() + n, 2 * body.capacity());
            if (limit >= 0) want = std::min(want, static_cast<std::size_t>(limit));
            body.reserve(want);
        }
        auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
        body.insert(body.end(), bytes, bytes + n);
        return n;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
        auto* t = static_cast<Transfer*>(user);
        if (down != t->seenDown || up != t->seenUp) {
            t->seenDown = down;
            t->seenUp = up;
            t->active();
        }
        return 0;
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        t->active();
        std::string_view line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.substr(0, 5) == "HTTP/") {
            // A new response begins (after an interim one or a redirect): only the last one counts.
            t->outcome.headers.clear();
            t->outcome.version = std::string(line.substr(0, line.find(' ')));
        } else if (std::size_t colon = line.find(':'); colon != std::string_view::npos && colon > 0) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            // A declared length past the limit ends the transfer before the body is read.
            long long declared = -1;
            if (strncasecmp(line.data(), "Content-Length", colon) == 0 && colon == 14 &&
                std::from_chars(value.data(), value.data() + value.size(), declared).ec == std::errc() &&
                t->request.maximumBodyLength >= 0 && declared > t->request.maximumBodyLength)
                return t->tooLong(declared);
            t->outcome.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
        }
        return size * count;
    }

    void begin(std::unique_ptr<Transfer> t) {
        std::unique_ptr<Handle> h;
        if (!pool_.empty()) {
            h = std::move(pool_.back());
            pool_.pop_back();
        } else if (CURL* e = curl_easy_init()) {
            h = std::make_unique<Handle>(e);
        }
        if (!h) {
            fail(std::move(t), URLErrorUnknown, "no transfer handle");
            return;
        }
        if (!isMethodToken(t->request.method)) {
            pool_.push_back(std::move(h));
            fail(std::move(t), URLErrorBadURL, "the HTTP method is not a token");
            return;
        }
        t->easy = h->easy;
        t->active();
        configure(*h, *t);
        t->handle = std::move(h);

        if (curl_multi_add_handle(multi_, t->easy) != CURLM_OK) {
            fail(std::move(t), URLErrorUnknown, "the transfer could not be started");
            return;
        }
        std::uint64_t id = t->id;
        active_.emplace(id, std::move(t));
    }

    // Sets `h` up for `t`: first what the kind of transfer needs (after a reset, unless the handle is
    // set up for that kind already), then what is the transfer's own.
    void configure(Handle& h, Transfer& t) {
        CURL* e = h.easy;
        const TransferRequest& r = t.request;
        const bool bodyless = r.method == "GET" || r.method == "HEAD";
        const bool sendsBody = !bodyless && (r.method == "POST" || !r.body.empty());
        if (!h.configured || h.method != r.method || h.sendsBody != sendsBody || h.caBundle != t.caBundle) {
            // A handle set up before (even for a transfer that failed) carries every option of
            // then, the trusted certificates included: they all go.
            if (h.used) curl_easy_reset(e);
            curl_slist_free_all(std::exchange(h.headerList, nullptr));
            h.headers.clear();
            h.connectTimeoutMs = -1;
            curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(e, CURLOPT_MAXREDIRS, 16L);
            curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
            curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
            curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
            curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Transport::onProgress);
            curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy_.c_str());
            curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transport::onBody);
            curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transport::onHeader);
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
            if (t.caBundle) {
                curl_blob blob{const_cast<char*>(t.caBundle->data()), t.caBundle->size(), CURL_BLOB_NOCOPY};
                curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &blob);
            }
            if (r.method == "GET") {
                curl_easy_setopt(e, CURLOPT_HTTPGET, 1L); // a body on a GET is not sent
            } else if (r.method == "HEAD") {
                curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
            } else if (r.method != "POST") {
                curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
            }
            h.configured = true;
            h.used = true;
            h.method = r.method;
            h.sendsBody = sendsBody;
            h.caBundle = t.caBundle;
        }

        curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
        if (h.connectTimeoutMs != r.idleTimeoutMs) {
            curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, r.idleTimeoutMs);
            h.connectTimeoutMs = r.idleTimeoutMs;
        }
        if (sendsBody) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.body.data());
        }
        if (!h.headerList || h.headers != r.headers) {
            curl_slist* list = headerListOf(r.headers);
            curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);
            curl_slist_free_all(std::exchange(h.headerList, list));
            h.headers = r.headers;
        }
    }

    static curl_slist* headerListOf(const HTTPHeaderFields& headers) {
        curl_slist* list = nullptr;
        bool expect = false;
        for (auto& [name, value] : headers) {
            // A line break would start another header (or end the request): such fields are dropped.
            if (name.empty() || name.find_first_of("\r\n:") != std::string::npos ||
                value.find_first_of("\r\n") != std::string::npos)
                continue;
            std::string line = value.empty() ? name + ";" : name + ": " + value;
            list = curl_slist_append(list, line.c_str());
            if (strcasecmp(name.c_str(), "Expect") == 0) expect = true;
        }
        // The request goes out whole: no waiting for "100 Continue".
        if (!expect) list = curl_slist_append(list, "Expect:");
        return list;
    }

    // Gives the handle back for reuse, as it is set up when the transfer ended well; after a
    // failure the next transfer sets it up afresh.
    void recycle(Transfer& t, bool succeeded) {
        t.easy = nullptr;
        if (!t.handle) return;
        if (!succeeded) t.handle->configured = false;
        // The transfer's own buffer goes with it; the other pointers to it are set anew before use.
        curl_easy_setopt(t.handle->easy, CURLOPT_ERRORBUFFER, nullptr);
        if (pool_.size() < 16) pool_.push_back(std::move(t.handle));
        t.handle.reset();
    }

    void fail(std::unique_ptr<Transfer> t, long code, std::string detail) {
        recycle(*t, false);
        TransferOutcome outcome;
        outcome.errorCode = code;
        outcome.detail = std::move(detail);
        deliver(*t, std::move(outcome));
    }

    void complete(std::uint64_t id, CURLcode rc) {
        auto it = active_.find(id);
        if (it == active_.end()) return;
        std::unique_ptr<Transfer> t = std::move(it->second);
        active_.erase(it);
        curl_multi_remove_handle(multi_, t->easy);
        TransferOutcome outcome = std::move(t->outcome);
        if (rc == CURLE_OK) {
            long status = 0;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
            outcome.status = status;
            char* url = nullptr;
            curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &url);
            if (url) outcome.effectiveURL = url;
        } else {
            outcome.errorCode = t->failure ? t->failure : errorCodeFor(rc);
            outcome.detail = t->failure          ? t->failureDetail
                             : t->errorBuffer[0] ? t->errorBuffer
                                                 : curl_easy_strerror(rc);
            // A reply that is not HTTP, once connected, is the server's fault, not the URL's.
            char* ip = nullptr;
            if (rc == CURLE_UNSUPPORTED_PROTOCOL &&
                curl_easy_getinfo(t->easy, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip && *ip)
                outcome.errorCode = URLErrorBadServerResponse;
            outcome.headers.clear();
            outcome.body = {};
        }
        recycle(*t, rc == CURLE_OK);
        deliver(*t, std::move(outcome));
    }

    static void deliver(Transfer& t, TransferOutcome&& outcome) {
        if (!t.link->cancelled.load() && Exchanges::shared().tell(t.request, outcome, t.wallSeconds())) {
            // Held first, then no longer in flight: a stepper sees it as one or the other.
            Exchanges::shared().hold(t.link, std::move(outcome));
            InFlight::shared().remove(t.request.idleTimeoutMs);
            return;
        }
        if (auto handler = t.link->take()) { // else cancelled meanwhile
            try {
                handler(std::move(outcome));
            } catch (...) {
                // A handler only builds objects and queues a block; if that failed there is no one
                // to tell.
            }
        }
        InFlight::shared().remove(t.request.idleTimeoutMs); // its completion is queued
    }

    void abandon(std::uint64_t id) {
        auto it = active_.find(id);
        if (it == active_.end()) return;
        std::unique_ptr<Transfer> t = std::move(it->second);
        active_.erase(it);
        curl_multi_remove_handle(multi_, t->easy);
        recycle(*t, false);
        TransferOutcome cancelled;
        cancelled.errorCode = URLErrorCancelled;
        Exchanges::shared().tell(t->request, cancelled, t->wallSeconds());
        InFlight::shared().remove(t->request.idleTimeoutMs);
    }

    std::mutex lock_;
    std::vector<Command> commands_;
    bool stopping_ = false;
    std::atomic<bool> pending_{false};  // commands_ is not empty
    std::atomic<bool> sleeping_{false}; // the thread is (about to be) asleep in curl_multi_poll
    const std::string noProxy_;
    std::atomic<std::uint64_t> nextId_{1};
    CURLM* multi_ = nullptr;
    std::thread thread_;
    // Owned by the network thread.
    std::unordered_map<std::uint64_t, std::unique_ptr<Transfer>> active_;
    std::vector<std::unique_ptr<Handle>> pool_;
};

} // namespace

std::uint64_t newTransferId() {
    return Transport::shared().newId();
}

void startTransfer(std::uint64_t id, TransferRequest request, std::shared_ptr<TransferLink> link) {
    Transport::shared().start(id, std::move(request), std::move(link));
}

void cancelTransfer(std::uint64_t id) {
    Transport::shared().cancel(id);
}

} // namespace ns::detail

namespace ns {

std::size_t URLLoading::transfersInFlight() {
    return detail::InFlight::shared().count();
}

double URLLoading::longestTimeoutInFlight() {
    return detail::InFlight::shared().longestTimeout();
}

bool URLLoading::waitForTransfersInFlightBelow(std::size_t below, double seconds) {
    return detail::InFlight::shared().waitBelow(below, seconds);
}

std::uint64_t URLLoading::addExchangeObserver(ExchangeObserver observer) {
    return detail::Exchanges::shared().add(std::move(observer));
}

void URLLoading::removeExchangeObserver(std::uint64_t token) {
    detail::Exchanges::shared().remove(token);
}

std::size_t URLLoading::heldTransfers() {
    return detail::Exchanges::shared().held();
}

void URLLoading::releaseHeldTransfers() {
    detail::Exchanges::shared().release();
}

} // namespace ns

namespace ns::detail {

// ---- Results as objects ----------------------------------------------------------------

TransferResult resultOf(TransferOutcome&& o, const rt::Ref<URL>& requestURL) {
    TransferResult r;
    if (o.errorCode != 0) {
        r.error = URLLoading::errorWithCode(o.errorCode, requestURL, o.detail);
        return r;
    }
    // The request's URL when the transfer ended there (URLs are immutable and equal by their text).
    rt::Ref<URL> url = o.effectiveURL.empty() || (requestURL && requestURL->string() == o.effectiveURL)
                           ? nullptr
                           : URL::URLWithString(o.effectiveURL);
    if (!url) url = requestURL;
    r.response = HTTPURLResponse::make(url, o.status, o.version, std::move(o.headers));
    r.data = Data::make(std::move(o.body));
    return r;
}

const rt::Ref<OperationQueue>& defaultDelegateQueue() {
    static const rt::Ref<OperationQueue>* queue = [] {
        rt::PermanentScope permanent;
        auto* q = new rt::Ref<OperationQueue>(OperationQueue::make());
        (*q)->setName("NSURLSession delegate queue");
        (*q)->setMaxConcurrentOperationCount(1);
        rt::makeImmortal(**q);
        return q;
    }();
    return *queue;
}

} // namespace ns::detail
