#pragma once
// es::Signal: the push-based stream. A subscriber receives zero or more next events, then at most
// one error or completion: next* (error | completed)?. Operators return new, cold signals: each
// subscription runs the operator afresh with its own state.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/runtime/object.h"
#include "streams/disposable.h"
#include "streams/stream.h"
#include "streams/subscriber.h"

namespace ns {
class Array;
class Dictionary;
class Error;
} // namespace ns

namespace es {

class Command;
class MulticastConnection;
class ReplaySubject;
class Scheduler;
class Sequence;
class Subject;

namespace detail {

// Any runtime disposable as one of this library's (nil stays nil).
rt::Ref<Disposable> streamsDisposable(rt::Ref<rt::Disposable> disposable);

// A createSignal block as the signal keeps it. The caller's block may return any disposable of
// this library (a plain one, a compound, ...), one of the runtime's, nullptr, or nothing at all.
template <class F>
std::function<rt::Ref<Disposable>(const rt::Ref<Subscriber>&)> didSubscribeBlock(F block) {
    using Block = std::function<rt::Ref<Disposable>(const rt::Ref<Subscriber>&)>;
    if constexpr (std::is_null_pointer_v<F>) {
        return nullptr;
    } else {
        using R = std::invoke_result_t<F&, const rt::Ref<Subscriber>&>;
        if constexpr (std::is_void_v<R>) {
            if (isNilBlock(block)) return nullptr;
            return [block = std::move(block)](const rt::Ref<Subscriber>& s) mutable -> rt::Ref<Disposable> {
                block(s);
                return nullptr;
            };
        } else if constexpr (std::is_convertible_v<R, rt::Ref<Disposable>>) {
            return Block(std::move(block));
        } else {
            static_assert(std::is_convertible_v<R, rt::Ref<rt::Disposable>>,
                          "a createSignal block returns a disposable, nullptr or nothing");
            if (isNilBlock(block)) return nullptr;
            return [block = std::move(block)](const rt::Ref<Subscriber>& s) mutable {
                return streamsDisposable(block(s));
            };
        }
    }
}

} // namespace detail

class Signal : public StreamFamily<Signal> {
    RT_CLASS(Signal)
public:
    using DidSubscribe = std::function<rt::Ref<Disposable>(const rt::Ref<Subscriber>& subscriber)>;
    using NextBlock = BlockSubscriber::NextBlock;
    using ErrorBlock = BlockSubscriber::ErrorBlock;
    using CompletedBlock = BlockSubscriber::CompletedBlock;
    using SignalBlock = std::function<rt::Ref<Signal>()>;
    using CatchBlock = std::function<rt::Ref<Signal>(const rt::Ref<ns::Error>&)>;
    using TryBlock = std::function<bool(const rt::Id& value, rt::Ref<ns::Error>& error)>;
    using TryMapBlock = std::function<rt::Id(const rt::Id& value, rt::Ref<ns::Error>& error)>;

