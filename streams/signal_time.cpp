// Time operators of es::Signal: periodic ticks, time-outs, delaying, throttling and time-window
// buffering. Every timer is a scheduler's, so under a manual clock or the test scheduler all of
// this runs in virtual time.

#include <cstdint>
#include <memory>

#include "platform/foundation/array.h"
#include "platform/foundation/date.h"
#include "platform/foundation/error.h"
#include "streams/operator_support.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The scheduler of the older entry points that pick one themselves.
rt::Ref<Scheduler> highPriorityScheduler() {
    return Scheduler::schedulerWithPriority(dispatch::Priority::High);
}

// A nil scheduler given to a time operator: the scheduler of the forms that take none.
rt::Ref<Scheduler> orHighPriority(const rt::Ref<Scheduler>& scheduler) {
    return scheduler ? scheduler : highPriorityScheduler();
}

// Where a delayed delivery runs: the scheduler of the thread the event arrived on, so work that
// arrived on the main thread stays there; else the subscription's background scheduler.
rt::Ref<Scheduler> delayScheduler(const rt::Ref<Scheduler>& fallback) {
    rt::Ref<Scheduler> current = Scheduler::currentScheduler();
    return current ? current : fallback;
}

} // namespace

// ---- Ticks --------------------------------------------------------------------------------

rt::Ref<Signal> Signal::intervalOnSchedulerWithLeeway(double seconds, const rt::Ref<Scheduler>& given,
                                                      double leeway) {
    rt::Ref<Scheduler> scheduler = orHighPriority(given);
    auto result = createSignal([seconds, scheduler, leeway](const rt::Ref<Subscriber>& subscriber) {
        return scheduler->afterRepeatingEveryWithLeewaySchedule(ns::Date::now()->dateByAddingTimeInterval(seconds),
                                                                seconds, leeway,
                                                                [subscriber] { subscriber->sendNext(ns::Date::now()); });
    });
    result->setNameWithFormat("+interval: %f onScheduler: %@ withLeeway: %f", seconds, given, leeway);
    return result;
}

rt::Ref<Signal> Signal::interval(double seconds, const rt::Ref<Scheduler>& scheduler) {
    auto result = intervalOnSchedulerWithLeeway(seconds, scheduler, 0.0);
    result->setNameWithFormat("+interval: %f onScheduler: %@", seconds, scheduler);
    return result;
}

rt::Ref<Signal> Signal::interval(double seconds) {
    return interval(seconds, highPriorityScheduler());
}

rt::Ref<Signal> Signal::intervalWithLeeway(double seconds, double leeway) {
    return intervalOnSchedulerWithLeeway(seconds, highPriorityScheduler(), leeway);
}

// ---- Time-out -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::timeoutOnScheduler(double seconds, const rt::Ref<Scheduler>& given) {
    return makeOperator(
        *this,
        [seconds, scheduler = orHighPriority(given)](const rt::Ref<Signal>& source,
                                                     const rt::Ref<Subscriber>& subscriber) {
            // One disposable for the timer and the subscription: whichever ends first ends both.
            auto disposable = CompoundDisposable::make();
            disposable->addDisposable(scheduler->afterDelaySchedule(seconds, [disposable, subscriber] {
                disposable->dispose();
                subscriber->sendError(ns::Error::make(kErrorDomain, kErrorTimedOut));
            }));
            disposable->addDisposable(forward(source, subscriber,
                                              Handlers{.error = [disposable](Downstream& out, const rt::Ref<ns::Error>& e) {
                                                           disposable->dispose();
                                                           out.sendError(e);
                                                       },
                                                       .completed = [disposable](Downstream& out) {
                                                           disposable->dispose();
                                                           out.sendCompleted();
                                                       }}));
            return disposable;
        },
        "[%@] -timeout: %f onScheduler: %@", seconds, given);
}

rt::Ref<Signal> Signal::timeout(double seconds) {
    return timeoutOnScheduler(seconds, highPriorityScheduler());
}

// ---- Delay --------------------------------------------------------------------------------

rt::Ref<Signal> Signal::delay(double seconds) {
    return makeOperator(
        *this,
        [seconds](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // Holds the subscription and the deliveries still waiting; an error ends the
            // subscription and with it this, so values still waiting are never sent.
            auto disposable = CompoundDisposable::make();
            auto background = Scheduler::scheduler();
            rt::Weak<CompoundDisposable> weakDisposable(disposable);
            auto later = [weakDisposable, background, seconds](Scheduler::Block block) {
                auto disposable = weakDisposable.lock();
                if (!disposable || disposable->isDisposed()) return;
                // Each delivery leaves the compound once it ran, so a long stream does not grow it.
                auto entry = SerialDisposable::make();
                disposable->addDisposable(entry);
                rt::Weak<SerialDisposable> weakEntry(entry);
                entry->setDisposable(
                    delayScheduler(background)
                        ->afterDelaySchedule(seconds, [weakDisposable, weakEntry, block = std::move(block)] {
                            if (auto d = weakDisposable.lock()) {
                                if (auto e = weakEntry.lock()) d->removeDisposable(e.get());
                            }
                            block();
                        }));
            };
            disposable->addDisposable(forward(source, subscriber,
                                              Handlers{.next = [later](Downstream& out, const rt::Id& value) {
                                                           later([s = out.subscriber(), value] { s->sendNext(value); });
                                                       },
                                                       .completed = [later](Downstream& out) {
                                                           later([s = out.subscriber()] { s->sendCompleted(); });
                                                       }}));
            return disposable;
        },
        "[%@] -delay: %f", seconds);
}

