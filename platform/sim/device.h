#pragma once
// The device the process runs on: one installed profile. Until a program installs one, it is
// sim::defaultProfile(). The main job installs the device its command line names; tests install
// theirs with sim::ScopedDevice, which puts the previous one back.
//
// Everything that asks about the hardware reads the installed profile, never the host: the UIKit
// stand-in's screen (bounds, scale), window (safe-area insets) and device (model, name, system,
// battery, proximity), and the capture, motion, telephony and audio-route stand-ins. Any thread
// may read; a profile once read stays valid while the reader holds it.

#include <memory>
#include <string>

#include "platform/sim/profile.h"

namespace sim {

// The installed profile.
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
