#include "streams/signal.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "streams/event.h"
#include "streams/operator_support.h"
#include "streams/scheduler.h"
#include "streams/signal_classes.h"

namespace es {

RT_DEFINE_CLASS(Signal, "ESSignal", Stream)
RT_DEFINE_CLASS(DynamicSignal, "ESDynamicSignal", Signal)
RT_DEFINE_CLASS(EmptySignal, "ESEmptySignal", Signal)
RT_DEFINE_CLASS(ErrorSignal, "ESErrorSignal", Signal)
RT_DEFINE_CLASS(ReturnSignal, "ESReturnSignal", Signal)

namespace detail {
rt::Ref<Disposable> streamsDisposable(rt::Ref<rt::Disposable> disposable) {
    if (!disposable) return nullptr;
    if (auto own = rt::cast<Disposable>(disposable)) return own;
    return Disposable::withBlock([disposable] { disposable->dispose(); });
}
} // namespace detail

// ---- Creation -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::createSignalWith(DidSubscribe didSubscribe) {
    auto signal = rt::make<DynamicSignal>(std::move(didSubscribe));
    signal->setNameWithFormat("+createSignal:");
    return signal;
}

rt::Ref<Signal> Signal::returnValue(const rt::Id& value) {
    if (!value) {
        static const rt::Ref<Signal> nilSignal = rt::immortal(rt::Ref<Signal>(rt::make<ReturnSignal>(nullptr)));
        return nilSignal;
    }
    if (value == Unit::defaultUnit()) {
        static const rt::Ref<Signal> unitSignal = rt::immortal(rt::Ref<Signal>(rt::make<ReturnSignal>(value)));
        return unitSignal;
    }
    return rt::make<ReturnSignal>(value);
}

rt::Ref<Signal> Signal::empty() {
    static const rt::Ref<Signal> instance = rt::immortal(rt::Ref<Signal>(rt::make<EmptySignal>()));
    return instance;
}

rt::Ref<Signal> Signal::error(const rt::Ref<ns::Error>& error) { return rt::make<ErrorSignal>(error); }

rt::Ref<Signal> Signal::error(std::nullptr_t) { return rt::make<ErrorSignal>(nullptr); }

rt::Ref<Signal> Signal::never() {
    auto signal = createSignal([](const rt::Ref<Subscriber>&) {});
    signal->setNameWithFormat("+never");
    return signal;
}

rt::Ref<Signal> Signal::defer(SignalBlock block) {
    auto signal = createSignal([block = std::move(block)](const rt::Ref<Subscriber>& subscriber) -> rt::Ref<Disposable> {
        rt::Ref<Signal> s = block();
        return s ? s->subscribe(subscriber) : nullptr;
    });
    signal->setNameWithFormat("+defer:");
    return signal;
}

// ---- Concrete signals ---------------------------------------------------------------------

namespace {

// Runs a constant signal's events on the subscription scheduler: at once when the thread has a
// current scheduler (the subscription has then ended when this returns), otherwise later on the
// scheduler's background scheduler.
template <class Work>
rt::Ref<Disposable> sendOnSubscriptionScheduler(Work work) {
    if (Scheduler::hasCurrentScheduler()) {
        work();
        return Disposable::alreadyDisposed();
    }
    return Scheduler::subscriptionScheduler()->schedule(std::move(work));
}

} // namespace

rt::Ref<Disposable> DynamicSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto compound = CompoundDisposable::make();
    auto passthrough = PassthroughSubscriber::withSubscriberSignalDisposable(subscriber, this, compound);
    if (!didSubscribe_) return compound;
    subscribeOnSubscriptionScheduler(compound, [self = rt::Ref<DynamicSignal>(this), passthrough, compound] {
        compound->addDisposable(self->didSubscribe_(passthrough));
    });
    return compound;
}

EmptySignal::EmptySignal() { Stream::setName("+empty"); }

rt::Ref<Disposable> EmptySignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return sendOnSubscriptionScheduler([subscriber] { subscriber->sendCompleted(); });
}

ErrorSignal::ErrorSignal(rt::Ref<ns::Error> error) : error_(std::move(error)) { setName("+error:"); }

rt::Ref<Disposable> ErrorSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return sendOnSubscriptionScheduler([subscriber, error = error_] { subscriber->sendError(error); });
}

ReturnSignal::ReturnSignal(rt::Id value) : value_(std::move(value)) { Stream::setName("+return:"); }

