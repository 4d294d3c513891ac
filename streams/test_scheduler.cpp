#include "streams/test_scheduler.h"

#include <algorithm>

#include "platform/foundation/date.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(TestSchedulerAction, "ESTestSchedulerAction", rt::Object)
RT_DEFINE_CLASS(TestScheduler, "ESTestScheduler", Scheduler)

TestSchedulerAction::TestSchedulerAction(rt::Ref<ns::Date> date, std::shared_ptr<Scheduler::Block> block,
                                         rt::Ref<Disposable> disposable, std::uint64_t order)
    : date_(std::move(date)), block_(std::move(block)), disposable_(std::move(disposable)), order_(order) {}

std::string TestSchedulerAction::description() const {
    return rt::Object::description() + "{ date: " + date_->description() + " }";
}

// std::*_heap keeps the "largest" first; this makes that the earliest (date, order).
bool TestScheduler::runsLater(const rt::Ref<TestSchedulerAction>& a, const rt::Ref<TestSchedulerAction>& b) {
    double da = a->date_->timeIntervalSinceReferenceDate(), db = b->date_->timeIntervalSinceReferenceDate();
    return da != db ? da > db : a->order_ > b->order_;
}

TestScheduler::TestScheduler() : Scheduler(std::string(kReverseDomainPrefix) + ".ESTestScheduler") {}

TestScheduler::~TestScheduler() {
    tearingDown_ = true;
    stepAll();
}

void TestScheduler::push(rt::Ref<TestSchedulerAction> action) {
    heap_.push_back(std::move(action));
    std::push_heap(heap_.begin(), heap_.end(), runsLater);
}

rt::Ref<TestSchedulerAction> TestScheduler::add(rt::Ref<ns::Date> date, Block block) {
    auto work = std::make_shared<Block>(std::move(block));
    // Under the scheduler's lock, so never while the block runs (steps hold it).
    auto disposable = Disposable::withBlock([weakSelf = rt::Weak<TestScheduler>(this), work] {
        Block released; // declared before the guard: what it holds goes after the unlock
        if (auto self = weakSelf.lock()) {
            rt::SyncGuard guard(self.get());
            released = std::move(*work);
        }
    });
    rt::SyncGuard guard(this);
    auto action =
        rt::make<TestSchedulerAction>(std::move(date), std::move(work), std::move(disposable), nextOrder_++);
    push(action);
    return action;
}

rt::Ref<Disposable> TestScheduler::schedule(Block block) {
    rt::SyncGuard guard(this);
    auto date =
        ns::Date::withTimeIntervalSinceReferenceDate(static_cast<double>(numberOfDirectlyScheduledBlocks_++));
    return add(std::move(date), std::move(block))->disposable_;
}

rt::Ref<Disposable> TestScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    return add(date, std::move(block))->disposable_;
}

rt::Ref<Disposable> TestScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                         double interval, double,
                                                                         Block block) {
    rt::SyncGuard guard(this);
    auto action = add(date, std::move(block));
    action->repeats_ = true;
    action->interval_ = interval;
    return action->disposable_;
}

void TestScheduler::step(std::uint64_t count) {
    rt::SyncGuard guard(this);
    for (std::uint64_t i = 0; i < count && !heap_.empty(); ++i) {
        std::pop_heap(heap_.begin(), heap_.end(), runsLater);
        rt::Ref<TestSchedulerAction> action = std::move(heap_.back());
        heap_.pop_back();
        if (action->disposable_->isDisposed()) continue;
        if (action->repeats_ && !tearingDown_) {
            action->date_ = action->date_->dateByAddingTimeInterval(action->interval_);
            action->order_ = nextOrder_++;
            push(action);
        }
        if (*action->block_) performAsCurrentScheduler(*action->block_);
    }
}

std::size_t TestScheduler::scheduledActionCount() const {
    rt::SyncGuard guard(this);
    return heap_.size();
}

} // namespace es
