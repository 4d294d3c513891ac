#include "platform/foundation/operation_queue.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/parking_lot.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/worker_pool.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace ns {

RT_DEFINE_CLASS(OperationQueue, "NSOperationQueue", rt::Object)

namespace {
// The operation queue whose operation this thread is running.
thread_local OperationQueue* tlOperationQueue = nullptr;
} // namespace

struct OperationQueue::Impl {
    mutable std::mutex lock;
    dispatch::detail::ParkingLot lot; // waitUntilAllOperationsAreFinished
    bool isMain = false;
    std::string name;
    bool suspended = false;
    long maxCount = DefaultMaxConcurrentOperationCount;
    std::deque<dispatch::Block> pending;
    std::size_t running = 0;
    rt::Ref<dispatch::Queue> queue; // where operations run

    static Impl& of(const OperationQueue* q) { return *q->impl_; }

    // Starts what the limit and the suspension allow.
    static void pump(OperationQueue* q) {
        Impl& d = of(q);
        std::vector<dispatch::Block> start;
        rt::Ref<dispatch::Queue> target;
        {
            std::lock_guard g(d.lock);
            while (mayStart(d)) {
                start.push_back(std::move(d.pending.front()));
                d.pending.pop_front();
                ++d.running;
            }
            if (start.empty()) return;
            target = d.queue;
        }
        // Every block takes its reference to the queue before the first one is started: a started
        // operation may finish, and drop what kept the queue alive, while the rest are handed on.
        // Nothing of the queue is touched after that, so the caller's thread keeps no reference.
        for (auto& op : start) {
            op = [self = rt::Ref<OperationQueue>(q), op = std::move(op)]() mutable {
                runFrom(self.get(), std::move(op));
            };
        }
        for (auto& block : start) dispatch::async(target, std::move(block));
    }

    static bool mayStart(const Impl& d) {
        return !d.suspended && !d.pending.empty() && (d.maxCount < 0 || d.running < std::size_t(d.maxCount));
    }

    // Runs `op`, which counts as running, on this pool worker; then, as long as another operation
    // may start and no other work waits for the pool, runs that one here too rather than hand it to
    // the pool (which would wake another worker while this one goes idle). `q` is kept alive by the
    // caller.
    static void runFrom(OperationQueue* q, dispatch::Block op) {
        while (op) {
            {
                struct Scope {
                    OperationQueue* queue;
                    OperationQueue* outer = std::exchange(tlOperationQueue, queue);
                    bool done = false;
                    ~Scope() {
                        tlOperationQueue = outer;
                        if (!done) Impl::finished(queue); // the operation threw
                    }
                } scope{q};
                op();
                op = nullptr; // its captures go before the operation counts as finished
                scope.done = true;
            }
            op = finishedTakingNext(q);
        }
    }

    static void finished(OperationQueue* q) {
        Impl& d = of(q);
        {
            std::lock_guard g(d.lock);
            --d.running;
            if (d.pending.empty() && d.running == 0) d.lot.wakeAll();
        }
        pump(q);
    }

    // Ends an operation that ran on a pool worker and returns the next one to run on the same
    // worker (counted as running), or nothing; what else may start goes to the pool.
    static dispatch::Block finishedTakingNext(OperationQueue* q) {
        Impl& d = of(q);
        // The main queue's operations each take one turn of the main run loop.
        const bool here = !d.isMain && dispatch::detail::WorkerPool::onWorkerThread() &&
                          !dispatch::detail::WorkerPool::shared().hasQueuedWork();
        dispatch::Block next;
        {
            std::lock_guard g(d.lock);
            --d.running;
            if (here && mayStart(d)) {
                next = std::move(d.pending.front());
                d.pending.pop_front();
                ++d.running;
            } else if (d.pending.empty() && d.running == 0) {
                d.lot.wakeAll();
            }
        }
        pump(q);
        return next;
    }
};

OperationQueue::OperationQueue(bool isMain) : impl_(std::make_unique<Impl>()) {
    impl_->isMain = isMain;
    if (isMain) {
        impl_->name = "NSOperationQueue Main Queue";
        impl_->maxCount = 1;
        impl_->queue = dispatch::Queue::main();
    } else {
        char name[48];
        std::snprintf(name, sizeof name, "NSOperationQueue %p", static_cast<const void*>(this));
        impl_->name = name;
        impl_->queue = dispatch::Queue::global();
    }
}

OperationQueue::~OperationQueue() = default;

const rt::Ref<OperationQueue>& OperationQueue::mainQueue() {
    static const rt::Ref<OperationQueue>* queue = [] {
        auto* q = new rt::Ref<OperationQueue>(rt::make<OperationQueue>(true));
        rt::makeImmortal(**q);
        return q;
    }();
    return *queue;
}

rt::Ref<OperationQueue> OperationQueue::currentQueue() {
    if (tlOperationQueue) return rt::Ref<OperationQueue>(tlOperationQueue);
    if (Thread::isMainThread() || dispatch::isRunningOn(dispatch::Queue::main())) return mainQueue();
    return nullptr;
}

rt::Ref<OperationQueue> OperationQueue::make() {
    return rt::make<OperationQueue>(false);
}

std::string OperationQueue::name() const {
    std::lock_guard g(impl_->lock);
    return impl_->name;
}

void OperationQueue::setName(std::string name) {
    std::lock_guard g(impl_->lock);
    impl_->name = std::move(name);
}

bool OperationQueue::isSuspended() const {
    std::lock_guard g(impl_->lock);
    return impl_->suspended;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard g(impl_->lock);
        impl_->suspended = suspended;
    }
    if (!suspended) Impl::pump(this);
}

long OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard g(impl_->lock);
    return impl_->maxCount;
}

void OperationQueue::setMaxConcurrentOperationCount(long count) {
    if (impl_->isMain) return; // the main queue runs one operation at a time
    {
        std::lock_guard g(impl_->lock);
        impl_->maxCount = count < 0 ? DefaultMaxConcurrentOperationCount : count;
    }
    Impl::pump(this);
}

void OperationQueue::addOperationWithBlock(dispatch::Block block) {
    if (!block) return;
    {
        std::lock_guard g(impl_->lock);
        impl_->pending.push_back(std::move(block));
    }
    Impl::pump(this);
}

void OperationQueue::cancelAllOperations() {
    std::deque<dispatch::Block> dropped; // released outside the lock
    std::lock_guard g(impl_->lock);
    dropped.swap(impl_->pending);
    if (impl_->running == 0) impl_->lot.wakeAll();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(impl_->lock);
    if (impl_->pending.empty() && impl_->running == 0) return;
    if (tlOperationQueue == this || (impl_->isMain && Thread::isMainThread())) {
        lock.unlock();
        ns::logLine("NSOperationQueue: waiting for \"" + name() +
                    "\" from a thread it needs would never return; not waiting");
        return;
    }
    while (!(impl_->pending.empty() && impl_->running == 0))
        impl_->lot.park(lock, std::nullopt);
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard g(impl_->lock);
    return impl_->pending.size() + impl_->running;
}

std::string OperationQueue::description() const {
    char head[64];
    std::snprintf(head, sizeof head, "<NSOperationQueue: %p>", static_cast<const void*>(this));
    return std::string(head) + "{name = '" + name() + "'}";
}

} // namespace ns
