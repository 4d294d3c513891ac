#include "platform/foundation/dispatch.h"

#include <deque>
#include <exception>
#include <utility>

#include "platform/foundation/dispatch_internal.h"
#include "platform/foundation/parking_lot.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/timer_manager.h"
#include "platform/foundation/worker_pool.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace dispatch {

RT_DEFINE_CLASS(Queue, "OS_dispatch_queue", rt::Object)

namespace {

// The queues whose blocks this thread is running, innermost first.
struct Frame {
    Queue* queue;
    Frame* outer;
};
thread_local Frame* tlFrame = nullptr;

class FrameScope {
public:
    explicit FrameScope(Queue* queue) : frame_{queue, tlFrame} { tlFrame = &frame_; }
    ~FrameScope() { tlFrame = frame_.outer; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

private:
    Frame frame_;
};

bool onStack(const Queue* queue) {
    for (Frame* f = tlFrame; f; f = f->outer) {
        if (f->queue == queue) return true;
    }
    return false;
}

int levelOf(Priority priority) {
    int p = static_cast<int>(priority);
    if (p > 0) return 0;
    if (p == 0) return 1;
    if (p > static_cast<int>(Priority::Background)) return 2;
    return 3;
}

// A serial queue drains this many blocks per turn on the pool before it lets other work in; when
// no other work is waiting for its worker, it carries on for another turn on the same worker
// rather than queueing itself again (which would only wake another thread to take over). On the
// main queue it takes one block per turn, so its blocks interleave with the main queue's own.
constexpr int kPoolBatch = 64;

} // namespace

struct Queue::Impl {
    Kind kind;
    int level; // global queues: the pool level
    mutable std::mutex lock;
    std::deque<Block> items; // serial and main: waiting blocks; concurrent: held while suspended
    rt::Ref<Queue> target;
    int suspended = 0;
    bool scheduled = false;    // serial: a drain is submitted or running
    bool running = false;      // main: a block is running
    std::size_t owedTicks = 0; // main: ticks that arrived while a block was running

    static Impl& of(const Queue* q) { return *q->impl_; }

