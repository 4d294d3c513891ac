// Scheduling and multicasting operators of es::Signal: where events are delivered and
// subscriptions made, and how one subscription is shared among many subscribers.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread.h"
#include "streams/multicast_connection.h"
#include "streams/operator_support.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

namespace {
// A nil scheduler runs the work at once, on the calling thread.
const rt::Ref<Scheduler>& orImmediate(const rt::Ref<Scheduler>& scheduler) {
    return scheduler ? scheduler : Scheduler::immediateScheduler();
}

// ---- Events on their way to another thread ------------------------------------------------

// One event of a subscription: a value, an error or the completion.
struct PendingEvent {
    enum class Kind : std::uint8_t { Next, Error, Completed };
    Kind kind;
    rt::Id object; // the value, or the error

    void sendTo(Subscriber& subscriber) const {
        switch (kind) {
        case Kind::Next:
            return subscriber.sendNext(object);
        case Kind::Error:
            return subscriber.sendError(rt::downcast<ns::Error>(object));
        case Kind::Completed:
            return subscriber.sendCompleted();
        }
    }
};

// Handlers that hand every event of the source to `take` (out, event).
template <class Take>
auto handingOver(Take take) {
    using Kind = PendingEvent::Kind;
    return Handlers{
        .next = [take](Downstream& out, const rt::Id& value) { take(out, PendingEvent{Kind::Next, value}); },
        .error = [take](Downstream& out, const rt::Ref<ns::Error>& e) { take(out, PendingEvent{Kind::Error, e}); },
        .completed = [take](Downstream& out) { take(out, PendingEvent{Kind::Completed, nullptr}); }};
}

// How many events one drain sends before it queues itself again behind the other work of its
// queue, so that a subscription kept busy never holds that work up for long.
constexpr int kEventsPerTurn = 64;

// The events of one subscription waiting to be sent from another thread, in the order they came.
// The first event into an idle queue asks for a drain, and only one drain is scheduled or running
// at a time, so the events go out one at a time and in order. A drain takes out a run of events
// at a time, so the thread that queues them seldom waits for it. Closing the queue (the
// subscription was disposed) releases what waits at once, stops the run being sent at the next
// event and turns away what still comes; a drain already scheduled then finds nothing to send.
class EventQueue {
public:
    // Queues the event; true when the queue was idle and the caller schedules a drain.
    bool push(PendingEvent event) {
        std::unique_lock g(lock_);
        if (closed_.load(std::memory_order_relaxed)) {
            g.unlock(); // the event is released outside the lock
            return false;
        }
        events_.push_back(std::move(event));
        return !std::exchange(draining_, true);
    }

    // Sends a run of what waits, at most kEventsPerTurn events; true when more wait and the
    // caller schedules the drain again.
    bool drain(Subscriber& subscriber) {
        {
            std::lock_guard g(lock_);
            auto end = events_.begin() + std::min<std::ptrdiff_t>(std::ssize(events_), kEventsPerTurn);
            run_.assign(std::make_move_iterator(events_.begin()), std::make_move_iterator(end));
            events_.erase(events_.begin(), end);
        }
        for (const PendingEvent& event : run_) {
            if (closed_.load(std::memory_order_relaxed)) break;
            event.sendTo(subscriber);
        }
        run_.clear();
        std::lock_guard g(lock_);
        return goesOn();
    }

    // An event sent at once, in place of a drain: true when the queue is open and idle (nothing
    // waits, nothing is being sent); it then counts as draining until finishSending.
    bool startSending() {
        std::lock_guard g(lock_);
        if (draining_ || closed_.load(std::memory_order_relaxed)) return false;
        draining_ = true;
        return true;
    }
    // True when events came while it was being sent, and the caller schedules a drain.
    bool finishSending() {
        std::lock_guard g(lock_);
        return goesOn();
    }

    void close() {
        std::deque<PendingEvent> dropped; // released after the unlock
        std::lock_guard g(lock_);
        closed_.store(true, std::memory_order_relaxed);
        dropped.swap(events_);
    }

private:
    // Under the lock, at the end of a drain's turn: whether the drain goes on.
    bool goesOn() {
        if (!events_.empty()) return true;
        draining_ = false;
        return false;
    }

    std::mutex lock_;
    std::deque<PendingEvent> events_;
    bool draining_ = false; // a drain is scheduled or running, or an event is being sent at once
    std::atomic<bool> closed_{false}; // written under the lock; a drain's run reads it without
    std::vector<PendingEvent> run_;   // the run a drain is sending (touched by the drain only)
};

// Subscribes to the source with the handlers; the queue closes when the subscription ends.
template <class H>
rt::Ref<CompoundDisposable> forwardThrough(std::shared_ptr<EventQueue> queue, const rt::Ref<Signal>& source,
                                           const rt::Ref<Subscriber>& subscriber, H handlers) {
    auto subscription = forward(source, subscriber, std::move(handlers));
    subscription->addDisposable(Disposable::withBlock([queue = std::move(queue)] { queue->close(); }));
    return subscription;
}

// ---- deliverOn ----------------------------------------------------------------------------

void scheduleDrain(const rt::Ref<Scheduler>& scheduler, std::shared_ptr<EventQueue> queue,
                   rt::Ref<Subscriber> subscriber) {
    scheduler->schedule([scheduler, queue = std::move(queue), subscriber = std::move(subscriber)] {
        if (queue->drain(*subscriber)) scheduleDrain(scheduler, queue, subscriber);
    });
}

// Onto a scheduler that runs its blocks on a dispatch queue: the events wait in the
// subscription's queue, and one block sends a run of them.
rt::Ref<Disposable> deliverQueued(const rt::Ref<Scheduler>& scheduler, const rt::Ref<Signal>& source,
                                  const rt::Ref<Subscriber>& subscriber) {
    auto queue = std::make_shared<EventQueue>();
    return forwardThrough(queue, source, subscriber, handingOver([scheduler, queue](Downstream& out, PendingEvent e) {
                              if (queue->push(std::move(e))) scheduleDrain(scheduler, queue, out.subscriber());
                          }));
}

// Onto any other scheduler: one block per event. The immediate scheduler sends each at once (one
// sent from inside a delivery arrives nested in it); the test scheduler runs one per step.
rt::Ref<Disposable> deliverEach(const rt::Ref<Scheduler>& scheduler, const rt::Ref<Signal>& source,
                                const rt::Ref<Subscriber>& subscriber) {
    return forward(source, subscriber, handingOver([scheduler](Downstream& out, PendingEvent e) {
                       scheduler->schedule([s = out.subscriber(), e = std::move(e)] { e.sendTo(*s); });
                   }));
}

} // namespace