rt::Ref<Disposable> ReturnSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return sendOnSubscriptionScheduler([subscriber, value = value_] {
        subscriber->sendNext(value);
        subscriber->sendCompleted();
    });
}

// ---- Subscribing --------------------------------------------------------------------------

rt::Ref<Disposable> Signal::subscribeImpl(const rt::Ref<Subscriber>&) { return nullptr; }

rt::Ref<Disposable> Signal::subscribeWith(NextBlock next, ErrorBlock error, CompletedBlock completed) {
    // The blocks of a run of operators made of handlers go into its subscriber.
    if (const HandlerSignalBase* run = HandlerSignalBase::asRunMember(*this))
        return run->subscribeBlocks(std::move(next), std::move(error), std::move(completed));
    return subscribe(
        BlockSubscriber::subscriberWithNextErrorCompleted(std::move(next), std::move(error), std::move(completed)));
}

std::string Signal::description() const {
    char address[32];
    std::snprintf(address, sizeof address, ": %p> name: ", static_cast<const void*>(this));
    return "<" + std::string(getClass().name()) + address + name();
}

std::string Signal::describe(const std::vector<rt::Ref<Signal>>& signals) {
    std::string s = "(";
    for (std::size_t i = 0; i < signals.size(); ++i)
        s += (i ? ", " : "") + (signals[i] ? signals[i]->description() : std::string("(null)"));
    return s + ")";
}

// ---- Primitives ---------------------------------------------------------------------------

rt::Ref<Stream> Signal::emptyOfFamily() { return empty(); }

rt::Ref<Stream> Signal::returnOfFamily(const rt::Id& value) { return returnValue(value); }

namespace {

// The state of one subscription to a bound signal: the signals still running, guarded by a
// recursive lock (a subscriber reacting inside a callback may re-enter).
struct BindState {
    explicit BindState(rt::Ref<Subscriber> s) : subscriber(std::move(s)) {}

    std::recursive_mutex lock;
    std::vector<const Signal*> active;
    rt::Ref<CompoundDisposable> disposable = CompoundDisposable::make();
    rt::Ref<Subscriber> subscriber;

    // A member signal completed: the whole completes when it was the last.
    void completed(const Signal* signal, const rt::Disposable* carrier) {
        {
            std::lock_guard g(lock);
            auto it = std::find(active.begin(), active.end(), signal);
            if (it != active.end()) active.erase(it);
            if (active.empty()) {
                subscriber->sendCompleted();
                disposable->dispose();
                return;
            }
        }
        disposable->removeDisposable(carrier);
    }

    void fail(const rt::Ref<ns::Error>& error) {
        disposable->dispose();
        subscriber->sendError(error);
    }

    // The constant signals (return, empty and error) need no subscription of their own: their
    // events are sent at once, on the thread that delivered the receiver's value, so they keep
    // their order with whatever the receiver sends next (a subscription made on a thread without
    // a current scheduler would deliver them later, after a receiver's error had ended it all).
    bool addConstant(const Signal& signal) {
        const rt::Class* cls = &signal.actualClass();
        if (cls == &ReturnSignal::staticClass()) {
            subscriber->sendNext(static_cast<const ReturnSignal&>(signal).value());
            return true;
        }
        if (cls == &ErrorSignal::staticClass()) {
            fail(static_cast<const ErrorSignal&>(signal).error());
            return true;
        }
        return cls == &EmptySignal::staticClass();
    }

    static void add(const std::shared_ptr<BindState>& self, const rt::Ref<Signal>& signal) {
        {
            std::lock_guard g(self->lock);
            self->active.push_back(signal.get());
        }
        // One handler keeps the state; the other lives and dies with it. The subscription joins
        // the whole before the inner signal is subscribed, so a completion on the way finds it.
        const Signal* raw = signal.get();
        BindState* state = self.get();
        auto subscription = receiver(
            self->subscriber,
            Handlers{.error = [state](Downstream&, const rt::Ref<ns::Error>& error) { state->fail(error); },
                     .completed = [self, raw](Downstream& out) { self->completed(raw, out.disposable().get()); }});
        self->disposable->addDisposable(subscription->disposable());
        subscription->subscribeTo(signal);
    }
};

} // namespace

