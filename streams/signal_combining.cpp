// Combining, flattening and switching operators of es::Signal: operators that subscribe to two or
// more signals and decide which of their events reach the subscriber.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "streams/operator_support.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The signals as the combining operators take them: nil as empty.
std::vector<rt::Ref<Signal>> signalArguments(const std::vector<rt::Ref<Signal>>& signals) {
    std::vector<rt::Ref<Signal>> all;
    all.reserve(signals.size());
    for (const auto& s : signals) all.push_back(signalArgument(s));
    return all;
}

// One signal that subscribes to each of `signals` in order, each with the handlers `side(state,
// i)` makes, under the state's lock (one lock for every side and the state); the subscriptions are
// disposed in the same order.
template <class State>
rt::Ref<Signal> combining(std::vector<rt::Ref<Signal>> signals) {
    return Signal::createSignal([signals = std::move(signals)](const rt::Ref<Subscriber>& subscriber) {
        auto state = std::make_shared<State>(subscriber, signals.size());
        std::shared_ptr<SerialLock> lock(state, &state->lock);
        auto disposable = CompoundDisposable::make();
        for (std::size_t i = 0; i < signals.size() && !disposable->isDisposed(); ++i)
            disposable->addDisposable(forward(signals[i], subscriber, State::side(state, i), lock));
        return disposable;
    });
}

// The latest value of every signal, one flat tuple per change once each has sent. The sides run
// under the state's lock (recursive, so a subscriber may send more from inside), which the tuples
// and the completion are sent holding.
struct LatestValues {
    LatestValues(rt::Ref<Subscriber> s, std::size_t count)
        : subscriber(std::move(s)), latest(count), sent(count), ended(count) {}

    SerialLock lock;
    rt::Ref<Subscriber> subscriber;
    TupleSlots latest;
    std::vector<bool> sent; // which signals have sent
    std::vector<bool> ended;
    std::size_t sending = 0;   // signals that have sent
    std::size_t completed = 0; // signals that have completed

    static auto side(const std::shared_ptr<LatestValues>& state, std::size_t i) {
        return Handlers{.next = [state, i](Downstream&, const rt::Id& value) {
                            if (!state->sent[i]) {
                                state->sent[i] = true;
                                ++state->sending;
                            }
                            state->latest.set(i, value);
                            if (state->sending == state->ended.size())
                                state->latest.send([&](const rt::Id& tuple) { state->subscriber->sendNext(tuple); });
                        },
                        .completed = [state, i](Downstream&) {
                            if (!state->ended[i]) {
                                state->ended[i] = true;
                                ++state->completed;
                            }
                            if (state->completed == state->ended.size()) state->subscriber->sendCompleted();
                        }};
    }
};

// The values of every signal queued until each has one: then one flat tuple of the heads. It
// completes when a signal that completed has nothing left to pair. All of it under the state's
// lock.
struct QueuedValues {
    QueuedValues(rt::Ref<Subscriber> s, std::size_t count)
        : subscriber(std::move(s)), queues(count), heads(count), ended(count) {}

    SerialLock lock;
    rt::Ref<Subscriber> subscriber;
    std::vector<std::deque<rt::Id>> queues; // a nil value as TupleNil
    TupleSlots heads;
    std::vector<bool> ended;

    void completeIfExhausted() {
        for (std::size_t i = 0; i < queues.size(); ++i) {
            if (ended[i] && queues[i].empty()) {
                subscriber->sendCompleted();
                return;
            }
        }
    }

    static auto side(const std::shared_ptr<QueuedValues>& state, std::size_t i) {
        return Handlers{.next = [state, i](Downstream&, const rt::Id& value) {
                            auto& queues = state->queues;
                            bool pairs = queues[i].empty(); // the value completes a tuple at once
                            for (std::size_t k = 0; k < queues.size() && pairs; ++k) pairs = k == i || !queues[k].empty();
                            if (!pairs) {
                                queues[i].push_back(value ? value : rt::Id(TupleNil::tupleNil()));
                                for (const auto& q : queues)
                                    if (q.empty()) return;
                            }
                            for (std::size_t k = 0; k < queues.size(); ++k) {
                                if (pairs && k == i) {
                                    state->heads.set(k, value);
                                    continue;
                                }
                                state->heads.set(k, std::move(queues[k].front()));
                                queues[k].pop_front();
                            }
                            state->heads.send([&](const rt::Id& tuple) { state->subscriber->sendNext(tuple); });
                            state->completeIfExhausted();
                        },
                        .completed = [state, i](Downstream&) {
                            state->ended[i] = true;
                            state->completeIfExhausted();
                        }};
    }
};

} // namespace

