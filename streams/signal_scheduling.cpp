// Scheduling and multicasting operators of es::Signal: where events are delivered and
// subscriptions made, and how one subscription is shared among many subscribers.

#include <atomic>
#include <cstdint>
#include <memory>

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
} // namespace

rt::Ref<Signal> Signal::deliverOn(const rt::Ref<Scheduler>& given) {
    // The scheduled work is not kept: events already handed over still run after disposal, and
    // the subscription's own subscriber drops them.
    return makeOperator(
        *this,
        [scheduler = orImmediate(given)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            return forward(source, subscriber,
                           Handlers{.next = [scheduler](Downstream& out, const rt::Id& value) {
                                        scheduler->schedule([s = out.subscriber(), value] { s->sendNext(value); });
                                    },
                                    .error = [scheduler](Downstream& out, const rt::Ref<ns::Error>& error) {
                                        scheduler->schedule([s = out.subscriber(), error] { s->sendError(error); });
                                    },
                                    .completed = [scheduler](Downstream& out) {
                                        scheduler->schedule([s = out.subscriber()] { s->sendCompleted(); });
                                    }});
        },
        "[%@] -deliverOn: %@", given);
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
    return makeOperator(
        *this,
        [](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto queue = std::make_shared<MainThreadQueue>();
            return forward(
                source, subscriber,
                Handlers{.next = [queue](Downstream& out, const rt::Id& value) {
                             MainThreadQueue::perform(queue, [s = out.subscriber(), value] { s->sendNext(value); });
                         },
                         .error = [queue](Downstream& out, const rt::Ref<ns::Error>& error) {
                             MainThreadQueue::perform(queue, [s = out.subscriber(), error] { s->sendError(error); });
                         },
                         .completed = [queue](Downstream& out) {
                             MainThreadQueue::perform(queue, [s = out.subscriber()] { s->sendCompleted(); });
                         }});
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
