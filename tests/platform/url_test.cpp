// URLs, requests and responses; URL loading against a loopback HTTP(S) server run by the test;
// file-handle background reads. Real-time waits are bounded condition waits or bounded pumps of the
// main run loop; a server's blocking handler waits on a gate the test opens before it ends.

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <zlib.h>

#include "platform/foundation/exception.h"
#include "platform/foundation/file_handle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_connection.h"
#include "platform/foundation/url_request.h"
#include "platform/foundation/url_session.h"
#include "platform/foundation/url_transport.h"
#include "platform/sim/device.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/self_signed_certificate.h"
#include "tests/testkit/main_loop.h"

namespace {

using rt::Ref;
using namespace std::chrono_literals;

std::string text(const Ref<ns::String>& s) {
    return s ? s->utf8() : "<nil>";
}

// Pumps the main run loop until `done` or (real time) `seconds` have passed.
bool pumpMainUntil(const std::function<bool()>& done, double seconds = testkit::kEventWaitSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, ns::Date::now()->dateByAddingTimeInterval(0.02));
    }
    return true;
}

// ---- URL, requests, responses ------------------------------------------------------------

TEST(URLTest, ParsesComponents) {
    auto u = ns::URL::URLWithString("https://user:pw@example.com:8443/a/b%20c/?q=1&r=2#frag");
    ASSERT_TRUE(u);
    EXPECT_EQ(text(u->absoluteString()), "https://user:pw@example.com:8443/a/b%20c/?q=1&r=2#frag");
    EXPECT_EQ(text(u->scheme()), "https");
    EXPECT_EQ(text(u->user()), "user");
    EXPECT_EQ(text(u->password()), "pw");
    EXPECT_EQ(text(u->host()), "example.com");
    ASSERT_TRUE(u->port());
    EXPECT_EQ(u->port()->longValue(), 8443);
    EXPECT_EQ(text(u->path()), "/a/b c");
    EXPECT_EQ(text(u->query()), "q=1&r=2");
    EXPECT_EQ(text(u->fragment()), "frag");
    EXPECT_FALSE(u->isFileURL());

    auto bare = ns::URL::URLWithString("http://example.com");
    EXPECT_EQ(text(bare->path()), "");
    EXPECT_FALSE(bare->port());
    EXPECT_FALSE(bare->query());
    EXPECT_EQ(text(ns::URL::URLWithString("http://h/?")->query()), "");
    EXPECT_EQ(text(ns::URL::URLWithString("http://h/")->path()), "/");

    auto v6 = ns::URL::URLWithString("http://[::1]:8080/x");
    EXPECT_EQ(text(v6->host()), "::1");
    EXPECT_EQ(v6->port()->longValue(), 8080);

    auto relative = ns::URL::URLWithString("foo/bar?x");
    EXPECT_FALSE(relative->scheme());
    EXPECT_FALSE(relative->host());
    EXPECT_EQ(text(relative->path()), "foo/bar");
    // Escapes that do not decode to UTF-8 give no path.
    EXPECT_FALSE(ns::URL::URLWithString("http://h/%FF")->path());
}

TEST(URLTest, RejectsInvalidStrings) {
    for (const char* bad : {"", "http://exa mple.com/", "http://x/%zz", "http://x/%4", "http://x/a#b#c",
                            "http://x:99999/", "http://x:12a/", "http://x/[a]", "http://\xC3\xA9.com/",
                            "http://x/{}", "http://[::1/", "http://x/a\"b"})
        EXPECT_FALSE(ns::URL::URLWithString(bad)) << bad;
    EXPECT_FALSE(ns::URL::URLWithString(Ref<ns::String>()));
    EXPECT_TRUE(ns::URL::URLWithString("mailto:someone@example.com"));
}

TEST(URLTest, FileURLsAndAppendingComponents) {
    auto f = ns::URL::fileURLWithPath("/tmp/a b/c.txt", false);
    EXPECT_EQ(f->string(), "file:///tmp/a%20b/c.txt");
    EXPECT_TRUE(f->isFileURL());
    EXPECT_EQ(text(f->path()), "/tmp/a b/c.txt");
    EXPECT_TRUE(ns::URL::URLWithString("FILE:///x")->isFileURL());

    auto dir = std::filesystem::temp_directory_path();
    EXPECT_EQ(ns::URL::fileURLWithPath(dir.string())->string().back(), '/');
    auto rel = ns::URL::fileURLWithPath("some-file-that-is-not-there");
    EXPECT_EQ(text(rel->path()), (std::filesystem::current_path() / "some-file-that-is-not-there").string());

    auto api = ns::URL::URLWithString("http://h/api?x=1#f");
    EXPECT_EQ(api->URLByAppendingPathComponent("v 1")->string(), "http://h/api/v%201?x=1#f");
    EXPECT_EQ(ns::URL::URLWithString("http://h")->URLByAppendingPathComponent("x")->string(), "http://h/x");
    EXPECT_EQ(ns::URL::URLWithString("http://h/d/")->URLByAppendingPathComponent("x")->string(),
              "http://h/d/x");
}

TEST(URLTest, EqualityHashDescriptionAndCopy) {
    auto a = ns::URL::URLWithString("http://h/p?q");
    auto b = ns::URL::URLWithString("http://h/p?q");
    auto c = ns::URL::URLWithString("http://h/p?r");
    EXPECT_NE(a.get(), b.get());
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(c.get()));
    EXPECT_FALSE(a->isEqual(ns::str("http://h/p?q").get()));
    EXPECT_EQ(a->description(), "http://h/p?q");
    EXPECT_EQ(a->copy().get(), a.get());
    auto d = ns::Dictionary::withPairs({{a, ns::num(1)}});
    EXPECT_TRUE(d->objectForKey(rt::Id(b)));
}

