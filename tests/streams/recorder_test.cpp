// The test kit's recorder: what it writes for the events tests rarely see, and its waits.

#include <thread>

#include <gtest/gtest.h>

#include "platform/runtime/number.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "tests/testkit/streams/recorder.h"

namespace {

TEST(Recorder, WritesANilErrorAsNil) {
    auto plain = testkit::record(es::Signal::error(nullptr));
    auto withDomains = testkit::record(es::Signal::error(nullptr), {.errorDomains = true});
    EXPECT_EQ(plain.text(), "Enil");
    EXPECT_EQ(withDomains.text(), "E:nil");
    EXPECT_TRUE(plain.hasEnded());
    EXPECT_FALSE(plain.hasCompleted());
}

TEST(Recorder, WaitForEndSeesTheEndAndWhatCameBeforeIt) {
    auto subject = es::Subject::subject();
    auto recorder = testkit::record(subject);
    std::thread sender([&] {
        subject->sendNext(ns::num(1));
        subject->sendCompleted();
    });
    EXPECT_TRUE(recorder.waitForEnd());
    EXPECT_EQ(recorder.text(), "1 C");
    sender.join();
}

} // namespace