rt::Ref<Signal> Signal::bind(MakeBindBlock block) {
    return makeOperator(
        *this,
        [block = std::move(block)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto state = std::make_shared<BindState>(subscriber);
            state->active.push_back(source.get());
            auto receiver = SerialDisposable::make();
            state->disposable->addDisposable(receiver);
            const Signal* raw = source.get();
            receiver->setDisposable(forward(
                source, subscriber,
                Handlers{.next =
                             [state, bindBlock = block(), raw, receiver](Downstream& out, const rt::Id& value) {
                                 bool stop = false;
                                 rt::Ref<Stream> result = bindBlock(value, stop);
                                 rt::Ref<Signal> inner = asSignal(std::move(result));
                                 if (!inner && result) {
                                     // A stream of another family cannot be merged into a signal.
                                     out.stop();
                                     state->fail(notASignalError(result));
                                     return;
                                 }
                                 // The receiver's part ends here: values it still sends, from
                                 // inside the delivery below or from other threads, are not bound.
                                 if (!inner || stop) out.stop();
                                 if (inner && !state->addConstant(*inner)) BindState::add(state, inner);
                                 if (out.isStopped() && !state->disposable->isDisposed()) {
                                     receiver->dispose();
                                     state->completed(raw, receiver.get());
                                 }
                             },
                         .error = [state](Downstream&, const rt::Ref<ns::Error>& error) { state->fail(error); },
                         .completed = [state, raw, receiver](Downstream&) {
                             state->completed(raw, receiver.get());
                         }}));
            return state->disposable;
        },
        "[%@] -bind:");
}

rt::Ref<Signal> Signal::flattenMap(FlattenMapBlock block) {
    auto result = bind([block = std::move(block)] {
        return BindBlock([block](const rt::Id& value, bool&) -> rt::Ref<Stream> {
            rt::Ref<Stream> s = block ? block(value) : nullptr;
            return s ? s : empty();
        });
    });
    nameOperator(*result, *this, "[%@] -flattenMap:");
    return result;
}

rt::Ref<Signal> Signal::flatten() {
    auto result = flattenMap([](const rt::Id& value) { return rt::cast<Signal>(value); });
    nameOperator(*result, *this, "[%@] -flatten");
    return result;
}

rt::Ref<Signal> Signal::sequenceMany(std::function<rt::Ref<Stream>()> block) {
    auto result = flattenMap([block = std::move(block)](const rt::Id&) { return block(); });
    nameOperator(*result, *this, "[%@] -sequenceMany:");
    return result;
}

rt::Ref<Signal> Signal::concat(const rt::Ref<Stream>& otherStream) {
    rt::Ref<Signal> other = signalArgument(otherStream);
    return makeOperator(
        *this,
        [other](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // One compound holds both subscriptions, so the other signal's subscription is kept
            // even when the receiver completes before its own subscribe call has returned.
            auto disposable = CompoundDisposable::make();
            disposable->addDisposable(forward(
                source, subscriber,
                Handlers{.completed = [other, weak = rt::Weak<CompoundDisposable>(disposable)](Downstream& out) {
                    auto next = other->subscribe(out.subscriber());
                    if (auto d = weak.lock()) d->addDisposable(next);
                    else next->dispose();
                }}));
            return disposable;
        },
        "[%@] -concat: %@", otherStream ? otherStream->description() : std::string("(null)"));
}

// ---- Logging ------------------------------------------------------------------------------

namespace {

// The receiver of a log operator, as its lines show it: held weakly (a subscription is no cycle
// with its source), with the description it had when the operator was made for when it is gone.
struct LoggedSignal {
    explicit LoggedSignal(Signal& signal) : signal(&signal), fallback(signal.description()) {}
    std::string description() const {
        auto s = signal.lock();
        return s ? s->description() : fallback;
    }
    rt::Weak<Signal> signal;
    std::string fallback;
};

} // namespace

rt::Ref<Signal> Signal::logNext() {
    auto result = doNext([logged = LoggedSignal(*this)](const rt::Id& value) {
        ns::debugLog("%@ next: %@", logged.description(), value);
    });
    nameOperator(*result, *this, "%@");
    return result;
}

rt::Ref<Signal> Signal::logError() {
    auto result = doError([logged = LoggedSignal(*this)](const rt::Ref<ns::Error>& error) {
        ns::debugLog("%@ error: %@", logged.description(), error);
    });
    nameOperator(*result, *this, "%@");
    return result;
}

