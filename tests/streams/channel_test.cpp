// Channels: plain two-way channels, channels bound to a key path, the subscript binding between
// two of them, and the channel of a user-defaults key.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/channel.h"
#include "streams/kvo_channel.h"
#include "streams/subject.h"
#include "streams/user_defaults_channel.h"
#include "tests/streams/observable_model.h"
#include "tests/testkit/streams/debug_names.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using es::Channel;
using es::KVOChannel;
using rt::Id;
using rt::Ref;
using testkit::record;
using testmodel::Node;

// ---- Plain channels -------------------------------------------------------------------------

TEST(Channel, WhatOnePartySendsTheOtherReceives) {
    auto channel = Channel::make();
    auto leading = record(channel->leadingTerminal());
    auto following = record(channel->followingTerminal());
    channel->followingTerminal()->sendNext(ns::num(1));
    channel->leadingTerminal()->sendNext(ns::num(2));
    channel->leadingTerminal()->sendNext(nullptr);
    EXPECT_EQ(leading.text(), "1");
    EXPECT_EQ(following.text(), "2 nil");
    leading.dispose();
    following.dispose();
}

TEST(Channel, OnlyTheFollowingTerminalReplaysTheLastValueToALateSubscriber) {
    auto channel = Channel::make();
    channel->leadingTerminal()->sendNext(ns::num(1));
    channel->leadingTerminal()->sendNext(ns::num(2));
    channel->followingTerminal()->sendNext(ns::num(3));
    auto lateFollowing = record(channel->followingTerminal());
    auto lateLeading = record(channel->leadingTerminal());
    EXPECT_EQ(lateFollowing.text(), "2");
    EXPECT_EQ(lateLeading.text(), ""); // 3 was sent before it subscribed
    lateFollowing.dispose();
    lateLeading.dispose();
}

TEST(Channel, AnErrorOrACompletionSentIntoEitherTerminalReachesBoth) {
    auto completed = Channel::make();
    auto a = record(completed->leadingTerminal()), b = record(completed->followingTerminal());
    completed->leadingTerminal()->sendCompleted();
    EXPECT_EQ(a.text(), "C");
    EXPECT_EQ(b.text(), "C");

    auto failed = Channel::make();
    auto c = record(failed->leadingTerminal()), d = record(failed->followingTerminal());
    failed->followingTerminal()->sendError(ns::Error::make("Test", 4));
    EXPECT_EQ(c.text(), "E4");
    EXPECT_EQ(d.text(), "E4");
    EXPECT_EQ(record(failed->followingTerminal()).text(), "E4"); // replayed
}

TEST(Channel, AChannelNobodyEndsGoesWhenItsPartiesLetGo) {
    const auto before = rt::liveObjectCount();
    {
        auto channel = Channel::make();
        auto values = record(channel->followingTerminal());
        channel->leadingTerminal()->sendNext(ns::num(1));
        values.dispose();
    }
    EXPECT_EQ(rt::liveObjectCount(), before);
}

// ---- Key-path channels ----------------------------------------------------------------------

TEST(KVOChannel, DeliversTheCurrentValueThenChangesMadeElsewhereButNotItsOwnWrites) {
    auto node = Node::make(1);
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "c", nullptr);
    auto values = record(channel->followingTerminal());
    EXPECT_EQ(values.text(), "1");
    channel->followingTerminal()->sendNext(ns::num(5));
    EXPECT_EQ(node->c(), 5);
    EXPECT_EQ(values.text(), "1"); // no echo
    node->setC(6);
    EXPECT_EQ(values.text(), "1 6");
    auto late = record(channel->followingTerminal());
    EXPECT_EQ(late.text(), "6");
    values.dispose();
    late.dispose();
}

