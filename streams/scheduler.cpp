#include "streams/scheduler.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

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

namespace {
bool onMainThread() {
    return ns::Thread::isMainThread() || ns::OperationQueue::currentQueue() == ns::OperationQueue::mainQueue();
}
} // namespace

rt::Ref<Scheduler> Scheduler::currentScheduler() {
    if (tCurrent) return rt::Ref<Scheduler>(tCurrent);
    if (onMainThread()) return mainThreadScheduler();
    return nullptr;
}

bool Scheduler::hasCurrentScheduler() { return tCurrent || onMainThread(); }

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

// The runs of one scheduleRecursiveBlock. Each run is a unit of its own on the scheduler. A
// reschedule asked while a run is in its block is counted, and when the block returns, the runs
// counted are queued together (so work a rerun queues comes after all of them); one asked between
// runs is queued at once. On a serial scheduler runs never overlap.
//
// Who holds the block: this object, which only the queued units and the reschedule functions
// hold (the function handed to a run travels on into the units it queues, so a chain of runs
// makes it once). The disposable handed back holds it weakly. So once nothing is queued, the block
// lives only as long as someone keeps its reschedule function: a block whose captures keep that
// function (repeat's cycle, through its subscriber) is no cycle with the disposable that owns it,
// and goes when its source lets go. Disposal stops the runs, withdraws what it can of the queued
// units, and lets go of the block once no run is in it.
class Scheduler::RecursiveRun final : public rt::Object {
    RT_CLASS(RecursiveRun)
public:
    using Reschedule = std::function<void()>;

    // One more run (the reschedule function's body).
    void ask();
    // Queues `count` runs, handing them the reschedule function.
    void queueRuns(std::uint64_t count, Reschedule reschedule);
    // A unit that makes one run. `current`: made the current scheduler around the run. `ticket`:
    // from beginTracking, when queued through schedule(); 0 otherwise.
    Block unit(Scheduler* current, std::uint64_t ticket, Reschedule reschedule);
    void dispose();
    bool isDisposed() const { return (state_.load() & kDisposed) != 0; }

    // Through schedule(): the queued unit's disposable is kept until it starts, so that disposal
    // can withdraw it.
    std::uint64_t beginTracking();
    void track(std::uint64_t ticket, rt::Ref<rt::Disposable> unit);

    Reschedule rescheduler() {
        return [run = rt::Ref<RecursiveRun>(this)] { run->ask(); };
    }

    // A call of scheduleRecursiveRuns in progress on this thread (its schedule() may run a unit
    // inline, whose reruns join the count instead of nesting another call).
    struct InlineFrame {
        RecursiveRun* run;
        std::uint64_t count;
        Reschedule carried;
        InlineFrame* outer;
    };
    static thread_local InlineFrame* tInline;

private:
    RecursiveRun(rt::Ref<Scheduler> scheduler, RecursiveBlock block)
        : scheduler_(std::move(scheduler)), block_(std::move(block)) {}

    class Unit;
    void runOnce(Reschedule& reschedule, std::uint64_t ticket);
    // Marks the tracked unit `ticket` started; false when it was withdrawn or a copy of it ran.
    bool startTracked(std::uint64_t ticket);
    // No run is in the block, and none will be: the block goes. Once: a run that found the runs
    // disposed as it came in may leave last too.
    void stop() {
        if (!released_.exchange(true)) RecursiveBlock released = std::move(block_);
    }

    // The state word: disposed, the runs in their block, and the reschedules they asked for.
    static constexpr std::uint64_t kDisposed = std::uint64_t(1) << 63;
    static constexpr std::uint64_t kRunner = std::uint64_t(1) << 32;
    static constexpr std::uint64_t kAsked = kRunner - 1;
    static std::uint64_t runners(std::uint64_t s) { return (s & ~kDisposed) >> 32; }

    rt::Ref<Scheduler> scheduler_;
    RecursiveBlock block_; // read only by runs, released only when none is in it
    std::atomic<std::uint64_t> state_{0};
    std::atomic<bool> released_{false};
    // Tracking: the units queued through schedule() and not yet started, by ticket.
    std::mutex lock_;
    std::vector<std::pair<std::uint64_t, rt::Ref<rt::Disposable>>> queued_;
    std::uint64_t tickets_ = 0;
};

RT_DEFINE_CLASS(Scheduler::RecursiveRun, "ESRecursiveRun", rt::Object)

thread_local Scheduler::RecursiveRun::InlineFrame* Scheduler::RecursiveRun::tInline = nullptr;

void Scheduler::RecursiveRun::ask() {
    std::uint64_t s = state_.load();
    do {
        if (s & kDisposed) return;
        if (runners(s) == 0) return queueRuns(1, rescheduler());
    } while (!state_.compare_exchange_weak(s, s + 1)); // counted: queued when the run returns
}

void Scheduler::RecursiveRun::queueRuns(std::uint64_t count, Reschedule reschedule) {
    for (InlineFrame* f = tInline; f; f = f->outer) {
        if (f->run != this) continue;
        // A run that went inline inside this thread's scheduleRecursiveRuns: that call's loop
        // queues these too, so the stack stays flat.
        f->count += count;
        if (!f->carried) f->carried = std::move(reschedule);
        return;
    }
    scheduler_->scheduleRecursiveRuns(*this, count, std::move(reschedule));
}

