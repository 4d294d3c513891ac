#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_handle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_loading.h"
#include "platform/foundation/url_reading.h"
#include "platform/foundation/url_request.h"
#include "streams/foundation_signals.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "platform/foundation/url_session.h"
#include "platform/foundation/url_request.h"
#include "streams/tuple.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using rt::Id;
using rt::Ref;

// A scratch folder of its own (no other test process's, which an address-based name did not
// promise), removed with everything in it.
class ScratchDir {
public:
    std::string file(const std::string& name, const std::string& bytes) const {
        auto p = folder_.path() / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::string path() const { return folder_.path().string(); }

private:
    testkit::ScratchFolder folder_{"ft-signals"};
};

TEST(NotificationSignal, EachSubscriptionObservesUntilDisposed) {
    auto center = ns::NotificationCenter::make();
    auto sender = ns::str("sender");
    auto signal = es::addObserverForName(center, ns::str("ping"), sender);
    int first = 0, second = 0;
    auto a = signal->subscribeNext([&](const Id&) { ++first; });
    auto b = signal->subscribeNext([&](const Id&) { ++second; });
    EXPECT_EQ(center->observerCount(), 2u);
    center->postNotificationName("ping", sender);
    center->postNotificationName("ping", ns::str("someone else"));
    center->postNotificationName("pong", sender);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    a->dispose();
    EXPECT_EQ(center->observerCount(), 1u);
    center->postNotificationName("ping", sender);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    b->dispose();
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationSignal, DoesNotKeepItsObjectAlive) {
    auto center = ns::NotificationCenter::make();
    rt::Weak<ns::String> weak;
    Ref<es::Signal> signal;
    {
        auto sender = ns::String::fromUTF16(u"sender");
        weak = sender;
        signal = es::addObserverForName(center, ns::str("ping"), sender);
    }
    EXPECT_FALSE(weak.lock());
    // Subscribed after the object went: it observes nothing (not every object).
    int received = 0;
    auto d = signal->subscribeNext([&](const Id&) { ++received; });
    center->postNotificationName("ping", ns::str("anyone"));
    EXPECT_EQ(received, 0);
    if (d) d->dispose();
}

TEST(FileSignals, ReadOnceAndReplayToLateSubscribers) {
    ScratchDir dir;
    auto url = ns::URL::fileURLWithPath(dir.file("a.txt", "hello"));
    auto subject = es::readContentsOfURL(url, 0, es::Scheduler::mainThreadScheduler());
    std::vector<std::string> seen;
    subject->subscribeNextCompleted([&](const Id& v) { seen.push_back(std::string(rt::cast<ns::Data>(v)->view())); },
                                    [&] { seen.push_back("completed"); });
    EXPECT_TRUE(seen.empty()); // read on the scheduler, not at the call
    testkit::drainMainQueue();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "hello");
    int late = 0;
    subject->subscribeNextCompleted([&](const Id&) { ++late; }, [&] { ++late; });
    EXPECT_EQ(late, 2);
}

TEST(FileSignals, AMissingFileIsACocoaError) {
    ScratchDir dir;
    bool failed = false;
    es::readContentsOfURL(ns::URL::fileURLWithPath(dir.path() + "/missing"), 0, es::Scheduler::immediateScheduler())
        ->subscribeError([&](const Ref<ns::Error>& e) { failed = e && e->domain()->isEqualToString("NSCocoaErrorDomain"); });
    EXPECT_TRUE(failed);
}

TEST(FileSignals, UTF16WithAByteOrderMarkIsDetected) {
    ScratchDir dir;
    unsigned long encoding = 0;
    std::string text;
    es::readStringContentsOfURL(ns::URL::fileURLWithPath(dir.file("u16.txt", std::string("\xFF\xFEh\0i\0", 6))),
                                &encoding, es::Scheduler::immediateScheduler())
        ->subscribeNext([&](const Id& v) { text = v->description(); });
    EXPECT_EQ(text, "hi");
    EXPECT_EQ(encoding, ns::UTF16LittleEndianStringEncoding);
}