    // ---- Creation ----
    // The block runs once for every subscription, with the subscriber to send to; it returns what
    // ends the subscription's work (any disposable, nullptr) or nothing. That disposable is
    // disposed when the subscription ends.
    template <class F>
    static rt::Ref<Signal> createSignal(F didSubscribe) {
        return createSignalWith(detail::didSubscribeBlock(std::move(didSubscribe)));
    }
    // One value, then completion. The unit and nil each have one shared instance.
    static rt::Ref<Signal> returnValue(const rt::Id& value);
    static rt::Ref<Signal> empty();
    static rt::Ref<Signal> error(const rt::Ref<ns::Error>& error);
    static rt::Ref<Signal> error(std::nullptr_t); // fails with a nil error
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
    // The next block may take an rt::Id, an rt::Ref<T> or a scalar (see block_trampoline.h).
    template <class N>
    rt::Ref<Disposable> subscribeNext(N next) {
        return subscribeWith(detail::nextBlock(std::move(next)), nullptr, nullptr);
    }
    template <class N>
    rt::Ref<Disposable> subscribeNextCompleted(N next, CompletedBlock completed) {
        return subscribeWith(detail::nextBlock(std::move(next)), nullptr, std::move(completed));
    }
    template <class N>
    rt::Ref<Disposable> subscribeNextError(N next, ErrorBlock error) {
        return subscribeWith(detail::nextBlock(std::move(next)), std::move(error), nullptr);
    }
    template <class N>
    rt::Ref<Disposable> subscribeNextErrorCompleted(N next, ErrorBlock error, CompletedBlock completed) {
        return subscribeWith(detail::nextBlock(std::move(next)), std::move(error), std::move(completed));
    }
    rt::Ref<Disposable> subscribeError(ErrorBlock error) { return subscribeWith(nullptr, std::move(error), nullptr); }
    rt::Ref<Disposable> subscribeErrorCompleted(ErrorBlock error, CompletedBlock completed) {
        return subscribeWith(nullptr, std::move(error), std::move(completed));
    }
    rt::Ref<Disposable> subscribeCompleted(CompletedBlock completed) {
        return subscribeWith(nullptr, nullptr, std::move(completed));
    }

    // ---- Operators on each value ----
    // Each is one subscriber per subscription that applies its block and sends on; blocks may
    // take typed parameters and return scalars (see block_trampoline.h).
    template <class F>
    rt::Ref<Signal> map(F block) {
        return mapValuesWith(detail::valueMapBlock(std::move(block)));
    }
    rt::Ref<Signal> mapReplace(const rt::Id& object);
    template <class F>
    rt::Ref<Signal> filter(F block) {
        return filterWith(detail::predicateBlock(std::move(block)));
    }
    // Drops values that are that object or equal to it (nil: drops nil values).
    rt::Ref<Signal> ignore(const rt::Id& value);
    // Each value must be a tuple; the block gets its values as arguments (1 to 15 of them).
    template <class F>
    rt::Ref<Signal> reduceEach(F block) {
        return reduceEachTuple(reduceBlock(std::move(block)));
    }
    rt::Ref<Signal> reduceEachTuple(MapBlock tupleBlock);
    rt::Ref<Signal> startWith(const rt::Id& value);
    rt::Ref<Signal> skip(std::size_t count);
    rt::Ref<Signal> take(std::size_t count);
    rt::Ref<Signal> scanWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block);
    rt::Ref<Signal> scanWithStartReduce(const rt::Id& start, ReduceBlock block);
    rt::Ref<Signal> scanWithStartCombine(const rt::Id& start, ReduceBlock block) {
        return scanWithStartReduce(start, std::move(block));
    }
    rt::Ref<Signal> combinePreviousWithStartReduce(const rt::Id& start, ReduceBlock block);
    rt::Ref<Signal> mapPreviousWithStartReduce(const rt::Id& start, ReduceBlock block) {
        return combinePreviousWithStartReduce(start, std::move(block));
    }
    template <class F>
    rt::Ref<Signal> takeUntilBlock(F predicate) {
        return takeUntilBlockWith(detail::predicateBlock(std::move(predicate)), "[%@] -takeUntilBlock:");
    }
    template <class F>
    rt::Ref<Signal> takeWhileBlock(F predicate) {
        return takeUntilBlockWith(negated(detail::predicateBlock(std::move(predicate))), "[%@] -takeWhileBlock:");
    }
    template <class F>
    rt::Ref<Signal> skipUntilBlock(F predicate) {
        return skipUntilBlockWith(detail::predicateBlock(std::move(predicate)), "[%@] -skipUntilBlock:");
    }
    template <class F>
    rt::Ref<Signal> skipWhileBlock(F predicate) {
        return skipUntilBlockWith(negated(detail::predicateBlock(std::move(predicate))), "[%@] -skipWhileBlock:");
    }
    rt::Ref<Signal> distinctUntilChanged();

