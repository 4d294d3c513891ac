#include "streams/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/foundation/date.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(Scheduler, "ESScheduler", rt::Object)
RT_DEFINE_CLASS(ImmediateScheduler, "ESImmediateScheduler", Scheduler)
RT_DEFINE_CLASS(QueueScheduler, "ESQueueScheduler", Scheduler)
RT_DEFINE_CLASS(TargetQueueScheduler, "ESTargetQueueScheduler", QueueScheduler)
RT_DEFINE_CLASS(SubscriptionScheduler, "ESSubscriptionScheduler", Scheduler)
RT_DEFINE_CLASS(TestSchedulerAction, "ESTestSchedulerAction", rt::Object)
RT_DEFINE_CLASS(TestScheduler, "ESTestScheduler", Scheduler)

namespace {

// The scheduler whose work this thread runs (set only around that work).
thread_local Scheduler* tCurrent = nullptr;

std::string prefixed(std::string_view rest) { return std::string(kReverseDomainPrefix) + std::string(rest); }

// One immortal instance per T (the template parameter keeps the three statics apart).
template <class T>
const rt::Ref<Scheduler>& shared(rt::Ref<Scheduler> (*makeOne)()) {
    static const rt::Ref<Scheduler> instance = [&] {
        rt::PermanentScope permanent; // the scheduler and what it owns live for the process
        rt::Ref<Scheduler> s = makeOne();
        rt::makeImmortal(*s);
        return s;
    }();
    return instance;
}

std::string address(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

} // namespace

// ---- Scheduler ----------------------------------------------------------------------------

Scheduler::Scheduler(std::string name) : name_(std::move(name)) {
    // The class is known from the first line of the constructor (rt::make sets it first).
    if (name_.empty()) name_ = prefixed("." + std::string(getClass().name()) + ".anonymousScheduler");
}

const rt::Ref<Scheduler>& Scheduler::immediateScheduler() {
    return shared<ImmediateScheduler>([] { return rt::Ref<Scheduler>(rt::make<ImmediateScheduler>()); });
}

const rt::Ref<Scheduler>& Scheduler::mainThreadScheduler() {
    return shared<TargetQueueScheduler>([] {
        return rt::Ref<Scheduler>(TargetQueueScheduler::withNameTargetQueue(
            prefixed(".ESScheduler.mainThreadScheduler"), dispatch::Queue::main()));
    });
}

const rt::Ref<Scheduler>& Scheduler::subscriptionScheduler() {
    return shared<SubscriptionScheduler>([] { return rt::Ref<Scheduler>(rt::make<SubscriptionScheduler>()); });
}

rt::Ref<Scheduler> Scheduler::schedulerWithPriorityName(dispatch::Priority priority, std::string name) {
    return TargetQueueScheduler::withNameTargetQueue(std::move(name), dispatch::Queue::global(priority));
}

rt::Ref<Scheduler> Scheduler::schedulerWithPriority(dispatch::Priority priority) {
    return schedulerWithPriorityName(priority, prefixed(".ESScheduler.backgroundScheduler"));
}

rt::Ref<Scheduler> Scheduler::scheduler() { return schedulerWithPriority(dispatch::Priority::Default); }

rt::Ref<Scheduler> Scheduler::schedulerWithQueueName(const rt::Ref<dispatch::Queue>& queue, std::string name) {
    return TargetQueueScheduler::withNameTargetQueue(std::move(name), queue);
}

rt::Ref<Scheduler> Scheduler::currentScheduler() {
    if (tCurrent) return rt::Ref<Scheduler>(tCurrent);
    if (ns::Thread::isMainThread() || ns::OperationQueue::currentQueue() == ns::OperationQueue::mainQueue())
        return mainThreadScheduler();
    return nullptr;
}

rt::Ref<Disposable> Scheduler::schedule(Block) { return nullptr; }

rt::Ref<Disposable> Scheduler::afterSchedule(const rt::Ref<ns::Date>&, Block) { return nullptr; }

rt::Ref<Disposable> Scheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double, double,
                                                                     Block) {
    return nullptr;
}

rt::Ref<Disposable> Scheduler::afterDelaySchedule(double seconds, Block block) {
    return afterSchedule(ns::Date::now()->dateByAddingTimeInterval(seconds), std::move(block));
}

void Scheduler::performAsCurrentScheduler(const Block& block) {
    // Restores the previous current scheduler even if the block throws.
    struct Restore {
        Scheduler* previous;
        ~Restore() { tCurrent = previous; }
    } restore{tCurrent};
    tCurrent = this;
    block();
}

rt::Ref<Disposable> Scheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    auto disposable = CompoundDisposable::make();
    scheduleRecursiveStep(std::make_shared<RecursiveBlock>(std::move(block)), disposable);
    return disposable;
}

