#include <gtest/gtest.h>

#include <string>

#include "platform/runtime/class.h"
#include "streams/dealloc.h"
#include "streams/signal.h"

namespace {

using es::Disposable;
using rt::Ref;

// Records its destruction; its member reads 42 until then.
class DeallocProbe final : public rt::Object {
    RT_CLASS(DeallocProbe)
public:
    int member = 42;
    bool* destroyed = nullptr;

private:
    DeallocProbe() = default;
    ~DeallocProbe() override {
        member = -1;
        if (destroyed) *destroyed = true;
    }
};

RT_DEFINE_CLASS(DeallocProbe, "ESTestDeallocProbe", rt::Object)

TEST(Dealloc, DeallocDisposableIsSharedAndDisposedWhileTheObjectIsWhole) {
    bool destroyed = false;
    auto probe = rt::make<DeallocProbe>();
    probe->destroyed = &destroyed;
    const DeallocProbe* raw = probe.get();
    auto d = es::deallocDisposable(raw);
    ASSERT_TRUE(d);
    EXPECT_EQ(d, es::deallocDisposable(raw));
    std::string order;
    int seenMember = 0;
    es::addDeallocDisposable(raw, Disposable::withBlock([&] {
        order += destroyed ? "late " : "whole ";
        seenMember = raw->member;
        // Asked for during deallocation: the same one, already disposed.
        EXPECT_TRUE(es::deallocDisposable(raw)->isDisposed());
        es::addDeallocDisposable(raw, Disposable::withBlock([&] { order += "added-late "; }));
    }));
    EXPECT_FALSE(d->isDisposed());
    probe = nullptr;
    EXPECT_TRUE(d->isDisposed());
    EXPECT_EQ(order, "whole added-late ");
    EXPECT_EQ(seenMember, 42);
    EXPECT_FALSE(es::deallocDisposable(nullptr));
}

TEST(Dealloc, WillDeallocCompletesWhileTheObjectIsWhole) {
    bool destroyed = false;
    auto probe = rt::make<DeallocProbe>();
    probe->destroyed = &destroyed;
    const DeallocProbe* raw = probe.get();
    rt::Weak<DeallocProbe> weak(probe);
    auto signal = es::willDeallocSignal(raw);
    EXPECT_EQ(signal, es::willDeallocSignal(raw));

    int completions = 0, values = 0, seenMember = 0;
    bool weakWasNull = false, destroyedAtCompletion = true;
    signal->subscribeNextCompleted([&](const rt::Id&) { ++values; },
                                   [&] {
                                       ++completions;
                                       weakWasNull = !weak.lock();
                                       destroyedAtCompletion = destroyed;
                                       seenMember = raw->member;
                                   });
    EXPECT_EQ(completions, 0);
    probe = nullptr;
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(values, 0);
    EXPECT_TRUE(weakWasNull);
    EXPECT_FALSE(destroyedAtCompletion);
    EXPECT_EQ(seenMember, 42);
    EXPECT_TRUE(destroyed);

    // Still completes a subscriber after the object is gone.
    int late = 0;
    signal->subscribeCompleted([&] { ++late; });
    EXPECT_EQ(late, 1);
}

// When the will-dealloc signal was first asked for, relative to the dealloc hook that subscribes
// to it late: before the hook was added (already completed when the hook runs), after it (its
// completion still queued behind the hook), or first inside the hook.
enum Made { BeforeHook, AfterHook, InHook };

void expectLateSubscriberCompletesAtOnce(Made made) {
    auto probe = rt::make<DeallocProbe>();
    const DeallocProbe* raw = probe.get();
    if (made == BeforeHook) es::willDeallocSignal(raw);
    bool completedInHook = false;
    auto hook = Disposable::withBlock([&] {
        bool completed = false;
        es::willDeallocSignal(raw)->subscribeCompleted([&] { completed = true; });
        completedInHook = completed;
    });
    es::addDeallocDisposable(raw, hook);
    hook = nullptr;
    if (made == AfterHook) es::willDeallocSignal(raw);
    probe = nullptr;
    EXPECT_TRUE(completedInHook);
}

TEST(Dealloc, LateWillDeallocSubscriberCompletesAtOnceWhenTheSignalWasMadeBeforeTheHook) {
    expectLateSubscriberCompletesAtOnce(BeforeHook);
}

TEST(Dealloc, LateWillDeallocSubscriberCompletesAtOnceWhenTheSignalWasMadeAfterTheHook) {
    expectLateSubscriberCompletesAtOnce(AfterHook);
}

TEST(Dealloc, LateWillDeallocSubscriberCompletesAtOnceWhenTheSignalIsFirstAskedForInTheHook) {
    expectLateSubscriberCompletesAtOnce(InHook);
}

TEST(Dealloc, DidDeallocCompletesAfterTheDestructor) {
    bool destroyed = false;
    auto probe = rt::make<DeallocProbe>();
    probe->destroyed = &destroyed;
    int completions = 0;
    bool destroyedAtCompletion = false;
    auto first = es::didDeallocSignal(probe.get());
    auto second = es::didDeallocSignal(probe.get());
    EXPECT_NE(first, second);
    for (const auto& signal : {first, second})
        signal->subscribeCompleted([&] {
            ++completions;
            destroyedAtCompletion = destroyed;
        });
    probe = nullptr;
    EXPECT_EQ(completions, 2);
    EXPECT_TRUE(destroyedAtCompletion);
}

} // namespace