rt::Ref<Signal> Signal::logCompleted() {
    auto result =
        doCompleted([logged = LoggedSignal(*this)] { ns::debugLog("%@ completed", logged.description()); });
    nameOperator(*result, *this, "%@");
    return result;
}

rt::Ref<Signal> Signal::logAll() { return logNext()->logError()->logCompleted(); }

// ---- Side effects -------------------------------------------------------------------------

// Each hook runs on the thread that delivers the event, before the event goes on; a nil block
// runs nothing.

rt::Ref<Signal> Signal::doNextWith(NextBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block)](Downstream& out, const rt::Id& value) {
                            if (block) block(value);
                            out.sendNext(value);
                        }},
                        "[%@] -doNext:");
}

rt::Ref<Signal> Signal::doError(ErrorBlock block) {
    return makeOperator(*this,
                        Handlers{.error = [block = std::move(block)](Downstream& out, const rt::Ref<ns::Error>& e) {
                            if (block) block(e);
                            out.sendError(e);
                        }},
                        "[%@] -doError:");
}

rt::Ref<Signal> Signal::doCompleted(CompletedBlock block) {
    return makeOperator(*this, Handlers{.completed = [block = std::move(block)](Downstream& out) {
                            if (block) block();
                            out.sendCompleted();
                        }},
                        "[%@] -doCompleted:");
}

rt::Ref<Signal> Signal::initially(CompletedBlock block) {
    return makeOperator(
        *this,
        [block = std::move(block)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            if (block) block();
            return source->subscribe(subscriber);
        },
        "[%@] -initially:");
}

rt::Ref<Signal> Signal::finally(CompletedBlock block) {
    return makeOperator(*this,
                        Handlers{.error = [block](Downstream& out, const rt::Ref<ns::Error>& e) {
                                     if (block) block();
                                     out.sendError(e);
                                 },
                                 .completed = [block](Downstream& out) {
                                     if (block) block();
                                     out.sendCompleted();
                                 }},
                        "[%@] -finally:");
}

// ---- Errors -------------------------------------------------------------------------------

rt::Ref<Signal> Signal::then(SignalBlock block) {
    auto result = ignoreValues()->concat(defer(std::move(block)));
    nameOperator(*result, *this, "[%@] -then:");
    return result;
}

rt::Ref<Signal> Signal::catchError(CatchBlock block) {
    return makeOperator(
        *this,
        [block = std::move(block)](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // The replacement's subscription ends before the receiver's.
            auto replacement = SerialDisposable::make();
            auto receiver = forward(
                source, subscriber,
                Handlers{.error = [block, replacement](Downstream& out, const rt::Ref<ns::Error>& e) {
                    rt::Ref<Signal> s = block ? block(e) : nullptr;
                    if (s) replacement->setDisposable(s->subscribe(out.subscriber()));
                }});
            return CompoundDisposable::withDisposables({replacement, receiver});
        },
        "[%@] -catch:");
}

rt::Ref<Signal> Signal::catchTo(const rt::Ref<Signal>& signal) {
    auto result = catchError([signal](const rt::Ref<ns::Error>&) { return signal; });
    nameOperator(*result, *this, "[%@] -catchTo: %@", signal ? signal->description() : std::string("(null)"));
    return result;
}

rt::Ref<Signal> Signal::tryBlock(TryBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block)](Downstream& out, const rt::Id& value) {
                            rt::Ref<ns::Error> error;
                            if (!block || block(value, error)) out.sendNext(value);
                            else out.sendError(error);
                        }},
                        "[%@] -try:");
}

rt::Ref<Signal> Signal::tryMap(TryMapBlock block) {
    return makeOperator(*this, Handlers{.next = [block = std::move(block)](Downstream& out, const rt::Id& value) {
                            rt::Ref<ns::Error> error;
                            rt::Id mapped = block ? block(value, error) : value;
                            if (mapped) out.sendNext(mapped);
                            else out.sendError(error);
                        }},
                        "[%@] -tryMap:");
}

// ---- Repetition ---------------------------------------------------------------------------