// ---- Zipping and combining latest values --------------------------------------------------

rt::Ref<Signal> Signal::zipWith(const rt::Ref<Stream>& other) {
    auto result = combining<QueuedValues>({rt::retained(this), signalArgument(other)});
    nameOperator(*result, *this, "[%@] -zipWith: %@", other ? other->description() : std::string("(null)"));
    return result;
}

rt::Ref<Signal> Signal::zip(const std::vector<rt::Ref<Signal>>& signals) {
    if (signals.empty()) return empty();
    auto result = combining<QueuedValues>(signalArguments(signals));
    result->setNameWithFormat("+zip: %@", describe(signals));
    return result;
}

rt::Ref<Signal> Signal::combineLatestWith(const rt::Ref<Signal>& other) {
    auto result = combining<LatestValues>({rt::retained(this), signalArgument(other)});
    nameOperator(*result, *this, "[%@] -combineLatestWith: %@", other);
    return result;
}

rt::Ref<Signal> Signal::combineLatest(const std::vector<rt::Ref<Signal>>& signals) {
    if (signals.empty()) return empty();
    auto result = combining<LatestValues>(signalArguments(signals));
    result->setNameWithFormat("+combineLatest: %@", describe(signals));
    return result;
}

// ---- Merging and flattening ---------------------------------------------------------------

namespace {

// A signal that sends each signal of the list (a nil one too, which flattening skips), then
// completes.
rt::Ref<Signal> signalOfSignals(std::vector<rt::Ref<Signal>> signals) {
    return Signal::createSignal([signals = std::move(signals)](const rt::Ref<Subscriber>& subscriber) {
        for (const auto& signal : signals) subscriber->sendNext(signal);
        subscriber->sendCompleted();
    });
}

} // namespace

rt::Ref<Signal> Signal::merge(const rt::Ref<Signal>& signal) {
    auto result = merge(std::vector<rt::Ref<Signal>>{rt::retained(this), signal});
    nameOperator(*result, *this, "[%@] -merge: %@", signal);
    return result;
}

rt::Ref<Signal> Signal::merge(const std::vector<rt::Ref<Signal>>& signals) {
    rt::Ref<Signal> result = signalOfSignals(signals)->flatten();
    result->setNameWithFormat("+merge: %@", describe(signals));
    return result;
}

rt::Ref<Signal> Signal::concat(const std::vector<rt::Ref<Signal>>& signals) {
    // One after another through flatten(1), whose queue of waiting signals is worked off in a
    // loop: no nesting of one concat in the next that would deepen the stack with every signal.
    rt::Ref<Signal> result = signalOfSignals(signals)->flatten(1);
    result->setNameWithFormat("+concat: %@", describe(signals));
    return result;
}

namespace {

// One subscription of flatten(limit). The active list, the waiting queue and the outer-completed
// flag are touched only under the lock; inner subscriptions start outside it.
struct FlattenState {
    explicit FlattenState(rt::Ref<Subscriber> s) : subscriber(std::move(s)) {}

    std::recursive_mutex lock;
    rt::Ref<CompoundDisposable> disposable = CompoundDisposable::make();
    std::vector<rt::Ref<CompoundDisposable>> active;
    std::deque<rt::Ref<Signal>> waiting;
    // Waiting signals taken out of the queue and not yet in the active list: they count as
    // active, so nothing completes or overtakes the limit meanwhile.
    std::size_t starting = 0;
    bool outerCompleted = false;
    rt::Ref<Subscriber> subscriber;

    // Under the lock.
    std::size_t activeCount() const { return active.size() + starting; }
    void completeIfAllowed() {
        if (outerCompleted && activeCount() == 0) subscriber->sendCompleted();
    }

    // A start running on some thread: the waiting signals let in meanwhile by inner signals that
    // completed on that thread, started when it returns.
    struct Frame {
        const FlattenState* state;
        std::deque<rt::Ref<Signal>> deferred;
        Frame* outer;
    };
    static inline thread_local Frame* tFrames = nullptr;

