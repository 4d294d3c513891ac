#include "platform/foundation/worker_pool.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace dispatch::detail {

namespace {
thread_local bool tlWorker = false;
}

WorkerPool& WorkerPool::shared() {
    // Never destroyed: detached workers keep using it through exit.
    static WorkerPool* pool = new WorkerPool;
    return *pool;
}

bool WorkerPool::onWorkerThread() {
    return tlWorker;
}

void WorkerPool::submit(int level, Job job) {
    if (level < 0) level = 0;
    if (level >= Levels) level = Levels - 1;
    bool wake = false;
    {
        std::unique_lock lock(lock_);
        queues_[level].push_back(std::move(job));
        queued_.fetch_add(1, std::memory_order_release);
        if (idle_ > 0) {
            --idle_;
            ++wakes_;
            wake = true;
        } else if (threads_ < DefaultCap) {
            startThread(lock);
        }
    }
    // After the unlock, so the woken worker does not wait at once for the lock this thread holds.
    if (wake) work_.notify_one();
}

bool WorkerPool::hasQueuedWork() {
    return queued_.load(std::memory_order_acquire) > 0; // a snapshot either way: no lock needed
}

void WorkerPool::startThread(std::unique_lock<std::mutex>&) {
    try {
        std::thread([this] { workerMain(); }).detach();
        ++threads_;
    } catch (const std::system_error&) {
        // Out of threads: the work waits for a running worker.
    }
}

int WorkerPool::setLimit(int limit) {
    std::lock_guard g(lock_);
    int previous = limit_;
    limit_ = limit < 1 ? 1 : limit;
    while (idle_ > 0 && wakes_ < static_cast<int>(queued_.load(std::memory_order_relaxed))) {
        --idle_;
        ++wakes_;
    }
    work_.notify_all();
    return previous;
}

void WorkerPool::workerMain() {
    tlWorker = true;
    std::unique_lock lock(lock_);
    for (;;) {
        if (queued_.load(std::memory_order_relaxed) > 0 && running_ < limit_) {
            Job job;
            for (auto& q : queues_) {
                if (!q.empty()) {
                    job = std::move(q.front());
                    q.pop_front();
                    break;
                }
            }
            queued_.fetch_sub(1, std::memory_order_relaxed);
            ++running_;
            lock.unlock();
            job();
            job = nullptr; // the job's captures go before it stops counting as running
            lock.lock();
            --running_;
            notifyWaiters();
            continue;
        }
        ++idle_;
        work_.wait(lock, [&] { return wakes_ > 0; });
        --wakes_;
    }
}

bool WorkerPool::enterBlocked() {
    if (!tlWorker) return false;
    std::lock_guard g(lock_);
    ++blocked_;
    notifyWaiters();
    return true;
}

void WorkerPool::leaveBlocked() {
    std::lock_guard g(lock_);
    --blocked_;
}

void WorkerPool::notifyWaiters() {
    if (waiters_ > 0) settled_.notify_all();
}

bool WorkerPool::waitIdle(double realSeconds) {
    std::unique_lock lock(lock_);
    ++waiters_;
    bool idle = settled_.wait_for(lock, std::chrono::duration<double>(realSeconds), [&] {
        return queued_.load(std::memory_order_relaxed) == 0 && running_ == 0;
    });
    --waiters_;
    return idle;
}

bool WorkerPool::waitSettled(double realSeconds, const std::function<bool()>& othersQuiet,
                             const std::function<bool()>& mainHasWork) {
    std::unique_lock lock(lock_);
    ++waiters_;
    settleWatchers_.fetch_add(1);
    bool settled = settled_.wait_for(lock, std::chrono::duration<double>(realSeconds), [&] {
        return (othersQuiet() && queued_.load(std::memory_order_relaxed) == 0 && running_ == blocked_) ||
               mainHasWork();
    });
    settleWatchers_.fetch_sub(1);
    --waiters_;
    return settled;
}

void WorkerPool::notifySettleWaiters() {
    if (settleWatchers_.load() == 0) return;
    std::lock_guard g(lock_);
    settled_.notify_all();
}

} // namespace dispatch::detail
