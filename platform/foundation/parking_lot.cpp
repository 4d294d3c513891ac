#include "platform/foundation/parking_lot.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>

#include "platform/foundation/timer_manager.h"
#include "platform/foundation/worker_pool.h"

namespace dispatch::detail {

struct ParkingLot::Node {
    std::condition_variable cv;
    bool woken = false;
    bool timedOut = false;
    bool counted = false; // counted as blocked by the worker pool
};

bool ParkingLot::park(std::unique_lock<std::mutex>& lock, std::optional<ns::TimeInterval> deadline) {
    Node node;
    parked_.push_back(&node);
    TimerManager::Id timeout = 0;
    if (deadline && *deadline != INFINITY) {
        std::mutex* mutex = lock.mutex();
        lock.unlock(); // a deadline already passed fires inside schedule
        timeout = TimerManager::shared().schedule(*deadline, 0, [this, &node, mutex] {
            std::lock_guard g(*mutex);
            if (node.woken || node.timedOut) return;
            parked_.erase(std::find(parked_.begin(), parked_.end(), &node));
            node.timedOut = true;
            if (node.counted) WorkerPool::shared().leaveBlocked();
            node.cv.notify_one();
        });
        lock.lock();
    }
    // Counted as blocked only once its deadline is scheduled, so a settled pool shows every
    // deadline that could release it. Whoever wakes the node ends the count, under the same lock.
    if (!node.woken && !node.timedOut) node.counted = WorkerPool::shared().enterBlocked();
    node.cv.wait(lock, [&] { return node.woken || node.timedOut; });
    if (timeout) {
        lock.unlock();
        TimerManager::shared().cancel(timeout); // the callback is not running once this returns
        lock.lock();
    }
    return node.woken;
}

void ParkingLot::wake(Node& node) {
    node.woken = true;
    if (node.counted) WorkerPool::shared().leaveBlocked();
    node.cv.notify_one();
}

bool ParkingLot::wakeOne() {
    if (parked_.empty()) return false;
    Node* node = parked_.front();
    parked_.pop_front();
    wake(*node);
    return true;
}

void ParkingLot::wakeAll() {
    std::deque<Node*> parked;
    parked.swap(parked_);
    for (Node* node : parked)
        wake(*node);
}

} // namespace dispatch::detail
