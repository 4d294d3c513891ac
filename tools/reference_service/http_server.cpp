#include "tools/reference_service/http_server.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace refsvc {

// The server's own types; named, not anonymous, because HttpServer::State holds them.
namespace http_server_detail {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHead = 64 * 1024;
// How long a refused connection is read on (and what comes discarded) after its answer, so that
// closing it does not reset the connection before the client has read the answer.
constexpr auto kDrainTime = std::chrono::milliseconds(500);
// How long the listener rests when the process has no descriptor left for a new connection.
constexpr auto kRestWhenOutOfDescriptors = std::chrono::milliseconds(50);

const char* reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string response(int status, std::string_view type, std::string_view body,
                     std::chrono::seconds retryAfter = std::chrono::seconds(0)) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\nContent-Type: ";
    out.append(type);
    if (retryAfter.count() > 0) out += "\r\nRetry-After: " + std::to_string(retryAfter.count());
    out += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    out.append(body);
    return out;
}

std::string errorResponse(int status, std::string_view message) {
    return response(status, "application/json", "{\"error\":\"" + std::string(message) + "\"}");
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr == text.data() + i + 3) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// What the server needs of a request's head.
struct Head {
    std::string method, target;
    std::size_t length = 0;
    bool chunked = false;
    bool expectContinue = false;
    std::string forwardedFor;
};

// The last entry of an X-Forwarded-For list when it is an address; else empty, so that nothing
// else from the header goes on. Each gateway adds the address it was called from at the end, so the
// last entry is the one the gateway the server believes wrote: the entries before it are the
// caller's own words.
std::string forwardedAddress(std::string_view list) {
    const std::size_t comma = list.rfind(',');
    const std::string last(trimmed(comma == list.npos ? list : list.substr(comma + 1)));
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, last.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, last.c_str(), buffer) == 1
               ? last
               : std::string();
}

// The request line ("METHOD /target HTTP/1.x") and the headers; nullopt when malformed.
std::optional<Head> parseHead(std::string_view text) {
    Head head;
    std::size_t end = text.find("\r\n");
    const std::string_view line = text.substr(0, end);
    const std::size_t first = line.find(' '), second = line.find(' ', first == line.npos ? first : first + 1);
    if (first == 0 || second == line.npos) return std::nullopt;
    head.method = line.substr(0, first);
    head.target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (head.target.empty() || head.target[0] != '/' || (version != "HTTP/1.1" && version != "HTTP/1.0"))
        return std::nullopt;
    std::optional<std::size_t> length;
    while (end != text.npos) {
        const std::size_t start = end + 2;
        end = text.find("\r\n", start);
        const std::string_view header = text.substr(start, end == text.npos ? text.npos : end - start);
        const std::size_t colon = header.find(':');
        if (colon == header.npos || colon == 0) return std::nullopt;
        const std::string_view name = header.substr(0, colon), value = trimmed(header.substr(colon + 1));
        if (equalsIgnoringCase(name, "Content-Length")) {
            std::size_t n = 0;
            if (std::from_chars(value.data(), value.data() + value.size(), n).ptr !=
                    value.data() + value.size() ||
                value.empty() || (length && *length != n))
                return std::nullopt;
            length = n;
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            head.chunked = !equalsIgnoringCase(value, "identity");
        } else if (equalsIgnoringCase(name, "Expect")) {
            head.expectContinue = equalsIgnoringCase(value, "100-continue");
        } else if (equalsIgnoringCase(name, "X-Forwarded-For")) { // the last header: the gateway's
            head.forwardedFor = forwardedAddress(value);
        }
    }
    head.length = length.value_or(0);
    return head;
}

// A connection whose request is being read, or, once refused, drained before it is closed.
struct Connection {
    int fd = -1;
    std::string remoteAddress;
    bool believed = false; // its X-Forwarded-For is (it comes from loopback or a named gateway)
    Clock::time_point deadline;
    // Closed unanswered then when nothing has come; at the cap, from then on its place may go to a
    // new connection even when its request line has come.
    Clock::time_point idleDeadline;
    std::string in;
    std::size_t searched = 0; // bytes of `in` known to hold no end of the head
    bool requestLine = false; // a whole request line has come
    std::optional<Head> head;
    std::size_t bodyStart = 0;
    bool draining = false;

