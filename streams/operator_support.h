#pragma once
// What the operators of es::Signal are made of: private to streams/.
//
// An operator is a signal whose every subscription subscribes to the receiver (the source) with
// one operator subscriber. That subscriber runs the operator's handlers on the source's events,
// one at a time, and the handlers send on what they make through a Downstream. A handler left out
// forwards its event unchanged:
//
//     rt::Ref<Signal> Signal::doNext(NextBlock block) {
//         return makeOperator(*this, Handlers{.next = [block](Downstream& out, const rt::Id& value) {
//             block(value);
//             out.sendNext(value);
//         }}, "[%@] -doNext:");
//     }
//
// The handlers are copied for every subscription, so a `mutable` capture is state private to one
// subscription (take's counter, scan's running value). Operators made of handlers one upon another
// are subscribed together: one operator subscriber runs each operator's handlers as a stage, in
// order, so their handlers send only through `out`. An operator that needs more than one
// subscription of its own passes a block instead of handlers; it runs for every subscription, as
// a createSignal block does, and may use forward() to subscribe to the source with handlers.
//
// The source is subscribed to only while the subscription lasts, and nothing a subscription
// keeps refers to the source (a subscription is never a cycle with its source); only repeat and
// retry keep it, to subscribe to it again, and between cycles only through the reschedule
// function their source's subscriber holds.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/foundation/format.h"
#include "platform/runtime/object.h"
#include "streams/description.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/signal_classes.h"

namespace es {

// A signal argument as the operators take it: nil counts as the empty signal (as a nil inner
// signal does for flattenMap and switchToLatest); a stream of another family becomes a signal
// that fails with Signal::kErrorNotASignal.
rt::Ref<Signal> signalArgument(const rt::Ref<Stream>& stream);
// The stream as a signal, by its class (no C++ cast needed); nil when it is of another family,
// and then `stream` is left as it was.
inline rt::Ref<Signal> asSignal(rt::Ref<Stream>&& stream) {
    if (!stream || !stream->isKindOfClass(Signal::staticClass())) return nullptr;
    return rt::Ref<Signal>::adopt(static_cast<Signal*>(stream.detach()));
}
// The error a signal fails with when it was handed a stream of another family.
rt::Ref<ns::Error> notASignalError(const rt::Ref<Stream>& stream);

// Subscribes at once when the thread has a current scheduler, otherwise on the subscription
// scheduler's background scheduler (as every createSignal subscription is made); what that
// scheduling returns joins `subscription`.
template <class Work>
void subscribeOnSubscriptionScheduler(const rt::Ref<CompoundDisposable>& subscription, Work work) {
    if (Scheduler::hasCurrentScheduler()) {
        work();
        return;
    }
    subscription->addDisposable(Scheduler::subscriptionScheduler()->schedule(std::move(work)));
}

// ---- Handlers -----------------------------------------------------------------------------

class OperatorSubscriber;
class Stage;

// Where an operator's handlers send what they make: the next operator's handlers, or the
// subscriber.
class Downstream {
public:
    // Nothing goes on once the subscription has been disposed.
    void sendNext(const rt::Id& value);
    // End the subscription to the source first, then send the error or the completion.
    void sendError(const rt::Ref<ns::Error>& error);
    void sendCompleted();
    // From now on the source's events no longer reach the handlers (not even those sent from
    // inside the current one); the source stays subscribed until sendError or sendCompleted.
    void stop() noexcept;
    bool isStopped() const noexcept { return ended_; }

    // The subscriber itself, to send to later or to subscribe other signals to: only for an
    // operator made of a block, through forward() or receiver() (whose subscriber is a
    // passthrough that drops what arrives after the subscription was disposed). The handlers of
    // an operator made of handlers send only through this.
    const rt::Ref<Subscriber>& subscriber() const noexcept;
    // The subscription's disposable: disposing it ends the subscription; what is added to it
    // ends with it.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept;

private:
    friend class OperatorSubscriber;
    friend class Stage;
    // Whether what is sent still goes on: no stage after it ended the subscription to the source,
    // and the subscription is not disposed (or the subscriber is a passthrough that checks its
    // own subscription itself).
    bool isOpen() const noexcept;
    void finish();