rt::Ref<Signal> Signal::deliverOn(const rt::Ref<Scheduler>& given) {
    // Every event is sent from a block on the scheduler. The scheduled work is not kept: disposal
    // does not withdraw it, and the subscription's own subscriber drops what it still sends.
    const rt::Ref<Scheduler>& scheduler = orImmediate(given);
    auto body = scheduler->isKindOfClass(QueueScheduler::staticClass()) ? deliverQueued : deliverEach;
    return makeOperator(
        *this,
        [scheduler, body](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            return body(scheduler, source, subscriber);
        },
        "[%@] -deliverOn: %@", given);
}

// ---- deliverOnMainThread ------------------------------------------------------------------

namespace {

void postDrain(std::shared_ptr<EventQueue> queue, rt::Ref<Subscriber> subscriber) {
    dispatch::async(dispatch::Queue::main(), [queue = std::move(queue), subscriber = std::move(subscriber)] {
        if (queue->drain(*subscriber)) postDrain(queue, subscriber);
    });
}

// An event is sent at once when it comes on the main thread while none of the subscription's
// events waits or is being sent; otherwise it waits behind those, for a drain on the main queue.
void performOnMainThread(const std::shared_ptr<EventQueue>& queue, PendingEvent event,
                         const rt::Ref<Subscriber>& subscriber) {
    if (ns::Thread::isMainThread() && queue->startSending()) {
        event.sendTo(*subscriber);
        if (queue->finishSending()) postDrain(queue, subscriber);
        return;
    }
    if (queue->push(std::move(event))) postDrain(queue, subscriber);
}

} // namespace

rt::Ref<Signal> Signal::deliverOnMainThread() {
    return makeOperator(
        *this,
        [](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto queue = std::make_shared<EventQueue>();
            return forwardThrough(queue, source, subscriber, handingOver([queue](Downstream& out, PendingEvent e) {
                                      performOnMainThread(queue, std::move(e), out.subscriber());
                                  }));
        },
        "[%@] -deliverOnMainThread");
}

rt::Ref<Signal> Signal::subscribeOn(const rt::Ref<Scheduler>& given) {
    return makeOperator(
        *this,
        [scheduler = orImmediate(given)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // Disposed before the block runs, it cancels the subscription; after, it ends it.
            auto disposable = CompoundDisposable::make();
            disposable->addDisposable(scheduler->schedule(
                [source, subscriber, disposable] { disposable->addDisposable(source->subscribe(subscriber)); }));
            return disposable;
        },
        "[%@] -subscribeOn: %@", given);
}

rt::Ref<MulticastConnection> Signal::multicast(const rt::Ref<Subject>& given) {
    rt::Ref<Subject> subject = given ? given : Subject::subject();
    subject->setNameWithFormat("[%@] -multicast: %@", name(), subject->name());
    return MulticastConnection::make(rt::retained(this), subject);
}

rt::Ref<MulticastConnection> Signal::publish() {
    auto subject = Subject::subject();
    subject->setNameWithFormat("[%@] -publish", name());
    return multicast(subject);
}

rt::Ref<Signal> Signal::replay() {
    auto subject = ReplaySubject::subject();
    subject->setNameWithFormat("[%@] -replay", name());
    auto connection = multicast(subject);
    connection->connect();
    return connection->signal();
}

rt::Ref<Signal> Signal::replayLast() {
    auto subject = ReplaySubject::replaySubjectWithCapacity(1);
    subject->setNameWithFormat("[%@] -replayLast", name());
    auto connection = multicast(subject);
    connection->connect();
    return connection->signal();
}

rt::Ref<Signal> Signal::replayLazily() {
    auto connection = multicast(ReplaySubject::subject());
    auto result = defer([connection] {
        connection->connect();
        return connection->signal();
    });
    nameOperator(*result, *this, "[%@] -replayLazily");
    return result;
}

rt::Ref<Signal> Signal::let(LetBlock block) {
    return makeOperator(
        *this,
        [block = std::move(block)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto connection = source->publish();
            rt::Ref<Signal> shared = block ? block(connection->signal()) : nullptr;
            rt::Ref<Disposable> subscription = shared ? forward(shared, subscriber, Handlers{}) : nullptr;
            // The connection's disposable first, then the subscription to the block's signal.
            return CompoundDisposable::withDisposables({connection->connect(), subscription});
        },
        "[%@] -let:");
}

} // namespace es
