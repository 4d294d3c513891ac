#include "platform/sim/device.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/string.h"

namespace sim {

struct Device::Inner {
    struct Entry {
        HookId id;
        Aspect aspect;
        std::shared_ptr<Hook> hook;
    };

    mutable std::mutex lock; // guards state and hooks
    std::shared_ptr<const Profile> state = std::make_shared<const Profile>(defaultProfile());
    std::vector<Entry> hooks;
    HookId nextId = 1;
    ns::TimeInterval start = ns::Clock::currentTime();
    std::string log;
};

namespace {

// `text` with its control characters spelled out.
void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
}

} // namespace

Device::Device() : inner_(std::make_shared<Inner>()) {}

Device& Device::shared() {
    static Device* device = new Device(); // lives for the process: readers may run at exit
    return *device;
}

std::shared_ptr<const Profile> Device::state() const {
    std::lock_guard g(inner_->lock);
    return inner_->state;
}

void Device::change(Aspect aspect, const std::function<void(Profile&)>& edit) {
    std::vector<Inner::Entry> called;
    std::shared_ptr<const Profile> next;
    {
        std::lock_guard g(inner_->lock);
        auto copy = std::make_shared<Profile>(*inner_->state);
        edit(*copy);
        next = inner_->state = std::move(copy);
        for (const Inner::Entry& e : inner_->hooks)
            if (e.aspect == aspect) called.push_back(e);
    }
    for (const Inner::Entry& e : called) {
        {
            std::lock_guard g(inner_->lock);
            const bool gone = std::none_of(inner_->hooks.begin(), inner_->hooks.end(),
                                           [&](const Inner::Entry& h) { return h.id == e.id; });
            if (gone) continue;
        }
        (*e.hook)(*next);
    }
}

Device::HookId Device::addHook(Aspect aspect, Hook hook) {
    std::lock_guard g(inner_->lock);
    const HookId id = inner_->nextId++;
    inner_->hooks.push_back({id, aspect, std::make_shared<Hook>(std::move(hook))});
    return id;
}

void Device::removeHook(HookId id) {
    std::shared_ptr<Hook> released; // destroyed outside the lock
    std::lock_guard g(inner_->lock);
    auto it = std::find_if(inner_->hooks.begin(), inner_->hooks.end(), [&](const Inner::Entry& e) { return e.id == id; });
    if (it == inner_->hooks.end()) return;
    released = std::move(it->hook);
    inner_->hooks.erase(it);
}

std::shared_ptr<const Profile> Device::install(std::shared_ptr<const Profile> profile) {
    const ns::TimeInterval now = ns::Clock::currentTime();
    ns::Locale::setPreferredLanguages(profile->languages);
    std::lock_guard g(inner_->lock);
    inner_->state.swap(profile);
    inner_->start = now;
    inner_->log.clear();
    return profile;
}

void Device::log(std::string_view text) {
    const ns::TimeInterval now = ns::Clock::currentTime();
    std::string line;
    std::lock_guard g(inner_->lock);
    char time[32];
    std::snprintf(time, sizeof time, "%.3f ", std::max(0.0, now - inner_->start));
    line = time;
    appendEscaped(line, text);
    inner_->log += line + "\n";
}

std::string Device::logText() const {
    std::lock_guard g(inner_->lock);
    return inner_->log;
}

bool Device::writeLog(const std::string& path, std::string* error) const {
    rt::Ref<ns::Error> failure;
    if (ns::writeAtomically(path, logText(), &failure)) return true;
    if (error) *error = path + ": " + failure->localizedDescription()->utf8();
    return false;
}

std::shared_ptr<const Profile> currentDevice() {
    return Device::shared().state();
}

void installDevice(Profile profile) {
    Device::shared().install(std::make_shared<const Profile>(std::move(profile)));
}

std::string machine() {
    return currentDevice()->machine;
}

ScopedDevice::ScopedDevice(Profile profile)
    : previous_(Device::shared().install(std::make_shared<const Profile>(std::move(profile)))) {}

ScopedDevice::~ScopedDevice() {
    Device::shared().install(std::move(previous_));
}

} // namespace sim