TEST(FileSignals, UTF8IsTheDefault) {
    ScratchDir dir;
    unsigned long encoding = 0;
    std::string text;
    es::readStringContentsOfURL(ns::URL::fileURLWithPath(dir.file("u8.txt", "h\xC3\xA9")), &encoding,
                                es::Scheduler::immediateScheduler())
        ->subscribeNext([&](const Id& v) { text = v->description(); });
    EXPECT_EQ(text, "h\xC3\xA9");
    EXPECT_EQ(encoding, ns::UTF8StringEncoding);
}

TEST(FileSignals, MalformedTextIsAnError) {
    ScratchDir dir;
    Ref<ns::Error> error;
    EXPECT_FALSE(ns::stringWithContentsOfURL(ns::URL::fileURLWithPath(dir.file("bad.txt", "\xC3\x28")), nullptr, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 261);
}

TEST(FileSignals, ABackgroundReadSendsTheFileInChunksThenCompletes) {
    ScratchDir dir;
    std::string big(200 * 1024, 'x');
    auto handle = ns::FileHandle::fileHandleForReadingAtPath(dir.file("big.bin", big));
    std::size_t total = 0;
    int chunks = 0;
    bool completed = false;
    es::readInBackground(handle)->subscribeNextCompleted(
        [&](const Id& v) {
            total += rt::cast<ns::Data>(v)->length();
            ++chunks;
        },
        [&] { completed = true; });
    for (int i = 0; i < 1000 && !completed; ++i) {
        testkit::waitForWorkersIdle();
        testkit::drainMainQueue();
    }
    EXPECT_TRUE(completed);
    EXPECT_EQ(total, big.size());
    EXPECT_GT(chunks, 1);
    testkit::waitForWorkersIdle();
}

TEST(FileSignals, ABackgroundReadOfAnEmptyFileCompletesWithoutAValue) {
    ScratchDir dir;
    int values = 0;
    bool completed = false;
    es::readInBackground(ns::FileHandle::fileHandleForReadingAtPath(dir.file("empty", "")))
        ->subscribeNextCompleted([&](const Id&) { ++values; }, [&] { completed = true; });
    for (int i = 0; i < 100 && !completed; ++i) {
        testkit::waitForWorkersIdle();
        testkit::drainMainQueue();
    }
    EXPECT_TRUE(completed);
    EXPECT_EQ(values, 0);
    testkit::waitForWorkersIdle();
}

TEST(FileSignals, ABackgroundReadErrorIsAnErrorEventNotTheEndOfTheFile) {
    ScratchDir dir;
    Ref<ns::Error> error;
    bool completed = false;
    es::readInBackground(ns::FileHandle::fileHandleForReadingAtPath(dir.path())) // a folder
        ->subscribeErrorCompleted([&](const Ref<ns::Error>& e) { error = e; }, [&] { completed = true; });
    for (int i = 0; i < 100 && !error && !completed; ++i) {
        testkit::waitForWorkersIdle();
        testkit::drainMainQueue();
    }
    EXPECT_TRUE(error);
    EXPECT_FALSE(completed);
    testkit::waitForWorkersIdle();
    testkit::drainMainQueue();
}

TEST(RequestSignal, DeliversTheResponseAndTheDataThenCompletes) {
    testkit::LoopbackServer server;
    auto echo = ns::URLRequest::requestWithURL(ns::URL::URLWithString(server.url("/echo")));
    auto r = testkit::record(es::sendAsynchronousRequest(echo));
    ASSERT_TRUE(r.waitForEnd());
    ASSERT_TRUE(r.hasCompleted());
    ASSERT_EQ(r.values().size(), 1u);
    auto reply = rt::cast<es::Tuple>(r.values()[0]);
    ASSERT_TRUE(reply);
    auto response = rt::cast<ns::HTTPURLResponse>(reply->first());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_EQ(rt::cast<ns::Data>(reply->second())->view(), "hello");
}

TEST(RequestSignal, DisposedWhileTheServerHoldsTheRequestDeliversNothing) {
    testkit::LoopbackServer server;
    auto blocked = ns::URLRequest::requestWithURL(ns::URL::URLWithString(server.url("/block")));
    auto pending = testkit::record(es::sendAsynchronousRequest(blocked));
    ASSERT_TRUE(server.gate.waitEntered(1));
    pending.dispose();
    EXPECT_TRUE(server.gate.release());
    EXPECT_TRUE(testkit::waitForWorkersIdle());
    testkit::drainMainQueue();
    EXPECT_EQ(pending.text(), "");
}

} // namespace
