#include "platform/foundation/run_loop.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <string>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/foundation/dispatch_internal.h"
#include "platform/foundation/platform_work.h"
#include "platform/foundation/thread.h"
#include "platform/foundation/timer_manager.h"
#include "platform/foundation/worker_pool.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace ns {

RT_DEFINE_CLASS(RunLoop, "NSRunLoop", rt::Object)
RT_DEFINE_CLASS(Timer, "NSTimer", rt::Object)
RT_DEFINE_CLASS(RunLoopSource, "CFRunLoopSource", rt::Object)

// ---- Source state ---------------------------------------------------------------------------

struct RunLoopSource::Impl {
    mutable std::mutex lock; // guards perform, valid and loops
    std::shared_ptr<const Perform> perform; // a perform in progress keeps its own reference
    bool valid = true;
    std::atomic<bool> signalled{false};
    std::vector<rt::Weak<RunLoop>> loops; // the run loops it was added to

    static Impl& of(const RunLoopSource* source) { return *source->impl_; }
};

namespace {

// Whether a source added for `sourceMode` runs while a loop runs in `runMode`.
bool modeCovers(std::string_view sourceMode, std::string_view runMode) {
    if (sourceMode == runMode) return true;
    return sourceMode == RunLoopCommonModes && (runMode == DefaultRunLoopMode || runMode == TrackingRunLoopMode);
}

} // namespace

// ---- Timer state ----------------------------------------------------------------------------

struct Timer::Impl {
    mutable std::mutex lock;
    TimeInterval interval;
    bool repeats;
    std::shared_ptr<const Callback> callback; // a fire in progress keeps its own reference
    TimeInterval fireDate;
    bool valid = true;
    bool scheduled = false;
    rt::Weak<RunLoop> loop;
    dispatch::detail::TimerManager::Id entry = 0;

    static Impl& of(const Timer* timer) { return *timer->impl_; }
    static void arm(const rt::Ref<Timer>& timer);
    // Called by the run loop the timer fired on; returns whether the block ran.
    static bool fired(const rt::Ref<Timer>& timer);
};

// ---- RunLoop --------------------------------------------------------------------------------

struct RunLoop::Impl {
    struct Event {
        enum class Kind { Block, Timer, MainQueueTick } kind;
        dispatch::Block block;
        rt::Ref<Timer> timer;
    };
    struct SourceEntry {
        rt::Ref<RunLoopSource> source;
        std::string mode;
    };
    struct WakeHandler {
        std::string mode;
        long order;
        std::shared_ptr<const std::function<void()>> handler;
    };
    enum class Result { Handled, TimedOut, Stopped };

    static Impl& of(const RunLoop* loop) { return *loop->impl_; }

    bool isMain;
    unsigned threadNumber = 0; // ns::Thread::number() of the loop's thread
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Event> events;
    bool stopRequested = false;
    std::vector<rt::Ref<Timer>> timers;  // scheduled here until invalidated
    std::vector<SourceEntry> sources;    // added here until removed or invalidated
    std::vector<WakeHandler> wakeHandlers; // in ascending order
    std::atomic<bool> hasWakeHandlers{false}; // spares the lock in passes of loops without any
    std::vector<std::shared_ptr<const std::function<void()>>> turnEndHandlers; // in the order added
    std::atomic<bool> hasTurnEndHandlers{false};
    int depth = 0;                       // runs in progress
    std::atomic<std::thread::id> runner; // the thread of the outermost run in progress
    std::string_view runningMode;        // the mode of the innermost run in progress
    // A loop other than the main one counts as in-flight platform work while work waits for it
    // (the stepper drains the main loop itself).
    std::optional<PlatformWork> busy;

    void post(Event event) {
        {
            std::lock_guard g(lock);
            events.push_back(std::move(event));
            markBusyIfPending();
            wake.notify_all();
        }
        if (isMain) dispatch::detail::WorkerPool::shared().notifySettleWaiters();
    }

