// The request operation manager over loopback: what goes on the wire, every outcome of a reply,
// cancellation, time-outs in real time while virtual time stands still, and lifetimes.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/json.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/number.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/virtual_time.h"

namespace {

using namespace std::chrono_literals;
using hn::HTTPRequestOperation;
using hn::HTTPRequestOperationManager;

// What the blocks of one operation saw.
struct Outcome {
    int successes = 0, failures = 0;
    bool offMain = false;
    rt::Id object;
    rt::Ref<ns::Error> error;

    HTTPRequestOperation::Success success() {
        return [this](const rt::Ref<HTTPRequestOperation>&, const rt::Id& o) {
            ++successes;
            offMain = offMain || !ns::Thread::isMainThread();
            object = o;
        };
    }
    HTTPRequestOperation::Failure failure() {
        return [this](const rt::Ref<HTTPRequestOperation>&, const rt::Ref<ns::Error>& e) {
            ++failures;
            offMain = offMain || !ns::Thread::isMainThread();
            error = e;
        };
    }
    int calls() const { return successes + failures; }
};

std::string json(const rt::Id& object) {
    return ns::JSONSerialization::stringWithJSONObject(object, ns::JSONWritingOptions::SortedKeys).value_or("?");
}

class HTTPManagerTest : public testkit::VirtualTimeTest {
protected:
    testkit::LoopbackServer server;
};

TEST_F(HTTPManagerTest, ParametersGoInTheQueryStringSortedAndEncoded) {
    server.script("GET", "/q", {.body = R"({"ok": true})"});
    Outcome got;
    auto params = ns::Dictionary::withPairs({{ns::String::make("b"), ns::String::make("x y")},
                                             {ns::String::make("a"), ns::String::make("1")}});
    HTTPRequestOperationManager::manager()->GET(server.url("/q"), params, got.success(), got.failure());
    runFor(0);
    ASSERT_EQ(got.successes, 1);
    EXPECT_FALSE(got.offMain);
    EXPECT_EQ(json(got.object), R"({"ok":true})");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/q?a=1&b=x%20y");
}

TEST_F(HTTPManagerTest, JSONPostCarriesItsBodyAndTheEchoComesBackDecoded) {
    auto manager = HTTPRequestOperationManager::manager();
    manager->setRequestSerializer(hn::JSONRequestSerializer::serializer());
    Outcome got;
    auto body = ns::Dictionary::withPairs({{ns::String::make("name"), ns::String::make("Zoë")},
                                           {ns::String::make("n"), ns::Number::withInt(3)}});
    manager->POST(server.url("/echo"), body, got.success(), got.failure());
    runFor(0);
    ASSERT_EQ(got.successes, 1) << (got.error ? got.error->description() : "");
    EXPECT_EQ(json(got.object), R"({"n":3,"name":"Zoë"})");
    const auto sent = server.requests().at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.contentType, "application/json");
    EXPECT_EQ(sent.target, "/echo"); // the parameters went in the body, not the query
}

TEST_F(HTTPManagerTest, EachKindOfReplyEndsInExactlyOneBlock) {
    server.script("GET", "/missing", {.status = 404, .body = R"({"reason": "gone"})"});
    server.script("GET", "/text", {.body = "plain words", .contentType = "text/plain"});
    auto manager = HTTPRequestOperationManager::manager();
    Outcome empty, missing, text, refused, badURL;
    manager->GET(server.url("/empty"), nullptr, empty.success(), empty.failure());
    auto missingOp = manager->GET(server.url("/missing"), nullptr, missing.success(), missing.failure());
    manager->GET(server.url("/text"), nullptr, text.success(), text.failure());
    manager->GET("http://127.0.0.1:1/nothing", nullptr, refused.success(), refused.failure());
    manager->GET("not a url at all", nullptr, badURL.success(), badURL.failure());
    runFor(0);

    EXPECT_EQ(empty.successes, 1); // 2xx without a body: success with nil
    EXPECT_FALSE(empty.object);

    ASSERT_EQ(missing.failures, 1);
    EXPECT_EQ(missing.error->code(), 404);
    const auto& info = missing.error->userInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->objectForKey(hn::NetworkingOperationFailingURLResponseErrorKey), missingOp->response());
    EXPECT_EQ(json(info->objectForKey(hn::NetworkingOperationFailingURLResponseObjectErrorKey)),
              R"({"reason":"gone"})");
    EXPECT_EQ(missingOp->response()->statusCode(), 404);

    ASSERT_EQ(text.failures, 1); // 2xx, but not JSON
    EXPECT_EQ(text.error->code(), hn::URLErrorCannotDecodeContentData);
    ASSERT_EQ(refused.failures, 1);
    EXPECT_EQ(refused.error->code(), ns::URLErrorCannotConnectToHost);
    ASSERT_EQ(badURL.failures, 1);
    EXPECT_EQ(badURL.error->code(), ns::URLErrorBadURL);
    for (const Outcome* o : {&empty, &missing, &text, &refused, &badURL}) {
        EXPECT_EQ(o->calls(), 1);
        EXPECT_FALSE(o->offMain);
    }
}

