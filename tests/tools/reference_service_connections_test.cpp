// The reference service's connections under clients that are slow, half-closed or malformed, on
// loopback; every real-time wait is bounded by a second or two.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "tests/tools/service_fixture.h"

namespace refsvc_test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string statusLine(const std::optional<std::string>& answer) {
    return answer ? answer->substr(0, answer->find("\r\n")) : "<still open>";
}

// 16 clients that send part of a request and then nothing hold no worker: 8 ordinary requests at
// once are all answered, and stopping with the slow clients connected returns and closes them. The
// slow ones would hold their connections for ten minutes: what waited for them would not end.
TEST_F(ServiceTest, SlowClientsStallNeitherOrdinaryRequestsNorStop) {
    refsvc::Options options;
    options.requestReadSeconds = 600;
    startWith(options);
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 16; ++i) {
        slow.push_back(std::make_unique<RawClient>(service_->port()));
        // Half of them stop in the head, half in the body.
        ASSERT_TRUE(
            slow.back()->send(i % 2 ? "POST /ws/insert/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Le"
                                    : "POST /ws/insert/ HTTP/1.1\r\nContent-Length: 100\r\n\r\n{\"uuid\""));
    }
    std::vector<std::future<Reply>> ordinary;
    for (int i = 0; i < 8; ++i)
        ordinary.push_back(std::async(std::launch::async,
                                      [this] { return toReply(client(60).Get("/tools/AppleModel.json")); }));
    for (auto& reply : ordinary)
        EXPECT_EQ(reply.get().status, 200);
    for (auto& client : slow)
        EXPECT_FALSE(client->readable(0)) << "still held";

    auto stopping = std::async(std::launch::async, [this] { service_->stop(); });
    ASSERT_EQ(stopping.wait_for(60s), std::future_status::ready) << "the stop waited for the slow clients";
    for (auto& client : slow)
        EXPECT_EQ(client->readToEnd(1), "") << "closed, unanswered";
    EXPECT_EQ(service_->requests().size(), 8u);
}

// The read deadline covers the whole request, not each byte: a client that trickles a byte every
// 50 ms or more (56 bytes: 2.8 s at least) is answered 408 before its request is whole. A
// connection that sends nothing is closed unanswered within half the deadline: one opened 0.25 s
// after the trickle's is gone by then. Each deadline is 0.75 s or more from the other, so a busy
// machine's late wake-up does not change which comes first.
TEST_F(ServiceTest, ARequestThatTricklesInIsCutOffAtItsDeadlineAndAnIdleConnectionSooner) {
    refsvc::Options options;
    options.requestReadSeconds = 2;
    startWith(options);
    RawClient trickle(service_->port());
    const std::string request = "GET /tools/AppleModel.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::optional<RawClient> idle;
    std::size_t sent = 0;
    for (; sent + 1 < request.size() && !trickle.readable(0.05); ++sent) {
        ASSERT_TRUE(trickle.send(request.substr(sent, 1)));
        if (sent == 5) idle.emplace(service_->port());
    }
    EXPECT_EQ(statusLine(trickle.readToEnd(1)), "HTTP/1.1 408 Request Timeout");
    EXPECT_LT(sent + 1, request.size()) << "answered only once the request was all but whole";
    ASSERT_TRUE(idle);
    EXPECT_TRUE(idle->readable(0)) << "closed before the trickle's deadline";
    EXPECT_EQ(idle->readToEnd(1), "") << "unanswered";
    EXPECT_EQ(get("/tools/AppleModel.json").status, 200) << "an ordinary request in time";
    EXPECT_EQ(service_->requests().size(), 1u) << "the late one reached no call";
}

