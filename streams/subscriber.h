#pragma once
// Subscribers: the receiving end of a signal. Together they enforce the event grammar: after an
// error or a completion, or after disposal, a subscriber's blocks are never called again.

#include <functional>
#include <memory>
#include <mutex>

#include "platform/runtime/object.h"
#include "streams/disposable.h"

namespace ns {
class Error;
}

namespace es {

class Signal;

// What a signal sends to whoever subscribed.
class Subscriber : public rt::Interface {
public:
    virtual void sendNext(const rt::Id& value) = 0;
    virtual void sendError(const rt::Ref<ns::Error>& error) = 0;
    virtual void sendCompleted() = 0;
    // Told once per subscription, before any event, with the disposable that ends it.
    virtual void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) = 0;

protected:
    ~Subscriber() = default;
};

// The subscriber the subscribe family makes from the caller's blocks. Its events are serialised
// by a recursive lock on it: events from different threads arrive one at a time; an event sent
// from inside a block on the same thread is delivered at once, nested.
class BlockSubscriber final : public rt::Object, public Subscriber {
    RT_CLASS(BlockSubscriber)
    RT_ADOPTS_INTERFACE
public:
    using NextBlock = std::function<void(const rt::Id&)>;
    using ErrorBlock = std::function<void(const rt::Ref<ns::Error>&)>;
    using CompletedBlock = std::function<void()>;

    // Any block may be empty.
    static rt::Ref<BlockSubscriber> subscriberWithNextErrorCompleted(NextBlock next, ErrorBlock error,
                                                                     CompletedBlock completed);

    // Owns every subscription this subscriber is attached to.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return disposable_; }

    void sendNext(const rt::Id& value) override;
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override;
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) override;

private:
    BlockSubscriber();
    ~BlockSubscriber() override;

    struct Blocks {
        NextBlock next;
        ErrorBlock error;
        CompletedBlock completed;
    };

    std::recursive_mutex lock_;
    // Shared, so the blocks can be taken out under the lock and still run after another event
    // (or a block itself) cleared them.
    std::shared_ptr<const Blocks> blocks_;
    rt::Ref<CompoundDisposable> disposable_;
};

// Wraps the subscriber a signal's creation block receives, so events sent after the subscription
// was disposed go nowhere.
class PassthroughSubscriber final : public rt::Object, public Subscriber {
    RT_CLASS(PassthroughSubscriber)
    RT_ADOPTS_INTERFACE
public:
    // Tells `inner` didSubscribeWithDisposable with `disposable`.
    static rt::Ref<PassthroughSubscriber> withSubscriberSignalDisposable(rt::Ref<Subscriber> inner,
                                                                         const Signal* signal,
                                                                         rt::Ref<CompoundDisposable> disposable);

    const rt::Ref<Subscriber>& innerSubscriber() const noexcept { return inner_; }
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return disposable_; }

    void sendNext(const rt::Id& value) override;
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override;
    // A disposable other than the subscription's own is added to it.
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) override;

private:
    PassthroughSubscriber(rt::Ref<Subscriber> inner, const Signal* signal, rt::Ref<CompoundDisposable> disposable)
        : inner_(std::move(inner)), signal_(signal), disposable_(std::move(disposable)) {}

    rt::Ref<Subscriber> inner_;
    const Signal* signal_; // not retained; for tracing only
    rt::Ref<CompoundDisposable> disposable_;
};

} // namespace es