// ---- Throttle -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::throttleValuesPassingTest(double seconds, PredicateBlock predicate) {
    auto result = makeOperator(*this, [seconds, predicate](const rt::Ref<Signal>& self, const rt::Ref<Subscriber>& subscriber) {
        // The compound is also the lock: values, timer firings and completion go one at a time,
        // and what is sent is sent while holding it.
        struct State {
            rt::Id pending;
            bool hasPending = false;
            std::uint64_t generation = 0; // of the pending value: a stale timer firing does nothing
        };
        auto disposable = CompoundDisposable::make();
        auto background = Scheduler::scheduler();
        auto state = std::make_shared<State>();
        auto timer = SerialDisposable::make();
        disposable->addDisposable(timer);

        auto flush = [disposable, state, timer, subscriber](bool send) {
            rt::SyncGuard guard(disposable.get());
            if (auto current = timer->disposable()) current->dispose();
            if (!state->hasPending) return;
            // Cleared before sending, so a value sent from inside the delivery is kept.
            rt::Id value = std::move(state->pending);
            state->pending = nullptr;
            state->hasPending = false;
            if (send) subscriber->sendNext(value);
        };

        auto d = self->subscribeNextErrorCompleted(
            [disposable, state, timer, subscriber, flush, background, seconds,
             predicate](const rt::Id& value) {
                rt::Ref<Scheduler> scheduler = delayScheduler(background);
                bool hold = !predicate || predicate(value);
                rt::SyncGuard guard(disposable.get());
                flush(false);
                if (!hold) {
                    subscriber->sendNext(value);
                    return;
                }
                state->pending = value;
                state->hasPending = true;
                std::uint64_t generation = ++state->generation;
                timer->setDisposable(
                    scheduler->afterDelaySchedule(seconds, [disposable, state, flush, generation] {
                        rt::SyncGuard guard(disposable.get());
                        if (state->generation == generation) flush(true);
                    }));
            },
            [disposable, subscriber](const rt::Ref<ns::Error>& error) {
                disposable->dispose();
                subscriber->sendError(error);
            },
            [flush, subscriber] {
                flush(true);
                subscriber->sendCompleted();
            });
        disposable->addDisposable(d);
        return disposable;
    }, "[%@] -throttle: %f valuesPassingTest:", seconds);
    return result;
}

rt::Ref<Signal> Signal::throttle(double seconds) {
    auto result = throttleValuesPassingTest(seconds, [](const rt::Id&) { return true; });
    nameOperator(*result, *this, "[%@] -throttle: %f", seconds);
    return result;
}

// ---- Buffering ----------------------------------------------------------------------------

rt::Ref<Signal> Signal::bufferWithTimeOnScheduler(double seconds, const rt::Ref<Scheduler>& given) {
    auto result = makeOperator(*this, [seconds, scheduler = orHighPriority(given)](const rt::Ref<Signal>& self, const rt::Ref<Subscriber>& subscriber) {
        // The buffer is also the lock: appends and flushes go one at a time, and tuples are sent
        // while holding it.
        auto values = ns::MutableArray::make();
        auto timer = SerialDisposable::make();

        auto flush = [values, timer, subscriber] {
            rt::SyncGuard guard(values.get());
            if (auto current = timer->disposable()) current->dispose();
            if (values->count() == 0) return;
            auto tuple = Tuple::withObjectsFromArray(values);
            values->removeAllObjects();
            subscriber->sendNext(tuple);
        };

        auto d = self->subscribeNextErrorCompleted(
            [values, timer, flush, scheduler, seconds](const rt::Id& value) {
                rt::SyncGuard guard(values.get());
                // The first value opens the window.
                if (values->count() == 0) timer->setDisposable(scheduler->afterDelaySchedule(seconds, flush));
                values->addObject(value ? value : rt::Id(TupleNil::tupleNil()));
            },
            [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
            [flush, subscriber] {
                flush();
                subscriber->sendCompleted();
            });
        return CompoundDisposable::withDisposables({d, timer});
    }, "[%@] -bufferWithTime: %f onScheduler: %@", seconds, given);
    return result;
}

rt::Ref<Signal> Signal::bufferWithTime(double seconds) {
    return bufferWithTimeOnScheduler(seconds, highPriorityScheduler());
}

} // namespace es