TEST(URLRequestTest, DefaultsHeadersAndCopies) {
    auto url = ns::URL::URLWithString("http://h/x");
    auto r = ns::MutableURLRequest::requestWithURL(url);
    EXPECT_EQ(r->method(), "GET");
    EXPECT_EQ(r->timeoutInterval(), 60);
    EXPECT_FALSE(r->HTTPBody());
    EXPECT_FALSE(r->allHTTPHeaderFields());

    r->setValueForHTTPHeaderField("text/plain", "Content-Type");
    r->setValueForHTTPHeaderField("1", "X-A");
    r->setValueForHTTPHeaderField("application/json", "content-type"); // replaces, keeps its place
    r->addValueForHTTPHeaderField("2", "x-a");
    r->addValueForHTTPHeaderField("v", "X-B");
    ASSERT_EQ(r->headerFields().size(), 3u);
    EXPECT_EQ(r->headerFields()[0],
              (std::pair<std::string, std::string>("Content-Type", "application/json")));
    EXPECT_EQ(text(r->valueForHTTPHeaderField("X-a")), "1,2");
    EXPECT_EQ(r->allHTTPHeaderFields()->count(), 3u);
    r->setValueForHTTPHeaderField(Ref<ns::String>(), "X-B");
    EXPECT_FALSE(r->valueForHTTPHeaderField("X-B"));
    r->setHTTPMethod("");
    EXPECT_EQ(text(r->HTTPMethod()), "GET");

    auto frozen = rt::cast<ns::URLRequest>(r->copy());
    ASSERT_TRUE(frozen);
    EXPECT_FALSE(rt::cast<ns::MutableURLRequest>(rt::Id(frozen)));
    EXPECT_TRUE(frozen->isEqual(r.get()));
    EXPECT_EQ(frozen->copy().get(), frozen.get());
    r->setHTTPMethod("POST");
    r->setHTTPBody(ns::Data::make("{}"));
    r->setTimeoutInterval(5);
    EXPECT_EQ(frozen->method(), "GET");
    EXPECT_FALSE(frozen->isEqual(r.get()));
    auto again = frozen->mutableCopy();
    again->setValueForHTTPHeaderField("application/json", "CONTENT-TYPE");
    EXPECT_TRUE(again->isEqual(frozen.get())); // names compare without case
}

TEST(URLResponseTest, HeadersTypeAndLength) {
    auto url = ns::URL::URLWithString("http://h/");
    auto r = ns::HTTPURLResponse::make(url, 201, "HTTP/1.1",
                                       {{"content-type", "Application/JSON; charset=\"UTF-8\""},
                                        {"Content-Length", "12"},
                                        {"set-cookie", "a=1"},
                                        {"Set-Cookie", "b=2"}});
    EXPECT_EQ(r->statusCode(), 201);
    EXPECT_EQ(text(r->MIMEType()), "application/json");
    EXPECT_EQ(text(r->textEncodingName()), "utf-8");
    EXPECT_EQ(r->expectedContentLength(), 12);
    EXPECT_EQ(r->allHeaderFields()->count(), 3u);
    EXPECT_TRUE(r->allHeaderFields()->objectForKey("Content-Type"));
    EXPECT_EQ(text(r->valueForHTTPHeaderField("SET-COOKIE")), "a=1, b=2");
    auto bare = ns::HTTPURLResponse::make(url, 204, "HTTP/1.1", {});
    EXPECT_FALSE(bare->MIMEType());
    EXPECT_EQ(bare->expectedContentLength(), -1);
}

// A response reads its header fields when first asked, once, whichever accessor asks and on
// whichever thread: every way of asking gives what the fields say.
TEST(URLResponseTest, FieldsReadOnFirstUseGiveTheSameAnswersEveryWay) {
    auto url = ns::URL::URLWithString("http://h/");
    const ns::HTTPHeaderFields fields{{"content-type", " text/HTML ; Charset=ISO-8859-1 "},
                                      {"X-Multi", "a"},
                                      {"content-length", "42"},
                                      {"x-multi", "b"}};
    auto check = [](const ns::HTTPURLResponse& r) {
        return text(r.MIMEType()) == "text/html" && text(r.textEncodingName()) == "iso-8859-1" &&
               r.expectedContentLength() == 42 && r.allHeaderFields()->count() == 3 &&
               text(r.valueForHTTPHeaderField("X-MULTI")) == "a, b" &&
               text(rt::cast<ns::String>(r.allHeaderFields()->objectForKey("Content-Type"))) ==
                   "text/HTML ; Charset=ISO-8859-1";
    };
    // Each accessor first, on its own response.
    auto byType = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
    EXPECT_EQ(text(byType->MIMEType()), "text/html");
    auto byLength = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
    EXPECT_EQ(byLength->expectedContentLength(), 42);
    auto byEncoding = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
    EXPECT_EQ(text(byEncoding->textEncodingName()), "iso-8859-1");
    auto byField = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
    EXPECT_EQ(text(byField->valueForHTTPHeaderField("content-length")), "42");
    auto byDescription = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
    EXPECT_NE(byDescription->description().find("\"X-Multi\" = \"a, b\";"), std::string::npos)
        << byDescription->description();
    for (auto* r : {byType.get(), byLength.get(), byEncoding.get(), byField.get(), byDescription.get()})
        EXPECT_TRUE(check(*r));
    EXPECT_TRUE(byType->allHeaderFields()->isEqual(byDescription->allHeaderFields().get()));

    // Many threads asking one response at once.
    for (int round = 0; round < 20; ++round) {
        auto shared = ns::HTTPURLResponse::make(url, 200, "HTTP/1.1", fields);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                if (!check(*shared)) ++wrong;
            });
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(wrong.load(), 0);
        EXPECT_EQ(&shared->allHeaderFields(), &shared->allHeaderFields());
    }
}

