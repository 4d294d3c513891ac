#include "streams/scheduler.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

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

namespace {

// The scheduler whose work this thread runs (set only around that work).
thread_local Scheduler* tCurrent = nullptr;

// Makes a scheduler current for a scope, restoring the previous one even on a throw.
class CurrentScope {
public:
    explicit CurrentScope(Scheduler* scheduler) : previous_(tCurrent) { tCurrent = scheduler; }
    ~CurrentScope() { tCurrent = previous_; }
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

private:
    Scheduler* previous_;
};

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

// What scheduling returns when there is nothing left to cancel: the work ran at once, or was never
// taken. Already disposed, so disposing it again does nothing.
const rt::Ref<Disposable>& nothingToCancel() {
    static const rt::Ref<Disposable> disposed = rt::immortal(Disposable::withBlock(nullptr));
    return disposed;
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

rt::Ref<Disposable> Scheduler::schedule(Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterSchedule(const rt::Ref<ns::Date>&, Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double, double,
                                                                     Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterDelaySchedule(double seconds, Block block) {
    return afterSchedule(ns::Date::now()->dateByAddingTimeInterval(seconds), std::move(block));
}

void Scheduler::performAsCurrentScheduler(const Block& block) {
    CurrentScope scope(this);
    block();
}

// ---- Recursive scheduling ------------------------------------------------------------------

// The runs of one scheduleRecursiveBlock, all driven by this one object. `owed_` counts the runs
// asked for and not yet finished: the start counts one and every reschedule adds one. Whoever
// moves it off zero holds the turn: it queues one run, and a run that finishes with more owed
// queues the next. So one run at most is queued or running, each reschedule gets exactly one run,
// runs never overlap, and a reschedule made while the block runs is taken after it returned.
//
// The reschedule function handed to the block holds this object; it travels from each queued unit
// to the next, so a chain of runs makes it once. The disposable returned by scheduleRecursiveBlock
// holds this object too (not the other way round). Disposal stops the runs: the holder of the turn
// keeps it for good and lets go of the block.
class Scheduler::RecursiveRun final : public rt::Disposable {
    RT_CLASS(RecursiveRun)
public:
    using Reschedule = std::function<void()>;

    void dispose() override;
    bool isDisposed() const override { return disposed_.load(); }

    // One more run (the reschedule function).
    void ask() {
        if (owed_.fetch_add(1) == 0) queueNext(rescheduler());
    }
    // The holder of the turn queues the next run.
    void queueNext(Reschedule reschedule);
    // The unit that runs once and passes the turn on. `current`: made the current scheduler around
    // the run. `ticket`: from beginTracking, when queued through schedule(); 0 otherwise.
    Block takeUnit(Scheduler* current, std::uint64_t ticket);

    // Through schedule(): the disposable of the queued unit, so disposal withdraws it.
    std::uint64_t beginTracking();
    void track(std::uint64_t ticket, rt::Ref<rt::Disposable> unit);

    Reschedule rescheduler() {
        return [run = rt::Ref<RecursiveRun>(this)] { run->ask(); };
    }

    // What a unit queued through schedule() hands back when it ran at once on this thread.
    struct InlineFrame {
        RecursiveRun* run;
        Reschedule carried;
        InlineFrame* outer;
    };
    // The frames of the runs this thread is queueing through schedule(), innermost first.
    static thread_local InlineFrame* tInline;

private:
    RecursiveRun(rt::Ref<Scheduler> scheduler, RecursiveBlock block)
        : scheduler_(std::move(scheduler)), block_(std::move(block)) {}

    class Unit;
    void runOnce(Reschedule& reschedule, std::uint64_t ticket);
    void abandon(std::uint64_t ticket);
    // Marks the tracked unit `ticket` started; false when it already was.
    bool startTracked(std::uint64_t ticket);
    // The caller holds the turn for good: no run follows.
    void stop() { RecursiveBlock released = std::move(block_); }

    rt::Ref<Scheduler> scheduler_;
    RecursiveBlock block_; // used only by the holder of the turn
    Reschedule next_;      // on its way from queueNext to the unit takeUnit makes
    std::atomic<std::uint64_t> owed_{1};
    std::atomic<bool> disposed_{false};
    // Tracking: `queued_` counts units queued, `started_` is the number of the last one that
    // started or was dropped; `unit_` is the disposable of the one queued and not yet started.
    std::mutex lock_;
    rt::Ref<rt::Disposable> unit_;
    std::uint64_t queued_ = 0;
    std::uint64_t started_ = 0;

    friend class Scheduler;
};

RT_DEFINE_CLASS(Scheduler::RecursiveRun, "ESRecursiveRun", rt::Disposable)

thread_local Scheduler::RecursiveRun::InlineFrame* Scheduler::RecursiveRun::tInline = nullptr;

void Scheduler::RecursiveRun::queueNext(Reschedule reschedule) {
    if (disposed_.load()) return stop();
    for (InlineFrame* f = tInline; f; f = f->outer) {
        if (f->run == this) {
            // The run that just finished went inline inside this thread's schedule() call: that
            // call's loop queues the next one, so the stack stays flat.
            f->carried = std::move(reschedule);
            return;
        }
    }
    // takeUnit moves it on into the unit. After the call this object may be gone: the unit, and
    // the reference it carries, may already have run on another thread.
    next_ = std::move(reschedule);
    scheduler_->scheduleRecursiveRun(*this);
}

// One run, queued on the scheduler. It holds the turn: run, it passes the turn on or gives it back;
// dropped without having run (withdrawn, or never taken), it keeps the turn for good, so no run
// follows, and lets go of the block. Only the unit made by takeUnit, or the one it was moved to, is
// the holder; a copy is not. A tracked unit is numbered, so that a copy that runs and an original
// that is dropped never both count.
class Scheduler::RecursiveRun::Unit {
public:
    Unit(RecursiveRun* run, Scheduler* current, std::uint64_t ticket, Reschedule reschedule)
        : run_(run), current_(current), ticket_(ticket), reschedule_(std::move(reschedule)) {}
    Unit(const Unit& o)
        : run_(o.run_), current_(o.current_), ticket_(o.ticket_), reschedule_(o.reschedule_), holder_(false) {}
    Unit(Unit&& o) noexcept
        : run_(o.run_), current_(o.current_), ticket_(o.ticket_), reschedule_(std::move(o.reschedule_)),
          holder_(std::exchange(o.holder_, false)) {}
    Unit& operator=(const Unit&) = delete;
    Unit& operator=(Unit&&) = delete;
    ~Unit() {
        if (holder_) run_->abandon(ticket_);
    }

    void operator()() {
        holder_ = false;
        if (!current_) return run_->runOnce(reschedule_, ticket_);
        CurrentScope scope(current_);
        run_->runOnce(reschedule_, ticket_);
    }

private:
    RecursiveRun* run_; // kept alive by `reschedule_`
    Scheduler* current_;
    std::uint64_t ticket_;
    Reschedule reschedule_;
    bool holder_ = true;
};

Scheduler::Block Scheduler::RecursiveRun::takeUnit(Scheduler* current, std::uint64_t ticket) {
    return Unit(this, current, ticket, std::move(next_));
}

void Scheduler::RecursiveRun::runOnce(Reschedule& reschedule, std::uint64_t ticket) {
    if (ticket && !startTracked(ticket)) return;
    if (disposed_.load()) return stop();
    block_(reschedule);
    if (owed_.fetch_sub(1) > 1) return queueNext(std::move(reschedule));
    // The turn is given back. A disposal that came while the block ran may have found it taken:
    // whichever of the two takes it now lets go of the block.
    std::uint64_t idle = 0;
    if (disposed_.load() && owed_.compare_exchange_strong(idle, 1)) stop();
}

void Scheduler::RecursiveRun::abandon(std::uint64_t ticket) {
    if (ticket && !startTracked(ticket)) return;
    stop();
}

bool Scheduler::RecursiveRun::startTracked(std::uint64_t ticket) {
    rt::Ref<rt::Disposable> started; // released after the unlock
    std::lock_guard g(lock_);
    if (started_ == ticket) return false; // a copy of the unit ran, or it was dropped
    started_ = ticket;
    started = std::move(unit_);
    return true;
}

void Scheduler::RecursiveRun::dispose() {
    if (disposed_.exchange(true)) return;
    rt::Ref<rt::Disposable> queued;
    {
        std::lock_guard g(lock_);
        queued = std::move(unit_);
    }
    if (queued) queued->dispose();
    std::uint64_t idle = 0;
    if (owed_.compare_exchange_strong(idle, 1)) stop();
}

std::uint64_t Scheduler::RecursiveRun::beginTracking() {
    rt::Ref<rt::Disposable> previous; // released after the unlock
    std::lock_guard g(lock_);
    previous = std::move(unit_);
    return ++queued_;
}

void Scheduler::RecursiveRun::track(std::uint64_t ticket, rt::Ref<rt::Disposable> unit) {
    if (!unit || unit->isDisposed()) return;
    {
        std::lock_guard g(lock_);
        if (queued_ != ticket || started_ == ticket) return; // it ran already
        if (!disposed_.load()) {
            std::swap(unit_, unit); // the previous one, if any, is released after the unlock
            return;
        }
    }
    unit->dispose(); // disposed while it was being queued
}

rt::Ref<Disposable> Scheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    auto run = rt::make<RecursiveRun>(rt::Ref<Scheduler>(this), std::move(block));
    auto disposable = CompoundDisposable::make();
    disposable->addDisposable(run);
    run->queueNext(run->rescheduler()); // the start holds the turn: one run owed
    return disposable;
}

void Scheduler::scheduleRecursiveRun(RecursiveRun& run) {
    rt::Ref<RecursiveRun> keep(&run); // the unit may run and finish anywhere before schedule returns
    RecursiveRun::InlineFrame frame{&run, nullptr, RecursiveRun::tInline};
    struct Pop {
        RecursiveRun::InlineFrame& frame;
        ~Pop() { RecursiveRun::tInline = frame.outer; }
    } pop{frame};
    RecursiveRun::tInline = &frame;
    for (;;) {
        std::uint64_t ticket = run.beginTracking();
        run.track(ticket, schedule(run.takeUnit(nullptr, ticket)));
        if (!frame.carried) return;
        // The unit ran inline and asked for the next run: queue it from here.
        if (run.disposed_.load()) return run.stop();
        run.next_ = std::exchange(frame.carried, nullptr);
    }
}

std::string Scheduler::description() const {
    return rt::Object::description() + " " + name_;
}

// ---- ImmediateScheduler -------------------------------------------------------------------

ImmediateScheduler::ImmediateScheduler() : Scheduler(prefixed(".ESScheduler.immediateScheduler")) {}

rt::Ref<Disposable> ImmediateScheduler::schedule(Block block) {
    block();
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    if (date) dispatch::Semaphore::make(0)->wait(date->timeIntervalSinceReferenceDate());
    block();
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double,
                                                                              double, Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    // Iterative on the calling thread: each reschedule adds one more pass.
    std::uint64_t remaining = 1;
    const std::function<void()> reschedule = [&remaining] { ++remaining; }; // made once, not per pass
    while (remaining > 0) {
        block(reschedule);
        --remaining;
    }
    return nothingToCancel();
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

void QueueScheduler::scheduleRecursiveRun(RecursiveRun& run) {
    dispatch::async(queue_, run.takeUnit(this, 0));
}

rt::Ref<Disposable> QueueScheduler::schedule(Block block) {
    auto disposable = Disposable::make();
    dispatch::async(queue_, [self = rt::Ref<QueueScheduler>(this), disposable, block = std::move(block)] {
        if (!disposable->isDisposed()) self->performAsCurrentScheduler(block);
    });
    return disposable;
}

// Starts a timer source on the date; disposal cancels it, which withdraws its timer at once, so
// nothing the work holds (the block, the scheduler, the queue) waits for the date.
rt::Ref<Disposable> QueueScheduler::start(const rt::Ref<dispatch::TimerSource>& source,
                                          const rt::Ref<ns::Date>& date, double interval, double leeway) {
    source->setTimer(wallTimeWithDate(date), interval, leeway);
    source->resume();
    return Disposable::withBlock([source] { source->cancel(); });
}

rt::Ref<Disposable> QueueScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    auto source = dispatch::TimerSource::make(queue_);
    dispatch::TimerSource* running = source.get(); // alive while its handler runs
    source->setEventHandler([running, self = rt::Ref<QueueScheduler>(this), block = std::move(block)] {
        self->performAsCurrentScheduler(block);
        running->cancel(); // a one-shot lets go of the block once it ran
    });
    return start(source, date, 0, 0);
}

rt::Ref<Disposable> QueueScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                          double interval, double leeway,
                                                                          Block block) {
    auto source = dispatch::TimerSource::make(queue_);
    source->setEventHandler(std::move(block));
    return start(source, date, interval, leeway);
}

rt::Ref<TargetQueueScheduler> TargetQueueScheduler::withNameTargetQueue(std::string name,
                                                                        const rt::Ref<dispatch::Queue>& target) {
    // No target: the default global queue, as a new serial queue has.
    const rt::Ref<dispatch::Queue>& targetQueue = target ? target : dispatch::Queue::global();
    if (name.empty()) name = prefixed(".ESTargetQueueScheduler(" + targetQueue->label() + ")");
    auto queue = dispatch::Queue::serial(name, targetQueue);
    if (!queue) return nullptr;
    return rt::make<TargetQueueScheduler>(std::move(name), std::move(queue));
}

// ---- SubscriptionScheduler ----------------------------------------------------------------

SubscriptionScheduler::SubscriptionScheduler()
    : Scheduler(prefixed(".ESScheduler.subscriptionScheduler")), background_(Scheduler::scheduler()) {}

rt::Ref<Disposable> SubscriptionScheduler::schedule(Block block) {
    if (!currentScheduler()) return background_->schedule(std::move(block));
    block();
    return nothingToCancel();
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

} // namespace es
