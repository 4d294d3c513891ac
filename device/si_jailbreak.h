#pragma once
// si::Jailbreak ("SIJailbreak"): whether the device shows a jailbreak's shell. Class methods only.
// Any thread.

#include "platform/runtime/object.h"

namespace si {

class Jailbreak : public rt::Object {
    RT_CLASS(Jailbreak)
public:
    // Whether the device's "/bin/bash" opens for reading (seen through the device's root: a clean
    // device has none, whatever the host has).
    static bool isJailbroken();

private:
    Jailbreak() = default;
};

} // namespace si
