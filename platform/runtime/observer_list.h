#pragma once
// A class-wide list of observers, each under the token its add answered: the hooks through which
// a tester or a test watches every object of a class (each controller that appears, each dialog
// presented). Observers may add or remove observers while they are told. Main thread only.

#include <cstdint>
#include <utility>
#include <vector>

namespace rt {

template <class Observer> class ObserverList {
public:
    std::uint64_t add(Observer observer) {
        entries_.emplace_back(++next_, std::move(observer));
        return next_;
    }
    void remove(std::uint64_t token) {
        std::erase_if(entries_, [token](const auto& entry) { return entry.first == token; });
    }
    // Tells each observer listed when the call starts.
    template <class... Args> void tell(Args&&... args) const {
        for (auto entries = entries_; auto& [token, observer] : entries)
            observer(args...);
    }

private:
    std::vector<std::pair<std::uint64_t, Observer>> entries_;
    std::uint64_t next_ = 0;
};

} // namespace rt