    OperatorSubscriber* chain_ = nullptr;
    Stage* next_ = nullptr; // nil: the last stage, which sends to the subscriber
    std::uint32_t index_ = 0;
    bool ended_ = false;  // the handlers take no more events
    bool closed_ = false; // a stage after this one ended the subscription to the source
};

// A handler left out: its event goes on unchanged.
struct Forward {
    void operator()(Downstream& out, const rt::Id& value) const { out.sendNext(value); }
    void operator()(Downstream& out, const rt::Ref<ns::Error>& error) const { out.sendError(error); }
    void operator()(Downstream& out) const { out.sendCompleted(); }
};

// An operator's handlers: next (out, value), error (out, error), completed (out); any may be left
// out. Written with designated initialisers: Handlers{.next = ..., .completed = ...}.
template <class Next = Forward, class Error = Forward, class Completed = Forward>
struct Handlers {
    Next next{};
    Error error{};
    Completed completed{};
};

// ---- The operator subscriber --------------------------------------------------------------

// One operator's handlers in a subscription, and where they send.
class Stage {
public:
    virtual ~Stage() = default;
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    void deliverNext(const rt::Id& value) {
        if (!out_.ended_) onNext(out_, value);
    }
    // The source's subscription ends before the handler runs, as a subscriber's does.
    void deliverError(const rt::Ref<ns::Error>& error) {
        if (out_.ended_) return;
        out_.finish();
        onError(out_, error);
    }
    void deliverCompleted() {
        if (out_.ended_) return;
        out_.finish();
        onCompleted(out_);
    }
    Stage* nextStage() const noexcept { return out_.next_; }

protected:
    Stage() = default;
    virtual void onNext(Downstream& out, const rt::Id& value) = 0;
    virtual void onError(Downstream& out, const rt::Ref<ns::Error>& error) = 0;
    virtual void onCompleted(Downstream& out) = 0;
    // Drops the handlers (called without the lock, once no event can reach them).
    virtual void dropHandlers() = 0;

private:
    friend class OperatorSubscriber;
    friend class Downstream;
    Downstream out_;
};

template <class H>
class HandlerStage final : public Stage {
public:
    explicit HandlerStage(H handlers) : handlers_(std::move(handlers)) {}

private:
    void onNext(Downstream& out, const rt::Id& value) override { handlers_->next(out, value); }
    void onError(Downstream& out, const rt::Ref<ns::Error>& error) override { handlers_->error(out, error); }
    void onCompleted(Downstream& out) override { handlers_->completed(out); }
    void dropHandlers() override { handlers_.reset(); }

    std::optional<H> handlers_;
};

// The receiving end of one subscription to a source, running the handlers of one operator, or of
// a run of operators made of handlers one upon another (map→filter→map), as stages in order: one
// subscriber, lock and disposable for the whole run. Disposing the subscription's disposable ends
// the subscription to the source and drops whatever is still on its way. Events are serialised by
// its lock; after a stage's error or completion (or stop) no more reach its handlers, and handlers
// no event can reach any more are released when the outermost delivery returns.
class OperatorSubscriber : public rt::Object, public Subscriber {
    RT_CLASS(OperatorSubscriber)
    RT_ADOPTS_INTERFACE
public:
    // Subscribes it to the source (once).
    void subscribeTo(const rt::Ref<Signal>& source);
    // The subscription's disposable.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return subscription_; }

