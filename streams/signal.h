#pragma once
// es::Signal: the push-based stream. A subscriber receives zero or more next events, then at most
// one error or completion: next* (error | completed)?. Operators return new, cold signals: each
// subscription runs the operator afresh with its own state.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/runtime/object.h"
#include "streams/disposable.h"
#include "streams/stream.h"
#include "streams/subscriber.h"

namespace ns {
class Dictionary;
class Error;
} // namespace ns

namespace es {

class MulticastConnection;
class ReplaySubject;
class Scheduler;
class Subject;

class Signal : public StreamFamily<Signal> {
    RT_CLASS(Signal)
public:
    using DidSubscribe = std::function<rt::Ref<rt::Disposable>(const rt::Ref<Subscriber>& subscriber)>;
    using NextBlock = BlockSubscriber::NextBlock;
    using ErrorBlock = BlockSubscriber::ErrorBlock;
    using CompletedBlock = BlockSubscriber::CompletedBlock;
    using SignalBlock = std::function<rt::Ref<Signal>()>;
    using CatchBlock = std::function<rt::Ref<Signal>(const rt::Ref<ns::Error>&)>;
    using TryBlock = std::function<bool(const rt::Id& value, rt::Ref<ns::Error>& error)>;
    using TryMapBlock = std::function<rt::Id(const rt::Id& value, rt::Ref<ns::Error>& error)>;

    // ---- Creation ----
    // The block runs once for every subscription; what it returns ends with the subscription.
    static rt::Ref<Signal> createSignal(DidSubscribe didSubscribe);
    // One value, then completion. The unit and nil each have one shared instance.
    static rt::Ref<Signal> returnValue(const rt::Id& value);
    static rt::Ref<Signal> empty();
    static rt::Ref<Signal> error(const rt::Ref<ns::Error>& error);
    static rt::Ref<Signal> never();
    // On each subscription, subscribes to the signal the block returns.
    static rt::Ref<Signal> defer(SignalBlock block);

    // ---- Subscribing ----
    // Returns the subscription's disposable, never nil: a subscription that ended before this
    // returns hands back a disposed one. A nil subscriber subscribes nothing.
    rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber) {
        if (!subscriber) return Disposable::alreadyDisposed();
        return Disposable::orDisposed(subscribeImpl(subscriber));
    }
    rt::Ref<Disposable> subscribeNext(NextBlock next);
    rt::Ref<Disposable> subscribeNextCompleted(NextBlock next, CompletedBlock completed);
    rt::Ref<Disposable> subscribeNextError(NextBlock next, ErrorBlock error);
    rt::Ref<Disposable> subscribeNextErrorCompleted(NextBlock next, ErrorBlock error, CompletedBlock completed);
    rt::Ref<Disposable> subscribeError(ErrorBlock error);
    rt::Ref<Disposable> subscribeErrorCompleted(ErrorBlock error, CompletedBlock completed);
    rt::Ref<Disposable> subscribeCompleted(CompletedBlock completed);

    // ---- Logging: events pass unchanged; each writes "<description> next: <value>" and so on ----
    rt::Ref<Signal> logNext();
    rt::Ref<Signal> logError();
    rt::Ref<Signal> logCompleted();
    rt::Ref<Signal> logAll();

    // ---- Side effects ----
    rt::Ref<Signal> doNext(NextBlock block);
    rt::Ref<Signal> doError(ErrorBlock block);
    rt::Ref<Signal> doCompleted(CompletedBlock block);
    // Runs before every subscription to the receiver.
    rt::Ref<Signal> initially(CompletedBlock block);
    // Runs just before the error or completion is forwarded; not when disposed before either.
    rt::Ref<Signal> finally(CompletedBlock block);

    // ---- Errors ----
    // On the receiver's completion, the signal the block returns; the receiver's values dropped.
    rt::Ref<Signal> then(SignalBlock block);
    rt::Ref<Signal> sequenceNext(SignalBlock block) { return then(std::move(block)); }
    // The first error is replaced by the block's signal; that signal's own error is final.
    rt::Ref<Signal> catchError(CatchBlock block);
    rt::Ref<Signal> catchTo(const rt::Ref<Signal>& signal);
    rt::Ref<Signal> tryBlock(TryBlock block);
    rt::Ref<Signal> tryMap(TryMapBlock block);

