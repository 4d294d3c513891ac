// Groups and semaphores.

#include <utility>
#include <vector>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/parking_lot.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"

namespace dispatch {

RT_DEFINE_CLASS(Group, "OS_dispatch_group", rt::Object)
RT_DEFINE_CLASS(Semaphore, "OS_dispatch_semaphore", rt::Object)

// ---- Group ----------------------------------------------------------------------------------

struct Group::Impl {
    std::mutex lock;
    detail::ParkingLot lot;
    long count = 0;
    std::vector<std::pair<rt::Ref<Queue>, Block>> notifications;
};

Group::Group() : impl_(std::make_unique<Impl>()) {}

Group::~Group() = default;

rt::Ref<Group> Group::make() {
    return rt::make<Group>();
}

void Group::enter() {
    std::lock_guard g(impl_->lock);
    ++impl_->count;
}

void Group::leave() {
    std::vector<std::pair<rt::Ref<Queue>, Block>> due;
    {
        std::lock_guard g(impl_->lock);
        if (impl_->count == 0) {
            ns::logLine("dispatch: group leave without a matching enter; ignored");
            return;
        }
        if (--impl_->count > 0) return;
        due.swap(impl_->notifications);
        impl_->lot.wakeAll();
    }
    for (auto& [queue, block] : due)
        async(queue, std::move(block));
}

void Group::groupAsync(const rt::Ref<Queue>& queue, Block block) {
    if (!queue || !block) return;
    enter();
    async(queue, [self = rt::Ref<Group>(this), block = std::move(block)] {
        struct Leave {
            Group* group;
            ~Leave() { group->leave(); }
        } leave{self.get()};
        block();
    });
}

void Group::notify(const rt::Ref<Queue>& queue, Block block) {
    if (!queue || !block) return;
    {
        std::lock_guard g(impl_->lock);
        if (impl_->count > 0) {
            impl_->notifications.emplace_back(queue, std::move(block));
            return;
        }
    }
    async(queue, std::move(block));
}

bool Group::wait(std::optional<Time> deadline) {
    std::unique_lock lock(impl_->lock);
    if (impl_->count == 0) return true;
    // A parked waiter is woken only when the group empties.
    return impl_->lot.park(lock, deadline) || impl_->count == 0;
}

void async(const rt::Ref<Group>& group, const rt::Ref<Queue>& queue, Block block) {
    if (group) group->groupAsync(queue, std::move(block));
}

// ---- Semaphore ------------------------------------------------------------------------------

struct Semaphore::Impl {
    std::mutex lock;
    detail::ParkingLot lot;
    long value = 0;
};

Semaphore::Semaphore(long value) : impl_(std::make_unique<Impl>()) {
    impl_->value = value;
}

Semaphore::~Semaphore() = default;

rt::Ref<Semaphore> Semaphore::make(long value) {
    if (value < 0) return nullptr;
    return rt::make<Semaphore>(value);
}

bool Semaphore::signal() {
    std::lock_guard g(impl_->lock);
    if (impl_->lot.wakeOne()) return true; // handed straight to the waiter
    ++impl_->value;
    return false;
}

bool Semaphore::wait(std::optional<Time> deadline) {
    std::unique_lock lock(impl_->lock);
    if (impl_->value > 0) {
        --impl_->value;
        return true;
    }
    return impl_->lot.park(lock, deadline);
}

} // namespace dispatch
