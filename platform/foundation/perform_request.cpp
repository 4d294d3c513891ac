#include "platform/foundation/perform_request.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/run_loop.h"
#include "platform/runtime/invocation.h"

namespace ns {

namespace {

// The requests not yet run, each by its target and its timer; the timer's block keeps the target
// and the argument.
struct PerformRequests {
    struct Entry {
        std::uint64_t id;
        const rt::Object* target;
        rt::Ref<Timer> timer;
    };
    std::mutex lock;
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;

    static PerformRequests& shared() {
        static PerformRequests* const requests = new PerformRequests;
        return *requests;
    }

    // Takes the request out; false when it was called off.
    bool take(std::uint64_t id) {
        rt::Ref<Timer> timer; // released outside the lock
        std::lock_guard g(lock);
        auto it = std::find_if(entries.begin(), entries.end(), [id](const Entry& e) { return e.id == id; });
        if (it == entries.end()) return false;
        timer = std::move(it->timer);
        entries.erase(it);
        return true;
    }
};

} // namespace

void performSelectorAfterDelay(const rt::Id& target, rt::Sel selector, const rt::Id& argument, TimeInterval seconds) {
    if (!target) return;
    PerformRequests& requests = PerformRequests::shared();
    // Held while the timer is made, so a timer firing at once finds its entry.
    std::lock_guard g(requests.lock);
    const std::uint64_t id = requests.nextId++;
    auto timer = performAfterDelay(seconds, [id, target, selector, argument] {
        if (!PerformRequests::shared().take(id)) return;
        if (selector.argumentCount() == 0) rt::send(target, selector);
        else rt::send(target, selector, argument);
    });
    requests.entries.push_back({id, target.get(), std::move(timer)});
}

void cancelPreviousPerformRequestsWithTarget(const rt::Id& target) {
    if (!target) return;
    PerformRequests& requests = PerformRequests::shared();
    std::vector<rt::Ref<Timer>> cancelled;
    {
        std::lock_guard g(requests.lock);
        std::erase_if(requests.entries, [&](PerformRequests::Entry& e) {
            if (e.target != target.get()) return false;
            cancelled.push_back(std::move(e.timer));
            return true;
        });
    }
    // Invalidating releases the blocks, and with them the targets and arguments.
    for (const auto& timer : cancelled)
        timer->invalidate();
}

} // namespace ns