    // ---- Repetition ----
    // Resubscribes on completion, forever, without growing the stack.
    rt::Ref<Signal> repeat();
    // Resubscribes on error: `count` more times (0: without limit; negative: never).
    rt::Ref<Signal> retry(long count);
    rt::Ref<Signal> retry() { return retry(0); }

    // ---- Events as values ----
    rt::Ref<Signal> materialize();
    rt::Ref<Signal> dematerialize();
    rt::Ref<Signal> ignoreValues();
    rt::Ref<Signal> ignoreElements() { return ignoreValues(); }

    // ---- Scheduling and multicasting (signal_scheduling.cpp) ----
    using LetBlock = std::function<rt::Ref<Signal>(const rt::Ref<Signal>& published)>;
    // Every event is sent from a block scheduled on the scheduler; disposal does not cancel
    // blocks already scheduled (the subscriber drops what arrives after its end).
    rt::Ref<Signal> deliverOn(const rt::Ref<Scheduler>& scheduler);
    // Every event on the main thread: inline when it is sent there with nothing of this
    // subscription queued, otherwise through the main queue; the order is always kept.
    rt::Ref<Signal> deliverOnMainThread();
    // Subscribes to the receiver from a block scheduled on the scheduler.
    rt::Ref<Signal> subscribeOn(const rt::Ref<Scheduler>& scheduler);
    // Shares one subscription to the receiver through the subject; nothing until connect.
    rt::Ref<MulticastConnection> multicast(const rt::Ref<Subject>& subject);
    rt::Ref<MulticastConnection> publish();
    // Subscribe at once and remember every value (replay) or the last one (replayLast).
    rt::Ref<Signal> replay();
    rt::Ref<Signal> replayLast();
    // Subscribes on the first subscription to the result, then replays everything to everyone.
    rt::Ref<Signal> replayLazily();
    // Per subscription: the block gets the published receiver; connects after subscribing.
    rt::Ref<Signal> let(LetBlock block);

