// Scheduling and multicasting operators of es::Signal: where events are delivered and
// subscriptions made, and how one subscription is shared among many subscribers.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/error.h"
#include "platform/foundation/run_loop.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

namespace {
// A nil scheduler runs the work at once, on the calling thread.
const rt::Ref<Scheduler>& orImmediate(const rt::Ref<Scheduler>& scheduler) {
    return scheduler ? scheduler : Scheduler::immediateScheduler();
}
} // namespace

rt::Ref<Signal> Signal::deliverOn(const rt::Ref<Scheduler>& given) {
    rt::Ref<Signal> self(this);
    rt::Ref<Scheduler> scheduler = orImmediate(given);
    auto result = createSignal([self, scheduler](const rt::Ref<Subscriber>& subscriber) {
        // The scheduled work is not kept: events already handed over still run after disposal,
        // and the subscriber drops them.
        return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
            [subscriber, scheduler](const rt::Id& value) {
                scheduler->schedule([subscriber, value] { subscriber->sendNext(value); });
            },
            [subscriber, scheduler](const rt::Ref<ns::Error>& error) {
                scheduler->schedule([subscriber, error] { subscriber->sendError(error); });
            },
            [subscriber, scheduler] { scheduler->schedule([subscriber] { subscriber->sendCompleted(); }); }));
    });
    return down(named(result, "[%@] -deliverOn: %@", given));
}

namespace {

// The events of one deliverOnMainThread subscription handed to the main thread and not yet run.
// Inline delivery is decided by the value the increment returns alone, so the counter needs no
// ordering of its own: relaxed atomic adds.
struct MainThreadQueue {
    std::atomic<std::int32_t> pending{0};

    static void perform(const std::shared_ptr<MainThreadQueue>& self, std::function<void()> block) {
        std::int32_t queued = self->pending.fetch_add(1, std::memory_order_relaxed) + 1;
        if (queued == 1 && ns::Thread::isMainThread()) {
            block();
            self->pending.fetch_sub(1, std::memory_order_relaxed);
            return;
        }
        dispatch::async(dispatch::Queue::main(), [self, block = std::move(block)] {
            block();
            self->pending.fetch_sub(1, std::memory_order_relaxed);
        });
    }
};

} // namespace

rt::Ref<Signal> Signal::deliverOnMainThread() {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self](const rt::Ref<Subscriber>& subscriber) {
        auto queue = std::make_shared<MainThreadQueue>();
        return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
            [queue, subscriber](const rt::Id& value) {
                MainThreadQueue::perform(queue, [subscriber, value] { subscriber->sendNext(value); });
            },
            [queue, subscriber](const rt::Ref<ns::Error>& error) {
                MainThreadQueue::perform(queue, [subscriber, error] { subscriber->sendError(error); });
            },
            [queue, subscriber] {
                MainThreadQueue::perform(queue, [subscriber] { subscriber->sendCompleted(); });
            }));
    });
    return down(named(result, "[%@] -deliverOnMainThread"));
}

rt::Ref<Signal> Signal::subscribeOn(const rt::Ref<Scheduler>& given) {
    rt::Ref<Signal> self(this);
    rt::Ref<Scheduler> scheduler = orImmediate(given);
    auto result = createSignal([self, scheduler](const rt::Ref<Subscriber>& subscriber) {
        // Disposed before the block runs, it cancels the subscription; after, it ends it.
        auto disposable = CompoundDisposable::make();
        auto scheduled = scheduler->schedule(
            [self, subscriber, disposable] { disposable->addDisposable(self->subscribe(subscriber)); });
        disposable->addDisposable(scheduled);
        return rt::Ref<rt::Disposable>(disposable);
    });
    return down(named(result, "[%@] -subscribeOn: %@", given));
}

rt::Ref<MulticastConnection> Signal::multicast(const rt::Ref<Subject>& given) {
    rt::Ref<Subject> subject = given ? given : Subject::subject();
    subject->setNameWithFormat("[%@] -multicast: %@", name(), subject->name());
    return MulticastConnection::make(rt::Ref<Signal>(this), subject);
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
    return down(named(result, "[%@] -replayLazily"));
}

rt::Ref<Signal> Signal::let(LetBlock block) {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
        auto connection = self->publish();
        rt::Ref<Signal> shared = block(connection->signal());
        rt::Ref<Disposable> subscription;
        if (shared) {
            subscription = shared->subscribeNextErrorCompleted(
                [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
                [subscriber] { subscriber->sendCompleted(); });
        }
        auto connected = connection->connect();
        return rt::Ref<rt::Disposable>(Disposable::withBlock([connected, subscription] {
            connected->dispose();
            if (subscription) subscription->dispose();
        }));
    });
    return down(named(result, "[%@] -let:"));
}

} // namespace es
