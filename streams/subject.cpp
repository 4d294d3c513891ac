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

Subject::~Subject() {
    disposable_->dispose();
    HeldList own(subscribers_);
}

Subject::HeldList::~HeldList() {
    if (list_ && list_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete list_;
}

rt::Ref<Subject> Subject::subject() { return rt::make<Subject>(); }

Subject::SubscriberList& Subject::ownList(HeldList& replaced) {
    if (!subscribers_) return *(subscribers_ = new SubscriberList);
    // Acquire: an event that let go of the list had finished reading it.
    if (subscribers_->holders.load(std::memory_order_acquire) == 1) return *subscribers_;
    auto* copy = new SubscriberList;
    copy->entries.reserve(subscribers_->entries.size() + 1);
    copy->entries = subscribers_->entries;
    replaced = HeldList(std::exchange(subscribers_, copy));
    return *copy;
}

class Subject::Subscription final : public CompoundDisposable {
    RT_CLASS(Subscription)
public:
    void dispose() override {
        CompoundDisposable::dispose(); // first: see subscribeImpl
        if (left_.exchange(true)) return;
        if (auto subject = subject_.lock()) subject->removeSubscriber(id_);
    }

private:
    Subscription(Subject* subject, std::uint64_t id) : subject_(subject), id_(id) {}

    rt::Weak<Subject> subject_; // a subject nobody holds sends nothing: its subscribers do not keep it
    const std::uint64_t id_;
    std::atomic<bool> left_{false};
};

RT_DEFINE_CLASS(Subject::Subscription, "ESSubjectSubscription", CompoundDisposable)

rt::Ref<Disposable> Subject::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    std::uint64_t id = nextId_.fetch_add(1, std::memory_order_relaxed) + 1;
    auto subscription = rt::make<Subscription>(this, id);
    auto passthrough = PassthroughSubscriber::withSubscriberSignalDisposable(subscriber, this, subscription);
    {
        HeldList replaced; // released after the lock: it may hold the last reference to subscribers
        std::lock_guard g(subscribersLock_);
        ownList(replaced).entries.push_back({std::move(passthrough), id});
    }
    // However the subscription ends, its entry leaves the list, so neither the entry nor its
    // subscriber outlives it. A disposal that came before the entry joined (its subscriber had
    // terminated, or another thread) found nothing to take out; it is seen here, since disposal
    // marks the subscription disposed before it looks for the entry.
    if (subscription->isDisposed()) removeSubscriber(id);
    return subscription;
}

void Subject::removeSubscriber(std::uint64_t id) {
    HeldList replaced; // both released after the lock
    rt::Ref<PassthroughSubscriber> removed;
    std::lock_guard g(subscribersLock_);
    if (!subscribers_) return;
    const std::vector<Entry>& entries = subscribers_->entries;
    // From the end: the entry that joined last is the likelier to leave first.
    for (std::size_t i = entries.size(); i-- > 0;) {
        if (entries[i].id != id) continue;
        std::vector<Entry>& own = ownList(replaced).entries;
        removed = std::move(own[i].subscriber);
        own.erase(own.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

Subject::HeldList Subject::snapshot() {
    std::lock_guard g(subscribersLock_);
    if (subscribers_) subscribers_->holders.fetch_add(1, std::memory_order_relaxed);
    return HeldList(subscribers_);
}

Subject::HeldList Subject::takeAll() {
    std::lock_guard g(subscribersLock_);
    return HeldList(std::exchange(subscribers_, nullptr));
}

void Subject::sendNextTo(const HeldList& list, const rt::Id& value) {
    if (list.get())
        for (const Entry& e : list.get()->entries) e.subscriber->sendNext(value);
}

void Subject::sendErrorTo(const HeldList& list, const rt::Ref<ns::Error>& error) {
    disposable_->dispose();
    if (list.get())
        for (const Entry& e : list.get()->entries) e.subscriber->sendError(error);
}

void Subject::sendCompletedTo(const HeldList& list) {
    disposable_->dispose();
    if (list.get())
        for (const Entry& e : list.get()->entries) e.subscriber->sendCompleted();
}

void Subject::sendNext(const rt::Id& value) { sendNextTo(snapshot(), value); }

void Subject::sendError(const rt::Ref<ns::Error>& error) { sendErrorTo(takeAll(), error); }

void Subject::sendCompleted() { sendCompletedTo(takeAll()); }

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
    HeldList list = snapshot();
    if (list.get())
        for (const Entry& e : list.get()->entries) block(e.subscriber);
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
    HeldList list;
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
    HeldList list;
    {
        std::lock_guard g(lock_);
        hasError_ = true;
        error_ = error;
        list = takeAll();
    }
    sendErrorTo(list, error);
}

void ReplaySubject::sendCompleted() {
    HeldList list;
    {
        std::lock_guard g(lock_);
        hasCompleted_ = true;
        list = takeAll();
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
