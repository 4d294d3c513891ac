#pragma once
// rt::Installed: a function installed for the whole process and called from any thread. A caller
// takes the one installed and calls it without the lock, so a replacement never waits for a call
// to end, and a function replaced during a call lives until that call is done.

#include <memory>
#include <mutex>
#include <utility>

namespace rt {

template <typename Function>
class Installed {
public:
    // The function installed; null when none is.
    std::shared_ptr<const Function> get() const {
        std::lock_guard g(lock_);
        return function_;
    }
    // Installs `next` (an empty function: none) and answers the one it replaces (empty when none).
    Function replace(Function next) {
        auto installed = next ? std::make_shared<const Function>(std::move(next)) : nullptr;
        {
            std::lock_guard g(lock_);
            std::swap(function_, installed);
        }
        return installed ? *installed : Function();
    }

private:
    mutable std::mutex lock_;
    std::shared_ptr<const Function> function_;
};

} // namespace rt