TEST(KVOChannel, NamesItsTerminals) {
    testkit::DebugNames on(true);
    auto plain = Channel::make();
    EXPECT_EQ(plain->leadingTerminal()->name(), "leadingTerminal");
    EXPECT_EQ(plain->followingTerminal()->name(), "followingTerminal");
    auto node = Node::make();
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "c", ns::num(0));
    const std::string prefix =
        "[-initWithTarget: <ESTestNode: " + ns::format("%p", static_cast<const void*>(node.get())) + "> keyPath: c nilValue: 0] ";
    EXPECT_EQ(channel->leadingTerminal()->name(), prefix + "-leadingTerminal");
    EXPECT_EQ(channel->followingTerminal()->name(), prefix + "-followingTerminal");
}

TEST(KVOChannel, NilIsWrittenAsTheNilValue) {
    auto node = Node::make(3);
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "c", ns::num(0));
    channel->followingTerminal()->sendNext(nullptr);
    EXPECT_EQ(node->c(), 0);
    node->setName(ns::str("x"));
    auto names = KVOChannel::withTargetKeyPathNilValue(node, "name", nullptr);
    names->followingTerminal()->sendNext(nullptr);
    EXPECT_FALSE(node->name());
}

TEST(KVOChannel, AValueArrivingWhileAnIntermediateIsNilIsDropped) {
    auto root = Node::make();
    auto channel = KVOChannel::withTargetKeyPathNilValue(root, "a.c", nullptr);
    auto values = record(channel->followingTerminal());
    ns::CapturedLog log;
    channel->followingTerminal()->sendNext(ns::num(3));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(values.text(), "nil");
    // Once there is an intermediate, writes reach it, and replacing it is a change from elsewhere.
    root->setA(Node::make(1));
    channel->followingTerminal()->sendNext(ns::num(4));
    EXPECT_EQ(root->a()->c(), 4);
    root->setA(Node::make(9));
    EXPECT_EQ(values.text(), "nil 1 9");
    values.dispose();
}

TEST(KVOChannel, CompletesForEverySubscriberWhenTheTargetDeallocates) {
    auto node = Node::make(1);
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "c", nullptr);
    auto first = record(channel->followingTerminal());
    auto second = record(channel->followingTerminal());
    node = nullptr;
    EXPECT_EQ(first.text(), "1 C");
    EXPECT_EQ(second.text(), "1 C");
    EXPECT_FALSE(channel->target());

    auto gone = KVOChannel::withTargetKeyPathNilValue(nullptr, "c", nullptr);
    EXPECT_EQ(record(gone->followingTerminal()).text(), "C");

    ns::CapturedLog log;
    auto badPath = KVOChannel::withTargetKeyPathNilValue(Node::make(), "a.", nullptr);
    EXPECT_EQ(record(badPath->followingTerminal()).text(), "C");
    EXPECT_EQ(log.lines().size(), 1u);
}

// A write that raises no notification (an equal value of a key announced by hand) leaves no
// record behind: the next genuine change on the same thread is delivered.
TEST(KVOChannel, AWriteThatRaisesNoNotificationDoesNotSwallowTheNextChange) {
    auto node = Node::make();
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "flag", nullptr);
    auto values = record(channel->followingTerminal());
    channel->followingTerminal()->sendNext(ns::num(false)); // equal: announced by nobody
    EXPECT_FALSE(channel->currentThreadData());
    node->setFlag(true);
    EXPECT_EQ(values.text(), "0 1");
    channel->followingTerminal()->sendNext(ns::num(false)); // notifies: not echoed
    EXPECT_FALSE(node->flag());
    EXPECT_EQ(values.text(), "0 1");
    values.dispose();
}

TEST(KVOChannel, AnErrorSentInIsLoggedAndEndsTheWriting) {
    auto node = Node::make(1);
    auto channel = KVOChannel::withTargetKeyPathNilValue(node, "c", nullptr);
    auto values = record(channel->followingTerminal());
    ns::CapturedLog log;
    channel->followingTerminal()->sendError(ns::Error::make("Test", 2));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Received error in <ESKVOChannel: 0x", 0), 0u) << log.lines()[0];
    channel->followingTerminal()->sendNext(ns::num(8));
    EXPECT_EQ(node->c(), 1);
    EXPECT_EQ(values.text(), "1 E2");
}