    // ---- Binding and flattening ----
    // On each subscription the block makes a bind block; each value becomes the signal it
    // returns, merged in. A nil result or the stop flag ends the receiver's part; a stream that
    // is not a signal fails the result (kErrorNotASignal).
    rt::Ref<Signal> bind(MakeBindBlock block);
    // Each value becomes the signal the block returns (nil: empty), merged in.
    rt::Ref<Signal> flattenMap(FlattenMapBlock block);
    rt::Ref<Signal> flatten();
    rt::Ref<Signal> sequenceMany(std::function<rt::Ref<Stream>()> block);
    // Tuples of the n-th values of both; completes when a side that completed has nothing left
    // to pair.
    rt::Ref<Signal> zipWith(const rt::Ref<Stream>& other);
    static rt::Ref<Signal> zip(const std::vector<rt::Ref<Signal>>& signals);
    static rt::Ref<Signal> zip(std::initializer_list<rt::Ref<Signal>> signals) {
        return zip(std::vector<rt::Ref<Signal>>(signals));
    }
    // zip, then the block over each tuple's values (no block: the tuples).
    template <class F>
    static rt::Ref<Signal> zipReduce(const std::vector<rt::Ref<Signal>>& signals, F block) {
        rt::Ref<Signal> result = withReduce(zip(signals), std::move(block));
        result->setNameWithFormat("+zip: %@ reduce:", describe(signals));
        return result;
    }

    // ---- Logging: events pass unchanged; each writes "<description> next: <value>" and so on ----
    rt::Ref<Signal> logNext();
    rt::Ref<Signal> logError();
    rt::Ref<Signal> logCompleted();
    rt::Ref<Signal> logAll();