    void sendNext(const rt::Id& value) final {
        if (subscription_->isDisposed()) return;
        lock_->lock();
        first_->deliverNext(value);
        leave();
    }
    void sendError(const rt::Ref<ns::Error>& error) final;
    void sendCompleted() final;
    // The source's subscription: it ends with this one, and the source's end ends it.
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) final;

protected:
    // `gated`: the subscriber is the subscription's own (operators made of handlers), so this
    // drops what the handlers send once the subscription is disposed; otherwise the subscriber is
    // a passthrough that does that itself.
    // `shared`: a lock several subscribers take (the sides of a combining operator, whose state it
    // guards); nil: one of its own.
    OperatorSubscriber(rt::Ref<Subscriber> subscriber, bool gated, std::shared_ptr<SerialLock> shared = nullptr)
        : lock_(shared ? shared.get() : &ownLock_), sharedLock_(std::move(shared)), subscriber_(std::move(subscriber)),
          subscription_(CompoundDisposable::make()), gated_(gated) {}
    // Called once by the constructor of a subclass: the stages, the one nearest the source first.
    void link(Stage* const* stages, std::size_t count);
    Stage* first() const noexcept { return first_; }

private:
    friend class Downstream;
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // Lets go of the lock; the outermost delivery after a stage ended releases the handlers no
    // event can reach any more (and the subscriber) after the lock is free.
    void leave() {
        if (endedAt_ != kNone) leaveEnded();
        else lock_->unlock();
    }
    void leaveEnded();
    void stageEnded(std::uint32_t index) noexcept {
        if (index < endedAt_) endedAt_ = index;
    }
    // A stage ends the subscription to the source: the stages before it take nothing more.
    void stageFinished(std::uint32_t index);

    SerialLock ownLock_;
    SerialLock* lock_;
    std::shared_ptr<SerialLock> sharedLock_;
    Stage* first_ = nullptr;
    rt::Ref<Subscriber> subscriber_;
    // Not the subscriber itself: the downstream subscriber holds the subscription's disposable,
    // and the subscriber holds the downstream one.
    rt::Ref<CompoundDisposable> subscription_;
    rt::Ref<CompoundDisposable> source_; // the source's subscription, once it has told it
    const bool gated_;
    std::uint32_t endedAt_ = kNone;     // under the lock: the first stage that ended
    std::uint32_t droppedFrom_ = kNone; // under the lock: the stages from here on hold nothing
};

inline bool Downstream::isOpen() const noexcept {
    return !closed_ && (!chain_->gated_ || !chain_->subscription_->isDisposed());
}

inline void Downstream::sendNext(const rt::Id& value) {
    if (!isOpen()) return;
    if (next_) next_->deliverNext(value);
    else chain_->subscriber_->sendNext(value);
}

inline void Downstream::sendError(const rt::Ref<ns::Error>& error) {
    finish();
    if (!isOpen()) return;
    if (next_) next_->deliverError(error);
    else chain_->subscriber_->sendError(error);
}

inline void Downstream::sendCompleted() {
    finish();
    if (!isOpen()) return;
    if (next_) next_->deliverCompleted();
    else chain_->subscriber_->sendCompleted();
}

inline void Downstream::stop() noexcept {
    ended_ = true;
    chain_->stageEnded(index_);
}

inline void Downstream::finish() {
    ended_ = true;
    chain_->stageFinished(index_);
}

inline const rt::Ref<Subscriber>& Downstream::subscriber() const noexcept {
    assert(!next_ && "a stage of a run of handler operators has no subscriber of its own");
    return chain_->subscriber_;
}

inline const rt::Ref<CompoundDisposable>& Downstream::disposable() const noexcept { return chain_->subscription_; }

// An operator subscriber of one stage, held inline.
template <class H>
class SingleStageSubscriber final : public OperatorSubscriber {
    RT_CLASS_REPORTING(SingleStageSubscriber, OperatorSubscriber)
private:
    SingleStageSubscriber(rt::Ref<Subscriber> subscriber, bool gated, H handlers,
                          std::shared_ptr<SerialLock> shared = nullptr)
        : OperatorSubscriber(std::move(subscriber), gated, std::move(shared)), stage_(std::move(handlers)) {
        Stage* stage = &stage_;
        link(&stage, 1);
    }

    HandlerStage<H> stage_;
};

// An operator subscriber with the handlers, sending to `subscriber` (the passthrough a
// createSignal block gets); subscribeTo then subscribes it.
// With `shared`, its events take that lock (see OperatorSubscriber).
template <class H>
rt::Ref<OperatorSubscriber> receiver(const rt::Ref<Subscriber>& subscriber, H handlers,
                                     std::shared_ptr<SerialLock> shared = nullptr) {
    return rt::make<SingleStageSubscriber<H>>(subscriber, false, std::move(handlers), std::move(shared));
}

