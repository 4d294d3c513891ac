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
// subscription (take's counter, scan's running value). An operator that needs more than one
// subscription of its own passes a block instead of handlers; it runs for every subscription, as
// a createSignal block does, and may use forward() to subscribe to the source with handlers.
//
// The source is subscribed to only while the subscription lasts, and nothing a subscription
// keeps refers to the source (a subscription is never a cycle with its source); only repeat and
// retry keep it, to subscribe to it again, and between cycles only through the reschedule
// function their source's subscriber holds.

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
    if (Scheduler::currentScheduler()) {
        work();
        return;
    }
    subscription->addDisposable(Scheduler::subscriptionScheduler()->schedule(std::move(work)));
}

// ---- Handlers -----------------------------------------------------------------------------

// Where an operator's handlers send what they make: the downstream subscriber.
class Downstream {
public:
    // Nothing goes on once the subscription has been disposed.
    void sendNext(const rt::Id& value) {
        if (isOpen()) subscriber_->sendNext(value);
    }
    // End the subscription to the source first, then send the error or the completion.
    void sendError(const rt::Ref<ns::Error>& error) {
        finish();
        if (isOpen()) subscriber_->sendError(error);
    }
    void sendCompleted() {
        finish();
        if (isOpen()) subscriber_->sendCompleted();
    }
    // From now on the source's events no longer reach the handlers (not even those sent from
    // inside the current one); the source stays subscribed until sendError or sendCompleted.
    void stop() noexcept { ended_ = true; }
    bool isStopped() const noexcept { return ended_; }

    // The subscriber itself, to send to later or to subscribe other signals to. Only an operator
    // made of a block gets one that drops what arrives after the subscription was disposed (the
    // subscriber of a createSignal block), so operators that send later are made of a block.
    const rt::Ref<Subscriber>& subscriber() const noexcept { return subscriber_; }
    // The subscription's disposable: disposing it ends the subscription; what is added to it
    // ends with it.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return subscription_; }

private:
    friend class OperatorSubscriber;
    Downstream(rt::Ref<Subscriber> subscriber, rt::Ref<CompoundDisposable> subscription, bool gated)
        : subscriber_(std::move(subscriber)), subscription_(std::move(subscription)), gated_(gated) {}
    // Whether the downstream subscriber still takes events: it is the subscription's own
    // subscriber, and the subscription is not disposed; or it is a passthrough that checks its
    // own subscription itself.
    bool isOpen() const noexcept { return !gated_ || !subscription_->isDisposed(); }
    void finish() {
        ended_ = true;
        if (source_) source_->dispose();
    }

    rt::Ref<Subscriber> subscriber_;
    // Not the subscriber itself: the downstream subscriber holds the subscription's disposable,
    // and the subscriber holds the downstream one.
    rt::Ref<CompoundDisposable> subscription_;
    rt::Ref<CompoundDisposable> source_; // the source's subscription, once it has told it
    const bool gated_;
    bool ended_ = false;
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

// The receiving end of one subscription to an operator's source. Disposing the subscription's
// disposable ends the subscription to the source and drops whatever is still on its way. Events
// are serialised by its lock; after the source's error or completion (or a handler's stop), no
// more reach the handlers, and the handlers are released when the outermost delivery returns.
class OperatorSubscriber : public rt::Object, public Subscriber {
    RT_CLASS(OperatorSubscriber)
    RT_ADOPTS_INTERFACE
public:
    // Subscribes it to the source (once).
    void subscribeTo(const rt::Ref<Signal>& source);
    // The subscription's disposable.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return out_.subscription_; }

    void sendNext(const rt::Id& value) final {
        if (out_.subscription_->isDisposed()) return;
        lock_.lock();
        if (!out_.ended_) onNext(out_, value);
        leave();
    }
    void sendError(const rt::Ref<ns::Error>& error) final;
    void sendCompleted() final;
    // The source's subscription: it ends with this one, and the source's end ends it.
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) final;

protected:
    // `gated`: the subscriber is the subscription's own (an operator made of handlers), so this
    // drops what the handlers send once the subscription is disposed; otherwise the subscriber is
    // a passthrough that does that itself.
    OperatorSubscriber(rt::Ref<Subscriber> subscriber, bool gated)
        : out_(std::move(subscriber), CompoundDisposable::make(), gated) {}

    virtual void onNext(Downstream& out, const rt::Id& value) = 0;
    virtual void onError(Downstream& out, const rt::Ref<ns::Error>& error) = 0;
    virtual void onCompleted(Downstream& out) = 0;
    // Drops the handlers (called without the lock, once the subscriber has ended).
    virtual void dropHandlers() = 0;

private:
    // Lets go of the lock; the outermost delivery of an ended subscriber releases the handlers
    // and the downstream subscriber after the lock is free.
    void leave() {
        if (out_.ended_) leaveEnded();
        else lock_.unlock();
    }
    void leaveEnded();

    SerialLock lock_;
    Downstream out_;
    bool released_ = false;
};

template <class H>
class HandlerSubscriber final : public OperatorSubscriber {
    RT_CLASS_REPORTING(HandlerSubscriber, OperatorSubscriber)
private:
    HandlerSubscriber(rt::Ref<Subscriber> subscriber, bool gated, H handlers)
        : OperatorSubscriber(std::move(subscriber), gated), handlers_(std::move(handlers)) {}

    void onNext(Downstream& out, const rt::Id& value) override { handlers_->next(out, value); }
    void onError(Downstream& out, const rt::Ref<ns::Error>& error) override { handlers_->error(out, error); }
    void onCompleted(Downstream& out) override { handlers_->completed(out); }
    void dropHandlers() override { handlers_.reset(); }

    std::optional<H> handlers_;
};

// An operator subscriber with the handlers, sending to `subscriber` (the passthrough a
// createSignal block gets); subscribeTo then subscribes it.
template <class H>
rt::Ref<OperatorSubscriber> receiver(const rt::Ref<Subscriber>& subscriber, H handlers) {
    return rt::make<HandlerSubscriber<H>>(subscriber, false, std::move(handlers));
}

// Subscribes to the source with the handlers, sending to `subscriber`; returns the subscription.
template <class H>
rt::Ref<CompoundDisposable> forward(const rt::Ref<Signal>& source, const rt::Ref<Subscriber>& subscriber, H handlers) {
    rt::Ref<OperatorSubscriber> r = receiver(subscriber, std::move(handlers));
    r->subscribeTo(source);
    return r->disposable();
}

// ---- Operator signals ---------------------------------------------------------------------

// The signal of an operator made of handlers: a dynamic signal whose block is written out.
template <class H>
class HandlerSignal final : public DynamicSignal {
    RT_CLASS_REPORTING(HandlerSignal, DynamicSignal)
protected:
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override {
        rt::Ref<OperatorSubscriber> receiver = rt::make<HandlerSubscriber<H>>(subscriber, true, handlers_);
        const rt::Ref<CompoundDisposable>& subscription = receiver->disposable();
        subscriber->didSubscribeWithDisposable(subscription);
        subscribeOnSubscriptionScheduler(subscription, [source = source_, receiver] { receiver->subscribeTo(source); });
        return subscription;
    }

private:
    HandlerSignal(rt::Ref<Signal> source, H handlers) : source_(std::move(source)), handlers_(std::move(handlers)) {}

    rt::Ref<Signal> source_;
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
