// Timer sources.

#include <utility>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/timer_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace dispatch {

RT_DEFINE_CLASS(TimerSource, "OS_dispatch_source", rt::Object)

struct TimerSource::Impl {
    mutable std::mutex lock;
    rt::Ref<Queue> queue;
    Block handler;
    Block cancelHandler;
    Time start = Forever;
    double interval = 0;
    bool resumed = false;
    bool cancelled = false;
    std::uint64_t generation = 0; // bumped by every arming; fires of an older one are dropped
    detail::TimerManager::Id entry = 0;
};

TimerSource::TimerSource(rt::Ref<Queue> queue) : impl_(std::make_unique<Impl>()) {
    impl_->queue = std::move(queue);
}

TimerSource::~TimerSource() = default;

rt::Ref<TimerSource> TimerSource::make(rt::Ref<Queue> queue) {
    if (!queue) queue = Queue::global();
    return rt::make<TimerSource>(std::move(queue));
}

namespace {

// Arms (or re-arms) the source's timer. The manager holds the source while it is armed, as the
// platform keeps an active source alive until it is cancelled.
void arm(TimerSource* source, TimerSource::Impl& d) {
    detail::TimerManager& timers = detail::TimerManager::shared();
    detail::TimerManager::Id previous;
    std::uint64_t generation;
    Time start;
    double interval;
    {
        std::lock_guard g(d.lock);
        if (!d.resumed || d.cancelled) return;
        previous = std::exchange(d.entry, 0);
        generation = ++d.generation;
        start = d.start;
        interval = d.interval;
    }
    timers.cancel(previous);
    auto fired = [self = rt::Ref<TimerSource>(source), &d, generation] {
        std::lock_guard g(d.lock);
        if (d.cancelled || d.generation != generation) return;
        // Enqueued under the source's lock, so nothing is enqueued once cancel has returned.
        async(d.queue, [self, &d] {
            Block handler;
            {
                std::lock_guard g(d.lock);
                if (d.cancelled) return;
                handler = d.handler;
            }
            if (handler) handler();
        });
    };
    detail::TimerManager::Id id = timers.schedule(start, interval, std::move(fired));
    bool stale;
    {
        std::lock_guard g(d.lock);
        stale = d.cancelled || d.generation != generation;
        if (!stale) d.entry = id;
    }
    if (stale) timers.cancel(id);
}

} // namespace

void TimerSource::setTimer(Time start, double intervalSeconds, double) {
    {
        std::lock_guard g(impl_->lock);
        impl_->start = start;
        impl_->interval = intervalSeconds > 0 ? intervalSeconds : 0;
    }
    arm(this, *impl_);
}

void TimerSource::setEventHandler(Block handler) {
    Block previous;
    std::lock_guard g(impl_->lock);
    if (impl_->cancelled) return;
    previous = std::exchange(impl_->handler, std::move(handler));
}

void TimerSource::setCancelHandler(Block handler) {
    Block previous;
    std::lock_guard g(impl_->lock);
    if (impl_->cancelled) return;
    previous = std::exchange(impl_->cancelHandler, std::move(handler));
}

void TimerSource::resume() {
    {
        std::lock_guard g(impl_->lock);
        if (impl_->resumed) {
            ns::logLine("dispatch: timer source resumed twice; ignored");
            return;
        }
        impl_->resumed = true;
    }
    arm(this, *impl_);
}

void TimerSource::cancel() {
    detail::TimerManager::Id entry;
    Block handler, cancelHandler;
    rt::Ref<Queue> queue;
    {
        std::lock_guard g(impl_->lock);
        if (impl_->cancelled) return;
        impl_->cancelled = true;
        entry = std::exchange(impl_->entry, 0);
        handler = std::move(impl_->handler); // released outside the lock
        cancelHandler = std::move(impl_->cancelHandler);
        queue = impl_->queue;
    }
    detail::TimerManager::shared().cancel(entry);
    if (cancelHandler) async(queue, std::move(cancelHandler));
}

bool TimerSource::isCancelled() const {
    std::lock_guard g(impl_->lock);
    return impl_->cancelled;
}

} // namespace dispatch
