#include "streams/subject.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"
#include "platform/runtime/spin_lock.h"
#include "streams/scheduler.h"
#include "streams/tuple.h"

namespace es {

RT_DEFINE_CLASS(Subject, "ESSubject", Signal)
RT_DEFINE_CLASS(ReplaySubject, "ESReplaySubject", Subject)
RT_DEFINE_CLASS(BehaviorSubject, "ESBehaviorSubject", Subject)
RT_DEFINE_CLASS(GroupedSignal, "ESGroupedSignal", Subject)

// ---- Subject ------------------------------------------------------------------------------

// The list of subscribers, read by events without a lock and changed under one. An event counts
// itself a reader, then reads the list the subject has at that moment. A change made while no
// event reads is made in place; one made while an event reads builds a new list, and the old one
// is retired and freed once no event reads any more. A change in place marks itself first, and an
// event that begins meanwhile waits for it on the lock (both mark, then look: one sees the other).
// While the process has one thread, the count is kept without atomic instructions.
class Subject::Core {
public:
    // The subject's hold on the core; the rest of the count is the events reading.
    static constexpr std::uint64_t kSubject = std::uint64_t(1) << 32;
    static constexpr std::uint64_t kReaders = kSubject - 1;

    ~Core() {
        delete list_.load();
        for (SubscriberList* l : retired_) delete l;
    }

    HeldList read() {
        if (ns::Thread::isOnlyThread()) { // no other thread to see it: as libstdc++'s shared_ptr does
            count_.store(count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            return HeldList(this, list_.load(std::memory_order_relaxed));
        }
        count_.fetch_add(1);
        if (!changing_.load()) return HeldList(this, list_.load());
        std::lock_guard g(lock_); // a change in place is under way; this reading counts for the next
        return HeldList(this, list_.load());
    }
    // Ends a reading; the last frees what was retired, or the core once the subject is gone.
    void endReading() {
        std::uint64_t left;
        if (ns::Thread::isOnlyThread()) {
            left = count_.load(std::memory_order_relaxed) - 1;
            count_.store(left, std::memory_order_relaxed);
        } else {
            left = count_.fetch_sub(1) - 1;
        }
        if (left == 0) delete this;
        else if ((left & kReaders) == 0 && hasRetired_.load()) reclaim();
    }
    void subjectGone() {
        if (count_.fetch_sub(kSubject) == kSubject) delete this;
    }

    // Changes the list; `freed` gets the lists to free after the lock (they may hold the last
    // reference to subscribers). Under the lock.
    template <class Change>
    void change(Change change, std::vector<SubscriberList*>& freed) {
        SubscriberList* list = list_.load(std::memory_order_relaxed);
        if (list) {
            changing_.store(true);
            bool read = (count_.load() & kReaders) != 0;
            if (!read) change(*list);
            changing_.store(false, std::memory_order_release);
            if (!read) return;
        }
        auto* copy = new SubscriberList;
        if (list) {
            copy->reserve(list->size() + 1);
            *copy = *list;
        }
        change(*copy);
        list_.store(copy);
        if (list) retire(list, freed);
    }
    // Takes the list out (under the lock): the reading of the taker keeps it until it ends.
    SubscriberList* take(std::vector<SubscriberList*>& freed) {
        SubscriberList* list = list_.exchange(nullptr);
        if (list) retire(list, freed);
        return list;
    }
    SubscriberList* list() const noexcept { return list_.load(std::memory_order_relaxed); }

    rt::SpinLock lock_;

private:
    void retire(SubscriberList* list, std::vector<SubscriberList*>& freed) {
        retired_.push_back(list);
        hasRetired_.store(true);
        if ((count_.load() & kReaders) == 0) takeRetired(freed); // the last reading ended meanwhile
    }
    void takeRetired(std::vector<SubscriberList*>& freed) {
        freed.insert(freed.end(), retired_.begin(), retired_.end());
        retired_.clear();
        hasRetired_.store(false);
    }
    void reclaim() {
        std::vector<SubscriberList*> freed;
        {
            std::lock_guard g(lock_);
            if ((count_.load() & kReaders) == 0) takeRetired(freed);
        }
        for (SubscriberList* l : freed) delete l;
    }

    std::atomic<SubscriberList*> list_{nullptr}; // nil: none
    std::atomic<std::uint64_t> count_{kSubject};
    std::atomic<bool> changing_{false};
    std::vector<SubscriberList*> retired_; // under the lock: replaced while read
    std::atomic<bool> hasRetired_{false};
};

Subject::Subject() : core_(new Core), disposable_(CompoundDisposable::make()) {}

Subject::~Subject() {
    disposable_->dispose();
    core_->subjectGone();
}

Subject::HeldList::~HeldList() {
    if (core_) core_->endReading();
}

rt::Ref<Subject> Subject::subject() { return rt::make<Subject>(); }

class Subject::Subscription final : public CompoundDisposable {
    RT_CLASS(Subscription)
public:
    void dispose() override {
        CompoundDisposable::dispose(); // first: see subscribeImpl
        if (left_.exchange(true)) return;
        if (auto subject = subject_.lock()) subject->removeSubscriber(this);
    }

private:
    explicit Subscription(Subject* subject) : subject_(subject) {}

