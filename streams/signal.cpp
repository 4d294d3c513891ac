#include "streams/signal.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "streams/event.h"
#include "streams/operator_support.h"
#include "streams/scheduler.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Signal, "ESSignal", Stream)
RT_DEFINE_CLASS(DynamicSignal, "ESDynamicSignal", Signal)
RT_DEFINE_CLASS(EmptySignal, "ESEmptySignal", Signal)
RT_DEFINE_CLASS(ErrorSignal, "ESErrorSignal", Signal)
RT_DEFINE_CLASS(ReturnSignal, "ESReturnSignal", Signal)

namespace {

const rt::Ref<Scheduler>& subscriptionScheduler() { return Scheduler::subscriptionScheduler(); }

} // namespace

// ---- Creation -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::createSignal(DidSubscribe didSubscribe) {
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

rt::Ref<Signal> Signal::never() {
    auto signal = createSignal([](const rt::Ref<Subscriber>&) { return rt::Ref<rt::Disposable>(); });
    signal->setNameWithFormat("+never");
    return signal;
}

rt::Ref<Signal> Signal::defer(SignalBlock block) {
    auto signal = createSignal([block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
        rt::Ref<Signal> s = block();
        return s ? rt::Ref<rt::Disposable>(s->subscribe(subscriber)) : rt::Ref<rt::Disposable>();
    });
    signal->setNameWithFormat("+defer:");
    return signal;
}

// ---- Concrete signals ---------------------------------------------------------------------

rt::Ref<Disposable> DynamicSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto compound = CompoundDisposable::make();
    auto passthrough = PassthroughSubscriber::withSubscriberSignalDisposable(subscriber, this, compound);
    if (!didSubscribe_) return compound;
    // The subscription scheduler runs the work inline when the thread has a current scheduler;
    // that common case is taken here directly.
    if (Scheduler::currentScheduler()) {
        compound->addDisposable(didSubscribe_(passthrough));
        return compound;
    }
    compound->addDisposable(subscriptionScheduler()->schedule(
        [self = rt::Ref<DynamicSignal>(this), passthrough, compound] {
            compound->addDisposable(self->didSubscribe_(passthrough));
        }));
    return compound;
}

EmptySignal::EmptySignal() { Stream::setName("+empty"); }

rt::Ref<Disposable> EmptySignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return subscriptionScheduler()->schedule([subscriber] { subscriber->sendCompleted(); });
}

ErrorSignal::ErrorSignal(rt::Ref<ns::Error> error) : error_(std::move(error)) { setName("+error:"); }

rt::Ref<Disposable> ErrorSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return subscriptionScheduler()->schedule(
        [subscriber, error = error_] { subscriber->sendError(error); });
}

ReturnSignal::ReturnSignal(rt::Id value) : value_(std::move(value)) { Stream::setName("+return:"); }

rt::Ref<Disposable> ReturnSignal::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    return subscriptionScheduler()->schedule([subscriber, value = value_] {
        subscriber->sendNext(value);
        subscriber->sendCompleted();
    });
}

// ---- Subscribing --------------------------------------------------------------------------

rt::Ref<Disposable> Signal::subscribeImpl(const rt::Ref<Subscriber>&) { return nullptr; }

rt::Ref<Disposable> Signal::subscribeNextErrorCompleted(NextBlock next, ErrorBlock error, CompletedBlock completed) {
    return subscribe(
        BlockSubscriber::subscriberWithNextErrorCompleted(std::move(next), std::move(error), std::move(completed)));
}

rt::Ref<Disposable> Signal::subscribeNext(NextBlock next) {
    return subscribeNextErrorCompleted(std::move(next), nullptr, nullptr);
}

rt::Ref<Disposable> Signal::subscribeNextCompleted(NextBlock next, CompletedBlock completed) {
    return subscribeNextErrorCompleted(std::move(next), nullptr, std::move(completed));
}

rt::Ref<Disposable> Signal::subscribeNextError(NextBlock next, ErrorBlock error) {
    return subscribeNextErrorCompleted(std::move(next), std::move(error), nullptr);
}

rt::Ref<Disposable> Signal::subscribeError(ErrorBlock error) {
    return subscribeNextErrorCompleted(nullptr, std::move(error), nullptr);
}

rt::Ref<Disposable> Signal::subscribeErrorCompleted(ErrorBlock error, CompletedBlock completed) {
    return subscribeNextErrorCompleted(nullptr, std::move(error), std::move(completed));
}

rt::Ref<Disposable> Signal::subscribeCompleted(CompletedBlock completed) {
    return subscribeNextErrorCompleted(nullptr, nullptr, std::move(completed));
}

std::string Signal::description() const {
    char address[32];
    std::snprintf(address, sizeof address, ": %p> name: ", static_cast<const void*>(this));
    return "<" + std::string(getClass().name()) + address + name();
}

