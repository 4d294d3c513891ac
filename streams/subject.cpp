#include "streams/subject.h"

#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "streams/scheduler.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Subject, "ESSubject", Signal)
RT_DEFINE_CLASS(ReplaySubject, "ESReplaySubject", Subject)
RT_DEFINE_CLASS(BehaviorSubject, "ESBehaviorSubject", Subject)
RT_DEFINE_CLASS(GroupedSignal, "ESGroupedSignal", Subject)

// ---- Subject ------------------------------------------------------------------------------

Subject::Subject() : disposable_(CompoundDisposable::make()) {}

Subject::~Subject() { disposable_->dispose(); }

rt::Ref<Subject> Subject::subject() { return rt::make<Subject>(); }

rt::Ref<Disposable> Subject::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto disposable = CompoundDisposable::make();
    auto passthrough = PassthroughSubscriber::withSubscriberSignalDisposable(subscriber, this, disposable);
    {
        // The list it replaces goes when the last event holding it is done with it, and never
        // under the lock.
        std::shared_ptr<const SubscriberList> replaced;
        auto list = std::make_shared<SubscriberList>();
        std::lock_guard g(subscribersLock_);
        if (subscribers_) {
            list->reserve(subscribers_->size() + 1);
            *list = *subscribers_;
        }
        list->push_back(passthrough);
        replaced = std::exchange(subscribers_, std::move(list));
    }
    // However the subscription ends, its entry leaves the list, so neither the entry nor its
    // subscriber outlives it. The entry is known by address only: it is in the list (and so
    // alive) until this block has run. Added after the entry, so a subscription already ended
    // (its subscriber had terminated) removes it at once.
    rt::Weak<Subject> weakSelf(this);
    const PassthroughSubscriber* entry = passthrough.get();
    disposable->addDisposable(Disposable::withBlock([weakSelf, entry] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->removeSubscriber(entry);
    }));
    return disposable;
}

void Subject::removeSubscriber(const PassthroughSubscriber* entry) {
    std::shared_ptr<const SubscriberList> replaced; // released after the lock
    std::lock_guard g(subscribersLock_);
    if (!subscribers_) return;
    const SubscriberList& old = *subscribers_;
    // From the end: the entry that joined last is the likelier to leave first.
    for (std::size_t i = old.size(); i-- > 0;) {
        if (old[i].get() != entry) continue;
        std::shared_ptr<const SubscriberList> list;
        if (old.size() > 1) {
            auto rest = std::make_shared<SubscriberList>();
            rest->reserve(old.size() - 1);
            rest->insert(rest->end(), old.begin(), old.begin() + static_cast<std::ptrdiff_t>(i));
            rest->insert(rest->end(), old.begin() + static_cast<std::ptrdiff_t>(i) + 1, old.end());
            list = std::move(rest);
        }
        replaced = std::exchange(subscribers_, std::move(list));
        return;
    }
}

std::shared_ptr<const Subject::SubscriberList> Subject::snapshot() {
    std::lock_guard g(subscribersLock_);
    return subscribers_;
}

void Subject::sendNextTo(const std::shared_ptr<const SubscriberList>& list, const rt::Id& value) {
    if (list)
        for (const auto& s : *list) s->sendNext(value);
}

void Subject::sendErrorTo(const std::shared_ptr<const SubscriberList>& list, const rt::Ref<ns::Error>& error) {
    disposable_->dispose();
    if (list)
        for (const auto& s : *list) s->sendError(error);
}

void Subject::sendCompletedTo(const std::shared_ptr<const SubscriberList>& list) {
    disposable_->dispose();
    if (list)
        for (const auto& s : *list) s->sendCompleted();
}

void Subject::sendNext(const rt::Id& value) { sendNextTo(snapshot(), value); }

void Subject::sendError(const rt::Ref<ns::Error>& error) { sendErrorTo(snapshot(), error); }

void Subject::sendCompleted() { sendCompletedTo(snapshot()); }

void Subject::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    if (d->isDisposed()) return;
    disposable_->addDisposable(d);
    // When that subscription ends first, forget it, so the compound does not grow.
    rt::Weak<Subject> weakSelf(this);
    rt::Weak<CompoundDisposable> weakSubscription(d);
    d->addDisposable(Disposable::withBlock([weakSelf, weakSubscription] {
        auto self = weakSelf.lock();
        auto subscription = weakSubscription.lock();
        if (self && subscription) self->disposable_->removeDisposable(subscription.get());
    }));
}

void Subject::enumerateSubscribersUsingBlock(const std::function<void(const rt::Ref<Subscriber>&)>& block) {
    if (auto list = snapshot())
        for (const auto& s : *list) block(s);
}

