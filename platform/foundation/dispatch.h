#pragma once
// Dispatch: queues of blocks, run by the shared worker pool (global queues), by the main run loop
// (the main queue), or one at a time on a target queue (serial queues); groups, semaphores, once,
// and timer sources.
//
// All time is the installed clock's (ns::Clock, seconds since 2001-01-01). Under a ManualClock
// nothing waits on the wall clock: moving the clock enqueues what has become due, on the thread
// that moved it, in deadline order (ties in the order they were scheduled).

#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/clock.h"
#include "platform/runtime/object.h"

namespace dispatch {

using Block = std::function<void()>;
// An absolute time on the installed clock.
using Time = ns::TimeInterval;

inline constexpr Time Forever = std::numeric_limits<Time>::infinity();

// The installed clock's time, and that time plus `seconds`.
Time now();
Time after(double seconds);

enum class Priority : int { High = 2, Default = 0, Low = -2, Background = -32768 };

class Queue : public rt::Object {
    RT_CLASS(Queue)
public:
    // Serial; its blocks run on the thread running the main run loop, and only there.
    static const rt::Ref<Queue>& main();
    // Concurrent, all served by one worker pool; higher priority work is taken first.
    static const rt::Ref<Queue>& global(Priority priority = Priority::Default);
    // Runs its blocks one at a time, in order, on `target` (default: the default global queue).
    static rt::Ref<Queue> serial(std::string label, rt::Ref<Queue> target = nullptr);
    // Passes its blocks on to `target` as they come (default: the default global queue).
    static rt::Ref<Queue> concurrent(std::string label, rt::Ref<Queue> target = nullptr);

    const std::string& label() const noexcept { return label_; }
    bool isSerial() const noexcept;
    // The main and global queues keep their place: setting their target is ignored (and logged),
    // as is a target that would make a cycle.
    void setTarget(rt::Ref<Queue> target);
    rt::Ref<Queue> target() const;
    // Blocks not yet started wait until every suspend is balanced by a resume. Ignored for the
    // global queues.
    void suspend();
    void resume();

    std::string description() const override;

    struct Impl;

protected:
    ~Queue() override;

private:
    enum class Kind { Main, Global, Serial, Concurrent };
    Queue(Kind kind, std::string label, rt::Ref<Queue> target, int level);

    std::string label_;
    std::unique_ptr<Impl> impl_;
};

void async(const rt::Ref<Queue>& queue, Block block);
// Runs `block` on `queue` and returns when it has run (rethrowing what it threw). A sync that could
// only deadlock (onto a serial queue this thread is running, or onto the main queue from the main
// thread while no other thread runs the main run loop) runs the block inline and logs one line.
// Onto an idle serial queue that targets a global queue, the block runs on the calling thread as
// the queue's block of the moment (what is queued meanwhile runs after it, on the pool), so a
// serial queue used as a lock costs no thread hop while uncontended.
void sync(const rt::Ref<Queue>& queue, Block block);
void asyncAfter(Time when, const rt::Ref<Queue>& queue, Block block);
// The queue whose block this thread is running (the innermost one), or nil.
rt::Ref<Queue> currentQueue();
// Whether this thread is running a block of `queue`, directly or through a queue targeting it.
bool isRunningOn(const rt::Ref<Queue>& queue);

// The earliest deadline of anything waiting on the clock (timers, sources, finite waits), if any.
std::optional<Time> nextDeadline();

class OnceFlag {
public:
    OnceFlag() = default;
    OnceFlag(const OnceFlag&) = delete;
    OnceFlag& operator=(const OnceFlag&) = delete;

private:
    friend void once(OnceFlag& flag, Block block);
    std::once_flag flag_;
};

// Runs `block` the first time it is called for `flag`; concurrent callers wait for it to finish.
void once(OnceFlag& flag, Block block);

class Group : public rt::Object {
    RT_CLASS(Group)
public:
    static rt::Ref<Group> make();
    void enter();
    // A leave without an enter is logged and ignored.
    void leave();
    void groupAsync(const rt::Ref<Queue>& queue, Block block);
    // Submits `block` to `queue` once the group is empty (at once when it is empty now).
    void notify(const rt::Ref<Queue>& queue, Block block);
    // True when the group became empty before `deadline`.
    bool wait(std::optional<Time> deadline = std::nullopt);

    struct Impl;

protected:
    ~Group() override;

private:
    Group();
    std::unique_ptr<Impl> impl_;
};

void async(const rt::Ref<Group>& group, const rt::Ref<Queue>& queue, Block block);

class Semaphore : public rt::Object {
    RT_CLASS(Semaphore)
public:
    // Nil for a negative value.
    static rt::Ref<Semaphore> make(long value);
    // Returns true when it woke a waiting thread.
    bool signal();
    // True when the semaphore was taken before `deadline` (none: wait for ever).
    bool wait(std::optional<Time> deadline = std::nullopt);

    struct Impl;

protected:
    ~Semaphore() override;

private:
    explicit Semaphore(long value);
    std::unique_ptr<Impl> impl_;
};

// A timer delivering its event handler to a queue: once at the start time, then every interval.
// It does nothing until resumed. Each fire enqueues the handler (fires are never merged); after
// cancel nothing more is enqueued, an enqueued handler that has not started does not run, and the
// cancel handler is enqueued once.
class TimerSource : public rt::Object {
    RT_CLASS(TimerSource)
public:
    static rt::Ref<TimerSource> make(rt::Ref<Queue> queue);
    // `intervalSeconds` zero or negative: one shot. Leeway is accepted and not used (fires are
    // exact). Setting the timer again re-arms it.
    void setTimer(Time start, double intervalSeconds, double leewaySeconds = 0);
    void setEventHandler(Block handler);
    void setCancelHandler(Block handler);
    void resume();
    void cancel();
    bool isCancelled() const;

    struct Impl;

protected:
    ~TimerSource() override;

private:
    explicit TimerSource(rt::Ref<Queue> queue);
    std::unique_ptr<Impl> impl_;
};

} // namespace dispatch