TEST_F(HTTPManagerTest, CancelBeforeTheReplyFailsOnceWithCancelled) {
    Outcome got;
    auto op = HTTPRequestOperationManager::manager()->GET(server.url("/block"), nullptr, got.success(), got.failure());
    ASSERT_TRUE(server.gate.waitEntered(1));
    op->cancel();
    op->cancel(); // a second cancel changes nothing
    runFor(0);
    EXPECT_EQ(got.successes, 0);
    ASSERT_EQ(got.failures, 1);
    EXPECT_EQ(got.error->code(), ns::URLErrorCancelled);
    EXPECT_TRUE(op->isFinished());
    op->cancel(); // after the outcome: nothing
    server.gate.release();
    runFor(0);
    EXPECT_EQ(got.calls(), 1);
}

TEST_F(HTTPManagerTest, TimeOutsAreTheSerializersAndRunInRealTimeWhileVirtualTimeStands) {
    auto manager = HTTPRequestOperationManager::manager();
    manager->requestSerializer()->setTimeoutInterval(10.0);
    Outcome quick;
    auto op = manager->GET(server.url("/empty"), nullptr, quick.success(), quick.failure());
    EXPECT_EQ(op->request()->timeoutInterval(), 10.0);
    runFor(0);
    EXPECT_EQ(quick.successes, 1);

    manager->requestSerializer()->setTimeoutInterval(0.2);
    Outcome stalled;
    const double before = elapsed();
    manager->GET(server.url("/block"), nullptr, stalled.success(), stalled.failure());
    runFor(0); // waits for the transfer, bounded by its own time-out
    ASSERT_EQ(stalled.failures, 1);
    EXPECT_EQ(stalled.error->code(), ns::URLErrorTimedOut);
    EXPECT_EQ(elapsed(), before);
    EXPECT_EQ(ns::URLLoading::transfersInFlight(), 0u);
}

TEST_F(HTTPManagerTest, AReplyInFlightIsHandledBeforeVirtualTimeMovesOn) {
    server.script("GET", "/slow", {.body = "[1]", .delay = 100ms});
    std::vector<std::string> order;
    HTTPRequestOperationManager::manager()->GET(
        server.url("/slow"), nullptr,
        [&](const rt::Ref<HTTPRequestOperation>&, const rt::Id&) { order.push_back("reply"); },
        [&](const rt::Ref<HTTPRequestOperation>&, const rt::Ref<ns::Error>&) { order.push_back("failure"); });
    dispatch::asyncAfter(dispatch::after(0.05), dispatch::Queue::main(), [&] { order.push_back("timer"); });
    runFor(1);
    EXPECT_EQ(order, (std::vector<std::string>{"reply", "timer"}));
}

TEST_F(HTTPManagerTest, AnOperationOutlivesItsManagerUntilItsBlockHasRun) {
    Outcome got;
    rt::Weak<HTTPRequestOperation> weakOp;
    {
        auto manager = HTTPRequestOperationManager::manager();
        weakOp = manager->GET(server.url("/echo"), nullptr, got.success(), got.failure());
    }
    EXPECT_TRUE(weakOp.lock()); // held by its own transfer
    runFor(0);
    EXPECT_EQ(got.calls(), 1);
    EXPECT_FALSE(weakOp.lock()); // and let go after its block
}

// One request at a time: the loopback server's own library reports races under ThreadSanitizer
// when it serves several connections at once.
TEST_F(HTTPManagerTest, ManyOperationsFromManyManagersEachEndOnce) {
    constexpr int kCount = 24;
    std::vector<Outcome> outcomes(kCount);
    for (int i = 0; i < kCount; ++i) {
        HTTPRequestOperationManager::manager()->GET(server.url(i % 3 ? "/empty" : "/status/500"), nullptr,
                                                    outcomes[i].success(), outcomes[i].failure());
        runFor(0);
    }
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(outcomes[i].calls(), 1) << i;
        EXPECT_EQ(outcomes[i].failures, i % 3 ? 0 : 1) << i;
        EXPECT_FALSE(outcomes[i].offMain);
    }
}

} // namespace
