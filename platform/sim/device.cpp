#include "platform/sim/device.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/string.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url_loading.h"
#include "platform/sim/device_inner.h"
#include "platform/sim/run_text.h"

namespace sim {

namespace {

// What the Foundation stand-in answers of the device: languages and region, storage, the figures
// of the process's host (each the host's own unless the profile fixes it), and the address its
// network names as the sender of its requests.
void publishToFoundation(const Profile& p) {
    ns::Locale::setPreferredLanguages(p.languages);
    ns::Locale::setCurrentSettings({p.locale.identifier, p.locale.currency, p.locale.measurementSystem});
    ns::TimeZone::setSystemTimeZoneName(p.locale.timeZone);
    ns::URLLoading::setPublicAddress(p.publicAddress);
    const auto bytes = [](double b) { return static_cast<std::uint64_t>(b); };
    ns::FileManager::setFileSystemFigures(
        p.host.disk ? std::optional(ns::FileManager::FileSystemFigures{bytes(p.host.disk->total), bytes(p.host.disk->free)})
                    : std::nullopt);
    ns::ProcessInfo::Figures figures;
    figures.uptime = p.host.uptime;
    if (p.host.processors) {
        figures.processorCount = static_cast<std::uint64_t>(p.host.processors->count);
        figures.activeProcessorCount = static_cast<std::uint64_t>(p.host.processors->active);
    }
    if (p.host.memory) figures.physicalMemory = bytes(p.host.memory->total);
    ns::ProcessInfo::setFigures(figures);
}

} // namespace

Device::Device() : inner_(std::make_shared<Inner>()) { publishToFoundation(*inner_->state); }

Device& Device::shared() {
    static Device* device = new Device(); // lives for the process: readers may run at exit
    return *device;
}

std::shared_ptr<const Profile> Device::state() const {
    std::lock_guard g(inner_->lock);
    return inner_->state;
}

void Device::change(Aspect aspect, const std::function<void(Profile&)>& edit) {
    std::shared_ptr<const Profile> next;
    {
        std::lock_guard g(inner_->lock);
        auto copy = std::make_shared<Profile>(*inner_->state);
        edit(*copy);
        next = inner_->state = std::move(copy);
    }
    inner_->callHooks([aspect](const Inner::Entry& e) { return e.aspect == aspect; },
                      [&next](const Inner::Entry& e) { (*e.hook)(*next); });
    settleDecidedPermissions();
}

void Device::send(const DeviceEvent& event) {
    inner_->callHooks([](const Inner::Entry& e) { return !e.aspect; },
                      [&event](const Inner::Entry& e) { (*e.eventHook)(event); });
}

Device::HookId Device::addHook(Aspect aspect, Hook hook) {
    std::lock_guard g(inner_->lock);
    const HookId id = inner_->nextId++;
    inner_->hooks.push_back({id, aspect, std::make_shared<Hook>(std::move(hook)), nullptr});
    return id;
}

Device::HookId Device::addEventHook(EventHook hook) {
    std::lock_guard g(inner_->lock);
    const HookId id = inner_->nextId++;
    inner_->hooks.push_back({id, std::nullopt, nullptr, std::make_shared<EventHook>(std::move(hook))});
    return id;
}

void Device::removeHook(HookId id) {
    std::optional<Inner::Entry> released; // destroyed outside the lock
    std::lock_guard g(inner_->lock);
    auto it = std::find_if(inner_->hooks.begin(), inner_->hooks.end(), [&](const Inner::Entry& e) { return e.id == id; });
    if (it == inner_->hooks.end()) return;
    released = std::move(*it);
    inner_->hooks.erase(it);
}

std::shared_ptr<const Profile> Device::install(std::shared_ptr<const Profile> profile) {
    const ns::TimeInterval now = ns::Clock::currentTime();
    publishToFoundation(*profile);
    std::lock_guard g(inner_->lock);
    inner_->state.swap(profile);
    inner_->start = now;
    inner_->log.clear();
    inner_->resetTransient();
    return profile;
}

void Device::addLogEntry(std::string text, bool ownWords) {
    const ns::TimeInterval now = ns::Clock::currentTime();
    std::lock_guard g(inner_->lock);
    char time[48];
    const double seconds = std::max(0.0, now - inner_->start);
    auto [end, failed] = std::to_chars(time, time + sizeof time, seconds, std::chars_format::fixed, 3);
    if (failed != std::errc()) end = time + std::snprintf(time, sizeof time, "%.3e", seconds); // beyond any run
    inner_->log.push_back({std::string(time, end), std::move(text), ownWords});
}

void Device::log(std::string_view text) {
    addLogEntry(std::string(text), false);
}

void Device::log(OwnWords before, const Figure& figure, OwnWords after) {
    addLogEntry(before.text + figure.text + after.text, true);
}

void Device::log(OwnWords before, const Figure& figure) {
    log(before, figure, "");
}

Device::Figure::Figure(double value) {
    char digits[32];
    const auto [end, failed] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 4);
    text = failed == std::errc() ? std::string(digits, end) : std::string("?");
}