// ---- URL loading ----------------------------------------------------------------------------

using testkit::Gate;
using testkit::LoopbackServer;

// What a completion received, and where. A completion arriving after the test has ended (only
// when it failed early) finds no receiver and is dropped.
struct Received {
    struct Sink {
        std::mutex lock;
        Received* target = nullptr;
    };

    std::mutex lock;
    std::condition_variable cv;
    int calls = 0;
    bool onMainThread = false;
    Ref<ns::HTTPURLResponse> response;
    Ref<ns::Data> data;
    Ref<ns::Error> error;
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();

    Received() { sink->target = this; }
    ~Received() {
        std::lock_guard g(sink->lock);
        sink->target = nullptr;
    }

    ns::URLCompletionHandler handler() {
        return [sink = sink](Ref<ns::URLResponse> r, Ref<ns::Data> d, Ref<ns::Error> e) {
            std::lock_guard s(sink->lock);
            Received* self = sink->target;
            if (!self) return;
            std::lock_guard g(self->lock);
            ++self->calls;
            self->onMainThread = ns::Thread::isMainThread();
            self->response = rt::cast<ns::HTTPURLResponse>(r);
            self->data = d;
            self->error = e;
            self->cv.notify_all();
        };
    }
    int count() {
        std::lock_guard g(lock);
        return calls;
    }
    bool wait(int n = 1) {
        std::unique_lock g(lock);
        return cv.wait_for(g, std::chrono::duration<double>(testkit::kEventWaitSeconds), [&] { return calls >= n; });
    }
    std::string body() {
        std::lock_guard g(lock);
        return data ? std::string(data->view()) : "<nil>";
    }
};

class URLLoadingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
    void TearDown() override {
        EXPECT_TRUE(testkit::waitForWorkersIdle());
        testkit::drainMainQueue();
    }

    Ref<ns::URLRequest> get(const std::string& url, double timeout = 10) {
        return ns::URLRequest::requestWithURL(ns::URL::URLWithString(url), timeout);
    }
    // Sends `request` through a fresh session and waits for its completion.
    void load(const Ref<ns::URLRequest>& request, Received& out) {
        auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
        session->dataTaskWithRequest(request, out.handler())->resume();
        ASSERT_TRUE(out.wait());
    }
};

TEST_F(URLLoadingTest, GetAndPostWithHeadersAndJSONBody) {
    LoopbackServer server;
    Received got;
    auto request = get(server.url("/echo"))->mutableCopy();
    request->setValueForHTTPHeaderField("abc", "X-Test");
    load(rt::Ref<ns::URLRequest>(request), got);
    ASSERT_FALSE(got.error) << got.error->description();
    EXPECT_EQ(got.response->statusCode(), 200);
    EXPECT_EQ(text(got.response->valueForHTTPHeaderField("x-method")), "GET");
    EXPECT_EQ(text(got.response->valueForHTTPHeaderField("X-Echo-Test")), "abc");
    EXPECT_EQ(text(got.response->MIMEType()), "application/json");
    EXPECT_EQ(text(got.response->textEncodingName()), "utf-8");
    EXPECT_EQ(got.response->expectedContentLength(), 5);
    EXPECT_EQ(got.body(), "hello");

    std::string json = R"({"name":"caf\u00e9","n":[1,2,3]})";
    auto post = ns::MutableURLRequest::requestWithURL(ns::URL::URLWithString(server.url("/echo")));
    post->setHTTPMethod("POST");
    post->setValueForHTTPHeaderField("application/json", "Content-Type");
    post->setHTTPBody(ns::Data::make(json));
    Received posted;
    auto connection =
        ns::URLConnection::sendAsynchronousRequest(post, ns::OperationQueue::make(), posted.handler());
    ASSERT_TRUE(posted.wait());
    ASSERT_FALSE(posted.error);
    EXPECT_EQ(text(posted.response->valueForHTTPHeaderField("X-Method")), "POST");
    EXPECT_EQ(text(posted.response->valueForHTTPHeaderField("X-Echo-Type")), "application/json");
    EXPECT_EQ(posted.body(), json);
    EXPECT_FALSE(posted.onMainThread);
}

TEST_F(URLLoadingTest, StatusCodesEmptyBodiesAndRedirects) {
    LoopbackServer server;
    Received missing, empty, moved;
    load(get(server.url("/status/404")), missing);
    ASSERT_FALSE(missing.error);
    EXPECT_EQ(missing.response->statusCode(), 404);
    EXPECT_EQ(missing.body(), "status body");

    load(get(server.url("/empty")), empty);
    ASSERT_FALSE(empty.error);
    EXPECT_EQ(empty.response->statusCode(), 200);
    ASSERT_TRUE(empty.data);
    EXPECT_EQ(empty.data->length(), 0u);

    load(get(server.url("/redirect")), moved);
    ASSERT_FALSE(moved.error);
    EXPECT_EQ(moved.response->statusCode(), 200);
    EXPECT_EQ(moved.response->URL()->string(), server.url("/empty"));
}