void Scheduler::scheduleRecursiveStep(const std::shared_ptr<RecursiveBlock>& block,
                                      const rt::Ref<CompoundDisposable>& disposable) {
    auto step = CompoundDisposable::make();
    disposable->addDisposable(step);
    rt::Weak<CompoundDisposable> weakStep = step;
    rt::Ref<Scheduler> self(this);
    auto unit = schedule([self, block, disposable, weakStep] {
        if (auto s = weakStep.lock()) disposable->removeDisposable(s.get());
        if (disposable->isDisposed()) return;

        // Reschedules asked for while the block runs wait until it has returned.
        struct State {
            std::mutex lock;
            int pending = 0;
            bool returned = false;
        };
        auto state = std::make_shared<State>();
        auto reschedule = [self, block, disposable, state] {
            {
                std::lock_guard g(state->lock);
                if (!state->returned) {
                    ++state->pending;
                    return;
                }
            }
            if (!disposable->isDisposed()) self->scheduleRecursiveStep(block, disposable);
        };
        (*block)(reschedule);
        int pending;
        {
            std::lock_guard g(state->lock);
            pending = state->pending;
            state->returned = true;
        }
        for (int i = 0; i < pending && !disposable->isDisposed(); ++i) self->scheduleRecursiveStep(block, disposable);
    });
    step->addDisposable(unit);
}

std::string Scheduler::description() const {
    return "<" + std::string(getClass().name()) + ": " + address(this) + "> " + name_;
}

// ---- ImmediateScheduler -------------------------------------------------------------------

ImmediateScheduler::ImmediateScheduler() : Scheduler(prefixed(".ESScheduler.immediateScheduler")) {}

rt::Ref<Disposable> ImmediateScheduler::schedule(Block block) {
    block();
    return nullptr;
}

rt::Ref<Disposable> ImmediateScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    if (date) dispatch::Semaphore::make(0)->wait(date->timeIntervalSinceReferenceDate());
    block();
    return nullptr;
}

rt::Ref<Disposable> ImmediateScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double,
                                                                              double, Block) {
    return nullptr;
}

rt::Ref<Disposable> ImmediateScheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    // Iterative on the calling thread: each reschedule adds one more pass.
    std::uint64_t remaining = 1;
    auto reschedule = [&remaining] { ++remaining; };
    while (remaining > 0) {
        block(reschedule);
        --remaining;
    }
    return nullptr;
}

// ---- QueueScheduler -----------------------------------------------------------------------

QueueScheduler::QueueScheduler(std::string name, rt::Ref<dispatch::Queue> queue)
    : Scheduler(std::move(name)), queue_(std::move(queue)) {}

rt::Ref<QueueScheduler> QueueScheduler::withNameQueue(std::string name, rt::Ref<dispatch::Queue> queue) {
    return rt::make<QueueScheduler>(std::move(name), std::move(queue));
}

dispatch::Time QueueScheduler::wallTimeWithDate(const rt::Ref<ns::Date>& date) {
    return date ? date->timeIntervalSinceReferenceDate() : dispatch::now();
}

rt::Ref<Disposable> QueueScheduler::schedule(Block block) {
    auto disposable = Disposable::make();
    dispatch::async(queue_, [self = rt::Ref<QueueScheduler>(this), disposable, block = std::move(block)] {
        if (!disposable->isDisposed()) self->performAsCurrentScheduler(block);
    });
    return disposable;
}

rt::Ref<Disposable> QueueScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    // A dispatch after cannot be withdrawn, so what the work holds is given up on disposal
    // rather than at the deadline.
    struct Pending {
        std::mutex lock;
        rt::Ref<QueueScheduler> scheduler;
        Block block;
    };
    auto pending = std::make_shared<Pending>();
    pending->scheduler = rt::Ref<QueueScheduler>(this);
    pending->block = std::move(block);
    dispatch::asyncAfter(wallTimeWithDate(date), queue_, [pending] {
        rt::Ref<QueueScheduler> scheduler;
        Block block;
        {
            std::lock_guard g(pending->lock);
            scheduler = std::move(pending->scheduler);
            block = std::move(pending->block);
        }
        if (block) scheduler->performAsCurrentScheduler(block);
    });
    return Disposable::withBlock([pending] {
        rt::Ref<QueueScheduler> scheduler; // declared before the guard: released after the unlock
        Block block;
        std::lock_guard g(pending->lock);
        scheduler = std::move(pending->scheduler);
        block = std::move(pending->block);
    });
}

rt::Ref<Disposable> QueueScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                          double interval, double leeway,
                                                                          Block block) {
    auto source = dispatch::TimerSource::make(queue_);
    source->setTimer(wallTimeWithDate(date), interval, leeway);
    source->setEventHandler(std::move(block));
    source->resume();
    return Disposable::withBlock([source] { source->cancel(); });
}