    // ---- Side effects ----
    // The block runs before each value goes on; it may take a typed parameter.
    template <class F>
    rt::Ref<Signal> doNext(F block) {
        return doNextWith(detail::nextBlock(std::move(block)));
    }
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
    static rt::Ref<Signal> combineLatest(std::initializer_list<rt::Ref<Signal>> signals) {
        return combineLatest(std::vector<rt::Ref<Signal>>(signals));
    }
    template <class F>
    static rt::Ref<Signal> combineLatestReduce(const std::vector<rt::Ref<Signal>>& signals, F block) {
        rt::Ref<Signal> result = withReduce(combineLatest(signals), std::move(block));
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
    rt::Ref<Signal> flatten(std::size_t maxConcurrent);
    // The three concats. concat(other): the receiver's events, then (on its completion) the
    // other's. Signal::concat(list): each signal of the list in turn, in constant stack however
    // long the list. concat(): flatten(1), the inner signals the receiver sends, one after
    // another in the order it sent them. A nil signal counts as empty.
    rt::Ref<Signal> concat(const rt::Ref<Stream>& other);
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

    // ---- Aggregation, conversion and blocking (signal_aggregation.cpp) ----
    // The blocking members (toArray, firstOrDefault, first, waitUntilCompleted, and the head and
    // array of a signal sequence) wait on the calling thread until the receiver has sent what they
    // need. Called on a thread the receiver needs in order to deliver (the main thread, for a
    // signal delivered there), they never return: never block the main thread on such a signal. A
    // debug check fires when one is about to wait on the main thread; what arrives while
    // subscribing (a replayed value, a signal that sends at once) is taken without waiting.
    using StartFactory = std::function<rt::Id()>;
    using CloseBlock = std::function<rt::Ref<Signal>(const rt::Ref<Subject>& window)>;

    // On completion, one mutable array of every value (nil as ns::Null), then completion; nothing
    // but the error when the receiver fails.
    rt::Ref<Signal> collect();
    // Blocking: every value (nil as ns::Null) once the receiver completes; nil when it fails.
    rt::Ref<ns::Array> toArray();
    // On completion, the last `count` values, oldest first, then completion; an error drops them.
    rt::Ref<Signal> takeLast(std::size_t count);
    // On completion, the block's running value over every value from the start (the start itself
    // when nothing was sent), then completion; nothing but the error when the receiver fails.
    rt::Ref<Signal> aggregateWithStartReduceWithIndex(const rt::Id& start, ReduceWithIndexBlock block);
    rt::Ref<Signal> aggregateWithStartReduce(const rt::Id& start, ReduceBlock block);
    // The same, from a start the factory makes afresh for each subscription.
    rt::Ref<Signal> aggregateWithStartFactoryReduce(StartFactory startFactory, ReduceBlock block);
    rt::Ref<Signal> aggregateWithStartCombine(const rt::Id& start, ReduceBlock block) {
        return aggregateWithStartReduce(start, std::move(block));
    }
    rt::Ref<Signal> aggregateWithStartFactoryCombine(StartFactory startFactory, ReduceBlock block) {
        return aggregateWithStartFactoryReduce(std::move(startFactory), std::move(block));
    }
    // Blocking: the first value, or the default when the receiver completes without one (success)
    // or fails first (no success, and its error). Either output may be nullptr; the error is
    // written through even when there is none.
    rt::Id firstOrDefault(const rt::Id& defaultValue, bool* success, rt::Ref<ns::Error>* error);
    rt::Id firstOrDefault(const rt::Id& defaultValue) { return firstOrDefault(defaultValue, nullptr, nullptr); }
    rt::Id first() { return firstOrDefault(nullptr); }
    // Blocking: true when the receiver completes; false, with its error, when it fails.
    bool waitUntilCompleted(rt::Ref<ns::Error>* error);
    // The values as a sequence (an es::SignalSequence, signal_sequence.h): the receiver is
    // subscribed at once, and reading a head or the array waits for the values it needs.
    rt::Ref<Sequence> sequence();

    // Each number as the int number 1 when it is false (nil counts as false), else 0.
    rt::Ref<Signal> logicalNot();
    // Each tuple of numbers as a bool number: every entry true (an empty tuple: true), or any entry
    // true (an empty tuple: false). Nil entries count as false.
    rt::Ref<Signal> logicalAnd();
    rt::Ref<Signal> logicalOr();
    // Each tuple (block, arguments...) as the block's result for the arguments: an rt::Block of
    // std::function<rt::Id(const rt::Id&, ...)> (or of rt::Id parameters) taking 1 to 15 of them.
    rt::Ref<Signal> reduceApply();
    // One bool number, then completion: true at the first value that passes (any value, for
    // any()), false when the receiver completes or fails first.
    rt::Ref<Signal> any();
    template <class F>
    rt::Ref<Signal> any(F predicate) {
        return anyWith(detail::predicateBlock(std::move(predicate)));
    }
    // One bool number, then completion: false at the first value that fails or when the receiver
    // fails, true when it completes.
    template <class F>
    rt::Ref<Signal> all(F predicate) {
        return allWith(detail::predicateBlock(std::move(predicate)));
    }
    // One es::GroupedSignal per key, sent when the first value of its key arrives (nil keys make
    // one group, whose key is nil); each value goes to its group, through the transform when there
    // is one. The receiver's error or completion goes to the result, then to every group.
    template <class K>
    rt::Ref<Signal> groupBy(K keyBlock) {
        return groupByWith(detail::mapBlock(std::move(keyBlock)), nullptr, "[%@] -groupBy:");
    }
    template <class K, class T>
    rt::Ref<Signal> groupByTransform(K keyBlock, T transform) {
        return groupByWith(detail::mapBlock(std::move(keyBlock)), detail::mapBlock(std::move(transform)),
                           "[%@] -groupBy:transform:");
    }

    // Binds the key path of the object to the receiver: each value is set with key-value coding
    // (nil as `nilValue`). The object is not retained; once it has begun to deallocate nothing is
    // set. The binding ends when the receiver ends (an error is logged), when the returned
    // disposable is disposed, or when the object deallocates.
    rt::Ref<Disposable> setKeyPathOnObjectNilValue(std::string_view keyPath, const rt::Id& object,
                                                   const rt::Id& nilValue);
    rt::Ref<Disposable> setKeyPathOnObject(std::string_view keyPath, const rt::Id& object) {
        return setKeyPathOnObjectNilValue(keyPath, object, nullptr);
    }
    rt::Ref<Disposable> toPropertyOnObject(std::string_view keyPath, const rt::Id& object) {
        return setKeyPathOnObject(keyPath, object);
    }

    // Executes the command with each value (command.h); returns the subscription's disposable.
    rt::Ref<Disposable> executeCommand(const rt::Ref<Command>& command);

    // Windows, for single-threaded use (no lock): each value of the opening signal, when no window
    // is open, opens one (a subject, sent on), and the signal the block returns for it closes it
    // with its first event. The receiver's values go to the open window, if any.
    rt::Ref<Signal> windowWithStartClose(const rt::Ref<Signal>& openSignal, CloseBlock closeBlock);
    // Tuples of `count` values (nil as es::TupleNil), over windows the receiver itself opens; the
    // values of a partial buffer at the end are not sent, and a count of 0 sends none.
    rt::Ref<Signal> buffer(std::size_t count);

    std::string description() const override;

    // ---- Primitives (for Stream's shared operators) ----
    rt::Ref<Stream> emptyOfFamily() override;
    rt::Ref<Stream> returnOfFamily(const rt::Id& value) override;
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override { return bind(std::move(block)); }
    rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other) override { return concat(other); }
    rt::Ref<Stream> zipWithImpl(const rt::Ref<Stream>& other) override { return zipWith(other); }

protected:
    Signal() = default;
    // What subscribing does, for a subscriber that is not nil. The base class does nothing.
    virtual rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber);

