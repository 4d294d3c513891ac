// cf: allocators and the objects made through them, dictionaries and their deep copies, run-loop
// observers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/corefoundation/dictionary.h"
#include "platform/corefoundation/run_loop_observer.h"
#include "platform/foundation/array.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "tests/testkit/cf_dictionary.h"

namespace {

// An allocator context over malloc that counts its calls and the info's retains; `failing`
// makes it refuse every request.
struct Counting {
    std::mutex lock;
    std::vector<void*> allocated, freed;
    int retained = 0;
    bool failing = false;
    std::thread::id lastFreeThread;

    cf::AllocatorContext context() {
        cf::AllocatorContext c;
        c.info = this;
        c.retain = [](const void* info) {
            ++static_cast<Counting*>(const_cast<void*>(info))->retained;
            return info;
        };
        c.release = [](const void* info) { --static_cast<Counting*>(const_cast<void*>(info))->retained; };
        c.allocate = [](std::size_t size, cf::OptionFlags, void* info) -> void* {
            auto& self = *static_cast<Counting*>(info);
            if (self.failing) return nullptr;
            void* block = std::malloc(size);
            std::lock_guard g(self.lock);
            self.allocated.push_back(block);
            return block;
        };
        c.deallocate = [](void* block, void* info) {
            auto& self = *static_cast<Counting*>(info);
            {
                std::lock_guard g(self.lock);
                self.freed.push_back(block);
                self.lastFreeThread = std::this_thread::get_id();
            }
            std::free(block);
        };
        return c;
    }
};

rt::Ref<ns::String> str(const char* text) {
    return ns::String::make(text);
}

TEST(CoreFoundationAllocators, TheDefaultIsPerThreadAndReleasedWhenTheThreadEnds) {
    Counting counting;
    cf::AllocatorRef counted = cf::allocatorCreate(nullptr, counting.context());
    ASSERT_NE(counted, nullptr);
    EXPECT_EQ(cf::getTypeID(counted), cf::allocatorGetTypeID());
    EXPECT_EQ(counting.retained, 1);
    EXPECT_EQ(cf::allocatorGetDefault(), cf::allocatorSystemDefault());

    cf::AllocatorRef seenElsewhere = nullptr, seenInside = nullptr;
    std::thread other([&] {
        cf::allocatorSetDefault(counted);
        seenInside = cf::allocatorGetDefault();
        void* block = cf::allocatorAllocate(nullptr, 32);
        cf::allocatorDeallocate(nullptr, block);
    });
    other.join();
    std::thread third([&] { seenElsewhere = cf::allocatorGetDefault(); });
    third.join();
    EXPECT_EQ(seenInside, counted);
    EXPECT_EQ(seenElsewhere, cf::allocatorSystemDefault());
    EXPECT_EQ(cf::allocatorGetDefault(), cf::allocatorSystemDefault());
    EXPECT_EQ(counting.allocated.size(), 1u);
    EXPECT_EQ(counting.freed, counting.allocated);
    // The ended thread gave its reference back: ours is the last.
    EXPECT_EQ(cf::getRetainCount(counted), 1);
    cf::release(counted);
    EXPECT_EQ(counting.retained, 0) << "the allocator released its info when it died";
}

TEST(CoreFoundationAllocators, ReallocationFollowsItsSpecialCasesAndAFailureKeepsTheBlock) {
    // The system allocator: a null block allocates, a size of 0 frees.
    void* block = cf::allocatorReallocate(cf::allocatorSystemDefault(), nullptr, 8);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abcdefg", 8);
    block = cf::allocatorReallocate(cf::allocatorSystemDefault(), block, 64);
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(static_cast<const char*>(block), "abcdefg");
    EXPECT_EQ(cf::allocatorReallocate(cf::allocatorSystemDefault(), block, 0), nullptr);
    EXPECT_EQ(cf::allocatorAllocate(cf::allocatorSystemDefault(), 0), nullptr);

    // Without a reallocate callback a reallocation fails and the block stays the caller's.
    Counting counting;
    cf::AllocatorRef counted = cf::allocatorCreate(nullptr, counting.context());
    void* kept = cf::allocatorAllocate(counted, 16);
    EXPECT_EQ(cf::allocatorReallocate(counted, kept, 32), nullptr);
    EXPECT_TRUE(counting.freed.empty());
    cf::allocatorDeallocate(counted, kept);
    EXPECT_EQ(counting.freed, std::vector<void*>{kept});
    // Context without allocate: no allocator.
    EXPECT_EQ(cf::allocatorCreate(nullptr, cf::AllocatorContext{}), nullptr);
    EXPECT_EQ(cf::allocatorGetContext(counted).info, &counting);
    cf::release(counted);
}

TEST(CoreFoundationObjects, OneMadeThroughAnAllocatorSitsBehindItAndIsFreedThroughItOnAnyThread) {
    Counting counting;
    cf::AllocatorRef counted = cf::allocatorCreate(nullptr, counting.context());
    cf::DictionaryRef dictionary = testkit::makeCFDictionary(counted, {{str("IOClass"), str("X")}});
    ASSERT_NE(dictionary, nullptr);
    ASSERT_EQ(counting.allocated.size(), 1u) << "the allocator itself came from the default one";
    auto* block = static_cast<unsigned char*>(counting.allocated[0]);
    EXPECT_EQ(static_cast<const void*>(block + cf::kAllocatorPrefixSize), dictionary);
    cf::AllocatorRef word;
    std::memcpy(&word, block, sizeof word);
    EXPECT_EQ(word, counted);
    const auto* header = static_cast<const cf::ObjectHeader*>(static_cast<const void*>(dictionary));
    EXPECT_EQ(header->typeID, cf::dictionaryGetTypeID());
    EXPECT_EQ(cf::getRetainCount(counted), 2) << "the object holds its allocator";

    cf::release(counted); // the dictionary keeps it alive
    std::thread releaser([&] { cf::release(dictionary); });
    const auto releaserId = releaser.get_id();
    releaser.join();
    EXPECT_EQ(counting.freed.front(), block);
    EXPECT_EQ(counting.lastFreeThread, releaserId);
    EXPECT_EQ(counting.retained, 0) << "the allocator died with its last object";

    // An allocator that fails makes no objects, and nothing holds it.
    Counting refusing;
    refusing.failing = true;
    cf::AllocatorRef failing = cf::allocatorCreate(nullptr, refusing.context());
    ASSERT_NE(failing, nullptr) << "its own object comes from the default allocator";
    EXPECT_EQ(testkit::makeCFDictionary(failing, {{str("k"), str("v")}}), nullptr);
    EXPECT_EQ(cf::getRetainCount(failing), 1);
    cf::release(failing);
}

// Calls its hook when it dies.
class OnDealloc : public rt::Object {
    RT_CLASS(OnDealloc)
public:
    std::function<void()> hook;
    ~OnDealloc() override {
        if (hook) hook();
    }
};
RT_DEFINE_CLASS(OnDealloc, "CoreFoundationTestOnDealloc", rt::Object)

TEST(CoreFoundationObjects, TryRetainRefusesAnObjectWhoseLastReleaseBegan) {
    auto value = rt::make<OnDealloc>();
    cf::DictionaryRef dictionary = testkit::makeCFDictionary(nullptr, {{str("k"), value}});
    EXPECT_TRUE(cf::tryRetain(dictionary));
    EXPECT_EQ(cf::getRetainCount(dictionary), 2);
    cf::release(dictionary);
    int tries = 0;
    bool retainedWhileDying = true;
    value->hook = [&] {
        ++tries;
        retainedWhileDying = cf::tryRetain(dictionary);
    };
    value = nullptr; // the dictionary holds the last reference
    cf::release(dictionary);
    EXPECT_EQ(tries, 1);
    EXPECT_FALSE(retainedWhileDying);
    EXPECT_FALSE(cf::tryRetain(nullptr));
    EXPECT_TRUE(cf::tryRetain(cf::allocatorSystemDefault())) << "immortal";
}

TEST(CoreFoundationDictionaries, OneClassForAllReadThroughTheBridgeWithoutCopying) {
    cf::DictionaryRef empty = cf::dictionaryCreate(nullptr, nullptr, nullptr, 0);
    rt::Id keys[] = {str("IOClass"), nullptr, str("Voltage"), str("IOClass")};
    rt::Id values[] = {str("First"), str("no key"), ns::Number::withInt(3800), str("AppleARMPMUCharger")};
    cf::DictionaryRef full = cf::dictionaryCreate(nullptr, keys, values, 4);
    const auto* a = static_cast<const cf::ObjectHeader*>(static_cast<const void*>(empty));
    const auto* b = static_cast<const cf::ObjectHeader*>(static_cast<const void*>(full));
    EXPECT_EQ(a->isa, b->isa);
    EXPECT_EQ(cf::getTypeID(empty), cf::dictionaryGetTypeID());
    EXPECT_NE(cf::dictionaryGetTypeID(), cf::allocatorGetTypeID());
    EXPECT_EQ(cf::dictionaryGetCount(empty), 0u);

    EXPECT_EQ(cf::dictionaryGetCount(full), 2u) << "a nil key is skipped, a repeated key replaces";
    EXPECT_TRUE(rt::cast<ns::String>(cf::dictionaryGetValue(full, "IOClass"))->isEqualToString("AppleARMPMUCharger"));
    EXPECT_TRUE(cf::dictionaryGetValue(full, str("Voltage"))->isEqual(ns::Number::withInt(3800).get()));
    EXPECT_EQ(cf::dictionaryGetValue(full, "Missing"), nullptr);

    const rt::Ref<ns::Dictionary>& bridged = cf::bridgedDictionary(full);
    EXPECT_EQ(bridged.get(), cf::bridgedDictionary(full).get());
    EXPECT_EQ(bridged->objectForKey("Voltage"), cf::dictionaryGetValue(full, "Voltage"));
    rt::Ref<ns::Dictionary> kept = bridged;
    cf::release(full);
    EXPECT_EQ(kept->count(), 2u) << "the bridged dictionary outlives its holder";
    cf::release(empty);
}

TEST(CoreFoundationDictionaries, DeepCopiesCopyNestedContainersThroughTheGivenAllocator) {
    auto nested = ns::MutableDictionary::make();
    nested->setObjectForKey(str("inner"), str("k"));
    auto list = ns::Array::make({nested, str("leaf")});
    cf::DictionaryRef source = testkit::makeCFDictionary(nullptr, {{str("nested"), nested}, {str("list"), list}});

    Counting counting;
    cf::AllocatorRef counted = cf::allocatorCreate(nullptr, counting.context());
    cf::PropertyListRef copy = cf::propertyListCreateDeepCopy(counted, source, cf::PropertyListImmutable);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(counting.allocated.size(), 1u) << "the copy alone";
    EXPECT_EQ(static_cast<const void*>(static_cast<unsigned char*>(counting.allocated[0]) + cf::kAllocatorPrefixSize),
              copy);
    const auto& copied = cf::bridgedDictionary(static_cast<cf::DictionaryRef>(copy));
    EXPECT_TRUE(copied->isEqual(cf::bridgedDictionary(source).get()));

    nested->setObjectForKey(str("changed"), str("k"));
    auto copiedNested = rt::cast<ns::Dictionary>(copied->objectForKey("nested"));
    ASSERT_NE(copiedNested, nullptr);
    EXPECT_EQ(rt::cast<ns::MutableDictionary>(copiedNested), nullptr) << "immutable";
    EXPECT_TRUE(rt::cast<ns::String>(copiedNested->objectForKey("k"))->isEqualToString("inner"));
    auto copiedList = rt::cast<ns::Array>(copied->objectForKey("list"));
    EXPECT_NE(copiedList->objectAtIndex(0).get(), nested.get());
    EXPECT_EQ(copiedList->objectAtIndex(1).get(), list->objectAtIndex(1).get()) << "leaves are shared";

    EXPECT_EQ(cf::propertyListCreateDeepCopy(nullptr, source, 1), nullptr) << "only immutable copies";
    EXPECT_EQ(cf::propertyListCreateDeepCopy(nullptr, counted, cf::PropertyListImmutable), nullptr);
    EXPECT_EQ(cf::propertyListCreateDeepCopy(nullptr, nullptr, cf::PropertyListImmutable), nullptr);
    cf::release(copy);
    cf::release(source);
    cf::release(counted);
    EXPECT_EQ(counting.freed, counting.allocated);
}

// Runs `body` on a thread of its own with that thread's run loop, and joins it.
template <class Body>
void onOwnRunLoop(Body body) {
    std::thread thread([&] { body(ns::RunLoop::current()); });
    thread.join();
}

TEST(CoreFoundationRunLoopObservers, AfterWaitingFiresBeforeEachPassOfWorkInOrderAndMode) {
    std::vector<std::string> heard;
    onOwnRunLoop([&](const rt::Ref<ns::RunLoop>& loop) {
        auto observe = [&](std::string name, cf::OptionFlags activities, bool repeats, long order, std::string_view mode) {
            cf::RunLoopObserverRef observer = cf::runLoopObserverCreate(
                nullptr, activities, repeats, order, [&heard, name](cf::RunLoopObserverRef o, cf::OptionFlags activity) {
                    EXPECT_EQ(cf::getTypeID(o), cf::runLoopObserverGetTypeID());
                    heard.push_back(name + (activity == cf::RunLoopAfterWaiting ? "" : "?"));
                });
            cf::runLoopAddObserver(loop, observer, mode);
            cf::release(observer);
        };
        observe("late", cf::RunLoopAfterWaiting, true, 5, ns::RunLoopCommonModes);
        observe("early", cf::RunLoopAfterWaiting, true, -1, ns::DefaultRunLoopMode);
        observe("once", cf::RunLoopAfterWaiting, false, 0, ns::DefaultRunLoopMode);
        observe("tracking", cf::RunLoopAfterWaiting, true, 0, ns::TrackingRunLoopMode);
        observe("other activity", 1UL << 5, true, 0, ns::DefaultRunLoopMode);

        EXPECT_FALSE(loop->runMode(ns::DefaultRunLoopMode, nullptr));
        EXPECT_TRUE(heard.empty()) << "no work, no wake";

        loop->performBlock([&] { heard.push_back("block"); });
        loop->runMode(ns::DefaultRunLoopMode, nullptr);
        auto source = ns::RunLoopSource::make([&] { heard.push_back("source"); });
        loop->addSource(source, ns::DefaultRunLoopMode);
        source->signal();
        loop->runMode(ns::DefaultRunLoopMode, nullptr);
        loop->performBlock([&] { heard.push_back("tracked"); });
        loop->runMode(ns::TrackingRunLoopMode, nullptr);
        source->invalidate();
    });
    EXPECT_EQ(heard, (std::vector<std::string>{"early", "once", "late", "block", "early", "late", "source",
                                               "tracking", "late", "tracked"}));
}

} // namespace
