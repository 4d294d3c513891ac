// Key-path observation (es::observeKeyPath), the trampolines it stands on, the key-path utilities
// and the property-attribute parser.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "streams/key_value_observing.h"
#include "streams/kvo_trampoline.h"
#include "streams/property_attributes.h"
#include "streams/scheduler.h"
#include "tests/streams/observable_model.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/streams/recorder.h"

namespace {

using Options = ns::KeyValueObservingOptions;
using rt::Id;
using rt::Ref;
using testmodel::Node;

long kindOf(const Ref<ns::Dictionary>& change) {
    auto kind = rt::cast<ns::Number>(change->objectForKey(ns::KeyValueChangeKindKey));
    return kind ? kind->longValue() : -1;
}

// Each callback of an observation as "value" (plus "!dealloc" when caused by deallocation, "^"
// when an intermediate object changed, "prior" for a prior notification), space-separated.
struct Calls {
    std::string text;
    es::KeyPathBlock block() {
        return [this](const Id& value, const Ref<ns::Dictionary>& change, bool dealloc, bool lastOnly) {
            if (!text.empty()) text += ' ';
            text += testkit::show(value);
            if (dealloc) text += "!dealloc";
            if (!lastOnly) text += "^";
            if (change->objectForKey(ns::KeyValueChangeNotificationIsPriorKey)) text += "(prior)";
        };
    }
};

// ---- Key paths ------------------------------------------------------------------------------

TEST(KeyPathObservation, APathFollowsTheObjectsThatReplaceItsIntermediates) {
    auto root = Node::path(1);
    Ref<Node> oldA = root->a(), oldB = oldA->b();
    Calls calls;
    auto observation = es::observeKeyPath(root, "a.b.c", Options::Initial, nullptr, calls.block());
    EXPECT_EQ(calls.text, "1^"); // the initial value of the whole path

    oldB->setC(2); // the last key: only it changed
    EXPECT_EQ(calls.text, "1^ 2");

    // Replacing a: one callback with the new full value, and b.c is observed on the new a.
    auto newA = Node::make();
    newA->setB(Node::make(5));
    root->setA(newA);
    EXPECT_EQ(calls.text, "1^ 2 5^");
    oldB->setC(3);
    oldA->setB(Node::make(4));
    EXPECT_EQ(calls.text, "1^ 2 5^"); // the old objects no longer report

    newA->b()->setC(6);
    newA->setB(Node::make(7));
    EXPECT_EQ(calls.text, "1^ 2 5^ 6 7^");

    root->setA(nullptr); // a nil intermediate: the path's value is nil
    EXPECT_EQ(calls.text, "1^ 2 5^ 6 7^ nil^");
    newA->b()->setC(8);

    observation->dispose();
    observation->dispose(); // twice: nothing more
    root->setA(Node::make());
    EXPECT_EQ(calls.text, "1^ 2 5^ 6 7^ nil^");
}

TEST(KeyPathObservation, PriorNotificationsCarryTheOldValueOfTheWholePath) {
    auto root = Node::path(1);
    Calls calls;
    auto observation = es::observeKeyPath(root, "a.b.c", Options::Prior, nullptr, calls.block());
    root->a()->b()->setC(2);
    EXPECT_EQ(calls.text, "1(prior) 2");
    auto other = Node::make();
    other->setB(Node::make(9));
    root->setA(other);
    EXPECT_EQ(calls.text, "1(prior) 2 2^(prior) 9^");
    observation->dispose();
}

TEST(KeyPathObservation, AWeakHeadClearedByDeallocationIsReported) {
    auto root = Node::make();
    auto watched = Node::make(3);
    root->setWeakNode(watched);
    Ref<ns::Dictionary> change;
    bool caused = false;
    std::string values;
    auto observation = es::observeKeyPath(root, "weakNode.c", Options::None, nullptr,
                                          [&](const Id& value, const Ref<ns::Dictionary>& c, bool dealloc, bool) {
                                              values += testkit::show(value);
                                              change = c;
                                              caused = dealloc;
                                          });
    watched = nullptr;
    EXPECT_EQ(values, "nil");
    EXPECT_TRUE(caused);
    ASSERT_TRUE(change);
    EXPECT_EQ(kindOf(change), 1);
    EXPECT_EQ(change->objectForKey(ns::KeyValueChangeNewKey), ns::Null::null());
    observation->dispose();
}

TEST(KeyPathObservation, AWeakHeadThatIsTheObserverItselfIsNotReported) {
    auto root = Node::make();
    auto observer = Node::make();
    root->setWeakNode(observer);
    Calls calls;
    es::observeKeyPath(root, "weakNode", Options::None, observer, calls.block());
    observer = nullptr; // ends the observation; no deallocation callback
    EXPECT_EQ(calls.text, "");
}

TEST(KeyPathObservation, StrongBlockAndProtocolTypedPropertiesAreNotWatchedForDeallocation) {
    auto root = Node::make();
    root->setHandler([] {});
    auto delegate = Node::make();
    root->setDelegate(delegate);
    Calls calls;
    std::vector<Ref<es::Disposable>> observations;
    // "fresh" (strong) and "handler" (a weak block) give a new object on every read, which goes at
    // once: watching them would report a deallocation straight away.
    for (const char* key : {"fresh", "handler", "delegate"})
        observations.push_back(es::observeKeyPath(root, key, Options::None, nullptr, calls.block()));
    delegate = nullptr;
    EXPECT_EQ(calls.text, "");
    for (auto& o : observations) o->dispose();
}

TEST(KeyPathObservation, EndsWhenTheReceiverOrTheObserverDeallocates) {
    auto root = Node::make();
    auto observer = Node::make();
    Calls calls;
    auto observation = es::observeKeyPath(root, "c", Options::None, observer, calls.block());
    root->setC(1);
    observer = nullptr;
    root->setC(2);
    EXPECT_EQ(calls.text, "1");
    observation->dispose(); // after the observer went: no effect

    auto receiver = Node::make();
    auto second = es::observeKeyPath(receiver, "c", Options::None, nullptr, calls.block());
    receiver = nullptr;
    second->dispose(); // after the receiver went: no effect
}

TEST(KeyPathObservation, RefusesAKeyPathWithAnEmptyKeyWithALogLine) {
    auto root = Node::path(1);
    for (const char* path : {"", ".a", "a.", "a..c", "."}) {
        ns::CapturedLog log;
        Calls calls;
        auto observation = es::observeKeyPath(root, path, Options::Initial, nullptr, calls.block());
        EXPECT_TRUE(observation->isDisposed()) << path;
        EXPECT_EQ(calls.text, "") << path;
        EXPECT_EQ(log.lines().size(), 1u) << path;
    }
}

// Changes from three threads while a fourth disposes: once dispose returns, no callback runs.
TEST(KeyPathObservation, NoCallbackRunsAfterDisposeReturnsWhileOtherThreadsChangeThePath) {
    for (int round = 0; round < 10; ++round) {
        auto root = Node::path(0);
        std::atomic<bool> disposed{false};
        std::atomic<int> late{0}, heard{0};
        auto observation = es::observeKeyPath(root, "a.b.c", Options::None, nullptr,
                                              [&](const Id&, const Ref<ns::Dictionary>&, bool, bool) {
                                                  ++heard;
                                                  if (disposed) ++late;
                                              });
        testkit::Latch ready(3);
        std::atomic<bool> stop{false};
        std::atomic<long> writes{0};
        std::vector<std::thread> writers;
        for (int t = 0; t < 3; ++t) {
            writers.emplace_back([&, t] {
                ready.countDown();
                for (int i = 0; !stop; ++i, ++writes) {
                    if (t == 0 && i % 16 == 0) {
                        auto replacement = Node::make();
                        replacement->setB(Node::make(i));
                        root->setA(replacement);
                    } else if (auto a = root->a()) {
                        if (auto b = a->b()) b->setC(i);
                    }
                }
            });
        }
        ASSERT_TRUE(ready.wait());
        while (heard < 50) std::this_thread::yield();
        observation->dispose();
        disposed = true;
        // The writers go on for a while after the disposal.
        for (const long at = writes; writes < at + 200;) std::this_thread::yield();
        stop = true;
        for (auto& w : writers) w.join();
        EXPECT_EQ(late, 0) << "round " << round;
    }
}

// ---- Trampolines ---------------------------------------------------------------------------

TEST(KVOTrampoline, CallsItsBlockWithTargetObserverAndChangeUntilDisposed) {
    auto target = Node::make();
    auto observer = Node::make();
    std::string seen;
    auto trampoline = es::addObserverForKeyPath(
        target, observer, "c", Options::New | Options::Old,
        [&](const Id& t, const Id& o, const Ref<ns::Dictionary>& change) {
            seen += (t == target && o == observer ? "ok " : "wrong ") + testkit::show(change->objectForKey("old")) + "->" +
                    testkit::show(change->objectForKey("new")) + " ";
        });
    ASSERT_TRUE(trampoline);
    EXPECT_EQ(trampoline->keyPath(), "c");
    EXPECT_EQ(trampoline->unsafeTarget(), target.get());
    target->setC(4);
    trampoline->dispose();
    target->setC(5);
    EXPECT_EQ(seen, "ok 0->4 ");
    EXPECT_FALSE(trampoline->block());
    EXPECT_FALSE(trampoline->observer());
    EXPECT_FALSE(es::addObserverForKeyPath(nullptr, observer, "c", Options::New, nullptr));
}

TEST(KVOTrampoline, GoesWithItsTargetOrObserverAndIsDisposedByItsOwnDeallocation) {
    auto target = Node::make();
    auto observer = Node::make();
    int calls = 0;
    auto block = [&](const Id&, const Id&, const Ref<ns::Dictionary>&) { ++calls; };
    auto byObserver = es::addObserverForKeyPath(target, observer, "c", Options::None, block);
    observer = nullptr;
    EXPECT_TRUE(byObserver->isDisposed());
    target->setC(1);
    EXPECT_EQ(calls, 0);

    auto byTarget = es::addObserverForKeyPath(target, nullptr, "c", Options::None, block);
    target = nullptr;
    EXPECT_TRUE(byTarget->isDisposed());
    byTarget->dispose();
}

TEST(KVOTrampoline, AKeyPathIsObservedLevelByLevelWithTheWholePathsValues) {
    auto root = Node::path(1);
    std::string seen;
    auto trampoline = es::addObserverForKeyPath(
        root, nullptr, "a.b.c", Options::New | Options::Old | Options::Initial,
        [&](const Id&, const Id&, const Ref<ns::Dictionary>& change) {
            seen += testkit::show(change->objectForKey("old")) + "->" + testkit::show(change->objectForKey("new")) + " ";
        });
    root->a()->b()->setC(2);
    auto other = Node::make();
    other->setB(Node::make(7));
    root->setA(other);
    trampoline->dispose();
    other->b()->setC(8);
    EXPECT_EQ(seen, "1->1 1->2 2->7 ");
}

TEST(KVOProxy, IsOneObjectWithALabelledSerialQueueAndDropsUnknownContexts) {
    const auto& proxy = es::KVOProxy::sharedProxy();
    EXPECT_EQ(proxy, es::KVOProxy::sharedProxy());
    EXPECT_EQ(proxy->queue()->label(), std::string(es::kReverseDomainPrefix) + "ESKVOProxy");
    ns::CapturedLog log;
    static int unknown;
    proxy->observeValueForKeyPath("c", Node::make(), ns::Dictionary::make(), &unknown);
    EXPECT_TRUE(log.lines().empty());
}

// ---- Key-path utilities --------------------------------------------------------------------

TEST(KeyPathUtilities, SplitAndShortenPaths) {
    EXPECT_FALSE(es::keyPathComponents(ns::str("")));
    EXPECT_FALSE(es::keyPathComponents(Ref<ns::String>()));
    auto one = es::keyPathComponents(ns::str("a"));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->description(), ns::Array::make({ns::str("a")})->description());
    auto three = es::keyPathComponents(ns::str("a.b.c"));
    ASSERT_TRUE(three);
    EXPECT_EQ(three->count(), 3u);
    EXPECT_EQ(es::keyPathByDeletingLastKeyPathComponent(ns::str("a.b.c"))->utf8(), "a.b");
    EXPECT_EQ(es::keyPathByDeletingFirstKeyPathComponent(ns::str("a.b.c"))->utf8(), "b.c");
    EXPECT_FALSE(es::keyPathByDeletingLastKeyPathComponent(ns::str("a")));
    EXPECT_FALSE(es::keyPathByDeletingFirstKeyPathComponent(ns::str("a")));
    EXPECT_EQ(es::keyPathComponents(std::string_view("a..b")), (std::vector<std::string_view>{"a", "", "b"}));
}