    rt::Weak<Subject> subject_; // a subject nobody holds sends nothing: its subscribers do not keep it
    std::atomic<bool> left_{false};
};

RT_DEFINE_CLASS(Subject::Subscription, "ESSubjectSubscription", CompoundDisposable)

rt::Ref<Disposable> Subject::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    auto subscription = rt::make<Subscription>(this);
    subscriber->didSubscribeWithDisposable(subscription);
    {
        std::vector<SubscriberList*> freed; // after the lock: they may hold the last reference to subscribers
        {
            std::lock_guard g(core_->lock_);
            core_->change([&](SubscriberList& list) { list.push_back({subscriber, subscription}); }, freed);
        }
        for (SubscriberList* l : freed) delete l;
    }
    // However the subscription ends, its entry leaves the list, so neither the entry nor its
    // subscriber outlives it. A disposal that came before the entry joined (its subscriber had
    // terminated, or another thread) found nothing to take out; it is seen here, since disposal
    // marks the subscription disposed before it looks for the entry.
    if (subscription->isDisposed()) removeSubscriber(subscription.get());
    return subscription;
}

void Subject::removeSubscriber(const Subscription* subscription) {
    std::vector<SubscriberList*> freed; // all three released after the lock
    Entry removed;
    {
        std::lock_guard g(core_->lock_);
        const SubscriberList* list = core_->list();
        if (!list) return;
        // From the end: the entry that joined last is the likelier to leave first. An entry holds
        // its subscription, so the address is that subscription's while it is in the list.
        for (std::size_t i = list->size(); i-- > 0;) {
            if ((*list)[i].subscription.get() != subscription) continue;
            core_->change(
                [&](SubscriberList& own) {
                    removed = std::move(own[i]);
                    own.erase(own.begin() + static_cast<std::ptrdiff_t>(i));
                },
                freed);
            break;
        }
    }
    for (SubscriberList* l : freed) delete l;
}

Subject::HeldList Subject::snapshot() { return core_->read(); }

Subject::HeldList Subject::takeAll() {
    HeldList reading = core_->read();
    std::vector<SubscriberList*> freed;
    {
        std::lock_guard g(core_->lock_);
        reading.list_ = core_->take(freed);
    }
    for (SubscriberList* l : freed) delete l;
    return reading;
}

void Subject::sendNextTo(const HeldList& list, const rt::Id& value) {
    if (list.get())
        for (const Entry& e : *list.get())
            if (!e.subscription->isDisposed()) e.subscriber->sendNext(value);
}

void Subject::sendErrorTo(const HeldList& list, const rt::Ref<ns::Error>& error) {
    disposable_->dispose();
    if (list.get())
        for (const Entry& e : *list.get())
            if (!e.subscription->isDisposed()) e.subscriber->sendError(error);
}

void Subject::sendCompletedTo(const HeldList& list) {
    disposable_->dispose();
    if (list.get())
        for (const Entry& e : *list.get())
            if (!e.subscription->isDisposed()) e.subscriber->sendCompleted();
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
        for (const Entry& e : *list.get())
            if (!e.subscription->isDisposed()) block(e.subscriber);
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
