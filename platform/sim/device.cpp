#include "platform/sim/device.h"

#include <mutex>

namespace sim {

namespace {

std::mutex gLock;

std::shared_ptr<const Profile>& installed() {
    static std::shared_ptr<const Profile> profile = std::make_shared<const Profile>(defaultProfile());
    return profile;
}

std::shared_ptr<const Profile> exchange(std::shared_ptr<const Profile> next) {
    std::lock_guard g(gLock);
    installed().swap(next);
    return next;
}

} // namespace

std::shared_ptr<const Profile> currentDevice() {
    std::lock_guard g(gLock);
    return installed();
}

void installDevice(Profile profile) {
    exchange(std::make_shared<const Profile>(std::move(profile)));
}

std::string machine() {
    return currentDevice()->machine;
}

ScopedDevice::ScopedDevice(Profile profile)
    : previous_(exchange(std::make_shared<const Profile>(std::move(profile)))) {}

ScopedDevice::~ScopedDevice() {
    exchange(std::move(previous_));
}

} // namespace sim
