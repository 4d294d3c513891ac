#pragma once
// A loopback HTTP(S) server for tests, on a free port and its own thread until it goes. Routes:
// GET/POST /echo (method, X-Test and Content-Type echoed in reply headers, POST bodies echoed),
// GET /status/<n>, GET /empty (200, no body), GET /redirect (to /empty), and GET /block, whose
// handler waits at the gate until the test opens it. A test scripts more with
// `script(method, path, reply)` (before its requests are sent); every request is recorded.
//
// A state that lasts while a request is in flight (a spinner, a pending flag, a second tap
// refused) is asserted only while the reply is held at the gate: a reply let go at once may be
// read before the test looks, however fast the test is. Hold it (`.atGate = true`), assert, then
// `release()` and step the main loop. A test that needs the request at the server first waits
// for it (`waitEntered`), not for a time.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "tests/testkit/latch.h"

namespace testkit {

using namespace std::chrono_literals;

// Where a handler waits until the test opens it. The wait has no deadline, so what a test asserts
// meanwhile holds however slow the machine is: the server's stop (at the latest its destructor)
// opens the gate. The test's own waits are bounded, only so that a request that never comes fails
// the test rather than hanging it.
struct Gate {
    static constexpr std::chrono::duration<double> kFailAfter{kEventWaitSeconds};

    std::mutex lock;
    std::condition_variable cv;
    bool open = false;
    int entered = 0, left = 0;

    void pass() {
        std::unique_lock g(lock);
        ++entered;
        cv.notify_all();
        cv.wait(g, [&] { return open; });
        ++left;
        cv.notify_all();
    }
    // Waits until `n` requests in all have reached the gate.
    bool waitEntered(int n) {
        std::unique_lock g(lock);
        return cv.wait_for(g, kFailAfter, [&] { return entered >= n; });
    }
    // Opens the gate for good and waits until every handler held has gone through it.
    bool release() {
        std::unique_lock g(lock);
        open = true;
        cv.notify_all();
        return cv.wait_for(g, kFailAfter, [&] { return left == entered; });
    }
};

// A request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target; // path and query as sent ("/x?a=1&b=x%20y")
    std::string contentType;
    std::string body;
};

// A scripted reply: the status, body and content type, after the reply is held back `delay`
// (real time, on the server's thread) or, with `atGate`, until the gate opens.
struct ScriptedReply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};
    bool atGate = false;
};

// A loopback server on a free port, served on its own thread until the test ends.
class LoopbackServer {
public:
    explicit LoopbackServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : server_(std::move(server)) {
        server_->set_tcp_nodelay(true); // the head and body go out apart: no delayed-ACK wait between
        // One handler for every request, so that each is recorded with its body (read before
        // handlers run, not before pre-routing) and a script takes precedence over the built-in
        // routes.
        auto dispatch = [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); };
        server_->Get(".*", dispatch);
        server_->Post(".*", dispatch);
        server_->Put(".*", dispatch);
        server_->Patch(".*", dispatch);
        server_->Delete(".*", dispatch);
        // Kept-alive connections stay open a while, as a real server keeps them: one closed at once
        // races the client reusing it. A stopping server waits that long for them to go idle.
        server_->set_keep_alive_timeout(1);
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!server_->is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    ~LoopbackServer() { stop(); }
    // Stops serving and joins every thread of the server; once only, and at the latest on
    // destruction. A test stops it early where what it tears down must come after the server's
    // last read.
    void stop() {
        if (!thread_.joinable()) return;
        gate.release();
        server_->stop();
        thread_.join();
    }
    std::string url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }

    // Replies to `method` `path` (no query) with `reply` from now on; a later script replaces it.
    void script(std::string method, std::string path, ScriptedReply reply) {
        std::lock_guard g(recordLock_);
        std::erase_if(scripts_, [&](const auto& s) { return s.first == std::pair(method, path); });
        scripts_.emplace_back(std::pair(std::move(method), std::move(path)), std::move(reply));
    }
    // Every request received so far, in order.
    std::vector<RecordedRequest> requests() const {
        std::lock_guard g(recordLock_);
        return requests_;
    }

    Gate gate;

private:
    void handle(const httplib::Request& req, httplib::Response& res) {
        std::optional<ScriptedReply> scripted;
        {
            std::lock_guard g(recordLock_);
            requests_.push_back({req.method, req.target, req.get_header_value("Content-Type"), req.body});
            auto it = std::find_if(scripts_.begin(), scripts_.end(), [&](const auto& s) {
                return s.first.first == req.method && s.first.second == req.path;
            });
            if (it != scripts_.end()) scripted = it->second;
        }
        if (scripted) {
            if (scripted->atGate) gate.pass();
            if (scripted->delay.count() > 0) std::this_thread::sleep_for(scripted->delay);
            res.status = scripted->status;
            if (!scripted->body.empty()) res.set_content(scripted->body, scripted->contentType);
            return;
        }
        builtIn(req, res);
    }

    void builtIn(const httplib::Request& req, httplib::Response& res) {
        const bool get = req.method == "GET";
        const std::string_view path = req.path;
        const bool statusPath = path.size() > 8 && path.starts_with("/status/") &&
                                path.substr(8).find_first_not_of("0123456789") == std::string_view::npos;
        if (req.path == "/echo" && (get || req.method == "POST")) {
            echo(req, res);
        } else if (get && statusPath) {
            res.status = std::stoi(std::string(path.substr(8)));
            res.set_content("status body", "text/plain");
        } else if (get && req.path == "/empty") {
            res.status = 200;
        } else if (get && req.path == "/redirect") {
            res.set_redirect("/empty");
        } else if (get && req.path == "/block") {
            gate.pass();
            res.set_content("late", "text/plain");
        } else {
            res.status = 404;
        }
    }

    // Method, the X-Test header and the content type in reply headers; the body echoed back.
    static void echo(const httplib::Request& req, httplib::Response& res) {
        res.set_header("X-Method", req.method);
        res.set_header("X-Echo-Test", req.get_header_value("X-Test"));
        res.set_header("X-Echo-Type", req.get_header_value("Content-Type"));
        res.set_content(req.method == "POST" ? req.body : std::string("hello"),
                        "application/json; charset=utf-8");
    }

    std::unique_ptr<httplib::Server> server_;
    mutable std::mutex recordLock_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::pair<std::pair<std::string, std::string>, ScriptedReply>> scripts_;
    int port_ = 0;
    std::thread thread_;
};

// An address on the loopback interface where connections are refused, for as long as it lives: a
// socket bound to a free port that never listens. Unlike the port of a server that has gone, no
// other test's server can take it meanwhile.
class RefusedAddress {
public:
    RefusedAddress() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ >= 0 && ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    RefusedAddress(const RefusedAddress&) = delete;
    RefusedAddress& operator=(const RefusedAddress&) = delete;
    ~RefusedAddress() {
        if (socket_ >= 0) ::close(socket_);
    }
    // "http://127.0.0.1:<port><path>"; port 0, refused as well, if no port could be had.
    std::string url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    int socket_;
    int port_ = 0;
};

} // namespace testkit
