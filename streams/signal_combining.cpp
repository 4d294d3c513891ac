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
#include "streams/multicast_connection.h"
#include "streams/operator_support.h"
#include "streams/signal.h"
#include "streams/tuple.h"

namespace es {

namespace {

std::string describeSignals(const std::vector<rt::Ref<Signal>>& signals) {
    std::string s = "(";
    for (std::size_t i = 0; i < signals.size(); ++i)
        s += (i ? ", " : "") + (signals[i] ? signals[i]->description() : std::string("(null)"));
    return s + ")";
}

} // namespace

// ---- Combining latest values --------------------------------------------------------------

rt::Ref<Signal> Signal::combineLatestWith(const rt::Ref<Signal>& signal) {
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> other = signalArgument(signal);
    auto result = createSignal([self, other](const rt::Ref<Subscriber>& subscriber) {
        // Both sides' state under one recursive lock; tuples and the completion are sent holding
        // it, errors without it.
        struct State {
            std::recursive_mutex lock;
            rt::Id last[2]; // nil until that side has sent; a nil value as TupleNil
            bool completed[2] = {false, false};
        };
        auto state = std::make_shared<State>();
        auto disposable = CompoundDisposable::make();
        auto side = [state, subscriber](const rt::Ref<Signal>& signal, int i) {
            return signal->subscribeNextErrorCompleted(
                [state, subscriber, i](const rt::Id& value) {
                    std::lock_guard g(state->lock);
                    state->last[i] = value ? value : rt::Id(TupleNil::tupleNil());
                    if (!state->last[0] || !state->last[1]) return;
                    subscriber->sendNext(Tuple::withObjects({state->last[0], state->last[1]}));
                },
                [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); },
                [state, subscriber, i] {
                    std::lock_guard g(state->lock);
                    state->completed[i] = true;
                    if (state->completed[1 - i]) subscriber->sendCompleted();
                });
        };
        disposable->addDisposable(side(self, 0));
        disposable->addDisposable(side(other, 1));
        return rt::Ref<rt::Disposable>(disposable);
    });
    return down(named(result, "[%@] -combineLatestWith: %@", signal));
}

rt::Ref<Signal> Signal::combineLatest(const std::vector<rt::Ref<Signal>>& signals) {
    rt::Ref<Signal> result = join(signals, [](const rt::Ref<Stream>& left, const rt::Ref<Stream>& right) {
        return rt::Ref<Stream>(rt::cast<Signal>(left)->combineLatestWith(rt::cast<Signal>(right)));
    });
    result->setNameWithFormat("+combineLatest: %@", describeSignals(signals));
    return result;
}

// ---- Merging and flattening ---------------------------------------------------------------

rt::Ref<Signal> Signal::merge(const rt::Ref<Signal>& signal) {
    auto result = merge(std::vector<rt::Ref<Signal>>{rt::Ref<Signal>(this), signal});
    return down(named(result, "[%@] -merge: %@", signal));
}

namespace {

// A signal that sends each signal of the list (a nil one too, which flattening skips), then
// completes.
rt::Ref<Signal> signalOfSignals(std::vector<rt::Ref<Signal>> signals) {
    return Signal::createSignal([signals = std::move(signals)](const rt::Ref<Subscriber>& subscriber) {
        for (const auto& signal : signals)
            subscriber->sendNext(signal);
        subscriber->sendCompleted();
        return nullptr;
    });
}

} // namespace

rt::Ref<Signal> Signal::merge(const std::vector<rt::Ref<Signal>>& signals) {
    rt::Ref<Signal> result = signalOfSignals(signals)->flatten();
    result->setNameWithFormat("+merge: %@", describeSignals(signals));
    return result;
}

rt::Ref<Signal> Signal::concat(const std::vector<rt::Ref<Signal>>& signals) {
    // One after another through flatten(1), whose queue of waiting signals is worked off in a
    // loop: no nesting of concat: upon concat: that would deepen the stack with every signal.
    rt::Ref<Signal> result = signalOfSignals(signals)->flatten(1);
    result->setNameWithFormat("+concat: %@", describeSignals(signals));
    return result;
}

namespace {

// One subscription of flatten(limit). The active list, the waiting queue and the outer-completed
// flag are touched only under the lock; inner subscriptions start outside it.
struct FlattenState {
    std::recursive_mutex lock;
    rt::Ref<CompoundDisposable> disposable = CompoundDisposable::make();
    std::vector<rt::Ref<SerialDisposable>> active;
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

