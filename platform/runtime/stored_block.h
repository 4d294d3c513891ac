#pragma once
// Calling a block that its owner keeps in a member (a completion, an onSelected, a hook).

#include <functional>
#include <utility>

namespace rt {

// Calls the block through a copy, so the block may clear or replace the member that holds it
// while it runs: its captures live until it returns. An empty block is not called; one with a
// result then gives a value-initialised one.
template <class R, class... Params, class... Args>
R callStoredBlock(const std::function<R(Params...)>& block, Args&&... args) {
    if (!block) return R();
    const std::function<R(Params...)> running = block;
    return running(std::forward<Args>(args)...);
}

} // namespace rt