    bool idle() const { return !draining && in.empty(); }
    // Whether a new connection may take its place: it has not sent a whole request line, however
    // young, or its request is still incomplete after the idle time-out.
    bool replaceable(Clock::time_point now) const { return !draining && (!requestLine || now >= idleDeadline); }
};

struct Route {
    std::string method;
    std::string pattern;
    HttpServer::Handler handler;
};

// Whether `path` matches `pattern` (see route()); each "{}"'s text goes to `groups`.
bool matches(std::string_view pattern, std::string_view path, std::vector<std::string>& groups) {
    if (pattern == "*") return true;
    for (;;) {
        const std::size_t hole = pattern.find("{}");
        const std::string_view literal = pattern.substr(0, hole);
        if (!path.starts_with(literal)) return false;
        path.remove_prefix(literal.size());
        if (hole == std::string_view::npos) return path.empty();
        pattern.remove_prefix(hole + 2);
        const std::size_t segment = std::min(path.find('/'), path.size());
        if (segment == 0) return false;
        groups.emplace_back(path.substr(0, segment));
        path.remove_prefix(segment);
    }
}

struct Job {
    int fd = -1;
    HttpRequest request;
};

} // namespace http_server_detail
using namespace http_server_detail;

struct HttpServer::State {
    HttpLimits limits;
    std::vector<Route> routes;
    std::set<in_addr_t> gateways; // in network order
    int listener = -1;
    std::array<int, 2> wake{-1, -1}; // a pipe: stop() wakes the reader
    std::thread reader;
    std::vector<std::thread> workers;
    std::once_flag stopOnce;

    std::mutex lock; // guards what follows
    std::condition_variable ready;
    std::deque<Job> queue;
    std::set<int> serving; // connections the workers hold
    bool stopping = false;

    void read();
    void work();
    // Reads what the connection has; hands a whole request to the workers, refuses a bad one,
    // or leaves it to wait for more.
    void take(Connection& c);
    void refuse(Connection& c, int status, std::string_view message);
    HttpReply dispatch(HttpRequest& request) const;
};

namespace {

void closeConnection(Connection& c) {
    ::close(c.fd);
    c.fd = -1;
}

} // namespace

HttpServer::HttpServer(HttpLimits limits) : state_(std::make_unique<State>()) {
    state_->limits = limits;
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::route(std::string method, std::string pattern, Handler handler) {
    state_->routes.push_back({std::move(method), std::move(pattern), std::move(handler)});
}

bool HttpServer::believeGateways(const std::vector<std::string>& addresses) {
    std::set<in_addr_t> read;
    for (const std::string& text : addresses) {
        in_addr address{};
        if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
        read.insert(address.s_addr);
    }
    state_->gateways.merge(read);
    return true;
}

int HttpServer::bind(int port) {
    State& s = *state_;
    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s.listener < 0) return -1;
    // Only SO_REUSEADDR (a restart may take its port back at once); SO_REUSEPORT would let a second
    // service start on a busy port and share its requests.
    int yes = 1;
    ::setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (port < 0 || port > 65535 ||
        ::bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s.listener, SOMAXCONN) != 0 ||
        ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::pipe2(s.wake.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(s.listener);
        s.listener = -1;
        return -1;
    }
    return ntohs(address.sin_port);
}

void HttpServer::start() {
    State& s = *state_;
    if (s.listener < 0 || s.reader.joinable()) return;
    s.reader = std::thread([&s] { s.read(); });
    for (std::size_t i = 0; i < s.limits.workers; ++i)
        s.workers.emplace_back([&s] { s.work(); });
}

void HttpServer::stop() {
    State& s = *state_;
    std::call_once(s.stopOnce, [&s] {
        {
            std::lock_guard guard(s.lock);
            s.stopping = true;
            for (int fd : s.serving)
                ::shutdown(fd, SHUT_RDWR); // a worker writing to it stops at once; it closes it
            for (Job& job : s.queue)
                ::close(job.fd);
            s.queue.clear();
        }
        s.ready.notify_all();
        if (s.wake[1] >= 0 && ::write(s.wake[1], "x", 1) < 0) {
            // Cannot happen on an empty pipe; the reader would still stop at its next deadline.
        }
        if (s.reader.joinable()) s.reader.join();
        for (std::thread& worker : s.workers)
            worker.join();
        for (int fd : {s.listener, s.wake[0], s.wake[1]})
            if (fd >= 0) ::close(fd);
    });
}

