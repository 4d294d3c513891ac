#include "platform/foundation/notification_center.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <thread>

#include "platform/foundation/exception.h"
#include "platform/foundation/operation_queue.h"
#include "platform/runtime/class.h"

namespace ns {

// The token addObserverForName returns: the filter, the queue and the block of one observer.
class NotificationCenter::Observer : public rt::Object {
    RT_CLASS(Observer)
public:
    bool matches(const Notification& n) const {
        if (name_ && !name_->isEqualToString(n.name().get())) return false;
        if (!hasObject_) return true;
        // Same address, and the object registered for is still alive (not a newcomer there).
        return n.object().get() == object_.unsafeGet() && object_.lock();
    }

    void deliver(const rt::Ref<Notification>& n) {
        if (queue_) {
            queue_->addOperationWithBlock([self = rt::Ref<Observer>(this), n] { self->invoke(n); });
        } else {
            invoke(n);
        }
    }

    // After it returns the block is not called again. A call in progress on another thread is
    // waited for; one on this thread (the block removing its own observer) finishes normally.
    void remove() {
        Block dead;
        {
            std::unique_lock g(lock_);
            if (removed_) return;
            removed_ = true;
            const auto self = std::this_thread::get_id();
            cv_.wait(g, [&] {
                return std::all_of(active_.begin(), active_.end(), [&](auto id) { return id == self; });
            });
            if (active_.empty()) dead = std::move(block_);
        }
    }

    std::string description() const override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "<__NSObserver: %p>", static_cast<const void*>(this));
        return buf;
    }

private:
    Observer(rt::Ref<String> name, const rt::Id& object, rt::Ref<OperationQueue> queue, Block block)
        : name_(std::move(name)), hasObject_(object != nullptr), object_(object), queue_(std::move(queue)),
          block_(std::move(block)) {}

    void invoke(const rt::Ref<Notification>& n) {
        {
            std::lock_guard g(lock_);
            if (removed_ || !block_) return;
            active_.push_back(std::this_thread::get_id());
        }
        struct Exit {
            Observer* self;
            ~Exit() { self->leave(); }
        } exit{this};
        block_(n);
    }

    void leave() {
        Block dead;
        std::lock_guard g(lock_);
        active_.erase(std::find(active_.begin(), active_.end(), std::this_thread::get_id()));
        if (removed_ && active_.empty()) dead = std::move(block_);
        cv_.notify_all();
    }

    const rt::Ref<String> name_;
    const bool hasObject_;
    const rt::Weak<rt::Object> object_;
    const rt::Ref<OperationQueue> queue_;

    std::mutex lock_;
    std::condition_variable cv_;
    bool removed_ = false;
    std::vector<std::thread::id> active_; // threads calling the block now
    Block block_;                         // released once removed and idle
};

RT_DEFINE_CLASS(Notification, "NSNotification", rt::Object)
RT_DEFINE_CLASS(NotificationCenter, "NSNotificationCenter", rt::Object)
RT_DEFINE_CLASS(NotificationCenter::Observer, "__NSObserver", rt::Object)

rt::Ref<Notification> Notification::make(rt::Ref<String> name, rt::Id object, rt::Ref<Dictionary> userInfo) {
    if (!name) raise(InvalidArgumentException, "NSNotification: a notification needs a name");
    if (userInfo) userInfo = rt::cast<Dictionary>(userInfo->copy());
    return rt::make<Notification>(std::move(name), std::move(object), std::move(userInfo));
}

rt::Ref<Notification> Notification::make(std::string_view name, rt::Id object, rt::Ref<Dictionary> userInfo) {
    return make(String::make(name), std::move(object), std::move(userInfo));
}

std::string Notification::description() const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "NSConcreteNotification %p {", static_cast<const void*>(this));
    std::string s = buf;
    s += "name = " + name_->utf8();
    if (object_) s += "; object = " + object_->description();
    if (userInfo_) s += "; userInfo = " + userInfo_->description();
    return s + "}";
}

const rt::Ref<NotificationCenter>& NotificationCenter::defaultCenter() {
    static const rt::Ref<NotificationCenter> shared = [] {
        auto c = rt::make<NotificationCenter>();
        rt::makeImmortal(*c);
        return c;
    }();
    return shared;
}

rt::Ref<NotificationCenter> NotificationCenter::make() {
    return rt::make<NotificationCenter>();
}

rt::Id NotificationCenter::addObserverForName(const rt::Ref<String>& name, const rt::Id& object,
                                              const rt::Ref<OperationQueue>& queue, Block block) {
    rt::Ref<String> key = name ? rt::cast<String>(name->copy()) : nullptr;
    auto observer = rt::make<Observer>(std::move(key), object, queue, std::move(block));
    std::lock_guard g(lock_);
    observers_.push_back(observer);
    return observer;
}

rt::Id NotificationCenter::addObserverForName(const char* name, const rt::Id& object,
                                              const rt::Ref<OperationQueue>& queue, Block block) {
    return addObserverForName(name ? String::make(name) : nullptr, object, queue, std::move(block));
}

void NotificationCenter::removeObserver(const rt::Id& token) {
    rt::Ref<Observer> observer;
    {
        std::lock_guard g(lock_);
        auto it = std::find_if(observers_.begin(), observers_.end(), [&](auto& o) { return o == token; });
        if (it == observers_.end()) return;
        observer = std::move(*it);
        observers_.erase(it);
    }
    observer->remove();
}

void NotificationCenter::postNotification(const rt::Ref<Notification>& notification) {
    if (!notification) raise(InvalidArgumentException, "NSNotificationCenter: nil notification posted");
    std::vector<rt::Ref<Observer>> targets;
    {
        std::lock_guard g(lock_);
        for (auto& o : observers_)
            if (o->matches(*notification)) targets.push_back(o);
    }
    for (auto& o : targets)
        o->deliver(notification);
}

void NotificationCenter::postNotificationName(const rt::Ref<String>& name, const rt::Id& object,
                                              const rt::Ref<Dictionary>& userInfo) {
    postNotification(Notification::make(name, object, userInfo));
}

void NotificationCenter::postNotificationName(std::string_view name, const rt::Id& object,
                                              const rt::Ref<Dictionary>& userInfo) {
    postNotification(Notification::make(name, object, userInfo));
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard g(lock_);
    return observers_.size();
}

} // namespace ns
