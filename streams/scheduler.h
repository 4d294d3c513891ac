#pragma once
// Schedulers: serial executors of signal work. They run blocks now, at a date or repeatedly, and
// each piece of scheduled work can be cancelled through the disposable it returns. A per-thread
// current scheduler lets work find out where it runs.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/foundation/application_identity.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/object.h"
#include "streams/disposable.h"

namespace ns {
class Date;
}

namespace es {

// The system's reverse-domain prefix: the start of every queue label and scheduler name.
inline constexpr const char* kReverseDomainPrefix = ns::kApplicationIdentifier;

class Scheduler : public rt::Object {
    RT_CLASS(Scheduler)
public:
    using Block = std::function<void()>;
    // Called with a reschedule function; calling it (any number of times, from any thread) asks
    // for one more run of the block.
    using RecursiveBlock = std::function<void(const std::function<void()>& reschedule)>;

    // The shared schedulers live for the whole process.
    static const rt::Ref<Scheduler>& immediateScheduler();
    static const rt::Ref<Scheduler>& mainThreadScheduler();
    static const rt::Ref<Scheduler>& subscriptionScheduler();
    // New background schedulers: each has a serial queue of its own on the global queue of the
    // priority, so its blocks never overlap; blocks of different schedulers may.
    static rt::Ref<Scheduler> schedulerWithPriorityName(dispatch::Priority priority, std::string name);
    static rt::Ref<Scheduler> schedulerWithPriority(dispatch::Priority priority);
    static rt::Ref<Scheduler> scheduler();
    static rt::Ref<Scheduler> schedulerWithQueueName(const rt::Ref<dispatch::Queue>& queue, std::string name);
    // The scheduler whose work this thread is running; on the main thread outside any scheduler
    // work, the main-thread scheduler; otherwise nil.
    static rt::Ref<Scheduler> currentScheduler();
    // Whether currentScheduler() would give one (without taking a reference to it).
    static bool hasCurrentScheduler();

    const std::string& name() const noexcept { return name_; }

    // Every scheduling call returns a disposable, never nil: it cancels the work if it has not
    // started; work that ran at once (or was never taken) returns one that is already disposed.

    // Runs the block as soon as possible.
    virtual rt::Ref<Disposable> schedule(Block block);
    // Runs the block at the date.
    virtual rt::Ref<Disposable> afterSchedule(const rt::Ref<ns::Date>& date, Block block);
    // Runs the block at the date and then every interval, until disposed.
    virtual rt::Ref<Disposable> afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                      double interval, double leeway, Block block);
    rt::Ref<Disposable> afterDelaySchedule(double seconds, Block block);
    // Runs the block, then once more for each reschedule it asked for, each run a separate unit
    // of work: the reschedules asked while the block runs are queued together when it returns,
    // one asked between runs at once; so recursion never deepens the stack, and on a serial
    // scheduler runs never overlap. Disposing the disposable returned stops the runs and lets go
    // of the block; the disposable does not keep the block (its reschedule function does).
    virtual rt::Ref<Disposable> scheduleRecursiveBlock(RecursiveBlock block);
    // Runs the block with this scheduler as the thread's current scheduler.
    void performAsCurrentScheduler(const Block& block);

    std::string description() const override;

    // The runs of one scheduleRecursiveBlock (defined in scheduler.cpp).
    class RecursiveRun;

protected:
    // An empty name gives the anonymous name of the class.
    explicit Scheduler(std::string name);

    // Queues `count` runs of `run`, in order, handing them the reschedule function. This form
    // hands each to schedule(); a scheduler with a cheaper way to queue work overrides it.
    virtual void scheduleRecursiveRuns(RecursiveRun& run, std::uint64_t count, std::function<void()> reschedule);

private:
    std::string name_;
};

// Runs work at once on the calling thread.
class ImmediateScheduler final : public Scheduler {
    RT_CLASS(ImmediateScheduler)
public:
    rt::Ref<Disposable> schedule(Block block) override;
    // Waits on the calling thread until the date (on the installed clock), then runs the block.
    rt::Ref<Disposable> afterSchedule(const rt::Ref<ns::Date>& date, Block block) override;
    // Not supported: does nothing (the disposable returned is already disposed).
    rt::Ref<Disposable> afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date, double interval,
                                                              double leeway, Block block) override;
    rt::Ref<Disposable> scheduleRecursiveBlock(RecursiveBlock block) override;

private:
    ImmediateScheduler();
};

// Runs work on a dispatch queue, always asynchronously.
class QueueScheduler : public Scheduler {
    RT_CLASS(QueueScheduler)
public:
    static rt::Ref<QueueScheduler> withNameQueue(std::string name, rt::Ref<dispatch::Queue> queue);
    // The dispatch time of a date.
    static dispatch::Time wallTimeWithDate(const rt::Ref<ns::Date>& date);

    const rt::Ref<dispatch::Queue>& queue() const noexcept { return queue_; }
    rt::Ref<Disposable> schedule(Block block) override;
    rt::Ref<Disposable> afterSchedule(const rt::Ref<ns::Date>& date, Block block) override;
    rt::Ref<Disposable> afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date, double interval,
                                                              double leeway, Block block) override;

protected:
    QueueScheduler(std::string name, rt::Ref<dispatch::Queue> queue);
    // Straight onto the queue: no disposable and no wrapper per run.
    void scheduleRecursiveRuns(RecursiveRun& run, std::uint64_t count, std::function<void()> reschedule) override;

private:
    static rt::Ref<Disposable> start(const rt::Ref<dispatch::TimerSource>& source,
                                     const rt::Ref<ns::Date>& date, double interval, double leeway);

    rt::Ref<dispatch::Queue> queue_;
};

// A queue scheduler whose serial queue of its own targets another queue.
class TargetQueueScheduler final : public QueueScheduler {
    RT_CLASS(TargetQueueScheduler)
public:
    // An empty name gives ".ESTargetQueueScheduler(<target label>)" after the prefix; a nil target
    // the default global queue.
    static rt::Ref<TargetQueueScheduler> withNameTargetQueue(std::string name,
                                                             const rt::Ref<dispatch::Queue>& target);

private:
    TargetQueueScheduler(std::string name, rt::Ref<dispatch::Queue> queue)
        : QueueScheduler(std::move(name), std::move(queue)) {}
};

// The scheduler of every signal's subscription: inline when there is a current scheduler,
// otherwise on a background scheduler of its own.
class SubscriptionScheduler final : public Scheduler {
    RT_CLASS(SubscriptionScheduler)
public:
    const rt::Ref<Scheduler>& backgroundScheduler() const noexcept { return background_; }
    rt::Ref<Disposable> schedule(Block block) override;
    rt::Ref<Disposable> afterSchedule(const rt::Ref<ns::Date>& date, Block block) override;
    rt::Ref<Disposable> afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date, double interval,
                                                              double leeway, Block block) override;

private:
    SubscriptionScheduler();
    rt::Ref<Scheduler> background_;
};

} // namespace es