TEST_F(URLLoadingTest, TimesOutWhileTheServerWaits) {
    LoopbackServer server;
    Received got;
    load(get(server.url("/block"), 0.2), got);
    ASSERT_TRUE(got.error);
    EXPECT_FALSE(got.response);
    EXPECT_FALSE(got.data);
    EXPECT_EQ(text(got.error->domain()), "NSURLErrorDomain");
    EXPECT_EQ(got.error->code(), ns::URLErrorTimedOut);
    EXPECT_EQ(text(got.error->localizedDescription()), "The request timed out.");
    EXPECT_EQ(
        text(rt::cast<ns::String>(got.error->userInfo()->objectForKey(ns::URLErrorFailingURLStringErrorKey))),
        server.url("/block"));
}

// What a server saw of each request: method, the X-A and X-B fields, the body.
struct Seen {
    std::mutex lock;
    std::vector<std::string> requests;

    void record(const httplib::Request& req) {
        std::lock_guard g(lock);
        requests.push_back(req.method + " a=" + req.get_header_value("X-A") + " b=" + req.get_header_value("X-B") +
                           " body=" + req.body);
    }
    std::string last() {
        std::lock_guard g(lock);
        return requests.empty() ? "<none>" : requests.back();
    }
};

// A server that records every request to /record (and answers /record/<n> with n bytes), and holds
// GET /hold at its own gate, beside the loopback server's routes.
std::unique_ptr<httplib::Server> recordingServer(Seen& seen, Gate& hold) {
    auto server = std::make_unique<httplib::Server>();
    auto handler = [&seen](const httplib::Request& req, httplib::Response& res) {
        seen.record(req);
        const std::size_t n = req.matches.size() > 1 ? std::stoul(req.matches[1]) : 2;
        res.set_content(n == 2 ? std::string("ok") : std::string(n, 'x'), "text/plain");
    };
    for (const char* path : {"/record", R"(/record/(\d+))"}) {
        server->Get(path, handler);
        server->Post(path, handler);
        server->Put(path, handler);
        server->Patch(path, handler);
        server->Delete(path, handler);
    }
    server->Get("/hold", [&hold](const httplib::Request&, httplib::Response& res) {
        hold.pass();
        res.set_content("held", "text/plain");
    });
    return server;
}

// Every request goes with the device's public address, as its network's gateway names it, unless
// the request names one itself; with none set, nothing is added.
TEST_F(URLLoadingTest, RequestsCarryThePublicAddressTheGatewayNames) {
    std::mutex lock;
    std::vector<std::string> named;
    auto http = std::make_unique<httplib::Server>();
    http->Get("/who", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard g(lock);
        named.push_back(req.has_header("X-Forwarded-For") ? req.get_header_value("X-Forwarded-For") : "-");
        res.set_content("ok", "text/plain");
    });
    LoopbackServer server(std::move(http));
    for (const auto& [address, own] : {std::pair{"", ""}, {"203.0.113.23", ""}, {"203.0.113.23", "198.51.100.7"}}) {
        ns::URLLoading::setPublicAddress(address);
        auto request = get(server.url("/who"))->mutableCopy();
        if (*own) request->setValueForHTTPHeaderField(own, "x-forwarded-for");
        Received got;
        load(request, got);
    }
    ns::URLLoading::setPublicAddress(sim::currentDevice()->publicAddress);
    EXPECT_EQ(named, (std::vector<std::string>{"-", "203.0.113.23", "198.51.100.7"}));
}

// Transfers one after another reuse one handle, set up only as far as each differs from the one
// before: nothing of a request (method, fields, body, body limit, time-out) reaches the next.
TEST_F(URLLoadingTest, AReusedTransferCarriesNothingOfTheRequestBefore) {
    Seen seen;
    Gate hold;
    LoopbackServer server(recordingServer(seen, hold));
    struct Step {
        const char* method;
        std::string path;
        std::vector<std::pair<std::string, std::string>> fields;
        std::string body;
        long long limit;
        std::string expected; // what the server saw
        std::size_t replyLength;
    };
    const std::vector<Step> steps{
        {"PUT", "/record", {{"X-A", "1"}}, "put-body", 40, "PUT a=1 b= body=put-body", 2},
        {"GET", "/record/100", {}, "", -1, "GET a= b= body=", 100},
        {"POST", "/record", {}, "", -1, "POST a= b= body=", 2},
        {"POST", "/record", {{"X-B", "2"}}, "p2", -1, "POST a= b=2 body=p2", 2},
        {"POST", "/record", {}, "p3", -1, "POST a= b= body=p3", 2},
        {"DELETE", "/record", {}, "", -1, "DELETE a= b= body=", 2},
        {"PATCH", "/record/5", {{"X-A", "p"}}, "patched", -1, "PATCH a=p b= body=patched", 5},
        {"GET", "/record", {{"X-A", "1"}}, "", -1, "GET a=1 b= body=", 2},
        {"GET", "/record", {{"X-A", "2"}}, "", -1, "GET a=2 b= body=", 2},
        {"GET", "/record", {{"X-A", "2"}}, "", 1, "GET a=2 b= body=", 0}, // past its own limit
        {"GET", "/record/3", {}, "", -1, "GET a= b= body=", 3},
        {"HEAD", "/record", {}, "", -1, "HEAD a= b= body=", 0},
        {"GET", "/record", {}, "", -1, "GET a= b= body=", 2},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        auto request = get(server.url(step.path))->mutableCopy();
        request->setHTTPMethod(step.method);
        for (auto& [name, value] : step.fields)
            request->setValueForHTTPHeaderField(value, name);
        if (!step.body.empty()) request->setHTTPBody(ns::Data::make(step.body));
        if (step.limit >= 0) request->setMaximumBodyLength(step.limit);
        Received got;
        load(Ref<ns::URLRequest>(request), got);
        EXPECT_EQ(seen.last(), step.expected) << i;
        if (step.limit == 1) {
            ASSERT_TRUE(got.error) << i;
            EXPECT_EQ(got.error->code(), ns::URLErrorDataLengthExceedsMaximum) << i;
            continue;
        }
        ASSERT_FALSE(got.error) << i << " " << got.error->description();
        EXPECT_EQ(got.data->length(), step.replyLength) << i;
    }

    // A short time-out, then a transfer that waits longer than it for its reply: the wait ends
    // only once another transfer with a time-out of its own, longer again, has run out. A second
    // is short for a loopback reply, on a machine however busy.
    Received quick, held, timedOut;
    load(get(server.url("/record"), 1), quick);
    ASSERT_FALSE(quick.error);
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    session->dataTaskWithRequest(get(server.url("/hold")), held.handler())->resume();
    ASSERT_TRUE(hold.waitEntered(1));
    load(get(server.url("/block"), 2), timedOut);
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->code(), ns::URLErrorTimedOut);
    EXPECT_EQ(held.count(), 0);
    ASSERT_TRUE(hold.release());
    ASSERT_TRUE(held.wait());
    ASSERT_FALSE(held.error) << held.error->description();
    EXPECT_EQ(held.body(), "held");
}