private:
    static rt::Ref<Signal> createSignalWith(DidSubscribe didSubscribe);
    rt::Ref<Disposable> subscribeWith(NextBlock next, ErrorBlock error, CompletedBlock completed);
    rt::Ref<Signal> mapWith(MapBlock block);
    rt::Ref<Signal> mapValuesWith(detail::ValueMapBlock block);
    rt::Ref<Signal> filterWith(PredicateBlock block);
    rt::Ref<Signal> doNextWith(NextBlock block);
    rt::Ref<Signal> takeUntilBlockWith(PredicateBlock predicate, const char* nameFormat);
    rt::Ref<Signal> skipUntilBlockWith(PredicateBlock predicate, const char* nameFormat);
    static PredicateBlock negated(PredicateBlock predicate);
    rt::Ref<Signal> anyWith(PredicateBlock predicate);
    rt::Ref<Signal> allWith(PredicateBlock predicate);
    rt::Ref<Signal> groupByWith(MapBlock keyBlock, MapBlock transform, const char* nameFormat);
    // The signal's tuples through the reduce block; nullptr or an empty std::function: the tuples.
    template <class F>
    static rt::Ref<Signal> withReduce(rt::Ref<Signal> tuples, F block) {
        if constexpr (std::is_null_pointer_v<F>) return tuples;
        else if (detail::isNilBlock(block)) return tuples;
        else return tuples->reduceEach(std::move(block));
    }
    static std::string describe(const std::vector<rt::Ref<Signal>>& signals);

    // The loop behind repeat and retry: runs cycles of subscription to the receiver; later
    // cycles go through a scheduler's recursive scheduling.
    using LoopErrorBlock = std::function<void(const rt::Ref<ns::Error>&, const rt::Ref<CompoundDisposable>& loop)>;
    using LoopCompletedBlock = std::function<void(const rt::Ref<CompoundDisposable>& loop)>;
    rt::Ref<Disposable> subscribeForever(NextBlock next, LoopErrorBlock error, LoopCompletedBlock completed);
};

} // namespace es
