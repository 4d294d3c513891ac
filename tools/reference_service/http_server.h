#pragma once
// The reference service's HTTP/1.1 server on 127.0.0.1: one request per connection, answered and
// closed ("Connection: close").
//
// One thread reads every connection's request (head and body) without blocking, so a slow client
// holds no worker; a request is handed to the workers only once it is whole. Each request must be
// whole within the read deadline, counted from its connection's acceptance (not per byte): a
// late one gets 408 and is closed. A connection that sends nothing within the idle time-out is
// closed unanswered, and at the cap of connections being read a new one takes the place of the
// oldest that has not sent a whole request line (whatever its age) or whose request is still
// incomplete after the idle time-out, so a flood of idle or trickling connections leaves room for
// requests at once. A connection is read as soon as it is accepted. A head over 64 KiB
// gets 431, a body over the limit 413 as soon as its head is read, a body without a length 411, a
// malformed head 400; none of these reaches a route. A client that half-closes after its request
// still gets its answer. Stopping closes every connection, answered or not, and waits only for
// the handlers running (which should watch for the stop themselves when they may wait).

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace refsvc {

struct HttpRequest {
    std::string method;
    std::string target; // as sent: path and query
    std::string path;   // the target before "?", percent-decoded
    std::string body;
    std::string remoteAddress;
    // The caller's address as the gateway in front of it names it: the last entry of the last
    // X-Forwarded-For header (the one the gateway added; the caller may write any before it) when
    // that is an IPv4 or IPv6 address and the connection comes from a gateway the server believes
    // (loopback, or one named to believeGateways), else empty.
    std::string forwardedFor;
    std::vector<std::string> matches; // the whole path, then the text of each "{}" of the route
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::string type = "application/json";
    bool closeUnanswered = false; // shut the connection down and write nothing
    std::chrono::seconds retryAfter{0}; // above 0: sent as Retry-After
};

struct HttpLimits {
    std::chrono::milliseconds readDeadline{5000};
    std::chrono::milliseconds idleTimeout{2000}; // at most half the read deadline
    std::size_t maxBody = 1 << 20;
    std::size_t workers = 8;
    // Connections being read at once. Beyond it a new connection replaces the oldest one that has not
    // sent a whole request line or is past its idle time-out; with none such it waits in the listen
    // queue.
    std::size_t maxConnections = 512;
};

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit HttpServer(HttpLimits limits = {});
    ~HttpServer(); // stop()
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Routes are tried in the order they were added; an empty method matches every method. The
    // pattern is the whole path, where "{}" stands for one segment's text (one character or more,
    // no "/"), or "*" for every path. Add them before start().
    void route(std::string method, std::string pattern, Handler handler);

    // Besides loopback, the callers whose X-Forwarded-For is believed: IPv4 addresses, as the
    // server listens on IPv4. False, and nothing changes, when one is not such an address. Call it
    // before start().
    bool believeGateways(const std::vector<std::string>& addresses);

    // Binds 127.0.0.1:`port` (0: a free one) and listens; the bound port, or -1 when the port
    // cannot be bound. Connections wait for start().
    int bind(int port);
    // Serves on threads of its own.
    void start();
    // Closes the listener and every connection; returns once the threads have ended. Harmless
    // when called again.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace refsvc
