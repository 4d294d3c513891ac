#pragma once
// Subscribers: the receiving end of a signal. Together they enforce the event grammar: after an
// error or a completion, or after disposal, a subscriber's blocks are never called again.

#include <atomic>
#include <cstdint>
#include <functional>

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

// The lock that serialises one subscriber's events: recursive, owned by a thread and counting
// its depth. Uncontended, taking it costs one compare-and-swap and letting it go one plain store.
// A thread that finds it taken spins a while, then sleeps in short bounded waits until it gets
// it: a wake-up missed because a release raced the sleeper's arrival costs at most one such
// wait, never a hang.
class SerialLock {
public:
    void lock() noexcept {
        std::uint32_t me = threadToken();
        std::uint32_t expected = 0;
        if (owner_.compare_exchange_strong(expected, me, std::memory_order_acquire)) {
            depth_ = 1;
        } else if (expected == me) {
            ++depth_;
        } else {
            lockContended(me);
        }
    }
    void unlock() noexcept {
        if (--depth_ > 0) return;
        owner_.store(0, std::memory_order_release);
        if (sleepers_.load(std::memory_order_relaxed) != 0) wakeSleepers();
    }
    // How many times the owning thread holds it (meaningful to that thread only).
    std::uint32_t depth() const noexcept { return depth_; }

private:
    // A per-thread token, never 0.
    static std::uint32_t threadToken() noexcept {
        static constinit thread_local std::uint32_t token = 0;
        if (!token) token = newThreadToken();
        return token;
    }
    static std::uint32_t newThreadToken() noexcept;
    bool tryTake(std::uint32_t me) noexcept {
        std::uint32_t expected = 0;
        return owner_.compare_exchange_strong(expected, me, std::memory_order_acquire);
    }
    void lockContended(std::uint32_t me) noexcept;
    void wakeSleepers() noexcept;

    std::atomic<std::uint32_t> owner_{0};
    std::atomic<std::uint32_t> sleepers_{0};
    std::uint32_t depth_ = 0; // written only by the owner
};

// The subscriber the subscribe family makes from the caller's blocks. Its events are serialised
// by a recursive lock on it: events from different threads arrive one at a time; an event sent
// from inside a block on the same thread is delivered at once, nested. Once it has ended, its
// blocks are released when the outermost delivery returns, after the lock is let go.
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

    // Owns every subscription this subscriber is attached to. Disposing it ends the subscriber
    // (as its error or completion does, which dispose it).
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return disposable_; }

    class Subscriptions;

    void sendNext(const rt::Id& value) override {
        lock_.lock();
        if (!ended_ && next_) next_(value);
        leave();
    }
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override;
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) override;

private:
    BlockSubscriber(NextBlock next, ErrorBlock error, CompletedBlock completed);
    ~BlockSubscriber() override;
    // Marks it ended: no block runs any more.
    void end() noexcept;

    // Lets go of the lock; the outermost delivery of an ended subscriber releases the blocks
    // first, and destroys them once the lock is free.
    void leave() noexcept {
        if (ended_) leaveEnded();
        else lock_.unlock();
    }
    void leaveEnded() noexcept;

    SerialLock lock_;
    // Called only under the lock, while not ended.
    NextBlock next_;
    ErrorBlock error_;
    CompletedBlock completed_;
    bool ended_ = false;   // under the lock
    bool released_ = false; // under the lock: the blocks are gone
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

    void sendNext(const rt::Id& value) override {
        if (!disposable_->isDisposed()) inner_->sendNext(value);
    }
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