    // Under `lock`: work waits here (an event, or a signalled source of the mode the loop runs, the
    // default mode between runs), so the loop's thread has platform work in flight.
    void markBusyIfPending() {
        if (isMain || busy) return;
        if (events.empty() && !sourceReady(depth > 0 ? runningMode : DefaultRunLoopMode)) return;
        const std::string name = Thread::nameOf(threadNumber);
        busy.emplace(name.empty() ? "run loop of thread " + std::to_string(threadNumber) : name);
    }

    // After handling, in the outermost run of `mode`: once nothing is left for it, its work is done
    // (what it queued elsewhere is queued by now). A nested run leaves that to the outermost one,
    // whose event is still running.
    void markIdleIfDone(std::string_view mode) {
        if (isMain) return;
        std::optional<PlatformWork> ended; // ends after the lock is released
        std::lock_guard g(lock);
        if (busy && depth == 1 && events.empty() && !sourceReady(mode)) ended.swap(busy);
    }

    // Handles the events that were waiting when it started; returns whether any did something.
    bool pass() {
        std::size_t n;
        {
            std::lock_guard g(lock);
            n = events.size();
        }
        bool handled = false;
        for (std::size_t i = 0; i < n; ++i) {
            Event event;
            {
                std::lock_guard g(lock);
                if (events.empty()) break;
                event = std::move(events.front());
                events.pop_front();
            }
            switch (event.kind) {
            case Event::Kind::Block:
                event.block();
                handled = true;
                break;
            case Event::Kind::Timer:
                handled = Timer::Impl::fired(event.timer) || handled;
                break;
            case Event::Kind::MainQueueTick:
                handled = dispatch::detail::runMainQueueTick() || handled;
                break;
            }
        }
        return handled;
    }

    // Under `lock`: whether a source of `mode` waits to perform.
    bool sourceReady(std::string_view mode) const {
        for (const SourceEntry& e : sources)
            if (modeCovers(e.mode, mode) && RunLoopSource::Impl::of(e.source.get()).signalled.load()) return true;
        return false;
    }

    // Performs the sources of `mode` that were signalled; returns whether any did.
    bool performSources(std::string_view mode) {
        std::vector<rt::Ref<RunLoopSource>> ready;
        {
            std::lock_guard g(lock);
            for (const SourceEntry& e : sources)
                if (modeCovers(e.mode, mode) && RunLoopSource::Impl::of(e.source.get()).signalled.load() &&
                    std::find(ready.begin(), ready.end(), e.source) == ready.end())
                    ready.push_back(e.source);
        }
        bool handled = false;
        for (const auto& source : ready) {
            RunLoopSource::Impl& s = RunLoopSource::Impl::of(source.get());
            if (!s.signalled.exchange(false)) continue; // another run loop performed it
            std::shared_ptr<const RunLoopSource::Perform> perform;
            {
                std::lock_guard g(s.lock);
                if (!s.valid) continue;
                perform = s.perform;
            }
            if (*perform) (*perform)();
            handled = true;
        }
        return handled;
    }

    // Calls the wake handlers of `mode` when there is work to do.
    void announceWake(std::string_view mode) {
        if (!hasWakeHandlers.load(std::memory_order_acquire)) return;
        std::vector<std::shared_ptr<const std::function<void()>>> due;
        {
            std::lock_guard g(lock);
            if (wakeHandlers.empty() || (events.empty() && !sourceReady(mode))) return;
            for (const WakeHandler& h : wakeHandlers)
                if (modeCovers(h.mode, mode)) due.push_back(h.handler);
        }
        for (const auto& handler : due)
            (*handler)();
    }

    // The turn-end handlers, in the order added.
    void endTurn() {
        if (!hasTurnEndHandlers.load(std::memory_order_acquire)) return;
        std::vector<std::shared_ptr<const std::function<void()>>> due;
        {
            std::lock_guard g(lock);
            due = turnEndHandlers;
        }
        for (const auto& handler : due)
            (*handler)();
    }