    // ---- Combining, flattening and switching (signal_combining.cpp) ----
    // The error of switchCasesDefault for a key with no case and no default (domain kErrorDomain).
    static constexpr long kErrorNoMatchingCase = 2;
    // The error of a bound signal whose block returned a stream of another family (a sequence).
    static constexpr long kErrorNotASignal = 3;
    // Tuples (receiver's latest, other's latest) on every value once both have sent; completes
    // when both have completed.
    rt::Ref<Signal> combineLatestWith(const rt::Ref<Signal>& signal);
    // One flat tuple per change, in collection order, once every signal has sent; an empty
    // collection completes at once.
    static rt::Ref<Signal> combineLatest(const std::vector<rt::Ref<Signal>>& signals);
    // combineLatest, then the block over each tuple's values (1 to 15 parameters); nullptr or an
    // empty std::function gives the tuples.
    template <class F>
    static rt::Ref<Signal> combineLatestReduce(const std::vector<rt::Ref<Signal>>& signals, F block) {
        rt::Ref<Signal> result = combineLatest(signals);
        if constexpr (std::is_null_pointer_v<F>) {
        } else if constexpr (requires { block.target_type(); }) { // a std::function
            if (block) result = result->reduceEach(std::move(block));
        } else {
            result = result->reduceEach(std::move(block));
        }
        result->setNameWithFormat("+combineLatest: %@ reduce:", describe(signals));
        return result;
    }
    // Every value of every signal as it arrives; the first error ends the result; completes when
    // all have completed.
    rt::Ref<Signal> merge(const rt::Ref<Signal>& signal);
    static rt::Ref<Signal> merge(const std::vector<rt::Ref<Signal>>& signals);
    // Signal::merge({a}) and Signal::merge({a, b}).
    static rt::Ref<Signal> merge(std::initializer_list<rt::Ref<Signal>> signals) {
        return merge(std::vector<rt::Ref<Signal>>(signals));
    }
    // The receiver sends signals; at most `maxConcurrent` (0: any number) are subscribed at a time,
    // the others wait and start in arrival order. Completes when the receiver and every inner
    // signal have completed.
    using StreamFamily<Signal>::flatten;
    rt::Ref<Signal> flatten(std::size_t maxConcurrent);
    // The three concats. concat(other): the receiver's events, then (on its completion) the
    // other's. Signal::concat(list): each signal of the list in turn, in constant stack however
    // long the list. concat(): flatten(1), the inner signals the receiver sends, one after
    // another in the order it sent them. A nil signal counts as empty.
    using StreamFamily<Signal>::concat;
    static rt::Ref<Signal> concat(const std::vector<rt::Ref<Signal>>& signals);
    static rt::Ref<Signal> concat(std::initializer_list<rt::Ref<Signal>> signals) {
        return concat(std::vector<rt::Ref<Signal>>(signals));
    }
    rt::Ref<Signal> concat();
    // Forwards only the latest inner signal; completes when the receiver and the latest inner
    // signal have completed.
    rt::Ref<Signal> switchToLatest();
    // Each key (nil as TupleNil) picks its case, else the default; else the result fails with
    // kErrorNoMatchingCase. The latest pick is forwarded, as with switchToLatest.
    static rt::Ref<Signal> switchCasesDefault(const rt::Ref<Signal>& keySignal,
                                              const rt::Ref<ns::Dictionary>& cases,
                                              const rt::Ref<Signal>& defaultSignal);
    static rt::Ref<Signal> ifThenElse(const rt::Ref<Signal>& boolSignal, const rt::Ref<Signal>& trueSignal,
                                      const rt::Ref<Signal>& falseSignal);
    // Forwards the receiver until the trigger sends a value or completes (its error is ignored).
    // The trigger is subscribed first: one that fires at once leaves the receiver unsubscribed.
    rt::Ref<Signal> takeUntil(const rt::Ref<Signal>& trigger);
    // Forwards the receiver (but not its completion) until the replacement sends anything, then
    // only the replacement.
    rt::Ref<Signal> takeUntilReplacement(const rt::Ref<Signal>& replacement);
    // On each value of the sampler, the receiver's latest value, if it has sent one.
    rt::Ref<Signal> sample(const rt::Ref<Signal>& sampler);

    // ---- Time (signal_time.cpp) ----
    // Times are seconds. The error of a time-out: this domain, code 1, no user info.
    static constexpr const char* kErrorDomain = "ESSignalErrorDomain";
    static constexpr long kErrorTimedOut = 1;
    // The date of each tick, from one interval after subscription, every interval, never ending.
    static rt::Ref<Signal> interval(double seconds, const rt::Ref<Scheduler>& scheduler);
    static rt::Ref<Signal> intervalOnScheduler(double seconds, const rt::Ref<Scheduler>& scheduler) {
        return interval(seconds, scheduler);
    }
    static rt::Ref<Signal> intervalOnSchedulerWithLeeway(double seconds, const rt::Ref<Scheduler>& scheduler,
                                                         double leeway);
    // On a new high-priority background scheduler.
    static rt::Ref<Signal> interval(double seconds);
    static rt::Ref<Signal> intervalWithLeeway(double seconds, double leeway);
    // Fails with the time-out error, sent on the scheduler, unless the receiver ends within the
    // interval from subscription; values do not restart the timer.
    rt::Ref<Signal> timeoutOnScheduler(double seconds, const rt::Ref<Scheduler>& scheduler);
    rt::Ref<Signal> timeout(double seconds);
    // Values and completion each after the interval from their arrival, on the current scheduler
    // of the thread they arrived on (else a background one); errors at once.
    rt::Ref<Signal> delay(double seconds);
    // A value passing the predicate is held for the interval and sent only if nothing else arrived
    // meanwhile; any other value is sent at once and drops the held one. Completion sends the held
    // value first; an error drops it.
    rt::Ref<Signal> throttleValuesPassingTest(double seconds, PredicateBlock predicate);
    rt::Ref<Signal> throttle(double seconds);
    // Tuples of the values (nil as TupleNil) that arrived within the interval after the first of
    // each window; completion sends a partial window first. No value, no tuple.
    rt::Ref<Signal> bufferWithTimeOnScheduler(double seconds, const rt::Ref<Scheduler>& scheduler);
    rt::Ref<Signal> bufferWithTime(double seconds);

