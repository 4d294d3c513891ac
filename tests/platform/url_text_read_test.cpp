// Text read by URL over http: the page, and each way the read fails.

#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/url_loading.h"
#include "platform/foundation/url_reading.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/virtual_time.h"

namespace {

using rt::Ref;

class URLTextRead : public testkit::VirtualTimeTest {
protected:
    Ref<ns::String> read(const std::string& url, Ref<ns::Error>* error, unsigned long* encoding = nullptr) {
        return ns::stringWithContentsOfURL(ns::URL::URLWithString(url), encoding, error);
    }
    testkit::LoopbackServer server;
};

TEST_F(URLTextRead, APageIsReadWholeAsItsText) {
    server.script("GET", "/page", {.body = "caf\xC3\xA9 <b>page</b>", .contentType = "text/html"});
    server.script("GET", "/wide", {.body = std::string("\xFF\xFEh\0i\0", 6), .contentType = "text/plain"});
    Ref<ns::Error> error;
    unsigned long encoding = 0;
    auto text = read(server.url("/page"), &error, &encoding);
    ASSERT_TRUE(text) << error->description();
    EXPECT_EQ(text->utf8(), "caf\xC3\xA9 <b>page</b>");
    EXPECT_EQ(encoding, ns::UTF8StringEncoding);
    EXPECT_EQ(read(server.url("/wide"), &error, &encoding)->utf8(), "hi");
    EXPECT_EQ(encoding, ns::UTF16LittleEndianStringEncoding);
    EXPECT_EQ(read(server.url("/empty"), &error)->utf8(), "");
    ASSERT_EQ(server.requests().size(), 3u);
    EXPECT_EQ(server.requests()[0].method, "GET");
}

TEST_F(URLTextRead, FailuresComeBackAsErrorsAndNil) {
    server.script("GET", "/binary", {.body = "\xC3\x28", .contentType = "application/octet-stream"});
    const struct {
        std::string url;
        const char* domain;
        long code;
    } rows[] = {
        {server.url("/status/404"), ns::URLErrorDomain, ns::URLErrorBadServerResponse},
        {server.url("/status/500"), ns::URLErrorDomain, ns::URLErrorBadServerResponse},
        {server.url("/binary"), "NSCocoaErrorDomain", 261},
        {"http://127.0.0.1:1/refused", ns::URLErrorDomain, ns::URLErrorCannotConnectToHost},
    };
    for (const auto& row : rows) {
        Ref<ns::Error> error;
        EXPECT_FALSE(read(row.url, &error)) << row.url;
        ASSERT_TRUE(error) << row.url;
        EXPECT_EQ(error->domain()->utf8(), row.domain) << row.url;
        EXPECT_EQ(error->code(), row.code) << row.url;
    }
    EXPECT_FALSE(read(server.url("/status/404"), nullptr)) << "no error asked for";
}

TEST_F(URLTextRead, AStalledServerTimesOutInRealTimeWithTheManualClockUnmoved) {
    ns::ScopedURLContentsReadTimeout shortly(0.2);
    Ref<ns::Error> error;
    EXPECT_FALSE(read(server.url("/block"), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ns::URLErrorTimedOut);
    EXPECT_EQ(elapsed(), 0);
    EXPECT_TRUE(server.gate.release());
    EXPECT_TRUE(ns::URLLoading::waitForTransfersInFlightBelow(1, 10)) << "nothing left in flight";
}

} // namespace