    // The wake handlers, then performed blocks, timers and queue work, then the sources of `mode`.
    bool handlePending(std::string_view mode) {
        announceWake(mode);
        const bool events = pass();
        return performSources(mode) || events;
    }

    void wakeUp() {
        {
            std::lock_guard g(lock);
            markBusyIfPending();
            wake.notify_all();
        }
        if (isMain) dispatch::detail::WorkerPool::shared().notifySettleWaiters();
    }

    bool takeStop() {
        std::lock_guard g(lock);
        return std::exchange(stopRequested, false);
    }

    Result runOnce(std::string_view mode, TimeInterval limit) {
        struct Depth {
            Impl& d;
            std::string_view outerMode;
            bool outermost = false;
            Depth(Impl& d, std::string_view mode) : d(d) {
                std::lock_guard g(d.lock);
                outermost = d.depth++ == 0;
                if (outermost) d.runner.store(std::this_thread::get_id());
                outerMode = std::exchange(d.runningMode, mode);
                d.markBusyIfPending(); // what waited out another mode runs now
            }
            ~Depth() {
                std::lock_guard g(d.lock);
                if (--d.depth == 0) d.runner.store(std::thread::id());
                d.runningMode = outerMode;
            }
        } depthGuard(*this, mode);
        // A pass of the outermost run that found work ends a turn; so does what ran on the thread
        // before it, outside any run.
        const bool outermost = depthGuard.outermost;
        auto handle = [&] {
            const bool handled = handlePending(mode);
            markIdleIfDone(mode);
            if (handled && outermost) endTurn();
            return handled;
        };

        if (outermost) endTurn();
        if (takeStop()) return Result::Stopped;
        if (handle()) return Result::Handled;
        if (!(Clock::currentTime() < limit)) return Result::TimedOut;
        auto& timersManager = dispatch::detail::TimerManager::shared();
        for (;;) {
            bool passed = false;
            auto id = timersManager.schedule(limit, 0, [this, &passed] {
                std::lock_guard g(lock);
                passed = true;
                wake.notify_all();
            });
            {
                std::unique_lock l(lock);
                wake.wait(l, [&] { return !events.empty() || stopRequested || passed || sourceReady(mode); });
            }
            timersManager.cancel(id); // its callback is not running once this returns
            if (takeStop()) return Result::Stopped;
            if (handle()) return Result::Handled;
            if (passed) return Result::TimedOut;
        }
    }

    ~Impl() {
        std::vector<rt::Ref<Timer>> left;
        left.swap(timers);
        for (auto& timer : left)
            timer->invalidate();
    }
};

RunLoop::RunLoop(bool isMain) : impl_(std::make_unique<Impl>()) {
    impl_->isMain = isMain;
    impl_->threadNumber = Thread::number(); // made on its own thread (current())
}

RunLoop::~RunLoop() = default;

const rt::Ref<RunLoop>& RunLoop::main() {
    static const rt::Ref<RunLoop>* loop = [] {
        auto* l = new rt::Ref<RunLoop>(rt::make<RunLoop>(true));
        rt::makeImmortal(**l);
        return l;
    }();
    return *loop;
}

rt::Ref<RunLoop> RunLoop::current() {
    if (Thread::isMainThread()) return main();
    thread_local rt::Ref<RunLoop> loop;
    if (!loop) loop = rt::make<RunLoop>(false);
    return loop;
}

void RunLoop::performBlock(dispatch::Block block) {
    if (!block) return;
    impl_->post({Impl::Event::Kind::Block, std::move(block), nullptr});
}

bool RunLoop::runMode(std::string_view mode, const rt::Ref<Date>& limitDate) {
    TimeInterval limit = limitDate ? limitDate->timeIntervalSinceReferenceDate() : -INFINITY;
    return impl_->runOnce(mode, limit) != Impl::Result::TimedOut;
}

