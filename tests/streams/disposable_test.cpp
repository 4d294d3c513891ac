#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "streams/disposable.h"

namespace {

using es::CompoundDisposable;
using es::Disposable;
using es::SerialDisposable;
using rt::Ref;

TEST(Disposable, BlockRunsExactlyOnceUnderRacingDisposers) {
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> runs{0};
        auto d = Disposable::withBlock([&] { ++runs; });
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 16; ++t)
            threads.emplace_back([&] {
                while (!go)
                    std::this_thread::yield(); // a bare spin starves the others under ThreadSanitizer
                d->dispose();
            });
        go = true;
        for (auto& t : threads) t.join();
        ASSERT_EQ(runs, 1);
        EXPECT_TRUE(d->isDisposed());
    }
}

TEST(Disposable, BornStates) {
    EXPECT_TRUE(Disposable::withBlock(nullptr)->isDisposed());
    auto plain = Disposable::make();
    EXPECT_FALSE(plain->isDisposed());
    plain->dispose();
    EXPECT_TRUE(plain->isDisposed());
}

TEST(Disposable, ReleasingALiveDisposableRunsNothing) {
    int runs = 0;
    { auto d = Disposable::withBlock([&] { ++runs; }); }
    EXPECT_EQ(runs, 0);
}

TEST(CompoundDisposable, DisposesMembersInOrderOnce) {
    std::string order;
    std::vector<Ref<rt::Disposable>> members;
    for (char c : std::string("abcde")) members.push_back(Disposable::withBlock([&, c] { order += c; }));
    auto compound = CompoundDisposable::withDisposables(members);
    compound->addDisposable(Disposable::withBlock([&] { order += 'f'; }));
    EXPECT_FALSE(compound->isDisposed());
    compound->dispose();
    compound->dispose();
    EXPECT_EQ(order, "abcdef");
    EXPECT_TRUE(compound->isDisposed());
}

TEST(CompoundDisposable, LetsGoOfEndedMembersAsItGrowsAndKeepsTheOrderOfTheLive) {
    std::string order;
    auto compound = CompoundDisposable::make();
    std::int64_t before = rt::liveObjectCount();
    for (int i = 0; i < 1000; ++i) {
        auto member = Disposable::make();
        compound->addDisposable(member);
        member->dispose(); // it ends before the compound does
        if (i % 250 == 0) compound->addDisposable(Disposable::withBlock([&order, i] { order += std::to_string(i) + " "; }));
    }
    EXPECT_LT(rt::liveObjectCount() - before, 16); // the four live ones, and a few ended ones not yet swept
    compound->dispose();
    EXPECT_EQ(order, "0 250 500 750 ");
}

TEST(CompoundDisposable, AnAddFillsSlotZeroThenSlotOneThenTheArray) {
    // "+a" adds member a, "-a" removes it, "!a" disposes it on its own; the compound's disposal
    // then runs the members in slot 0, slot 1, array order. An ended member keeps its slot.
    const std::pair<const char*, const char*> cases[] = {
        {"+a +b +c -a +d", "dbc"},
        {"+a +b +c -b +d", "adc"},
        {"+a +b +c +d -a -b +e +f", "efcd"},
        {"+a +b +c +d !a !c +e", "bde"},
    };
    for (const auto& [steps, disposal] : cases) {
        std::string order;
        std::map<char, Ref<Disposable>> members;
        auto compound = CompoundDisposable::make();
        std::istringstream read(steps);
        for (std::string step; read >> step;) {
            const char name = step[1];
            auto& member = members[name];
            if (!member) member = Disposable::withBlock([&order, name] { order += name; });
            if (step[0] == '+') compound->addDisposable(member);
            else if (step[0] == '-') compound->removeDisposable(member.get());
            else member->dispose();
        }
        order.clear();
        compound->dispose();
        EXPECT_EQ(order, disposal) << steps;
    }
}

TEST(CompoundDisposable, AddedAfterDisposalIsDisposedAtOnce) {
    auto compound = CompoundDisposable::make();
    compound->dispose();
    int late = 0;
    compound->addDisposable(Disposable::withBlock([&] { ++late; }));
    EXPECT_EQ(late, 1);
}

TEST(CompoundDisposable, IgnoresNilAndDisposedAndRemovesEveryReference) {
    auto compound = CompoundDisposable::make();
    compound->addDisposable(nullptr);
    auto disposed = Disposable::make();
    disposed->dispose();
    compound->addDisposable(disposed);

    int runs = 0;
    auto twice = Disposable::withBlock([&] { ++runs; });
    compound->addDisposable(twice);
    compound->addDisposable(Disposable::make());
    compound->addDisposable(twice); // third member: goes to the array
    compound->removeDisposable(twice.get());
    compound->dispose();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(twice->isDisposed());
}

TEST(CompoundDisposable, MemberMayAddToOrDisposeItsCompound) {
    auto compound = CompoundDisposable::make();
    rt::Weak<CompoundDisposable> weak = compound;
    int added = 0, nested = 0;
    compound->addDisposable(Disposable::withBlock([&] {
        auto c = weak.lock();
        c->addDisposable(Disposable::withBlock([&] { ++added; }));
        c->dispose();
    }));
    compound->addDisposable(Disposable::withBlock([&] { ++nested; }));
    compound->dispose();
    EXPECT_EQ(added, 1);
    EXPECT_EQ(nested, 1);
}

TEST(CompoundDisposable, MembersMayDisposeTheirCompoundWhileOtherThreadsDisposeIt) {
    auto other = CompoundDisposable::make();
    std::vector<std::thread> threads;
    std::atomic<int> runs{0};
    for (int i = 0; i < 8; ++i)
        other->addDisposable(Disposable::withBlock([&, w = rt::Weak<CompoundDisposable>(other)] {
            ++runs;
            if (auto c = w.lock()) c->dispose();
        }));
    for (int t = 0; t < 4; ++t) threads.emplace_back([&] { other->dispose(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(runs, 8);
}

TEST(SerialDisposable, SwapAndSetSemantics) {
    int firstRuns = 0, secondRuns = 0, lateRuns = 0;
    auto first = Disposable::withBlock([&] { ++firstRuns; });
    auto serial = SerialDisposable::withDisposable(first);
    EXPECT_EQ(serial->disposable(), first);

    auto second = Disposable::withBlock([&] { ++secondRuns; });
    EXPECT_EQ(serial->swapInDisposable(second), first);
    EXPECT_EQ(firstRuns, 0); // replaced, not disposed
    serial->setDisposable(nullptr);
    serial->setDisposable(second);

    serial->dispose();
    EXPECT_EQ(secondRuns, 1);
    EXPECT_TRUE(serial->isDisposed());
    EXPECT_FALSE(serial->disposable());

    auto late = Disposable::withBlock([&] { ++lateRuns; });
    EXPECT_FALSE(serial->swapInDisposable(late));
    EXPECT_EQ(lateRuns, 1);
    EXPECT_FALSE(serial->disposable());
    serial->dispose();
    EXPECT_EQ(secondRuns, 1);
}

TEST(ScopedDisposable, DisposesOnLastRelease) {
    int runs = 0;
    auto inner = Disposable::withBlock([&] { ++runs; });
    {
        auto scoped = inner->asScopedDisposable();
        EXPECT_EQ(scoped->asScopedDisposable(), scoped);
        Ref<es::ScopedDisposable> another = scoped;
        scoped = nullptr;
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(inner->isDisposed());
}

} // namespace