// One run, queued on the scheduler. Dropped without having run (withdrawn, or never taken), it
// makes no run and holds nothing more. A tracked unit runs at most once, copies included.
class Scheduler::RecursiveRun::Unit {
public:
    Unit(RecursiveRun* run, Scheduler* current, std::uint64_t ticket, Reschedule reschedule)
        : run_(run), current_(current), ticket_(ticket), reschedule_(std::move(reschedule)) {}

    void operator()() {
        if (!current_) return run_->runOnce(reschedule_, ticket_);
        CurrentScope scope(current_);
        run_->runOnce(reschedule_, ticket_);
    }

private:
    RecursiveRun* run_; // kept alive by `reschedule_`
    Scheduler* current_;
    std::uint64_t ticket_;
    Reschedule reschedule_;
};

Scheduler::Block Scheduler::RecursiveRun::unit(Scheduler* current, std::uint64_t ticket, Reschedule reschedule) {
    return Unit(this, current, ticket, std::move(reschedule));
}

void Scheduler::RecursiveRun::runOnce(Reschedule& reschedule, std::uint64_t ticket) {
    if (ticket && !startTracked(ticket)) return;
    // In, unless disposed; a run that finds it disposed leaves again at once.
    bool disposed = state_.fetch_add(kRunner) & kDisposed;
    if (!disposed) block_(reschedule);
    // Leaving: the last run out takes the reschedules asked meanwhile.
    std::uint64_t s = state_.load();
    std::uint64_t next, asked;
    do {
        next = s - kRunner;
        asked = runners(next) == 0 ? next & kAsked : 0;
        next -= asked;
    } while (!state_.compare_exchange_weak(s, next));
    if (next & kDisposed) {
        if (runners(next) == 0) stop(); // disposed while in the block: the last run out lets go
        return;
    }
    if (asked) queueRuns(asked, std::move(reschedule));
}

bool Scheduler::RecursiveRun::startTracked(std::uint64_t ticket) {
    rt::Ref<rt::Disposable> started; // released after the unlock
    std::lock_guard g(lock_);
    for (auto it = queued_.begin(); it != queued_.end(); ++it) {
        if (it->first != ticket) continue;
        started = std::move(it->second);
        queued_.erase(it);
        return true;
    }
    return false;
}

void Scheduler::RecursiveRun::dispose() {
    std::uint64_t s = state_.fetch_or(kDisposed);
    if (s & kDisposed) return;
    if (runners(s) == 0) stop();
    std::vector<std::pair<std::uint64_t, rt::Ref<rt::Disposable>>> queued;
    {
        std::lock_guard g(lock_);
        queued.swap(queued_);
    }
    for (auto& [ticket, unit] : queued)
        if (unit) unit->dispose();
}

std::uint64_t Scheduler::RecursiveRun::beginTracking() {
    std::lock_guard g(lock_);
    queued_.emplace_back(++tickets_, nullptr);
    return tickets_;
}

void Scheduler::RecursiveRun::track(std::uint64_t ticket, rt::Ref<rt::Disposable> unit) {
    bool live = unit && !unit->isDisposed();
    {
        std::lock_guard g(lock_);
        for (auto it = queued_.begin(); it != queued_.end(); ++it) {
            if (it->first != ticket) continue;
            if (live) std::swap(it->second, unit);
            else queued_.erase(it); // the scheduler did not keep it
            return;
        }
    }
    // Not there: it started already, or disposal came while it was being queued.
    if (live && isDisposed()) unit->dispose();
}

rt::Ref<Disposable> Scheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    auto run = rt::make<RecursiveRun>(rt::Ref<Scheduler>(this), std::move(block));
    // Made first: the runs may all be over (and the run object gone) before queueRuns returns.
    auto disposable = Disposable::withBlock([weak = rt::Weak<RecursiveRun>(run)] {
        if (auto run = weak.lock()) run->dispose();
    });
    run->queueRuns(1, run->rescheduler());
    return disposable;
}

void Scheduler::scheduleRecursiveRuns(RecursiveRun& run, std::uint64_t count, std::function<void()> reschedule) {
    rt::Ref<RecursiveRun> keep(&run); // a unit may run and finish anywhere before schedule returns
    RecursiveRun::InlineFrame frame{&run, count, std::move(reschedule), RecursiveRun::tInline};
    struct Pop {
        RecursiveRun::InlineFrame& frame;
        ~Pop() { RecursiveRun::tInline = frame.outer; }
    } pop{frame};
    RecursiveRun::tInline = &frame;
    while (frame.count > 0 && !run.isDisposed()) {
        // The last unit queued takes the function over; the others get copies.
        std::function<void()> carried = --frame.count > 0 ? frame.carried : std::exchange(frame.carried, nullptr);
        std::uint64_t ticket = run.beginTracking();
        run.track(ticket, schedule(run.unit(nullptr, ticket, std::move(carried))));
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

void QueueScheduler::scheduleRecursiveRuns(RecursiveRun& run, std::uint64_t count,
                                           std::function<void()> reschedule) {
    for (std::uint64_t i = 1; i < count; ++i) dispatch::async(queue_, run.unit(this, 0, reschedule));
    dispatch::async(queue_, run.unit(this, 0, std::move(reschedule)));
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
    if (!hasCurrentScheduler()) return background_->schedule(std::move(block));
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