void RunLoop::runUntilDate(const rt::Ref<Date>& limitDate) {
    TimeInterval limit = limitDate ? limitDate->timeIntervalSinceReferenceDate() : -INFINITY;
    while (impl_->runOnce(DefaultRunLoopMode, limit) == Impl::Result::Handled) {
        if (!(Clock::currentTime() < limit)) return;
    }
}

void RunLoop::run() {
    while (impl_->runOnce(DefaultRunLoopMode, INFINITY) != Impl::Result::Stopped) {
    }
}

void RunLoop::stop() {
    std::lock_guard g(impl_->lock);
    impl_->stopRequested = true;
    impl_->wake.notify_all();
}

void RunLoop::addTimer(const rt::Ref<Timer>& timer, std::string_view) {
    if (!timer) return;
    {
        Timer::Impl& t = Timer::Impl::of(timer.get());
        std::lock_guard g(t.lock);
        if (!t.valid) return;
        if (t.scheduled) {
            ns::logLine("NSRunLoop: a timer can be scheduled on one run loop only; ignored");
            return;
        }
        t.scheduled = true;
        t.loop = rt::Weak<RunLoop>(this);
    }
    {
        std::lock_guard g(impl_->lock);
        impl_->timers.push_back(timer);
    }
    Timer::Impl::arm(timer);
}

void RunLoop::addSource(const rt::Ref<RunLoopSource>& source, std::string_view mode) {
    if (!source) return;
    RunLoopSource::Impl& s = RunLoopSource::Impl::of(source.get());
    {
        std::lock_guard g(s.lock);
        if (!s.valid) return;
        const bool known = std::any_of(s.loops.begin(), s.loops.end(),
                                       [this](const rt::Weak<RunLoop>& l) { return l.lock().get() == this; });
        if (!known) s.loops.emplace_back(this);
    }
    {
        std::lock_guard g(impl_->lock);
        auto& sources = impl_->sources;
        const bool present = std::any_of(sources.begin(), sources.end(), [&](const Impl::SourceEntry& e) {
            return e.source == source && e.mode == mode;
        });
        if (!present) sources.push_back({source, std::string(mode)});
    }
    if (s.signalled.load()) impl_->wakeUp(); // signalled before it was added here
}

void RunLoop::removeSource(const rt::Ref<RunLoopSource>& source, std::string_view mode) {
    if (!source) return;
    std::vector<Impl::SourceEntry> removed; // released outside the lock
    std::lock_guard g(impl_->lock);
    auto& sources = impl_->sources;
    auto it = std::stable_partition(sources.begin(), sources.end(), [&](const Impl::SourceEntry& e) {
        return !(e.source == source && e.mode == mode);
    });
    std::move(it, sources.end(), std::back_inserter(removed));
    sources.erase(it, sources.end());
}

bool RunLoop::containsSource(const rt::Ref<RunLoopSource>& source, std::string_view mode) const {
    std::lock_guard g(impl_->lock);
    return std::any_of(impl_->sources.begin(), impl_->sources.end(),
                       [&](const Impl::SourceEntry& e) { return e.source == source && e.mode == mode; });
}

void RunLoop::addWakeHandler(std::string_view mode, long order, std::function<void()> handler) {
    if (!handler) return;
    std::lock_guard g(impl_->lock);
    auto& handlers = impl_->wakeHandlers;
    auto at = std::upper_bound(handlers.begin(), handlers.end(), order,
                               [](long o, const Impl::WakeHandler& h) { return o < h.order; });
    handlers.insert(at, {std::string(mode), order, std::make_shared<const std::function<void()>>(std::move(handler))});
    impl_->hasWakeHandlers.store(true, std::memory_order_release);
}

