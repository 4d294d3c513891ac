#include "platform/sim/run_text.h"

#include <mutex>
#include <utility>

namespace sim {

namespace {

struct HandedOverURLMasking {
    std::mutex lock;
    URLMasking masking;
};

HandedOverURLMasking& handedOverURLMasking() {
    static HandedOverURLMasking* shared = new HandedOverURLMasking; // immortal: read until the end
    return *shared;
}

} // namespace

URLMasking setHandedOverURLMasking(URLMasking masking) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return std::exchange(shared.masking, std::move(masking));
}

std::string maskedHandedOverURL(std::string_view url) {
    HandedOverURLMasking& shared = handedOverURLMasking();
    std::lock_guard g(shared.lock);
    return shared.masking ? shared.masking(url) : std::string(url);
}

} // namespace sim
