#include "platform/foundation/condition.h"

#include <mutex>

#include "platform/foundation/parking_lot.h"

namespace ns {

struct Condition::Impl {
    std::mutex user;  // the lock the caller holds around wait
    std::mutex inner; // guards the parking lot
    dispatch::detail::ParkingLot lot;
    std::string name; // guarded by `inner`

    bool wait(std::optional<TimeInterval> deadline) {
        std::unique_lock lock(inner);
        // `inner` is held from before the user's lock is let go until the waiter is parked, so a
        // signal sent once that lock is free finds the waiter.
        user.unlock();
        bool woken = lot.park(lock, deadline);
        lock.unlock();
        user.lock();
        return woken;
    }
};

Condition::Condition() : impl_(std::make_unique<Impl>()) {}

Condition::~Condition() = default;

void Condition::lock() {
    impl_->user.lock();
}

bool Condition::tryLock() {
    return impl_->user.try_lock();
}

void Condition::unlock() {
    impl_->user.unlock();
}

void Condition::wait() {
    impl_->wait(std::nullopt);
}

bool Condition::waitUntilDate(const rt::Ref<Date>& limit) {
    return impl_->wait(limit ? std::optional(limit->timeIntervalSinceReferenceDate()) : std::nullopt);
}

void Condition::signal() {
    std::lock_guard g(impl_->inner);
    impl_->lot.wakeOne();
}

void Condition::broadcast() {
    std::lock_guard g(impl_->inner);
    impl_->lot.wakeAll();
}

void Condition::setName(std::string name) {
    std::lock_guard g(impl_->inner);
    impl_->name = std::move(name);
}

std::string Condition::name() const {
    std::lock_guard g(impl_->inner);
    return impl_->name;
}

} // namespace ns