void RunLoop::addTurnEndHandler(std::function<void()> handler) {
    if (!handler) return;
    std::lock_guard g(impl_->lock);
    impl_->turnEndHandlers.push_back(std::make_shared<const std::function<void()>>(std::move(handler)));
    impl_->hasTurnEndHandlers.store(true, std::memory_order_release);
}

// ---- RunLoopSource --------------------------------------------------------------------------

RunLoopSource::RunLoopSource(Perform perform) : impl_(std::make_unique<Impl>()) {
    impl_->perform = std::make_shared<const Perform>(std::move(perform));
}

RunLoopSource::~RunLoopSource() = default;

rt::Ref<RunLoopSource> RunLoopSource::make(Perform perform) {
    return rt::make<RunLoopSource>(std::move(perform));
}

void RunLoopSource::signal() {
    std::vector<rt::Weak<RunLoop>> loops;
    {
        std::lock_guard g(impl_->lock);
        if (!impl_->valid) return;
        loops = impl_->loops;
    }
    impl_->signalled.store(true);
    for (const auto& weak : loops)
        if (auto loop = weak.lock()) RunLoop::Impl::of(loop.get()).wakeUp();
}

void RunLoopSource::invalidate() {
    rt::Ref<RunLoopSource> keep(this); // a run loop's reference may be the last one
    std::shared_ptr<const Perform> perform;
    std::vector<rt::Weak<RunLoop>> loops;
    {
        std::lock_guard g(impl_->lock);
        if (!impl_->valid) return;
        impl_->valid = false;
        perform = std::move(impl_->perform);
        loops.swap(impl_->loops);
    }
    impl_->signalled.store(false);
    for (const auto& weak : loops) {
        auto loop = weak.lock();
        if (!loop) continue;
        std::vector<RunLoop::Impl::SourceEntry> removed;
        auto& l = RunLoop::Impl::of(loop.get());
        std::lock_guard g(l.lock);
        auto it = std::stable_partition(l.sources.begin(), l.sources.end(),
                                        [&](const RunLoop::Impl::SourceEntry& e) { return e.source != keep; });
        std::move(it, l.sources.end(), std::back_inserter(removed));
        l.sources.erase(it, l.sources.end());
    }
}

bool RunLoopSource::isValid() const {
    std::lock_guard g(impl_->lock);
    return impl_->valid;
}

// ---- Timer ----------------------------------------------------------------------------------

Timer::Timer(TimeInterval seconds, bool repeats, Callback block) : impl_(std::make_unique<Impl>()) {
    if (!(seconds > 0)) seconds = 0.0001;
    impl_->interval = seconds;
    impl_->repeats = repeats;
    impl_->callback = std::make_shared<const Callback>(std::move(block));
    impl_->fireDate = Clock::currentTime() + seconds;
}

Timer::~Timer() = default;

rt::Ref<Timer> Timer::timerWithTimeInterval(TimeInterval seconds, bool repeats, Callback block) {
    return rt::make<Timer>(seconds, repeats, std::move(block));
}

rt::Ref<Timer> Timer::scheduledTimerWithTimeInterval(TimeInterval seconds, bool repeats, Callback block) {
    auto timer = timerWithTimeInterval(seconds, repeats, std::move(block));
    RunLoop::current()->addTimer(timer);
    return timer;
}

void Timer::Impl::arm(const rt::Ref<Timer>& timer) {
    Impl& t = *timer->impl_;
    TimeInterval date;
    rt::Weak<RunLoop> loop;
    {
        std::lock_guard g(t.lock);
        if (!t.valid) return;
        date = t.fireDate;
        loop = t.loop;
    }
    auto& manager = dispatch::detail::TimerManager::shared();
    auto id = manager.schedule(date, 0, [loop, timer] {
        if (auto l = loop.lock())
            RunLoop::Impl::of(l.get()).post({RunLoop::Impl::Event::Kind::Timer, nullptr, timer});
    });
    bool stale;
    {
        std::lock_guard g(t.lock);
        stale = !t.valid;
        if (!stale) t.entry = id;
    }
    if (stale) manager.cancel(id);
}