// Subscribes to the source with the handlers, sending to `subscriber`; returns the subscription.
template <class H>
rt::Ref<CompoundDisposable> forward(const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber, H handlers,
                                    std::shared_ptr<SerialLock> shared = nullptr) {
    rt::Ref<OperatorSubscriber> r = receiver(subscriber, std::move(handlers), std::move(shared));
    r->subscribeTo(source);
    return r->disposable();
}

// ---- Operator signals ---------------------------------------------------------------------

// The signal of an operator made of handlers: a dynamic signal whose block is written out. A
// subscription to a run of them, one made on another, is one operator subscriber with a stage
// for each (operator_support.cpp), subscribed to the source of the first.
class HandlerSignalBase : public DynamicSignal {
public:
    // Every stage is placed at this alignment.
    static constexpr std::size_t kStageAlignment = alignof(std::max_align_t);
    static constexpr std::size_t placed(std::size_t size) {
        return (size + kStageAlignment - 1) / kStageAlignment * kStageAlignment;
    }

    const rt::Ref<Signal>& source() const noexcept { return source_; }
    // The signal as an operator made of handlers, or nil.
    static const HandlerSignalBase* asRunMember(const Signal& signal);
    // Subscribes with blocks, as the subscribe family does: they run as one more stage of the
    // run, with a block subscriber's rules (nothing after the end; the subscription disposed
    // before the error or completion block runs).
    rt::Ref<Disposable> subscribeBlocks(NextBlock next, ErrorBlock error, CompletedBlock completed) const;
    // The space its stage takes, and the stage made there with a copy of the handlers.
    virtual std::size_t stageSize() const noexcept = 0;
    virtual Stage* placeStage(void* at) const = 0;

protected:
    explicit HandlerSignalBase(rt::Ref<Signal> source) : source_(std::move(source)) { markMadeOfHandlers(); }
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;
    // The subscriber of a run of one that sends to a subscriber.
    virtual rt::Ref<OperatorSubscriber> singleStage(const rt::Ref<Subscriber>& subscriber) const = 0;

private:
    rt::Ref<Signal> source_;
};

template <class H>
class HandlerSignal final : public HandlerSignalBase {
    RT_CLASS_REPORTING(HandlerSignal, DynamicSignal)
public:
    std::size_t stageSize() const noexcept override { return placed(sizeof(HandlerStage<H>)); }
    Stage* placeStage(void* at) const override {
        static_assert(alignof(HandlerStage<H>) <= kStageAlignment);
        return new (at) HandlerStage<H>(handlers_);
    }

protected:
    rt::Ref<OperatorSubscriber> singleStage(const rt::Ref<Subscriber>& subscriber) const override {
        return rt::make<SingleStageSubscriber<H>>(subscriber, true, handlers_);
    }

private:
    HandlerSignal(rt::Ref<Signal> source, H handlers)
        : HandlerSignalBase(std::move(source)), handlers_(std::move(handlers)) {}

    H handlers_;
};

// Names an operator's result "[<receiver's name>] <rest of the format>", when names are on.
template <class... A>
void nameOperator(Signal& result, const Signal& receiver, std::string_view format, const A&... args) {
    if (debugNamesEnabled()) result.setName(ns::format(format, receiver.name(), args...));
}

template <class T>
struct IsHandlers : std::false_type {};
template <class N, class E, class C>
struct IsHandlers<Handlers<N, E, C>> : std::true_type {};

// The operator over `receiver`, made of handlers, or of a block (source, subscriber) returning
// the subscription's disposable; named with the format and its arguments after the receiver's
// name.
template <class H, class... A>
rt::Ref<Signal> makeOperator(Signal& receiver, H body, std::string_view format, const A&... args) {
    rt::Ref<Signal> result;
    if constexpr (IsHandlers<H>::value) {
        result = rt::make<HandlerSignal<H>>(rt::retained(&receiver), std::move(body));
    } else {
        result = Signal::createSignal(
            [source = rt::retained(&receiver), body = std::move(body)](const rt::Ref<Subscriber>& subscriber) {
                return body(source, subscriber);
            });
    }
    nameOperator(*result, receiver, format, args...);
    return result;
}

} // namespace es
