#include "streams/subscriber.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/foundation/error.h"
#include "platform/runtime/class.h"

namespace es {

// The events answer by name too, so a subscriber can be the target of a target-action pair
// ("sendNext:" with the sender as the value).
RT_DEFINE_CLASS(BlockSubscriber, "ESSubscriber", rt::Object, rt::method("sendNext:", &BlockSubscriber::sendNext),
                rt::method("sendError:", &BlockSubscriber::sendError),
                rt::method("sendCompleted", &BlockSubscriber::sendCompleted))
RT_DEFINE_CLASS(PassthroughSubscriber, "ESPassthroughSubscriber", rt::Object,
                rt::method("sendNext:", &PassthroughSubscriber::sendNext),
                rt::method("sendError:", &PassthroughSubscriber::sendError),
                rt::method("sendCompleted", &PassthroughSubscriber::sendCompleted))

// ---- SerialLock ---------------------------------------------------------------------------

namespace {

// Where contended locks sleep: a few shared mutex and condition pairs, chosen by the lock's
// address.
struct SleepStripe {
    std::mutex mutex;
    std::condition_variable released;
};
SleepStripe& stripeOf(const void* lock) {
    static SleepStripe stripes[16];
    return stripes[(reinterpret_cast<std::uintptr_t>(lock) >> 6) % 16];
}

} // namespace

std::uint32_t SerialLock::newThreadToken() noexcept {
    static std::atomic<std::uint32_t> next{0};
    return next.fetch_add(1, std::memory_order_relaxed) + 1;
}

void SerialLock::lockContended(std::uint32_t me) noexcept {
    for (int spins = 0; spins < 256; ++spins) {
        if (owner_.load(std::memory_order_relaxed) == 0 && tryTake(me)) {
            depth_ = 1;
            return;
        }
        std::this_thread::yield();
    }
    SleepStripe& stripe = stripeOf(this);
    std::unique_lock guard(stripe.mutex);
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    while (!tryTake(me)) stripe.released.wait_for(guard, std::chrono::milliseconds(1));
    sleepers_.fetch_sub(1, std::memory_order_relaxed);
    depth_ = 1;
}

void SerialLock::wakeSleepers() noexcept {
    SleepStripe& stripe = stripeOf(this);
    { std::lock_guard guard(stripe.mutex); }
    stripe.released.notify_all();
}

// ---- BlockSubscriber ----------------------------------------------------------------------

// The subscriber's compound: disposing it ends the subscriber first. It refers to the subscriber
// without retaining it: the subscriber's destructor disposes the compound first, and only the
// first disposal reaches the subscriber.
class BlockSubscriber::Subscriptions final : public CompoundDisposable {
    RT_CLASS(Subscriptions)
public:
    void dispose() override {
        if (BlockSubscriber* owner = owner_.exchange(nullptr)) owner->end();
        CompoundDisposable::dispose();
    }

private:
    explicit Subscriptions(BlockSubscriber* owner) : owner_(owner) {}
    std::atomic<BlockSubscriber*> owner_;
};

RT_DEFINE_CLASS(BlockSubscriber::Subscriptions, "ESSubscriberSubscriptions", CompoundDisposable)

BlockSubscriber::BlockSubscriber(NextBlock next, ErrorBlock error, CompletedBlock completed)
    : next_(std::move(next)), error_(std::move(error)), completed_(std::move(completed)),
      disposable_(rt::make<Subscriptions>(this)) {}

void BlockSubscriber::end() noexcept {
    lock_.lock();
    ended_ = true;
    leave();
}

BlockSubscriber::~BlockSubscriber() { disposable_->dispose(); }

rt::Ref<BlockSubscriber> BlockSubscriber::subscriberWithNextErrorCompleted(NextBlock next, ErrorBlock error,
                                                                           CompletedBlock completed) {
    return rt::make<BlockSubscriber>(std::move(next), std::move(error), std::move(completed));
}

void BlockSubscriber::leaveEnded() noexcept {
    if (released_ || lock_.depth() > 1) {
        lock_.unlock();
        return;
    }
    // The outermost frame of an ended subscriber: no block is running any more. The blocks may
    // hold the last reference to other subscribers, whose own disposal takes their locks, so
    // they are destroyed after this lock is let go.
    released_ = true;
    NextBlock next = std::move(next_);
    ErrorBlock error = std::move(error_);
    CompletedBlock completed = std::move(completed_);
    next_ = nullptr;
    error_ = nullptr;
    completed_ = nullptr;
    lock_.unlock();
}

void BlockSubscriber::sendError(const rt::Ref<ns::Error>& error) {
    lock_.lock();
    if (!ended_) {
        // Ends every subscription this subscriber is attached to before the error block runs;
        // the block stays in place until this delivery returns.
        disposable_->dispose();
        if (error_) error_(error);
    }
    leave();
}

void BlockSubscriber::sendCompleted() {
    lock_.lock();
    if (!ended_) {
        disposable_->dispose();
        if (completed_) completed_();
    }
    leave();
}

void BlockSubscriber::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    // Subscriptions that end first stay until the compound sweeps out the disposed ones (as it
    // grows), so a subscriber attached to many signals in turn holds only the live ones.
    if (!d->isDisposed()) disposable_->addDisposable(d);
}

// ---- PassthroughSubscriber ----------------------------------------------------------------

rt::Ref<PassthroughSubscriber> PassthroughSubscriber::withSubscriberSignalDisposable(
    rt::Ref<Subscriber> inner, const Signal* signal, rt::Ref<CompoundDisposable> disposable) {
    auto p = rt::make<PassthroughSubscriber>(std::move(inner), signal, std::move(disposable));
    p->inner_->didSubscribeWithDisposable(p->disposable_);
    return p;
}

void PassthroughSubscriber::sendError(const rt::Ref<ns::Error>& error) {
    if (disposable_->isDisposed()) return;
    inner_->sendError(error);
}

void PassthroughSubscriber::sendCompleted() {
    if (disposable_->isDisposed()) return;
    inner_->sendCompleted();
}

void PassthroughSubscriber::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    if (d != disposable_) disposable_->addDisposable(d);
}

} // namespace es