    static void subscribeToInner(const std::shared_ptr<FlattenState>& self, const rt::Ref<Signal>& signal,
                                 bool fromQueue) {
        auto serial = SerialDisposable::make();
        {
            std::lock_guard g(self->lock);
            if (fromQueue) --self->starting;
            self->disposable->addDisposable(serial);
            self->active.push_back(serial);
        }
        const SerialDisposable* raw = serial.get(); // alive while in the active list
        auto d = signal->subscribeNextErrorCompleted(
            [self](const rt::Id& value) { self->subscriber->sendNext(value); },
            [self](const rt::Ref<ns::Error>& error) { self->subscriber->sendError(error); },
            [self, raw] {
                rt::Ref<Signal> next;
                rt::Ref<SerialDisposable> finished; // released after the lock
                {
                    std::lock_guard g(self->lock);
                    auto it =
                        std::find_if(self->active.begin(), self->active.end(),
                                     [raw](const rt::Ref<SerialDisposable>& s) { return s.get() == raw; });
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
            });
        serial->setDisposable(d);
    }
};

} // namespace

rt::Ref<Signal> Signal::flatten(std::size_t maxConcurrent) {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self, maxConcurrent](const rt::Ref<Subscriber>& subscriber) {
        auto state = std::make_shared<FlattenState>();
        state->subscriber = subscriber;
        state->active.reserve(maxConcurrent);
        auto d = self->subscribeNextErrorCompleted(
            [state, maxConcurrent](const rt::Id& value) {
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
            [state](const rt::Ref<ns::Error>& error) { state->subscriber->sendError(error); },
            [state] {
                std::lock_guard g(state->lock);
                state->outerCompleted = true;
                state->completeIfAllowed();
            });
        state->disposable->addDisposable(d);
        return rt::Ref<rt::Disposable>(state->disposable);
    });
    return down(named(result, "[%@] -flatten: %lu", static_cast<unsigned long>(maxConcurrent)));
}

rt::Ref<Signal> Signal::concat() {
    return down(named(flatten(1), "[%@] -concat"));
}

// ---- Switching ----------------------------------------------------------------------------

rt::Ref<Signal> Signal::switchToLatest() {
    rt::Ref<Signal> self(this);
    auto result = createSignal([self](const rt::Ref<Subscriber>& subscriber) {
        // The latest inner signal is the one of the current generation; an older one's events
        // are dropped from the moment a newer one arrives, and its subscription ends once the
        // newer one has started. Nothing here refers to the receiver: a receiver that goes away
        // without ending takes the whole subscription with it.
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
        rt::Weak<CompoundDisposable> weakDisposable(disposable);
        auto fail = [subscriber, weakDisposable](const rt::Ref<ns::Error>& error) {
            if (auto d = weakDisposable.lock()) d->dispose();
            subscriber->sendError(error);
        };
        disposable->addDisposable(self->subscribeNextErrorCompleted(
            [state, subscriber, fail](const rt::Id& value) {
                rt::Ref<Signal> signal = rt::cast<Signal>(value);
                if (!signal) signal = empty();
                std::uint64_t generation;
                {
                    std::lock_guard g(state->lock);
                    generation = ++state->generation;
                    state->innerActive = true;
                }
                auto d = signal->subscribeNextErrorCompleted(
                    [state, subscriber, generation](const rt::Id& v) {
                        if (state->isCurrent(generation)) subscriber->sendNext(v);
                    },
                    [state, fail, generation](const rt::Ref<ns::Error>& e) {
                        if (state->isCurrent(generation)) fail(e);
                    },
                    [state, subscriber, generation] {
                        std::lock_guard g(state->lock);
                        if (generation != state->generation) return;
                        state->innerActive = false;
                        if (state->outerCompleted) subscriber->sendCompleted();
                    });
                // A newer inner signal may have arrived while this one started (from inside its
                // first delivery): then this one is the stale one.
                rt::Ref<rt::Disposable> ended;
                {
                    std::lock_guard g(state->lock);
                    if (generation == state->generation) ended = state->inner->swapInDisposable(d);
                    else ended = d;
                }
                if (ended) ended->dispose();
            },
            fail,
            [state, subscriber] {
                std::lock_guard g(state->lock);
                state->outerCompleted = true;
                if (!state->innerActive) subscriber->sendCompleted();
            }));
        return rt::Ref<rt::Disposable>(disposable);
    });
    return down(named(result, "[%@] -switchToLatest"));
}

