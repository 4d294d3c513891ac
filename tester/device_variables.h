#pragma once
// The device's values a tester script may name as variables, so that one script fits every device
// (Script::parse substitutes "{name}" in its texts):
//   {wifi.address}   the Wi-Fi interface's (en0's) IPv4 address, as the device reports it (a
//                    profile's fixed interfaces, or the host's aliased one); "" without one
//   {carrier.name}   the SIM's carrier name; "" without a SIM
// Both are the values a device of that profile starts with: functions of the profile alone, so a
// script is read with them before its device is installed.

#include <map>
#include <string>

namespace sim {

struct Profile;

// Each name with its value on a device of `device`'s profile.
std::map<std::string, std::string> deviceVariables(const Profile& device);

} // namespace sim