TEST(KVOChannel, BindingOneTerminalToAnotherCopiesTheOtherValueFirstThenBothWays) {
    auto a = Node::make(1), b = Node::make(2);
    auto ca = KVOChannel::withTargetKeyPathNilValue(a, "c", nullptr);
    auto cb = KVOChannel::withTargetKeyPathNilValue(b, "c", nullptr);
    ASSERT_EQ(ca->objectForKeyedSubscript("followingTerminal"), ca->followingTerminal());
    ca->setObjectForKeyedSubscript(cb->objectForKeyedSubscript("followingTerminal"), "followingTerminal");
    EXPECT_EQ(a->c(), 2);
    EXPECT_EQ(b->c(), 2);
    b->setC(3);
    EXPECT_EQ(a->c(), 3);
    a->setC(4);
    EXPECT_EQ(b->c(), 4);
    ns::CapturedLog log;
    ca->setObjectForKeyedSubscript(nullptr, "followingTerminal");
    EXPECT_EQ(log.lines().size(), 1u);
}

// ---- Subscript assignment ------------------------------------------------------------------

TEST(SubscriptingAssignmentTrampoline, BindsASignalToAKeyPathWithItsNilValue) {
    EXPECT_FALSE(es::SubscriptingAssignmentTrampoline::withTargetNilValue(nullptr, ns::num(0)));
    auto root = Node::path(1);
    auto values = es::Subject::subject();
    auto binding = es::SubscriptingAssignmentTrampoline::withTargetNilValue(root, ns::num(-1))
                       ->setObjectForKeyedSubscript(values, "a.b.c");
    values->sendNext(ns::num(4));
    EXPECT_EQ(root->a()->b()->c(), 4);
    values->sendNext(nullptr);
    EXPECT_EQ(root->a()->b()->c(), -1);
    binding->dispose();
    values->sendNext(ns::num(5));
    EXPECT_EQ(root->a()->b()->c(), -1);
}

// ---- User-defaults channel ------------------------------------------------------------------

std::string scratchDefaultsPath() {
    static std::atomic<int> n{0};
    return (std::filesystem::temp_directory_path() /
            ("es-defaults-channel-" + std::to_string(::getpid()) + "-" + std::to_string(++n) + ".json"))
        .string();
}

TEST(UserDefaultsChannel, DeliversWritesByOtherCodeButNotItsOwnNorRepeats) {
    auto defaults = ns::UserDefaults::makeWithFile(scratchDefaultsPath());
    defaults->setObjectForKey(ns::num(1), "k");
    auto terminal = es::channelTerminalForKey(defaults, "k");
    auto values = record(terminal);
    EXPECT_EQ(values.text(), "1");

    defaults->setObjectForKey(ns::num(2), "k"); // by other code, on this thread
    defaults->setObjectForKey(ns::num(2), "k"); // equal to the last one delivered
    defaults->setObjectForKey(ns::num(3), "other");
    EXPECT_EQ(values.text(), "1 2");

    terminal->sendNext(ns::num(5)); // written on the channel's scheduler, not delivered back
    ASSERT_TRUE(testkit::waitForWorkersIdle());
    EXPECT_EQ(testkit::show(defaults->objectForKey("k")), "5");
    EXPECT_EQ(values.text(), "1 2");

    defaults->setObjectForKey(ns::num(6), "k");
    EXPECT_EQ(values.text(), "1 2 6");
    defaults = nullptr; // the inbound side ends with the store
    EXPECT_EQ(values.text(), "1 2 6 C");
    ASSERT_TRUE(testkit::waitForWorkersIdle());
}

} // namespace
