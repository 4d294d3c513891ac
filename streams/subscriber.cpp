#include "streams/subscriber.h"

#include "platform/foundation/error.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(BlockSubscriber, "ESSubscriber", rt::Object)
RT_DEFINE_CLASS(PassthroughSubscriber, "ESPassthroughSubscriber", rt::Object)

// ---- BlockSubscriber ----------------------------------------------------------------------

BlockSubscriber::BlockSubscriber() : disposable_(CompoundDisposable::make()) {
    // Refers to the subscriber without retaining it: the subscriber's destructor disposes the
    // compound first, so the block never outlives it.
    disposable_->addDisposable(Disposable::withBlock([this] {
        // Taken out under the lock, destroyed after it is released: the blocks may hold the
        // last reference to other subscribers, whose own disposal takes their locks.
        std::shared_ptr<const Blocks> cleared;
        std::lock_guard g(lock_);
        cleared = std::move(blocks_);
    }));
}

BlockSubscriber::~BlockSubscriber() { disposable_->dispose(); }

rt::Ref<BlockSubscriber> BlockSubscriber::subscriberWithNextErrorCompleted(NextBlock next, ErrorBlock error,
                                                                           CompletedBlock completed) {
    auto s = rt::make<BlockSubscriber>();
    s->blocks_ = std::make_shared<const Blocks>(Blocks{std::move(next), std::move(error), std::move(completed)});
    return s;
}

void BlockSubscriber::sendNext(const rt::Id& value) {
    std::lock_guard g(lock_);
    if (auto blocks = blocks_; blocks && blocks->next) blocks->next(value);
}

void BlockSubscriber::sendError(const rt::Ref<ns::Error>& error) {
    std::lock_guard g(lock_);
    auto blocks = blocks_;
    // Ends every subscription this subscriber is attached to, and clears the blocks, before the
    // error block runs.
    disposable_->dispose();
    if (blocks && blocks->error) blocks->error(error);
}

void BlockSubscriber::sendCompleted() {
    std::lock_guard g(lock_);
    auto blocks = blocks_;
    disposable_->dispose();
    if (blocks && blocks->completed) blocks->completed();
}

void BlockSubscriber::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    if (d->isDisposed()) return;
    disposable_->addDisposable(d);
    // When the subscription ends first, forget it, so the compound does not grow. Raw pointers:
    // the subscriber's compound holds the subscription, and the subscriber disposes its compound
    // (so the subscription, and this block with it) before the compound can go.
    CompoundDisposable* own = disposable_.get();
    CompoundDisposable* subscription = d.get();
    d->addDisposable(Disposable::withBlock([own, subscription] { own->removeDisposable(subscription); }));
}

// ---- PassthroughSubscriber ----------------------------------------------------------------

rt::Ref<PassthroughSubscriber> PassthroughSubscriber::withSubscriberSignalDisposable(
    rt::Ref<Subscriber> inner, const Signal* signal, rt::Ref<CompoundDisposable> disposable) {
    auto p = rt::make<PassthroughSubscriber>(std::move(inner), signal, std::move(disposable));
    p->inner_->didSubscribeWithDisposable(p->disposable_);
    return p;
}

void PassthroughSubscriber::sendNext(const rt::Id& value) {
    if (disposable_->isDisposed()) return;
    inner_->sendNext(value);
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