// ---- The property-attribute parser ---------------------------------------------------------

TEST(PropertyAttributes, ReadsAnObjectPropertysAttributes) {
    const std::string text = "T@\"NSString\",&,N,V_name";
    ns::CapturedLog log;
    auto attributes = es::propertyAttributesFromString(text, "name");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->objectClass, rt::Class::named("NSString"));
    EXPECT_EQ(attributes->memoryPolicy, es::PropertyAttributes::MemoryPolicy::Retain);
    EXPECT_TRUE(attributes->nonatomic);
    EXPECT_FALSE(attributes->readonly || attributes->weak || attributes->dynamic);
    EXPECT_EQ(attributes->getter.name(), "name");
    EXPECT_EQ(attributes->setter.name(), "setName:");
    EXPECT_EQ(attributes->ivar, "_name");
    EXPECT_EQ(attributes->ivar.data(), text.data() + text.size() - 5); // into the string itself
    EXPECT_EQ(attributes->type, "@\"NSString\"");
    EXPECT_TRUE(log.lines().empty());
}

TEST(PropertyAttributes, ReadsRegisteredPropertiesAndEveryFlag) {
    auto weak = es::propertyAttributesForProperty(Node::staticClass().property("weakNode"));
    ASSERT_TRUE(weak);
    EXPECT_TRUE(weak->weak);
    EXPECT_EQ(weak->objectClass, &Node::staticClass());
    auto flags = es::propertyAttributesFromString("Ti,R,C,D,P,W,GisOn,SturnOn:", "on");
    ASSERT_TRUE(flags);
    EXPECT_TRUE(flags->readonly && flags->dynamic && flags->canBeCollected && flags->weak);
    EXPECT_EQ(flags->memoryPolicy, es::PropertyAttributes::MemoryPolicy::Copy);
    EXPECT_EQ(flags->getter.name(), "isOn");
    EXPECT_EQ(flags->setter.name(), "turnOn:");
    EXPECT_EQ(flags->ivar.data(), nullptr);
    EXPECT_EQ(flags->type, "i");
    EXPECT_EQ(es::propertyAttributesFromString("T@\"NoSuchClassAnywhere\",W", "x")->objectClass, nullptr);
}