    // ---- Blocking waits and start forms (signal_blocking.cpp) ----
    // For tests, on the main thread: waits, running the main run loop, for the first event of the
    // receiver (10 s at most, then the time-out error). Returns the first value, or the default
    // when the receiver completed empty or failed; `success` turns false on an error. Under a
    // manual clock the 10 s pass only as someone moves the clock.
    rt::Id asynchronousFirstOrDefault(const rt::Id& defaultValue, bool* success, rt::Ref<ns::Error>* error);
    // The same for the receiver's end; returns whether it completed.
    bool asynchronouslyWaitUntilCompleted(rt::Ref<ns::Error>* error);

    using StartSubjectBlock = std::function<void(const rt::Ref<Subject>& subject)>;
    // The value, when `success` is left true; otherwise the error.
    using StartBlock = std::function<rt::Id(bool& success, rt::Ref<ns::Error>& error)>;
    using StartSubscriberBlock = std::function<void(const rt::Ref<Subscriber>& subscriber)>;
    // Runs the block on the scheduler at once; the returned subject replays whatever it sends.
    static rt::Ref<ReplaySubject> startWithSchedulerSubjectBlock(const rt::Ref<Scheduler>& scheduler,
                                                                       StartSubjectBlock block);
    static rt::Ref<Signal> startWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler, StartBlock block);
    // On a new background scheduler.
    static rt::Ref<Signal> start(StartBlock block);
    // Runs the block once, on the scheduler, at the first subscription; every subscriber gets all
    // it sent.
    static rt::Ref<Signal> startLazilyWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler,
                                                         StartSubscriberBlock block);
    // The same, with the block started at once.
    static rt::Ref<Signal> startEagerlyWithSchedulerBlock(const rt::Ref<Scheduler>& scheduler,
                                                          StartSubscriberBlock block);

    std::string description() const override;

    // ---- Primitives ----
    rt::Ref<Stream> emptyOfFamily() override;
    rt::Ref<Stream> returnOfFamily(const rt::Id& value) override;
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override;
    rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other) override;
    rt::Ref<Stream> zipWithImpl(const rt::Ref<Stream>& other) override;

protected:
    Signal() = default;
    // What subscribing does, for a subscriber that is not nil. The base class does nothing.
    virtual rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber);

private:
    // The loop behind repeat and retry: runs cycles of subscription to the receiver; later
    // cycles go through a scheduler's recursive scheduling.
    using LoopErrorBlock = std::function<void(const rt::Ref<ns::Error>&, const rt::Ref<CompoundDisposable>& loop)>;
    using LoopCompletedBlock = std::function<void(const rt::Ref<CompoundDisposable>& loop)>;
    rt::Ref<Disposable> subscribeForever(NextBlock next, LoopErrorBlock error, LoopCompletedBlock completed);
};

// The signal of createSignal: runs its block for each subscription, on the subscription scheduler.
class DynamicSignal final : public Signal {
    RT_CLASS(DynamicSignal)
protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit DynamicSignal(DidSubscribe block) : didSubscribe_(std::move(block)) {}
    friend class Signal;
    DidSubscribe didSubscribe_;
};

class EmptySignal final : public Signal {
    RT_CLASS(EmptySignal)
public:
    void setName(std::string) override {} // always "+empty"

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    EmptySignal();
};

class ErrorSignal final : public Signal {
    RT_CLASS(ErrorSignal)
public:
    const rt::Ref<ns::Error>& error() const noexcept { return error_; }

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit ErrorSignal(rt::Ref<ns::Error> error);
    rt::Ref<ns::Error> error_;
};

class ReturnSignal final : public Signal {
    RT_CLASS(ReturnSignal)
public:
    void setName(std::string) override {} // always "+return:"
    const rt::Id& value() const noexcept { return value_; }

protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit ReturnSignal(rt::Id value);
    rt::Id value_;
};

} // namespace es