Device::Figure::Figure(long long value) : text(std::to_string(value)) {}

std::string Device::logText() const {
    std::lock_guard g(inner_->lock);
    std::string text;
    for (const Inner::LogEntry& entry : inner_->log) {
        text.append(entry.time) += ' ';
        appendPrintable(text, entry.text);
        text += '\n';
    }
    return text;
}

std::string Device::logFileText() const {
    // Each line's time right-aligned in ten columns, as the run folder's other logs have theirs; the
    // time is the device's own, what follows it may carry a text from outside: marked so (masked as
    // the log is written, then made printable: a separator spelled out no longer reads as one).
    std::vector<Inner::LogEntry> log;
    {
        std::lock_guard g(inner_->lock);
        log = inner_->log;
    }
    std::string text;
    for (const Inner::LogEntry& entry : log) {
        if (entry.time.size() < 10) text.append(10 - entry.time.size(), ' ');
        text.append(entry.time) += ' ';
        if (entry.ownWords)
            appendPrintable(text, entry.text);
        else
            text += printableCut(entry.text, SIZE_MAX);
        text += '\n';
    }
    return text;
}

std::shared_ptr<const Microphone> Device::microphone() {
    const auto current = state();
    {
        std::lock_guard g(inner_->lock);
        if (inner_->microphone && inner_->microphone->input() == current->audio.input) return inner_->microphone;
    }
    auto made = std::make_shared<const Microphone>(current->audio.input);
    if (!made->readable()) log("microphone: cannot read " + current->audio.input.file);
    std::lock_guard g(inner_->lock);
    inner_->microphone = made;
    return made;
}

void Device::hear(std::int64_t first, float* out, std::size_t count) {
    auto current = microphone();
    std::deque<std::pair<std::int64_t, std::shared_ptr<const Microphone>>> earlier;
    {
        std::lock_guard g(inner_->lock);
        earlier = inner_->earlierMicrophones;
    }
    std::size_t done = 0;
    for (const auto& [until, heard] : earlier) {
        const std::int64_t at = first + static_cast<std::int64_t>(done);
        if (done == count) return;
        if (until <= at) continue;
        const auto part = std::min(count - done, static_cast<std::size_t>(until - at));
        heard->read(at, out + done, part);
        done += part;
    }
    current->read(first + static_cast<std::int64_t>(done), out + done, count - done);
}

std::int64_t Device::currentSampleIndex() const {
    const ns::TimeInterval now = ns::Clock::currentTime();
    std::lock_guard g(inner_->lock);
    return sampleIndexAt(inner_->start, now);
}

Speaker& Device::speaker() {
    return inner_->speaker;
}

std::shared_ptr<const FrameImage> Device::cameraFrame(CameraPosition position) {
    const auto current = state();
    const Camera* camera = current->camera(position);
    if (!camera) return nullptr;
    const std::shared_ptr<const FrameImage>& decoded = camera->frame.decoded;
    {
        std::lock_guard g(inner_->lock);
        for (const Inner::SeenFrame& seen : inner_->frames)
            if (seen.position == position && seen.frame == camera->frame && (!decoded || seen.image == decoded))
                return seen.image;
    }
    // A file the profile or a script named was decoded as it was read; one a frame made in code
    // names is read now, and a test card made now.
    std::shared_ptr<const FrameImage> image = decoded;
    if (!image) {
        std::string error;
        image = makeFrameImage(camera->frame, position, &error);
        if (!image) {
            log("camera frame: " + error);
            return nullptr;
        }
    }
    std::lock_guard g(inner_->lock);
    inner_->frames.push_back({position, camera->frame, image, nullptr});
    // A frame and its picture are a few MB: the two cameras' latest are kept.
    if (inner_->frames.size() > 2) inner_->frames.erase(inner_->frames.begin());
    return image;
}

rt::Ref<cg::Image> Device::cameraPicture(CameraPosition position) {
    const auto image = cameraFrame(position);
    if (!image) return nullptr;
    const auto seen = [&]() -> rt::Ref<cg::Image>* {
        for (Inner::SeenFrame& s : inner_->frames)
            if (s.image == image) return &s.picture;
        return nullptr;
    };
    {
        std::lock_guard g(inner_->lock);
        if (auto* held = seen(); held && *held) return *held;
    }
    rt::Ref<cg::Image> made = framePicture(*image); // outside the lock: a large frame takes a while
    std::lock_guard g(inner_->lock);
    auto* held = seen();
    if (!held) return made; // the frame left the few kept meanwhile
    if (!*held) *held = std::move(made);
    return *held;
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