rt::Ref<Disposable> Signal::subscribeForever(NextBlock next, LoopErrorBlock error, LoopCompletedBlock completed) {
    auto loop = CompoundDisposable::make();
    rt::Ref<Signal> self(this);
    // One cycle: subscribe to the receiver; when it ends, hand over to the continuation. The
    // loop is held weakly inside the cycle, so a finished loop is not kept alive by its handlers.
    auto cycle = [self, next, error, completed, weakLoop = rt::Weak<CompoundDisposable>(loop)](
                     const std::function<void()>& continuation) {
        auto loop = weakLoop.lock();
        if (!loop || loop->isDisposed()) return;
        auto cycleDisposable = CompoundDisposable::make();
        loop->addDisposable(cycleDisposable);
        rt::Weak<CompoundDisposable> weakCycle(cycleDisposable);
        auto finish = [weakLoop, weakCycle, continuation] {
            auto loop = weakLoop.lock();
            if (auto c = weakCycle.lock(); c && loop) loop->removeDisposable(c.get());
            continuation();
        };
        auto d = self->subscribeNextErrorCompleted(
            next,
            [error, weakLoop, finish](const rt::Ref<ns::Error>& e) {
                if (auto loop = weakLoop.lock()) error(e, loop);
                finish();
            },
            [completed, weakLoop, finish] {
                if (auto loop = weakLoop.lock()) completed(loop);
                finish();
            });
        cycleDisposable->addDisposable(d);
    };
    cycle([cycle, weakLoop = rt::Weak<CompoundDisposable>(loop)] {
        auto loop = weakLoop.lock();
        if (!loop || loop->isDisposed()) return;
        rt::Ref<Scheduler> scheduler = Scheduler::currentScheduler();
        if (!scheduler) scheduler = Scheduler::scheduler();
        loop->addDisposable(scheduler->scheduleRecursiveBlock(
            [cycle](const std::function<void()>& reschedule) { cycle(reschedule); }));
    });
    return loop;
}

rt::Ref<Signal> Signal::repeat() {
    return makeOperator(
        *this,
        [](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            return source->subscribeForever(
                [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                [subscriber](const rt::Ref<ns::Error>& e, const rt::Ref<CompoundDisposable>& loop) {
                    loop->dispose();
                    subscriber->sendError(e);
                },
                [](const rt::Ref<CompoundDisposable>&) {});
        },
        "[%@] -repeat");
}

rt::Ref<Signal> Signal::retry(long count) {
    auto result = makeOperator(
        *this,
        [count](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto retries = std::make_shared<long>(0); // cycles are strictly sequential: no lock
            return source->subscribeForever(
                [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                [subscriber, count, retries](const rt::Ref<ns::Error>& e, const rt::Ref<CompoundDisposable>& loop) {
                    if (count != 0 && *retries >= count) {
                        loop->dispose();
                        subscriber->sendError(e);
                        return;
                    }
                    ++*retries;
                },
                [subscriber](const rt::Ref<CompoundDisposable>& loop) {
                    loop->dispose();
                    subscriber->sendCompleted();
                });
        },
        "[%@] -retry");
    if (count != 0) nameOperator(*result, *this, "[%@] -retry: %lu", static_cast<unsigned long>(count));
    return result;
}

// ---- Events as values ---------------------------------------------------------------------

rt::Ref<Signal> Signal::materialize() {
    return makeOperator(*this,
                        Handlers{.next = [](Downstream& out,
                                            const rt::Id& value) { out.sendNext(Event::eventWithValue(value)); },
                                 .error =
                                     [](Downstream& out, const rt::Ref<ns::Error>& e) {
                                         out.sendNext(Event::eventWithError(e));
                                         out.sendCompleted();
                                     },
                                 .completed =
                                     [](Downstream& out) {
                                         out.sendNext(Event::completedEvent());
                                         out.sendCompleted();
                                     }},
                        "[%@] -materialize");
}

rt::Ref<Signal> Signal::dematerialize() {
    // A value that is not an event goes on as it is.
    return makeOperator(*this, Handlers{.next = [](Downstream& out, const rt::Id& value) {
                            auto event = rt::cast<Event>(value);
                            if (!event) return out.sendNext(value);
                            switch (event->eventType()) {
                            case EventType::Next: return out.sendNext(event->value());
                            case EventType::Error: return out.sendError(event->error());
                            case EventType::Completed: return out.sendCompleted();
                            }
                        }},
                        "[%@] -dematerialize");
}

rt::Ref<Signal> Signal::ignoreValues() {
    return makeOperator(*this, Handlers{.next = [](Downstream&, const rt::Id&) {}}, "[%@] -ignoreValues");
}

} // namespace es