    // Subscribes to an inner signal, then to the waiting ones its synchronous completion let in:
    // one after another rather than nested, so a long queue of such signals needs constant stack.
    static void start(const std::shared_ptr<FlattenState>& self, rt::Ref<Signal> signal, bool fromQueue) {
        Frame frame{self.get(), {}, tFrames};
        struct Restore {
            Frame* outer;
            ~Restore() { tFrames = outer; }
        } restore{tFrames};
        tFrames = &frame;
        for (;;) {
            subscribeToInner(self, signal, fromQueue);
            fromQueue = true;
            if (frame.deferred.empty()) break;
            signal = std::move(frame.deferred.front());
            frame.deferred.pop_front();
        }
    }

    // A waiting signal let in by a completion: deferred to a start of this subscription running on
    // this thread, if any.
    static void startWaiting(const std::shared_ptr<FlattenState>& self, rt::Ref<Signal> signal) {
        for (Frame* f = tFrames; f; f = f->outer) {
            if (f->state == self.get()) {
                f->deferred.push_back(std::move(signal));
                return;
            }
        }
        start(self, std::move(signal), true);
    }

    // An inner signal completed: it leaves the active list, and the first waiting one starts.
    static void innerCompleted(const std::shared_ptr<FlattenState>& self, const CompoundDisposable* raw) {
        rt::Ref<Signal> next;
        rt::Ref<CompoundDisposable> finished; // released after the lock
        {
            std::lock_guard g(self->lock);
            auto it = std::find_if(self->active.begin(), self->active.end(),
                                   [raw](const rt::Ref<CompoundDisposable>& s) { return s.get() == raw; });
            if (it != self->active.end()) {
                finished = std::move(*it);
                self->active.erase(it);
            }
            self->disposable->removeDisposable(raw);
            if (!self->waiting.empty()) {
                next = std::move(self->waiting.front());
                self->waiting.pop_front();
                ++self->starting;
            } else {
                self->completeIfAllowed();
            }
        }
        if (next) startWaiting(self, std::move(next));
    }

    static void subscribeToInner(const std::shared_ptr<FlattenState>& self, const rt::Ref<Signal>& signal,
                                 bool fromQueue) {
        rt::Ref<OperatorSubscriber> subscription = receiver(
            self->subscriber,
            Handlers{.completed = [self](Downstream& out) { innerCompleted(self, out.disposable().get()); }});
        {
            std::lock_guard g(self->lock);
            if (fromQueue) --self->starting;
            self->disposable->addDisposable(subscription->disposable());
            self->active.push_back(subscription->disposable());
        }
        subscription->subscribeTo(signal);
    }
};

} // namespace

rt::Ref<Signal> Signal::flatten(std::size_t maxConcurrent) {
    return makeOperator(
        *this,
        [maxConcurrent](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto state = std::make_shared<FlattenState>(subscriber);
            state->active.reserve(maxConcurrent);
            state->disposable->addDisposable(forward(
                source, subscriber,
                Handlers{.next = [state, maxConcurrent](Downstream&, const rt::Id& value) {
                             rt::Ref<Signal> signal = rt::cast<Signal>(value);
                             if (!signal) return;
                             {
                                 std::lock_guard g(state->lock);
                                 if (maxConcurrent > 0 && state->activeCount() >= maxConcurrent) {
                                     state->waiting.push_back(signal);
                                     return;
                                 }
                             }
                             FlattenState::start(state, signal, false);
                         },
                         .completed = [state](Downstream&) {
                             std::lock_guard g(state->lock);
                             state->outerCompleted = true;
                             state->completeIfAllowed();
                         }}));
            return state->disposable;
        },
        "[%@] -flatten: %lu", static_cast<unsigned long>(maxConcurrent));
}

rt::Ref<Signal> Signal::concat() {
    auto result = flatten(1);
    nameOperator(*result, *this, "[%@] -concat");
    return result;
}

// ---- Switching ----------------------------------------------------------------------------