// ---- Primitives ---------------------------------------------------------------------------

rt::Ref<Stream> Signal::emptyOfFamily() { return empty(); }

rt::Ref<Stream> Signal::returnOfFamily(const rt::Id& value) { return returnValue(value); }

namespace {

// The error of a signal that was handed a stream of another family where it takes a signal.
rt::Ref<ns::Error> wrongFamilyError(const rt::Ref<Stream>& stream) {
    std::string text = "Expected a signal, got a stream of another family: " + std::string(stream->getClass().name());
    auto userInfo = ns::Dictionary::withPairs({{ns::str(ns::LocalizedDescriptionKey), ns::str(text)}});
    return ns::Error::make(Signal::kErrorDomain, Signal::kErrorNotASignal, userInfo);
}

} // namespace

rt::Ref<Signal> signalArgument(const rt::Ref<Stream>& stream) {
    if (!stream) return Signal::empty();
    if (auto signal = rt::cast<Signal>(stream)) return signal;
    return Signal::error(wrongFamilyError(stream));
}

namespace {

// The state of one subscription to a bound signal: the signals still running, guarded by a
// recursive lock (a subscriber reacting inside a callback may re-enter).
struct BindState {
    std::recursive_mutex lock;
    std::vector<const Signal*> active;
    rt::Ref<CompoundDisposable> disposable = CompoundDisposable::make();
    rt::Ref<Subscriber> subscriber;

    // A member signal completed: the whole completes when it was the last.
    void completed(const Signal* signal, const rt::Ref<rt::Disposable>& carrier) {
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
        disposable->removeDisposable(carrier.get());
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
            disposable->dispose();
            subscriber->sendError(static_cast<const ErrorSignal&>(signal).error());
            return true;
        }
        return cls == &EmptySignal::staticClass();
    }

    void add(const std::shared_ptr<BindState>& self, const rt::Ref<Signal>& signal) {
        {
            std::lock_guard g(lock);
            active.push_back(signal.get());
        }
        auto serial = SerialDisposable::make();
        disposable->addDisposable(serial);
        const Signal* raw = signal.get();
        auto d = signal->subscribeNextErrorCompleted(
            [self](const rt::Id& value) { self->subscriber->sendNext(value); },
            [self](const rt::Ref<ns::Error>& error) {
                self->disposable->dispose();
                self->subscriber->sendError(error);
            },
            [self, raw, serial] { self->completed(raw, serial); });
        serial->setDisposable(d);
    }
};

} // namespace

rt::Ref<Stream> Signal::bindImpl(MakeBindBlock block) {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
        BindBlock bindBlock = block();
        auto state = std::make_shared<BindState>();
        state->subscriber = subscriber;
        state->active.push_back(self.get());
        auto selfSerial = SerialDisposable::make();
        state->disposable->addDisposable(selfSerial);
        // Set once the receiver's part has ended (a nil result or the stop flag): values it still
        // sends, from inside the delivery of the last one or from other threads, are not bound.
        auto receiverStopped = std::make_shared<bool>(false);
        auto d = self->subscribeNextErrorCompleted(
            [state, bindBlock, raw = self.get(), selfSerial, receiverStopped](const rt::Id& value) {
                if (*receiverStopped || state->disposable->isDisposed()) return;
                bool stop = false;
                rt::Ref<Stream> result = bindBlock(value, stop);
                rt::Ref<Signal> inner = rt::cast<Signal>(result);
                if (result && !inner) {
                    // A stream of another family cannot be merged into a signal.
                    state->disposable->dispose();
                    state->subscriber->sendError(wrongFamilyError(result));
                    return;
                }
                if (!inner || stop) *receiverStopped = true;
                if (inner && !state->addConstant(*inner)) state->add(state, inner);
                if (*receiverStopped && !state->disposable->isDisposed()) {
                    selfSerial->dispose();
                    state->completed(raw, selfSerial);
                }
            },
            [state](const rt::Ref<ns::Error>& error) {
                state->disposable->dispose();
                state->subscriber->sendError(error);
            },
            [state, raw = self.get(), selfSerial] { state->completed(raw, selfSerial); });
        selfSerial->setDisposable(d);
        return rt::Ref<rt::Disposable>(state->disposable);
    });
    return named(result, "[%@] -bind:");
}

