// Blocking waits (for tests, on the main thread) and the start forms of es::Signal.

#include <memory>

#include "platform/foundation/date.h"
#include "platform/foundation/error.h"
#include "platform/foundation/run_loop.h"
#include "streams/multicast_connection.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

// ---- Blocking waits -----------------------------------------------------------------------

rt::Id Signal::asynchronousFirstOrDefault(const rt::Id& defaultValue, bool* success,
                                          rt::Ref<ns::Error>* error) {
    // Every event is delivered on the main thread, by the run loop this thread runs below, so the
    // state needs no lock.
    struct State {
        bool finished = false;
        bool succeeded = true;
        rt::Id result;
        rt::Ref<ns::Error> error;
    };
    auto state = std::make_shared<State>();
    state->result = defaultValue;

    auto subscription = take(1)
                            ->timeoutOnScheduler(10.0, Scheduler::scheduler())
                            ->deliverOn(Scheduler::mainThreadScheduler())
                            ->subscribeNextErrorCompleted(
                                [state](const rt::Id& value) {
                                    state->result = value;
                                    state->finished = true;
                                },
                                [state](const rt::Ref<ns::Error>& e) {
                                    if (!state->finished) {
                                        state->succeeded = false;
                                        state->error = e;
                                    }
                                    state->finished = true;
                                },
                                [state] { state->finished = true; });

    // Short slices, so the loop notices the end soon after the turn that delivered it. Once the
    // end is in, a turn only handles what is pending: under a manual clock a slice with nothing to
    // do would wait until someone moved the clock.
    do {
        rt::Ref<ns::Date> limit = state->finished ? nullptr : ns::Date::now()->dateByAddingTimeInterval(0.1);
        ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, limit);
    } while (!state->finished);
    if (subscription) subscription->dispose();

    if (success) *success = state->succeeded;
    if (error) *error = state->error;
    return state->result;
}

bool Signal::asynchronouslyWaitUntilCompleted(rt::Ref<ns::Error>* error) {
    bool success = true;
    ignoreValues()->asynchronousFirstOrDefault(nullptr, &success, error);
    return success;
}

// ---- Start forms --------------------------------------------------------------------------

rt::Ref<ReplaySubject> Signal::startWithSchedulerSubjectBlock(const rt::Ref<Scheduler>& scheduler,
                                                              StartSubjectBlock block) {
    auto subject = ReplaySubject::make();
    subject->setNameWithFormat("+startWithScheduler:subjectBlock:");
    // A nil scheduler runs the block at once.
    (scheduler ? scheduler : Scheduler::immediateScheduler())->schedule([subject, block = std::move(block)] { block(subject); });
    return subject;
}

rt::Ref<Signal> Signal::startWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler, StartBlock block) {
    rt::Ref<Signal> result = startWithSchedulerSubjectBlock(
        scheduler, [block = std::move(block)](const rt::Ref<Subject>& subject) {
            bool success = true;
            rt::Ref<ns::Error> error;
            rt::Id value = block(success, error);
            if (success) {
                subject->sendNext(value);
                subject->sendCompleted();
            } else {
                subject->sendError(error);
            }
        });
    result->setNameWithFormat("+startWithScheduler:block:");
    return result;
}

rt::Ref<Signal> Signal::start(StartBlock block) {
    auto result = startWithSchedulerBlock(Scheduler::scheduler(), std::move(block));
    result->setNameWithFormat("+start:");
    return result;
}

rt::Ref<Signal> Signal::startLazilyWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler,
                                                      StartSubscriberBlock block) {
    auto source = createSignal([block = std::move(block)](const rt::Ref<Subscriber>& subscriber) { block(subscriber); });
    rt::Ref<MulticastConnection> connection = source->multicast(ReplaySubject::make());
    // Subscribing before connecting: the replay subject hands each subscriber everything anyway,
    // and the block runs only once, for the first.
    auto result = createSignal([connection](const rt::Ref<Subscriber>& subscriber) {
                      rt::Ref<Disposable> subscription = connection->signal()->subscribe(subscriber);
                      connection->connect();
                      return subscription;
                  })->subscribeOn(scheduler);
    result->setNameWithFormat("+startLazilyWithScheduler: %@ block:", scheduler);
    return result;
}

rt::Ref<Signal> Signal::startEagerlyWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler,
                                                       StartSubscriberBlock block) {
    auto result = startLazilyWithSchedulerBlock(scheduler, std::move(block));
    result->publish()->connect();
    result->setNameWithFormat("+startEagerlyWithScheduler: %@ block:", scheduler);
    return result;
}

} // namespace es