rt::Ref<Signal> Signal::switchToLatest() {
    return makeOperator(
        *this,
        [](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // The latest inner signal is the one of the current generation; an older one's events
            // are dropped from the moment a newer one arrives, and its subscription ends once the
            // newer one has started. Nothing here refers to the receiver: a receiver that goes
            // away without ending takes the whole subscription with it.
            struct State {
                std::recursive_mutex lock;
                rt::Ref<SerialDisposable> inner = SerialDisposable::make();
                std::uint64_t generation = 0;
                bool innerActive = false;
                bool outerCompleted = false;
                bool isCurrent(std::uint64_t g) {
                    std::lock_guard guard(lock);
                    return g == generation;
                }
            };
            auto state = std::make_shared<State>();
            // The inner subscription is disposed before the receiver's.
            auto disposable = CompoundDisposable::make();
            disposable->addDisposable(state->inner);
            auto fail = [subscriber, weakDisposable = rt::Weak<CompoundDisposable>(disposable)](
                            const rt::Ref<ns::Error>& error) {
                if (auto d = weakDisposable.lock()) d->dispose();
                subscriber->sendError(error);
            };
            disposable->addDisposable(forward(
                source, subscriber,
                Handlers{.next = [state, fail](Downstream& out, const rt::Id& value) {
                             rt::Ref<Signal> signal = rt::cast<Signal>(value);
                             if (!signal) signal = empty();
                             std::uint64_t generation;
                             {
                                 std::lock_guard g(state->lock);
                                 generation = ++state->generation;
                                 state->innerActive = true;
                             }
                             auto d = forward(
                                 signal, out.subscriber(),
                                 Handlers{.next = [state, generation](Downstream& inner, const rt::Id& v) {
                                              if (state->isCurrent(generation)) inner.sendNext(v);
                                          },
                                          .error = [state, fail, generation](Downstream&, const rt::Ref<ns::Error>& e) {
                                              if (state->isCurrent(generation)) fail(e);
                                          },
                                          .completed = [state, generation](Downstream& inner) {
                                              std::lock_guard g(state->lock);
                                              if (generation != state->generation) return;
                                              state->innerActive = false;
                                              if (state->outerCompleted) inner.subscriber()->sendCompleted();
                                          }});
                             // A newer inner signal may have arrived while this one started (from
                             // inside its first delivery): then this one is the stale one.
                             rt::Ref<rt::Disposable> ended;
                             {
                                 std::lock_guard g(state->lock);
                                 if (generation == state->generation) ended = state->inner->swapInDisposable(d);
                                 else ended = d;
                             }
                             if (ended) ended->dispose();
                         },
                         .error = [fail](Downstream&, const rt::Ref<ns::Error>& e) { fail(e); },
                         .completed = [state](Downstream& out) {
                             std::lock_guard g(state->lock);
                             state->outerCompleted = true;
                             if (!state->innerActive) out.subscriber()->sendCompleted();
                         }}));
            return disposable;
        },
        "[%@] -switchToLatest");
}

rt::Ref<Signal> Signal::switchCasesDefault(const rt::Ref<Signal>& keySignal,
                                           const rt::Ref<ns::Dictionary>& cases,
                                           const rt::Ref<Signal>& defaultSignal) {
    rt::Ref<ns::Dictionary> copied = cases ? rt::cast<ns::Dictionary>(cases->copy()) : ns::Dictionary::make();
    rt::Ref<Signal> result =
        signalArgument(keySignal)
            ->map([copied, defaultSignal](const rt::Id& value) -> rt::Id {
                rt::Id key = orTupleNil(value);
                if (rt::Id picked = copied->objectForKey(key)) return picked;
                if (defaultSignal) return defaultSignal;
                // The format is the key itself until localized strings come with the main bundle.
                std::string text = ns::format("No matching signal found for value %@", key);
                auto userInfo =
                    ns::Dictionary::withPairs({{ns::str(ns::LocalizedDescriptionKey), ns::str(text)}});
                return error(ns::Error::make(kErrorDomain, kErrorNoMatchingCase, userInfo));
            })
            ->switchToLatest();
    result->setNameWithFormat("+switch: %@ cases: %@ default: %@", keySignal, cases, defaultSignal);
    return result;
}

rt::Ref<Signal> Signal::ifThenElse(const rt::Ref<Signal>& boolSignal, const rt::Ref<Signal>& trueSignal,
                                   const rt::Ref<Signal>& falseSignal) {
    rt::Ref<Signal> result = signalArgument(boolSignal)
                                 ->map([trueSignal, falseSignal](const rt::Id& value) -> rt::Id {
                                     auto flag = rt::cast<ns::Number>(value);
                                     return flag && flag->boolValue() ? trueSignal : falseSignal;
                                 })
                                 ->switchToLatest();
    result->setNameWithFormat("+if: %@ then: %@ else: %@", boolSignal, trueSignal, falseSignal);
    return result;
}