void HttpServer::State::read() {
    std::vector<Connection> open;
    std::vector<pollfd> polled;
    // When accept ran out of descriptors with no idle connection to drop, the listener rests until
    // a connection closes or the pause ends.
    Clock::time_point restUntil{};
    std::size_t openAtRest = 0;
    for (;;) {
        {
            std::lock_guard guard(lock);
            if (stopping) break;
        }
        const Clock::time_point now = Clock::now();
        for (Connection& c : open) {
            if (c.idle() && now >= c.idleDeadline)
                closeConnection(c);
            else if (now < c.deadline)
                continue;
            else if (c.draining)
                closeConnection(c);
            else
                refuse(c, 408, "the request did not come in time");
        }
        std::erase_if(open, [](const Connection& c) { return c.fd < 0; });

        // At the cap, a new connection takes the place of the oldest replaceable one (one that has
        // not sent a whole request line is, whatever its age); with none it waits in the listen queue.
        const auto oldestReplaceable = [&] {
            return std::find_if(open.begin(), open.end(),
                                [&](const Connection& c) { return c.replaceable(now); });
        };
        const auto replacedAtCap = [&] {
            return open.size() < limits.maxConnections ? open.end() : oldestReplaceable();
        };
        const bool resting = now < restUntil && open.size() >= openAtRest;
        const bool listening =
            !resting && (open.size() < limits.maxConnections || replacedAtCap() != open.end());
        polled.assign({{wake[0], POLLIN, 0}, {listening ? listener : -1, POLLIN, 0}});
        Clock::time_point next = Clock::time_point::max();
        for (const Connection& c : open) {
            polled.push_back({c.fd, POLLIN, 0});
            // Past its idle deadline (which comes first) an idle one is closed; another is replaceable.
            next = std::min(next, c.draining || now >= c.idleDeadline ? c.deadline : c.idleDeadline);
        }
        if (resting) next = std::min(next, restUntil);
        const int timeout =
            next == Clock::time_point::max()
                ? -1
                : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
        if (::poll(polled.data(), polled.size(), timeout) < 0) continue;
        if (polled[0].revents) continue; // stop() wrote to the pipe
        for (std::size_t i = 0; i < open.size(); ++i)
            if (polled[i + 2].revents) take(open[i]);
        std::erase_if(open, [](const Connection& c) { return c.fd < 0; });
        if (!listening || !polled[1].revents) continue;
        for (;;) {
            const auto replaced = replacedAtCap();
            if (open.size() >= limits.maxConnections && replaced == open.end()) break;
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const int fd =
                ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
                // Out of descriptors: the oldest replaceable connection makes room, as at the cap.
                // With none the listener, readable as long as the client waits, is left out of the
                // next polls until a connection closes or a short pause ends, not polled in a busy loop.
                const auto freed = oldestReplaceable();
                if (freed == open.end()) {
                    restUntil = Clock::now() + kRestWhenOutOfDescriptors;
                    openAtRest = open.size();
                    break;
                }
                closeConnection(*freed);
                open.erase(freed);
                continue;
            }
            if (fd < 0) break;
            if (replaced != open.end()) {
                closeConnection(*replaced);
                open.erase(replaced);
            }
            // Answers go out whole at once: no wait for the client's delayed acknowledgement.
            int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            std::array<char, INET_ADDRSTRLEN> text{};
            ::inet_ntop(AF_INET, &peer.sin_addr, text.data(), text.size());
            Connection& c = open.emplace_back();
            c.fd = fd;
            c.remoteAddress = text.data();
            c.believed = ntohl(peer.sin_addr.s_addr) >> 24 == IN_LOOPBACKNET || gateways.contains(peer.sin_addr.s_addr);
            c.deadline = Clock::now() + limits.readDeadline;
            c.idleDeadline = Clock::now() + std::min(limits.idleTimeout, limits.readDeadline / 2);
            // What waited in the listen queue is read now, so that a whole request goes to the
            // workers before a later connection at the cap could take its place.
            take(c);
            if (c.fd < 0) open.pop_back();
        }
    }
    for (Connection& c : open)
        closeConnection(c);
}

