#pragma once
// The device the process runs on. Until a program installs one, it is sim::defaultProfile(). The
// main job installs the device its command line names; tests install theirs with
// sim::ScopedDevice, which puts the previous one back.
//
// The device's live state is a profile: it starts as the installed one, and stimuli change it
// (battery, volume, switches, radios, ...) through sim::Device::change on the stepper's thread.
// Everything that asks about the hardware reads the current state, never the host: the UIKit
// stand-in's screen, window and device, and the capture, motion, telephony and audio-route
// stand-ins. Any thread may read; a state once read stays whole and unchanged while the reader
// holds it, so a reader never sees half a change.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/sim/profile.h"

namespace sim {

// What a change touches; stand-ins hook the parts they deliver.
enum class Aspect : std::uint8_t {
    Battery,
    Registry,
    Audio,
    RingSwitch,
    Headphones,
    Proximity,
    Motion,
    Network,
    Carrier,
    Bluetooth,
    Location,
    Cameras,
    Screen,
};

class Device {
public:
    using Hook = std::function<void(const Profile& state)>;
    using HookId = std::uint64_t;

    // The process's device.
    static Device& shared();

    // The current state.
    std::shared_ptr<const Profile> state() const;
    // Edits a copy of the state, makes it current, then calls the hooks of `aspect` on this
    // thread, outside every lock, in the order they were added, with the new state. The edit
    // runs under the device's lock: it works on the copy alone and reads nothing of the device.
    void change(Aspect aspect, const std::function<void(Profile&)>& edit);

    // Hooks are added and removed on the stepper's thread. A hook removed inside a change is not
    // called after that.
    HookId addHook(Aspect aspect, Hook hook);
    void removeHook(HookId id);

    // Starts the device over from `profile` (taken as it is, unchecked): its start is now on the
    // installed clock and its log is empty; no hook is called. Returns the previous state.
    std::shared_ptr<const Profile> install(std::shared_ptr<const Profile> profile);

    // The device log: what a person holding the device would notice (sounds, vibration, torch,
    // brightness, volume, opened URLs, notifications, alerts) and stimuli that found no hardware,
    // one line each, led by the seconds since the device's start on the installed clock with
    // three decimals ("3.000 sound mute.caf"). Any thread may log. Control characters in `text`
    // are written as \n, \t or \xNN, so one entry stays one line.
    void log(std::string_view text);
    // The lines so far, each ending in a newline.
    std::string logText() const;
    // Writes the log to `path` atomically; false with the reason when it cannot.
    bool writeLog(const std::string& path, std::string* error = nullptr) const;

private:
    Device();
    struct Inner;
    std::shared_ptr<Inner> inner_;
};

// The current state of the process's device.
std::shared_ptr<const Profile> currentDevice();
// Replaces the installed profile (taken as it is, unchecked) for the rest of the run.
void installDevice(Profile profile);

// The uname machine identifier ("iPhone9,1"): code that would call ::uname for it calls this.
std::string machine();

// Installs a device for a scope, then puts the previous one back.
class ScopedDevice {
public:
    explicit ScopedDevice(Profile profile);
    ~ScopedDevice();
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;

private:
    std::shared_ptr<const Profile> previous_;
};

} // namespace sim