TEST(PropertyAttributes, EachMalformedFormLogsItsLine) {
    struct Case {
        std::string attributes;
        bool parses;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"", false, "ERROR: Could not get attribute string from property p"},
        {"X@", false, "ERROR: Expected attribute string \"X@\" for property p to start with 'T'"},
        {"T{Broken", false, "ERROR: Could not read past type in attribute string \"T{Broken\" for property p"},
        {"T,R", false, "ERROR: Could not read past type in attribute string \"T,R\" for property p"},
        {"Ti,G,N", false, "ERROR: Found zero length selector name in attribute string \"Ti,G,N\" for property p"},
        {"Ti,S", false, "ERROR: Found zero length selector name in attribute string \"Ti,S\" for property p"},
        {"Ti,t@,N", true, "ERROR: Old-style type encoding is unsupported in attribute string \"Ti,t@,N\" for property p"},
        {"Ti,X", true, "ERROR: Unrecognized attribute string flag 'X' in attribute string \"Ti,X\" for property p"},
        {"Ti,R$", true, "Warning: Unparsed data \"$\" in attribute string \"Ti,R$\" for property p"},
    };
    for (const Case& c : cases) {
        ns::CapturedLog log;
        auto attributes = es::propertyAttributesFromString(c.attributes, "p");
        EXPECT_EQ(static_cast<bool>(attributes), c.parses) << c.attributes;
        EXPECT_EQ(log.lines(), std::vector<std::string>{c.line}) << c.attributes;
    }
    // An empty flag at the end ends the flags quietly.
    ns::CapturedLog log;
    EXPECT_TRUE(es::propertyAttributesFromString("Ti,N,", "p"));
    EXPECT_TRUE(log.lines().empty());
}