TEST_F(URLLoadingTest, CancelledConnectionNeverCompletes) {
    LoopbackServer server;
    Received cancelled, after;
    auto queue = ns::OperationQueue::make();
    auto connection =
        ns::URLConnection::sendAsynchronousRequest(get(server.url("/block")), queue, cancelled.handler());
    ASSERT_TRUE(server.gate.waitEntered(1));
    connection->cancel();
    ASSERT_TRUE(server.gate.release()); // the reply is written, to no one
    // A later transfer completes through the same queue; the cancelled one still has not.
    ns::URLConnection::sendAsynchronousRequest(get(server.url("/echo")), queue, after.handler());
    ASSERT_TRUE(after.wait());
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(cancelled.count(), 0);
    connection->cancel(); // again: nothing
}

TEST_F(URLLoadingTest, CancelledTaskCompletesOnceWithCancelledError) {
    LoopbackServer server;
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    Received got, after, early;
    auto task = session->dataTaskWithRequest(get(server.url("/block")), got.handler());
    EXPECT_EQ(task->state(), ns::URLSessionTaskState::Suspended);
    task->resume();
    EXPECT_EQ(task->state(), ns::URLSessionTaskState::Running);
    ASSERT_TRUE(server.gate.waitEntered(1));
    task->cancel();
    task->cancel();
    ASSERT_TRUE(got.wait());
    EXPECT_EQ(got.error->code(), ns::URLErrorCancelled);
    EXPECT_EQ(text(got.error->localizedDescription()), "cancelled");
    EXPECT_EQ(task->state(), ns::URLSessionTaskState::Completed);
    ASSERT_TRUE(server.gate.release());
    auto next = session->dataTaskWithRequest(get(server.url("/echo")), after.handler());
    EXPECT_GT(next->taskIdentifier(), task->taskIdentifier());
    next->resume();
    ASSERT_TRUE(after.wait());
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(got.count(), 1);
    EXPECT_EQ(after.response->statusCode(), 200);

    // Cancelled before it started: the same error, and resume does nothing afterwards.
    auto idle = session->dataTaskWithRequest(get(server.url("/echo")), early.handler());
    idle->cancel();
    idle->resume();
    ASSERT_TRUE(early.wait());
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(early.count(), 1);
    EXPECT_EQ(early.error->code(), ns::URLErrorCancelled);
}

// Completions reach a session's queue in the order they were delivered, including those queued
// while it was suspended.
TEST_F(URLLoadingTest, ASessionsCompletionsRunInTheOrderTheyWereDelivered) {
    auto queue = ns::OperationQueue::make();
    queue->setMaxConcurrentOperationCount(1);
    auto session = ns::URLSession::sessionWithDelegateQueue(queue);
    queue->setSuspended(true);
    std::vector<int> order; // one completion at a time
    std::vector<Ref<ns::URLSessionDataTask>> tasks;
    for (int i = 0; i < 30; ++i) {
        tasks.push_back(
            session->dataTaskWithURL(ns::URL::URLWithString("http://127.0.0.1:9/" + std::to_string(i)),
                                     [&order, i](Ref<ns::URLResponse>, Ref<ns::Data>, Ref<ns::Error> error) {
                                         if (error && error->code() == ns::URLErrorCancelled)
                                             order.push_back(i);
                                     }));
    }
    for (auto& task : tasks)
        task->cancel(); // each one delivers its completion now, in this order
    EXPECT_EQ(queue->operationCount(), 30u);
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(order[i], i);
}

