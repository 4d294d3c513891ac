#include "streams/operator_support.h"

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(OperatorSubscriber, "ESOperatorSubscriber", rt::Object)

rt::Ref<ns::Error> notASignalError(const rt::Ref<Stream>& stream) {
    std::string text = "Expected a signal, got a stream of another family: " + std::string(stream->getClass().name());
    auto userInfo = ns::Dictionary::withPairs({{ns::str(ns::LocalizedDescriptionKey), ns::str(text)}});
    return ns::Error::make(Signal::kErrorDomain, Signal::kErrorNotASignal, userInfo);
}

rt::Ref<Signal> signalArgument(const rt::Ref<Stream>& stream) {
    if (!stream) return Signal::empty();
    if (auto signal = rt::cast<Signal>(stream)) return signal;
    return Signal::error(notASignalError(stream));
}

// ---- OperatorSubscriber -------------------------------------------------------------------

void OperatorSubscriber::subscribeTo(const rt::Ref<Signal>& source) {
    rt::Ref<Disposable> d = source->subscribe(rt::Ref<Subscriber>(this));
    // What subscribing returned joins this subscription, unless it is the one the source told.
    lock_.lock();
    bool told = d.get() == out_.source_.get();
    leave();
    if (!told) out_.subscription_->addDisposable(d);
}

void OperatorSubscriber::sendError(const rt::Ref<ns::Error>& error) {
    if (out_.subscription_->isDisposed()) return;
    lock_.lock();
    if (!out_.ended_) {
        // The source's subscription ends before the handler runs, as a subscriber's does.
        out_.finish();
        onError(out_, error);
    }
    leave();
}

void OperatorSubscriber::sendCompleted() {
    if (out_.subscription_->isDisposed()) return;
    lock_.lock();
    if (!out_.ended_) {
        out_.finish();
        onCompleted(out_);
    }
    leave();
}

void OperatorSubscriber::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    lock_.lock();
    if (!out_.source_) out_.source_ = d;
    bool ended = out_.ended_;
    leave();
    if (ended) d->dispose();
    else out_.subscription_->addDisposable(d);
}

void OperatorSubscriber::leaveEnded() {
    if (released_ || lock_.depth() > 1) {
        lock_.unlock();
        return;
    }
    // The outermost frame of an ended subscriber: no handler runs any more, and none will. What
    // the handlers hold may include the last reference to other subscribers, whose disposal takes
    // their own locks, so it goes after this lock is let go.
    released_ = true;
    rt::Ref<Subscriber> downstream = std::move(out_.subscriber_);
    lock_.unlock();
    dropHandlers();
}

} // namespace es