// Mutations of well-formed strings, each read from a buffer of exactly its size (the sanitizer
// passes catch a read past it): the parser never reads outside the text, and what it points
// into is inside it.
TEST(PropertyAttributes, StaysInsideTheTextOnMutatedInput) {
    ns::CapturedLog quiet;
    const std::vector<std::string> seeds = {"T@\"NSString\",&,N,V_name", "Ti,R,GisOn,SsetOn:,V_on", "T{CGRect={CGPoint=dd}}"};
    const std::string alphabet = ",\"T@{}()[]^?GSVDtWRNC&P0i";
    std::size_t parsed = 0;
    for (const std::string& seed : seeds) {
        std::vector<std::string> inputs;
        for (std::size_t n = 0; n <= seed.size(); ++n) inputs.push_back(seed.substr(0, n));
        for (std::size_t i = 0; i < seed.size(); ++i)
            for (char c : alphabet) {
                std::string s = seed;
                s[i] = c;
                inputs.push_back(s);
            }
        for (const std::string& input : inputs) {
            auto buffer = std::make_unique<char[]>(input.size() + 1);
            std::copy(input.begin(), input.end(), buffer.get());
            std::string_view text(buffer.get(), input.size());
            auto attributes = es::propertyAttributesFromString(text, "p");
            if (!attributes) continue;
            ++parsed;
            if (attributes->ivar.data()) {
                EXPECT_GE(attributes->ivar.data(), text.data());
                EXPECT_LE(attributes->ivar.data() + attributes->ivar.size(), text.data() + text.size());
            }
            EXPECT_LE(attributes->type.size(), text.size());
        }
    }
    EXPECT_GT(parsed, 0u);
}

} // namespace