// Several threads start transfers on one session and cancel some as soon as they are running:
// every task completes exactly once, on the session's queue and never two at once, a cancelled one
// with the cancellation (or its reply, when the reply came first) and the others with their reply.
// Each thread has one transfer in flight at a time, so the test server's short accept queue is never
// what a transfer waits for.
TEST_F(URLLoadingTest, TransfersStartedAndCancelledFromSeveralThreadsCompleteOnceEach) {
    LoopbackServer server;
    auto session = ns::URLSession::sessionWithDelegateQueue(nullptr);
    constexpr int kThreads = 4, kEach = 25;
    std::array<std::atomic<int>, kThreads * kEach> calls{};
    std::atomic<int> inside{0}, overlaps{0}, wrongQueue{0}, wrongResult{0}, unfinished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const int n = t * kEach + i;
                const bool cancels = i % 3 == 0;
                auto done = std::make_shared<testkit::Latch>();
                auto task = session->dataTaskWithRequest(
                    get(server.url("/echo")),
                    [&, n, cancels, done](Ref<ns::URLResponse> response, Ref<ns::Data> data,
                                          Ref<ns::Error> error) {
                        if (inside.fetch_add(1) != 0) ++overlaps;
                        if (ns::OperationQueue::currentQueue() != session->delegateQueue()) ++wrongQueue;
                        const bool replied = !error && response && data && data->view() == "hello";
                        const bool cancelled = error && error->code() == ns::URLErrorCancelled;
                        if (!(replied || (cancels && cancelled))) ++wrongResult;
                        ++calls[n];
                        inside.fetch_sub(1);
                        done->countDown();
                    });
                task->resume();
                if (cancels) task->cancel();
                if (!done->wait()) ++unfinished;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    session->delegateQueue()->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(unfinished.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(wrongQueue.load(), 0);
    EXPECT_EQ(wrongResult.load(), 0);
    for (int n = 0; n < kThreads * kEach; ++n)
        EXPECT_EQ(calls[n].load(), 1) << "task " << n;
}

TEST_F(URLLoadingTest, RefusedConnectionAndUnsupportedURLs) {
    // A bound socket that does not listen: connections to its port are refused.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    Received refused, ftp, nothing;
    load(get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/"), refused);
    ::close(fd);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code(), ns::URLErrorCannotConnectToHost);
    EXPECT_EQ(text(refused.error->localizedDescription()), "Could not connect to the server.");

    load(get("ftp://127.0.0.1/file"), ftp);
    EXPECT_EQ(ftp.error->code(), ns::URLErrorUnsupportedURL);
    load(ns::URLRequest::requestWithURL(nullptr), nothing);
    EXPECT_EQ(nothing.error->code(), ns::URLErrorBadURL);
}

TEST_F(URLLoadingTest, CompletionRunsOnTheNamedMainQueue) {
    LoopbackServer server;
    Received got;
    const auto& main = ns::OperationQueue::mainQueue();
    ns::URLConnection::sendAsynchronousRequest(get(server.url("/echo")), main, got.handler());
    // The completion is queued on the main queue and waits there for the loop to run.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(testkit::kEventWaitSeconds);
    while (main->operationCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(main->operationCount(), 1u);
    EXPECT_EQ(got.count(), 0);
    EXPECT_TRUE(pumpMainUntil([&] { return got.count() == 1; }));
    EXPECT_TRUE(got.onMainThread);
    EXPECT_EQ(got.body(), "hello");
}

TEST_F(URLLoadingTest, HTTPSNeedsTheCertificateTrusted) {
    testkit::SelfSignedCertificate identity;
    ASSERT_NE(identity.pem.find("BEGIN CERTIFICATE"), std::string::npos);
    LoopbackServer server(std::make_unique<httplib::SSLServer>(identity.cert, identity.key));
    Received refused, accepted, again;
    load(get(server.url("/echo", "https")), refused);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code(), ns::URLErrorServerCertificateUntrusted);
    EXPECT_NE(text(refused.error->localizedDescription()).find("\u201c127.0.0.1\u201d"), std::string::npos);

    EXPECT_FALSE(ns::URLLoading::addTrustedCertificatePEM("not a certificate"));
    ASSERT_TRUE(ns::URLLoading::addTrustedCertificatePEM(identity.pem));
    load(get(server.url("/echo", "https")), accepted);
    ns::URLLoading::removeAllTrustedCertificates();
    ASSERT_FALSE(accepted.error) << accepted.error->description();
    EXPECT_EQ(accepted.response->statusCode(), 200);
    EXPECT_EQ(accepted.body(), "hello");

    load(get(server.url("/echo", "https")), again);
    ASSERT_TRUE(again.error);
    EXPECT_EQ(again.error->code(), ns::URLErrorServerCertificateUntrusted);
}

// A handle that failed keeps no option of its transfer: once the trust is taken away, the next
// transfer on it is refused again (it used to keep the certificates, and to read them after they
// were freed).
TEST_F(URLLoadingTest, AFailedTransferLeavesNoTrustBehind) {
    testkit::SelfSignedCertificate identity;
    LoopbackServer server(std::make_unique<httplib::SSLServer>(identity.cert, identity.key));
    ASSERT_TRUE(ns::URLLoading::addTrustedCertificatePEM(identity.pem));
    Received refused, untrusted;
    load(get("https://127.0.0.1:1/nothing"), refused);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code(), ns::URLErrorCannotConnectToHost);
    ns::URLLoading::removeAllTrustedCertificates();
    load(get(server.url("/echo", "https")), untrusted);
    ASSERT_TRUE(untrusted.error);
    EXPECT_EQ(untrusted.error->code(), ns::URLErrorServerCertificateUntrusted);
}

