#pragma once
// The device's values a tester script may name as variables, so that one script fits every device
// (Script::parse substitutes "{name}" in its texts):
//   {wifi.address}   the Wi-Fi interface's (en0's) IPv4 address, as the device reports it (a
//                    profile's fixed interfaces, or the host's aliased one); "" without one
//   {carrier.name}   the SIM's carrier name; "" without a SIM
// Both are the values the installed device starts with.

#include <map>
#include <string>

namespace sim {

// Each name with its own placeholder as its value ("wifi.address" -> "{wifi.address}"): a script
// is read with these to be checked before its device is installed, and read again with
// deviceVariables() once it is.
std::map<std::string, std::string> deviceVariablePlaceholders();
// Each name with its value on the installed device.
std::map<std::string, std::string> deviceVariables();

} // namespace sim
