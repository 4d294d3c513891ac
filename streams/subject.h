#pragma once
// Subjects: signals that are also subscribers. Whatever is sent to a subject (directly, or by the
// signals it is subscribed to) goes on to everyone subscribed to it at that moment. They bridge
// imperative code into signals and share one subscription among many subscribers.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "streams/signal.h"

namespace es {

class Subject : public Signal, public Subscriber {
    RT_CLASS(Subject)
    RT_ADOPTS_INTERFACE
public:
    static rt::Ref<Subject> subject();

    // The subject's own subscriptions to the signals it is subscribed to; ended by an error or a
    // completion sent to the subject, and when it goes away.
    const rt::Ref<CompoundDisposable>& disposable() const noexcept { return disposable_; }

    // Events go to the subscribers of the moment, in the order they subscribed: an event takes
    // the list as it is and sends to it outside the lock, and a list an event holds is never
    // changed (the subject changes its list in place only while no event holds it, and replaces
    // it otherwise), so a subscriber may subscribe or unsubscribe from inside an event. An error
    // or a completion takes the whole list out: the subscribers leaving afterwards find nothing to
    // search.
    void sendNext(const rt::Id& value) override;
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override;
    void didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& disposable) override;

    // Calls the block with each current subscriber, outside the list's lock.
    void enumerateSubscribersUsingBlock(const std::function<void(const rt::Ref<Subscriber>&)>& block);

    // A subscription's disposable (subject.cpp): disposed, it takes its entry out of the list.
    class Subscription;

protected:
    Subject();
    ~Subject() override;
    // The returned disposable ends the subscription, which then leaves the subject's list; so
    // does a subscription whose subscriber ends it (by terminating).
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

    // The subscribers of the moment: each with its subscription, which an event checks before it
    // goes to the subscriber, and which takes the entry out when disposed.
    struct Entry {
        rt::Ref<Subscriber> subscriber;
        rt::Ref<Subscription> subscription;
    };
    using SubscriberList = std::vector<Entry>;
    // The list, its lock and the count of events reading it (subject.cpp): it outlives the
    // subject while an event still reads (a subscriber may let go of the subject from inside one).
    class Core;
    // An event's reading of the list as it was when the event began (or of none); the list does
    // not change while it is read.
    class HeldList {
    public:
        HeldList() noexcept = default;
        HeldList(HeldList&& o) noexcept
            : core_(std::exchange(o.core_, nullptr)), list_(std::exchange(o.list_, nullptr)) {}
        HeldList& operator=(HeldList o) noexcept {
            std::swap(core_, o.core_);
            std::swap(list_, o.list_);
            return *this;
        }
        ~HeldList();
        const SubscriberList* get() const noexcept { return list_; }

    private:
        friend class Subject;
        HeldList(Core* core, const SubscriberList* list) noexcept : core_(core), list_(list) {}
        Core* core_ = nullptr;
        const SubscriberList* list_ = nullptr;
    };
    // A subclass that stores events under a lock of its own takes the list under that lock and
    // sends outside it, so that no lock is held while subscribers run. takeAll leaves the subject
    // without subscribers (for the last event).
    HeldList snapshot();
    HeldList takeAll();
    static void sendNextTo(const HeldList& list, const rt::Id& value);
    void sendErrorTo(const HeldList& list, const rt::Ref<ns::Error>& error);
    void sendCompletedTo(const HeldList& list);

private:
    void removeSubscriber(const Subscription* subscription);

    Core* core_;
    rt::Ref<CompoundDisposable> disposable_;
};

// Remembers the last `capacity` values, and the error or completion, and replays them to each new
// subscriber before it joins the live events.
class ReplaySubject : public Subject {
    RT_CLASS(ReplaySubject)
public:
    static constexpr std::uint64_t kUnlimitedCapacity = UINT64_MAX;

    static rt::Ref<ReplaySubject> replaySubjectWithCapacity(std::uint64_t capacity);
    // Unlimited capacity.
    static rt::Ref<ReplaySubject> make();
    static rt::Ref<ReplaySubject> subject() { return make(); }

    void sendNext(const rt::Id& value) override;
    void sendError(const rt::Ref<ns::Error>& error) override;
    void sendCompleted() override;

protected:
    explicit ReplaySubject(std::uint64_t capacity);
    ~ReplaySubject() override;
    // Replays on the subscription scheduler, then subscribes; no value is lost or repeated
    // between the replay and the live events.
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    std::recursive_mutex lock_;
    const std::uint64_t capacity_;
    std::deque<rt::Id> values_; // nil stored as TupleNil
    std::uint64_t appended_ = 0; // values ever stored: the last one's position plus one
    bool hasCompleted_ = false;
    bool hasError_ = false;
    rt::Ref<ns::Error> error_;
};

// Holds a current value, sent to each new subscriber first.
class BehaviorSubject : public Subject {
    RT_CLASS(BehaviorSubject)
public:
    static rt::Ref<BehaviorSubject> behaviorSubjectWithDefaultValue(const rt::Id& value);
    static rt::Ref<BehaviorSubject> subject() { return behaviorSubjectWithDefaultValue(nullptr); }

    void sendNext(const rt::Id& value) override;

protected:
    explicit BehaviorSubject(rt::Id value) : currentValue_(std::move(value)) {}
    // Joins the subscribers and receives the current value in one step on the subscription
    // scheduler, so a value sent meanwhile arrives once, after the current one.
    rt::Ref<Disposable> subscribeImpl(const rt::Ref<Subscriber>& subscriber) override;

private:
    std::recursive_mutex lock_;
    rt::Id currentValue_;
};

// A subject that carries the key of its group.
class GroupedSignal : public Subject {
    RT_CLASS(GroupedSignal)
public:
    // Keeps a copy of the key.
    static rt::Ref<GroupedSignal> signalWithKey(const rt::Id& key);
    static rt::Ref<GroupedSignal> subject() { return signalWithKey(nullptr); }

    const rt::Id& key() const noexcept { return key_; }

protected:
    explicit GroupedSignal(rt::Id key) : key_(std::move(key)) {}

private:
    rt::Id key_;
};

} // namespace es
