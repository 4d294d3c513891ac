#pragma once
// The shared worker pool behind the global queues. Work is taken highest level first, in arrival
// order within a level. The pool starts a thread whenever work arrives and no worker is idle, up
// to a cap, so a blocked worker never starves the rest.
//
// Workers parked in one of the substrate's own waits (semaphore, group, sync, condition) are
// counted as blocked; the stepping harness treats a pool whose running workers are all blocked as
// settled, since only other work, the main thread or the clock can release them.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace dispatch::detail {

class WorkerPool {
public:
    using Job = std::function<void()>;
    static constexpr int Levels = 4; // 0 is the highest
    static constexpr int DefaultCap = 64;

    static WorkerPool& shared();

    void submit(int level, Job job);
    // Whether any work is queued and not yet taken by a worker (without taking the pool's lock).
    bool hasQueuedWork();
    // Limits how many jobs run at once (the thread cap by default); returns the previous limit.
    int setLimit(int limit);

    // The calling thread parks in a substrate wait (true when it is a worker and so was counted)
    // and leaves it. The thread that wakes a parked worker calls leaveBlocked on its behalf.
    bool enterBlocked();
    void leaveBlocked();

    // Waits (real time, bounded) until nothing is queued or running.
    bool waitIdle(double realSeconds);
    // Waits (real time, bounded) until `othersQuiet` returns true while nothing is queued and every
    // running job is blocked, or `mainHasWork` returns true (asked in that order, under the pool's
    // lock). Returns false on timeout.
    bool waitSettled(double realSeconds, const std::function<bool()>& othersQuiet,
                     const std::function<bool()>& mainHasWork);
    // New work for the main thread, or what `othersQuiet` reads has changed: wakes waitSettled.
    void notifySettleWaiters();

    static bool onWorkerThread();

private:
    WorkerPool() = default;
    void workerMain();
    void startThread(std::unique_lock<std::mutex>& lock);
    void notifyWaiters();

    std::mutex lock_;
    std::condition_variable work_;
    std::condition_variable settled_;
    std::deque<Job> queues_[Levels];
    std::atomic<std::size_t> queued_{0}; // changed under the lock; read without it for a snapshot
    int threads_ = 0;
    int idle_ = 0;  // workers waiting for work and not yet handed a wake-up
    int wakes_ = 0; // wake-ups handed out and not yet taken
    int running_ = 0;
    int blocked_ = 0;
    int limit_ = DefaultCap;
    int waiters_ = 0;
    std::atomic<int> settleWatchers_{0};
};

} // namespace dispatch::detail