// ---- ReplaySubject ------------------------------------------------------------------------

ReplaySubject::ReplaySubject(std::uint64_t capacity) : capacity_(capacity) {}

ReplaySubject::~ReplaySubject() = default;

rt::Ref<ReplaySubject> ReplaySubject::replaySubjectWithCapacity(std::uint64_t capacity) {
    return rt::make<ReplaySubject>(capacity);
}

rt::Ref<ReplaySubject> ReplaySubject::make() { return replaySubjectWithCapacity(kUnlimitedCapacity); }

rt::Ref<Disposable> ReplaySubject::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto disposable = CompoundDisposable::make();
    rt::Ref<ReplaySubject> self(this);
    auto scheduled = Scheduler::subscriptionScheduler()->schedule([self, subscriber, disposable] {
        // Under the lock, no other thread can store a value between the replay and joining the
        // list. A value sent from inside the replay on this thread is stored too, and replayed by
        // position: each value arrives once, in order.
        std::lock_guard g(self->lock_);
        const rt::Object* tupleNil = TupleNil::tupleNil().get();
        std::uint64_t next = self->appended_ - self->values_.size();
        for (;;) {
            if (disposable->isDisposed()) return;
            std::uint64_t oldest = self->appended_ - self->values_.size();
            if (next < oldest) next = oldest; // trimmed meanwhile
            if (next >= self->appended_) break;
            rt::Id value = self->values_[static_cast<std::size_t>(next - oldest)];
            ++next;
            subscriber->sendNext(value.get() == tupleNil ? rt::Id() : value);
        }
        if (self->hasCompleted_) subscriber->sendCompleted();
        else if (self->hasError_) subscriber->sendError(self->error_);
        else disposable->addDisposable(self->Subject::subscribeImpl(subscriber));
    });
    disposable->addDisposable(scheduled);
    return disposable;
}

// Storing an event and taking the list it goes to are one step under the lock, so a subscriber
// that joins gets each value once: replayed if it was stored before the joining, live otherwise.
// The event goes out after the lock is let go: a subscriber that sends into another replay
// subject (two channel terminals bound to each other) never holds two of their locks at once.
void ReplaySubject::sendNext(const rt::Id& value) {
    std::shared_ptr<const SubscriberList> list;
    {
        std::lock_guard g(lock_);
        if (capacity_ > 0) {
            values_.push_back(value ? value : rt::Id(TupleNil::tupleNil()));
            if (values_.size() > capacity_) values_.pop_front();
        }
        ++appended_;
        list = snapshot();
    }
    sendNextTo(list, value);
}

void ReplaySubject::sendError(const rt::Ref<ns::Error>& error) {
    std::shared_ptr<const SubscriberList> list;
    {
        std::lock_guard g(lock_);
        hasError_ = true;
        error_ = error;
        list = snapshot();
    }
    sendErrorTo(list, error);
}

void ReplaySubject::sendCompleted() {
    std::shared_ptr<const SubscriberList> list;
    {
        std::lock_guard g(lock_);
        hasCompleted_ = true;
        list = snapshot();
    }
    sendCompletedTo(list);
}

// ---- BehaviorSubject ----------------------------------------------------------------------

rt::Ref<BehaviorSubject> BehaviorSubject::behaviorSubjectWithDefaultValue(const rt::Id& value) {
    return rt::make<BehaviorSubject>(value);
}

rt::Ref<Disposable> BehaviorSubject::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto disposable = CompoundDisposable::make();
    rt::Ref<BehaviorSubject> self(this);
    auto scheduled = Scheduler::subscriptionScheduler()->schedule([self, subscriber, disposable] {
        // Joining and receiving the current value are one step under the lock that sendNext
        // holds while it stores and sends.
        std::lock_guard g(self->lock_);
        if (disposable->isDisposed()) return;
        rt::Ref<Disposable> subscription = self->Subject::subscribeImpl(subscriber);
        disposable->addDisposable(subscription);
        if (!subscription->isDisposed()) subscriber->sendNext(self->currentValue_);
    });
    disposable->addDisposable(scheduled);
    return disposable;
}

void BehaviorSubject::sendNext(const rt::Id& value) {
    std::lock_guard g(lock_);
    currentValue_ = value;
    Subject::sendNext(value);
}

// ---- GroupedSignal ------------------------------------------------------------------------

rt::Ref<GroupedSignal> GroupedSignal::signalWithKey(const rt::Id& key) {
    return rt::make<GroupedSignal>(key ? key->copy() : rt::Id());
}

} // namespace es