rt::Ref<Stream> Signal::concatImpl(const rt::Ref<Stream>& otherStream) {
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> other = signalArgument(otherStream);
    auto result = createSignal([self, other](const rt::Ref<Subscriber>& subscriber) {
        // One compound holds both subscriptions, so the other signal's subscription is kept even
        // when the receiver completes before its own subscribe call has returned.
        auto disposable = CompoundDisposable::make();
        auto d = self->subscribeNextErrorCompleted(
            [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
            [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
            [subscriber, other, weak = rt::Weak<CompoundDisposable>(disposable)] {
                auto next = other->subscribe(subscriber);
                if (auto d = weak.lock()) d->addDisposable(next);
                else if (next) next->dispose();
            });
        disposable->addDisposable(d);
        return rt::Ref<rt::Disposable>(disposable);
    });
    return named(result, "[%@] -concat: %@", otherStream ? otherStream->description() : std::string("(null)"));
}

rt::Ref<Stream> Signal::zipWithImpl(const rt::Ref<Stream>& otherStream) {
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> other = signalArgument(otherStream);
    auto result = createSignal([self, other](const rt::Ref<Subscriber>& subscriber) {
        struct State {
            std::recursive_mutex lock;
            std::deque<rt::Id> values[2];
            bool completed[2] = {false, false};
        };
        auto state = std::make_shared<State>();
        // Both under the lock: pair the heads when both sides have one, then see whether a side
        // that completed has nothing left to pair.
        auto check = [state, subscriber] {
            if ((state->completed[0] && state->values[0].empty()) || (state->completed[1] && state->values[1].empty()))
                subscriber->sendCompleted();
        };
        auto side = [state, subscriber, check](const rt::Ref<Signal>& signal, int i) {
            return signal->subscribeNextErrorCompleted(
                [state, subscriber, check, i](const rt::Id& value) {
                    std::lock_guard g(state->lock);
                    state->values[i].push_back(value ? value : rt::Id(TupleNil::tupleNil()));
                    if (state->values[0].empty() || state->values[1].empty()) return;
                    auto pair = Tuple::withObjects({state->values[0].front(), state->values[1].front()});
                    state->values[0].pop_front();
                    state->values[1].pop_front();
                    subscriber->sendNext(pair);
                    check();
                },
                [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
                [state, check, i] {
                    std::lock_guard g(state->lock);
                    state->completed[i] = true;
                    check();
                });
        };
        auto first = side(self, 0);
        auto second = side(other, 1);
        return rt::Ref<rt::Disposable>(Disposable::withBlock([first, second] {
            if (first) first->dispose();
            if (second) second->dispose();
        }));
    });
    return named(result, "[%@] -zipWith: %@", otherStream ? otherStream->description() : std::string("(null)"));
}

// ---- Logging ------------------------------------------------------------------------------

rt::Ref<Signal> Signal::logNext() {
    rt::Ref<Signal> self(this);
    auto result = doNext([self](const rt::Id& value) { ns::log("%@ next: %@", self, value); });
    result->setNameWithFormat("%@", name());
    return result;
}

rt::Ref<Signal> Signal::logError() {
    rt::Ref<Signal> self(this);
    auto result = doError([self](const rt::Ref<ns::Error>& error) { ns::log("%@ error: %@", self, error); });
    result->setNameWithFormat("%@", name());
    return result;
}

rt::Ref<Signal> Signal::logCompleted() {
    rt::Ref<Signal> self(this);
    auto result = doCompleted([self] { ns::log("%@ completed", self); });
    result->setNameWithFormat("%@", name());
    return result;
}

rt::Ref<Signal> Signal::logAll() { return logNext()->logError()->logCompleted(); }

// ---- Side effects -------------------------------------------------------------------------

rt::Ref<Signal> Signal::doNext(NextBlock block) {
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
                          return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
                              [block, subscriber](const rt::Id& value) {
                                  block(value);
                                  subscriber->sendNext(value);
                              },
                              [subscriber](const rt::Ref<ns::Error>& e) { subscriber->sendError(e); },
                              [subscriber] { subscriber->sendCompleted(); }));
                      }),
                      "[%@] -doNext:"));
}

rt::Ref<Signal> Signal::doError(ErrorBlock block) {
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
                          return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
                              [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                              [block, subscriber](const rt::Ref<ns::Error>& e) {
                                  block(e);
                                  subscriber->sendError(e);
                              },
                              [subscriber] { subscriber->sendCompleted(); }));
                      }),
                      "[%@] -doError:"));
}

rt::Ref<Signal> Signal::doCompleted(CompletedBlock block) {
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
                          return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
                              [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                              [subscriber](const rt::Ref<ns::Error>& e) { subscriber->sendError(e); },
                              [block, subscriber] {
                                  block();
                                  subscriber->sendCompleted();
                              }));
                      }),
                      "[%@] -doCompleted:"));
}

rt::Ref<Signal> Signal::initially(CompletedBlock block) {
    rt::Ref<Signal> self(this);
    return down(named(defer([self, block = std::move(block)] {
                          block();
                          return self;
                      }),
                      "[%@] -initially:"));
}