void HttpServer::State::take(Connection& c) {
    std::array<char, 16 * 1024> buffer;
    bool ended = false; // the client sent all it will (or the connection failed)
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            if (!c.draining) c.in.append(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (c.draining) {
        if (ended) closeConnection(c);
        return;
    }
    if (!c.head) {
        c.requestLine = c.requestLine || c.in.find("\r\n", c.searched) != std::string::npos;
        const std::size_t end = c.in.find("\r\n\r\n", c.searched);
        c.searched = c.in.size() < 3 ? 0 : c.in.size() - 3;
        if (end == std::string::npos || end > kMaxHead) {
            if (c.in.size() > kMaxHead)
                refuse(c, 431, "the request head is too large");
            else if (ended)
                closeConnection(c);
            return;
        }
        c.head = parseHead(std::string_view(c.in).substr(0, end));
        if (!c.head) return refuse(c, 400, "malformed request");
        if (c.head->chunked) return refuse(c, 411, "a body needs a Content-Length");
        if (c.head->length > limits.maxBody) return refuse(c, 413, "the body is too large");
        c.bodyStart = end + 4;
        if (c.head->expectContinue && c.in.size() - c.bodyStart < c.head->length)
            ::send(c.fd, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
    }
    if (c.in.size() - c.bodyStart < c.head->length) {
        if (ended) closeConnection(c);
        return;
    }
    // Whole: a half-closed client still gets its answer.
    HttpRequest request{
        .method = std::move(c.head->method),
        .target = c.head->target,
        .path = percentDecoded(std::string_view(c.head->target).substr(0, c.head->target.find('?'))),
        .body = c.in.substr(c.bodyStart, c.head->length),
        .remoteAddress = std::move(c.remoteAddress),
        .forwardedFor = c.believed ? c.head->forwardedFor : std::string(),
        .matches = {}};
    {
        std::lock_guard guard(lock);
        if (stopping) return; // closed with the connections still being read
        queue.push_back({c.fd, std::move(request)});
    }
    ready.notify_one();
    c.fd = -1; // the workers' now
}

void HttpServer::State::refuse(Connection& c, int status, std::string_view message) {
    const std::string answer = errorResponse(status, message);
    ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(c.fd, SHUT_WR);
    c.draining = true;
    c.in.clear();
    c.deadline = Clock::now() + kDrainTime;
}

void HttpServer::State::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock);
            ready.wait(guard, [&] { return stopping || !queue.empty(); });
            if (stopping) return;
            job = std::move(queue.front());
            queue.pop_front();
            serving.insert(job.fd);
        }
        const HttpReply reply = dispatch(job.request);
        if (!reply.closeUnanswered) {
            // The answer is written blocking, for at most the read deadline.
            ::fcntl(job.fd, F_SETFL, ::fcntl(job.fd, F_GETFL) & ~O_NONBLOCK);
            const auto seconds = std::chrono::duration_cast<std::chrono::microseconds>(limits.readDeadline);
            timeval limit{.tv_sec = static_cast<time_t>(seconds.count() / 1000000),
                          .tv_usec = static_cast<suseconds_t>(seconds.count() % 1000000)};
            ::setsockopt(job.fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            const std::string answer = response(reply.status, reply.type, reply.body, reply.retryAfter);
            for (std::size_t sent = 0; sent < answer.size();) {
                const ssize_t n = ::send(job.fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
        }
        ::shutdown(job.fd, reply.closeUnanswered ? SHUT_RDWR : SHUT_WR);
        {
            std::lock_guard guard(lock);
            serving.erase(job.fd);
        }
        ::close(job.fd);
    }
}

HttpReply HttpServer::State::dispatch(HttpRequest& request) const {
    for (const Route& route : routes) {
        request.matches.assign({request.path});
        if ((route.method.empty() || route.method == request.method) &&
            matches(route.pattern, request.path, request.matches))
            return route.handler(request);
    }
    return {404, "{\"error\":\"no such resource\"}"};
}

} // namespace refsvc
