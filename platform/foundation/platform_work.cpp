#include "platform/foundation/platform_work.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/foundation/worker_pool.h"

namespace ns {

namespace {

struct Registry {
    std::mutex lock; // guards names and nextId; no other lock is taken under it
    std::unordered_map<std::uint64_t, std::string> names;
    std::uint64_t nextId = 0;
    // Changed after `names`, read without the lock: the stepper's wait reads it under the worker
    // pool's lock, and an end wakes that wait after the count went down.
    std::atomic<std::size_t> count{0};
};

Registry& registry() {
    // Never destroyed: threads may end work during exit.
    static Registry* r = new Registry;
    return *r;
}

} // namespace

PlatformWork::PlatformWork(std::string name) {
    Registry& r = registry();
    {
        std::lock_guard g(r.lock);
        id_ = ++r.nextId;
        r.names.emplace(id_, std::move(name));
    }
    r.count.fetch_add(1);
}

PlatformWork::PlatformWork(PlatformWork&& other) noexcept : id_(std::exchange(other.id_, 0)) {}

PlatformWork& PlatformWork::operator=(PlatformWork&& other) noexcept {
    if (this != &other) {
        end();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

PlatformWork::~PlatformWork() {
    end();
}

void PlatformWork::end() noexcept {
    if (id_ == 0) return;
    Registry& r = registry();
    {
        std::lock_guard g(r.lock);
        r.names.erase(std::exchange(id_, 0));
    }
    r.count.fetch_sub(1);
    dispatch::detail::WorkerPool::shared().notifySettleWaiters();
}

std::size_t PlatformWork::inFlight() {
    return registry().count.load();
}

std::vector<std::string> PlatformWork::namesInFlight() {
    Registry& r = registry();
    std::vector<std::string> names;
    {
        std::lock_guard g(r.lock);
        names.reserve(r.names.size());
        for (const auto& [id, name] : r.names)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

} // namespace ns