rt::Ref<TargetQueueScheduler> TargetQueueScheduler::withNameTargetQueue(std::string name,
                                                                        const rt::Ref<dispatch::Queue>& target) {
    if (name.empty()) name = prefixed(".ESTargetQueueScheduler(" + target->label() + ")");
    auto queue = dispatch::Queue::serial(name, target);
    if (!queue) return nullptr;
    return rt::make<TargetQueueScheduler>(std::move(name), std::move(queue));
}

// ---- SubscriptionScheduler ----------------------------------------------------------------

SubscriptionScheduler::SubscriptionScheduler()
    : Scheduler(prefixed(".ESScheduler.subscriptionScheduler")), background_(Scheduler::scheduler()) {}

rt::Ref<Disposable> SubscriptionScheduler::schedule(Block block) {
    if (!currentScheduler()) return background_->schedule(std::move(block));
    block();
    return nullptr;
}

rt::Ref<Disposable> SubscriptionScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    rt::Ref<Scheduler> target = currentScheduler();
    return (target ? target : background_)->afterSchedule(date, std::move(block));
}

rt::Ref<Disposable> SubscriptionScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                                 double interval, double leeway,
                                                                                 Block block) {
    rt::Ref<Scheduler> target = currentScheduler();
    return (target ? target : background_)
        ->afterRepeatingEveryWithLeewaySchedule(date, interval, leeway, std::move(block));
}

// ---- TestScheduler ------------------------------------------------------------------------

TestSchedulerAction::TestSchedulerAction(rt::Ref<ns::Date> date, Scheduler::Block block, std::uint64_t order)
    : date_(std::move(date)), block_(std::move(block)), disposable_(Disposable::make()), order_(order) {}

std::string TestSchedulerAction::description() const {
    return "<" + std::string(getClass().name()) + ": " + address(this) + ">{ date: " + date_->description() + " }";
}

// std::*_heap keeps the "largest" first; this makes that the earliest (date, order).
bool TestScheduler::runsLater(const rt::Ref<TestSchedulerAction>& a, const rt::Ref<TestSchedulerAction>& b) {
    double da = a->date_->timeIntervalSinceReferenceDate(), db = b->date_->timeIntervalSinceReferenceDate();
    return da != db ? da > db : a->order_ > b->order_;
}

TestScheduler::TestScheduler() : Scheduler(prefixed(".ESTestScheduler")) {}

TestScheduler::~TestScheduler() { stepAll(); }

rt::Ref<Disposable> TestScheduler::add(rt::Ref<ns::Date> date, Block block) {
    rt::SyncGuard guard(this);
    auto action = rt::make<TestSchedulerAction>(std::move(date), std::move(block), nextOrder_++);
    heap_.push_back(action);
    std::push_heap(heap_.begin(), heap_.end(), runsLater);
    return action->disposable_;
}

rt::Ref<Disposable> TestScheduler::schedule(Block block) {
    rt::SyncGuard guard(this);
    auto date = ns::Date::withTimeIntervalSinceReferenceDate(static_cast<double>(numberOfDirectlyScheduledBlocks_++));
    return add(std::move(date), std::move(block));
}

rt::Ref<Disposable> TestScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    return add(date, std::move(block));
}

rt::Ref<Disposable> TestScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                         double interval, double leeway,
                                                                         Block block) {
    auto repetition = CompoundDisposable::make();
    auto own = std::make_shared<rt::Ref<Disposable>>();
    rt::Weak<TestScheduler> weakSelf(this);
    auto first = add(date, [repetition, own, weakSelf, date, interval, leeway, block] {
        repetition->removeDisposable(own->get());
        if (auto self = weakSelf.lock()) {
            repetition->addDisposable(self->afterRepeatingEveryWithLeewaySchedule(
                date->dateByAddingTimeInterval(interval), interval, leeway, block));
        }
        block();
    });
    *own = first;
    repetition->addDisposable(first);
    return repetition;
}

void TestScheduler::step(std::uint64_t count) {
    rt::SyncGuard guard(this);
    for (std::uint64_t i = 0; i < count && !heap_.empty(); ++i) {
        std::pop_heap(heap_.begin(), heap_.end(), runsLater);
        rt::Ref<TestSchedulerAction> action = std::move(heap_.back());
        heap_.pop_back();
        if (action->disposable_->isDisposed()) continue;
        performAsCurrentScheduler(action->block_);
    }
}

std::size_t TestScheduler::scheduledActionCount() const {
    rt::SyncGuard guard(this);
    return heap_.size();
}

} // namespace es