// Connections that sent nothing or less than a request line, however young, or a request line and
// nothing more past the idle time-out (half the read deadline), more than the service reads at once
// or holding every file descriptor, leave room: the oldest is dropped unanswered to let an ordinary
// request in at once, not after the idle time-out or the read deadline (the client waits less than
// either, and the newest is still open).
TEST_F(ServiceTest, IdleConnectionsLeaveRoomForAnOrdinaryRequest) {
    struct Descriptors { // the limit and the descriptors taken, given back at the end
        rlimit limit{};
        std::vector<int> fillers;
        Descriptors() { ::getrlimit(RLIMIT_NOFILE, &limit); }
        ~Descriptors() {
            ::setrlimit(RLIMIT_NOFILE, &limit);
            for (int fd : fillers)
                ::close(fd);
        }
    };
    const struct {
        const char* name;
        int clients;
        const char* sent;      // by each of them
        double readSeconds;    // the service's read deadline
        bool outOfDescriptors; // otherwise more clients than the service reads at once
        bool waitsOutIdleTime; // the request comes once the clients' idle time-out is past
    } rows[] = {
        {"no descriptor left", 8, "", 5, true, false},
        {"600 idle ones", 600, "", 5, false, false},
        {"600 one-byte ones, younger than the idle time-out", 600, "G", 10, false, false},
        {"600 request lines, past the idle time-out", 600, "GET / HTTP/1.1\r\n", 3, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Descriptors taken;
        rlimit files = taken.limit;
        // 600 clients here and up to 512 of the service's ends, in this one process.
        files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
        if (!row.outOfDescriptors && (::setrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < 1500))
            GTEST_SKIP() << "too few file descriptors: " << files.rlim_cur;
        refsvc::Options options;
        options.requestReadSeconds = row.readSeconds;
        startWith(options);
        std::vector<std::unique_ptr<RawClient>> held;
        const auto opened = Clock::now();
        for (int i = 0; i < row.clients; ++i) {
            held.push_back(std::make_unique<RawClient>(service_->port()));
            ASSERT_TRUE(held.back()->connected() && held.back()->send(row.sent));
        }
        // A connection that sent a request line gives its place once idle for half the read deadline:
        // the oldest is, well before its deadline however long the others took to open.
        if (row.waitsOutIdleTime)
            std::this_thread::sleep_until(opened + std::chrono::duration<double>(row.readSeconds / 2 + 0.1));
        if (row.outOfDescriptors) {
            ASSERT_EQ(get("/cgi-bin/check_ip.cgi").status, 200) << "the idle ones, accepted before it";
            // Every descriptor number below the limit taken but the last, which the client's end takes.
            int highest = 0, last = -1;
            for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
                highest = std::max(highest, std::stoi(entry.path().filename().string()));
            while ((last = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0 && last <= highest)
                taken.fillers.push_back(last);
            ASSERT_GT(last, highest);
            ::close(last);
            files.rlim_cur = static_cast<rlim_t>(last) + 1;
            ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
        }
        EXPECT_EQ(toReply(client(1.5).Get("/cgi-bin/check_ip.cgi")).status, 200);
        EXPECT_EQ(held.front()->readToEnd(1), "") << "the oldest, closed unanswered";
        EXPECT_TRUE(row.outOfDescriptors || !held.back()->readable(0)) << "the newest, still open";
    }
}

// Requests written by hand: complete ones answered even when the client half-closes after them;
// refusals answered at once from the head, before any body.
TEST_F(ServiceTest, EveryRequestGetsItsAnswerOrItsRefusalAtOnce) {
    start();
    logIn();
    const std::string insert = insertBody("H-1").dump();
    const struct {
        std::string request;
        const char* status;
    } rows[] = {
        {"GET /tools/AppleModel.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 200 OK"},
        {"POST /ws/insert/ HTTP/1.1\r\ncontent-length: " + std::to_string(insert.size()) + "\r\n\r\n" +
             insert,
         "HTTP/1.1 200 OK"},
        {"GET /cgi-bin/check%5Fip.cgi?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK"}, // the path is decoded
        {"POST /ws/insert/ HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", "HTTP/1.1 413 Payload Too Large"},
        {"POST /ws/insert/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "HTTP/1.1 411 Length Required"},
        {"POST /ws/insert/ HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"HELLO\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET / HTTP/1.1\r\nX: " + std::string(70000, 'x') + "\r\n\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large"},
    };
    for (const auto& row : rows) {
        for (bool halfClose : {false, true}) {
            RawClient raw(service_->port());
            ASSERT_TRUE(raw.send(row.request));
            if (halfClose) raw.halfClose();
            EXPECT_EQ(statusLine(raw.readToEnd(2)), row.status)
                << row.request.substr(0, 60) << " " << halfClose;
        }
    }
    EXPECT_TRUE(service_->transaction("H-1"));
    EXPECT_EQ(service_->requests().size(), 7u) << "refusals reach no call";
}

} // namespace
} // namespace refsvc_test