rt::Ref<Signal> Signal::finally(CompletedBlock block) {
    return down(named(doError([block](const rt::Ref<ns::Error>&) { block(); })->doCompleted(block), "[%@] -finally:"));
}

// ---- Errors -------------------------------------------------------------------------------

rt::Ref<Signal> Signal::then(SignalBlock block) {
    return down(named(ignoreValues()->concat(defer(std::move(block))), "[%@] -then:"));
}

rt::Ref<Signal> Signal::catchError(CatchBlock block) {
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self, block = std::move(block)](const rt::Ref<Subscriber>& subscriber) {
                          auto replacement = SerialDisposable::make();
                          auto d = self->subscribeNextErrorCompleted(
                              [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                              [subscriber, block, replacement](const rt::Ref<ns::Error>& e) {
                                  rt::Ref<Signal> s = block(e);
                                  if (s) replacement->setDisposable(s->subscribe(subscriber));
                              },
                              [subscriber] { subscriber->sendCompleted(); });
                          return rt::Ref<rt::Disposable>(Disposable::withBlock([replacement, d] {
                              replacement->dispose();
                              if (d) d->dispose();
                          }));
                      }),
                      "[%@] -catch:"));
}

rt::Ref<Signal> Signal::catchTo(const rt::Ref<Signal>& signal) {
    return down(named(catchError([signal](const rt::Ref<ns::Error>&) { return signal; }), "[%@] -catchTo: %@",
                      signal ? signal->description() : std::string("(null)")));
}

rt::Ref<Signal> Signal::tryBlock(TryBlock block) {
    return down(named(flattenMap([block = std::move(block)](const rt::Id& value) {
                          rt::Ref<ns::Error> error;
                          if (block(value, error)) return returnValue(value);
                          return Signal::error(error);
                      }),
                      "[%@] -try:"));
}

rt::Ref<Signal> Signal::tryMap(TryMapBlock block) {
    return down(named(flattenMap([block = std::move(block)](const rt::Id& value) {
                          rt::Ref<ns::Error> error;
                          rt::Id mapped = block(value, error);
                          if (mapped) return returnValue(mapped);
                          return Signal::error(error);
                      }),
                      "[%@] -tryMap:"));
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
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self](const rt::Ref<Subscriber>& subscriber) {
                          return rt::Ref<rt::Disposable>(self->subscribeForever(
                              [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                              [subscriber](const rt::Ref<ns::Error>& e, const rt::Ref<CompoundDisposable>& loop) {
                                  loop->dispose();
                                  subscriber->sendError(e);
                              },
                              [](const rt::Ref<CompoundDisposable>&) {}));
                      }),
                      "[%@] -repeat"));
}

rt::Ref<Signal> Signal::retry(long count) {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self, count](const rt::Ref<Subscriber>& subscriber) {
        auto retries = std::make_shared<long>(0); // cycles are strictly sequential: no lock
        return rt::Ref<rt::Disposable>(self->subscribeForever(
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
            }));
    });
    if (count == 0) return down(named(result, "[%@] -retry"));
    return down(named(result, "[%@] -retry: %lu", static_cast<unsigned long>(count)));
}

// ---- Events as values ---------------------------------------------------------------------

rt::Ref<Signal> Signal::materialize() {
    rt::Ref<Signal> self(this);
    return down(named(createSignal([self](const rt::Ref<Subscriber>& subscriber) {
                          return rt::Ref<rt::Disposable>(self->subscribeNextErrorCompleted(
                              [subscriber](const rt::Id& value) {
                                  subscriber->sendNext(Event::eventWithValue(value));
                              },
                              [subscriber](const rt::Ref<ns::Error>& e) {
                                  subscriber->sendNext(Event::eventWithError(e));
                                  subscriber->sendCompleted();
                              },
                              [subscriber] {
                                  subscriber->sendNext(Event::completedEvent());
                                  subscriber->sendCompleted();
                              }));
                      }),
                      "[%@] -materialize"));
}

rt::Ref<Signal> Signal::dematerialize() {
    return down(named(bind([] {
                          return BindBlock([](const rt::Id& value, bool& stop) -> rt::Ref<Stream> {
                              auto event = rt::cast<Event>(value);
                              if (!event) return returnValue(value);
                              switch (event->eventType()) {
                              case EventType::Next: return returnValue(event->value());
                              case EventType::Error: stop = true; return Signal::error(event->error());
                              case EventType::Completed: stop = true; return empty();
                              }
                              return nullptr;
                          });
                      }),
                      "[%@] -dematerialize"));
}

rt::Ref<Signal> Signal::ignoreValues() {
    return down(named(filter([](const rt::Id&) { return false; }), "[%@] -ignoreValues"));
}

} // namespace es