rt::Ref<Signal> Signal::switchCasesDefault(const rt::Ref<Signal>& keySignal,
                                           const rt::Ref<ns::Dictionary>& cases,
                                           const rt::Ref<Signal>& defaultSignal) {
    rt::Ref<ns::Dictionary> copied = cases ? rt::cast<ns::Dictionary>(cases->copy()) : ns::Dictionary::make();
    rt::Ref<Signal> result =
        signalArgument(keySignal)
            ->map([copied, defaultSignal](const rt::Id& value) -> rt::Id {
                rt::Id key = value ? value : rt::Id(TupleNil::tupleNil());
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
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> trigger = signalArgument(triggerSignal);
    auto result = createSignal([self, trigger](const rt::Ref<Subscriber>& subscriber) {
        auto disposable = CompoundDisposable::make();
        auto stop = [disposable, subscriber] {
            disposable->dispose();
            subscriber->sendCompleted();
        };
        // The trigger's error only ends the trigger's subscription.
        disposable->addDisposable(trigger->subscribeNextCompleted([stop](const rt::Id&) { stop(); }, stop));
        if (!disposable->isDisposed()) {
            disposable->addDisposable(self->subscribeNextErrorCompleted(
                [subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); }, stop));
        }
        return rt::Ref<rt::Disposable>(disposable);
    });
    return down(named(result, "[%@] -takeUntil: %@", triggerSignal));
}

rt::Ref<Signal> Signal::takeUntilReplacement(const rt::Ref<Signal>& replacementSignal) {
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> replacement = signalArgument(replacementSignal);
    return createSignal([self, replacement](const rt::Ref<Subscriber>& subscriber) {
        auto receiver = SerialDisposable::make();
        auto replacing = replacement->subscribeNextErrorCompleted(
            [receiver, subscriber](const rt::Id& value) {
                receiver->dispose();
                subscriber->sendNext(value);
            },
            [receiver, subscriber](const rt::Ref<ns::Error>& error) {
                receiver->dispose();
                subscriber->sendError(error);
            },
            [receiver, subscriber] {
                receiver->dispose();
                subscriber->sendCompleted();
            });
        // The receiver's completion is not forwarded: the result then waits for the replacement.
        if (!receiver->isDisposed()) receiver->setDisposable(self->concat(never())->subscribe(subscriber));
        return rt::Ref<rt::Disposable>(Disposable::withBlock([receiver, replacing] {
            receiver->dispose();
            if (replacing) replacing->dispose();
        }));
    });
}

// ---- Sampling -----------------------------------------------------------------------------

rt::Ref<Signal> Signal::sample(const rt::Ref<Signal>& samplerSignal) {
    rt::Ref<Signal> self(this);
    rt::Ref<Signal> sampler = signalArgument(samplerSignal);
    auto result = createSignal([self, sampler](const rt::Ref<Subscriber>& subscriber) {
        // The lock guards the latest value only; values are sent outside it.
        struct Latest {
            std::mutex lock;
            bool hasValue = false;
            rt::Id value;
        };
        auto latest = std::make_shared<Latest>();
        auto samplerDisposable = SerialDisposable::make();
        auto source = self->subscribeNextErrorCompleted(
            [latest](const rt::Id& value) {
                std::lock_guard g(latest->lock);
                latest->hasValue = true;
                latest->value = value;
            },
            [samplerDisposable, subscriber](const rt::Ref<ns::Error>& error) {
                samplerDisposable->dispose();
                subscriber->sendError(error);
            },
            [samplerDisposable, subscriber] {
                samplerDisposable->dispose();
                subscriber->sendCompleted();
            });
        samplerDisposable->setDisposable(sampler->subscribeNextErrorCompleted(
            [latest, subscriber](const rt::Id&) {
                bool hasValue;
                rt::Id value;
                {
                    std::lock_guard g(latest->lock);
                    hasValue = latest->hasValue;
                    value = latest->value;
                }
                if (hasValue) subscriber->sendNext(value);
            },
            [source, subscriber](const rt::Ref<ns::Error>& error) {
                if (source) source->dispose();
                subscriber->sendError(error);
            },
            [source, subscriber] {
                if (source) source->dispose();
                subscriber->sendCompleted();
            }));
        return rt::Ref<rt::Disposable>(Disposable::withBlock([samplerDisposable, source] {
            samplerDisposable->dispose();
            if (source) source->dispose();
        }));
    });
    return down(named(result, "[%@] -sample: %@", samplerSignal));
}

} // namespace es
