#pragma once
// The test scheduler: virtual time for tests. Nothing it is given runs until the test steps it.

#include <cstdint>
#include <memory>
#include <vector>

#include "streams/scheduler.h"

namespace ns {
class Date;
}

namespace es {

// One piece of scheduled work. A repeating action is one object for all its runs: each run moves
// its date on by the interval and puts it back in the heap. Disposing it releases its block at
// once, so work that is never stepped holds nothing (not even the scheduler it would reschedule on).
class TestSchedulerAction final : public rt::Object {
    RT_CLASS(TestSchedulerAction)
public:
    const rt::Ref<ns::Date>& date() const noexcept { return date_; }
    const rt::Ref<Disposable>& disposable() const noexcept { return disposable_; }
    std::string description() const override;

private:
    friend class TestScheduler;
    TestSchedulerAction(rt::Ref<ns::Date> date, std::shared_ptr<Scheduler::Block> block,
                        rt::Ref<Disposable> disposable, std::uint64_t order);

    rt::Ref<ns::Date> date_;
    std::shared_ptr<Scheduler::Block> block_; // emptied by disposal, under the scheduler's lock
    rt::Ref<Disposable> disposable_;
    std::uint64_t order_; // breaks ties between equal dates: earlier scheduled first
    bool repeats_ = false;
    double interval_ = 0;
};

// Virtual time: nothing runs until the test steps it. Directly scheduled blocks run in the order
// scheduled and before any action with a real date.
class TestScheduler final : public Scheduler {
    RT_CLASS(TestScheduler)
public:
    TestScheduler();
    ~TestScheduler() override;

    rt::Ref<Disposable> schedule(Block block) override;
    rt::Ref<Disposable> afterSchedule(const rt::Ref<ns::Date>& date, Block block) override;
    // Leeway is ignored. The next run is scheduled before the block runs, so it comes before
    // anything the block schedules for the same date.
    rt::Ref<Disposable> afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date, double interval,
                                                              double leeway, Block block) override;

    // Runs the earliest action (skipping it if disposed); up to `count` of them.
    void step() { step(1); }
    void step(std::uint64_t count);
    void stepAll() { step(UINT64_MAX); }
    std::size_t scheduledActionCount() const;

private:
    rt::Ref<TestSchedulerAction> add(rt::Ref<ns::Date> date, Block block);
    void push(rt::Ref<TestSchedulerAction> action);
    static bool runsLater(const rt::Ref<TestSchedulerAction>& a, const rt::Ref<TestSchedulerAction>& b);

    std::vector<rt::Ref<TestSchedulerAction>> heap_; // a min-heap by (date, order)
    std::uint64_t numberOfDirectlyScheduledBlocks_ = 0;
    std::uint64_t nextOrder_ = 0;
    bool tearingDown_ = false; // the last run of what is left: repeating actions run once more
};

} // namespace es