bool Timer::Impl::fired(const rt::Ref<Timer>& timer) {
    Impl& t = *timer->impl_;
    std::shared_ptr<const Callback> callback;
    {
        std::lock_guard g(t.lock);
        if (!t.valid) return false;
        callback = t.callback;
    }
    if (*callback) (*callback)(timer);
    if (!t.repeats) {
        timer->invalidate();
        return true;
    }
    {
        std::lock_guard g(t.lock);
        if (!t.valid) return true;
        TimeInterval now = Clock::currentTime();
        TimeInterval next = t.fireDate + t.interval;
        if (next <= now) next += t.interval * (std::floor((now - next) / t.interval) + 1);
        t.fireDate = next;
    }
    arm(timer);
    return true;
}

void Timer::fire() {
    std::shared_ptr<const Callback> callback;
    {
        std::lock_guard g(impl_->lock);
        if (!impl_->valid) return;
        callback = impl_->callback;
    }
    if (*callback) (*callback)(rt::Ref<Timer>(this));
    if (!impl_->repeats) invalidate();
}

void Timer::invalidate() {
    std::shared_ptr<const Callback> callback;
    rt::Ref<RunLoop> loop;
    dispatch::detail::TimerManager::Id entry;
    {
        std::lock_guard g(impl_->lock);
        if (!impl_->valid) return;
        impl_->valid = false;
        entry = std::exchange(impl_->entry, 0);
        callback = std::move(impl_->callback);
        loop = impl_->loop.lock();
        impl_->loop = nullptr;
    }
    dispatch::detail::TimerManager::shared().cancel(entry);
    if (loop) {
        rt::Ref<Timer> keep(this); // the run loop's reference may be the last one
        std::lock_guard g(RunLoop::Impl::of(loop.get()).lock);
        auto& timers = RunLoop::Impl::of(loop.get()).timers;
        timers.erase(std::remove(timers.begin(), timers.end(), keep), timers.end());
    }
}

bool Timer::isValid() const {
    std::lock_guard g(impl_->lock);
    return impl_->valid;
}

rt::Ref<Date> Timer::fireDate() const {
    std::lock_guard g(impl_->lock);
    return Date::withTimeIntervalSinceReferenceDate(impl_->fireDate);
}

TimeInterval Timer::timeInterval() const {
    return impl_->repeats ? impl_->interval : 0;
}

rt::Ref<Timer> performAfterDelay(TimeInterval seconds, dispatch::Block block) {
    auto timer =
        Timer::timerWithTimeInterval(seconds, false, [block = std::move(block)](const rt::Ref<Timer>&) {
            if (block) block();
        });
    RunLoop::main()->addTimer(timer);
    return timer;
}

} // namespace ns

// ---- What dispatch asks of the main run loop ------------------------------------------------

namespace dispatch::detail {

void postMainQueueTicks(std::size_t count) {
    auto& loop = ns::RunLoop::Impl::of(ns::RunLoop::main().get());
    {
        std::lock_guard g(loop.lock);
        for (std::size_t i = 0; i < count; ++i) {
            loop.events.push_back({ns::RunLoop::Impl::Event::Kind::MainQueueTick, nullptr, nullptr});
        }
        loop.wake.notify_all();
    }
    WorkerPool::shared().notifySettleWaiters();
}

bool mainRunLoopRunningElsewhere() {
    std::thread::id runner = ns::RunLoop::Impl::of(ns::RunLoop::main().get()).runner.load();
    return runner != std::thread::id() && runner != std::this_thread::get_id();
}

bool mainRunLoopHasWork() {
    auto& loop = ns::RunLoop::Impl::of(ns::RunLoop::main().get());
    std::lock_guard g(loop.lock);
    return !loop.events.empty() || loop.sourceReady(ns::DefaultRunLoopMode);
}

} // namespace dispatch::detail
