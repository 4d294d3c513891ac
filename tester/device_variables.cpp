#include "tester/device_variables.h"

#include "platform/sim/interfaces.h"
#include "platform/sim/profile.h"

namespace sim {

namespace {

// Each variable's name and how a device of the profile gives its value.
struct Variable {
    const char* name;
    std::string (*value)(const Profile& device);
};
constexpr Variable kVariables[] = {
    {"wifi.address", [](const Profile& device) { return ipv4Address(device, "en0").value_or(""); }},
    {"carrier.name", [](const Profile& device) { return device.carrier ? device.carrier->name : std::string(); }},
};

} // namespace

std::map<std::string, std::string> deviceVariables(const Profile& device) {
    std::map<std::string, std::string> values;
    for (const Variable& variable : kVariables)
        values[variable.name] = variable.value(device);
    return values;
}

} // namespace sim