// ---- Ending one signal by another ---------------------------------------------------------

rt::Ref<Signal> Signal::takeUntil(const rt::Ref<Signal>& triggerSignal) {
    rt::Ref<Signal> trigger = signalArgument(triggerSignal);
    return makeOperator(
        *this,
        [trigger](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            auto disposable = CompoundDisposable::make();
            auto stop = [disposable](Downstream& out) {
                disposable->dispose();
                out.subscriber()->sendCompleted();
            };
            // The trigger's error only ends the trigger's subscription.
            disposable->addDisposable(forward(
                trigger, subscriber,
                Handlers{.next = [stop](Downstream& out, const rt::Id&) { stop(out); },
                         .error = [](Downstream&, const rt::Ref<ns::Error>&) {},
                         .completed = stop}));
            // The trigger is subscribed first: one that fires at once leaves the receiver alone.
            if (!disposable->isDisposed())
                disposable->addDisposable(forward(source, subscriber, Handlers{.completed = stop}));
            return disposable;
        },
        "[%@] -takeUntil: %@", triggerSignal);
}

rt::Ref<Signal> Signal::takeUntilReplacement(const rt::Ref<Signal>& replacementSignal) {
    rt::Ref<Signal> replacement = signalArgument(replacementSignal);
    rt::Ref<Signal> self(this);
    // No name of its own.
    return createSignal([self, replacement](const rt::Ref<Subscriber>& subscriber) {
        auto receiver = SerialDisposable::make();
        // Each event of the replacement ends the receiver's subscription first.
        auto replacing = forward(replacement, subscriber,
                                 Handlers{.next = [receiver](Downstream& out, const rt::Id& value) {
                                              receiver->dispose();
                                              out.sendNext(value);
                                          },
                                          .error = [receiver](Downstream& out, const rt::Ref<ns::Error>& error) {
                                              receiver->dispose();
                                              out.sendError(error);
                                          },
                                          .completed = [receiver](Downstream& out) {
                                              receiver->dispose();
                                              out.sendCompleted();
                                          }});
        // The receiver's completion is not forwarded: the result then waits for the replacement.
        if (!receiver->isDisposed()) receiver->setDisposable(self->concat(never())->subscribe(subscriber));
        return CompoundDisposable::withDisposables({receiver, replacing});
    });
}

// ---- Sampling -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::sample(const rt::Ref<Signal>& samplerSignal) {
    rt::Ref<Signal> sampler = signalArgument(samplerSignal);
    return makeOperator(
        *this,
        [sampler](const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber) {
            // The lock guards the latest value only; values are sent outside it.
            struct Latest {
                std::mutex lock;
                bool hasValue = false;
                rt::Id value;
            };
            auto latest = std::make_shared<Latest>();
            auto samplerDisposable = SerialDisposable::make();
            auto sourceDisposable = forward(source, subscriber,
                                            Handlers{.next = [latest](Downstream&, const rt::Id& value) {
                                                         std::lock_guard g(latest->lock);
                                                         latest->hasValue = true;
                                                         latest->value = value;
                                                     },
                                                     .error = [samplerDisposable](Downstream& out,
                                                                                  const rt::Ref<ns::Error>& error) {
                                                         samplerDisposable->dispose();
                                                         out.sendError(error);
                                                     },
                                                     .completed = [samplerDisposable](Downstream& out) {
                                                         samplerDisposable->dispose();
                                                         out.sendCompleted();
                                                     }});
            samplerDisposable->setDisposable(forward(
                sampler, subscriber,
                Handlers{.next = [latest](Downstream& out, const rt::Id&) {
                             bool hasValue;
                             rt::Id value;
                             {
                                 std::lock_guard g(latest->lock);
                                 hasValue = latest->hasValue;
                                 value = latest->value;
                             }
                             if (hasValue) out.sendNext(value);
                         },
                         .error = [sourceDisposable](Downstream& out, const rt::Ref<ns::Error>& error) {
                             sourceDisposable->dispose();
                             out.sendError(error);
                         },
                         .completed = [sourceDisposable](Downstream& out) {
                             sourceDisposable->dispose();
                             out.sendCompleted();
                         }}));
            return CompoundDisposable::withDisposables({samplerDisposable, sourceDisposable});
        },
        "[%@] -sample: %@", samplerSignal);
}

} // namespace es