    static void enqueue(Queue* q, Block block);
    static Block drainJob(rt::Ref<Queue> q) {
        return [q = std::move(q)] { drain(q); };
    }
    static void drain(const rt::Ref<Queue>& q);
    static bool mainRooted(const Queue* q);
    // A sync onto an idle serial queue whose target is a global queue runs the block on the
    // calling thread, as the queue's block of the moment; false when the queue is not idle.
    static bool runSyncInline(Queue* q, const Block& block);
    // Whether other work waits for what runs a block of `target`: blocks queued behind it on the
    // way to the pool, or work queued in the pool.
    static bool othersWaiting(const rt::Ref<Queue>& target);
};

Queue::Queue(Kind kind, std::string label, rt::Ref<Queue> target, int level)
    : label_(std::move(label)), impl_(std::make_unique<Impl>()) {
    impl_->kind = kind;
    impl_->level = level;
    impl_->target = std::move(target);
}

Queue::~Queue() = default;

const rt::Ref<Queue>& Queue::main() {
    static const rt::Ref<Queue>* queue = [] {
        auto* q = new rt::Ref<Queue>(rt::make<Queue>(Kind::Main, "com.quarnotix.main-thread", nullptr, 0));
        rt::makeImmortal(**q);
        return q;
    }();
    return *queue;
}

const rt::Ref<Queue>& Queue::global(Priority priority) {
    static const rt::Ref<Queue>* queues = [] {
        static const char* const labels[detail::WorkerPool::Levels] = {
            "com.quarnotix.root.high-priority", "com.quarnotix.root.default-priority",
            "com.quarnotix.root.low-priority", "com.quarnotix.root.background-priority"};
        auto* qs = new rt::Ref<Queue>[detail::WorkerPool::Levels];
        for (int i = 0; i < detail::WorkerPool::Levels; ++i) {
            qs[i] = rt::make<Queue>(Kind::Global, labels[i], nullptr, i);
            rt::makeImmortal(*qs[i]);
        }
        return qs;
    }();
    return queues[levelOf(priority)];
}

rt::Ref<Queue> Queue::serial(std::string label, rt::Ref<Queue> target) {
    if (!target) target = global();
    return rt::make<Queue>(Kind::Serial, std::move(label), std::move(target), 0);
}

rt::Ref<Queue> Queue::concurrent(std::string label, rt::Ref<Queue> target) {
    if (!target) target = global();
    return rt::make<Queue>(Kind::Concurrent, std::move(label), std::move(target), 0);
}

bool Queue::isSerial() const noexcept {
    return impl_->kind == Kind::Main || impl_->kind == Kind::Serial;
}

rt::Ref<Queue> Queue::target() const {
    std::lock_guard g(impl_->lock);
    return impl_->target;
}

void Queue::setTarget(rt::Ref<Queue> target) {
    if (impl_->kind == Kind::Main || impl_->kind == Kind::Global) {
        ns::logLine("dispatch: the target of \"" + label_ + "\" cannot be changed");
        return;
    }
    if (!target) target = global();
    for (rt::Ref<Queue> t = target; t; t = t->target()) {
        if (t.get() == this) {
            ns::logLine("dispatch: targeting \"" + target->label() + "\" would make \"" + label_ +
                        "\" its own target; ignored");
            return;
        }
    }
    std::lock_guard g(impl_->lock);
    impl_->target = std::move(target);
}

void Queue::suspend() {
    if (impl_->kind == Kind::Global) return;
    std::lock_guard g(impl_->lock);
    ++impl_->suspended;
}

void Queue::resume() {
    Impl& d = *impl_;
    if (d.kind == Kind::Global) return;
    std::deque<Block> held;
    rt::Ref<Queue> drainOn;
    std::size_t ticks = 0;
    {
        std::lock_guard g(d.lock);
        if (d.suspended == 0) {
            ns::logLine("dispatch: resume of \"" + label_ + "\" without a matching suspend; ignored");
            return;
        }
        if (--d.suspended > 0) return;
        switch (d.kind) {
        case Kind::Main:
            ticks = d.items.size();
            break;
        case Kind::Serial:
            if (!d.items.empty() && !d.scheduled) {
                d.scheduled = true;
                drainOn = d.target;
            }
            break;
        case Kind::Concurrent:
            held.swap(d.items);
            break;
        case Kind::Global:
            break;
        }
    }
    if (ticks) detail::postMainQueueTicks(ticks);
    if (drainOn) Impl::enqueue(drainOn.get(), Impl::drainJob(rt::Ref<Queue>(this)));
    for (auto& block : held)
        Impl::enqueue(this, std::move(block));
}

std::string Queue::description() const {
    const char* kind = "OS_dispatch_queue_serial";
    switch (impl_->kind) {
    case Kind::Main:
        kind = "OS_dispatch_queue_main";
        break;
    case Kind::Global:
        kind = "OS_dispatch_queue_global";
        break;
    case Kind::Concurrent:
        kind = "OS_dispatch_queue_concurrent";
        break;
    case Kind::Serial:
        break;
    }
    return std::string("<") + kind + ": " + label_ + ">";
}

void Queue::Impl::enqueue(Queue* q, Block block) {
    Impl& d = of(q);
    switch (d.kind) {
    case Kind::Global:
        detail::WorkerPool::shared().submit(d.level, [q, block = std::move(block)] {
            FrameScope frame(q);
            block();
        });
        return;
    case Kind::Main: {
        bool post;
        {
            std::lock_guard g(d.lock);
            d.items.push_back(std::move(block));
            post = d.suspended == 0;
        }
        if (post) detail::postMainQueueTicks(1);
        return;
    }
    case Kind::Serial: {
        rt::Ref<Queue> drainOn;
        {
            std::lock_guard g(d.lock);
            d.items.push_back(std::move(block));
            if (!d.scheduled && d.suspended == 0) {
                d.scheduled = true;
                drainOn = d.target;
            }
        }
        if (drainOn) enqueue(drainOn.get(), drainJob(rt::Ref<Queue>(q)));
        return;
    }
    case Kind::Concurrent: {
        rt::Ref<Queue> on;
        {
            std::lock_guard g(d.lock);
            if (d.suspended > 0) {
                d.items.push_back(std::move(block));
                return;
            }
            on = d.target;
        }
        enqueue(on.get(), [self = rt::Ref<Queue>(q), block = std::move(block)] {
            FrameScope frame(self.get());
            block();
        });
        return;
    }
    }
}

bool Queue::Impl::mainRooted(const Queue* q) {
    for (rt::Ref<Queue> t = rt::retained(q); t; t = t->target()) {
        if (of(t.get()).kind == Kind::Main) return true;
    }
    return false;
}

bool Queue::Impl::runSyncInline(Queue* q, const Block& block) {
    Impl& d = of(q);
    if (d.kind != Kind::Serial) return false;
    {
        std::lock_guard g(d.lock);
        if (d.scheduled || d.suspended > 0 || !d.items.empty() || !d.target || of(d.target.get()).kind != Kind::Global)
            return false;
        d.scheduled = true; // blocks that arrive meanwhile wait behind this one
    }
    struct Finish {
        Queue* q;
        ~Finish() {
            Impl& d = of(q);
            rt::Ref<Queue> drainOn;
            {
                std::lock_guard g(d.lock);
                if (d.suspended == 0 && !d.items.empty()) drainOn = d.target;
                else d.scheduled = false;
            }
            if (drainOn) enqueue(drainOn.get(), drainJob(rt::Ref<Queue>(q)));
        }
    } finish{q};
    FrameScope frame(q);
    block();
    return true;
}

bool Queue::Impl::othersWaiting(const rt::Ref<Queue>& target) {
    for (rt::Ref<Queue> t = target; t;) {
        Impl& d = of(t.get());
        switch (d.kind) {
        case Kind::Main:
            return true;
        case Kind::Global:
            return detail::WorkerPool::shared().hasQueuedWork();
        case Kind::Serial:
        case Kind::Concurrent: {
            std::lock_guard g(d.lock);
            if (d.suspended > 0 || !d.items.empty()) return true;
            t = d.target;
            break;
        }
        }
    }
    return true;
}

void Queue::Impl::drain(const rt::Ref<Queue>& q) {
    Impl& d = of(q.get());
    const int batch = mainRooted(q.get()) ? 1 : kPoolBatch;
    int budget = batch;
    for (;;) {
        Block block;
        {
            std::unique_lock g(d.lock);
            if (d.suspended > 0 || d.items.empty()) {
                d.scheduled = false;
                return;
            }
            if (budget-- == 0) {
                rt::Ref<Queue> on = d.target;
                g.unlock();
                if (othersWaiting(on)) {
                    enqueue(on.get(), drainJob(q));
                    return;
                }
                budget = batch;
                continue;
            }
            block = std::move(d.items.front());
            d.items.pop_front();
        }
        try {
            FrameScope frame(q.get());
            block();
        } catch (...) {
            // Keep the queue going for the blocks behind the one that threw.
            rt::Ref<Queue> on;
            {
                std::lock_guard g(d.lock);
                if (d.suspended == 0 && !d.items.empty()) {
                    on = d.target;
                } else {
                    d.scheduled = false;
                }
            }
            if (on) enqueue(on.get(), drainJob(q));
            throw;
        }
    }
}

bool detail::runMainQueueTick() {
    Queue* q = Queue::main().get();
    Queue::Impl& d = Queue::Impl::of(q);
    Block block;
    {
        std::lock_guard g(d.lock);
        if (d.running) {
            ++d.owedTicks; // the running block's queue position comes first; post it again after
            return false;
        }
        if (d.suspended > 0 || d.items.empty()) return false;
        block = std::move(d.items.front());
        d.items.pop_front();
        d.running = true;
    }
    struct Done {
        Queue::Impl& d;
        ~Done() {
            std::size_t owed;
            {
                std::lock_guard g(d.lock);
                d.running = false;
                owed = std::exchange(d.owedTicks, 0);
            }
            if (owed) postMainQueueTicks(owed);
        }
    } done{d};
    FrameScope frame(q);
    block();
    return true;
}

// ---- Free functions -------------------------------------------------------------------------

Time now() {
    return ns::Clock::currentTime();
}

Time after(double seconds) {
    return now() + seconds;
}

void async(const rt::Ref<Queue>& queue, Block block) {
    if (!queue) {
        ns::logLine("dispatch: async onto a nil queue; ignored");
        return;
    }
    if (!block) return;
    Queue::Impl::enqueue(queue.get(), std::move(block));
}

namespace {

// Whether a sync onto `queue` from this thread could never finish.
bool syncWouldDeadlock(const rt::Ref<Queue>& queue) {
    for (rt::Ref<Queue> q = queue; q; q = q->target()) {
        if (!q->isSerial()) continue; // a concurrent queue does not wait for what it is running
        if (onStack(q.get())) return true;
        if (q == Queue::main() && ns::Thread::isMainThread() && !detail::mainRunLoopRunningElsewhere()) {
            return true;
        }
    }
    return false;
}

} // namespace

void sync(const rt::Ref<Queue>& queue, Block block) {
    if (!queue) {
        ns::logLine("dispatch: sync onto a nil queue; ignored");
        return;
    }
    if (!block) return;
    if (syncWouldDeadlock(queue)) {
        ns::logLine("dispatch: sync onto \"" + queue->label() +
                    "\" from the thread that would have to run it; running the block inline");
        FrameScope frame(queue.get());
        block();
        return;
    }
    if (queue->target() == nullptr && queue != Queue::main()) { // a global queue: run it here
        FrameScope frame(queue.get());
        block();
        return;
    }
    if (Queue::Impl::runSyncInline(queue.get(), block)) return;
    struct Done {
        std::mutex lock;
        detail::ParkingLot lot;
        bool done = false;
        std::exception_ptr error;
    } done;
    Queue::Impl::enqueue(queue.get(), [&done, &block] {
        try {
            block();
        } catch (...) {
            done.error = std::current_exception();
        }
        std::lock_guard g(done.lock);
        done.done = true;
        done.lot.wakeAll();
    });
    {
        std::unique_lock lock(done.lock);
        while (!done.done)
            done.lot.park(lock, std::nullopt);
    }
    if (done.error) std::rethrow_exception(done.error);
}

void asyncAfter(Time when, const rt::Ref<Queue>& queue, Block block) {
    if (!queue) {
        ns::logLine("dispatch: asyncAfter onto a nil queue; ignored");
        return;
    }
    if (!block) return;
    detail::TimerManager::shared().schedule(when, 0, [queue, block = std::move(block)]() mutable {
        Queue::Impl::enqueue(queue.get(), std::move(block));
    });
}

rt::Ref<Queue> currentQueue() {
    return tlFrame ? rt::Ref<Queue>(tlFrame->queue) : nullptr;
}

bool isRunningOn(const rt::Ref<Queue>& queue) {
    return queue && onStack(queue.get());
}

std::optional<Time> nextDeadline() {
    return detail::TimerManager::shared().nextDeadline();
}

void once(OnceFlag& flag, Block block) {
    std::call_once(flag.flag_, block);
}

} // namespace dispatch