// ---- Misbehaving servers ---------------------------------------------------------------------

// A loopback TCP server that reads each request's head and hands the connection to `reply`, one
// connection at a time, until it goes. `stopping()` tells a reply that loops when to give up.
class RawServer {
public:
    explicit RawServer(std::function<void(RawServer&, int fd)> reply) : reply_(std::move(reply)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RawServer() {
        {
            std::lock_guard g(lock_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
        ::close(listener_);
    }
    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int connections() const { return connections_; }
    bool stopping() {
        std::lock_guard g(lock_);
        return stop_;
    }
    // Waits `ms` (real time) or until the server stops; false when it stops.
    bool pause(int ms) {
        std::unique_lock g(lock_);
        return !cv_.wait_for(g, std::chrono::milliseconds(ms), [&] { return stop_; });
    }
    static bool send(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    void serve() {
        while (!stopping()) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++connections_;
            std::string head;
            char buf[4096];
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, static_cast<std::size_t>(n));
            }
            reply_(*this, fd);
            ::close(fd);
        }
    }

    std::function<void(RawServer&, int)> reply_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex lock_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

TEST_F(URLLoadingTest, AReplyThatIsNotHTTPIsABadServerResponse) {
    for (std::string garbage :
         {"HELLO THERE\r\n\r\n", "\x16\x03\x01 binary", "HTTP/1.1 two hundred\r\n\r\n"}) {
        RawServer server([&](RawServer&, int fd) { RawServer::send(fd, garbage); });
        Received got;
        load(get(server.url()), got);
        ASSERT_TRUE(got.error) << garbage;
        EXPECT_EQ(got.error->code(), ns::URLErrorBadServerResponse) << garbage;
    }
}

TEST_F(URLLoadingTest, AMethodThatIsNotATokenNeverReachesTheServer) {
    RawServer server(
        [](RawServer&, int fd) { RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
    for (const char* method :
         {"GET / HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET", "GET\n", "G ET", "GET:", "\xC3\xA9"}) {
        auto request = get(server.url())->mutableCopy();
        request->setHTTPMethod(method);
        Received got;
        load(Ref<ns::URLRequest>(request), got);
        ASSERT_TRUE(got.error) << method;
        EXPECT_EQ(got.error->code(), ns::URLErrorBadURL) << method;
    }
    EXPECT_EQ(server.connections(), 0);
    auto patch = get(server.url())->mutableCopy();
    patch->setHTTPMethod("PATCH");
    Received fine;
    load(Ref<ns::URLRequest>(patch), fine);
    EXPECT_FALSE(fine.error);
    EXPECT_EQ(server.connections(), 1);
}

// `bytes` of zeros, gzip-compressed.
std::string gzipOfZeros(std::size_t bytes) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const std::string zeros(1 << 20, '\0');
    std::string out;
    char buf[65536];
    for (std::size_t left = bytes; left > 0 || z.avail_in > 0;) {
        const std::size_t take = std::min(left, zeros.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(take);
        left -= take;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            rc = deflate(&z, flush);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        if (flush == Z_FINISH) break;
    }
    deflateEnd(&z);
    return out;
}

TEST_F(URLLoadingTest, ABodyPastTheLimitFailsOnceDecompressed) {
    const std::string bomb = gzipOfZeros(std::size_t{96} << 20); // 96 MiB in about 100 KB
    RawServer server([&](RawServer&, int fd) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
    });
    Received got;
    load(get(server.url()), got); // the default limit, 64 MiB
    ASSERT_TRUE(got.error);
    EXPECT_EQ(got.error->code(), ns::URLErrorDataLengthExceedsMaximum);
    EXPECT_FALSE(got.data);

    auto small = get(server.url())->mutableCopy();
    small->setMaximumBodyLength(100 << 20);
    Received whole;
    load(Ref<ns::URLRequest>(small), whole);
    ASSERT_FALSE(whole.error) << whole.error->description();
    EXPECT_EQ(whole.data->length(), std::size_t{96} << 20);
}

TEST_F(URLLoadingTest, AnEndlessBodyFailsAtTheLimit) {
    RawServer server([](RawServer& self, int fd) {
        if (!RawServer::send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
        const std::string chunk(1 << 16, 'x');
        for (int i = 0; i < 16384 && !self.stopping(); ++i) // at most 1 GiB
            if (!RawServer::send(fd, chunk)) return;
    });
    for (long long limit : {ns::URLRequest::DefaultMaximumBodyLength, 1ll << 20}) {
        auto request = get(server.url())->mutableCopy();
        request->setMaximumBodyLength(limit);
        Received got;
        load(Ref<ns::URLRequest>(request), got);
        ASSERT_TRUE(got.error) << limit;
        EXPECT_EQ(got.error->code(), ns::URLErrorDataLengthExceedsMaximum) << limit;
        EXPECT_NE(got.error->description().find(std::to_string(limit)), std::string::npos);
    }
}

// A declared length past the limit fails at once, without waiting for a body that never comes.
TEST_F(URLLoadingTest, ADeclaredLengthPastTheLimitFailsBeforeTheBody) {
    RawServer server([](RawServer& self, int fd) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\n");
        self.pause(10000);
    });
    Received got;
    load(get(server.url(), 30), got);
    ASSERT_TRUE(got.error);
    EXPECT_EQ(got.error->code(), ns::URLErrorDataLengthExceedsMaximum);
}

// The time-out is how long nothing may move: a slow but steady body completes, a stall does not.
// Each byte comes 1.2 s before the time-out would end the transfer, whatever a busy machine delays.
TEST_F(URLLoadingTest, TheTimeOutIsAnIdleTimeOut) {
    RawServer server([](RawServer& self, int fd) {
        if (!RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n")) return;
        for (int i = 0; i < 8; ++i)
            if (!self.pause(300) || !RawServer::send(fd, "z")) return;
        self.pause(10000); // then nothing more: the connection stalls
    });
    Received slow;
    load(get(server.url(), 1.5), slow); // 2.4 s in all, never 1.5 s without a byte
    ASSERT_FALSE(slow.error) << slow.error->description();
    EXPECT_EQ(slow.body(), "zzzzzzzz");

    // 0 and less are the default interval, not "no time-out".
    for (double seconds : {0.0, -1.0, std::nan("")}) {
        auto request = get(server.url())->mutableCopy();
        request->setTimeoutInterval(seconds);
        EXPECT_EQ(ns::detail::transferRequestOf(*request).idleTimeoutMs, 60000) << seconds;
    }
}

// ---- File handles --------------------------------------------------------------------------

class FileHandleTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ft-file-handle-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        EXPECT_TRUE(testkit::waitForWorkersIdle());
        testkit::drainMainQueue();
        std::filesystem::remove_all(dir_);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        auto path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Reads `handle` in the background until the empty chunk (or an error), collecting the posts.
    struct Post {
        Ref<ns::Data> data;
        Ref<ns::Error> error;
        bool onMain;
    };
    std::vector<Post> readAll(const Ref<ns::FileHandle>& handle) {
        std::vector<Post> posts;
        bool done = false;
        auto center = ns::NotificationCenter::defaultCenter();
        auto token = center->addObserverForName(
            ns::NSFileHandleReadCompletionNotification, handle, nullptr, [&](const Ref<ns::Notification>& n) {
                auto info = n->userInfo();
                posts.push_back({rt::cast<ns::Data>(info->objectForKey(ns::NSFileHandleNotificationDataItem)),
                                 rt::cast<ns::Error>(info->objectForKey(ns::NSFileHandleError)),
                                 ns::Thread::isMainThread()});
                done = !posts.back().data || posts.back().data->length() == 0 || posts.back().error;
                if (!done) handle->readInBackgroundAndNotify();
            });
        handle->readInBackgroundAndNotify();
        EXPECT_TRUE(pumpMainUntil([&] { return done; }));
        center->removeObserver(token);
        return posts;
    }

    std::filesystem::path dir_;
};

TEST_F(FileHandleTest, ReadsAtOnce) {
    auto handle = ns::FileHandle::fileHandleForReadingAtPath(write("f", "abcdefgh"));
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->readDataOfLength(3)->view(), "abc");
    EXPECT_EQ(handle->readDataToEndOfFile()->view(), "defgh");
    EXPECT_EQ(handle->readDataOfLength(10)->length(), 0u);
    handle->closeFile();
    EXPECT_EQ(handle->fileDescriptor(), -1);
    EXPECT_THROW(handle->readDataToEndOfFile(), ns::Exception);
    EXPECT_FALSE(ns::FileHandle::fileHandleForReadingAtPath((dir_ / "absent").string()));
}

TEST_F(FileHandleTest, BackgroundReadsInChunksOnTheAskingThreadsLoop) {
    std::string bytes;
    for (std::size_t i = 0; i < ns::FileHandle::BackgroundReadChunkSize * 5 / 2; ++i)
        bytes += static_cast<char>('a' + (i * 7) % 26);
    auto handle = ns::FileHandle::fileHandleForReadingAtPath(write("big", bytes));
    auto posts = readAll(handle);
    ASSERT_EQ(posts.size(), 4u);
    std::string joined;
    for (auto& p : posts) {
        ASSERT_TRUE(p.data);
        EXPECT_FALSE(p.error);
        EXPECT_TRUE(p.onMain);
        joined += p.data->view();
    }
    EXPECT_EQ(posts[0].data->length(), ns::FileHandle::BackgroundReadChunkSize);
    EXPECT_EQ(posts[2].data->length(), ns::FileHandle::BackgroundReadChunkSize / 2);
    EXPECT_EQ(posts[3].data->length(), 0u);
    EXPECT_EQ(joined, bytes);
}

TEST_F(FileHandleTest, EmptyFilePostsOneEmptyChunk) {
    auto posts = readAll(ns::FileHandle::fileHandleForReadingAtPath(write("empty", "")));
    ASSERT_EQ(posts.size(), 1u);
    ASSERT_TRUE(posts[0].data);
    EXPECT_EQ(posts[0].data->length(), 0u);
    EXPECT_FALSE(posts[0].error);
}

TEST_F(FileHandleTest, ReadErrorPostsTheErrorEntry) {
    auto handle = ns::FileHandle::fileHandleForReadingAtPath(dir_.string()); // opens; reading fails
    ASSERT_TRUE(handle);
    auto posts = readAll(handle);
    ASSERT_EQ(posts.size(), 1u);
    ASSERT_TRUE(posts[0].data);
    EXPECT_EQ(posts[0].data->length(), 0u);
    ASSERT_TRUE(posts[0].error);
    EXPECT_EQ(text(posts[0].error->domain()), "NSPOSIXErrorDomain");
    EXPECT_EQ(posts[0].error->code(), EISDIR);
    EXPECT_THROW(handle->readDataToEndOfFile(), ns::Exception);
}

} // namespace
