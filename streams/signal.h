#pragma once
// es::Signal: the push-based stream. A subscriber receives zero or more next events, then at most
// one error or completion: next* (error | completed)?. Operators return new, cold signals: each
// subscription runs the operator afresh with its own state.

#include <functional>
#include <string>

#include "platform/runtime/object.h"
#include "streams/disposable.h"
#include "streams/stream.h"
#include "streams/subscriber.h"

namespace ns {
class Error;
}

namespace es {

class Scheduler;

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
    // Returns the subscription's disposable. The base class does nothing and returns nil.
    virtual rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber);
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

    std::string description() const override;

    // ---- Primitives ----
    rt::Ref<Stream> emptyOfFamily() override;
    rt::Ref<Stream> returnOfFamily(const rt::Id& value) override;
    rt::Ref<Stream> bindImpl(MakeBindBlock block) override;
    rt::Ref<Stream> concatImpl(const rt::Ref<Stream>& other) override;
    rt::Ref<Stream> zipWithImpl(const rt::Ref<Stream>& other) override;

protected:
    Signal() = default;

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
public:
    rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber) override;

private:
    explicit DynamicSignal(DidSubscribe block) : didSubscribe_(std::move(block)) {}
    friend class Signal;
    DidSubscribe didSubscribe_;
};

class EmptySignal final : public Signal {
    RT_CLASS(EmptySignal)
public:
    rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber) override;
    void setName(std::string) override {} // always "+empty"

private:
    EmptySignal();
};

class ErrorSignal final : public Signal {
    RT_CLASS(ErrorSignal)
public:
    rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber) override;
    const rt::Ref<ns::Error>& error() const noexcept { return error_; }

private:
    explicit ErrorSignal(rt::Ref<ns::Error> error);
    rt::Ref<ns::Error> error_;
};

class ReturnSignal final : public Signal {
    RT_CLASS(ReturnSignal)
public:
    rt::Ref<Disposable> subscribe(const rt::Ref<Subscriber>& subscriber) override;
    void setName(std::string) override {} // always "+return:"
    const rt::Id& value() const noexcept { return value_; }

private:
    explicit ReturnSignal(rt::Id value);
    rt::Id value_;
};

} // namespace es
